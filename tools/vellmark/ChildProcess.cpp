#include "ChildProcess.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

std::string WindowsArgumentQuoted(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count double only before a quote.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

#ifdef _WIN32

namespace {

std::wstring Wide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string Narrow(const wchar_t* text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return std::string();
    std::string narrow(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &narrow[0], n, nullptr, nullptr);
    return narrow;
}

// Owns a handle; closes it when it goes.
struct OwnedHandle {
    HANDLE h = NULL;
    ~OwnedHandle() { Close(); }
    void Close()
    {
        if (h && h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        h = NULL;
    }
};

}  // namespace

std::string ShellQuoted(const std::string& word)
{
    return "\"" + word + "\"";
}

bool FindProgram(const std::string& name, std::string* path)
{
    wchar_t found[32768];
    DWORD n = SearchPathW(NULL, Wide(name).c_str(), L".exe", 32768, found, NULL);
    if (n == 0 || n >= 32768)
        return false;
    DWORD attributes = GetFileAttributesW(found);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    *path = Narrow(found);
    return true;
}

bool RunChild(const ChildRun& run, ChildResult* result)
{
    *result = ChildResult();
    std::string line;
    if (!run.shellLine.empty()) {
        // cmd.exe takes the line between the outer quotes as it stands.
        line = "cmd.exe /d /s /c \"" + run.shellLine + "\"";
    } else {
        for (size_t i = 0; i < run.arguments.size(); ++i)
            line += (i ? " " : "") + WindowsArgumentQuoted(run.arguments[i]);
    }
    if (line.empty()) {
        result->error = "nothing to run";
        return false;
    }
    std::wstring wideLine = Wide(line);

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    OwnedHandle inputRead, inputWrite, outputRead, outputWrite;
    STARTUPINFOW startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (run.captureOutput) {
        if (!CreatePipe(&inputRead.h, &inputWrite.h, &inherit, 0) ||
            !CreatePipe(&outputRead.h, &outputWrite.h, &inherit, 0)) {
            result->error = "no pipe for it";
            return false;
        }
        SetHandleInformation(inputWrite.h, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(outputRead.h, HANDLE_FLAG_INHERIT, 0);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inputRead.h;
        startup.hStdOutput = outputWrite.h;
        startup.hStdError = outputWrite.h;
    }
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, &wideLine[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        DWORD code = GetLastError();
        result->error = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                            ? "not found"
                            : "cannot be started (error " + std::to_string(code) + ")";
        return false;
    }
    result->started = true;
    OwnedHandle processHandle, threadHandle;
    processHandle.h = process.hProcess;
    threadHandle.h = process.hThread;
    if (run.captureOutput) {
        inputRead.Close();
        outputWrite.Close();
        DWORD written = 0;
        if (!run.input.empty())
            WriteFile(inputWrite.h, run.input.data(), static_cast<DWORD>(run.input.size()), &written, NULL);
        inputWrite.Close();
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(outputRead.h, buffer, sizeof buffer, &got, NULL) && got > 0)
            result->output.append(buffer, got);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    result->exited = true;
    result->exitCode = static_cast<int>(code);
    if (code != 0)
        result->error = "exit code " + std::to_string(code);
    return code == 0;
}

#else

std::string ShellQuoted(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

static bool Executable(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool FindProgram(const std::string& name, std::string* path)
{
    if (name.empty())
        return false;
    if (name.find('/') != std::string::npos) {
        if (!Executable(name))
            return false;
        *path = name;
        return true;
    }
    const char* search = getenv("PATH");
    std::string folders = search ? search : "/usr/local/bin:/usr/bin:/bin";
    size_t at = 0;
    for (;;) {
        size_t end = folders.find(':', at);
        std::string folder = folders.substr(at, end == std::string::npos ? std::string::npos : end - at);
        std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
        if (Executable(candidate)) {
            *path = candidate;
            return true;
        }
        if (end == std::string::npos)
            return false;
        at = end + 1;
    }
}

namespace {

// The two ends of a pipe, closed when they go.
struct Pipe {
    int read = -1, write = -1;
    ~Pipe()
    {
        CloseRead();
        CloseWrite();
    }
    bool Open()
    {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return false;
        read = ends[0];
        write = ends[1];
        return true;
    }
    void CloseRead()
    {
        if (read >= 0)
            close(read);
        read = -1;
    }
    void CloseWrite()
    {
        if (write >= 0)
            close(write);
        write = -1;
    }
};

}  // namespace

bool RunChild(const ChildRun& run, ChildResult* result)
{
    *result = ChildResult();
    std::vector<std::string> arguments = run.arguments;
    if (!run.shellLine.empty())
        arguments = {"/bin/sh", "-c", run.shellLine};
    if (arguments.empty()) {
        result->error = "nothing to run";
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    Pipe input, output;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (run.captureOutput) {
        if (!input.Open() || !output.Open()) {
            posix_spawn_file_actions_destroy(&actions);
            result->error = std::string("no pipe for it (") + strerror(errno) + ")";
            return false;
        }
        posix_spawn_file_actions_adddup2(&actions, input.read, 0);
        posix_spawn_file_actions_adddup2(&actions, output.write, 1);
        posix_spawn_file_actions_adddup2(&actions, output.write, 2);
    } else {
        posix_spawn_file_actions_adddup2(&actions, 2, 1);
    }
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        result->error = spawned == ENOENT ? std::string("not found") : std::string(strerror(spawned));
        return false;
    }
    result->started = true;

    if (run.captureOutput) {
        input.CloseRead();
        output.CloseWrite();
        // A child that ends without reading its input must not end the tool.
        struct sigaction ignore, previous;
        memset(&ignore, 0, sizeof ignore);
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &previous);
        size_t sent = 0;
        while (sent < run.input.size()) {
            ssize_t n = write(input.write, run.input.data() + sent, run.input.size() - sent);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            sent += static_cast<size_t>(n);
        }
        input.CloseWrite();
        sigaction(SIGPIPE, &previous, nullptr);
        char buffer[4096];
        for (;;) {
            ssize_t n = read(output.read, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            result->output.append(buffer, static_cast<size_t>(n));
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            result->error = std::string("lost (") + strerror(errno) + ")";
            return false;
        }
    }
    if (WIFEXITED(status)) {
        result->exited = true;
        result->exitCode = WEXITSTATUS(status);
        if (result->exitCode != 0)
            result->error = "exit code " + std::to_string(result->exitCode);
        return result->exitCode == 0;
    }
    result->error = "ended by signal " + std::to_string(WTERMSIG(status));
    return false;
}

#endif
