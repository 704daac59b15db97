// The PVT parameters window against the simulator: a trajectory beyond the travel limits is
// marked in its row, the file and the controller's text are shown.
#include "link/controller.h"
#include "tests/support/simlink.h"
#include "mainwindow/pvtparameters.h"

#include <QTableWidget>

using namespace mvx;

namespace {

class PvtParametersSim : public test::SimLinkTest {
protected:
    static PvtParametersContext context(bool xyOnly, std::array<double, 3> start = {})
    {
        PvtParametersContext c;
        c.GroupName = xyOnly ? "GROUP2" : "GROUP1";
        c.Positioners = {c.GroupName + ".X", c.GroupName + ".Y", c.GroupName + ".Z"};
        c.XYGroupOnly = xyOnly;
        c.CurrentPosition = start;
        return c;
    }
};

TEST_F(PvtParametersSim, TrajectoryBeyondTravelIsMarked)
{
    // X goes 5000 to the negative side in one second.
    sim().writeFile("Public/Trajectories/TRJ1.PVT",
                    "1.0 -5000.000000 0.000000 1.000000 0.000000 0.000000 0.000000\n");
    TFPVTparameters w(nullptr, mvx::link::CurrentController());
    w.setContextProvider([] { return context(false, {1.0, 2.0, 3.0}); });
    w.setFileName("TRJ1.PVT");
    w.FormShow();
    EXPECT_EQ(w.fileText(), "TRJ1.PVT");
    EXPECT_FALSE(w.errorText().empty());
    EXPECT_EQ(w.cell(0, 0), "Axis");
    EXPECT_EQ(w.cell(0, 1), "Code");
    EXPECT_EQ(w.cell(1, 0), "X Extrema");
    EXPECT_EQ(w.cell(6, 0), "Z Limit");
    // Min. Pos. of X: the trajectory's minimum plus the start, below the travel minimum.
    EXPECT_EQ(w.cell(1, 2).rfind("Error ", 0), 0u) << w.cell(1, 2);
    EXPECT_EQ(w.cell(1, 2), "Error -4999.0000");
    // Y stays inside: no mark, the start is added.
    EXPECT_EQ(w.cell(3, 3), "3.0000");
    EXPECT_EQ(w.cell(3, 3).find("Error"), std::string::npos);
    // Limits carry no mark.
    for (int c = 1; c < 6; ++c) EXPECT_EQ(w.cell(2, c).find("Error"), std::string::npos);
    EXPECT_EQ(requestsOf("MultipleAxesPVTVerification(GROUP1,TRJ1.PVT)").size(), 1u);
}

TEST_F(PvtParametersSim, TwoAxisGroupLeavesTheZRowsUntitled)
{
    sim().writeFile("Public/Trajectories/TRJ2.PVT", "1.0 1.000000 0.000000 1.000000 0.000000\n");
    TFPVTparameters w(nullptr, mvx::link::CurrentController());
    w.setContextProvider([] { return context(true); });
    w.setFileName("TRJ2.PVT");
    w.FormShow();
    EXPECT_EQ(w.cell(4, 0), "Y Limit");
    EXPECT_TRUE(w.cell(5, 0).empty());
    EXPECT_TRUE(w.cell(6, 0).empty());
    EXPECT_TRUE(w.cell(5, 2).empty());
}

TEST_F(PvtParametersSim, NoConnectionShowsZerosAndMarksNothing)
{
    common().ControllerUsable.store(0);
    TFPVTparameters w(nullptr, mvx::link::CurrentController());
    w.setContextProvider([] { return context(false); });
    w.setFileName("TRJ1.PVT");
    w.FormShow();
    common().ControllerUsable.store(1);
    EXPECT_EQ(w.cell(1, 2), "0.0000");
    for (int r = 1; r < 7; ++r)
        for (int c = 1; c < 6; ++c) EXPECT_EQ(w.cell(r, c).find("Error"), std::string::npos);
    bool cancelled = false;
    w.setCancelHook([&] { cancelled = true; });
    w.BitBtn2Click();
    EXPECT_TRUE(cancelled);
}

}  // namespace
