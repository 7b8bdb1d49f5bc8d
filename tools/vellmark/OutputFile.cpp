#include "OutputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// Creates `path` for writing, failing when anything exists there already.
FILE* CreateExclusive(const fs::path& path)
{
#ifdef _WIN32
    int fd = _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return nullptr;
    FILE* file = _fdopen(fd, "wb");
    if (!file)
        _close(fd);
#else
    int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    FILE* file = fdopen(fd, "wb");
    if (!file)
        close(fd);
#endif
    return file;
}

bool Writable(const fs::path& path)
{
#ifdef _WIN32
    return _waccess(path.c_str(), 2) == 0;
#else
    return access(path.c_str(), W_OK) == 0;
#endif
}

}  // namespace

bool OutputFile::Open(const std::string& destination, std::string* error)
{
    Abandon();
    shown = destination;
    fs::path given = fs::u8path(destination);
    std::error_code ec;
    target = given;
    if (fs::is_symlink(fs::symlink_status(given, ec))) {
        // Written through, as opening it would: the link stays, its target is replaced.
        target = fs::canonical(given, ec);
        if (ec) {
            *error = destination + ": a link to nothing that can be written (" + ec.message() + ")";
            return false;
        }
    }
    fs::file_status status = fs::status(target, ec);
    if (fs::is_directory(status)) {
        *error = destination + ": is a folder";
        return false;
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        *error = destination + ": not a regular file";
        return false;
    }
    if (fs::exists(status) && !Writable(target)) {
        *error = destination + ": cannot be written (" + strerror(errno) + ")";
        return false;
    }

    fs::path folder = target.parent_path();
    std::string base = target.filename().u8string() + ".tmp-" + std::to_string(getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = folder / fs::u8path(attempt == 0 ? base : base + "-" + std::to_string(attempt));
        errno = 0;
        file = CreateExclusive(candidate);
        if (file) {
            temporary = candidate;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    *error = destination + ": cannot be written (" + strerror(errno ? errno : EEXIST) + ")";
    return false;
}

bool OutputFile::Commit(std::string* error)
{
    if (!file) {
        *error = shown + ": cannot be written";
        return false;
    }
    bool ok = fflush(file) == 0 && !ferror(file);
    int reason = errno;
    if (fclose(file) != 0 && ok) {
        ok = false;
        reason = errno;
    }
    file = nullptr;
    if (!ok) {
        *error = shown + ": cannot be written (" + strerror(reason ? reason : EIO) + ")";
        Abandon();
        return false;
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
        *error = shown + ": cannot be written (" + ec.message() + ")";
        Abandon();
        return false;
    }
    temporary.clear();
    return true;
}

void OutputFile::Abandon()
{
    if (file) {
        fclose(file);
        file = nullptr;
    }
    if (!temporary.empty()) {
        std::error_code ec;
        fs::remove(temporary, ec);
        temporary.clear();
    }
}
