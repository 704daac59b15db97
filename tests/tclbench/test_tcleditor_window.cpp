// The TCL editor window: offscreen commands without a controller, then the remote list, load,
// save and upload, execute and kill, and the boot script against the simulator.
#include "link/controller.h"
#include "tests/support/textfile.h"
#include "tests/support/simlink.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "link/transfer.h"
#include "link/scriptexec.h"
#include "tclbench/tcltelnetpane.h"
#include "tclbench/searchdialogs.h"
#include "tclbench/tftcl.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QCoreApplication>
#include <QFileDialog>
#include <QPageLayout>
#include <QPrinter>
#include <QTimer>
#include <QTreeWidget>
#include <QHeaderView>
#include <QTest>
#include "link/telnet.h"
#include <QLineEdit>
#include <QTemporaryDir>

#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

using namespace mvx;
using namespace mvx::tclbench;
namespace fs = std::filesystem;

namespace {

using mvx::test::ReadAll;

int TclEditorSimRow(const TFtcl& w, const std::string& name)
{
    const auto rows = w.rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].name == name) return int(i);
    return -1;
}

const char* kFiveLines = "set a 1\nset b 2\nset c 3\nset d 4\nreturn \"$a,$b,$c\"\n";

// Message boxes answer from a queue (default Oui) and are recorded.
struct Dialogs {
    std::vector<std::string> messages;
    std::vector<std::uint16_t> answers;
    std::vector<std::string> inputs;
    bool inputOk = true;
    void install()
    {
        SetMessageBoxHandler([this](const std::string& text, std::uint16_t) {
            messages.push_back(text);
            if (answers.empty()) return std::uint16_t(MrYes);
            const std::uint16_t a = answers.front();
            answers.erase(answers.begin());
            return a;
        });
        SetInputQueryHandler([this](const std::string&, const std::string&, std::string& value) {
            if (!inputs.empty()) {
                value = inputs.front();
                inputs.erase(inputs.begin());
            }
            return inputOk;
        });
    }
    ~Dialogs()
    {
        SetMessageBoxHandler({});
        SetInputQueryHandler({});
    }
};

TEST(TclEditorWindow, OfflineCommands)
{
    Dialogs d;
    d.install();
    common().NoControllerApi.store(1);
    TFtcl w(nullptr, mvx::link::CurrentController());
    EXPECT_EQ(w.objectName(), "Ftcl");
    EXPECT_EQ(w.windowTitle(), "TCL");

    // Re-indentation and its depth: "-" stops at 1, a bad typed depth changes nothing.
    w.setEditorText("proc a {} {\nset x 1\n}");
    d.inputs = {"4"};
    w.Profondeurdindentation1Click();
    EXPECT_EQ(w.indentDepth(), 4);
    EXPECT_EQ(w.editorText(), "proc a {} {\n    set x 1\n    }");
    EXPECT_EQ(SettingsIni()->readInteger("INDENTATION", "NB", 0), 4);
    d.inputs = {"abc"};
    w.Profondeurdindentation1Click();
    EXPECT_EQ(w.indentDepth(), 4);
    ASSERT_FALSE(d.messages.empty());
    for (int i = 0; i < 6; ++i) w.Indentation2Click();
    EXPECT_EQ(w.indentDepth(), 1);
    EXPECT_EQ(w.editorText(), "proc a {} {\n set x 1\n }");

    // Backups go to the backup folder, which always ends with a separator.
    QTemporaryDir dir;
    d.inputs = {dir.path().toStdString()};
    w.Repertoiredebackupautomatique1Click();
    EXPECT_EQ(w.backupDir(), dir.path().toStdString() + "/");
    w.Timer1Timer();
    const std::string first = w.backupDir() + "Backup1.tcl";
    EXPECT_EQ(ReadAll(first), w.editorText());
    // Replacing modified text backs it up first.
    w.editor()->setText("typed by the user");
    w.setEditorText("other");
    EXPECT_EQ(ReadAll(w.backupDir() + "Backup2.tcl"), "typed by the user");

    // A period that is not a positive number keeps the timer as it was.
    d.inputs = {"0"};
    w.Timerdebackup1Click();
    EXPECT_EQ(w.backupPeriodMs(), 30000);
    d.inputs = {"2.5"};
    w.Timerdebackup1Click();
    EXPECT_EQ(w.backupPeriodMs(), 2500);

    // Auto-correct puts the caret's line right when the mouse is pressed.
    w.setEditorText("Set a 1\nPuts $a");
    w.editor()->setCursorPosition(0, 3);
    QTest::mouseClick(w.editor()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(w.editorText(), "set a 1\nPuts $a");

    // "Effacer tout" names the script NEW.
    w.EffacerToutClick();
    EXPECT_EQ(common().CurrentScriptName, "NEW");
    EXPECT_EQ(w.editorText(), "");
}

QAction* actionNamed(QWidget* w, const char* text)
{
    for (QAction* a : w->findChildren<QAction*>())
        if (a->text() == QString::fromUtf8(text)) return a;
    ADD_FAILURE() << "no action " << text;
    return nullptr;
}

// Runs `steps` on the modal dialog named `name` once it is up (the trigger opens it).
void whileModal(const char* name, const std::function<void()>& trigger, const std::function<void(QDialog*)>& steps)
{
    QTimer timer;
    timer.setInterval(20);
    bool done = false;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (done || !d || d->objectName() != name) return;
        done = true;
        QApplication::processEvents();
        steps(d);
        if (d->isVisible()) d->reject();
    });
    timer.start();
    trigger();
    EXPECT_TRUE(done) << name << " never showed";
}

// "Find next", "Find previous" and "Replace..." wait for a first search; "Replace..." also for
// an editable text. The search messages go to the second panel.
TEST(TclEditorWindow, SearchCommandsFollowTheSharedOptions)
{
    Dialogs d;
    d.install();
    common().NoControllerApi.store(1);
    TFtcl w(nullptr, mvx::link::CurrentController());
    QAction* find = actionNamed(&w, "&Find...");
    QAction* next = actionNamed(&w, "Find &next");
    QAction* previous = actionNamed(&w, "Find &previous");
    QAction* replace = actionNamed(&w, "&Replace...");
    EXPECT_TRUE(find->isEnabled());
    EXPECT_FALSE(next->isEnabled());
    EXPECT_FALSE(previous->isEnabled());
    EXPECT_FALSE(replace->isEnabled());

    w.setEditorText("alpha beta alpha");
    w.editor()->setCursorPosition(0, 0);
    whileModal("TextSearchDialog", [&] { find->trigger(); }, [](QDialog* dlg) {
        static_cast<TTextSearchDialog*>(dlg)->SetFindText("alpha");
        dlg->accept();
    });
    EXPECT_EQ(w.editor()->selectedText().toStdString(), "alpha");
    EXPECT_TRUE(next->isEnabled());
    EXPECT_TRUE(previous->isEnabled());
    EXPECT_TRUE(replace->isEnabled());
    next->trigger();
    int line = 0, from = 0, lineTo = 0, to = 0;
    w.editor()->getSelection(&line, &from, &lineTo, &to);
    EXPECT_EQ(from, 11);
    EXPECT_EQ(w.statusText(1), "");
    next->trigger();
    EXPECT_EQ(w.statusText(1), "Text not found");
    EXPECT_FALSE(w.editor()->hasSelectedText());

    // Opened read-only: nothing to replace in.
    const std::string path = common().ProgramDir + "readonly.tcl";
    std::ofstream(path) << "alpha\n";
    w.setFileDialogs({[&](const std::string&, bool& readOnly) {
                          readOnly = true;
                          return path;
                      },
                      {},
                      {}});
    actionNamed(&w, "&Open...")->trigger();
    EXPECT_TRUE(w.editor()->isReadOnly());
    EXPECT_FALSE(replace->isEnabled());
    EXPECT_TRUE(next->isEnabled());
}

// "&Open..." offers the read-only box of its own dialog, and the editor follows it.
TEST(TclEditorWindow, OpenDialogReadOnlyBox)
{
    common().NoControllerApi.store(1);
    TFtcl w(nullptr, mvx::link::CurrentController());
    const std::string path = common().ProgramDir + "opened.tcl";
    std::ofstream(path) << "set a 1\n";
    for (const bool tick : {true, false}) {
        whileModal("OpenDialog1", [&] { actionNamed(&w, "&Open...")->trigger(); }, [&](QDialog* dlg) {
            auto* box = dlg->findChild<QCheckBox*>("ReadOnlyBox");
            ASSERT_NE(box, nullptr);
            box->setChecked(tick);
            // Typed into the name field, as a user does.
            auto* name = dlg->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(QString::fromStdString(path));
            static_cast<QDialog*>(dlg)->accept();
        });
        EXPECT_EQ(w.editorText(), "set a 1\n");
        EXPECT_EQ(w.editor()->isReadOnly(), tick);
        EXPECT_EQ(w.statusText(2), "opened.tcl ( NOT SAVED IN KVX)");
    }
}

// "Im&primer": the script's name as document title and in every page's header, the page
// number in the footer, the margins of the window.
TEST(TclEditorWindow, PrintCarriesTitleHeaderAndFooter)
{
    common().NoControllerApi.store(1);
    TFtcl w(nullptr, mvx::link::CurrentController());
    common().CurrentScriptName = "move.tcl";
    std::string text;
    for (int i = 0; i < 150; ++i) text += "set line" + std::to_string(i) + " " + std::to_string(i) + "\n";
    w.setEditorText(text);
    const std::string pdf = common().ProgramDir + "printed.pdf";
    fs::remove(pdf);
    QMarginsF margins;
    QString docName;
    w.setFileDialogs({{}, {}, [&](QPrinter& printer) {
                          printer.setOutputFormat(QPrinter::PdfFormat);
                          printer.setOutputFileName(QString::fromStdString(pdf));
                          margins = printer.pageLayout().margins(QPageLayout::Millimeter);
                          docName = printer.docName();
                          return true;
                      }});
    actionNamed(&w, "Im&primer")->trigger();
    EXPECT_EQ(docName.toStdString(), "move.tcl");
    EXPECT_NEAR(margins.left(), 25, 0.1);
    EXPECT_NEAR(margins.top(), 25, 0.1);
    EXPECT_NEAR(margins.right(), 15, 0.1);
    EXPECT_NEAR(margins.bottom(), 25, 0.1);
    const auto& pages = w.lastPrint();
    ASSERT_GE(pages.size(), 2u);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(pages[i].number, int(i) + 1);
        EXPECT_EQ(pages[i].header, "move.tcl");
        EXPECT_EQ(pages[i].footer, "Page " + std::to_string(i + 1));
    }
    EXPECT_GT(fs::file_size(pdf), 0u);
    // A cancelled print dialog prints nothing.
    w.setFileDialogs({{}, {}, [](QPrinter&) { return false; }});
    actionNamed(&w, "Im&primer")->trigger();
    EXPECT_EQ(w.lastPrint().size(), pages.size());
}

// The editor's pop-up menu shows the indentation depth and runs the indentation commands.
TEST(TclEditorWindow, EditorPopupCarriesTheIndentation)
{
    common().NoControllerApi.store(1);
    TFtcl w(nullptr, mvx::link::CurrentController());
    w.show();
    w.setEditorText("proc a {} {\nset x 1\n}");
    QStringList captions;
    auto answer = [&](const char* choose) {
        QTimer::singleShot(50, [&, choose] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            EXPECT_EQ(menu->objectName(), "PopupMenu1");
            captions.clear();
            for (QAction* a : menu->actions()) captions << a->text();
            for (QAction* a : menu->actions())
                if (a->text() == QString::fromUtf8(choose)) a->trigger();
            menu->close();
        });
        QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(5, 5), w.editor()->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(w.editor()->viewport(), &e);
    };
    answer("Indentation &-");
    EXPECT_TRUE(captions.contains("Indentation (" + QString::number(w.indentDepth() + 1) + ")"))
        << captions.join("|").toStdString();
    const int depth = w.indentDepth();
    answer("Indentation &+");
    EXPECT_EQ(w.indentDepth(), depth + 1);
    EXPECT_EQ(w.editorText(), "proc a {} {\n" + std::string(depth + 1, ' ') + "set x 1\n" + std::string(depth + 1, ' ') + "}");
    EXPECT_TRUE(captions.contains("Indentation (" + QString::number(depth) + ")"));
}

TEST(TclEditorWindow, FragmentCaretFollowsTheTable)
{
    common().NoControllerApi.store(1);
    TFtcl w(nullptr, mvx::link::CurrentController());
    w.setEditorText("set a 1\nset b 2");
    w.editor()->setCursorPosition(0, 0);
    w.InsertFragment({"after 100 # delay", "set c 3  ;# x", "set d 4  ;# y"}, FragmentKind::Delay);
    EXPECT_EQ(w.editorText(), "set a 1\nafter 100 # delay\nset c 3  ;# x\nset d 4  ;# y\nset b 2");
    int line = -1, col = -1;
    w.editor()->getCursorPosition(&line, &col);
    // Caret on fragment line 2 (editor line 3), column of "#" in fragment line 1, + 1.
    EXPECT_EQ(line, 2);
    EXPECT_EQ(col, 11);
    EXPECT_EQ(w.editor()->selectedText().toStdString(), " x\nset d 4  ;#");
}

TEST(TclEditorWindow, PcRunShowsTheExitCode)
{
    Dialogs d;
    d.install();
    TFtcl w(nullptr, mvx::link::CurrentController());
    const std::string pc = common().ProgramDir + "TCLPC/";
    ASSERT_TRUE(fs::is_directory(pc));
    // The console stand-in: runs the script with tclsh, its exit code is the script's.
    const std::string console = pc + TFtcl::PcConsoleName();
    std::ofstream(console) << "#!/bin/sh\nexec tclsh8.6 \"$2\"\n";
    fs::permissions(console, fs::perms::owner_all);
    std::ofstream(pc + "run.tcl") << "exit [expr {3 + 4}]\n";
    common().CurrentScriptName = "run.tcl";
    w.Button1Click();
    EXPECT_EQ(w.answerText(), "7");
    common().CurrentScriptName = "missing.tcl";
    w.Button1Click();
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(d.messages[0], "script missing.tclIntrouvable");
    fs::remove(console);
}

class TclEditorSim : public test::SimLinkTest {
protected:
    void SetUp() override
    {
        SimLinkTest::SetUp();
        mDialogs.install();
        common().NoControllerApi.store(0);
        common().CurrentScriptName.clear();
        ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    }
    void TearDown() override
    {
        mvx::link::CurrentController().scripts().WaitForWorkers(5000);
        common().NoControllerApi.store(1);
        SimLinkTest::TearDown();
    }
    static int rowOf(const TFtcl& w, const std::string& name)
    {
        const auto rows = w.rows();
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].name == name) return int(i);
        return -1;
    }
    Dialogs mDialogs;
};

TEST_F(TclEditorSim, ListLoadSaveAndUpload)
{
    sim().writeFile("Public/Scripts/move.tcl", kFiveLines);
    sim().writeFile("Public/Scripts/Tests/inner.tcl", "return 1\n");
    TFtcl w(nullptr, mvx::link::CurrentController());
    w.FormShow();
    EXPECT_EQ(link::CurrentController().transfer().RemoteDir, common().RemoteScriptsDir);
    const int row = rowOf(w, "move.tcl");
    ASSERT_GE(row, 0);
    ASSERT_GE(rowOf(w, "Tests"), 0);
    EXPECT_TRUE(w.rows()[std::size_t(rowOf(w, "Tests"))].directory);

    w.ListBox1Click(row);
    EXPECT_EQ(common().CurrentScriptName, "move.tcl");
    EXPECT_EQ(w.editorText(), kFiveLines);
    EXPECT_EQ(w.statusText(2), "move.tcl ( FROM KVX)");
    EXPECT_EQ(ReadAll(common().ProgramDir + "move.tcl"), kFiveLines);

    // Edited and uploaded under a new name.
    w.editor()->append("puts done\n");
    mDialogs.inputs = {"moved.tcl"};
    w.BitBtn4Click();
    EXPECT_EQ(sim().readFile("Public/Scripts/moved.tcl"), std::string(kFiveLines) + "puts done\n");
    EXPECT_EQ(w.statusText(2), "moved.tcl (IN KVX)");
    EXPECT_GE(rowOf(w, "moved.tcl"), 0);

    // A 3-line script asks first; Non uploads nothing and keeps the name.
    w.setEditorText("a\nb\nc");
    mDialogs.inputs = {"short.tcl"};
    mDialogs.answers = {MrNo};
    w.BitBtn4Click();
    EXPECT_FALSE(sim().fileExists("Public/Scripts/short.tcl"));
    EXPECT_EQ(common().CurrentScriptName, "moved.tcl");

    // A folder entry relists that folder and leaves the editor empty.
    w.ListBox1Click(rowOf(w, "Tests"));
    EXPECT_EQ(link::CurrentController().transfer().RemoteDir, common().RemoteScriptsDir + "/Tests");
    EXPECT_GE(rowOf(w, "inner.tcl"), 0);
    EXPECT_EQ(w.editorText(), "");
    w.FormClose();
}

TEST_F(TclEditorSim, HeaderDoubleClickSortsBySize)
{
    sim().writeFile("Public/Scripts/big.tcl", std::string(5000, '#'));
    sim().writeFile("Public/Scripts/small.tcl", "#");
    sim().writeFile("Public/Scripts/mid.tcl", std::string(300, '#'));
    TFtcl w(nullptr, mvx::link::CurrentController());
    w.FormShow();
    auto sizes = [&] {
        std::vector<std::uint64_t> out;
        for (const RemoteRow& r : w.rows())
            if (r.name == "big.tcl" || r.name == "small.tcl" || r.name == "mid.tcl") out.push_back(r.size);
        return out;
    };
    const int x = 160;  // inside "taille" (after the 150 px "Nom")
    w.HeaderPress(x, 100000);
    w.HeaderPress(x, 100300);  // 300 ms: no sort yet
    const auto before = sizes();
    w.HeaderPress(x, 100400);
    EXPECT_EQ(sizes(), (std::vector<std::uint64_t>{1, 300, 5000}));
    w.HeaderPress(x, 101000);
    w.HeaderPress(x, 101100);
    EXPECT_EQ(sizes(), (std::vector<std::uint64_t>{5000, 300, 1}));
    EXPECT_EQ(before.size(), 3u);
    w.FormClose();
}

TEST_F(TclEditorSim, FailedUploadSaysSoAndKeepsTheControllerFile)
{
    // A folder where the file should go: the upload cannot replace it.
    sim().writeFile("Public/Scripts/taken.tcl/keep.txt", "kept");
    TFtcl w(nullptr, mvx::link::CurrentController());
    w.FormShow();
    w.setEditorText(kFiveLines);
    mDialogs.inputs = {"taken.tcl"};
    mDialogs.messages.clear();
    w.BitBtn4Click();
    EXPECT_EQ(w.statusText(2), "taken.tcl (NOT SAVED IN KVX)");
    ASSERT_FALSE(mDialogs.messages.empty());
    EXPECT_NE(mDialogs.messages.back().find("taken.tcl"), std::string::npos);
    EXPECT_EQ(sim().readFile("Public/Scripts/taken.tcl/keep.txt"), "kept");
    // The user's text is on the PC all the same.
    EXPECT_EQ(ReadAll(common().ProgramDir + "taken.tcl"), kFiveLines);
    w.FormClose();
}

TEST_F(TclEditorSim, ExecuteWaitAndKill)
{
    sim().writeFile("Public/Scripts/answer.tcl", "return \"1,2,3\"\n");
    sim().writeFile("Public/Scripts/bad.tcl", "error \"boom\"\n");
    sim().writeFile("Public/Scripts/slow.tcl", "after 20000\nreturn 0\n");
    TFtcl w(nullptr, mvx::link::CurrentController());
    w.FormShow();

    common().CurrentScriptName = "answer.tcl";
    w.BitBtn1Click();
    EXPECT_EQ(w.answerText(), "1,2,3");
    EXPECT_EQ(w.statusText(2), "TASK  (answer.tcl) executed");

    common().CurrentScriptName = "bad.tcl";
    w.BitBtn1Click();
    EXPECT_EQ(w.answerText(), "Error 1");
    const auto pane = w.telnetPane()->toPlainText().toStdString();
    EXPECT_NE(pane.find("**** Error 1 ****"), std::string::npos);
    EXPECT_NE(pane.find("boom"), std::string::npos);

    common().CurrentScriptName = "slow.tcl";
    w.BitBtn2Click();
    EXPECT_EQ(w.statusText(2), "TASK  (slow.tcl) executed");
    const auto running = sim().runningTasks();
    EXPECT_NE(std::find(running.begin(), running.end(), "TASK"), running.end());
    w.BitBtn3MouseDown(false);
    EXPECT_EQ(w.statusText(2), "TASK  (slow.tcl) killed");
    EXPECT_EQ(requestsOf("TCLScriptKill(TASK").size(), 1u);
    // No task left: the controller's text for the failed kill.
    for (int i = 0; i < 50; ++i) {
        const auto tasks = sim().runningTasks();
        if (std::find(tasks.begin(), tasks.end(), "TASK") == tasks.end()) break;
        WaitWithMessages(50);
    }
    w.BitBtn3MouseDown(false);
    EXPECT_NE(w.statusText(2), "TASK  (slow.tcl) killed");
    EXPECT_FALSE(w.statusText(2).empty());
    w.BitBtn3MouseDown(true);
    EXPECT_EQ(requestsOf("TCLScriptKill(BootScript").size(), 1u);
    w.FormClose();
}

TEST_F(TclEditorSim, TelnetPaneShowsTheSessionAndTypesIntoIt)
{
    TFtcl w(nullptr, mvx::link::CurrentController());
    link::CurrentController().telnetDataReceived().store(0);
    w.FormShow();
    ASSERT_TRUE(link::CurrentController().telnetConnected());
    auto paneHas = [&](const std::string& what) {
        for (int i = 0; i < 60; ++i) {
            if (w.telnetPane()->toPlainText().toStdString().find(what) != std::string::npos) return true;
            WaitWithMessages(50);
        }
        return false;
    };
    EXPECT_TRUE(paneHas("Welcome to the KVX controller"));
    EXPECT_EQ(link::CurrentController().telnetDataReceived().load(), 1);
    QTest::keyClicks(w.telnetPane(), "foo");
    QTest::keyClick(w.telnetPane(), Qt::Key_Return);
    EXPECT_TRUE(paneHas("sh: foo: not found"));
    // Opened by the window, closed with it.
    w.FormClose();
    EXPECT_FALSE(link::CurrentController().telnetConnected());
}

TEST_F(TclEditorSim, BootScriptWrittenIntoTheControllersSystemIni)
{
    TFtcl w(nullptr, mvx::link::CurrentController());
    w.FormShow();
    common().CurrentScriptName = "boot.tcl";
    w.findChild<QLineEdit*>("Edit8")->setText("boot.tcl");
    w.findChild<QLineEdit*>("Edit1")->setText("5 6");
    w.BitBtn10Click();
    const std::string after = sim().readFile("Config/system.ini");
    const std::string local = common().ProgramDir + "check.ini";
    std::ofstream(local, std::ios::binary) << after;
    IniFile ini(local);
    EXPECT_EQ(ini.readString("GENERAL", "BootScriptFileName", ""), "boot.tcl");
    EXPECT_EQ(ini.readString("GENERAL", "BootScriptArguments", ""), "5 6");
    EXPECT_TRUE(ini.sectionExists("GROUP1"));
    EXPECT_EQ(link::CurrentController().transfer().RemoteDir, common().RemoteScriptsDir);

    // A name that would break the file is refused and the controller's file stays.
    mDialogs.messages.clear();
    w.findChild<QLineEdit*>("Edit8")->setText("");
    w.BitBtn10Click();
    EXPECT_EQ(sim().readFile("Config/system.ini"), after);
    EXPECT_FALSE(mDialogs.messages.empty());
    w.FormClose();
}

// Listed names that must never become a local file of their own: the settings file, the
// executable, a language file, and names holding a separator or "..". Over FTP and over SFTP.
struct HostileRow {
    const char* name;
    std::vector<std::string> extraArgs;
};

void PrintTo(const HostileRow& r, std::ostream* os) { *os << r.name; }

class TclEditorHostileNames : public ::testing::TestWithParam<HostileRow> {};

TEST_P(TclEditorHostileNames, ListedOrTypedNameNeverReplacesAProgramFile)
{
    Dialogs d;
    d.install();
    test::KvxSimOptions o;
    o.extraArgs = GetParam().extraArgs;
    test::KvxSim sim(o);
    auto& c = common();
    c.ControllerIp = sim.address();
    c.TransferMode = TransferNone;
    c.TransferConnected = 0;
    c.NoControllerApi.store(0);
    c.CurrentScriptName.clear();
    link::CurrentController().transfer() = link::TransferState{};
    ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    ASSERT_EQ(c.TransferMode.load(), std::string(GetParam().name) == "Ftp" ? TransferFtp : TransferSftp);

    const std::string settingsPath = SettingsIni()->path();
    const std::string settingsName = fs::path(settingsPath).filename().string();
    SettingsIni()->writeString("HOSTILE", "KEPT", "yes");
    const std::string settingsBefore = ReadAll(settingsPath);
    const std::string exe = ExecutableName();
    std::ofstream(c.ProgramDir + exe, std::ios::binary) << "the program";
    const std::vector<std::string> hostile = {settingsName, exe, exe + "_LANGUAGE_2.INI", "KVX_Language_1.ini",
                                              "..\\" + settingsName, "sub\\x.tcl"};
    for (const std::string& n : hostile) sim.writeFile("Public/Scripts/" + n, "[EVIL]\nset x 1\n");
    sim.writeFile("Public/Scripts/good.tcl", kFiveLines);

    TFtcl w(nullptr, mvx::link::CurrentController());
    w.FormShow();
    for (const std::string& n : hostile) {
        const int row = TclEditorSimRow(w, n);
        ASSERT_GE(row, 0) << n;
        w.setEditorText("kept text");
        d.messages.clear();
        w.ListBox1Click(row);
        EXPECT_EQ(w.editorText(), "kept text") << n;
        ASSERT_FALSE(d.messages.empty()) << n;
        EXPECT_NE(d.messages.back().find("Nom de fichier refusé"), std::string::npos) << n;
        EXPECT_NE(c.CurrentScriptName, n);
    }
    EXPECT_EQ(ReadAll(settingsPath), settingsBefore);
    EXPECT_EQ(ReadAll(c.ProgramDir + exe), "the program");
    EXPECT_FALSE(fs::exists(c.ProgramDir + exe + "_LANGUAGE_2.INI"));
    EXPECT_FALSE(fs::exists(c.ProgramDir + "KVX_Language_1.ini"));
    EXPECT_FALSE(fs::exists(c.ProgramDir + "..\\" + settingsName));

    // A good name still loads.
    w.ListBox1Click(TclEditorSimRow(w, "good.tcl"));
    EXPECT_EQ(w.editorText(), kFiveLines);

    // Saving under a typed name of the program's own files is refused too, and uploads nothing.
    d.inputs = {settingsName};
    d.messages.clear();
    w.BitBtn4Click();
    EXPECT_EQ(ReadAll(settingsPath), settingsBefore);
    ASSERT_FALSE(d.messages.empty());
    EXPECT_NE(d.messages.back().find("Nom de fichier refusé"), std::string::npos);
    EXPECT_EQ(sim.readFile("Public/Scripts/" + settingsName), "[EVIL]\nset x 1\n");
    w.FormClose();
    link::CurrentController().disconnectTransfer();
    link::CurrentController().closePool();
    c.NoControllerApi.store(1);
    fs::remove(c.ProgramDir + exe);
}

INSTANTIATE_TEST_SUITE_P(Listings, TclEditorHostileNames,
                         ::testing::Values(HostileRow{"Ftp", {}}, HostileRow{"Sftp", {"--ftp-port", "2121"}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// However narrow the window, the file list shows its "Nom" column whole (150 px of 700).
TEST(TclEditorWindow, FileListShowsItsNameColumnWhole)
{
    common().NoControllerApi.store(1);
    TFtcl w(nullptr, mvx::link::CurrentController());
    w.show();
    QTest::qWait(50);
    auto* list = w.findChild<QTreeWidget*>("ListBox1");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->header()->sectionSize(0), 150);
    EXPECT_GE(list->viewport()->width(), list->header()->sectionSize(0));
    // A wider window is room for the script.
    const int listWidth = list->width();
    w.resize(w.width() + 300, w.height());
    QTest::qWait(50);
    EXPECT_EQ(list->width(), listWidth);
}
