#include "fileutil.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

}  // namespace mvx
