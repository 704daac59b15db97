#include "tclbackup.h"

#include "core/fileutil.h"
#include "translator/numtext.h"

namespace mvx::tclbench {

std::string TclBackupRotation::BackupPath(const std::string& folder, int n)
{
    std::string dir = folder;
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += '/';
    return dir + "Backup" + num::integer(n) + ".tcl";
}

int TclBackupRotation::WriteNext(const std::string& folder, const std::string& text, std::string* error)
{
    ++mCounter;
    const int n = mCounter;
    if (mCounter >= kBackupFiles) mCounter = 0;
    return WriteFileAtomic(BackupPath(folder, n), text, error) ? n : 0;
}

bool ParseBackupSeconds(const std::string& text, double& seconds)
{
    const auto value = num::parseStrict(text);
    if (!value || !(*value > 0.0) || *value > 86400.0) return false;
    seconds = *value;
    return true;
}

}  // namespace mvx::tclbench
