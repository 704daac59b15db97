// The gathering viewer on local files: columns, scaling, spectra, reference overlay, XY plot,
// setup dialog and saving; and the fetch from the simulator's gathering folder.
#include "link/controller.h"
#include "tests/support/textfile.h"
#include "maintenance/gatheringviewer.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "link/transfer.h"
#include "tests/support/simlink.h"
#include "translator/numtext.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QLineSeries>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>

using namespace mvx;
using namespace mvx::maint;

namespace {

using mvx::test::ReadAll;
void writeAll(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Period 0.001, columns "G1.X Pos" (a 50 Hz sine) and "B" (k).
std::string sampleFile(int rows, const char* names = "G1.X Pos\tB\t")
{
    std::string t = "0.001\r\n" + std::string(names) + "\r\n";
    for (int k = 0; k < rows; ++k) {
        const double v = std::sin(2 * std::numbers::pi * 50 * k * 0.001);
        t += num::general(v) + "\t" + std::to_string(k) + "\t\r\n";
    }
    return t;
}

class GatheringViewer : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMessageBoxHandler([this](const std::string& text, std::uint16_t) {
            messages.push_back(text);
            return std::uint16_t(1);
        });
        for (const char* s : {"G1.X Pos", "B", "C", "REF1", "REF2"}) SettingsIni()->eraseSection(s);
        std::filesystem::remove(common().ProgramDir + "Gathering.ref");
        path = dir.filePath("g.dat").toStdString();
    }
    void TearDown() override { SetMessageBoxHandler({}); }
    QTemporaryDir dir;
    std::string path;
    std::vector<std::string> messages;
};

TEST_F(GatheringViewer, ChartsColumnsWithScaling)
{
    ColumnRecord b{"B", 2.0, 1.0};
    ASSERT_TRUE(WriteColumnRecord(*SettingsIni(), b));
    writeAll(path, sampleFile(1000));
    TFshowgathering viewer(nullptr, mvx::link::CurrentController());
    ASSERT_TRUE(viewer.loadFile(path, true));
    ASSERT_EQ(viewer.columnCount(), 2);
    EXPECT_EQ(viewer.series(0)->objectName(), "G1_X_Pos");
    EXPECT_EQ(viewer.series(1)->name(), "B(x2)");
    ASSERT_EQ(viewer.series(1)->count(), 1000);
    EXPECT_DOUBLE_EQ(viewer.series(1)->at(999).x(), 0.999);
    EXPECT_DOUBLE_EQ(viewer.series(1)->at(10).y(), 21.0);
    EXPECT_FALSE(viewer.series(2)->isVisible());
    EXPECT_EQ(viewer.spectrum(0)->count(), 0);  // "FFT" not ticked

    viewer.fftBox()->setChecked(true);
    ASSERT_TRUE(viewer.loadFile(path, true));
    ASSERT_EQ(viewer.spectrum(0)->count(), 500);
    EXPECT_EQ(viewer.spectrum(0)->objectName(), "FFTG1_X_Pos");
    EXPECT_NEAR(viewer.spectrum(0)->at(50).x(), 50.0, 1e-9);
    EXPECT_NEAR(viewer.spectrum(0)->at(50).y(), 1.0, 1e-6);
    EXPECT_TRUE(messages.empty());
}

TEST_F(GatheringViewer, ShortBrokenAndMissingFiles)
{
    TFshowgathering viewer(nullptr, mvx::link::CurrentController());
    for (const char* text : {"", "0.001", "0.001\r\nA\tB", "junk\r\nA\r\n1\r\n2\r\n"}) {
        writeAll(path, text);
        ASSERT_TRUE(viewer.loadFile(path, true)) << text;
    }
    // Without a period the samples go by number, and the window says so.
    EXPECT_EQ(viewer.series(0)->count(), 2);
    EXPECT_DOUBLE_EQ(viewer.series(0)->at(1).x(), 1.0);
    EXPECT_FALSE(viewer.statusText().isEmpty());
    viewer.Button7Click();  // one column: no XY plot
    ASSERT_EQ(messages.size(), 1u);

    EXPECT_FALSE(viewer.loadFile(dir.filePath("none.dat").toStdString(), true));
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(viewer.columnCount(), 1);  // left as it was
}

TEST_F(GatheringViewer, ReferenceOverlayAfterTheCurrentColumns)
{
    writeAll(path, sampleFile(20));
    TFshowgathering viewer(nullptr, mvx::link::CurrentController());
    ASSERT_TRUE(viewer.loadFile(path, true));
    viewer.Button4Click();  // no reference yet
    EXPECT_FALSE(viewer.statusText().isEmpty());
    ASSERT_TRUE(viewer.Button3Click());
    EXPECT_EQ(ReadAll(common().ProgramDir + "Gathering.ref"), sampleFile(20));

    writeAll(common().ProgramDir + "Gathering.ref", "0.002\r\nREF1 REF2\r\n1 5\r\n\r\n2 6\r\n");
    viewer.Button4Click();
    EXPECT_EQ(viewer.series(2)->objectName(), "REF1_ref");
    EXPECT_EQ(viewer.series(3)->objectName(), "REF2_ref");
    EXPECT_EQ(viewer.series(2)->pen().style(), Qt::DotLine);
    ASSERT_EQ(viewer.series(3)->count(), 2);
    EXPECT_DOUBLE_EQ(viewer.series(3)->at(0).x(), 0.0);
    EXPECT_DOUBLE_EQ(viewer.series(3)->at(1).x(), 0.002);
    EXPECT_DOUBLE_EQ(viewer.series(3)->at(1).y(), 6.0);

    writeAll(common().ProgramDir + "Gathering.ref", "0\r\nREF1\r\n1\r\n");
    viewer.Button4Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Gathering.ref file not usable");
}

TEST_F(GatheringViewer, XYPlotsColumnOneAcrossColumnTwo)
{
    writeAll(path, "0.01\nX\tY\n1\t10\n2\t20\n3\t15\n");
    TFshowgathering viewer(nullptr, mvx::link::CurrentController());
    ASSERT_TRUE(viewer.loadFile(path, true));
    viewer.xyDialog()->setData(viewer.data(), viewer.record(0), viewer.record(1));
    QLineSeries* s = viewer.xyDialog()->series();
    ASSERT_EQ(s->count(), 3);
    EXPECT_EQ(s->at(2), QPointF(3, 15));
    EXPECT_EQ(viewer.xyDialog()->horizontalTitle(), "X");
    EXPECT_EQ(viewer.xyDialog()->verticalTitle(), "Y");
}

TEST_F(GatheringViewer, SetupDialogEditsAndSavesEveryColumn)
{
    writeAll(path, sampleFile(5, "A B C"));
    TFshowgathering viewer(nullptr, mvx::link::CurrentController());
    ASSERT_TRUE(viewer.loadFile(path, true));
    ASSERT_EQ(viewer.columnCount(), 3);
    TFsetupviewer& setup = *viewer.setupDialog();
    setup.setColumns({viewer.record(0), viewer.record(1), viewer.record(2)}, 0);
    EXPECT_EQ(setup.multiplierEdit()->text(), "1.000");
    setup.selectColumn(2);
    setup.multiplierEdit()->setText("3.5x");
    emit setup.multiplierEdit()->textEdited("3.5x");
    setup.autoBox()->setChecked(false);
    setup.maxEdit()->setText("7");
    emit setup.maxEdit()->textEdited("7");
    EXPECT_FALSE(setup.minEdit()->isHidden());
    ASSERT_TRUE(setup.SaveClick());
    EXPECT_DOUBLE_EQ(SettingsIni()->readFloat("C", "MULTI", 0), 3.5);
    EXPECT_DOUBLE_EQ(SettingsIni()->readFloat("C", "MAX", 0), 7.0);
    EXPECT_FALSE(SettingsIni()->readBool("C", "AUTO", true));
    EXPECT_TRUE(SettingsIni()->readBool("A", "VISIBLE", false));
    ASSERT_TRUE(viewer.loadFile(path, true));
    EXPECT_EQ(viewer.series(2)->name(), "C(x3.5)");
    EXPECT_DOUBLE_EQ(viewer.leftAxis()->max(), 7.0);  // the last column's axis
}

TEST_F(GatheringViewer, SaveAsKeepsTheBytes)
{
    writeAll(path, sampleFile(3));
    TFshowgathering viewer(nullptr, mvx::link::CurrentController());
    ASSERT_TRUE(viewer.loadFile(path, false));
    const std::string target = dir.filePath("out.txt").toStdString();
    viewer.saveFileDialog = [&] { return QString::fromStdString(target); };
    ASSERT_TRUE(viewer.Button5Click());
    EXPECT_EQ(ReadAll(target), sampleFile(3));
}

TEST_F(GatheringViewer, FftParametersDialogStoresValidDelayOnly)
{
    int delay = -1;
    bool log = false;
    Tfparamfft dialog(nullptr, [&](int d, bool l) {
        delay = d;
        log = l;
    });
    SettingsIni()->eraseSection("TESTPID");
    dialog.FormActivate();
    EXPECT_EQ(dialog.delayEdit()->text(), "50");
    EXPECT_TRUE(log);
    dialog.delayEdit()->setText("12a");
    EXPECT_FALSE(dialog.BitBtn2Click());
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_FALSE(SettingsIni()->valueExists("TESTPID", "DELAY"));
    dialog.delayEdit()->setText("120");
    dialog.logBox()->setChecked(false);
    EXPECT_TRUE(dialog.BitBtn2Click());
    EXPECT_EQ(SettingsIni()->readInteger("TESTPID", "DELAY", 0), 120);
    EXPECT_FALSE(SettingsIni()->readBool("TESTPID", "LOG", true));
    EXPECT_EQ(delay, 120);
    EXPECT_FALSE(log);
}

class GatheringFetch : public test::SimLinkTest {};

TEST_F(GatheringFetch, ReadsGatheringDatFromTheController)
{
    ASSERT_TRUE(link::CurrentController().connectTransfer(true));
    std::string folder = common().RemoteGatheringDir;
    const std::string remote = sampleFile(30);
    // The gathering folder relative to the simulator's root.
    std::string rel = folder;
    while (!rel.empty() && rel.front() == '/') rel.erase(0, 1);
    sim().writeFile(rel + "/Gathering.dat", remote);
    TFshowgathering viewer(nullptr, mvx::link::CurrentController());
    viewer.Button1Click();
    EXPECT_EQ(viewer.columnCount(), 2);
    EXPECT_EQ(viewer.series(1)->count(), 30);
    EXPECT_TRUE(viewer.statusText().isEmpty()) << viewer.statusText().toStdString();
    EXPECT_EQ(ReadAll(common().ProgramDir + "Gathering.dat"), remote);
}

}  // namespace

namespace {

TEST_F(GatheringViewer, ShowingReadsTheFileOnceAfterTheTimer)
{
    writeAll(common().ProgramDir + "Gathering.dat", sampleFile(12));
    TFshowgathering viewer(nullptr, mvx::link::CurrentController());
    int fetches = 0;
    viewer.fetchOverride = [&] {
        ++fetches;
        return true;
    };
    viewer.show();
    EXPECT_EQ(viewer.columnCount(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fetches == 1; }, 3000));
    EXPECT_EQ(viewer.series(0)->count(), 12);
    QTest::qWait(300);
    EXPECT_EQ(fetches, 1);
    viewer.fetchOverride = [] { return false; };  // a refused fetch shows the earlier copy and says so
    viewer.Button1Click();
    EXPECT_EQ(viewer.series(0)->count(), 12);
    EXPECT_FALSE(viewer.statusText().isEmpty());
    viewer.hide();
}

}  // namespace
