// Telnet session, reboot, file browser, backup and restore, against the simulator over loopback.

#include "link/controller.h"
#include "tests/support/textfile.h"
#include "linkui/backupdialogs.h"
#include "link/detect.h"
#include "linkui/filebrowser.h"
#include "linkui/linkreporter.h"
#include "link/linktexts.h"
#include "link/reboot.h"
#include "link/remotename.h"
#include "link/socketpool.h"
#include "link/telnet.h"
#include "link/transfer.h"
#include "support/kvxsim_fixture.h"
#include "tclbench/restore.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <Qsci/qsciscintilla.h>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

namespace fs = std::filesystem;
using namespace mvx;
using mvx::test::KvxSim;
using mvx::test::KvxSimOptions;

namespace {

// What the program showed and logged, and the answers the boxes give.
struct Seen {
    std::mutex mutex;
    std::vector<std::string> messages;
    std::vector<std::string> log;
    std::vector<std::string> inputs;  // answers of the input query, in order
    std::uint16_t answer = MrOk;
    std::vector<std::string> shown()
    {
        std::lock_guard l(mutex);
        return messages;
    }
    bool showed(const std::string& prefix)
    {
        std::lock_guard l(mutex);
        for (const auto& m : messages)
            if (m.rfind(prefix, 0) == 0) return true;
        return false;
    }
    bool logged(const std::string& line)
    {
        std::lock_guard l(mutex);
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    void clear()
    {
        std::lock_guard l(mutex);
        messages.clear();
        log.clear();
        inputs.clear();
        answer = MrOk;
    }
};
Seen& seen()
{
    static Seen s;
    return s;
}

using mvx::test::ReadAll;

void writeLocal(const std::string& path, const std::string& data)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << data;
}

void resetLink(const std::string& address)
{
    link::CurrentController().disconnectTransfer();
    link::CurrentController().closePool();
    if (common().TelnetOpen) link::CurrentController().disconnectTelnet();
    auto& c = common();
    c.ControllerIp = address;
    c.TransferMode = TransferNone;
    c.TransferConnected = 0;
    c.SftpRoot = "/mnt/user/Public";
    c.ControllerModel = ModelNone;
    c.ControllerUsable = 1;
    c.ExtraTimeoutMs = 0;
    link::CurrentController().transfer() = link::TransferState{};
    seen().clear();
}

// Waits (dispatching events) until `done` holds or `ms` pass.
template <class F>
bool waitFor(F done, int ms = 5000)
{
    for (int waited = 0; waited < ms; waited += 20) {
        if (done()) return true;
        WaitWithMessages(20);
    }
    return done();
}

std::vector<std::string> names(const linkui::TFNClientFTP& w)
{
    std::vector<std::string> out;
    for (const auto& e : w.entries()) out.push_back(e.name);
    return out;
}

bool has(const std::vector<std::string>& v, const std::string& s) { return std::find(v.begin(), v.end(), s) != v.end(); }

int rowOf(const linkui::TFNClientFTP& w, const std::string& name)
{
    const auto n = names(w);
    const auto it = std::find(n.begin(), n.end(), name);
    return it == n.end() ? -1 : static_cast<int>(it - n.begin());
}

// ----- pure rules ------------------------------------------------------------------------------

TEST(BrowserRules, FolderAndNameRules)
{
    const std::pair<const char*, const char*> parents[] = {
        {"/Public/Scripts", "/Public/"}, {"/Public/", "/Public/"}, {"/Admin/Public/Log", "/Admin/Public/"},
        {"Public", "Public"}, {"\\Admin\\Config", "\\Admin\\"}};
    for (const auto& [in, out] : parents) EXPECT_EQ(linkui::ParentFolder(in), out) << in;
    const std::pair<const char*, const char*> strips[] = {
        {"/Public/Log//", "/Public/Log"}, {"/Public/Log\\", "/Public/Log"}, {"/", "/"}, {"/Config", "/Config"}};
    for (const auto& [in, out] : strips) EXPECT_EQ(linkui::StripTrailingSeparators(in), out) << in;
    // Remote names as local file names: plain names only, and never one of the program's own
    // files in the program folder (whatever the case).
    const std::string program = common().ProgramDir;
    const std::string elsewhere = program + "ADMIN/Public/";
    const std::string exe = ExecutableName();
    const std::tuple<std::string, std::string, bool> names[] = {
        {"a.tcl", program, true},
        {"..x", program, true},
        {"system.ini", program, true},
        {"..", elsewhere, false},
        {".", elsewhere, false},
        {"", elsewhere, false},
        {"../a", elsewhere, false},
        {"a/b", elsewhere, false},
        {"a\\b", elsewhere, false},
        {"..\\" + exe + ".INI", elsewhere, false},
        {"a\tb", elsewhere, false},
        {std::string("a\0b", 3), elsewhere, false},
        {std::string(256, 'x'), elsewhere, false},
        {exe + ".INI", program, false},
        {exe + ".ini", program, false},
        {exe + ".INI", program + "./", false},
        {exe + ".INI", elsewhere, true},
        {exe + ".INI", "", true},
        {exe, program, false},
        {exe + "_LANGUAGE_2.INI", program, false},
        {"KVX_Language_3.ini", program, false},
        {"kvx_language_1.INI", program, false},
        {"known_hosts", program, false},
        {"known_hosts", elsewhere, true},
    };
    for (const auto& [name, dir, ok] : names) EXPECT_EQ(link::RemoteNameUsable(name, dir), ok) << name << " in " << dir;
    const std::tuple<const char*, const char*, const char*> mirror[] = {
        {"/Admin/Public/Scripts/sub", "Public/Scripts/sub", ""},
        {"/Public/Scripts", "Public/Scripts", ""},
        {"/mnt/user/Public/Log", "Public/Log", ""},
        {"/Public/../../etc", "", "refused"},
        {"/Public/./x", "", "refused"}};
    for (const auto& [in, out, refused] : mirror) {
        const auto rel = linkui::MirrorRelativeFolder(in);
        if (std::string(refused).empty()) {
            ASSERT_TRUE(rel) << in;
            EXPECT_EQ(*rel, out) << in;
        } else {
            EXPECT_FALSE(rel) << in;
        }
    }
}

TEST(BrowserRules, ListingAndProgressTexts)
{
    EXPECT_EQ(linkui::FtpDateText("Dec 10 12:13", 2026), "12/10/2026 12:13");
    EXPECT_EQ(linkui::FtpDateText("Mar  3  2024", 2026), "03/03/2024 00:00");
    EXPECT_EQ(linkui::FtpDateText("garbage", 2026), "garbage");
    EXPECT_EQ(linkui::TransferBarMaximum(0), 2147483646);
    EXPECT_EQ(linkui::TransferBarMaximum(5000000000ULL), 2147483646);
    EXPECT_EQ(linkui::TransferBarMaximum(1234), 1234);
    // 2048 bytes in 1 s = 2 KB/s, 4096 left = 2 s.
    EXPECT_EQ(linkui::TransferProgressText(true, 2048, 6144, 1.0), "Download speed 2.00 KB/s; Time remaining  0: 0: 2");
    EXPECT_EQ(linkui::TransferProgressText(false, 0, 10, 0.0), "Uploade speed 0.00 KB/s; ");
    EXPECT_EQ(linkui::CompactText("\tA = 1  \n\n\n[SECTION]\n\n  B\t=2\n"), "A = 1\n\n[SECTION]\nB =2\n");
    EXPECT_EQ(linkui::CompactText("\n\n[FIRST]\nx\n"), "[FIRST]\nx\n");
}

TEST(RebootRules, BarAndErrorLog)
{
    const std::tuple<long long, double, int> bars[] = {
        {0, 70.0, 0}, {35000, 70.0, 50}, {70000, 70.0, 100}, {90000, 70.0, 100}, {1000, 0.0, 100}, {500, -3.0, 100}};
    for (const auto& [ms, delay, pos] : bars) EXPECT_EQ(link::RebootBarPosition(ms, delay), pos) << ms << " " << delay;
    EXPECT_EQ(link::ErrorLogMessage(""), "");
    EXPECT_EQ(link::ErrorLogMessage("first\n   \t\n"), "");
    EXPECT_EQ(link::ErrorLogMessage("first\r\nlast one \r\n"), "ERROR : §last one ");
}

// ----- telnet ------------------------------------------------------------------------------------

TEST(Telnet, LoginAndCommand)
{
    KvxSim sim;
    resetLink(sim.address());
    std::mutex m;
    std::string received;
    link::CurrentController().telnet().setDataHandler([&](const std::string& bytes) {
        std::lock_guard l(m);
        received += bytes;
    });
    auto got = [&](const std::string& s) {
        std::lock_guard l(m);
        return received.find(s) != std::string::npos;
    };
    link::CurrentController().telnetDataReceived() = 0;
    ASSERT_TRUE(link::CurrentController().connectTelnet());
    EXPECT_TRUE(link::CurrentController().telnetConnected());
    EXPECT_TRUE(seen().logged("Connection telnet ..OK"));
    ASSERT_TRUE(waitFor([&] { return got("Welcome"); })) << received;
    EXPECT_EQ(link::CurrentController().telnetDataReceived().load(), 1);
    ASSERT_TRUE(link::CurrentController().telnet().send("ls Public\r"));
    EXPECT_TRUE(waitFor([&] { return got("Scripts"); })) << received;
    EXPECT_TRUE(link::CurrentController().disconnectTelnet());
    EXPECT_FALSE(link::CurrentController().telnetConnected());
    EXPECT_TRUE(seen().logged("Déconnection telnet ..OK"));
    link::CurrentController().telnet().setDataHandler({});
}

TEST(Telnet, UnreachableControllerIsSaidInThePane)
{
    std::string address;
    {
        KvxSim sim;
        address = sim.address();
    }
    resetLink(address);
    std::vector<std::string> pane;
    mvx::link::CurrentController().setTelnetPane([&](const std::string& line) { pane.push_back(line); });
    EXPECT_FALSE(link::CurrentController().connectTelnet());
    EXPECT_EQ(common().TelnetOpen.load(), 0);
    EXPECT_EQ(pane, std::vector<std::string>{"Attention: Telnet non accessible!"});
    EXPECT_TRUE(seen().logged("Connection telnet ..échec"));
    mvx::link::CurrentController().setTelnetPane({});
}

// ----- reboot ------------------------------------------------------------------------------------

TEST(Reboot, ControllerGoesDownAndConnectionsComeBack)
{
    KvxSimOptions o;
    o.rebootSeconds = 1.0;
    KvxSim sim(o);
    resetLink(sim.address());
    ASSERT_TRUE(link::CurrentController().openPool());
    ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    ASSERT_TRUE(link::CurrentController().connectTelnet());
    link::connectionState().RebootWaitMs = 300;
    common().RebootDelay = 70.0;
    const std::string logBefore = sim.readFile("Public/Log/Error.log");
    QProgressBar bar;
    EXPECT_EQ(link::CurrentController().reboot(linkui::BarProgress(&bar)), link::RebootResult::Rebooted);
    // The simulator adds a line to its error log at every reboot.
    EXPECT_GT(sim.readFile("Public/Log/Error.log").size(), logBefore.size());
    EXPECT_TRUE(link::CurrentController().poolOpen());
    // The session was reopened, then closed again by the log download.
    EXPECT_TRUE(seen().logged("Connection FTP ..OK"));
    EXPECT_FALSE(link::CurrentController().transferConnected());
    EXPECT_TRUE(link::CurrentController().telnetConnected());
    EXPECT_FALSE(bar.isVisible());
    EXPECT_TRUE(seen().showed("REBOOT OK"));
    const std::string log = sim.readFile("Public/Log/Error.log");
    ASSERT_FALSE(log.empty());
    std::string last = log.substr(log.rfind('\n', log.size() - 2) + 1);
    last = last.substr(0, last.find_first_of("\r\n"));
    bool shownLast = false;
    for (const auto& m : seen().shown())
        shownLast |= m.rfind("ERROR : ", 0) == 0 && m.size() >= last.size() && m.compare(m.size() - last.size(), last.size(), last) == 0;
    EXPECT_TRUE(shownLast)
        << ::testing::PrintToString(seen().shown());
    const double delay = common().RebootDelay;
    EXPECT_GT(delay, 0.9);
    EXPECT_LT(delay, 60.0);
    ASSERT_NE(SettingsIni(), nullptr);
    EXPECT_NEAR(SettingsIni()->readFloat("REBOOT", "DELAY", 0.0), delay, 0.001);
    link::CurrentController().disconnectTelnet();
    link::CurrentController().closePool();
    link::CurrentController().disconnectTransfer();
}

TEST(Reboot, RefusedRebootKeepsConnectionsAndDelay)
{
    KvxSim sim;
    resetLink(sim.address());
    ASSERT_TRUE(link::CurrentController().openPool());
    ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    test::KvxFault f;
    f.function = "Reboot";
    f.kind = "error";
    f.code = -22;
    sim.setFault(f);
    common().RebootDelay = 42.0;
    EXPECT_EQ(link::CurrentController().reboot({}), link::RebootResult::Refused);
    EXPECT_EQ(common().RebootDelay.load(), 42.0);
    EXPECT_TRUE(link::CurrentController().poolOpen());
    EXPECT_TRUE(link::CurrentController().transferConnected());
    EXPECT_FALSE(seen().showed("REBOOT OK"));
    link::CurrentController().closePool();
    link::CurrentController().disconnectTransfer();
}

TEST(Reboot, NoFreeConnectionSendsNothing)
{
    KvxSim sim;
    resetLink(sim.address());
    ASSERT_TRUE(link::CurrentController().openPool());
    std::vector<int> held;
    for (int i = 0; i < link::kPoolEntries; ++i) {
        const int s = link::TakeSocket(1.0);
        if (s >= 0) held.push_back(s);
    }
    ASSERT_EQ(static_cast<int>(held.size()), link::kPoolEntries);
    const std::string logBefore = sim.readFile("Public/Log/Error.log");
    common().RebootDelay = 42.0;
    EXPECT_EQ(link::CurrentController().reboot({}), link::RebootResult::NoSocket);
    EXPECT_TRUE(seen().showed("pas de socket de libre pour le \"reboot\""));
    EXPECT_EQ(sim.readFile("Public/Log/Error.log"), logBefore);
    EXPECT_EQ(common().RebootDelay.load(), 42.0);
    EXPECT_TRUE(seen().logged("Connection FTP ..OK"));
    for (int s : held) link::ReleaseSocket(s);
    link::CurrentController().closePool();
}

TEST(Reboot, UnreachableControllerSendsNothingAndKeepsDelay)
{
    std::string address;
    {
        KvxSim sim;
        address = sim.address();
    }
    resetLink(address);
    common().RebootDelay = 42.0;
    EXPECT_EQ(link::CurrentController().reboot({}), link::RebootResult::PoolFailed);
    EXPECT_EQ(common().RebootDelay.load(), 42.0);
    EXPECT_FALSE(seen().showed("REBOOT OK"));
    EXPECT_FALSE(seen().showed("ERROR : "));
    EXPECT_TRUE(seen().logged("Reboot KVX"));
}

// ----- file browser ------------------------------------------------------------------------------

struct ModeRow {
    const char* name;
    int mode;
    std::vector<std::string> extraArgs;
};

void PrintTo(const ModeRow& r, std::ostream* os) { *os << r.name; }

class BrowserModes : public ::testing::TestWithParam<ModeRow> {};

TEST_P(BrowserModes, ListGetPutDelete)
{
    KvxSimOptions o;
    o.extraArgs = GetParam().extraArgs;
    KvxSim sim(o);
    sim.writeFile("Public/Scripts/hello.tcl", "puts hi\n");
    resetLink(sim.address());
    ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    ASSERT_EQ(common().TransferMode.load(), GetParam().mode);
    auto& c = common();

    linkui::TFNClientFTP w(nullptr, mvx::link::CurrentController());
    auto* washing = w.findChild<QCheckBox*>("CheckBox1");
    ASSERT_NE(washing, nullptr);
    washing->setChecked(false);  // the memo keeps every line here
    std::vector<std::string> tclList;
    w.SetTclListHandler([&](const std::vector<linkui::BrowserEntry>& entries) {
        tclList.clear();
        for (const auto& e : entries) tclList.push_back(e.name);
    });
    w.show();
    EXPECT_EQ(w.folder(), c.RemoteConfigDir);
    EXPECT_TRUE(has(names(w), "system.ini"));
    ASSERT_TRUE(w.ChangeDirectory(c.RemoteScriptsDir + "//"));
    EXPECT_EQ(w.folder(), c.RemoteScriptsDir);
    EXPECT_EQ(tclList, names(w));
    const int row = rowOf(w, "hello.tcl");
    ASSERT_GE(row, 0);
    // The rows come in name order with what they stand for.
    const auto listed = names(w);
    EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end()));
    EXPECT_EQ(w.list()->topLevelItem(row)->text(0).toStdString(), "hello.tcl");

    // Get: a click on the row shows the file.
    QTreeWidgetItem* item = w.list()->topLevelItem(row);
    w.list()->scrollToItem(item);
    QTest::mouseClick(w.list()->viewport(), Qt::LeftButton, {}, w.list()->visualItemRect(item).center());
    EXPECT_EQ(w.editor()->text().toStdString(), "puts hi\n");
    EXPECT_EQ(ReadAll(c.ProgramDir + "hello.tcl"), "puts hi\n");
    auto* memo = w.findChild<QPlainTextEdit*>("RichEdit3");
    ASSERT_NE(memo, nullptr);
    if (GetParam().mode == TransferFtp) {
        EXPECT_TRUE(memo->toPlainText().contains("Download speed"));
        // The server's own status texts reach the memo.
        EXPECT_TRUE(waitFor([&] { return memo->toPlainText().contains("226 "); })) << memo->toPlainText().toStdString();
    }

    // A controller file named like the program's settings file is not downloaded over it.
    const std::string settingsName = fs::path(SettingsIni()->path()).filename().string();
    sim.writeFile("Public/Scripts/" + settingsName, "[EVIL]\n");
    const std::string settingsBefore = ReadAll(SettingsIni()->path());
    ASSERT_TRUE(w.ChangeDirectory(c.RemoteTrajectoriesDir));
    ASSERT_TRUE(w.ChangeDirectory(c.RemoteScriptsDir));
    ASSERT_GE(rowOf(w, settingsName), 0);
    w.ListBox1Click(rowOf(w, settingsName));
    EXPECT_EQ(ReadAll(SettingsIni()->path()), settingsBefore);
    EXPECT_TRUE(seen().showed("Nom de fichier refusé"));

    // Put: the edited text under a new name; the session is closed after it.
    w.editor()->setText("puts changed");
    seen().inputs = {"new.tcl"};
    w.SaveInKvxClick();
    EXPECT_EQ(sim.readFile("Public/Scripts/new.tcl"), "puts changed");
    if (GetParam().mode == TransferFtp) {
        EXPECT_TRUE(memo->toPlainText().contains("Uploade speed"));
    }
    EXPECT_FALSE(link::CurrentController().transferConnected());
    EXPECT_TRUE(w.editor()->text().isEmpty());

    // A typed name that would climb out of the folder is refused.
    w.editor()->setText("x");
    seen().inputs = {"a/.."};
    w.SaveInKvxClick();
    EXPECT_TRUE(seen().showed("Nom de fichier refusé"));
    EXPECT_EQ(w.editor()->text().toStdString(), "x");

    // Remonter and back.
    const std::string scripts = c.RemoteScriptsDir;
    w.Remonter1Click();
    EXPECT_EQ(w.folder(), linkui::ParentFolder(scripts));
    EXPECT_TRUE(has(names(w), "Scripts"));
    w.Remonter1Click();
    EXPECT_EQ(w.folder(), linkui::ParentFolder(scripts));
    ASSERT_TRUE(w.ChangeDirectory(scripts));
    ASSERT_GE(rowOf(w, "new.tcl"), 0);

    // Create a folder: a plain name works, a path is refused.
    seen().inputs = {"sub"};
    w.CreateSubdirectory1Click();
    EXPECT_TRUE(has(names(w), "sub"));
    seen().inputs = {"../evil"};
    w.CreateSubdirectory1Click();
    EXPECT_FALSE(has(names(w), "evil"));
    EXPECT_FALSE(sim.fileExists("Public/evil"));

    // "Save in curent directory": the program folder's file named like the folder goes into it.
    writeLocal(c.ProgramDir + "sub", "inside");
    w.list()->setCurrentItem(w.list()->topLevelItem(rowOf(w, "sub")));
    w.SaveInCurrentDirectory1Click();
    EXPECT_EQ(sim.readFile("Public/Scripts/sub/sub"), "inside");
    fs::remove(c.ProgramDir + "sub");

    // Delete: "Non" keeps it, "Oui" removes it.
    w.list()->setCurrentItem(w.list()->topLevelItem(rowOf(w, "new.tcl")));
    seen().answer = MrNo;
    w.Delete1Click();
    EXPECT_TRUE(sim.fileExists("Public/Scripts/new.tcl"));
    EXPECT_TRUE(seen().showed("new.tcl Delete"));
    seen().answer = MrYes;
    w.list()->setCurrentItem(w.list()->topLevelItem(rowOf(w, "new.tcl")));
    w.Delete1Click();
    EXPECT_FALSE(sim.fileExists("Public/Scripts/new.tcl"));
    EXPECT_FALSE(has(names(w), "new.tcl"));
    seen().answer = MrOk;

    // Tab in the editor types six blanks.
    w.editor()->clear();
    w.editor()->setFocus();
    QTest::keyClick(w.editor(), Qt::Key_Tab);
    QTest::keyClick(w.editor(), Qt::Key_X);
    EXPECT_EQ(w.editor()->text().toStdString(), "      x");

    // At the end of the FTP session a memo of 10 lines or more is washed, when so ticked.
    if (GetParam().mode == TransferFtp) {
        // The listing's replies reach the memo (gathered, shown together) before the lines.
        memo->clear();
        ASSERT_TRUE(link::CurrentController().changeDir(c.RemoteScriptsDir, c.ProgramDir));
        ASSERT_TRUE(waitFor([&] { return memo->toPlainText().contains("226 "); })) << memo->toPlainText().toStdString();
        for (int i = 0; i < 12; ++i) memo->appendPlainText("line");
        washing->setChecked(true);
        link::CurrentController().disconnectTransfer();
        EXPECT_TRUE(waitFor([&] { return memo->toPlainText().isEmpty(); })) << memo->toPlainText().toStdString();
    }
    w.hide();
    link::CurrentController().disconnectTransfer();
}

INSTANTIATE_TEST_SUITE_P(Modes, BrowserModes,
                         ::testing::Values(ModeRow{"Ftp", TransferFtp, {}},
                                           ModeRow{"Sftp", TransferSftp, {"--ftp-port", "2121"}}),
                         [](const auto& info) { return std::string(info.param.name); });

// ----- backup and restore ------------------------------------------------------------------------

// The server's replies reach the memo in batches; a batch leaves it as the replies one by one
// would: washed before an addition once it holds 10 lines, the last reply last.
TEST(BrowserMemo, RepliesShownTogetherAreWashedAsOneByOne)
{
    KvxSim sim;
    resetLink(sim.address());
    ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    auto& c = common();
    linkui::TFNClientFTP w(nullptr, mvx::link::CurrentController());
    auto* washing = w.findChild<QCheckBox*>("CheckBox1");
    auto* memo = w.findChild<QPlainTextEdit*>("RichEdit3");
    ASSERT_NE(washing, nullptr);
    ASSERT_NE(memo, nullptr);
    auto listings = [&] {
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(link::CurrentController().changeDir(i % 2 ? c.RemoteScriptsDir : c.RemoteTrajectoriesDir, c.ProgramDir));
        }
    };
    auto codes = [&] {
        std::vector<std::string> out;
        // 125 or 150 as the data connection came before or after the command.
        for (const QString& l : memo->toPlainText().split('\n')) out.push_back(l.startsWith('1') ? "1xx" : l.left(3).toStdString());
        return out;
    };
    // Every reply, kept (after a first round, so both rounds meet the session in one state).
    washing->setChecked(false);
    listings();
    QTest::qWait(100);
    memo->clear();
    listings();
    ASSERT_TRUE(waitFor([&] { return memo->blockCount() >= 15 && memo->toPlainText().endsWith("Transfer complete."); }))
        << memo->toPlainText().toStdString();
    QTest::qWait(100);
    std::vector<std::string> all = codes();
    std::vector<std::string> expected;
    for (const std::string& code : all) {
        if (expected.size() >= 10) expected.clear();
        expected.push_back(code);
    }
    // The same replies, washed.
    washing->setChecked(true);
    memo->clear();
    listings();
    ASSERT_TRUE(waitFor([&] { return codes() == expected; })) << memo->toPlainText().toStdString();
    link::CurrentController().disconnectTransfer();
}

TEST(BackupList, ShiftClickInvertsRowsBetween)
{
    struct Row {
        int first, second;
        std::vector<int> inverted;
    };
    const Row rows[] = {{2, 6, {3, 4, 5}}, {6, 2, {}}, {3, 4, {}}};
    for (const auto& r : rows) {
        linkui::TFchoixsauve d(nullptr, mvx::link::CurrentController(), nullptr);
        for (int i = 0; i < 8; ++i) {
            auto* item = new QListWidgetItem(QString::number(i), d.list());
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
        d.CheckListBox1Click(r.first, true);
        EXPECT_EQ(d.anchor(), r.first);
        d.CheckListBox1Click(r.second, true);
        EXPECT_EQ(d.anchor(), -1);
        for (int i = 0; i < 8; ++i) {
            const bool want = std::find(r.inverted.begin(), r.inverted.end(), i) != r.inverted.end();
            EXPECT_EQ(d.list()->item(i)->checkState() == Qt::Checked, want) << r.first << "->" << r.second << " row " << i;
        }
        d.CheckListBox1Click(1, false);
        EXPECT_EQ(d.anchor(), -1);
        // Ctrl+A ticks every item.
        QTest::keyClick(d.list(), Qt::Key_A, Qt::ControlModifier);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(d.list()->item(i)->checkState(), Qt::Checked) << i;
    }
}

struct LayoutRow {
    const char* name;
    const char* loginFolder;
    std::vector<std::string> extraArgs;
};

void PrintTo(const LayoutRow& r, std::ostream* os) { *os << r.name; }

class BackupRestore : public ::testing::TestWithParam<LayoutRow> {};

TEST_P(BackupRestore, MirrorAndBack)
{
    KvxSimOptions o;
    o.loginFolder = GetParam().loginFolder;
    o.extraArgs = GetParam().extraArgs;
    KvxSim sim(o);
    sim.writeFile("Public/Scripts/a.tcl", "puts a\n");
    sim.writeFile("Public/Scripts/sub/b.tcl", "puts b\n");
    resetLink(sim.address());
    auto& c = common();
    fs::remove_all(tcl::MirrorRoot());
    linkui::TFNClientFTP browser(nullptr, mvx::link::CurrentController());
    linkui::TFchoixsauve backup(nullptr, mvx::link::CurrentController(), nullptr);
    std::vector<std::string> status;
    ASSERT_TRUE(backup.FillList(c.RemoteScriptsDir));  // connects first
    std::vector<std::string> items;
    for (int i = 0; i < backup.list()->count(); ++i) items.push_back(backup.list()->item(i)->text().toStdString());
    EXPECT_TRUE(has(items, c.RemoteScriptsDir + "/a.tcl")) << ::testing::PrintToString(items);
    EXPECT_TRUE(has(items, c.RemoteScriptsDir + "/sub/b.tcl"));
    backup.TickAll();
    bool ok = false;
    EXPECT_EQ(backup.CopyTicked(tcl::MirrorRoot(), &ok), static_cast<int>(items.size()));
    EXPECT_TRUE(ok);
    const std::string mirror = tcl::MirrorRoot() + "/Public/Scripts/";
    EXPECT_EQ(ReadAll(mirror + "a.tcl"), "puts a\n");
    EXPECT_EQ(ReadAll(mirror + "sub/b.tcl"), "puts b\n");
    EXPECT_EQ(tcl::RestoreStartFolder(), tcl::MirrorRoot() + "/Public/Scripts");

    // Restore: the edited mirror files go back where they came from; a new mirror folder is made.
    writeLocal(mirror + "sub/b.tcl", "puts b2\n");
    writeLocal(mirror + "fresh/c.tcl", "puts c\n");
    tcl::TFrestore restore(nullptr, mvx::link::CurrentController());
    restore.setFolder("/tmp");
    EXPECT_EQ(restore.folder(), tcl::MirrorRoot());
    restore.setFolder(mirror + "sub");
    restore.fileList()->selectAll();
    EXPECT_EQ(restore.Button2Click(), 1);
    EXPECT_EQ(sim.readFile("Public/Scripts/sub/b.tcl"), "puts b2\n");
    EXPECT_FALSE(link::CurrentController().transferConnected());
    restore.setFolder(mirror + "fresh");
    restore.fileList()->selectAll();
    EXPECT_EQ(restore.Button2Click(), 1);
    EXPECT_EQ(sim.readFile("Public/Scripts/fresh/c.tcl"), "puts c\n");
    // Nothing selected: only folders are changed.
    restore.fileList()->clearSelection();
    EXPECT_EQ(restore.Button2Click(), 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, BackupRestore,
                         ::testing::Values(LayoutRow{"FtpRoot", "/", {}}, LayoutRow{"FtpAdmin", "/Admin", {}},
                                           LayoutRow{"Sftp", "/", {"--ftp-port", "2121"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BackupDialog, SavesIntoChosenFolderAndCancelCopiesNothing)
{
    KvxSim sim;
    sim.writeFile("Public/Scripts/a.tcl", "puts a\n");
    resetLink(sim.address());
    fs::remove_all(tcl::MirrorRoot());
    linkui::TFNClientFTP browser(nullptr, mvx::link::CurrentController());
    linkui::TFchoixRep rep(nullptr);
    linkui::TFchoixsauve backup(nullptr, mvx::link::CurrentController(), &rep);
    const std::string scripts = common().RemoteScriptsDir;
    // "Annuler" of the folder choice stops everything (StopRequested), "OK" copies.
    for (const char* button : {"BitBtnAnnuler", "BitBtnOK"}) {
        ASSERT_TRUE(backup.FillList(scripts));
        backup.TickAll();
        common().StopRequested.store(0);
        QTimer::singleShot(0, &rep, [&rep, button] { rep.findChild<QPushButton*>(button)->click(); });
        backup.SauvegarderClick();
        const bool ok = std::string(button) == "BitBtnOK";
        EXPECT_EQ(common().StopRequested.load(), ok ? 0 : 1) << button;
        EXPECT_EQ(fs::exists(tcl::MirrorRoot() + "/Public/Scripts/a.tcl"), ok) << button;
    }
    EXPECT_EQ(ReadAll(tcl::MirrorRoot() + "/Public/Scripts/a.tcl"), "puts a\n");
}

// "Abandon" pressed while the files are being copied stops the copy at the next file.
TEST(BackupDialog, AbandonDuringTheCopyStopsIt)
{
    KvxSim sim;
    for (const char* n : {"a.tcl", "b.tcl", "c.tcl", "d.tcl"}) sim.writeFile(std::string("Public/Scripts/") + n, "x\n");
    resetLink(sim.address());
    fs::remove_all(tcl::MirrorRoot());
    linkui::TFNClientFTP browser(nullptr, mvx::link::CurrentController());
    linkui::TFchoixsauve backup(nullptr, mvx::link::CurrentController(), nullptr);
    std::vector<std::string> status;
    bool pressed = false;
    QTimer shown;
    shown.setInterval(20);
    QObject::connect(&shown, &QTimer::timeout, [&] {
        if (!backup.isVisible()) return;
        shown.stop();
        backup.TickAll();
        backup.findChild<QPushButton*>("BitBtnSauvegarder")->click();
    });
    shown.start();
    backup.ShowBackupList(
        [&](const std::string& line) {
            status.push_back(line);
            // The user presses "Abandon" as the first file is being copied.
            if (!pressed && line.rfind("     ", 0) == 0) {
                pressed = true;
                backup.findChild<QPushButton*>("BitBtnAbandon")->click();
            }
        },
        common().RemoteScriptsDir);
    int copied = 0;
    for (const char* n : {"a.tcl", "b.tcl", "c.tcl", "d.tcl"})
        copied += fs::exists(tcl::MirrorRoot() + "/Public/Scripts/" + n) ? 1 : 0;
    EXPECT_EQ(copied, 1);
    EXPECT_EQ(common().StopRequested.load(), 1);
    EXPECT_FALSE(backup.isVisible());
    bool said = false;
    for (const auto& l : status) said |= l.rfind("Sauvegarde interrompue : 1/4", 0) == 0;
    EXPECT_TRUE(said) << ::testing::PrintToString(status);
    EXPECT_FALSE(link::CurrentController().transferConnected());
    common().StopRequested.store(0);
}

TEST(FolderChoice, CreateAndRemoveFolders)
{
    const std::string base = common().ProgramDir + "choice";
    fs::remove_all(base);
    fs::create_directories(base);
    linkui::TFchoixRep d(nullptr);
    ASSERT_TRUE(d.setFolder(base));
    EXPECT_FALSE(d.setFolder(base + "/missing"));
    seen().clear();
    seen().inputs = {"jobs"};
    d.CreerClick();
    EXPECT_TRUE(fs::is_directory(base + "/jobs"));
    EXPECT_EQ(fs::path(d.folder()), fs::path(base + "/jobs"));
    seen().inputs = {"../escape"};
    d.CreerClick();
    EXPECT_FALSE(fs::exists(base + "/escape"));
    EXPECT_FALSE(fs::exists(common().ProgramDir + "escape"));
    // A folder that holds files is never removed.
    writeLocal(base + "/jobs/keep.txt", "x");
    seen().answer = MrYes;
    d.SupprimerClick();
    EXPECT_TRUE(fs::exists(base + "/jobs/keep.txt"));
    fs::remove(base + "/jobs/keep.txt");
    seen().answer = MrNo;
    d.SupprimerClick();
    EXPECT_TRUE(fs::is_directory(base + "/jobs"));
    seen().answer = MrYes;
    d.SupprimerClick();
    EXPECT_FALSE(fs::exists(base + "/jobs"));
    EXPECT_EQ(fs::path(d.folder()), fs::path(base));
    seen().answer = MrOk;
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const auto dir = fs::temp_directory_path() / ("mvx_browser_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    InitCommonGlobals(dir.string() + "/", "movantrix_test");
    link::registerTexts();
    auto& s = seen();
    mvx::link::CurrentController().setLogHandler([&s](const std::string& line) {
        std::lock_guard l(s.mutex);
        s.log.push_back(line);
    });
    // The link's words reach the message box, which the tests answer.
    static linkui::LinkServices services{mvx::link::CurrentController()};
    SetMessageBoxHandler([&s](const std::string& text, std::uint16_t) -> std::uint16_t {
        std::lock_guard l(s.mutex);
        s.messages.push_back(text);
        return s.answer;
    });
    SetInputQueryHandler([&s](const std::string&, const std::string&, std::string& value) {
        std::lock_guard l(s.mutex);
        if (s.inputs.empty()) return false;
        value = s.inputs.front();
        s.inputs.erase(s.inputs.begin());
        return true;
    });
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;
    fs::remove_all(dir, ec);
    return rc;
}
