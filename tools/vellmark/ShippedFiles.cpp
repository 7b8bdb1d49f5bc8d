#include "ShippedFiles.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

// share/vellmark, beside the tool's bin folder.
fs::path ShareFolder()
{
    return ToolFolder() / ".." / "share" / "vellmark";
}

}  // namespace

fs::path ToolFolder()
{
#ifdef _WIN32
    wchar_t buffer[32768];
    DWORD n = GetModuleFileNameW(NULL, buffer, 32768);
    if (n > 0 && n < 32768)
        return fs::path(buffer).parent_path();
#else
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return self.parent_path();
#endif
    return fs::current_path();
}

std::vector<fs::path> WindowsProgramCandidates(const std::string& arch, const char* name)
{
    std::vector<fs::path> candidates;
    if (const char* dir = getenv("VELLMARK_STUB_DIR"))
        candidates.push_back(fs::u8path(dir) / name);
    fs::path tool = ToolFolder();
    candidates.push_back(tool / ".." / arch / name);
    candidates.push_back(tool / arch / name);
    if (tool.filename() == arch)
        candidates.push_back(tool / name);
    candidates.push_back(ShareFolder() / arch / name);
    return candidates;
}

fs::path FindWindowsProgram(const std::string& arch, const char* name)
{
    std::error_code ec;
    for (const fs::path& c : WindowsProgramCandidates(arch, name))
        if (fs::is_regular_file(c, ec))
            return c.lexically_normal();
    return fs::path();
}

fs::path FindSharedFile(const char* name)
{
    std::vector<fs::path> candidates;
    if (const char* dir = getenv("VELLMARK_SHARE_DIR"))
        candidates.push_back(fs::u8path(dir) / fs::u8path(name));
    candidates.push_back(ShareFolder() / fs::u8path(name));
    std::error_code ec;
    for (const fs::path& c : candidates)
        if (fs::exists(c, ec))
            return c.lexically_normal();
    return fs::path();
}
