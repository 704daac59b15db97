#include "workbenchwindows.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "app/language.h"
#include "linkui/backupdialogs.h"
#include "linkui/filebrowser.h"
#include "link/reboot.h"
#include "link/remotename.h"
#include "link/telnet.h"
#include "maintenance/datapages.h"
#include "maintenance/gatheringviewer.h"
#include "maintenance/maintenancecontext.h"
#include "maintenance/maintenancewindow.h"
#include "maintenance/motioniopages.h"
#include "maintenance/page_globalarray.h"
#include "tclbench/apibrowser.h"
#include "tclbench/generatordialogs.h"
#include "tclbench/includes.h"
#include "tclbench/procedures.h"
#include "tclbench/restore.h"
#include "tclbench/searchdialogs.h"
#include "tclbench/textedit.h"
#include "tclbench/tftcl.h"

#include <Qsci/qsciscintilla.h>


#include <memory>
#include <set>
#include <sstream>

namespace mvx {
namespace {

const std::set<std::string> kNames = {
    "Ftcl", "TextSearchDialog", "TextReplaceDialog", "ConfirmReplaceDialog", "Fedit", "FchoixINC", "FchoixRetrait",
    "Faddvariable", "Frepeat", "Fdelay", "Ftestentree", "FChangesortie", "FcallProcedure", "FscriptTCL",
    "FProcedures", "Fsupprime", "FshowAPI", "FshowProcedure", "FNClientFTP", "FchoixRep", "Fchoixsauve",
    "Frestore", "Fmain_KVX", "Fshowgathering", "Fsetupviewer", "FXY", "fparamfft",
};

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

}  // namespace

void RegisterWorkbenchTexts()
{
    link::registerTelnetTexts();
    link::registerRebootTexts();
    linkui::registerBrowserTexts();
    linkui::registerBackupTexts();
    link::registerRemoteNameTexts();
    tcl::registerRestoreTexts();
    tclbench::registerTclEditorTexts();
    maint::registerMaintenanceTexts();
    maint::registerGatheringTexts();
    maint::registerGlobalArrayTexts();
}

bool IsWorkbenchWindow(const std::string& objectName) { return kNames.count(objectName) != 0; }

WorkbenchWindows CreateWorkbenchWindows(QWidget* main, link::Controller& controller)
{
    using namespace tclbench;
    WorkbenchWindows out;
    auto controllerSide = [](QWidget* w) { RegisterTranslatedWindow(texts::Family::Controller, w); };

    auto* search = new TTextSearchDialog(main);
    auto* replace = new TTextReplaceDialog(main);
    auto* confirm = new TConfirmReplaceDialog(main);
    SetSharedSearchDialogs(search, replace, confirm);
    for (QWidget* w : {static_cast<QWidget*>(search), static_cast<QWidget*>(replace), static_cast<QWidget*>(confirm)})
        controllerSide(w);

    auto* edit = new TFedit(main);
    controllerSide(edit);
    out.textEditor = edit;

    auto* tcl = new TFtcl(main, controller);
    controllerSide(tcl);
    auto insertAs = [tcl](FragmentKind kind) {
        return [tcl, kind](const std::string& text) { tcl->InsertFragment(splitLines(text), kind); };
    };
    auto* repeat = new TFrepeat(main, insertAs(FragmentKind::Repeat));
    auto* delay = new TFdelay(main, controller, insertAs(FragmentKind::Delay));
    auto* testInput = new TFtestentree(main, controller, insertAs(FragmentKind::TestInput));
    auto* changeOutput = new TFChangesortie(main, controller, insertAs(FragmentKind::ChangeOutput));
    auto* callProcedure = new TFcallProcedure(main, controller, insertAs(FragmentKind::CallProcedure));
    auto* callScript = new TFscriptTCL(main, controller, insertAs(FragmentKind::CallScript));
    for (QDialog* d : std::initializer_list<QDialog*>{repeat, delay, testInput, changeOutput, callProcedure, callScript})
        controllerSide(d);

    auto* includeChoice = new TFchoixINC(main, controller);
    auto* includeRemoval = new TFchoixRetrait(main);
    auto* variables = new TFaddvariable(main, controller, tcl->editor());
    auto* procedures = new TFProcedures(main, controller);
    auto* viewer = new TFshowProcedure(main, [tcl](const std::string& text) { tcl->InsertBelowCaretLine(text); });
    auto* api = new TFshowAPI(main, viewer);
    for (QDialog* d : std::initializer_list<QDialog*>{includeChoice, includeRemoval, variables, procedures, viewer, api})
        controllerSide(d);

    auto* browser = new linkui::TFNClientFTP(main, controller);
    // Every listing of the browser is the TCL editor's list too.
    browser->SetTclListHandler([tcl](const std::vector<linkui::BrowserEntry>& entries) { tcl->ShowListing(entries); });
    auto browserFromCaret = std::make_shared<bool>(false);
    browser->SetSearchHooks({[browser, browserFromCaret](bool replace) {
                                 RunSearchDialog(browser->editor(), replace, *browserFromCaret, {}, false,
                                                 AskConfirmReplace, browser);
                             },
                             [browser, browserFromCaret](bool backward) {
                                 SearchAgain(browser->editor(), backward, *browserFromCaret, {});
                             }});
    auto* folders = new linkui::TFchoixRep(main);
    auto* backup = new linkui::TFchoixsauve(main, controller, folders);
    auto* restore = new tcl::TFrestore(main, controller);
    for (QDialog* d : std::initializer_list<QDialog*>{browser, folders, backup, restore}) controllerSide(d);

    auto* gathering = new maint::TFshowgathering(main, controller);
    controllerSide(gathering);

    maint::registerMotionTuningIoPages();
    maint::registerDataPages();
    auto* console = new maint::TFmain_KVX(main, controller);
    controllerSide(console);
    out.maintenance = console;
    // The console opens the browser; when it closes, the console takes the link's state back.
    browser->SetCloseHandler([console] { console->TakeLinkState(); });

    TFtclHooks hooks;
    hooks.openApiBrowser = [api] {
        if (api->Available()) api->exec();
    };
    hooks.openVariables = [variables] { variables->exec(); };
    hooks.addIncludeFile = [includeChoice] {
        if (includeChoice->exec() == QDialog::Accepted && SettingsIni())
            AddIncludeFile(*SettingsIni(), includeChoice->chosenText());
    };
    hooks.removeIncludeFile = [includeRemoval] {
        if (includeRemoval->exec() == QDialog::Accepted && SettingsIni())
            RemoveIncludeFile(*SettingsIni(), includeRemoval->chosenText());
    };
    hooks.openProcedureBuilder = [procedures] { procedures->exec(); };
    hooks.openBackup = [backup, tcl] {
        backup->ShowBackupList([tcl](const std::string& t) { tcl->showStatus(2, t); }, common().RemoteScriptsDir);
    };
    hooks.openRestore = [restore, tcl](const std::string& start) {
        restore->Open([tcl](const std::string& t) { tcl->showStatus(2, t); }, start);
    };
    hooks.openTextEditor = [edit](const std::string& path) {
        edit->LoadFile(QString::fromStdString(path));
        edit->exec();
    };
    hooks.openGenerator = [repeat, delay, testInput, changeOutput, callProcedure, callScript](FragmentKind kind) {
        QDialog* d = nullptr;
        switch (kind) {
        case FragmentKind::Repeat: d = repeat; break;
        case FragmentKind::Delay: d = delay; break;
        case FragmentKind::TestInput: d = testInput; break;
        case FragmentKind::ChangeOutput: d = changeOutput; break;
        case FragmentKind::CallProcedure: d = callProcedure; break;
        case FragmentKind::CallScript: d = callScript; break;
        }
        if (d) d->exec();
    };
    hooks.showGathering = [gathering](const std::string& file) {
        if (gathering->loadFile(file, true)) gathering->exec();
    };
    tcl->setHooks(std::move(hooks));
    return out;
}

}  // namespace mvx
