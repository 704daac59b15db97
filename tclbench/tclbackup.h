#pragma once
// Timed backups of the editor text: "Backup1.tcl" to "Backup10.tcl" in the backup folder,
// overwritten in turn. The counter lives for the program's run.

#include <string>

namespace mvx::tclbench {

inline constexpr int kBackupFiles = 10;
inline constexpr int kDefaultBackupSeconds = 30;

class TclBackupRotation {
public:
    // The folder is used as a prefix; a missing trailing separator is added.
    static std::string BackupPath(const std::string& folder, int n);
    // Advances the counter and writes the text (through a temporary and a rename). The number of
    // the file written, 0 when the write failed (`error` says why; the counter still advances).
    int WriteNext(const std::string& folder, const std::string& text, std::string* error = nullptr);
    int counter() const noexcept { return mCounter; }

private:
    int mCounter = 0;
};

// The period typed by the user, in seconds: a number above 0 and at most one day.
bool ParseBackupSeconds(const std::string& text, double& seconds);

}  // namespace mvx::tclbench
