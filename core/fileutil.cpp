#include "fileutil.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace mvx {

std::string FindFileNoCase(const std::string& folderIn, const std::string& name)
{
    struct stat st {};
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return ::stat(name.c_str(), &st) == 0 ? name : std::string();
    std::string folder = folderIn;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    const std::string exact = folder + name;
    if (::stat(exact.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return exact;
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return {};
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (::strcasecmp(e->d_name, name.c_str()) == 0) {
            found = folder + e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

bool WriteFileAtomic(const std::string& path, const std::string& data, std::string* error)
{
    const std::string tmp = path + ".part~";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    auto fail = [&](bool removeTmp) {
        if (error) *error = path + ": " + std::strerror(errno);
        if (removeTmp) std::remove(tmp.c_str());
        return false;
    };
    if (!f) return fail(false);
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    const bool flushed = std::fflush(f) == 0;
    if (std::fclose(f) != 0 || !ok || !flushed) return fail(true);
    if (std::rename(tmp.c_str(), path.c_str()) != 0) return fail(true);
    return true;
}

namespace {

bool isLeftoverTemporary(const std::filesystem::directory_entry& e)
{
    std::error_code ec;
    if (!e.is_regular_file(ec) || e.is_symlink(ec)) return false;
    const std::string name = e.path().filename().string();
    auto endsWith = [&name](const char* tail) {
        const std::size_t n = std::strlen(tail);
        return name.size() > n && name.compare(name.size() - n, n, tail) == 0;
    };
    return endsWith(".part~") || endsWith(".tmp~");
}

}  // namespace

int RemoveLeftoverTemporaries(const std::string& programDir)
{
    namespace fs = std::filesystem;
    int removed = 0;
    std::error_code ec;
    auto removeIf = [&removed](const fs::directory_entry& e) {
        std::error_code rc;
        if (isLeftoverTemporary(e) && fs::remove(e.path(), rc)) ++removed;
    };
    const fs::path base = programDir.empty() ? fs::path(".") : fs::path(programDir);
    for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) removeIf(*it);
    for (const char* sub : {"GCODE", "TMP", "TCLPC", "ADMIN"}) {
        const fs::path dir = base / sub;
        std::error_code sc;
        if (!fs::is_directory(fs::symlink_status(dir, sc))) continue;
        for (fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, sc), end;
             !sc && it != end; it.increment(sc))
            removeIf(*it);
    }
    return removed;
}

}  // namespace mvx
