#include "programwindows.h"

#include "mainwindow/aboutbox.h"
#include "mainwindow/axessettings.h"
#include "mainwindow/joblink_impl.h"
#include "mainwindow/poll.h"
#include "mainwindow/pvtchecker.h"
#include "mainwindow/pvtparameters.h"
#include "mainwindow/remoteserver.h"
#include "mainwindow/tfaxes.h"
#include "mainwindow/tfcentrer.h"
#include "mainwindow/tfio.h"
#include "mainwindow/tfmain.h"
#include "mainwindow/view3d.h"
#include "workbenchwindows.h"

#include "linkui/connectdialog.h"
#include "linkui/linkreporter.h"
#include "link/controller.h"
#include "link/controllerconfig.h"
#include "link/directexec.h"
#include "link/linktexts.h"
#include "link/transfer.h"
#include "link/detect.h"
#include "link/startupconnect.h"

#include "core/cmdline.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "core/fileutil.h"
#include "core/inifile.h"
#include "app/language.h"
#include "translator/texts.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QDialog>
#include <QTabWidget>

#include <cstdio>
#include <optional>

namespace mvx {
namespace {

link::Controller* gController = nullptr;
TFmain* gMain = nullptr;
// The link's reporter outlives a main window that is deleted before the program ends.
QPointer<TFmain> gMainAlive;
std::unique_ptr<linkui::LinkServices> gServices;
std::unique_ptr<JobLinkImpl> gLink;
std::unique_ptr<link::DirectExec> gDirect;
RemoteServer* gServer = nullptr;

// Every window but the main one, in creation order. The workbench's and the controller side's
// come from workbenchwindows.cpp; the message and notice windows are app/'s shared dialogs.
const char* const kOtherWindows[] = {
    "Fdialogmsg", "Fcentrer", "FPVTparameters", "FcontrolPVT", "Faddvariable", "FshowAPI",
    "FcallProcedure", "FchoixINC", "FchoixRep", "FchoixRetrait", "Fchoixsauve", "ConfirmReplaceDialog",
    "TextReplaceDialog", "TextSearchDialog", "Fedit", "Fshowgathering", "FXY", "Fmain_KVX",
    "FNClientFTP", "fparamfft", "FProcedures", "Fquery", "Frestore", "Fsetupviewer",
    "FshowProcedure", "Fsupprime", "Ftcl", "FChangesortie", "Fdelay", "Frepeat", "FscriptTCL",
    "Ftestentree", "AboutBox", "FIO", "Faxes",
};

// The 3D view on the "Show 3D" page.
void createView3D(TFmain* main) { main->setView3D(new View3D(main->tab3D())); }

// The direct mode runs each element on the controller through the link.
void createDirectExecutor(TFmain* main)
{
    gDirect = std::make_unique<link::DirectExec>(*gController, MachineConfig{}, main->job().directControls());
    main->setDirectExecutor(gDirect.get());
    main->setBeforeConversionHook([](const MachineConfig& c) { gDirect->setConfig(c); });
}

// A closed file-transfer session is opened again (which fetches the controller's configuration
// anew); the controller must offer a multiple-axes group of two or three axes; the job drives it.
void checkControllerGroups()
{
    link::Controller& controller = *gController;
    if (!controller.transferConnected()) controller.connectTransfer(false);
    if (!controller.transferConnected()) return;
    const std::string system = link::LocalSystemIniPath();
    int accepted = 0;
    int count = 0;
    std::string group;
    for (const std::string& g : controller.currentGroups().multiple) {
        count = link::PositionerNumber(system, g, 0);
        if (count == 2 || count == 3) {
            accepted = count;
            group = g;
        }
    }
    if (!accepted) {
        if (PositionPoll* p = gMain->poll()) p->stop();
        ShowMsg(texts::get("stringkvxnotconfigured") + " (" + std::to_string(count) + " axes)");
        gMain->setSimulation(true);
        return;
    }
    gMain->setGroupShape(accepted == 2, accepted);
    // With no axes chosen yet, the group's positioners in their order are X, Y and Z: three
    // lists left on their first entry would make every axis the same positioner.
    IniFile* ini = SettingsIni();
    if (ini && !AxesChosen(*ini)) {
        const std::vector<std::string> names = link::PositionerList(link::LocalSystemIniPath(), group);
        for (int a = 0; a < accepted && a < static_cast<int>(names.size()); ++a)
            WriteAxisPositioner(*ini, a, group + "." + names[static_cast<std::size_t>(a)]);
    }
}

QWidget* createWindows(const CommandLine& cl)
{
    // The link's words for the user are the program's boxes, and its waits are live; while a
    // program drives the job (batch run, remote command, hidden server) they go where the job's
    // own failures go.
    link::Controller& controller = *gController;
    gServices = std::make_unique<linkui::LinkServices>(
        controller, [] { return gMainAlive && gMainAlive->job().unattended(); },
        [](const std::string& text) {
            if (gMainAlive) gMainAlive->job().reportUnattended(text);
        });
    link::registerTexts();
    link::registerTransferTexts();
    RegisterWorkbenchTexts();
    gMain = new TFmain;
    gMainAlive = gMain;
    linkui::InstallConnectDialog(gMain, controller);
    TFIO* io = nullptr;
    TFaxes* axes = nullptr;
    TAboutBox* about = nullptr;
    TFPVTparameters* pvtParameters = nullptr;
    QDialog* pvtControl = nullptr;
    QDialog* textEditor = nullptr;
    QDialog* maintenance = nullptr;
    const WorkbenchWindows workbench = CreateWorkbenchWindows(gMain, controller);
    textEditor = workbench.textEditor;
    maintenance = workbench.maintenance;
    for (const char* name : kOtherWindows) {
        const std::string n = name;
        if (IsWorkbenchWindow(n)) continue;
        // The message box and the input query are the shared dialogs of app/.
        if (n == "Fdialogmsg" || n == "Fquery") {
            RegisterSharedDialogWindows();
            continue;
        }
        QDialog* w = nullptr;
        if (n == "FIO") w = io = new TFIO(gMain);
        else if (n == "Faxes") w = axes = new TFaxes(gMain);
        else if (n == "AboutBox") w = about = new TAboutBox(gMain);
        else if (n == "FPVTparameters") w = pvtParameters = new TFPVTparameters(gMain, controller);
        else if (n == "Fcentrer") {
            // Translated with the controller-side windows.
            auto* centrer = new TFcentrer(gMain);
            gMain->setCentreWindow(centrer);
            RememberWindowPosition(centrer, false);
            RegisterTranslatedWindow(texts::Family::Controller, centrer);
            continue;
        }
        else if (n == "FcontrolPVT")
            w = pvtControl = new TFcontrolPVT([] { return common().ProgramDir + "TMP/"; },
                                              [] { return gMain->settings().NbDigit; }, gMain);
        if (!w) continue;
        RememberWindowPosition(w, false);
        RegisterTranslatedWindow(texts::Family::Translator, w, w == about);
    }
    pvtParameters->setContextProvider([] {
        PvtParametersContext c;
        const MachineConfig m = gMain->machineConfig();
        c.GroupName = m.GroupName;
        for (int a = 0; a < 3; ++a)
            c.Positioners[static_cast<std::size_t>(a)] = m.GroupName + "." + m.AxisNames[static_cast<std::size_t>(a)];
        c.XYGroupOnly = m.XYGroupOnly;
        c.CurrentPosition = m.CurrentPosition;
        return c;
    });
    gMain->setHelperWindows(io, axes, about, pvtParameters, pvtControl, textEditor, maintenance);
    axes->setPositionerSource([] { return link::AllPositionerNames(link::LocalSystemIniPath()); });
    gMain->setActivationHook(checkControllerGroups);
    createView3D(gMain);
    gLink = std::make_unique<JobLinkImpl>(controller);
    gMain->setLink(gLink.get());
    gServer = new RemoteServer(gMain->job(), gMain);
    createDirectExecutor(gMain);
    gMain->setBatchRunner(std::make_unique<BatchRunner>(cl));
    // A setting the window could not use was replaced by its default: say which.
    for (const std::string& text : gMain->refusedSettings()) {
        if (cl.QuietMode) std::fprintf(stderr, "%s\n", text.c_str());
        else ShowMsg(text);
    }
    gMain->setPoll(new PositionPoll(*gMain, controller, gMain));
    return gMain;
}

// The start-up connection as the program runs it: the connection dialog under the main window,
// "/H" from the command line, the Ctrl key from the keyboard; when the user chose to quit, the
// application ends as soon as its message loop starts.
bool programStartupConnection(QWidget* mainWindow)
{
    std::vector<std::string> args;
    const QStringList all = QCoreApplication::arguments();
    for (int i = 1; i < all.size(); ++i) args.push_back(all[i].toStdString());
    link::StartupOptions options;
    options.quiet = ParseCommandLine(args).QuietMode;
    options.ctrlHeld = [] { return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier); };
    bool usable = false;
    try {
        linkui::InstallConnectDialog(mainWindow, *gController);
        usable = gController->startupConnection(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        usable = false;
    }
    if (gController->connection().QuitRequested)
        QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
    return usable;
}

bool connectController()
{
    const bool usable = programStartupConnection(gMain);
    gMain->setSimulation(!usable);
    // Not during the connection: its waits dispatch timers while the pool is not open yet. The
    // controller part of a tick also waits for the activation to read the group.
    if (PositionPoll* poll = gMain->poll()) poll->start(gMain->settings().EncoderPeriod);
    // The remote port opens only now, so no command arrives before the controller is known.
    gMain->setRemoteServer(gServer);
    return usable;
}

void applyOptions(const CommandLine& clIn)
{
    if (!clIn.HasArguments) return;
    CommandLine cl = clIn;
    if (cl.CommandMode != 0 && FindFileNoCase(gMain->gcodeFolder(), cl.CommandFile).empty()) cl.CommandMode = 0;
    gMain->setBatchRunner(std::make_unique<BatchRunner>(cl));
    gMain->setBatchMode(cl.CommandMode != 0);
    if (cl.Extend) gMain->ExtendClick();
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

ProgramWiring::ProgramWiring(link::Controller& controller) { gController = &controller; }

ProgramWiring::~ProgramWiring()
{
    // The direct mode and the job's link hold the controller; the reporter is set on it.
    gDirect.reset();
    gLink.reset();
    gServices.reset();
    gController = nullptr;
}

StartupHooks ProgramWiring::startupHooks()
{
    StartupHooks h;
    h.createWindows = createWindows;
    h.connect = connectController;
    h.applyOptions = applyOptions;
    return h;
}

}  // namespace mvx
