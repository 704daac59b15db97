// Generated TCL fragments byte for byte, checked by a real Tcl interpreter, the reading of
// IO.INC, Procedure.INC and ORMIX.API, and the include file kept on the simulated controller.

#include "link/controller.h"
#include "tclbench/apibrowser.h"
#include "tclbench/generatordialogs.h"
#include "tclbench/generators.h"
#include "tclbench/procedures.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "link/transfer.h"
#include "tests/support/kvxsim_fixture.h"
#include "tests/translator/tclrunner.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTextCursor>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>

using namespace mvx;
using namespace mvx::tclbench;

namespace {

const std::string kIo = "set DI_Door GPIO1.DI\n"
                        "set DI_Nb_Door 4\n"
                        "set DI_Sense_Door 4\n"
                        "set di_nb_Window 3\n"
                        "set DO_Lamp GPIO3.DO\n"
                        "set DO_Nb_Lamp 2\n"
                        "set DO_Sense_Lamp 1\n"
                        "set Close_Delay_Lamp 50\n"
                        "set DO_Valve GPIO3.DO\n"
                        "set DO_Nb_Valve 3\n"
                        "set DO_Sense_Valve 0\n"
                        "set Open_Delay_Valve 20\n"
                        "set Open_Delay_Fan 10\n";

// ----- every generator, byte for byte, and complete as TCL ------------------------------------

struct FragmentRow {
    const char* what;
    std::optional<Lines> lines;
    const char* expected;
};

std::vector<FragmentRow> fragmentRows()
{
    return {
        {"repeat", RepeatLines(10, "  j"),
         "# Repeat 10 time\n for {set j 0} {$j<10} {incr j}\\\n{\n \n}\n"},
        {"delay number", DelayLines(" 1 00"), "# Delay (100) ms\n after 100\n \n"},
        {"delay variable", DelayLines("$Open_Delay_Valve"),
         "# Delay ($Open_Delay_Valve) ms\n after $Open_Delay_Valve\n \n"},
        {"test input", TestInputLines("Door", "DI_Door", "DI_Nb_Door", "DI_Sense_Door", 6),
         R"~(# Test Input Door
set DigitalValue 0
set ErrorCode [catch "GPIODigitalGet $SocketID $DI_Door DigitalValue"]
if {$ErrorCode != 0} \
{
DisplayErrorAndClose $SocketID $ErrorCode  "GPIODigitalGet (Door)"
set tcl_argv(0) [expr $tcl_argv(0) + 6]
return
}
if {($DigitalValue  & $DI_Nb_Door) != $DI_Sense_Door}\
{
#Test "Door" is true
 
}  \
else \
{
#Test "Door" is false
 
}
)~"},
        {"output 1 with delay", ChangeOutputLines("Valve", " 1", "DO_Valve", "DO_Nb_Valve", "DO_Sense_Valve", true, 15),
         R"~(# Change output Valve to  1
set Digital_Value $DO_Sense_Valve
set ErrorCode [catch "GPIODigitalSet $SocketID $DO_Valve  $DO_Nb_Valve $Digital_Value "]
if {$ErrorCode != 0} \
{
DisplayErrorAndClose $SocketID $ErrorCode  "GPIODigitalSet (Valve)"
set tcl_argv(0) [expr $tcl_argv(0) + 15]
return
}
after $Open_Delay_Valve
  
)~"},
        {"output 0 without delay", ChangeOutputLines("Lamp", "0", "DO_Lamp", "DO_Nb_Lamp", "DO_Sense_Lamp", false, 3),
         R"~(# Change output Lamp to 0
set Digital_Value [expr $DO_Sense_Lamp ^ $DO_Nb_Lamp]
set ErrorCode [catch "GPIODigitalSet $SocketID $DO_Lamp  $DO_Nb_Lamp $Digital_Value "]
if {$ErrorCode != 0} \
{
DisplayErrorAndClose $SocketID $ErrorCode  "GPIODigitalSet (Lamp)"
set tcl_argv(0) [expr $tcl_argv(0) + 3]
return
}
  
)~"},
        {"call procedure", CallProcedureLines(" Door_is_active", "Door_is_active "),
         "# Call Procedure  Door_is_active\nDoor_is_active \n\n"},
        {"script without arguments", ScriptCallLines("Sub.tcl", "   ", 6),
         R"~(# Call TCL script Sub.tcl
# parameters 0
set ErrorCode [catch " TCLScriptExecuteAndWait $SocketID Sub.tcl Subscript 0 result"]
if {$ErrorCode != 0} \
{
DisplayErrorAndClose $SocketID $ErrorCode  "TCLScriptExecuteAndWait (Sub.tcl)"
set tcl_argv(0) [expr $tcl_argv(0) + 6]
return
}
if {$tcl_argv(0) !=0} \
{
return
}

)~"},
        {"script with arguments", ScriptCallLines("Sub.tcl", "  2 $x", 9),
         R"~(# Call TCL script Sub.tcl
# parameters 2 $x
set ErrorCode [catch " TCLScriptExecuteAndWait $SocketID Sub.tcl Subscript 2 $x result"]
if {$ErrorCode != 0} \
{
DisplayErrorAndClose $SocketID $ErrorCode  "TCLScriptExecuteAndWait (Sub.tcl)"
set tcl_argv(0) [expr $tcl_argv(0) + 9]
return
}
if {$tcl_argv(0) !=0} \
{
return
}

)~"},
    };
}

TEST(Generators, FragmentsByteForByteAndCompleteTcl)
{
    std::vector<std::string> texts;
    for (const auto& row : fragmentRows()) {
        ASSERT_TRUE(row.lines.has_value()) << row.what;
        const std::string text = JoinLines(*row.lines);
        EXPECT_EQ(text, row.expected) << row.what;
        texts.push_back(text);
    }
    // The procedure blocks too: each is a whole TCL command.
    for (bool kind : {true, false}) {
        texts.push_back(JoinLines(InputProcedureBlock("In_" + std::to_string(kind), "Door", kind)));
        texts.push_back(JoinLines(OutputProcedureBlock("Out_" + std::to_string(kind), "Lamp", kind)));
    }
    texts.push_back(JoinLines(BuildApiSnippet({"int GroupKill (int SocketID, char *GroupName)"}).lines));
    const auto outcome = test::TclComplete(texts);
    EXPECT_EQ(outcome.ExitCode, 0) << outcome.Output;
}

// Inputs that would break the TCL text, or are out of range, are refused.
TEST(Generators, UnsafeInputRefused)
{
    EXPECT_FALSE(RepeatLines(0, "i"));
    EXPECT_FALSE(RepeatLines(kMaxCount + 1, "i"));
    EXPECT_FALSE(RepeatLines(2, "i]"));
    EXPECT_FALSE(RepeatLines(2, "  "));
    EXPECT_FALSE(DelayLines("10;exit"));
    EXPECT_FALSE(DelayLines("$a[x]"));
    EXPECT_FALSE(DelayLines(""));
    EXPECT_FALSE(TestInputLines("Door", " ", "DI_Nb_Door", "DI_Sense_Door", 6));  // no GPIO line
    EXPECT_FALSE(TestInputLines("Door", "DI_Door", "DI_Nb_Door", "DI_Sense_Door", 0));
    EXPECT_FALSE(ChangeOutputLines("Lamp", "1\"]", "DO_Lamp", "DO_Nb_Lamp", "DO_Sense_Lamp", false, 1));
    EXPECT_FALSE(ScriptCallLines("my script.tcl", "", 6));
    EXPECT_FALSE(ScriptCallLines("a.tcl", "1\"] ; exit [\"", 6));
    EXPECT_FALSE(ScriptCallLines("", "", 6));
    EXPECT_FALSE(CallProcedureLines("x", " "));
    EXPECT_TRUE(RepeatLines(kMaxCount, "t"));
}

// ----- IO.INC --------------------------------------------------------------------------------

TEST(IoDefinitions, ListsByDialog)
{
    const IoTable in = ParseIoDefinitions(kIo, IoKind::Inputs);
    ASSERT_EQ(in.names, (std::vector<std::string>{"Door"}));  // di_nb_Window: other case, ignored
    EXPECT_EQ(in.gpio[0], "DI_Door");
    EXPECT_EQ(in.mask[0], "DI_Nb_Door");
    EXPECT_EQ(in.sense[0], "DI_Sense_Door");

    const IoTable out = ParseIoDefinitions(kIo, IoKind::Outputs);
    ASSERT_EQ(out.names, (std::vector<std::string>{"Lamp", "Valve", "Fan"}));
    EXPECT_EQ(out.closeDelay[0], "Close_Delay_Lamp");
    EXPECT_EQ(out.openDelay[0], kNoVariable);
    EXPECT_EQ(out.openDelay[1], "Open_Delay_Valve");
    EXPECT_EQ(out.gpio[2], kNoVariable);  // seen on a delay line only

    const IoTable delays = ParseIoDefinitions(kIo, IoKind::Delays);
    EXPECT_EQ(delays.names, (std::vector<std::string>{"Lamp", "Valve", "Fan"}));
    EXPECT_EQ(DelayChoices(kIo),
              (std::vector<std::string>{"$Close_Delay_Lamp", "$Open_Delay_Valve", "$Open_Delay_Fan"}));

    // Mask lines before the GPIO line, a CRLF file, and a name TCL could not reference.
    const IoTable crlf = ParseIoDefinitions("set DI_Nb_B 1\r\nset DI_B x\r\nset DI_a[1] y\r\n", IoKind::Inputs);
    ASSERT_EQ(crlf.names, (std::vector<std::string>{"B"}));
    EXPECT_EQ(crlf.gpio[0], "DI_B");
    EXPECT_EQ(crlf.mask[0], "DI_Nb_B");
    EXPECT_EQ(crlf.sense[0], kNoVariable);
}

// ----- Procedure.INC -------------------------------------------------------------------------

TEST(ProcedureFile, ReadersOfTheFile)
{
    struct Row {
        const char* io;
        std::vector<std::string> inputs;
        std::vector<std::string> outputs;
    };
    const Row rows[] = {
        {"set DI_Door GPIO1.DI\nset DI_Nb_Door 4\nset DI_Sense_Door 1\n", {"Door"}, {}},
        {"set DI_Door GPIO1.DI\nset DI_Nb_Door 4\n", {}, {}},
        {"  SET di_door x\nset DI_NB_DOOR 1\nset di_sense_door 1\nset DO_Lamp a\nset DO_Nb_Lamp 1\nset DO_Sense_Lamp 1\n",
         {"door"}, {}},
        {"set DO_Lamp a\nset DO_Nb_Lamp 1\nset DO_Sense_Lamp 1\nset close_delay_lamp 5\nset DO_Fan b\nset DO_Nb_Fan 2\n"
         "set DO_Sense_Fan 1\n",
         {}, {"Lamp"}},
    };
    for (const auto& r : rows) {
        const ProcedureIo io = ParseProcedureIo(r.io);
        EXPECT_EQ(io.inputs, r.inputs) << r.io;
        EXPECT_EQ(io.outputs, r.outputs) << r.io;
    }
    const std::string inc = AppendLines("# by hand\n", InputProcedureBlock("Door_is_active", "Door", true));
    EXPECT_EQ(FunctionNames(inc), (std::vector<std::string>{"Door_is_active "}));
    EXPECT_EQ(ProcedureEntries(inc), (std::vector<std::string>{" Door_is_active"}));
    const auto info = ProcedureDetails(inc, " Door_is_active");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->function, " return 1 If Door is active else return 0");
    EXPECT_EQ(info->comments, (std::vector<std::string>{" Parameters :  none"}));
    EXPECT_EQ(info->callLine, "Door_is_active ");
    // A name that is only part of another procedure's name is not that procedure.
    EXPECT_FALSE(ProcedureDetails(inc, "Door"));
}

TEST(ProcedureFile, BlockRemovalKeepsEverythingElse)
{
    const std::string hand = "# my own\nset x 1\n";
    const Lines a = InputProcedureBlock("Door_is_active", "Door", true);
    const Lines b = OutputProcedureBlock("Activate_Lamp", "Lamp", true);
    const std::string onlyA = AppendLines(hand, a);
    const std::string both = AppendLines(AppendLines(onlyA, b), {"# trailer by hand"});
    {
        // Deleting the first block leaves the hand text, the second block and the trailer.
        const auto lines = SplitTextLines(both);
        const auto r = FindProcedureBlock(lines, "Door_is_active");
        ASSERT_TRUE(r);
        EXPECT_EQ(RemoveLines(both, *r), AppendLines(AppendLines(hand, b), {"# trailer by hand"}));
    }
    {
        // The last block goes through its last line; the hand line after it stays.
        const auto r = FindProcedureBlock(SplitTextLines(both), "activate_lamp");
        ASSERT_TRUE(r);
        EXPECT_EQ(RemoveLines(both, *r), onlyA + "# trailer by hand\n");
    }
    // "Door" is not the header of Door_is_active.
    EXPECT_FALSE(FindProcedureBlock(SplitTextLines(both), "Door"));
    // CRLF files keep their line ends.
    const std::string crlf = AppendLines("set y 2\r\n", b);
    EXPECT_NE(crlf.find("proc Activate_Lamp {}\\\r\n"), std::string::npos);
    const auto r = FindProcedureBlock(SplitTextLines(crlf), "Activate_Lamp");
    ASSERT_TRUE(r);
    EXPECT_EQ(RemoveLines(crlf, *r), "set y 2\r\n");
}

// ----- ORMIX.API -----------------------------------------------------------------------------

const std::string kApi = "; ORMIX.API for the tests\n"
                         "[*Group functions]\n"
                         "[GroupKill]\n"
                         "# TCL PROTOTYPE = int GroupKill (int SocketID, char *GroupName)\n"
                         "# DESCRIPTION = Kills the group.\n"
                         "   and stops it.\n"
                         "\n"
                         "# RETURN = see the notes\n"
                         "[GroupPositionCurrentGet]\n"
                         "# TCL PROTOTYPE = int GroupPositionCurrentGet (int SocketID, char *GroupName, int nb,\n"
                         "double *CurrentPosition, bool Setpoint[4])\n"
                         "[OwnScript]\n"
                         "# TCL PROTOTYPE = int A (int SocketID)\n"
                         "# SCRIPT TCL = puts one\n"
                         "   \n"
                         "  puts two\n"
                         "[Loose]\n"
                         "set a 1\n"
                         "[NoDollar]\n"
                         "# TCL PROTOTYPE = void Reboot ()\n"
                         "[Last]";

TEST(ApiFile, IndexAndSections)
{
    const ApiIndex index = ParseApiIndex(kApi);
    ASSERT_EQ(index.names, (std::vector<std::string>{"*Group functions", "GroupKill", "GroupPositionCurrentGet",
                                                     "OwnScript", "Loose", "NoDollar", "Last"}));
    EXPECT_EQ(index.lines, (std::vector<int>{2, 3, 9, 12, 17, 19, 21}));
    EXPECT_FALSE(CanOpenApiEntry("*Group functions"));
    EXPECT_FALSE(CanOpenApiEntry(" "));
    EXPECT_FALSE(CanOpenApiEntry(""));

    const auto kill = ReadApiFunction(kApi, 3);
    ASSERT_TRUE(kill);
    EXPECT_EQ(kill->panes[PaneDescription], (std::vector<std::string>{"Kills the group.", "and stops it."}));
    // The field name chooses the pane, not the words after "=".
    EXPECT_EQ(kill->panes[PaneReturn], (std::vector<std::string>{"see the notes"}));
    EXPECT_TRUE(kill->panes[PaneNotes].empty());
    ASSERT_TRUE(kill->snippet);
    EXPECT_EQ(JoinLines(kill->panes[PaneScript]), R"~(set ErrorCode [catch " GroupKill $SocketID GroupName"]
if {$ErrorCode != 0} \
     {
     set ErrorCode [catch "ErrorStringGet $SocketID $ErrorCode ErrorString"]
     puts "$ErrorCode : $ErrorString"
     }
)~");
    const std::string& first = kill->snippet->lines[0];
    EXPECT_EQ(first.substr(kill->snippet->blueBegin, kill->snippet->blueEnd - kill->snippet->blueBegin),
              "$SocketID GroupName");

    // Two prototype lines, an output pointer, and a parameter whose name holds "int".
    const auto pos = ReadApiFunction(kApi, 9);
    ASSERT_TRUE(pos);
    EXPECT_EQ(ApiCallText(pos->panes[PanePrototype]),
              " GroupPositionCurrentGet $SocketID GroupName $nb CurrentPosition $Setpoint");

    const auto own = ReadApiFunction(kApi, 12);
    ASSERT_TRUE(own);
    EXPECT_FALSE(own->snippet);
    EXPECT_EQ(own->panes[PaneScript], (std::vector<std::string>{"puts one", "", "puts two"}));

    const auto loose = ReadApiFunction(kApi, 17);
    ASSERT_TRUE(loose);
    EXPECT_FALSE(loose->snippet);
    EXPECT_EQ(loose->panes[PaneScript], (std::vector<std::string>{"set a 1"}));

    const auto none = ReadApiFunction(kApi, 19);
    ASSERT_TRUE(none && none->snippet);
    EXPECT_EQ(none->snippet->lines[0], "set ErrorCode [catch \"void Reboot \"]");
    EXPECT_EQ(none->snippet->blueBegin, std::string("set ErrorCode [catch \"").size());  // all blue

    EXPECT_FALSE(ReadApiFunction(kApi, 21));  // header on the last line
    EXPECT_FALSE(ReadApiFunction(kApi, 400));
}

TEST(ApiWindows, ListAndInsert)
{
    const std::string path = common().ProgramDir + "ORMIX.API";
    std::ofstream(path, std::ios::binary) << kApi;
    std::vector<std::string> inserted;
    TFshowProcedure viewer(nullptr, [&](const std::string& t) { inserted.push_back(t); });
    TFshowAPI browser(nullptr, &viewer);
    ASSERT_TRUE(browser.Available());
    browser.FormShow();
    browser.FormShow();  // rebuilt, not repeated
    ASSERT_EQ(browser.list()->count(), 7);
    EXPECT_FALSE(browser.ListBox1Click(0, false));  // heading
    ASSERT_TRUE(browser.ListBox1Click(1, false));
    // The arguments of the call line are blue, the rest is not.
    auto* script = viewer.findChild<QTextEdit*>("Memo9");
    ASSERT_NE(script, nullptr);
    auto colourAt = [&](int position) {
        QTextCursor c(script->document());
        c.setPosition(position + 1);
        return c.charFormat().foreground().color();
    };
    const int blue = static_cast<int>(std::string("set ErrorCode [catch \" GroupKill ").size());
    EXPECT_EQ(colourAt(blue), QColor(Qt::blue));
    EXPECT_NE(colourAt(blue - 3), QColor(Qt::blue));
    EXPECT_NE(colourAt(static_cast<int>(SplitTextLines(viewer.paneText(PaneScript))[0].size()) - 1), QColor(Qt::blue));
    viewer.InsertClick();
    viewer.InsertTestClick();
    ASSERT_EQ(inserted.size(), 2u);
    EXPECT_EQ(inserted[0], "set ErrorCode [catch \" GroupKill $SocketID GroupName\"]\n");
    EXPECT_EQ(SplitTextLines(inserted[1]).size(), 7u);
    EXPECT_EQ(inserted[1].substr(inserted[1].size() - 2), "\n\n");
    EXPECT_FALSE(browser.ListBox1Click(6, false));
    std::filesystem::remove(path);
    EXPECT_FALSE(browser.Available());
    std::vector<std::string> shown;
    SetMessageBoxHandler([&](const std::string& t, std::uint16_t) {
        shown.push_back(t);
        return std::uint16_t(MrOk);
    });
    EXPECT_FALSE(browser.ListBox1Click(2, false));  // file gone: reported, no crash
    SetMessageBoxHandler({});
    EXPECT_EQ(shown.size(), 1u);
}

// ----- dialogs -------------------------------------------------------------------------------

TEST(GeneratorDialogs, ChoicesDriveTheFragment)
{
    std::vector<std::string> inserted;
    auto sink = [&](const std::string& t) { inserted.push_back(t); };

    TFrepeat repeat(nullptr, sink);
    repeat.count()->setValue(10);
    repeat.variable()->setEditText("  j");
    EXPECT_EQ(repeat.preview().toStdString(), " for {set j 0} {$j<10} {incr j}\\");
    EXPECT_TRUE(repeat.InsertClick());

    TFtestentree test(nullptr, mvx::link::CurrentController(), sink);
    test.SetDefinitions(kIo);
    EXPECT_FALSE(test.Build());  // "Variable": nothing chosen yet
    test.names()->setCurrentIndex(0);
    EXPECT_TRUE(test.InsertClick());

    TFChangesortie change(nullptr, mvx::link::CurrentController(), sink);
    change.SetDefinitions(kIo);
    change.names()->setEditText("Lamp");  // no Open_Delay line for Lamp
    EXPECT_EQ(change.delayChoice()->currentText(), "Without");
    EXPECT_FALSE(change.delayChoice()->isEnabled());
    change.value()->setEditText("0");  // Close_Delay_Lamp exists
    EXPECT_TRUE(change.delayChoice()->isEnabled());
    change.delayChoice()->setCurrentIndex(0);
    EXPECT_TRUE(change.InsertClick());

    TFcallProcedure call(nullptr, mvx::link::CurrentController(), sink);
    call.SetProcedures(AppendLines("", InputProcedureBlock("Door_is_active", "Door", true)));
    call.names()->setCurrentIndex(0);
    EXPECT_EQ(call.functionText().toStdString(), " return 1 If Door is active else return 0");
    EXPECT_TRUE(call.InsertClick());

    ASSERT_EQ(inserted.size(), 4u);
    EXPECT_EQ(inserted[0], "# Repeat 10 time\n for {set j 0} {$j<10} {incr j}\\\n{\n \n}\n");
    EXPECT_EQ(SplitTextLines(inserted[1])[2], "set ErrorCode [catch \"GPIODigitalGet $SocketID $DI_Door DigitalValue\"]");
    EXPECT_EQ(SplitTextLines(inserted[1])[9], "if {($DigitalValue  & $DI_Nb_Door) != $DI_Sense_Door}\\");
    EXPECT_EQ(SplitTextLines(inserted[2])[1], "set Digital_Value [expr $DO_Sense_Lamp ^ $DO_Nb_Lamp]");
    EXPECT_EQ(SplitTextLines(inserted[2])[9], "after $Close_Delay_Lamp");
    EXPECT_EQ(inserted[3], "# Call Procedure  Door_is_active\nDoor_is_active \n\n");
}

// ----- against the simulated controller ------------------------------------------------------

class ControllerFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sSim = new test::KvxSim(); }
    static void TearDownTestSuite()
    {
        delete sSim;
        sSim = nullptr;
    }
    void SetUp() override
    {
        mSim = sSim;
        for (const char* f : {"Procedure.INC", "IO.INC", "io.inc", "Sub.tcl"})
            std::filesystem::remove_all(mSim->rootDir() + "/Public/Scripts/" + f);
        auto& c = common();
        link::CurrentController().disconnectTransfer();
        c.ControllerIp = mSim->address();
        c.TransferMode = TransferNone;
        c.TransferConnected = 0;
        link::CurrentController().transfer() = link::TransferState{};
        ASSERT_TRUE(link::CurrentController().connectTransfer(true));
        for (const char* f : {kProcedureFile, kProcedureOldFile, kIoFile})
            std::filesystem::remove(c.ProgramDir + f);
        SetMessageBoxHandler([this](const std::string& t, std::uint16_t) {
            mShown.push_back(t);
            if (mAnswers.empty()) return std::uint16_t(MrNo);
            const std::uint16_t a = mAnswers.front();
            mAnswers.pop_front();
            return a;
        });
        SetInputQueryHandler([this](const std::string&, const std::string&, std::string& value) {
            if (mNames.empty()) return false;
            value = mNames.front();
            mNames.pop_front();
            return true;
        });
    }
    void TearDown() override
    {
        SetMessageBoxHandler({});
        SetInputQueryHandler({});
        link::CurrentController().disconnectTransfer();
    }
    std::string remoteInc() { return mSim->readFile("Public/Scripts/Procedure.INC"); }
    static std::string local(const char* name)
    {
        return ReadLocalFile(common().ProgramDir + name).value_or("<none>");
    }
    static int row(QListWidget* list, const std::string& text)
    {
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text().toStdString() == text) return i;
        return -1;
    }

    static inline test::KvxSim* sSim = nullptr;
    test::KvxSim* mSim = nullptr;
    std::vector<std::string> mShown;
    std::deque<std::uint16_t> mAnswers;
    std::deque<std::string> mNames;
};

TEST_F(ControllerFiles, ProcedureIncludeFileRoundTrip)
{
    const std::string hand = "# kept by hand\nproc Mine {} { return 1 }\n";
    mSim->writeFile("Public/Scripts/Procedure.INC", hand);
    mSim->writeFile("Public/Scripts/io.inc", kIo);
    TFProcedures builder(nullptr, mvx::link::CurrentController());
    builder.FormShow();
    EXPECT_FALSE(builder.procedureFileMissing());
    EXPECT_FALSE(builder.ioFileMissing());
    ASSERT_EQ(builder.inputs()->count(), 1);
    ASSERT_EQ(builder.outputs()->count(), 1);  // Lamp: Valve has no close delay, Fan no bit or level
    EXPECT_EQ(builder.functions()->count(), 1);

    // Generate an input test (kind active) and an output procedure (second question).
    mAnswers = {MrYes};
    mNames = {"Door_is_active"};
    builder.ListBox1DblClick(0);
    mAnswers = {MrNo, MrYes};
    mNames = {"Desactivate_Lamp"};
    builder.ListBox2DblClick(0);
    const std::string twoBlocks = AppendLines(AppendLines(hand, InputProcedureBlock("Door_is_active", "Door", true)),
                                              OutputProcedureBlock("Desactivate_Lamp", "Lamp", false));
    EXPECT_EQ(remoteInc(), twoBlocks);
    EXPECT_EQ(local(kProcedureOldFile), "<none>");

    // Reopened: the names come back from the controller's file (with their trailing blank),
    // and the same name in another case is still refused.
    builder.FormShow();
    EXPECT_EQ(builder.functions()->count(), 3);
    mShown.clear();
    mAnswers = {MrYes};
    mNames = {"door_IS_active"};
    builder.ListBox1DblClick(0);
    ASSERT_EQ(mShown.size(), 2u);
    EXPECT_EQ(mShown.back(), "door_IS_active Function already exists");
    EXPECT_EQ(remoteInc(), twoBlocks);

    // A name that would break the procedure line is refused.
    mAnswers = {MrYes};
    mNames = {"Bad name {x}"};
    builder.ListBox1DblClick(0);
    EXPECT_EQ(remoteInc(), twoBlocks);

    // Delete the input test: Procedure.OLD holds the file as it was.
    const int r = row(builder.functions(), "Door_is_active ");
    ASSERT_GE(r, 0);
    Lines shownBlock;
    builder.SetConfirmDeletion([&](const Lines& block) {
        shownBlock = block;
        return true;
    });
    builder.ListBox3DblClick(r);
    EXPECT_EQ(shownBlock.size(), InputProcedureBlock("Door_is_active", "Door", true).size());
    EXPECT_EQ(local(kProcedureOldFile), twoBlocks);
    EXPECT_EQ(remoteInc(), AppendLines(hand, OutputProcedureBlock("Desactivate_Lamp", "Lamp", false)));
    EXPECT_EQ(row(builder.functions(), "Door_is_active "), -1);

    // Generating again keeps Procedure.OLD as it was before the deletion.
    mAnswers = {MrYes};
    mNames = {"Door_is_active"};
    builder.ListBox1DblClick(0);
    EXPECT_EQ(local(kProcedureOldFile), twoBlocks);
    EXPECT_NE(remoteInc().find("# Name : Door_is_active"), std::string::npos);
    EXPECT_NE(remoteInc().find("proc Mine {}"), std::string::npos);

    // An upload that fails is reported, and the local copy stays what the controller holds.
    builder.FormShow();
    const std::string fetched = local(kProcedureFile);
    const std::string remotePath = mSim->rootDir() + "/Public/Scripts/Procedure.INC";
    std::filesystem::remove(remotePath);
    std::filesystem::create_directories(remotePath);
    mShown.clear();
    mAnswers = {MrYes};
    mNames = {"Again"};
    builder.ListBox1DblClick(0);
    ASSERT_EQ(mShown.size(), 2u);
    EXPECT_NE(mShown.back().find("Echec du transfert"), std::string::npos);
    EXPECT_EQ(local(kProcedureFile), fetched);
    EXPECT_EQ(row(builder.functions(), "Again"), -1);
}

TEST_F(ControllerFiles, IncludeFileNeverReplacedByAStaleCopy)
{
    mSim->writeFile("Public/Scripts/IO.INC", kIo);
    // A local copy from an earlier run, and none on the controller: a new file starts empty.
    std::ofstream(common().ProgramDir + kProcedureFile) << "proc Old {} {}\n";
    TFProcedures builder(nullptr, mvx::link::CurrentController());
    builder.FormShow();
    EXPECT_TRUE(builder.procedureFileMissing());
    mAnswers = {MrYes};
    mNames = {"Door_is_active"};
    builder.ListBox1DblClick(0);
    EXPECT_EQ(remoteInc(), AppendLines("", InputProcedureBlock("Door_is_active", "Door", true)));

    // The controller lists a Procedure.INC that cannot be fetched: nothing is changed or uploaded.
    const std::string localBefore = local(kProcedureFile);
    const std::string remotePath = mSim->rootDir() + "/Public/Scripts/Procedure.INC";
    std::filesystem::remove(remotePath);
    std::filesystem::create_directories(remotePath);
    builder.FormShow();
    EXPECT_TRUE(builder.procedureFileMissing());
    ASSERT_EQ(builder.inputs()->count(), 1);
    mShown.clear();
    mAnswers = {MrYes};
    mNames = {"Other"};
    builder.ListBox1DblClick(0);
    ASSERT_EQ(mShown.size(), 2u);
    EXPECT_NE(mShown.back().find("rien n'a"), std::string::npos);
    EXPECT_EQ(local(kProcedureFile), localBefore);
    EXPECT_TRUE(std::filesystem::is_directory(remotePath));
}

TEST_F(ControllerFiles, DialogsReadTheControllersFiles)
{
    mSim->writeFile("Public/Scripts/IO.INC", kIo);
    mSim->writeFile("Public/Scripts/Sub.tcl", "return 0\n");
    mSim->writeFile("Public/Scripts/Procedure.INC",
                    AppendLines("", OutputProcedureBlock("Activate_Lamp", "Lamp", true)));
    TFdelay delay(nullptr, mvx::link::CurrentController());
    delay.FormShow();
    delay.FormShow();  // rebuilt, not repeated
    EXPECT_EQ(delay.delay()->count(), 3);
    EXPECT_EQ(delay.delay()->currentText(), "100");

    TFtestentree test(nullptr, mvx::link::CurrentController());
    test.FormShow();
    EXPECT_EQ(test.names()->count(), 1);
    EXPECT_EQ(test.names()->currentText(), "Variable");

    TFcallProcedure call(nullptr, mvx::link::CurrentController());
    call.FormShow();
    ASSERT_EQ(call.names()->count(), 1);
    EXPECT_EQ(call.names()->itemText(0), " Activate_Lamp");

    TFscriptTCL script(nullptr, mvx::link::CurrentController());
    ASSERT_TRUE(script.RefreshScripts());
    EXPECT_GE(script.scripts()->findText("Sub.tcl"), 0);
    script.scripts()->setEditText("Sub.tcl");
    const auto lines = script.Build();
    ASSERT_TRUE(lines);
    EXPECT_EQ((*lines)[2], "set ErrorCode [catch \" TCLScriptExecuteAndWait $SocketID Sub.tcl Subscript 0 result\"]");

    // Scripts folder unreachable: reported, and the dialog does not open its list.
    const std::string scripts = common().RemoteScriptsDir;
    common().RemoteScriptsDir = "/Public/NoSuchFolder";
    mShown.clear();
    EXPECT_FALSE(script.RefreshScripts());
    common().RemoteScriptsDir = scripts;
    ASSERT_EQ(mShown.size(), 1u);
    EXPECT_EQ(mShown[0], "R\xc3\xa9pertoire des scripts inaccessible");

    // IO.INC gone from the controller: no names from the old local copy.
    std::filesystem::remove(mSim->rootDir() + "/Public/Scripts/IO.INC");
    test.FormShow();
    EXPECT_EQ(test.names()->count(), 0);
}

}  // namespace
