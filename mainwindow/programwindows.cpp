#include "programwindows.h"

#include "tfmain.h"

#include "app/cmdline.h"
#include "app/common.h"
#include "app/dialogs.h"
#include "app/fileutil.h"
#include "app/inifile.h"
#include "app/language.h"

#include <QDialog>

namespace mvx {
namespace {

TFmain* gMain = nullptr;

// Windows of the controller side and the workbench not built yet: they exist, keep their place
// and take their captions from the language file like the others.
const char* const kOtherWindows[] = {
    "Fdialogmsg", "Fconnect_KVX_GB", "Fcentrer", "FPVTparameters", "FcontrolPVT", "Faddvariable", "FshowAPI",
    "FcallProcedure", "FchoixINC", "FchoixRep", "FchoixRetrait", "Fchoixsauve", "ConfirmReplaceDialog",
    "TextReplaceDialog", "TextSearchDialog", "Fedit", "Fshowgathering", "FXY", "Fmain_KVX", "Fmessage",
    "FNClientFTP", "fparamfft", "FProcedures", "Fquery", "Frestore", "Fsetupviewer", "FShowAndBlink",
    "FshowProcedure", "Fsupprime", "Ftcl", "F_TCP_UTILS", "FChangesortie", "Fdelay", "Frepeat", "FscriptTCL",
    "Ftestentree", "AboutBox", "Fdroite3D", "FarcH", "FIO", "Faxes",
};
// Windows translated with the translator's family.
bool translatorFamily(const std::string& name)
{
    return name == "FcontrolPVT" || name == "FIO" || name == "Faxes" || name == "FPVTparameters";
}

QWidget* createWindows(const CommandLine& cl)
{
    gMain = new TFmain;
    for (const char* name : kOtherWindows) {
        auto* w = new QDialog(gMain);
        w->setObjectName(name);
        w->setWindowTitle(name);
        RememberWindowPosition(w, false);
        const std::string n = name;
        if (n == "AboutBox") RegisterTranslatedWindow(texts::Family::Translator, w, true);
        else if (n == "Fdialogmsg" || n == "Fquery" || n == "Fmessage") continue;
        else RegisterTranslatedWindow(translatorFamily(n) ? texts::Family::Translator : texts::Family::Controller, w);
    }
    gMain->setBatchRunner(std::make_unique<BatchRunner>(cl));
    return gMain;
}

bool connectController()
{
    // No controller link yet: the program runs in simulation.
    gMain->setSimulation(true);
    return false;
}

void applyOptions(const CommandLine& clIn)
{
    if (!clIn.HasArguments) return;
    CommandLine cl = clIn;
    if (cl.CommandMode != 0 && FindFileNoCase(gMain->gcodeFolder(), cl.CommandFile).empty()) cl.CommandMode = 0;
    gMain->setBatchRunner(std::make_unique<BatchRunner>(cl));
    gMain->setBatchMode(cl.CommandMode != 0);
    if (cl.QuietMode || cl.Reduce) gMain->reduceLayout();
    for (const NumericOption& o : kNumericOptions) {
        const OptionValue v = ReadOptionValue(cl.CommandTail, o);
        if (v.status == OptionStatus::Valid) {
            gMain->applyNumericOption(o.section, o.name, v.value);
        } else if (v.status == OptionStatus::Invalid) {
            const std::string text = std::string("Option ") + o.key + " : valeur incorrecte, " + o.section + "/" +
                                     o.name + " inchangé";
            if (cl.QuietMode) std::fprintf(stderr, "%s\n", text.c_str());
            else ShowMsg(text);
        }
    }
}

}  // namespace

StartupHooks ProgramStartupHooks()
{
    StartupHooks h;
    h.createWindows = createWindows;
    h.connect = connectController;
    h.applyOptions = applyOptions;
    return h;
}

}  // namespace mvx
