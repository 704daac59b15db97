// Include files: the settings list, the "set" lines, insertion at the caret, and the three
// dialogs against the controller simulator's script folder over FTP.

#include "link/controller.h"
#include "tclbench/includes.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "link/transfer.h"
#include "tests/support/kvxsim_fixture.h"

#include <Qsci/qsciscintilla.h>

#include <QComboBox>
#include <QListWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace mvx;
using namespace mvx::tclbench;

namespace {

QStringList names(const std::vector<IncludeVariable>& vars)
{
    QStringList out;
    for (const auto& v : vars) out << v.name;
    return out;
}

TEST(IncludeVariables, SetLines)
{
    const auto vars = ParseIncludeVariables(QStringLiteral(
        "# speeds\r\nset Speed 10\r\n  set Accel  500\r\n\tset Gpio GPIO1.DI\r\nsetup 3\r\nset\r\nSET Upper 1\r\n"
        "set Empty\r\nputs $Speed\r\n"));
    ASSERT_EQ(names(vars), (QStringList{"Speed", "Accel", "Gpio", "Empty"}));
    EXPECT_EQ(vars[0].value, QStringLiteral("10"));
    EXPECT_EQ(vars[1].value, QStringLiteral(" 500"));  // only the first blank after the name goes
    EXPECT_EQ(vars[2].value, QStringLiteral("GPIO1.DI"));
    EXPECT_EQ(vars[3].value, QString());
}

TEST(IncludeList, AddRemoveAndRefusedNames)
{
    IniFile& ini = *SettingsIni();
    ini.eraseSection("INC FILES");
    EXPECT_TRUE(AddIncludeFile(ini, QStringLiteral("IO.INC")));
    EXPECT_TRUE(AddIncludeFile(ini, QStringLiteral("IO.INC")));
    EXPECT_TRUE(AddIncludeFile(ini, QStringLiteral("Procedure.INC")));
    EXPECT_EQ(IncludeFiles(ini), (QStringList{"IO.INC", "Procedure.INC"}));
    EXPECT_EQ(ini.readString("INC FILES", "IO.INC", ""), "ok");
    EXPECT_FALSE(RemoveIncludeFile(ini, QStringLiteral("none.inc")));
    EXPECT_EQ(IncludeFiles(ini).size(), 2);
    EXPECT_TRUE(RemoveIncludeFile(ini, QStringLiteral("IO.INC")));
    EXPECT_EQ(IncludeFiles(ini), (QStringList{"Procedure.INC"}));
    // Names that would break the settings file or leave the program folder.
    for (const char* bad : {"", "  ", "a=b.inc", "../x.inc", "sub/x.inc", "c:\\x.inc", "[x].inc", ";x.inc", "a\nb"})
        EXPECT_FALSE(AddIncludeFile(ini, QString::fromLatin1(bad))) << bad;
    EXPECT_EQ(IncludeFiles(ini), (QStringList{"Procedure.INC"}));
    ini.eraseSection("INC FILES");
}

TEST(IncludeInsert, AtTheCaret)
{
    QsciScintilla ed;
    ed.setText(QStringLiteral("puts "));
    ed.setCursorPosition(0, 5);
    InsertAtCaret(&ed, QStringLiteral("$Speed"));
    EXPECT_EQ(ed.text(), QStringLiteral("puts $Speed"));
    EXPECT_EQ(ed.SendScintilla(QsciScintilla::SCI_GETCURRENTPOS), 11);
    ed.setCursorPosition(0, 4);
    InsertAtCaret(&ed, QStringLiteral("X"));
    EXPECT_EQ(ed.text(), QStringLiteral("putsX $Speed"));
}

// ---- against the simulator ----

class IncludeSim : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test::KvxSimOptions o;
        o.files["Public/Scripts/VARS.INC"] = "set Speed 10\r\n  set Accel  500\r\n";
        o.files["Public/Scripts/io.inc"] = "set DI_Door GPIO1.DI\n";
        o.files["Public/Scripts/job.tcl"] = "puts hi\n";
        sSim = std::make_unique<test::KvxSim>(o);
        CommonGlobals& c = common();
        c.ControllerIp = sSim->address();
        c.TransferMode = TransferNone;
        c.TransferConnected = 0;
        c.ControllerModel = ModelQ;
        link::CurrentController().transfer() = link::TransferState{};
        ASSERT_TRUE(link::CurrentController().connectTransfer(false));
    }
    static void TearDownTestSuite()
    {
        link::CurrentController().disconnectTransfer();
        sSim.reset();
    }
    void SetUp() override
    {
        const CommonGlobals& c = common();
        mScripts = c.RemoteScriptsDir;
        SetMessageBoxHandler([this](const std::string& text, std::uint16_t) {
            mMessages.push_back(text);
            return std::uint16_t(MrOk);
        });
        SettingsIni()->eraseSection("INC FILES");
    }
    void TearDown() override
    {
        common().RemoteScriptsDir = mScripts;
        SetMessageBoxHandler({});
        SettingsIni()->eraseSection("INC FILES");
    }
    static QStringList entries(const QComboBox* box)
    {
        QStringList out;
        for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
        return out;
    }

    static inline std::unique_ptr<test::KvxSim> sSim;
    std::string mScripts;
    std::vector<std::string> mMessages;
};

TEST_F(IncludeSim, ChoiceListsTheRemoteIncludeFiles)
{
    TFchoixINC dlg(nullptr, mvx::link::CurrentController());
    EXPECT_EQ(dlg.objectName(), QStringLiteral("FchoixINC"));
    ASSERT_TRUE(dlg.ListRemoteIncludeFiles());
    QStringList got = entries(dlg.box());
    got.sort();
    EXPECT_EQ(got, (QStringList{"VARS.INC", "io.inc"}));
    // The TCL editor stores the choice.
    dlg.box()->setCurrentIndex(static_cast<int>(entries(dlg.box()).indexOf("VARS.INC")));
    ASSERT_TRUE(AddIncludeFile(*SettingsIni(), dlg.chosenText()));

    // A typed name that would break the settings file is refused and the dialog stays open.
    dlg.open();
    dlg.box()->setEditText(QStringLiteral("a=b.inc"));
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(mMessages.size(), 1u);
    dlg.box()->setEditText(QStringLiteral("VARS.INC"));
    dlg.accept();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);

    TFchoixRetrait removal;
    removal.FillFromSettings();
    EXPECT_EQ(entries(removal.box()), (QStringList{"VARS.INC"}));
}

TEST_F(IncludeSim, UnreachableScriptFolderClosesTheChoice)
{
    common().RemoteScriptsDir = "/NoSuchFolder";
    TFchoixINC dlg(nullptr, mvx::link::CurrentController());
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    ASSERT_EQ(mMessages.size(), 1u);
    EXPECT_EQ(mMessages[0], "Répertoire des scripts inaccessible");
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(IncludeSim, VariablesOfAFileAndInsertion)
{
    AddIncludeFile(*SettingsIni(), QStringLiteral("VARS.INC"));
    AddIncludeFile(*SettingsIni(), QStringLiteral("GONE.INC"));
    QsciScintilla ed;
    ed.setText(QStringLiteral("puts "));
    ed.setCursorPosition(0, 5);
    TFaddvariable dlg(nullptr, mvx::link::CurrentController(), &ed);
    EXPECT_EQ(dlg.objectName(), QStringLiteral("Faddvariable"));
    dlg.FillFromSettings();
    EXPECT_EQ(entries(dlg.box()), (QStringList{"VARS.INC", "GONE.INC"}));

    ASSERT_TRUE(dlg.CBChoixINCChange(QStringLiteral("VARS.INC")));
    EXPECT_FALSE(dlg.warningShown());
    ASSERT_EQ(dlg.list()->count(), 2);
    EXPECT_EQ(dlg.list()->item(0)->text(), QStringLiteral("Accel"));
    EXPECT_EQ(dlg.list()->item(1)->text(), QStringLiteral("Speed"));
    dlg.ChooseVariable(QStringLiteral("Accel"));
    EXPECT_EQ(dlg.valueText(), QStringLiteral(" 500"));
    dlg.ChooseVariable(QStringLiteral("Speed"));
    EXPECT_EQ(dlg.valueText(), QStringLiteral("10"));

    // A file that cannot be fetched: warning, the list stays.
    EXPECT_FALSE(dlg.CBChoixINCChange(QStringLiteral("GONE.INC")));
    EXPECT_TRUE(dlg.warningShown());
    EXPECT_EQ(dlg.list()->count(), 2);
    // A name that would leave the program folder is never fetched.
    EXPECT_FALSE(dlg.CBChoixINCChange(QStringLiteral("../VARS.INC")));
    EXPECT_TRUE(dlg.warningShown());

    ASSERT_TRUE(dlg.CBChoixINCChange(QStringLiteral("VARS.INC")));
    EXPECT_FALSE(dlg.warningShown());
    dlg.ChooseVariable(QStringLiteral("Speed"));
    dlg.open();
    ASSERT_TRUE(dlg.InsertValueReference());
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(ed.text(), QStringLiteral("puts $Speed"));
    EXPECT_EQ(ed.SendScintilla(QsciScintilla::SCI_GETCURRENTPOS), 11);
    ASSERT_TRUE(dlg.InsertName());
    EXPECT_EQ(ed.text(), QStringLiteral("puts $SpeedSpeed"));
}

TEST_F(IncludeSim, NoChosenNameInsertsNothing)
{
    QsciScintilla ed;
    ed.setText(QStringLiteral("x"));
    TFaddvariable dlg(nullptr, mvx::link::CurrentController(), &ed);
    ASSERT_TRUE(dlg.CBChoixINCChange(QStringLiteral("io.inc")));
    dlg.list()->setCurrentItem(nullptr);
    EXPECT_FALSE(dlg.InsertName());
    EXPECT_FALSE(dlg.InsertValueReference());
    EXPECT_EQ(ed.text(), QStringLiteral("x"));
}

}  // namespace
