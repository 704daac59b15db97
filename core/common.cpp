#include "common.h"

#include "inifile.h"
#include "programsettings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace mvx {
namespace {
std::unique_ptr<IniFile> gSettings;
std::string gExeName = "movantrix";
}  // namespace

CommonGlobals& common()
{
    static CommonGlobals g;
    return g;
}

int GetSocketFlag(int index)
{
    if (index < 0 || index >= kPoolSize) return 0;
    return common().SocketFlags[static_cast<std::size_t>(index)].load();
}

void SetSocketFlag(int index, int value)
{
    if (index < 0 || index >= kPoolSize) return;
    common().SocketFlags[static_cast<std::size_t>(index)].store(value);
}

IniFile* SettingsIni() { return gSettings.get(); }

std::string SettingsFilePath() { return common().ProgramDir + gExeName + ".INI"; }

std::string ExecutableName() { return gExeName; }

void InitCommonGlobals(const std::string& programDir, const std::string& exeName)
{
    std::string dir = programDir;
    std::string name = exeName;
    if (dir.empty() || name.empty()) {
        char buf[4096];
        const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
        std::string exe = n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string("./movantrix");
        const std::size_t slash = exe.rfind('/');
        if (dir.empty()) dir = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
        if (name.empty()) name = slash == std::string::npos ? exe : exe.substr(slash + 1);
    }
    if (dir.empty() || dir.back() != '/') dir += '/';
    common().ProgramDir = dir;
    gExeName = name;
    // It holds the controller's login: an older file readable by others is closed to them now.
    const std::string settings = SettingsFilePath();
    struct stat st {};
    if (::stat(settings.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0)
        ::chmod(settings.c_str(), st.st_mode & 0700);
    gSettings = std::make_unique<IniFile>(settings, IniFile::Access::OwnerOnly);
    ProgramSettings stored;
    stored.Read(*gSettings);
    common().LocalDiskDrive = stored.LocalDiskDrive;
}

}  // namespace mvx
