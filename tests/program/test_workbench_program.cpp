// The workbench windows as the program ties them together, started against the simulator:
// each case drives the windows' own buttons, menus and signals.
#include "link/controller.h"
#include "workbench_program.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "link/transfer.h"
#include "linkui/filebrowser.h"
#include "tclbench/restore.h"
#include "tclbench/searchdialogs.h"
#include "tclbench/tftcl.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>

using namespace mvx;
using namespace mvx::test;
namespace fs = std::filesystem;

namespace {

void clickRow(QTreeWidget* list, const QString& name)
{
    const auto items = list->findItems(name, Qt::MatchExactly, 0);
    ASSERT_FALSE(items.isEmpty()) << name.toStdString();
    list->scrollToItem(items.first());
    const QRect r = list->visualItemRect(items.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 5, r.center().y()));
}

TEST_F(WorkbenchProgram, ConnectedAtStartTheEditorListsLoadsAndExecutes)
{
    ASSERT_TRUE(startProgram());
    sim().writeFile("Public/Scripts/answer.tcl", "return \"4,5,6\"\n");
    ASSERT_TRUE(connect());
    EXPECT_EQ(common().NoControllerApi.load(), 0);

    auto* mainWin = mainWindow();
    QAction* kvx = nullptr;
    for (QAction* a : mainWin->findChildren<QAction*>())
        if (a->objectName() == "KVX1") kvx = a;
    ASSERT_NE(kvx, nullptr);
    bool editorSteps = false;
    const bool consoleShown = whileModal("Fmain_KVX", [&] { kvx->trigger(); }, [&](QDialog* console) {
        auto* scripts = console->findChild<QPushButton*>("Bitbtn6");
        ASSERT_NE(scripts, nullptr);
        whileModal("Ftcl", [&] { scripts->click(); }, [&](QDialog* d) {
            auto* tcl = dynamic_cast<tclbench::TFtcl*>(d);
            ASSERT_NE(tcl, nullptr);
            auto* list = tcl->findChild<QTreeWidget*>("ListBox1");
            ASSERT_TRUE(list->isEnabled());
            for (const char* name : {"BitBtn1", "BitBtn2", "BitBtn3", "BitBtn4"})
                EXPECT_TRUE(tcl->findChild<QPushButton*>(name)->isEnabled()) << name;
            clickRow(list, "answer.tcl");

            EXPECT_EQ(common().CurrentScriptName, "answer.tcl");
            EXPECT_EQ(tcl->editorText(), "return \"4,5,6\"\n");
            tcl->findChild<QPushButton*>("BitBtn1")->click();
            EXPECT_EQ(tcl->findChild<QLineEdit*>("Edit7")->text(), "4,5,6");
            EXPECT_EQ(tcl->statusText(2), "TASK  (answer.tcl) executed");
            editorSteps = true;
        });
    });
    EXPECT_TRUE(consoleShown);
    EXPECT_TRUE(editorSteps);
}

tclbench::TFtcl* editor() { return WorkbenchProgram::window<tclbench::TFtcl>("Ftcl"); }

// The "&Macros" menu offers the six generators under their own captions, and each inserts its
// fragment below the caret's line.
TEST_F(WorkbenchProgram, MacrosMenuOpensTheGeneratorsAndInserts)
{
    ASSERT_TRUE(startProgram());
    auto* tcl = editor();
    ASSERT_NE(tcl, nullptr);
    QMenu* macros = nullptr;
    for (QMenu* m : tcl->findChildren<QMenu*>())
        if (m->title() == "&Macros") macros = m;
    ASSERT_NE(macros, nullptr);
    QStringList captions;
    for (QAction* a : macros->actions()) captions << a->text();
    EXPECT_EQ(captions, (QStringList{QString::fromUtf8("Répéter N fois"), QString::fromUtf8("Délai"),
                                     QString::fromUtf8("Test entrée"), "Changer sortie", "Procedure", "Script TCL"}));
    const char* dialogs[] = {"Frepeat", "Fdelay", "Ftestentree", "FChangesortie", "FcallProcedure", "FscriptTCL"};
    // Each item opens its own dialog.
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(whileModal(dialogs[i], [&] { macros->actions()[i]->trigger(); }, [](QDialog* d) { d->reject(); }))
            << dialogs[i];

    tcl->setEditorText("set a 1\nset b 2\n");
    tcl->editor()->setCursorPosition(0, 3);
    whileModal("Frepeat", [&] { macros->actions()[0]->trigger(); }, [](QDialog* d) {
        d->findChild<QPushButton*>("BitBtn1")->click();
    });
    const std::string text = tcl->editorText();
    EXPECT_EQ(text.rfind("set a 1\n# Repeat 2 time\n", 0), 0u) << text;
    EXPECT_NE(text.find("}\nset b 2"), std::string::npos) << text;
}

// "API &KVX": "Insert" puts the first line of the snippet below the caret's line, "Insert /
// test" every line and one empty line, without splitting the line the caret is on.
TEST_F(WorkbenchProgram, ApiBrowserInsertsBelowTheCaretsLine)
{
    ASSERT_TRUE(startProgram());
    std::ofstream(common().ProgramDir + "ORMIX.API")
        << "[GroupKill]\n# TCL PROTOTYPE = int GroupKill (int SocketID, char *GroupName)\n# DESCRIPTION = Kills.\n";
    auto* tcl = editor();
    QAction* api = nullptr;
    for (QAction* a : tcl->findChildren<QAction*>())
        if (a->text() == "API &KVX") api = a;
    ASSERT_NE(api, nullptr);
    const std::string first = "set ErrorCode [catch \" GroupKill $SocketID GroupName\"]";
    for (const char* button : {"BitBtn1", "BitBtn2"}) {
        tcl->setEditorText("puts one\nputs two\n");
        tcl->editor()->setCursorPosition(0, 4);
        const bool shown = whileModal("FshowAPI", [&] { api->trigger(); }, [&](QDialog* browser) {
            auto* list = browser->findChild<QListWidget*>("ListBox1");
            ASSERT_EQ(list->count(), 1);
            whileModal("FshowProcedure", [&] {
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
            }, [&](QDialog* viewer) { viewer->findChild<QPushButton*>(button)->click(); });
        });
        ASSERT_TRUE(shown);
        const std::string text = tcl->editorText();
        if (std::string(button) == "BitBtn1") {
            EXPECT_EQ(text, "puts one\n" + first + "\nputs two\n");
        } else {
            EXPECT_EQ(text.rfind("puts one\n" + first + "\nif {$ErrorCode != 0} \\\n", 0), 0u) << text;
            EXPECT_NE(text.find("     }\n\nputs two\n"), std::string::npos) << text;
        }
    }
}

// "Restaure" opens in the mirror's scripts folder that the backup made ("Public/Scripts").
TEST_F(WorkbenchProgram, RestoreStartsInTheBackupsScriptsFolder)
{
    ASSERT_TRUE(startProgram());
    ASSERT_TRUE(connect());
    const std::string scripts = common().ProgramDir + "ADMIN/Public/Scripts";
    fs::create_directories(scripts);
    std::ofstream(scripts + "/a.tcl") << "puts a\n";
    auto* tcl = editor();
    tcl->FormShow();
    QAction* restore = nullptr;
    for (QAction* a : tcl->findChildren<QAction*>())
        if (a->text() == "Restaure") restore = a;
    ASSERT_NE(restore, nullptr);
    ASSERT_TRUE(restore->isEnabled());
    std::string folder;
    QStringList files;
    EXPECT_TRUE(whileModal("Frestore", [&] { restore->trigger(); }, [&](QDialog* d) {
        auto* r = dynamic_cast<tcl::TFrestore*>(d);
        ASSERT_NE(r, nullptr);
        folder = r->folder();
        for (int i = 0; i < r->fileList()->count(); ++i) files << r->fileList()->item(i)->text();
    }));
    EXPECT_EQ(fs::path(folder).lexically_normal(), fs::path(scripts).lexically_normal());
    EXPECT_EQ(files, QStringList{"a.tcl"});
    tcl->FormClose();
}

// The file browser searches and replaces with the workbench's shared dialogs, opens a PC file
// read-only, every listing is the TCL editor's list too, and at close the console takes the
// link's state back.
TEST_F(WorkbenchProgram, FileBrowserSearchOpenAndListingThroughTheWorkbench)
{
    ASSERT_TRUE(startProgram());
    sim().writeFile("Public/Scripts/one.tcl", "puts 1\n");
    ASSERT_TRUE(connect());
    auto* console = window<QDialog>("Fmain_KVX");
    auto* tcl = editor();
    auto tclNames = [tcl] {
        std::vector<std::string> out;
        for (const auto& r : tcl->rows()) out.push_back(r.name);
        return out;
    };
    const std::string local = common().ProgramDir + "local.txt";
    std::ofstream(local) << "from the PC\n";

    bool steps = false;
    // The console shows the browser with "Parametres".
    console->show();
    const bool shown = whileModal("FNClientFTP", [&] { console->findChild<QPushButton*>("Button7")->click(); },
                                  [&](QDialog* d) {
        auto* b = dynamic_cast<linkui::TFNClientFTP*>(d);
        ASSERT_NE(b, nullptr);
        std::vector<std::string> names;
        for (const auto& e : b->entries()) names.push_back(e.name);
        EXPECT_EQ(tclNames(), names);
        EXPECT_NE(std::find(names.begin(), names.end(), "system.ini"), names.end());
        ASSERT_TRUE(b->ChangeDirectory(common().RemoteScriptsDir));
        const auto now = tclNames();
        EXPECT_NE(std::find(now.begin(), now.end(), "one.tcl"), now.end());

        auto tool = [b](const char* name) {
            for (QAction* a : b->findChildren<QAction*>())
                if (a->objectName() == name) return a;
            ADD_FAILURE() << name;
            return static_cast<QAction*>(nullptr);
        };
        QsciScintilla* ed = b->editor();
        ed->setText("abc x abc");
        ed->setCursorPosition(0, 0);
        whileModal("TextSearchDialog", [&] { tool("tbtnSearch")->trigger(); }, [](QDialog* dlg) {
            auto* s = static_cast<tclbench::TTextSearchDialog*>(dlg);
            s->SetFindText("abc");
            s->SetSelectionOnly(false);
            dlg->accept();
        });
        int l0 = 0, from = -1, l1 = 0, to = -1;
        ed->getSelection(&l0, &from, &l1, &to);
        EXPECT_EQ(from, 0);
        tool("tbtnSearchReplace")->trigger();  // search again forward
        ed->getSelection(&l0, &from, &l1, &to);
        EXPECT_EQ(from, 6);
        tool("ToolButton1")->trigger();  // and backward
        ed->getSelection(&l0, &from, &l1, &to);
        EXPECT_EQ(from, 0);

        // Selection only without a selection: the question first; anything but Oui ends it.
        ed->setCursorPosition(0, 0);
        messages.clear();
        whileModal("TextSearchDialog", [&] { tool("tbtnSearch")->trigger(); }, [](QDialog* dlg) {
            static_cast<tclbench::TTextSearchDialog*>(dlg)->SetSelectionOnly(true);
            dlg->accept();
        });
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back(), "The is no selection available, search whole text?");
        EXPECT_FALSE(ed->hasSelectedText());

        // The replace tool button, confirmed for all.
        const int dialogs = whileModals([&] { tool("ToolButton4")->trigger(); },
                                        {{"TextReplaceDialog",
                                          [](QDialog* dlg) {
                                              auto* r = static_cast<tclbench::TTextReplaceDialog*>(dlg);
                                              r->SetFindText("abc");
                                              r->SetReplaceWith("xyz");
                                              r->SetSelectionOnly(false);
                                              dlg->accept();
                                          }},
                                         {"ConfirmReplaceDialog", [](QDialog* dlg) {
                                              dlg->findChild<QPushButton*>("btnReplaceAll")->click();
                                          }}});
        EXPECT_EQ(dialogs, 2);
        EXPECT_EQ(ed->text().toStdString(), "xyz x xyz");

        // "Open" with the read-only box ticked.
        whileModal("OpenDialog1", [&] { tool("tbtnFileOpen")->trigger(); }, [&](QDialog* dlg) {
            dlg->findChild<QCheckBox*>("ReadOnlyBox")->setChecked(true);
            dlg->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(local));
            dlg->accept();
        });
        EXPECT_EQ(ed->text().toStdString(), "from the PC\n");
        EXPECT_TRUE(ed->isReadOnly());

        // The session ends behind the console's back.
        link::CurrentController().disconnectTransfer();
        steps = true;
    });
    EXPECT_TRUE(shown);
    EXPECT_TRUE(steps);
    EXPECT_TRUE(console->findChild<QPushButton*>("Button62")->isEnabled());
    EXPECT_FALSE(console->findChild<QPushButton*>("Button63")->isEnabled());
    console->hide();
}

}  // namespace
