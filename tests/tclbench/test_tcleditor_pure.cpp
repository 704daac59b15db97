// The editor's pure pieces: re-indentation, backup rotation, list sorting and header clicks,
// boot keys, the telnet pane's text walk and the PC console's arguments.
#include "tclbench/tclbackup.h"
#include "tests/support/textfile.h"
#include "tclbench/tclautocorrect.h"
#include "tclbench/tclbootscript.h"
#include "tclbench/tclgathering.h"
#include "tclbench/tclindent.h"
#include "tclbench/tclsort.h"
#include "tclbench/tclsortftp.h"
#include "tclbench/tcltelnetpane.h"
#include "tclbench/tftcl.h"
#include "core/inifile.h"
#include "link/remotefiles.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace mvx;
using namespace mvx::tclbench;

namespace {

using mvx::test::ReadAll;

TEST(TclIndent, BraceLevels)
{
    struct Row {
        const char* name;
        int depth;
        std::vector<std::string> in;
        std::vector<std::string> out;
    } rows[] = {
        {"proc body", 4, {"proc a {} {", "set x 1", "}"}, {"proc a {} {", "    set x 1", "    }"}},
        {"comment brace", 4, {"# {", "set y 2"}, {"# {", "set y 2"}},
        {"brace after hash", 2, {"if {1} { # }", "puts a", "}"}, {"if {1} { # }", "  puts a", "  }"}},
        {"tabs and blanks", 3, {"\t  while {1} {\t", "\tincr i  ", "}"}, {"while {1} {", "   incr i", "   }"}},
        {"empty line in block", 2, {"foreach a $l {", "", "}"}, {"foreach a $l {", "  ", "  }"}},
        {"opening brace line", 2, {"if {$a}", "{", "set b 1", "}"}, {"if {$a}", "  {", "  set b 1", "  }"}},
        {"nested", 2, {"a {", "b {", "c", "}", "}"}, {"a {", "  b {", "    c", "    }", "  }"}},
        {"too many closings", 2, {"}", "}", "x"}, {"}", "}", "x"}},
        {"depth 0 unchanged", 0, {"  a {", "b"}, {"  a {", "b"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(ReindentLines(r.in, r.depth), r.out);
    }
}

TEST(TclIndent, TextKeepsItsLineEnds)
{
    EXPECT_EQ(ReindentText("a {\r\nb\r\n}\r\n", 2), "a {\r\n  b\r\n  }\r\n");
    EXPECT_EQ(ReindentText("a {\nb", 1), "a {\n b");
}

TEST(TclIndent, DepthTyped)
{
    struct Row {
        const char* text;
        bool ok;
        int depth;
    } rows[] = {{"4", true, 4}, {" 12 ", true, 12}, {"0", false, 0}, {"-3", false, 0},
                {"2.5", false, 0}, {"abc", false, 0}, {"", false, 0}, {"65", false, 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        int d = -1;
        EXPECT_EQ(ParseIndentDepth(r.text, d), r.ok);
        if (r.ok) {
            EXPECT_EQ(d, r.depth);
        }
    }
}

TEST(TclBackup, TwelveTicksRotateThroughTenFiles)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();  // no trailing separator on purpose
    TclBackupRotation rotation;
    std::vector<int> written;
    for (int tick = 1; tick <= 12; ++tick) written.push_back(rotation.WriteNext(folder, "text " + std::to_string(tick)));
    EXPECT_EQ(written, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1, 2}));
    EXPECT_EQ(ReadAll(folder + "/Backup1.tcl"), "text 11");
    EXPECT_EQ(ReadAll(folder + "/Backup2.tcl"), "text 12");
    EXPECT_EQ(ReadAll(folder + "/Backup3.tcl"), "text 3");
    EXPECT_EQ(ReadAll(folder + "/Backup10.tcl"), "text 10");
    EXPECT_FALSE(std::filesystem::exists(folder + "/Backup11.tcl"));
}

TEST(TclBackup, FailedWriteSaysSoAndStillAdvances)
{
    TclBackupRotation rotation;
    std::string error;
    EXPECT_EQ(rotation.WriteNext("/nonexistent-folder-xyz/", "a", &error), 0);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(rotation.counter(), 1);
}

TEST(TclBackup, PeriodTyped)
{
    struct Row {
        const char* text;
        bool ok;
        double seconds;
    } rows[] = {{"30", true, 30}, {"2.5", true, 2.5}, {"0", false, 0}, {"-1", false, 0},
                {"1,5", false, 0}, {"x", false, 0}, {"100000", false, 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        double s = -1;
        EXPECT_EQ(ParseBackupSeconds(r.text, s), r.ok);
        if (r.ok) {
            EXPECT_DOUBLE_EQ(s, r.seconds);
        }
    }
}

std::vector<std::string> names(const std::vector<RemoteRow>& rows)
{
    std::vector<std::string> out;
    for (const RemoteRow& r : rows) out.push_back(r.name);
    return out;
}

TEST(TclSort, ColumnsAndDirections)
{
    auto row = [](std::string n, std::uint64_t size, bool dir, std::string stamp) {
        RemoteRow r;
        r.name = std::move(n);
        r.size = size;
        r.directory = dir;
        r.sortStamp = std::move(stamp);
        return r;
    };
    const std::vector<RemoteRow> listing{row(".", 0, true, ""), row("..", 0, true, ""),
                                         row("b.tcl", 900, false, "2026/01/02 10:00"),
                                         row("A.tcl", 10000, false, "2025/12/31 23:59"),
                                         row("c.tcl", 20, false, "2026/01/02 09:00"), row("Sub", 0, true, "")};
    struct Row {
        int column;
        int direction;
        std::vector<std::string> order;
    } rows[] = {
        {0, 1, {".", "..", "A.tcl", "b.tcl", "c.tcl", "Sub"}},
        {0, -1, {".", "..", "Sub", "c.tcl", "b.tcl", "A.tcl"}},
        {1, 1, {".", "..", "Sub", "c.tcl", "b.tcl", "A.tcl"}},  // right-aligned sizes sort as numbers
        {1, -1, {".", "..", "A.tcl", "b.tcl", "c.tcl", "Sub"}},
        {2, 1, {".", "..", "Sub", "b.tcl", "A.tcl", "c.tcl"}},
        {3, 1, {".", "..", "Sub", "A.tcl", "c.tcl", "b.tcl"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.column * r.direction);
        std::vector<RemoteRow> sorted = listing;
        SortRows(sorted, r.column, r.direction);
        EXPECT_EQ(names(sorted), r.order);
    }
    // A listing without "." and ".." keeps no entry fixed.
    std::vector<RemoteRow> plain{row("z", 1, false, ""), row("y", 2, false, ""), row("x", 3, false, "")};
    SortRows(plain, 0, 1);
    EXPECT_EQ(names(plain), (std::vector<std::string>{"x", "y", "z"}));
}

TEST(TclSort, HeaderDoubleClickAndSections)
{
    HeaderClickTimer t;
    EXPECT_FALSE(t.Press(10000));
    EXPECT_FALSE(t.Press(10300));  // 300 ms apart: two single presses
    EXPECT_TRUE(t.Press(10400));   // 100 ms
    const std::vector<int> widths{150, 100, 100};
    EXPECT_EQ(SectionAt(widths, 0), -1);
    EXPECT_EQ(SectionAt(widths, 1), 0);
    EXPECT_EQ(SectionAt(widths, 150), 0);
    EXPECT_EQ(SectionAt(widths, 151), 1);
    EXPECT_EQ(SectionAt(widths, 350), 2);
    EXPECT_EQ(SectionAt(widths, 351), -1);
}

TEST(TclSort, FtpEntryDates)
{
    link::RemoteEntry recent;
    recent.name = "a.tcl";
    recent.listedDate = "Dec 10 9:05";
    const RemoteRow r = RowFromFtpEntry(recent, 2026);
    EXPECT_EQ(r.modified, "12/10/2026 09:05");
    EXPECT_EQ(r.sortStamp, "2026/12/10 09:05");
    link::RemoteEntry old;
    old.listedDate = "Mar  1  2024";
    EXPECT_EQ(RowFromFtpEntry(old, 2026).modified, "03/01/2024 00:00");
    link::RemoteEntry odd;
    odd.listedDate = "yesterday";
    EXPECT_EQ(RowFromFtpEntry(odd, 2026).modified, "yesterday");
}

TEST(TclBootKeys, WrittenIntoGeneralKeepingTheRest)
{
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/system.ini";
    const std::string before = "; controller\r\n[GENERAL]\r\nBootScriptFileName = old.tcl\r\nOther=1\r\n\r\n[GROUP1]\r\nType=MultipleAxes\r\n";
    std::ofstream(path, std::ios::binary) << before;
    ASSERT_TRUE(WriteBootKeys(path, "Move.tcl", "1 2"));
    IniFile ini(path);
    EXPECT_EQ(ini.readString("GENERAL", "BootScriptFileName", ""), "Move.tcl");
    EXPECT_EQ(ini.readString("GENERAL", "BootScriptArguments", ""), "1 2");
    EXPECT_EQ(ini.readString("GENERAL", "Other", ""), "1");
    EXPECT_EQ(ini.readString("GROUP1", "Type", ""), "MultipleAxes");
    EXPECT_NE(ReadAll(path).find("; controller\r\n"), std::string::npos);
}

TEST(TclBootKeys, UnsafeTextsRefused)
{
    struct Row {
        const char* name;
        const char* args;
        bool ok;
    } rows[] = {{"a.tcl", "", true}, {"a.tcl", "1 2", true}, {"", "", false}, {"   ", "", false},
                {"a.tcl\r\n[GROUP9]", "", false}, {"a.tcl", "x\ny", false}, {"a=b.tcl", "", false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(BootKeyProblem(r.name, r.args).empty(), r.ok);
    }
}

TEST(TclTelnetPane, ReceivedTextWalk)
{
    struct Row {
        const char* name;
        std::vector<std::string> before;
        std::string text;
        std::vector<std::string> after;
        std::size_t crs;
    } rows[] = {
        {"empty pane", {}, "login:", {"login:"}, 0},
        {"crlf", {"a"}, "bc\r\nd", {"abc", "d"}, 1},
        {"lone lf kept", {"x"}, "1\n2", {"x1\n2"}, 0},
        {"cr cr lf", {""}, "a\r\r\nb", {"a", "", "b"}, 2},
        {"lf cr", {""}, "a\n\rb", {"a\n", "b"}, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<std::string> lines = r.before;
        EXPECT_EQ(AppendTelnetText(lines, r.text), r.crs);
        EXPECT_EQ(lines, r.after);
    }
}

TEST(TclGathering, KeptCopyNeverOverwrites)
{
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString() + "/";
    const std::string model = d + "run.dat";
    EXPECT_EQ(KeptGatheringTarget(model), d + "run.dat");  // empty folder: no number
    for (const char* f : {"a.txt", "b.txt", "c.txt"}) std::ofstream(d + f) << "x";
    EXPECT_EQ(KeptGatheringTarget(model), d + "run3.dat");
    std::ofstream(d + "run3.dat") << "earlier run";
    // Four files now, and run4.dat is free.
    EXPECT_EQ(KeptGatheringTarget(model), d + "run4.dat");
    std::ofstream(d + "run5.dat") << "other";
    std::ofstream(d + "run6.dat") << "other";
    // Six files: run6.dat is taken, so run7.dat.
    EXPECT_EQ(KeptGatheringTarget(model), d + "run7.dat");

    const std::string source = d + "Gathering.dat";
    std::ofstream(source) << "data";
    std::string error;
    const std::string kept = KeepGatheringFile(source, model, error);
    EXPECT_EQ(kept, d + "run7.dat");  // seven files, Gathering.dat included
    EXPECT_EQ(ReadAll(kept), "data");
    EXPECT_EQ(ReadAll(d + "run3.dat"), "earlier run");
}

TEST(TclAutoCorrect, WordsAndAssignment)
{
    struct Row {
        const char* in;
        const char* out;
    } rows[] = {
        {"Set a 1", "set a 1"},
        {"IF {$x} Then", "if {$x} then"},
        {"Puts Stdout \"Done\"", "puts stdout \"Done\""},
        {"set SOCKETID [Socket]", "set socketID [socket]"},
        {"set n $TCL_ARGV(1)", "set n $tcl_argv(1)"},
        {"set a := 2", "set a = 2"},
        {"Settings Iffy Code2 xset", "Settings Iffy Code2 xset"},  // whole words only
        {"", ""},
        {"r\xe9sultat Return", "r\xe9sultat return"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.in);
        EXPECT_EQ(AutoCorrectLine(r.in), r.out);
    }
}

TEST(TclPcRun, ConsoleArguments)
{
    EXPECT_EQ(TFtcl::PcConsoleArguments(true, false, "a.tcl"), "1 a.tcl");
    EXPECT_EQ(TFtcl::PcConsoleArguments(true, true, "a.tcl"), "0 a.tcl");
    EXPECT_EQ(TFtcl::PcConsoleArguments(false, false, "a.tcl"), "0 a.tcl");
}

}  // namespace
