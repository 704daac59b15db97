#include "mainwindowtexts.h"

#include "translator/texts.h"

namespace mvx {
namespace {

constexpr texts::Builtin kRows[] = {
    {"Stringonetcland", "One TCL script § and"},
    {"stringPVTcreated", "PVT files created"},
    {"stringnode", "Node"},
    {"stringarrows", "Arrows"},
    {"Stringpositionspeed", "Positionning speed"},
    {"Stringnewspeed", "New speed"},
    {"stringworkspeed", "Working speed"},
    {"stringprecision", "Precision"},
    {"stringnbdigit", "Number of digits"},
    {"stringtrajectory", "Trajectory"},
    {"Stringmaxangdis", "Max angular discontinuity"},
    {"stringacceleration", "Acceleration"},
    {"stringangularstep", "Angulary step"},
    {"stringfileloaded", "Loading "},
    {"stringrun", "Run"},
    {"stringscriptexecuted", "Script executed"},
    {"stringresult", "result"},
    {"StringPVTsucces", "\"PVT\" files successfully verified"},
    {"stringloadingTCL", "Loading TCL File in KVX"},
    {"stringloadingfile", "Loading File"},
    {"stringinKVX", "in KVX"},
    {"stringkvxnotconfigured", "KVX not set with correct axes \"multi\" group"},
    {"Stringinitinuse", "Initialization in progress"},
    {"Stringeffacementinuse", "Erasing in progress"},
    {"Stringloadinginuse", "Loading in progress"},
    {"Stringdrawinginuse", "Drawing in progress"},
    {"stringlecturecodeurs", "Lecture des codeurs"},
    {"stringrefreshperiod", "Periode de rafraichissement (ms) :"},
    {"stringcreatingTCL", "Creating TCL file, please wait"},
    {"stringcreatingSCT", "Creating SCT file, please wait"},
    {"stringnbdigitPVT", "Number of signifiant digits for PVT "},
    {"stringfile", "file"},
    {"StringAxis", "Axis"},
    {"Stringerreurnomaxe", "Axis Name Fault"},
};

}  // namespace

void RegisterMainWindowTexts()
{
    static const bool done = [] {
        texts::add(texts::Family::Translator, kRows);
        return true;
    }();
    (void)done;
}

}  // namespace mvx
