#include "tcleditorsettings.h"

#include "core/inifile.h"
#include "translator/numtext.h"

namespace mvx::tclbench {

namespace {
constexpr const char* kWindowSection = "Ftcl";
}

std::string TclEditorSettings::backupDir(const std::string& fallback) const
{
    return mIni ? mIni->readString("BACKUP", "REPERTOIRE", fallback) : fallback;
}

void TclEditorSettings::setBackupDir(const std::string& dir)
{
    if (mIni) mIni->writeString("BACKUP", "REPERTOIRE", dir);
}

double TclEditorSettings::backupSeconds(double fallback) const
{
    return mIni ? mIni->readFloat("BACKUP", "TIMING", fallback) : fallback;
}

void TclEditorSettings::setBackupSeconds(double seconds)
{
    if (mIni) mIni->writeString("BACKUP", "TIMING", num::general(seconds));
}

long long TclEditorSettings::indentDepth(long long fallback) const
{
    return mIni ? mIni->readInteger("INDENTATION", "NB", fallback) : fallback;
}

void TclEditorSettings::setIndentDepth(int depth)
{
    if (mIni) mIni->writeInteger("INDENTATION", "NB", depth);
}

bool TclEditorSettings::lineNumbers() const { return mIni ? mIni->readBool("VISIBLE", "LINES", true) : true; }

void TclEditorSettings::setLineNumbers(bool on)
{
    if (mIni) mIni->writeBool("VISIBLE", "LINES", on);
}

bool TclEditorSettings::boldSyntax() const { return mIni ? mIni->readBool("SYNTAX", "BOLD", true) : true; }

void TclEditorSettings::setBoldSyntax(bool on)
{
    if (mIni) mIni->writeBool("SYNTAX", "BOLD", on);
}

bool TclEditorSettings::displayGraph() const { return mIni && mIni->readBool("TCL", "DISPLAY GAPH", false); }

void TclEditorSettings::setDisplayGraph(bool on)
{
    if (mIni) mIni->writeBool("TCL", "DISPLAY GAPH", on);
}

bool TclEditorSettings::saveGathering() const { return mIni && mIni->readBool("TCL", "SAVE GATHERING", false); }

void TclEditorSettings::setSaveGathering(bool on)
{
    if (mIni) mIni->writeBool("TCL", "SAVE GATHERING", on);
}

std::string TclEditorSettings::gatheringModel(const std::string& fallback) const
{
    return mIni ? mIni->readString("TCL", "GATHERING MODEL", fallback) : fallback;
}

void TclEditorSettings::setGatheringModel(const std::string& path)
{
    if (mIni) mIni->writeString("TCL", "GATHERING MODEL", path);
}

long long TclEditorSettings::editHeight() const { return mIni ? mIni->readInteger(kWindowSection, "edit height", 0) : 0; }

void TclEditorSettings::setEditHeight(int pixels)
{
    if (mIni) mIni->writeInteger(kWindowSection, "edit height", pixels);
}

}  // namespace mvx::tclbench
