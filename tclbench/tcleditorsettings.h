#pragma once
// The TCL editor's keys in the settings file, typed: their sections, keys and defaults in one
// place. Every write goes straight to the file, as all settings do. No widgets.

#include <string>

namespace mvx {

class IniFile;

namespace tclbench {

class TclEditorSettings {
public:
    // `ini` may be null (no settings file): reads give their fallbacks, writes do nothing.
    explicit TclEditorSettings(IniFile* ini) : mIni(ini) {}
    bool available() const noexcept { return mIni != nullptr; }

    // "BACKUP"/"REPERTOIRE": the folder of the timed backups.
    std::string backupDir(const std::string& fallback) const;
    void setBackupDir(const std::string& dir);
    // "BACKUP"/"TIMING": seconds between backups, written as text.
    double backupSeconds(double fallback) const;
    void setBackupSeconds(double seconds);
    // "INDENTATION"/"NB": the indentation depth, as stored (the caller checks its range).
    long long indentDepth(long long fallback) const;
    void setIndentDepth(int depth);
    // "VISIBLE"/"LINES" (default on) and "SYNTAX"/"BOLD" (default on).
    bool lineNumbers() const;
    void setLineNumbers(bool on);
    bool boldSyntax() const;
    void setBoldSyntax(bool on);
    // "TCL"/"DISPLAY GAPH" and "TCL"/"SAVE GATHERING" (both default off).
    bool displayGraph() const;
    void setDisplayGraph(bool on);
    bool saveGathering() const;
    void setSaveGathering(bool on);
    // "TCL"/"GATHERING MODEL": where a run's gathering file is kept.
    std::string gatheringModel(const std::string& fallback) const;
    void setGatheringModel(const std::string& path);
    // "Ftcl"/"edit height": the editor's height in pixels, 0 when none is stored.
    long long editHeight() const;
    void setEditHeight(int pixels);

private:
    IniFile* mIni;
};

}  // namespace tclbench
}  // namespace mvx
