#include "OutputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <cstdio>

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

// Renames `from` to `to` unless something exists at `to`, in one step.
void RenameNoReplace(const fs::path& from, const fs::path& to, std::error_code& ec)
{
    ec.clear();
#ifdef _WIN32
    // The C library's rename never replaces an existing file on Windows.
    if (_wrename(from.c_str(), to.c_str()) != 0)
        ec.assign(errno, std::generic_category());
#else
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS) {
        ec.assign(errno, std::generic_category());
        return;
    }
    // A file system without the flag: a hard link fails on an existing name too.
    if (link(from.c_str(), to.c_str()) != 0) {
        ec.assign(errno, std::generic_category());
        return;
    }
    unlink(from.c_str());
#endif
}

}  // namespace

bool OutputFile::Open(const std::string& destination, std::string* error, OutputFileMode mode)
{
    return Open(fs::u8path(destination), destination, error, mode);
}

bool OutputFile::Open(const fs::path& given, const std::string& destination, std::string* error, OutputFileMode mode)
{
    Abandon();
    shown = destination;
    replace = mode.replace;
    std::error_code ec;
    target = given;
    fs::file_status linkStatus = fs::symlink_status(given, ec);
    if (!mode.replace && fs::exists(linkStatus)) {
        *error = destination + ": exists already";
        return false;
    }
    if (fs::is_symlink(linkStatus) && !mode.followLink) {
        // The link itself is replaced; where it points is never opened.
    } else if (fs::is_symlink(linkStatus)) {
        // Written through, as opening it would: the link stays, its target is replaced.
        target = fs::canonical(given, ec);
        if (ec) {
            *error = destination + ": a link to nothing that can be written (" + ec.message() + ")";
            return false;
        }
    }
    fs::file_status status = mode.followLink ? fs::status(target, ec) : linkStatus;
    if (fs::is_directory(status)) {
        *error = destination + ": is a folder";
        return false;
    }
    if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_symlink(status)) {
        *error = destination + ": not a regular file";
        return false;
    }
    if (fs::is_regular_file(status) && !Writable(target)) {
        *error = destination + ": cannot be written (" + strerror(errno) + ")";
        return false;
    }

    fs::path folder = target.parent_path();
    // Beside the destination, so the rename stays in one file system.  A name
    // near the file system's limit of 255 bytes gets a short one instead.
    std::string name = target.filename().u8string();
    std::string base = (name.size() > 200 ? std::string(".vellmark") : name) + ".tmp-" + std::to_string(getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = folder / fs::u8path((attempt == 0 ? base : base + "-" + std::to_string(attempt)) +
                                                 mode.temporarySuffix);
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

bool OutputFile::Close(std::string* error)
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
    closed = true;
    return true;
}

bool OutputFile::Commit(std::string* error)
{
    if (!closed && !Close(error))
        return false;
    closed = false;
    std::error_code ec;
    if (replace)
        fs::rename(temporary, target, ec);
    else
        RenameNoReplace(temporary, target, ec);
    if (ec) {
        *error = shown + ": cannot be written (" + ec.message() + ")";
        Abandon();
        return false;
    }
    temporary.clear();
    return true;
}

bool OutputFile::WriteAndCommit(const void* bytes, size_t size, std::string* error)
{
    if (file && fwrite(bytes, 1, size, file) != size) {
        *error = shown + ": cannot be written (" + strerror(errno) + ")";
        Abandon();
        return false;
    }
    return Commit(error);
}

void OutputFile::Abandon()
{
    closed = false;
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
