// Model detection, the presence check, the connection dialog and the start-up connection.

#include "link/controller.h"
#include "linkui/connectdialog.h"
#include "link/api.h"
#include "link/apiwire.h"
#include "link/detect.h"
#include "link/socketpool.h"
#include "link/workers.h"
#include "link/startupconnect.h"
#include "link/telnet.h"
#include "link/transfer.h"
#include "support/kvxsim_fixture.h"
#include "support/loopbackpeer.h"
#include "transfer_support.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>


#include <atomic>
#include <chrono>
#include <thread>

using namespace mvx;
using namespace mvx::testing_link;
using mvx::test::KvxSim;
using mvx::test::KvxSimOptions;
using mvx::test::LoopbackPeer;
using Clock = std::chrono::steady_clock;

namespace {

void ResetConnection()
{
    link::CurrentController().closePool();
    common().ControllerUsable = 0;
    common().ExtraTimeoutMs = 0;
    common().DetectionMode = 5;
    link::connectionState() = link::ConnectionState{};
    mvx::link::CurrentController().setConnectionDialogShower({});
    recorder().clear();
}

// ----- classification -----------------------------------------------------------------------------

struct ReplyRow {
    const char* reply;
    int model;
    bool gathering;
};

TEST(Detection, FirmwareClassifier)
{
    const ReplyRow rows[] = {
        {"0,KVX-C Version #20410,EndOfAPI", ModelC, false},
        {"0,KVX-Q Version #30039,EndOfAPI", ModelQ, true},
        {"0,KVX-Q Version #30038,EndOfAPI", ModelQ, false},
        {"0,KVX-Q Version #30040b,EndOfAPI", ModelQ, true},
        {"0,KVX-Q Version,EndOfAPI", ModelQ, false},
        {"0,KVX-D Version #40212,EndOfAPI", ModelD, false},
        {"0,KVX-RL Version #50107,EndOfAPI", ModelRL, false},
        {"0,KVX-RL-D Version #60103,EndOfAPI", ModelRLD, false},
        {"0,XPS-Q8 Version,EndOfAPI", ModelNone, false},
        {"", ModelNone, false},
    };
    for (const auto& r : rows) {
        const auto f = link::ClassifyFirmwareReply(r.reply);
        EXPECT_EQ(f.model, r.model) << r.reply;
        EXPECT_EQ(f.gatheringFolder, r.gathering) << r.reply;
    }
}

TEST(Detection, RadioItemsAndStoredTypes)
{
    const struct {
        int model;
        int item;
        const char* stored;
    } rows[] = {{ModelC, 0, "C"}, {ModelQ, 1, "Q"}, {ModelRL, 2, "RL"}, {ModelD, 3, "D"}, {ModelNone, 4, "Simul"}, {ModelRLD, 5, "RLD"}};
    for (const auto& r : rows) {
        EXPECT_EQ(link::ControllerTypeItemForModel(r.model), r.item);
        EXPECT_EQ(link::ModelForStoredType(r.stored), r.model);
        link::CurrentController().selectControllerType(r.item);
        EXPECT_EQ(GetControllerModel(), r.model);
        EXPECT_EQ(SettingsIni()->readString("KVX", "TYPE", ""), r.stored);
    }
    EXPECT_EQ(link::ModelForStoredType("q"), -1);  // exact comparison
    SetConfiguredModel(ModelD);
    SettingsIni()->writeString("KVX", "TYPE", "other");
    link::CurrentController().loadConnectionSettings();
    EXPECT_EQ(GetConfiguredModel(), ModelD);  // unknown text leaves it
}

// Detection against each model of the simulator, with and without the dialog.
struct ModelRow {
    const char* model;
    const char* firmware;
    int code;
    bool gathering;
};

class DetectModel : public ::testing::TestWithParam<ModelRow> {};

TEST_P(DetectModel, ClassifiesAndSkipsDialogWhenHidden)
{
    const ModelRow row = GetParam();
    KvxSimOptions o;
    o.model = row.model;
    if (row.firmware) o.firmware = row.firmware;
    KvxSim sim(o);
    ResetLink(sim.address());
    ResetConnection();
    int shown = 0;
    mvx::link::CurrentController().setConnectionDialogShower([&] { ++shown; });
    link::connectionState().HideDialog = true;
    SetConfiguredModel(row.code);
    EXPECT_TRUE(link::CurrentController().detectControllerType());
    EXPECT_EQ(GetControllerModel(), row.code);
    EXPECT_EQ(link::CurrentController().transfer().GatheringFolderFlag, row.gathering);
    EXPECT_EQ(link::connectionState().RadioItem, link::ControllerTypeItemForModel(row.code));
    EXPECT_EQ(shown, 0);
    if (row.code == ModelRL) {
        EXPECT_EQ(link::CurrentController().transfer().RemoteRoot, "/");
    }
    // A different model from last run shows the dialog.
    SetConfiguredModel(row.code == ModelC ? ModelQ : ModelC);
    EXPECT_TRUE(link::CurrentController().detectControllerType());
    EXPECT_EQ(shown, 1);
    // Presence by the API port uses the same classification.
    SetControllerModel(ModelNone);
    EXPECT_TRUE(link::CurrentController().present(sim.address(), 100));
    EXPECT_EQ(GetControllerModel(), row.code);
}

INSTANTIATE_TEST_SUITE_P(Models, DetectModel,
                         ::testing::Values(ModelRow{"C", nullptr, ModelC, false},
                                           ModelRow{"Q", "KVX-Q Version #30038", ModelQ, false},
                                           ModelRow{"Q", "KVX-Q Version #30039", ModelQ, true},
                                           ModelRow{"D", nullptr, ModelD, false},
                                           ModelRow{"RL", nullptr, ModelRL, false},
                                           ModelRow{"RLD", nullptr, ModelRLD, false}),
                         [](const auto& info) {
                             return std::string(info.param.model) + (info.param.gathering ? "30039" : "");
                         });

TEST(Detection, SilentAndAbsentControllerAreBounded)
{
    for (bool listen : {true, false}) {
        LoopbackPeer peer(listen);
        ASSERT_FALSE(peer.address().empty());
        ResetLink(peer.address());
        ResetConnection();
        int shown = 0;
        mvx::link::CurrentController().setConnectionDialogShower([&] { ++shown; });
        const auto t0 = Clock::now();
        EXPECT_FALSE(link::CurrentController().detectControllerType());
        EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(3500));
        EXPECT_EQ(GetControllerModel(), ModelNone);
        // A silent controller answered the connection: the dialog shows Simulation; a refused
        // connection shows nothing.
        EXPECT_EQ(shown, listen ? 1 : 0);
        EXPECT_EQ(link::connectionState().RadioItem, listen ? 4 : -1);
        const auto t1 = Clock::now();
        common().DetectionMode = 5;
        EXPECT_EQ(link::CurrentController().present(peer.address(), 100), listen);
        EXPECT_LT(Clock::now() - t1, std::chrono::milliseconds(3500));
    }
}

TEST(Presence, Modes)
{
    KvxSim sim;
    LoopbackPeer absent(false);
    ResetLink(sim.address());
    ResetConnection();
    auto& c = common();
    const struct {
        int mode;
        bool atSim;
        bool absentToo;
    } rows[] = {{0, true, true}, {2, false, false}, {3, true, false}, {4, true, false}, {5, true, false}, {6, true, false}, {7, false, false}};
    for (const auto& r : rows) {
        c.DetectionMode = r.mode;
        EXPECT_EQ(link::CurrentController().present(sim.address(), 500), r.atSim) << "mode " << r.mode;
        EXPECT_EQ(link::CurrentController().present(absent.address(), 500), r.absentToo) << "mode " << r.mode;
    }
    // Telnet: a login on the controller, and the session stays open.
    link::CurrentController().disconnectTelnet();
    recorder().clear();
    c.DetectionMode = 4;
    EXPECT_TRUE(link::CurrentController().present(sim.address(), 500));
    EXPECT_EQ(c.TelnetOpen.load(), 1);
    EXPECT_TRUE(recorder().logged("Connection telnet ..OK"));
    EXPECT_TRUE(link::CurrentController().disconnectTelnet());
    // ICMP: the simulator's address answers; where the system gives no ICMP socket the check
    // says so instead of pretending.
    c.DetectionMode = 1;
    recorder().clear();
    const auto echo = link::IcmpEcho(sim.address(), 1000);
    const bool present = link::CurrentController().present(sim.address(), 1000);
    if (echo == link::EchoResult::Unavailable) {
        EXPECT_FALSE(present);
        EXPECT_TRUE(recorder().logged("Echo ICMP non disponible sur ce système"));
    } else {
        EXPECT_TRUE(present);
        EXPECT_TRUE(recorder().logged("\"Ping\" de l'adresse: " + sim.address()));
        EXPECT_TRUE(recorder().logged("KVX connecté à l'adresse!!!" + sim.address()));
    }
    // Texts of the menu item "KVX present ?".
    c.DetectionMode = 5;
    SetControllerModel(ModelD);
    EXPECT_EQ(link::PresenceReportText(true), "KVX type D detected");
    SetControllerModel(ModelQ);
    EXPECT_EQ(link::PresenceReportText(true), "KVX type QNX detected");
    c.DetectionMode = 6;
    EXPECT_EQ(link::PresenceReportText(true), "KVX detected");
    EXPECT_EQ(link::PresenceReportText(false), "KVX not detected");
    c.DetectionMode = 5;
}

// ----- helpers of the start-up ---------------------------------------------------------------------

TEST(StartupHelpers, AddressesAndNames)
{
    EXPECT_EQ(link::IpTextToAddress("192.168.254.1"), 0x01FEA8C0u);
    EXPECT_EQ(link::IpTextToAddress(" 127. 0.0.5 "), 0x0500007Fu);
    EXPECT_EQ(link::IpTextToAddress("1.2.3"), 0u);
    EXPECT_EQ(link::IpTextToAddress("1.2.3.256"), 0u);

    const std::string arp =
        "IP address       HW type     Flags       HW address            Mask     Device\n"
        "127.0.0.9        0x1         0x0         00:00:00:00:00:00     *        lo\n"
        "127.0.0.9        0x1         0x2         00:1a:2b:3c:4d:5e     *        eth0\n"
        "10.1.1.1         0x1         0x2         aa:bb:cc:dd:ee:ff     *        eth0\n";
    unsigned char mac[6];
    ASSERT_TRUE(link::MacForIpAddressIn(arp, "127.0.0.9", mac));
    EXPECT_EQ(link::FormatMacAddress(mac), "00-1a-2b-3c-4d-5e");
    const unsigned char other[6] = {0x00, 0x1a, 0x2b, 0xfc, 0x0d, 0xff};
    EXPECT_EQ(link::FormatMacAddress(other), "00-1a-2b-fc-0d-ff");
    EXPECT_EQ(link::LocalMacAddress(10000), "00-00-00-00-00-00");
    EXPECT_FALSE(link::MacForIpAddressIn(arp, "127.0.0.8", mac));
    EXPECT_FALSE(link::MacForIpAddressIn("", "127.0.0.9", mac));

    EXPECT_EQ(link::AnalogConnectorFromList("GROUP1;GROUP1.X;GPIO2.ADC1;GPIO2.ADC2"), "GPIO2");
    EXPECT_EQ(link::AnalogConnectorFromList("GPIO10.ADC1,GPIO10.ADC2"), "GPIO10");
    EXPECT_EQ(link::AnalogConnectorFromList("ADC1;X"), "");
    EXPECT_EQ(link::AnalogConnectorFromList("GROUP1;GROUP1.X"), "");
}

// ----- the start-up connection -----------------------------------------------------------------------

struct StartupRow {
    const char* model;
    const char* firmware;
    const char* loginFolder;
    int code;
    const char* root;       // FTP layout root
    const char* gathering;  // gathering folder below the root
};

class StartupModel : public ::testing::TestWithParam<StartupRow> {};

TEST_P(StartupModel, ConnectsEverything)
{
    const StartupRow row = GetParam();
    KvxSimOptions o;
    o.model = row.model;
    if (row.firmware) o.firmware = row.firmware;
    o.loginFolder = row.loginFolder;
    KvxSim sim(o);
    ResetLink(sim.address());
    ResetConnection();
    auto& c = common();
    int shown = 0;
    mvx::link::CurrentController().setConnectionDialogShower([&] { ++shown; });
    link::connectionState().HideDialog = true;
    SetConfiguredModel(row.code);
    std::vector<std::string> filled;
    link::LinkConsole console;
    console.fillGroups = [&](const link::ControllerGroups& g) { filled = g.multiple; };
    const std::string longName(60, 'G');
    console.singleGroupText = [&] { return longName; };
    int positionerFills = 0;
    console.fillPositionerList = [&] { ++positionerFills; };
    mvx::link::CurrentController().setLinkConsole(console);

    common().NoControllerApi = 1;
    EXPECT_TRUE(link::StartupConnection());
    mvx::link::CurrentController().setLinkConsole({});
    EXPECT_EQ(shown, 0);
    // The workbench may use the controller from now on.
    EXPECT_EQ(common().NoControllerApi.load(), 0);
    EXPECT_EQ(GetControllerModel(), row.code);
    EXPECT_EQ(c.TransferMode, TransferFtp);
    EXPECT_TRUE(c.TransferConnected);
    const std::string root = row.root;
    EXPECT_EQ(c.RemotePublicDir, root + "Public");
    EXPECT_EQ(c.RemoteConfigDir, root + "Config");
    EXPECT_EQ(c.RemoteGatheringDir, root + row.gathering);
    EXPECT_EQ(c.RemoteScriptsDir, root + "Public/Scripts");
    EXPECT_EQ(c.RemoteTrajectoriesDir, root + "Public/Trajectories");
    EXPECT_EQ(c.RemoteLogDir, root + "Public/Log");
    EXPECT_EQ(ReadAll(c.ProgramDir + "system.ini"), sim.readFile("Config/system.ini"));
    EXPECT_EQ(ReadAll(c.ProgramDir + "system.use"), sim.readFile("Config/system.ini"));
    EXPECT_EQ(ReadAll(c.ProgramDir + "stages.ini"), sim.readFile("Config/stages.ini"));
    EXPECT_EQ(filled, std::vector<std::string>{"GROUP1"});
    EXPECT_EQ(link::CurrentController().currentGroups().xy, std::vector<std::string>{"GROUP2"});
    EXPECT_TRUE(link::CurrentController().poolOpen());
    EXPECT_GE(sim.apiConnectionCount(), 32);
    EXPECT_TRUE(c.ControllerUsable);
    EXPECT_EQ(c.ExtraTimeoutMs, 500);
    EXPECT_EQ(c.AnalogConnectorName, "GPIO2");
    EXPECT_EQ(link::CurrentController().threadGroupName(), std::string(47, 'G'));
    EXPECT_EQ(positionerFills, 1);

    const auto log = recorder().logLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].rfind("PC MAC Adress : ", 0), 0u) << log[0];
    EXPECT_TRUE(recorder().logged("Connection FTP ..OK"));
    EXPECT_TRUE(recorder().logged("Connection des sockets OK"));
    EXPECT_FALSE(recorder().logged("ALERTE: KVX non trouvé à l'adresse"));
    EXPECT_TRUE(recorder().shown().empty());
    ResetConnection();
}

INSTANTIATE_TEST_SUITE_P(Models, StartupModel,
                         ::testing::Values(StartupRow{"C", nullptr, "/", ModelC, "/", "Public"},
                                           StartupRow{"Q", "KVX-Q Version #30038", "/", ModelQ, "/", "Public"},
                                           StartupRow{"Q", "KVX-Q Version #30039", "/", ModelQ, "/", "Public/Gathering"},
                                           StartupRow{"D", nullptr, "/Admin", ModelD, "/Admin/", "Public"},
                                           StartupRow{"RLD", nullptr, "/Admin", ModelRLD, "/Admin/", "Public/Gathering"}),
                         [](const auto& info) {
                             std::string n = info.param.model;
                             if (info.param.firmware) n += std::string(info.param.firmware).substr(15);
                             return n;
                         });

TEST(Startup, SftpWhenFtpIsMissing)
{
    KvxSimOptions o;
    o.model = "RLD";
    o.extraArgs = {"--ftp-port", "2121"};
    KvxSim sim(o);
    ResetLink(sim.address());
    ResetConnection();
    link::connectionState().HideDialog = true;
    SetConfiguredModel(ModelRLD);
    EXPECT_TRUE(link::StartupConnection());
    auto& c = common();
    EXPECT_EQ(c.TransferMode, TransferSftp);
    EXPECT_EQ(c.RemoteScriptsDir, "/Admin/Public/Scripts");
    EXPECT_EQ(c.RemoteConfigDir, "/Admin/Config");
    EXPECT_EQ(ReadAll(c.ProgramDir + "system.ini"), sim.readFile("Config/system.ini"));
    EXPECT_TRUE(c.ControllerUsable);
    EXPECT_TRUE(recorder().logged("Connection FTP ..Echec"));
    ResetConnection();
}

// No controller, or one that never answers: simulation within a few seconds, and the GUI stays
// live meanwhile.
TEST(Startup, AbsentOrSilentEndsInSimulation)
{
    for (bool quiet : {false, true})
        for (bool listen : {false, true}) {
            LoopbackPeer peer(listen);
            ResetLink(peer.address());
            ResetConnection();
            int shown = 0;
            mvx::link::CurrentController().setConnectionDialogShower([&] {
                ++shown;
                link::connectionState().ConnectionDialogResult = 2;  // "&Ignore"
            });
            int ticks = 0;
            QTimer timer;
            QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
            timer.start(20);
            const auto t0 = Clock::now();
            ::testing::internal::CaptureStderr();
            EXPECT_FALSE(link::StartupConnection(link::StartupOptions{quiet, {}}));
            const std::string err = ::testing::internal::GetCapturedStderr();
            const auto took = Clock::now() - t0;
            timer.stop();
            EXPECT_LT(took, std::chrono::seconds(5));
            EXPECT_GT(ticks, 3) << "events were not dispatched";
            EXPECT_FALSE(common().ControllerUsable);
            EXPECT_EQ(common().NoControllerApi.load(), 1);
            EXPECT_FALSE(link::connectionState().QuitRequested);
            if (quiet) {
                EXPECT_EQ(shown, 0);
                EXPECT_NE(err.find("Contrôleur non détecté : mode simulation"), std::string::npos) << err;
                EXPECT_TRUE(recorder().logged("ALERTE: KVX non trouvé à l'adresse"));
                EXPECT_TRUE(recorder().logged("\"Ping\" de l'adresse: " + peer.address()));
            } else {
                // Absent: the abnormal reply, then the dialog; silent: the dialog shows at once.
                EXPECT_GE(shown, 1);
            }
            ResetConnection();
        }
}

TEST(Startup, CtrlKeyShowsDialogEvenWhenFound)
{
    KvxSim sim;
    ResetLink(sim.address());
    ResetConnection();
    link::connectionState().HideDialog = true;
    SetConfiguredModel(ModelQ);
    int shown = 0;
    mvx::link::CurrentController().setConnectionDialogShower([&] {
        ++shown;
        link::connectionState().ConnectionDialogResult = 0;  // connect to the typed address
        link::connectionState().DialogAddress = " " + sim.address();
    });
    link::StartupOptions ctrlHeld;
    ctrlHeld.ctrlHeld = [] { return true; };
    EXPECT_TRUE(link::StartupConnection(ctrlHeld));
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(common().ControllerIp, sim.address());
    EXPECT_EQ(SettingsIni()->readString("TCP-IP", "ADR IP", ""), sim.address());
    EXPECT_TRUE(common().ControllerUsable);
    ResetConnection();
}

TEST(Startup, QuitFromDialog)
{
    LoopbackPeer peer(false);
    ResetLink(peer.address());
    ResetConnection();
    mvx::link::CurrentController().setConnectionDialogShower([] {
        link::connectionState().ConnectionDialogResult = 3;
        link::connectionState().QuitRequested = true;
    });
    EXPECT_FALSE(link::StartupConnection());
    EXPECT_TRUE(link::connectionState().QuitRequested);
    ResetConnection();
}

// ----- the dialog -------------------------------------------------------------------------------------

template <class W>
W* child(QWidget* w, const char* name)
{
    return w->findChild<W*>(name);
}

TEST(ConnectDialog, ButtonsAndSettings)
{
    ResetConnection();
    auto& s = link::connectionState();
    linkui::TFconnect_KVX_GB dlg(nullptr, mvx::link::CurrentController());
    EXPECT_EQ(dlg.objectName(), "Fconnect_KVX_GB");

    // Detection found nothing at all: the connection group is offered.
    s.RadioItem = -1;
    common().ControllerIp = "127.0.0.77";
    dlg.show();
    EXPECT_TRUE(child<QGroupBox>(&dlg, "GroupBoxConnection")->isVisible());
    EXPECT_FALSE(child<QGroupBox>(&dlg, "GroupBoxContinue")->isVisible());
    auto* edit = child<QLineEdit>(&dlg, "EditAddress");
    EXPECT_EQ(edit->text(), "127.0.0.77");
    edit->clear();
    QTest::keyClicks(edit, "127.0.0.78");
    EXPECT_EQ(common().ControllerIp, "127.0.0.78");
    QTest::mouseClick(child<QPushButton>(&dlg, "BitBtnConnect"), Qt::LeftButton);
    EXPECT_EQ(s.ConnectionDialogResult, 0);
    EXPECT_FALSE(dlg.isVisible());

    // "Continue" with Simulation selected continues in simulation.
    link::CurrentController().selectControllerType(4);
    s.ConnectionDialogResult = 0;
    dlg.show();
    EXPECT_FALSE(child<QGroupBox>(&dlg, "GroupBoxConnection")->isVisible());
    EXPECT_TRUE(child<QGroupBox>(&dlg, "GroupBoxContinue")->isVisible());
    QTest::mouseClick(child<QPushButton>(&dlg, "BitBtnContinue"), Qt::LeftButton);
    EXPECT_EQ(s.ConnectionDialogResult, 2);
    EXPECT_FALSE(s.QuitRequested);

    // "Continue" with a controller leaves the result as it was.
    link::CurrentController().selectControllerType(1);
    s.ConnectionDialogResult = 0;
    dlg.show();
    QTest::mouseClick(child<QPushButton>(&dlg, "BitBtnContinue"), Qt::LeftButton);
    EXPECT_EQ(s.ConnectionDialogResult, 0);

    dlg.show();
    QTest::mouseClick(child<QPushButton>(&dlg, "BitBtnIgnore"), Qt::LeftButton);
    EXPECT_EQ(s.ConnectionDialogResult, 2);
    dlg.show();
    QTest::mouseClick(child<QPushButton>(&dlg, "BitBtnClose"), Qt::LeftButton);
    EXPECT_EQ(s.ConnectionDialogResult, 3);
    EXPECT_TRUE(s.QuitRequested);

    // The hide box is stored, except for the Simulation model.
    SettingsIni()->writeBool("MAIN", "HIDE FCONNECT", false);
    dlg.show();
    auto* hide = child<QCheckBox>(&dlg, "CheckBoxHide");
    QTest::mouseClick(hide, Qt::LeftButton);
    EXPECT_TRUE(SettingsIni()->readBool("MAIN", "HIDE FCONNECT", false));
    link::CurrentController().selectControllerType(4);
    QTest::mouseClick(hide, Qt::LeftButton);
    EXPECT_TRUE(SettingsIni()->readBool("MAIN", "HIDE FCONNECT", false));
    dlg.hide();

    // Detection method menu: a click stores the mode.
    auto* never = dlg.findChild<QAction*>("MenuMethod0");
    auto* port80 = dlg.findChild<QAction*>("MenuMethod6");
    ASSERT_TRUE(never && port80);
    port80->trigger();
    EXPECT_EQ(common().DetectionMode, 6);
    EXPECT_EQ(SettingsIni()->readInteger("MAIN", "MODE DETECTION", 0), 6);
    common().DetectionMode = 9;
    dlg.show();
    EXPECT_TRUE(never->isChecked());
    dlg.hide();

    // "Temporisation au reboot" takes an integer.
    SetInputQueryHandler([](const std::string& caption, const std::string& prompt, std::string& value) {
        EXPECT_EQ(caption, "PARAMETRAGE");
        EXPECT_EQ(prompt, "Temporisation au reboot ( en ms) : ");
        EXPECT_EQ(value, "12000");
        value = "15000";
        return true;
    });
    dlg.findChild<QAction*>("MenuRebootDelay")->trigger();
    EXPECT_EQ(s.RebootWaitMs, 15000);
    EXPECT_EQ(SettingsIni()->readInteger("MAIN", "TEMPORISATION REINITIALISATION", 0), 15000);
    SetInputQueryHandler([](const std::string&, const std::string&, std::string& value) {
        value = "soon";
        return true;
    });
    dlg.findChild<QAction*>("MenuRebootDelay")->trigger();
    EXPECT_EQ(s.RebootWaitMs, 15000);
    SetInputQueryHandler({});

    // Own texts by language.
    dlg.applyOwnTexts(1);
    EXPECT_EQ(dlg.windowTitle().toStdString(), "Détection du type et Connexion au Contrôleur KVX");
    EXPECT_EQ(child<QCheckBox>(&dlg, "CheckBoxHide")->text().toStdString(), "Ne plus afficher cette fenêtre");
    dlg.applyOwnTexts(2);
    EXPECT_EQ(dlg.windowTitle().toStdString(), "Controller Type Detection and Connection");
    ResetConnection();
}

TEST(ConnectDialog, PresentMenuNamesTheModel)
{
    KvxSimOptions o;
    o.model = "D";
    KvxSim sim(o);
    ResetConnection();
    ResetLink(sim.address());
    common().DetectionMode = 5;
    linkui::TFconnect_KVX_GB dlg(nullptr, mvx::link::CurrentController());
    dlg.findChild<QAction*>("MenuKvxPresent")->trigger();
    ASSERT_EQ(recorder().shown().size(), 1u);
    EXPECT_EQ(recorder().shown()[0], "KVX type D detected");
    ResetConnection();
}

}  // namespace

// ----- the wire on the GUI thread -------------------------------------------------------------------

namespace {

// The wire never blocks the windows' thread: a request, an open or a drain made there is refused
// (an assertion in a debug build) and nothing goes out; the typed calls take their way off it.
TEST(WireOnTheGuiThread, ABlockingCallIsRefusedAndTheTypedCallsGoOffIt)
{
    KvxSim sim;
    ResetLink(sim.address());
    ResetConnection();
    common().ControllerUsable = 1;
    ASSERT_TRUE(link::CurrentController().openPool());
    const int k = link::GetSocket(2);
    ASSERT_GE(k, 0);
    ASSERT_TRUE(link::OnWindowThread());
    sim.clearRequestLog();
#ifdef NDEBUG
    const auto start = Clock::now();
    EXPECT_EQ(link::SendCommand(k, "GroupStatusGet(GROUP1,int *)"), "");
    EXPECT_EQ(link::SocketOpen(sim.address(), KvxSim::kApiPort, 1.0), -1);
    std::atomic<bool> stop{false};
    EXPECT_FALSE(link::DrainReply(k, std::chrono::milliseconds(1000), stop));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(link::SendCommand(k, "GroupStatusGet(GROUP1,int *)"), "GUI thread");
#endif
    EXPECT_TRUE(sim.requestLog().empty());

    int status = 0;
    EXPECT_EQ(api::GroupStatusGet(k, "GROUP1", status), 0);
    ASSERT_EQ(sim.requestLog().size(), 1u);
    EXPECT_EQ(sim.requestLog()[0].text.rfind("GroupStatusGet(GROUP1", 0), 0u);
    link::ReleaseSocket(k);
    ResetConnection();
}

}  // namespace
