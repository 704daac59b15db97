// The position and output poll against the simulator: what the window is told, once-only
// fault reports, lamps, and the executed path during a move.
#include "link/controller.h"
#include "tests/support/simlink.h"
#include "link/api.h"
#include "mainwindow/poll.h"

#include <QTest>

using namespace mvx;
using namespace std::chrono_literals;

namespace {

class RecordingView : public PollView {
public:
    bool PollSimulation() const override { return simulation; }
    PollSetup PollConfiguration() const override { return setup; }
    bool PollJobRunning() const override { return running; }
    bool Poll3DVisible() const override { return visible3D; }
    void PollShowAxis(int axis, const std::string& text) override { panels[static_cast<std::size_t>(axis)] = text; }
    void PollMoveTool(const std::array<double, 3>&, bool visible) override { coneVisible = visible; }
    void PollStatusColour(StatusColour c) override { colour = c; }
    void PollLampLit(int lamp, bool lit) override { lamps[static_cast<std::size_t>(lamp)] = lit ? 1 : 0; }
    void PollExecutedPoint(const std::array<double, 3>& p, bool toolActive) override
    {
        points.push_back(p);
        active.push_back(toolActive);
    }
    void PollPositionFault(int code) override { faults.push_back(code); }
    std::array<double, 3>& PollCurrentPosition() override { return current; }

    bool simulation = false, running = false, visible3D = true, coneVisible = false;
    PollSetup setup;
    std::array<std::string, 3> panels;
    StatusColour colour = StatusColour::Navy;
    std::array<int, 5> lamps{-1, -1, -1, -1, -1};
    std::vector<std::array<double, 3>> points;
    std::vector<bool> active;
    std::vector<int> faults;
    std::array<double, 3> current{-8000.0, -8000.0, -8000.0};
};

class PollSim : public test::SimLinkTest {
protected:
    void SetUp() override
    {
        SimLinkTest::SetUp();
        view.setup.GroupName = "GROUP1";
        view.setup.AxisCount = 3;
        for (int i = 0; i < 5; ++i) view.setup.Lamps[static_cast<std::size_t>(i)] = {1, i + 1, 1};
    }
    // Waits for `n` more ticks.
    void ticks(PositionPoll& poll, int n)
    {
        const int target = poll.ticks() + n;
        ASSERT_TRUE(QTest::qWaitFor([&] { return poll.ticks() >= target && !poll.tickRunning(); }, 10000));
    }
    RecordingView view;
};

TEST_F(PollSim, ShowsPositionsStatusAndLamps)
{
    sim().setPositions("GROUP1", {1.5, -2.25, 3.0});
    sim().apiCall("GPIODigitalSet(GPIO1.DO,31,5)\n");
    PositionPoll poll(view, mvx::link::CurrentController());
    poll.start(20);
    ticks(poll, 2);
    EXPECT_EQ(view.panels[0], "X:1.5000");
    EXPECT_EQ(view.panels[1], "Y:-2.2500");
    EXPECT_EQ(view.panels[2], "Z:3.0000");
    EXPECT_EQ(view.current, (std::array<double, 3>{1.5, -2.25, 3.0}));
    EXPECT_EQ(view.colour, StatusColourOf(0, sim().groupStatus("GROUP1")));
    EXPECT_EQ(view.lamps, (std::array<int, 5>{1, 0, 1, 0, 0}));
    EXPECT_TRUE(view.faults.empty());
    poll.stop();
    // Every tick gave its connection back.
    settle();
    EXPECT_TRUE(link::EntryFree(0));
}

TEST_F(PollSim, TwoAxisGroupNeverShowsZAndDrawsAtZeroHeight)
{
    view.setup.GroupName = "GROUP2";
    view.setup.AxisCount = 2;
    view.setup.XYGroupOnly = true;
    view.running = true;
    sim().setPositions("GROUP2", {4.0, 5.0});
    PositionPoll poll(view, mvx::link::CurrentController());
    poll.start(20);
    ticks(poll, 2);
    EXPECT_EQ(view.panels[0], "X:4.0000");
    EXPECT_TRUE(view.panels[2].empty());
    ASSERT_FALSE(view.points.empty());
    EXPECT_EQ(view.points.back()[2], 0.0);
    EXPECT_TRUE(view.coneVisible);
}

TEST_F(PollSim, LostControllerIsReportedOnce)
{
    PositionPoll poll(view, mvx::link::CurrentController());
    poll.start(10);
    ticks(poll, 1);
    common().ControllerUsable.store(0);
    ticks(poll, 5);
    EXPECT_EQ(view.faults.size(), 1u);
    EXPECT_EQ(view.colour, StatusColour::Red);
    common().ControllerUsable.store(1);
    ticks(poll, 2);
    common().ControllerUsable.store(0);
    ticks(poll, 3);
    common().ControllerUsable.store(1);
    // Once per loss: two losses, two reports.
    EXPECT_EQ(view.faults.size(), 2u);
}

TEST_F(PollSim, UnknownGroupIsAFaultAndTheTickGoesOn)
{
    view.setup.GroupName = "NOGROUP";
    sim().apiCall("GPIODigitalSet(GPIO1.DO,31,1)\n");
    PositionPoll poll(view, mvx::link::CurrentController());
    poll.start(10);
    ticks(poll, 3);
    EXPECT_EQ(view.faults.size(), 1u);
    EXPECT_EQ(view.colour, StatusColour::Red);
    EXPECT_EQ(view.lamps[0], 1);
}

TEST_F(PollSim, MoveIsFollowedWithIntermediatePoints)
{
    sim().apiCall("KillAll()\n");
    sim().apiCall("GroupInitialize(GROUP1)\n");
    sim().apiCall("GroupHomeSearch(GROUP1)\n");
    sim().setTimeScale(0.3);
    view.running = true;
    PositionPoll poll(view, mvx::link::CurrentController());
    poll.start(20);
    std::atomic<bool> moved{false};
    std::thread mover([&] {
        sim().apiCall("GroupMoveAbsolute(GROUP1,20,0,0)\n", 20000ms);
        moved = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return moved.load(); }, 20000));
    mover.join();
    ticks(poll, 2);
    poll.stop();
    sim().setTimeScale(0.01);
    ASSERT_GE(view.points.size(), 3u);
    EXPECT_GT(view.points[1][0], 0.0);
    EXPECT_LT(view.points[view.points.size() - 2][0], 20.0);
    EXPECT_DOUBLE_EQ(view.points.back()[0], 20.0);
}

TEST_F(PollSim, SimulationPollsNothing)
{
    view.simulation = true;
    PositionPoll poll(view, mvx::link::CurrentController());
    poll.start(10);
    QTest::qWait(100);
    EXPECT_EQ(poll.ticks(), 0);
    EXPECT_TRUE(sim().requestLog().empty());
}

TEST(PollRules, StatusColoursAndAxisTexts)
{
    struct Row {
        int code, status;
        StatusColour c;
    } rows[] = {{-2, 11, StatusColour::Red}, {0, 0, StatusColour::Red},    {0, 9, StatusColour::Red},
                {0, 42, StatusColour::Red},  {0, 10, StatusColour::ButtonFace}, {0, 18, StatusColour::ButtonFace},
                {0, 19, StatusColour::Navy}, {0, 20, StatusColour::Yellow}, {0, 38, StatusColour::Yellow},
                {0, 40, StatusColour::Fuchsia}, {0, 41, StatusColour::Blue}, {0, 43, StatusColour::Silver},
                {0, 45, StatusColour::Silver}, {0, 47, StatusColour::Navy}};
    for (const Row& r : rows) EXPECT_EQ(StatusColourOf(r.code, r.status), r.c) << r.status;
    EXPECT_EQ(AxisText(0, 1.0, 4), "X:1.0000");
    EXPECT_EQ(AxisText(2, 1.0, 0), "Z: 1");
    EXPECT_EQ(AxisText(1, -123456789.5, 4), "Y:-123456789.5");
}

}  // namespace
