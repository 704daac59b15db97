// The job road of the main window in simulation: read and normalise, convert in both modes,
// and what the buttons allow afterwards.
#include "mainwindow_fixture.h"

#include "core/common.h"
#include "core/inifile.h"
#include "mainwindow/jobconversion.h"
#include "mainwindow/view3d.h"

#include <QAction>
#include <QComboBox>
#include <QListView>
#include <QItemSelectionModel>
#include "app/dialogs.h"
#include <QLabel>
#include <QLineEdit>
#include <Qsci/qsciscintilla.h>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cstdlib>

#include <sys/stat.h>

namespace mvx::test {
namespace {

std::string Sample() { return ReadFile(MVX_SAMPLE); }

// A long program of collinear working moves: one PVT run, so the time goes to the conversion
// and not to writing files.
std::string StraightProgram(int n)
{
    std::string text = "G90\nG0 X0 Y0\nG1 X0.001 F100\n";
    for (int i = 1; i <= n; ++i) text += "G1 X" + std::to_string(i) + "\n";
    return text;
}

QPushButton* Button(TFmain& w, const char* name) { return w.findChild<QPushButton*>(name); }

std::vector<std::string> SplitText(const std::string& text)
{
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            out.push_back(cur);
            cur.clear();
        } else if (c != '\r') {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

using JobTest = MainWindowTest;

TEST_F(JobTest, ReadInsertsBlanksAndSplitsAtSecondGWord)
{
    WriteFile(Gcode("norm.nc"),
              "N10G01X1Y2\r\nG00 X0 G01 X5\nG0X1G1Y2G2X3\n(G0 TO G54) G1 X1\rGX\n");
    ASSERT_TRUE(ReadThroughDialog(Gcode("norm.nc")));
    const std::vector<std::string> expected = {"N10 G01 X1 Y2", "G00 X0", "G01 X5", "G0 X1", "G1 Y2", "G2 X3",
                                               "( G0 TO G54) G1 X1", "GX"};
    EXPECT_EQ(mWin->lines(), expected);
    EXPECT_TRUE(mWin->gcodeLoaded());
    EXPECT_EQ(mWin->findChild<QLineEdit*>("Edit3")->text().toStdString(), "norm.nc");
    EXPECT_EQ(mWin->findChild<QLabel*>("StatusPanel0")->text().toStdString(), "8 lines");
    EXPECT_EQ(SettingsIni()->readString("TRAJECTORY", "LAST", ""), Gcode("norm.nc"));
}

TEST_F(JobTest, FileOutsideTheGcodeFolderIsReadFromWhereItIs)
{
    const std::string other = mRoot + "elsewhere/";
    QDir().mkpath(QString::fromStdString(other));
    WriteFile(other + "job.nc", "G01X3\n");
    WriteFile(Gcode("job.nc"), "G00 X99\n");  // same name in GCODE/: must not be the one read
    ASSERT_TRUE(ReadThroughDialog(other + "job.nc"));
    EXPECT_EQ(mWin->lines(), std::vector<std::string>{"G01 X3"});
}

TEST_F(JobTest, MissingFileLeavesTheWindowAsItWas)
{
    WriteFile(Gcode("a.nc"), Sample());
    ASSERT_TRUE(ReadThroughDialog(Gcode("a.nc")));
    mWin->job().selectMode(2);
    ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(true));
    const std::string tcl = mWin->tclText();
    ASSERT_FALSE(tcl.empty());
    EXPECT_FALSE(ReadThroughDialog(Gcode("missing.nc")));
    EXPECT_EQ(mWin->tclText(), tcl);
    EXPECT_EQ(mWin->findChild<QLineEdit*>("Edit3")->text().toStdString(), "a.nc");
}

TEST_F(JobTest, GcodeFolderNamesAreFoundWithoutRegardToCase)
{
    WriteFile(Gcode("part1.nc"), "G0 X1\nG1 X2\n");
    // The remote READ command upper-cases the name and drops its blanks.
    EXPECT_TRUE(mWin->job().JobRead("PART 1.NC"));
    // Lines as they stand: no normalisation on this road.
    WriteFile(Gcode("raw.nc"), "G0X1G1X2\n");
    EXPECT_TRUE(mWin->job().JobRead("RAW.NC"));
    EXPECT_EQ(mWin->lines(), std::vector<std::string>{"G0X1G1X2"});
    EXPECT_FALSE(mWin->job().JobRead("NOPE.NC"));
}

// Files that are no G-code text are refused with their reason, by the read button and by the
// remote READ, and leave the window (and the last file remembered) as they were; UTF-16 with a
// byte-order mark is read as text.
TEST_F(JobTest, BadGcodeFilesAreRefusedWithTheirReason)
{
    WriteFile(Gcode("good.nc"), "G0 X1\nG1 X2 F100\n");
    ASSERT_TRUE(ReadThroughDialog(Gcode("good.nc")));
    const gcode::LineList goodLines = mWin->lines();
    const std::string last = SettingsIni()->readString("TRAJECTORY", "LAST", "");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Gcode("sub"))));
    ASSERT_EQ(::mkfifo(Gcode("pipe.nc").c_str(), 0600), 0);

    const std::string utf16Text = "G0 X1\r\nG1 X2 F100\r\n";
    std::string le = "\xFF\xFE", be = "\xFE\xFF", noBom;
    for (char c : utf16Text) {
        le += std::string{c, '\0'};
        be += std::string{'\0', c};
        noBom += std::string{c, '\0'};
    }
    struct Row {
        const char* name;
        std::string content;  // empty name content with `folder`: not written
        const char* reason;   // empty: read as text
    } rows[] = {
        {"le.nc", le, ""},
        {"be.nc", be, ""},
        {"bom8.nc", "\xEF\xBB\xBFG0 X1\nG1 X2 F100\n", ""},
        {"nobom.nc", noBom, "NUL bytes"},
        {"empty.nc", "", "empty"},
        {"blank.nc", "  \r\n\r\n", "empty"},
        {"nul.nc", std::string("G0 X1\nG1\0X2\n", 12), "NUL bytes"},
        {"binary.nc", "\x89PNG\r\n\x1a\n\x01\x02\x03", "binary bytes"},
        {"sub", "", "a folder"},
        {".", "", "a folder"},
        {"pipe.nc", "", "FIFO"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string n = r.name;
        if (n != "sub" && n != "." && n != "pipe.nc") WriteFile(Gcode(n), r.content);
        for (bool remote : {false, true}) {
            SCOPED_TRACE(remote ? "remote READ" : "read button");
            // Back to the good file, so a refusal is seen to leave it in place.
            ASSERT_TRUE(ReadThroughDialog(Gcode("good.nc")));
            mMessages.clear();
            const auto t0 = std::chrono::steady_clock::now();
            const bool read = remote ? mWin->job().JobRead(n) : ReadThroughDialog(Gcode(n));
            EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
            if (*r.reason == '\0') {
                EXPECT_TRUE(read);
                EXPECT_EQ(mWin->lines(), goodLines);  // the same lines, decoded
                continue;
            }
            EXPECT_FALSE(read);
            EXPECT_EQ(mWin->lines(), goodLines);
            EXPECT_EQ(mWin->findChild<QLineEdit*>("Edit3")->text().toStdString(), "good.nc");
            EXPECT_EQ(SettingsIni()->readString("TRAJECTORY", "LAST", ""), last);
            EXPECT_TRUE(Button(*mWin, "BitBtnReadGcode")->isEnabled());
            if (!remote) {
                ASSERT_EQ(mMessages.size(), 1u);
                EXPECT_NE(mMessages[0].find(r.reason), std::string::npos) << mMessages[0];
            }
        }
    }
}

struct ModeCase {
    int Mode;
    const char* Name;
};

class ConvertTest : public MainWindowTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ConvertTest, SampleConvertsAndFillsTheViews)
{
    WriteFile(Gcode("part.nc"), Sample());
    WriteFile(Tmp("stale.txt"), "old");
    mWin->job().selectMode(GetParam().Mode);
    ASSERT_TRUE(ReadThroughDialog(Gcode("part.nc")));
    // Reading in simulation empties the output folder.
    EXPECT_FALSE(FileExists(Tmp("stale.txt")));
    ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(true)) << (mMessages.empty() ? "" : mMessages.back());

    const std::vector<std::string> tcl = SplitText(mWin->tclText());
    ASSERT_GT(tcl.size(), 20u);
    EXPECT_EQ(tcl[0], "# script GCode_converted.tcl");
    EXPECT_EQ(tcl[1], "# Gcode : part.nc");
    EXPECT_NE(mWin->tclText().find("MultipleAxesPVTExecution"), std::string::npos);
    EXPECT_EQ(tcl.back(), "return $tcl_argv(0)");

    // The PVT files are in the output folder and the PVT page shows the first; the script is
    // not written in simulation.
    ASSERT_GE(mWin->pvtFileCount(), 1);
    EXPECT_TRUE(FileExists(Tmp("TRJ1.PVT")));
    EXPECT_FALSE(FileExists(Tmp("GCode_Converted.TCL")));
    EXPECT_EQ(mWin->pvtText(), ReadFile(Tmp("TRJ1.PVT")));

    if (GetParam().Mode == 1) {
        EXPECT_TRUE(mWin->sctBuilt());
        const std::string sct = mWin->sctText();
        EXPECT_EQ(sct, ReadFile(Gcode("TEST.SCT")));
        EXPECT_NE(sct.find("DR "), std::string::npos);
        EXPECT_NE(sct.find("\r\nAH "), std::string::npos);
        EXPECT_NE(ReadFile(Gcode("TMP.GCODE")).find("G3 X25 Y5 I0 J5\r\n"), std::string::npos);
    } else {
        EXPECT_TRUE(mWin->sctText().empty());
        EXPECT_EQ(mWin->lineTable().size(), mWin->lines().size());
    }
    // Simulation: nothing to execute or verify, but everything can be saved.
    EXPECT_FALSE(Button(*mWin, "BitBtnExecuteKVX")->isEnabled());
    EXPECT_FALSE(Button(*mWin, "BitBtnVerifyPVT")->isEnabled());
    EXPECT_TRUE(mWin->action("Enregistertout1")->isEnabled());
    EXPECT_TRUE(Button(*mWin, "BitBtnCreateKVXFile")->isEnabled());
    EXPECT_FALSE(mWin->job().execute() && mWin->job().JobExecute());
    EXPECT_TRUE(mMessages.empty()) << mMessages.front();
}

INSTANTIATE_TEST_SUITE_P(Modes, ConvertTest, ::testing::Values(ModeCase{1, "SCT"}, ModeCase{2, "TCL"}),
                         [](const auto& info) { return std::string(info.param.Name); });

// A program that makes no element empties TEST.SCT: the file never shows the last program's text.
// Large views (their documents are swapped rather than deleted, the old ones freed by a worker)
// look as small ones do: a new read empties them with nothing to undo, and the TCL view still
// colours the next script. Both modes, each converting twice (the second replaces the first).
TEST_F(JobTest, ANewReadEmptiesLargeViewsForGood)
{
    std::string big = "G90\n";
    for (int i = 0; i < 45000; ++i) big += "G0 X" + std::to_string(i % 50) + " Y" + std::to_string(i % 7) + "\n";
    WriteFile(Gcode("big.nc"), big);
    WriteFile(Gcode("part.nc"), Sample());
    auto* tcl = mWin->findChild<QsciScintilla*>("SynEditTCL");
    auto* sct = mWin->findChild<QsciScintilla*>("SynEdit1");
    ASSERT_NE(tcl, nullptr);
    ASSERT_NE(sct, nullptr);
    for (int mode : {1, 2}) {
        mWin->job().selectMode(mode);
        ASSERT_TRUE(ReadThroughDialog(Gcode("big.nc")));
        for (int job = 0; job < 2; ++job) ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(false)) << "mode " << mode;
        ASSERT_GT(mWin->tclText().size(), std::size_t{1} << 20) << "mode " << mode;
        if (mode == 1) {
            ASSERT_GT(mWin->sctText().size(), std::size_t{1} << 20);
        }
        ASSERT_TRUE(ReadThroughDialog(Gcode("part.nc")));
        for (QsciScintilla* view : {tcl, sct}) {
            EXPECT_EQ(view->SendScintilla(QsciScintillaBase::SCI_GETLENGTH), 0) << "mode " << mode;
            EXPECT_FALSE(view->isUndoAvailable()) << "mode " << mode;
        }
        ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(false)) << "mode " << mode;
        ASSERT_FALSE(mWin->tclText().empty());
        EXPECT_EQ(tcl->SendScintilla(QsciScintillaBase::SCI_GETLEXER), QsciScintillaBase::SCLEX_TCL) << "mode " << mode;
        tcl->SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0UL, -1L);
        EXPECT_NE(tcl->SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, 0UL), 0) << "mode " << mode;
    }
}

TEST_F(JobTest, ProgramWithoutElementsEmptiesTheSctText)
{
    WriteFile(Gcode("part.nc"), Sample());
    WriteFile(Gcode("modes.nc"), "G90\n(nothing to move)\n");
    mWin->job().selectMode(1);
    ASSERT_TRUE(ReadThroughDialog(Gcode("part.nc")));
    ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(true));
    ASSERT_FALSE(ReadFile(Gcode("TEST.SCT")).empty());
    ASSERT_TRUE(ReadThroughDialog(Gcode("modes.nc")));
    ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(true)) << (mMessages.empty() ? "" : mMessages.back());
    EXPECT_TRUE(FileExists(Gcode("TEST.SCT")));
    EXPECT_EQ(ReadFile(Gcode("TEST.SCT")), "");
    EXPECT_EQ(mWin->sctText(), "");
}

TEST_F(JobTest, FailedConversionEnablesNothingAndShowsNoDialogInBatch)
{
    // A clockwise arc whose centre does not lead to its end point.
    WriteFile(Gcode("bad.nc"), "G90\nG0 X0 Y0\nG1 X1 Y0 F100\nG2 X5 Y5 I0 J1\nG1 X0 Y0\n");
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        mWin->job().selectMode(mode);
        ASSERT_TRUE(mWin->job().readFile(Gcode("bad.nc")));
        EXPECT_FALSE(mWin->job().convert());
        EXPECT_FALSE(mWin->action("Enregistertout1")->isEnabled());
        EXPECT_FALSE(Button(*mWin, "BitBtnExecuteKVX")->isEnabled());
        EXPECT_FALSE(Button(*mWin, "BitBtnVerifyPVT")->isEnabled());
        EXPECT_TRUE(Button(*mWin, "BitBtnCreateKVXFile")->isEnabled());
        EXPECT_TRUE(Button(*mWin, "BitBtnReadGcode")->isEnabled());
        EXPECT_TRUE(mMessages.empty());
    }
    // With a sender the same failure is shown.
    mWin->job().selectMode(2);
    EXPECT_FALSE(mWin->BitBtnCreateKVXFileClick(true));
    EXPECT_EQ(mMessages.size(), 1u);
}

// An arc that misses its end stops the conversion there; the window shows that line on the
// lines' page, selected and copied into the edit box, for correction.
TEST_F(JobTest, IncoherentLineIsShownForCorrection)
{
    WriteFile(Gcode("bad.nc"), "G90\nG0 X0 Y0\nG1 X1 Y0 F100\nG2 X5 Y5 I0 J1\nG1 X0 Y0\n");
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        mWin->job().selectMode(mode);
        ASSERT_TRUE(ReadThroughDialog(Gcode("bad.nc")));
        mWin->findChild<QLineEdit*>("Edit2")->setText("");
        mMessages.clear();
        EXPECT_FALSE(mWin->BitBtnCreateKVXFileClick(true));
        ASSERT_EQ(mMessages.size(), 1u);
        EXPECT_NE(mMessages[0].find("Incohérence dans le fichier GCODE, ligne 4"), std::string::npos) << mMessages[0];
        EXPECT_EQ(mWin->pages()->currentWidget()->objectName().toStdString(), "TabSheetGcode");
        EXPECT_EQ(mWin->findChild<QLineEdit*>("Edit2")->text().toStdString(), "G2 X5 Y5 I0 J1");
        auto* list = mWin->findChild<QListView*>("ListBox1");
        EXPECT_EQ(list->currentIndex().row(), 3);
        const QModelIndexList selected = list->selectionModel()->selectedRows();
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(selected[0].row(), 3);
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
        EXPECT_EQ(mWin->findChild<QLabel*>("StatusPanel0")->text().toStdString(), "");
    }
}

// Each PVT file is written as soon as its run closes: the first one that cannot be written ends
// the conversion, is named to the user, and nothing can be executed.
TEST_F(JobTest, APvtFileThatCannotBeWrittenEndsTheConversionAndIsNamed)
{
    WriteFile(Gcode("runs.nc"), "G0 X0 Y0\nG1 X1 F100\nG1 X2\nG4 P0.1\nG1 X3\nG1 X4\nG4 P0.1\nG1 X5\nG1 X6\n");
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        mWin->job().selectMode(mode);
        ASSERT_TRUE(ReadThroughDialog(Gcode("runs.nc")));
        // A folder stands where the second file must go.
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Tmp("TRJ2.PVT/kept"))));
        mMessages.clear();
        EXPECT_FALSE(mWin->BitBtnCreateKVXFileClick(true));
        ASSERT_EQ(mMessages.size(), 1u);
        EXPECT_NE(mMessages[0].find("TRJ2.PVT"), std::string::npos) << mMessages[0];
        EXPECT_TRUE(FileExists(Tmp("TRJ1.PVT")));
        EXPECT_FALSE(FileExists(Tmp("TRJ3.PVT")));
        EXPECT_TRUE(FileExists(Tmp("TRJ2.PVT/kept")));
        EXPECT_FALSE(Button(*mWin, "BitBtnExecuteKVX")->isEnabled());
        EXPECT_FALSE(mWin->action("Enregistertout1")->isEnabled());
        EXPECT_TRUE(Button(*mWin, "BitBtnCreateKVXFile")->isEnabled());
        QDir(QString::fromStdString(Tmp("TRJ2.PVT"))).removeRecursively();
    }
}

TEST_F(JobTest, ScriptHeaderFileNameHasNoLineBreak)
{
    WriteFile(Gcode("we\r\nird.nc"), "G0 X1\n");
    mWin->job().selectMode(2);
    ASSERT_TRUE(ReadThroughDialog(Gcode("we\r\nird.nc")));
    ASSERT_TRUE(mWin->job().convert());
    const std::vector<std::string> tcl = SplitText(mWin->tclText());
    ASSERT_GT(tcl.size(), 3u);
    EXPECT_EQ(tcl[1], "# Gcode : weird.nc");
    EXPECT_EQ(tcl[2].rfind("# date : ", 0), 0u);
}

TEST_F(JobTest, StartPositionInSimulationIsTheOrigin)
{
    EXPECT_EQ(mWin->currentPosition()[0], -8000.0);
    EXPECT_EQ(mWin->machineConfig().CurrentPosition, (std::array<double, 3>{0.0, 0.0, 0.0}));
    // G91 starts from the position last read: the origin here, not the sentinel.
    WriteFile(Gcode("rel.nc"), "G91\nG1 X1 F100\n");
    mWin->job().selectMode(2);
    ASSERT_TRUE(ReadThroughDialog(Gcode("rel.nc")));
    ASSERT_TRUE(mWin->job().convert());
    EXPECT_EQ(mWin->tclText().find("8000"), std::string::npos);
}

TEST_F(JobTest, ConversionDrawsTheJobPathFromTheOriginInThe3DView)
{
    auto* view = new View3D(nullptr, false);
    mWin->setView3D(view);
    mWin->setServiceViews(true);
    WriteFile(Gcode("part.nc"), Sample());
    // The TCL path draws its skeleton as it converts; the SCT list is drawn as elements when the
    // 3D page is shown.
    for (int mode : {2, 1}) {
        SCOPED_TRACE(mode);
        mWin->job().selectMode(mode);
        ASSERT_TRUE(ReadThroughDialog(Gcode("part.nc")));
        EXPECT_TRUE(view->scene().drawingExtent().Empty);  // a read clears the drawings
        ASSERT_TRUE(mWin->job().convert());
        if (mode == 1) {
            EXPECT_TRUE(view->scene().drawingExtent().Empty);
            mWin->pages()->setCurrentWidget(mWin->tab3D());
            EXPECT_FALSE(view->scene().sctItems().empty());
        }
        const view3d::Extent e = view->scene().drawingExtent();
        ASSERT_FALSE(e.Empty);
        // The square pocket of the sample, 0..25 in X and Y, drawn where the program puts it.
        EXPECT_NEAR(e.Min.x, 0.0, 1e-4);
        EXPECT_NEAR(e.Max.x, 25.0, 1e-4);
        EXPECT_NEAR(e.Min.y, 0.0, 1e-4);
        EXPECT_NEAR(e.Max.y, 25.0, 1e-4);
        mWin->pages()->setCurrentWidget(mWin->findChild<QWidget*>("TabSheetGcode"));
    }
}

TEST_F(JobTest, StopEndsALongConversionWhileTheWindowStaysLive)
{
    WriteFile(Gcode("big.nc"), StraightProgram(300000));
    mWin->job().selectMode(2);
    ASSERT_TRUE(mWin->job().readFile(Gcode("big.nc")));
    int ticks = 0;
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&] { ++ticks; });
    progress.start(5);
    QTimer::singleShot(30, mWin.get(), [this] { mWin->BitBtn7Click(); });
    EXPECT_FALSE(mWin->job().convert());
    EXPECT_GT(ticks, 0);  // events were dispatched during the conversion
    EXPECT_FALSE(mWin->action("Enregistertout1")->isEnabled());
    EXPECT_TRUE(mMessages.empty());
}

TEST_F(JobTest, PrintingLeavesTheSctViewAlone)
{
    WriteFile(Gcode("part.nc"), Sample());
    mWin->job().selectMode(1);
    ASSERT_TRUE(ReadThroughDialog(Gcode("part.nc")));
    ASSERT_TRUE(mWin->job().convert());
    const std::string sct = mWin->sctText();
    ASSERT_FALSE(sct.empty());
    std::string printed, title;
    mWin->setPrintHook([&](QsciScintilla& doc, const std::string& t) {
        printed = doc.text().toStdString();
        title = t;
        return true;
    });
    mWin->PrintGcodeClick();
    EXPECT_EQ(mWin->sctText(), sct);
    EXPECT_EQ(title, "part.nc");
    EXPECT_EQ(printed.substr(0, 10), mWin->lines()[0].substr(0, 10));
    mWin->PrintTclClick();
    EXPECT_EQ(title, "part.nc TCL");
}

TEST_F(JobTest, LineEditsResetTheJobButtons)
{
    WriteFile(Gcode("part.nc"), Sample());
    mWin->job().selectMode(2);
    ASSERT_TRUE(ReadThroughDialog(Gcode("part.nc")));
    ASSERT_TRUE(mWin->job().convert());
    ASSERT_TRUE(mWin->action("Enregistertout1")->isEnabled());
    mWin->findChild<QLineEdit*>("Edit2")->setText("G1 X7");
    mWin->BitBtn8Click();
    EXPECT_EQ(mWin->lines().back(), "G1 X7");
    EXPECT_FALSE(mWin->action("Enregistertout1")->isEnabled());
    EXPECT_TRUE(mWin->lineTable().empty());
}

TEST_F(JobTest, LineSelectionSelectsTheLinesOfItsGroup)
{
    // Three working moves in a row make one PVT run: one group of lines.
    WriteFile(Gcode("grp.nc"), "G90\nG1 X1 F100\nG1 X2\nG1 X3\nM3\nG0 X0\n");
    mWin->job().selectMode(2);
    ASSERT_TRUE(ReadThroughDialog(Gcode("grp.nc")));
    ASSERT_TRUE(mWin->job().convert());
    ASSERT_EQ(mWin->lineTable().size(), 6u);
    auto* list = mWin->findChild<QListView*>("ListBox1");
    const int group = mWin->lineTable()[2].Group;
    ASSERT_GT(group, 0);
    int expected = 0;
    for (const auto& r : mWin->lineTable()) expected += r.Group == group ? 1 : 0;
    // A right-button press on the list asks for the lines' origin too.
    const QRect r = list->visualRect(list->model()->index(2, 0));
    QTest::mousePress(list->viewport(), Qt::RightButton, {}, r.center());
    list->setCurrentIndex(list->model()->index(2, 0));
    mWin->ListBox1Click();
    EXPECT_EQ(mWin->findChild<QLineEdit*>("Edit2")->text().toStdString(), "G1 X2");
    EXPECT_EQ(list->selectionModel()->selectedRows().size(), expected);
    ASSERT_EQ(mMessages.size(), 1u);
    EXPECT_NE(mMessages[0].find("group number " + std::to_string(group)), std::string::npos) << mMessages[0];
    EXPECT_EQ(mMessages[0].rfind(expected > 1 ? "lines number " : "line number ", 0), 0u) << mMessages[0];
}

TEST_F(JobTest, EditedPvtFileIsOfferedForSavingBeforeAnotherIsShown)
{
    // An M code between two runs closes the first PVT file.
    WriteFile(Gcode("two.nc"), "G90\nG1 X1 F100\nG1 X2\nG1 X3\nM3\nG1 X4\nG1 X5\nG1 X6\nM5\n");
    mWin->job().selectMode(2);
    ASSERT_TRUE(ReadThroughDialog(Gcode("two.nc")));
    ASSERT_TRUE(mWin->job().convert());
    ASSERT_GE(mWin->pvtFileCount(), 2);
    auto* view = mWin->findChild<QsciScintilla*>("SynEditPVT");
    auto* choice = mWin->findChild<QComboBox*>("ComboBox1");
    ASSERT_GE(choice->count(), 2);
    view->setText("0.1 1 0 0 0\n");
    choice->setCurrentIndex(1);
    mWin->ComboBox1Change();
    ASSERT_EQ(mMessages.size(), 1u);
    EXPECT_EQ(mMessages[0], "TRJ1.PVT modified. Save-it ?");
    // The box answered Ok here, not Oui: nothing saved, the second file is shown.
    EXPECT_NE(ReadFile(Tmp("TRJ1.PVT")), "0.1 1 0 0 0\n");
    EXPECT_EQ(mWin->pvtText(), ReadFile(Tmp("TRJ2.PVT")));
    SetMessageBoxHandler([](const std::string&, std::uint16_t) -> std::uint16_t { return MrYes; });
    view->setText("0.2 1 0 0 0\n");
    choice->setCurrentIndex(0);
    mWin->ComboBox1Change();
    EXPECT_EQ(ReadFile(Tmp("TRJ2.PVT")), "0.2 1 0 0 0\n");
}

TEST_F(JobTest, JobStepsStartedDuringAWaitAreRefused)
{
    WriteFile(Gcode("big.nc"), StraightProgram(20000));
    WriteFile(Gcode("small.nc"), "G0 X1\n");
    mWin->job().selectMode(2);
    ASSERT_TRUE(mWin->job().readFile(Gcode("big.nc")));
    bool nested = true;
    QTimer::singleShot(1, mWin.get(), [&] { nested = mWin->job().JobRead("SMALL.NC") || mWin->job().JobCreate(); });
    EXPECT_TRUE(mWin->job().convert());
    EXPECT_FALSE(nested);
    EXPECT_GT(mWin->lines().size(), 10000u);  // the small file was not read
}

// While a conversion runs the lines stay as they are: the line-edit buttons are off, also on
// the lines' page, and an edit started anyway is refused.
TEST_F(JobTest, LinesCannotBeEditedDuringAConversion)
{
    WriteFile(Gcode("big.nc"), StraightProgram(20000));
    mWin->job().selectMode(2);
    ASSERT_TRUE(mWin->job().readFile(Gcode("big.nc")));
    const gcode::LineList lines = mWin->lines();
    bool off = true;
    bool checked = false;
    QTimer::singleShot(1, mWin.get(), [&] {
        mWin->pages()->setCurrentIndex(0);
        for (const char* b : {"BitBtn8", "BitBtn9", "BitBtn10", "BitBtn11", "BitBtnExecuteline"})
            off &= !Button(*mWin, b)->isEnabled();
        mWin->findChild<QLineEdit*>("Edit2")->setText("G1 X7");
        mWin->BitBtn8Click();
        mWin->BitBtn9Click();
        mWin->BitBtn11Click();
        checked = true;
    });
    EXPECT_TRUE(mWin->job().convert());
    EXPECT_TRUE(checked);
    EXPECT_TRUE(off);
    EXPECT_EQ(mWin->lines(), lines);
    mWin->pages()->setCurrentIndex(0);
    EXPECT_TRUE(Button(*mWin, "BitBtn8")->isEnabled());
}

// The program itself, in a program folder of its own: a quiet SCT batch without a controller
// converts and exits with the status that says so.
TEST(ProgramBatch, QuietSctBatchConvertsAndExits)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString() + "/";
    ASSERT_TRUE(QFile::copy(MVX_PROGRAM, QString::fromStdString(root + "movantrix")));
    QDir().mkpath(QString::fromStdString(root + "GCODE"));
    QDir().mkpath(QString::fromStdString(root + "TMP"));
    WriteFile(root + "movantrix.INI", "[TCP-IP]\r\nADR IP=127.0.0.1\r\n");
    WriteFile(root + "GCODE/PART.NC", ReadFile(MVX_SAMPLE));
    WriteFile(root + "TMP/old.pvt", "x");
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(root));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(root + "movantrix"), {"part.nc", "/S", "/H"});
    ASSERT_TRUE(p.waitForFinished(30000));
    // Converted, but nothing reached a controller: not a success.
    EXPECT_EQ(p.exitCode(), 2) << p.readAllStandardError().toStdString();
    // The SCT list and the lines it was built from are in GCODE/; in simulation the output
    // folder is emptied at exit, and the command-line file is remembered.
    const std::string sct = ReadFile(root + "GCODE/TEST.SCT");
    EXPECT_NE(sct.find("DR "), std::string::npos);
    EXPECT_NE(sct.find("AH "), std::string::npos);
    EXPECT_TRUE(FileExists(root + "GCODE/TMP.GCODE"));
    EXPECT_TRUE(QDir(QString::fromStdString(root + "TMP")).entryList(QDir::Files).isEmpty());
    IniFile ini(root + "movantrix.INI");
    EXPECT_EQ(ini.readString("TRAJECTORY", "LAST", ""), root + "GCODE/part.nc");
    EXPECT_EQ(ini.readString("MAIN", "MODE", ""), "SCT");
    EXPECT_FALSE(ini.readBool("SIZE", "EXTENDED", true));  // /H: reduced layout
    EXPECT_EQ(ini.readString("TCP-IP", "ADR IP", ""), "127.0.0.1");
}

}  // namespace
}  // namespace mvx::test
