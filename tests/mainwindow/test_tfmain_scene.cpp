// The 3D view inside the main window, driven through its own pop-up items, menu items and
// pages: the SCT drawing and its erasing, the drawing command of a page change, "Node size",
// the centring commands and their window, "Erase step by step".
#include "mainwindow_fixture.h"

#include "core/common.h"
#include "core/inifile.h"
#include "app/language.h"
#include "mainwindow/jobconversion.h"
#include "mainwindow/tfcentrer.h"
#include "mainwindow/view3d.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

namespace mvx::test {
namespace {

using view3d::Extent;
using view3d::SctItem;

class SceneTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        mView = new View3D(nullptr, false);
        mWin->setView3D(mView);
        mCentrer = new TFcentrer(mWin.get());
        mWin->setCentreWindow(mCentrer);
        // The 3D page and "Dessiner  SCT" are shown by the about window's service switch.
        mWin->setServiceViews(true);
    }
    // A pop-up item of the 3D view, by its component name.
    void popup(const char* name)
    {
        QAction* a = mView->popupMenu()->findChild<QAction*>(name);
        ASSERT_NE(a, nullptr) << name;
        ASSERT_TRUE(a->isVisible()) << name;
        a->trigger();
    }
    void showPage(QWidget* page) { mWin->pages()->setCurrentWidget(page); }
    QWidget* page(const char* name) const { return mWin->findChild<QWidget*>(name); }
    std::string status4() const { return mWin->findChild<QLabel*>("StatusPanel4")->text().toStdString(); }
    std::size_t drawnItems() const
    {
        std::size_t n = 0;
        for (const SctItem& item : mView->scene().sctItems()) n += item.Count > 0;
        return n;
    }
    // Reads the sample pocket (0..25 in X and Y) through the read button, in SCT mode.
    void readSample()
    {
        WriteFile(Gcode("part.nc"), ReadFile(MVX_SAMPLE));
        mWin->job().selectMode(1);
        ASSERT_TRUE(ReadThroughDialog(Gcode("part.nc")));
    }

    View3D* mView = nullptr;
    TFcentrer* mCentrer = nullptr;
};

TEST_F(SceneTest, DrawSctBuildsSavesAndDrawsTheListWithoutConvertingOrUploading)
{
    readSample();
    // A controller is there but no link: a conversion would write the script, show its box and
    // fail the upload. The drawing command does none of it.
    mWin->setSimulation(false);
    showPage(mWin->tab3D());
    mWin->ResetJobButtons();
    ASSERT_FALSE(mWin->sctBuilt());
    std::remove(Gcode("TEST.SCT").c_str());
    popup("DessinerSCT1");

    EXPECT_TRUE(mWin->sctBuilt());
    EXPECT_TRUE(mMessages.empty()) << mMessages.front();
    EXPECT_TRUE(mWin->tclText().empty());
    EXPECT_FALSE(FileExists(Tmp("GCode_Converted.TCL")));
    EXPECT_FALSE(FileExists(Tmp("TRJ1.PVT")));
    const std::string sct = ReadFile(Gcode("TEST.SCT"));
    EXPECT_NE(sct.find("AH "), std::string::npos);
    EXPECT_EQ(mWin->sctText(), sct);
    EXPECT_NE(ReadFile(Gcode("TMP.GCODE")).find("G3 X25 Y5 I0 J5\r\n"), std::string::npos);
    EXPECT_EQ(status4(), "");

    // One item per element, the last one highlighted; the four quarter arcs have a point
    // every 2 degrees.
    const auto& items = mView->scene().sctItems();
    const std::size_t lines = static_cast<std::size_t>(std::count(sct.begin(), sct.end(), '\n'));
    ASSERT_EQ(items.size(), lines);
    EXPECT_EQ(drawnItems(), lines);
    EXPECT_TRUE(items.back().Current);
    EXPECT_EQ(std::count_if(items.begin(), items.end(), [](const SctItem& i) { return i.Current; }), 1);
    std::size_t arcs = 0;
    for (const SctItem& i : items) arcs += i.Count == 45;  // 90 degrees: one point per 2 degrees
    EXPECT_EQ(arcs, 4u);
    // The SCT path is drawn as elements, not as skeleton lines.
    EXPECT_TRUE(mView->scene().skeletonWorking().strips().empty());
    const Extent e = mView->scene().drawingExtent();
    EXPECT_NEAR(e.Min.x, 0.0, 1e-4);
    EXPECT_NEAR(e.Max.x, 25.0, 1e-4);
    EXPECT_NEAR(e.Max.y, 25.0, 1e-4);

    // Built once: the next command draws the same list again, TEST.SCT is not rewritten.
    WriteFile(Gcode("TEST.SCT"), "kept");
    popup("DessinerSCT1");
    EXPECT_EQ(ReadFile(Gcode("TEST.SCT")), "kept");
    EXPECT_EQ(drawnItems(), lines);
}

TEST_F(SceneTest, DrawingStartsAtThePositionLastRead)
{
    readSample();
    mWin->setSimulation(false);
    mWin->currentPosition() = {100.0, -50.0, 2.0};
    showPage(mWin->tab3D());
    const Extent e = mView->scene().drawingExtent();
    ASSERT_FALSE(e.Empty);
    EXPECT_NEAR(e.Min.x, 100.0, 1e-4);
    EXPECT_NEAR(e.Max.x, 125.0, 1e-4);
    EXPECT_NEAR(e.Min.y, -50.0, 1e-4);
    EXPECT_NEAR(e.Max.z, 7.0, 1e-4);  // G0 Z5 from Z 2
    // In simulation nothing was read: the origin.
    mWin->setSimulation(true);
    popup("DessinerSCT1");
    EXPECT_NEAR(mView->scene().drawingExtent().Min.x, 0.0, 1e-4);
}

TEST_F(SceneTest, EraseSctClearsTheElementsAndTheNextDrawBuildsAgain)
{
    readSample();
    showPage(mWin->tab3D());
    ASSERT_TRUE(mWin->sctBuilt());
    ASSERT_GT(drawnItems(), 0u);
    popup("EffacertrajectoireSCT1");
    EXPECT_FALSE(mWin->sctBuilt());
    EXPECT_EQ(drawnItems(), 0u);
    EXPECT_TRUE(mView->scene().drawingExtent().Empty);
    EXPECT_EQ(status4(), "");

    WriteFile(Gcode("TEST.SCT"), "old");
    popup("DessinerSCT1");
    EXPECT_TRUE(mWin->sctBuilt());
    EXPECT_NE(ReadFile(Gcode("TEST.SCT")), "old");
    EXPECT_GT(drawnItems(), 0u);
}

TEST_F(SceneTest, NodeSizeRedrawsTheListWithoutBuildingIt)
{
    readSample();
    showPage(mWin->tab3D());
    popup("EffacertrajectoireSCT1");
    ASSERT_EQ(drawnItems(), 0u);
    mAnswers = {"0.5"};
    popup("Nodesize1");
    EXPECT_EQ(mPrompts.back(), "Node|size (mm)");
    EXPECT_DOUBLE_EQ(mView->scene().nodeSize(), 0.5);
    EXPECT_EQ(SettingsIni()->readString("NODE", "SIZE", ""), "0.5");
    // The list still exists: every element is drawn again; nothing is built or converted.
    EXPECT_EQ(drawnItems(), mView->scene().sctItems().size());
    EXPECT_FALSE(mWin->sctBuilt());
    EXPECT_TRUE(mWin->tclText().empty());
    EXPECT_TRUE(mMessages.empty()) << mMessages.front();

    // No list yet: nothing to draw, and nothing is built.
    MakeWindow();
    mView = new View3D(nullptr, false);
    mWin->setView3D(mView);
    mWin->setServiceViews(true);
    showPage(mWin->tab3D());
    mAnswers = {"0.25"};
    popup("Nodesize1");
    EXPECT_TRUE(mView->scene().sctItems().empty());
    EXPECT_FALSE(mWin->sctBuilt());
}

TEST_F(SceneTest, PageChangeRunsTheDrawingCommand)
{
    readSample();
    std::remove(Gcode("TEST.SCT").c_str());
    // Another page: the list is built and saved, but the elements draw nothing off the 3D page.
    showPage(page("TabSheetSCT"));
    EXPECT_TRUE(mWin->sctBuilt());
    EXPECT_TRUE(FileExists(Gcode("TEST.SCT")));
    EXPECT_FALSE(mWin->sctText().empty());
    EXPECT_EQ(drawnItems(), 0u);
    showPage(mWin->tab3D());
    EXPECT_GT(drawnItems(), 0u);

    // A changed line list is built again at the next page change.
    showPage(page("TabSheetGcode"));
    mWin->findChild<QLineEdit*>("Edit2")->setText("G1 X30 Y30");
    mWin->BitBtn8Click();
    EXPECT_FALSE(mWin->sctBuilt());
    showPage(mWin->tab3D());
    EXPECT_TRUE(mWin->sctBuilt());
    EXPECT_NEAR(mView->scene().drawingExtent().Max.x, 30.0, 1e-4);
    EXPECT_TRUE(mMessages.empty()) << mMessages.front();
}

TEST_F(SceneTest, LinesThatGiveNoListAreReportedOnceByPageChanges)
{
    // An arc whose centre does not lead to its end point.
    WriteFile(Gcode("bad.nc"), "G90\nG0 X0 Y0\nG1 X1 Y0 F100\nG2 X5 Y5 I0 J1\n");
    mWin->job().selectMode(1);
    ASSERT_TRUE(ReadThroughDialog(Gcode("bad.nc")));
    showPage(page("TabSheetSCT"));
    ASSERT_EQ(mMessages.size(), 1u);
    EXPECT_FALSE(mWin->sctBuilt());
    showPage(page("TabSheetTCL"));
    showPage(mWin->tab3D());
    EXPECT_EQ(mMessages.size(), 1u);
    EXPECT_TRUE(mView->scene().sctItems().empty());
    // The menu item asks again.
    popup("DessinerSCT1");
    EXPECT_EQ(mMessages.size(), 2u);
}

TEST_F(SceneTest, ConversionReplacesTheListAndItsDrawingGoes)
{
    readSample();
    showPage(mWin->tab3D());
    ASSERT_GT(drawnItems(), 0u);
    // A rebuilt list (the lines changed) is drawn when the 3D page is shown again.
    mWin->ResetJobButtons();
    ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(true));
    EXPECT_EQ(mWin->pages()->currentWidget(), page("TabSheetTCL"));
    EXPECT_TRUE(mView->scene().sctItems().empty());
    EXPECT_TRUE(mView->scene().skeletonWorking().strips().empty());
    showPage(mWin->tab3D());
    EXPECT_GT(drawnItems(), 0u);
    // A conversion that reuses the list keeps its drawing.
    ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(true));
    EXPECT_GT(drawnItems(), 0u);
}

TEST_F(SceneTest, WheelOnTheWindowZoomsOnlyWhileThe3DPageIsActive)
{
    // A step over any part of the window that does not take it reaches the window.
    auto wheel = [&](int delta) {
        QWheelEvent e(QPointF(5, 5), mWin->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(mWin.get(), &e);
    };
    const double d = mView->scene().camera().distanceToTarget();
    wheel(120);
    EXPECT_DOUBLE_EQ(mView->scene().camera().distanceToTarget(), d);  // "Edit Gcode" page
    showPage(mWin->tab3D());
    wheel(120);
    EXPECT_NEAR(mView->scene().camera().distanceToTarget(), d * 1.1, 1e-9);
    wheel(-240);
    EXPECT_NEAR(mView->scene().camera().distanceToTarget(), d / 1.1, 1e-9);
}

TEST_F(SceneTest, CentreCommandsFollowTheConnectionState)
{
    auto visible = [this](const char* name) { return mView->popupMenu()->findChild<QAction*>(name)->isVisible(); };
    EXPECT_FALSE(visible("centeroncurrentposition1"));
    EXPECT_FALSE(visible("centeronXYZ1"));
    EXPECT_TRUE(visible("centeron0001"));
    mWin->setSimulation(false);
    EXPECT_TRUE(visible("centeroncurrentposition1"));
    EXPECT_TRUE(visible("centeronXYZ1"));
    mWin->setSimulation(true);
    EXPECT_FALSE(visible("centeronXYZ1"));
}

TEST_F(SceneTest, CentreOnCurrentPositionTakesThePositionLastRead)
{
    mWin->setSimulation(false);
    mWin->currentPosition() = {12.0, -3.0, 4.0};
    const view3d::Vec3 offset = mView->scene().camera().Position - mView->scene().camera().Target;
    popup("centeroncurrentposition1");
    const view3d::Camera& c = mView->scene().camera();
    EXPECT_DOUBLE_EQ(c.Target.x, 12.0);
    EXPECT_DOUBLE_EQ(c.Target.y, -3.0);
    EXPECT_DOUBLE_EQ(c.Target.z, 4.0);
    EXPECT_NEAR((c.Position - c.Target - offset).length(), 0.0, 1e-9);
}

struct CentreRow {
    std::array<const char*, 3> Typed;
    bool Ok;          // OK pressed (else Cancel)
    bool Moves;
};

class CentreWindowTest : public SceneTest, public ::testing::WithParamInterface<CentreRow> {};

TEST_P(CentreWindowTest, AsksThreeNumbers)
{
    mWin->setSimulation(false);
    const CentreRow row = GetParam();
    std::array<std::string, 3> shown;
    // The window is modal: answered from a timer while it runs.
    QTimer::singleShot(0, mCentrer, [this, row, &shown] {
        ASSERT_TRUE(mCentrer->isVisible());
        for (int a = 0; a < 3; ++a) {
            shown[static_cast<std::size_t>(a)] = mCentrer->edit(a)->text().toStdString();
            mCentrer->edit(a)->setText(row.Typed[static_cast<std::size_t>(a)]);
        }
        QTest::mouseClick(mCentrer->findChild<QPushButton*>(row.Ok ? "BitBtn1" : "BitBtn2"), Qt::LeftButton);
    });
    popup("centeronXYZ1");
    EXPECT_FALSE(mCentrer->isVisible());
    // The boxes start at the current target.
    EXPECT_EQ(shown, (std::array<std::string, 3>{"0.0000", "0.0000", "0.0000"}));
    const view3d::Vec3 t = mView->scene().camera().Target;
    if (row.Moves) {
        EXPECT_DOUBLE_EQ(t.x, 1.0);
        EXPECT_DOUBLE_EQ(t.y, -2.5);
        EXPECT_DOUBLE_EQ(t.z, 3.0);
    } else {
        EXPECT_EQ(t, view3d::Vec3{});
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, CentreWindowTest,
                         ::testing::Values(CentreRow{{"1", "-2.5", "3"}, true, true},
                                           CentreRow{{" 1 ", "-2.5", "3.0"}, true, true},
                                           CentreRow{{"1", "-2.5", "3"}, false, false},
                                           CentreRow{{"1", "x", "3"}, true, false},
                                           CentreRow{{"1", "", "3"}, true, false}));

TEST_F(SceneTest, EraseStepByStepClearsTheExecutedPathWhenAPvtRunCloses)
{
    WriteFile(Gcode("part.nc"), ReadFile(MVX_SAMPLE));
    mWin->job().selectMode(2);
    ASSERT_TRUE(ReadThroughDialog(Gcode("part.nc")));
    QAction* erase = mWin->action("Erasestepbystep1");
    for (bool checked : {false, true}) {
        SCOPED_TRACE(checked);
        if (erase->isChecked() != checked) erase->trigger();
        EXPECT_EQ(SettingsIni()->readBool("DRAWING", "ERASE STEP BY STEP", false), checked);
        for (int i = 0; i < 5; ++i) mWin->PollExecutedPoint({1.0 * i, 0.0, 0.0}, i % 2 == 0);
        ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(true));
        ASSERT_GE(mWin->pvtFileCount(), 1);
        QApplication::processEvents();
        const std::size_t points =
            mView->scene().executedActive().Points.size() + mView->scene().executedInactive().Points.size();
        EXPECT_EQ(points, checked ? 0u : 5u);
        mView->scene().clearExecutedPath();
    }
}

// A TCL conversion's path reaches the 3D view as the skeleton of its pieces (made off the
// window's thread), the same as the scene makes from the pieces themselves.
TEST_F(SceneTest, TclConversionShowsItsPathAsTheSkeletonOfItsPieces)
{
    WriteFile(Gcode("part.nc"), ReadFile(MVX_SAMPLE));
    mWin->job().selectMode(2);
    ASSERT_TRUE(ReadThroughDialog(Gcode("part.nc")));
    ASSERT_TRUE(mWin->BitBtnCreateKVXFileClick(true));
    JobConversionInput in;
    in.Lines = std::make_shared<const gcode::LineList>(mWin->lines());
    in.Config = mWin->job().machineConfig();
    in.Mode = 2;
    ConversionObserver quiet;
    const JobConversionOutput out = ConvertJob(in, quiet);
    ASSERT_FALSE(out.Drawing.empty());
    view3d::Scene3D expected;
    expected.setSkeleton(out.Drawing, view3d::DrawingStart(false, in.Config.CurrentPosition));
    EXPECT_EQ(mView->scene().skeletonWorking().strips(), expected.skeletonWorking().strips());
    EXPECT_EQ(mView->scene().skeletonPositioning().strips(), expected.skeletonPositioning().strips());
    EXPECT_FALSE(mView->scene().skeletonWorking().strips().empty());
}

TEST_F(SceneTest, OpenAndSaveDialogTitlesAreLanguageTexts)
{
    std::string openTitle;
    auto* open = mWin->findChild<QWidget*>("OpenDialog1");
    auto* save = mWin->findChild<QWidget*>("SaveDialog1");
    ASSERT_NE(open, nullptr);
    ASSERT_NE(save, nullptr);
    RegisterTranslatedWindow(texts::Family::Translator, mWin.get());
    WriteFile(LanguageFilePath(texts::Family::Translator, 1),
              "[Caption]\r\nFmain-OpenDialog1=Ouvrir un fichier G-code\r\nFmain-SaveDialog1=Enregistrer le G-code\r\n");
    SetLanguage(1);
    EXPECT_EQ(open->windowTitle().toStdString(), "Ouvrir un fichier G-code");
    EXPECT_EQ(save->windowTitle().toStdString(), "Enregistrer le G-code");
    // A language without them: the built-in titles, written into its file.
    SetLanguage(2);
    EXPECT_EQ(open->windowTitle().toStdString(), "Open");
    IniFile english(LanguageFilePath(texts::Family::Translator, 2));
    EXPECT_EQ(english.readString("Caption", "Fmain-SaveDialog1", ""), "Save");

    // The read button's dialog carries the title.
    SetLanguage(1);
    mWin->setOpenDialog({});
    QTimer::singleShot(0, [&openTitle] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->inherits("QFileDialog")) {
                openTitle = w->windowTitle().toStdString();
                QMetaObject::invokeMethod(w, "reject");
            }
    });
    EXPECT_FALSE(mWin->BitBtnReadGcodeClick(true));
    EXPECT_EQ(openTitle, "Ouvrir un fichier G-code");
}

}  // namespace
}  // namespace mvx::test
