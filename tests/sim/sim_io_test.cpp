// Digital and analog I/O by model, global arrays, models' firmware texts and data gathering.

#include "sim_test_util.h"
#include "support/kvxsim_fixture.h"

#include <gtest/gtest.h>

#include <ostream>

#include <thread>

using namespace std::chrono_literals;
using mvx::test::KvxSim;
using mvx::test::KvxSimOptions;
using mvx::test::RawConnection;

namespace {

TEST(SimDigital, MaskedWritesKeepTheOtherBits)
{
    KvxSim sim;
    RawConnection c(sim.address(), KvxSim::kApiPort);
    struct Row {
        std::string request;
        std::string reply;
        std::uint32_t after;
    };
    const std::vector<Row> rows = {
        {"GPIODigitalSet(GPIO1.DO,255,133)", "0,EndOfAPI", 133},
        {"GPIODigitalSet(GPIO1.DO,2,2)", "0,EndOfAPI", 135},
        {"GPIODigitalSet(GPIO1.DO,1,0)", "0,EndOfAPI", 134},
        {"GPIODigitalSet(GPIO1.DO,4,255)", "0,EndOfAPI", 134},
        {"GPIODigitalSet(GPIO1.DO,65535,65535)", "0,EndOfAPI", 255},  // 8 bits on this port
        {"GPIODigitalSet(GPIO1.DI,1,1)", "-8,EndOfAPI", 255},          // inputs are not written
        {"GPIODigitalSet(GPIO9.DO,1,1)", "-8,EndOfAPI", 255},
        {"GPIODigitalSet(GPIO1.DO,-1,1)", "-17,EndOfAPI", 255},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(c.call(r.request), r.reply) << r.request;
        EXPECT_EQ(sim.digital("GPIO1.DO"), r.after) << r.request;
    }
    EXPECT_EQ(c.call("GPIODigitalGet(GPIO1.DO,unsigned short *)"), "0,255,EndOfAPI");
    sim.setDigitalInput("GPIO4.DI", 0xA5A5);
    EXPECT_EQ(c.call("GPIODigitalGet(GPIO4.DI,unsigned short *)"), "0,42405,EndOfAPI");
    sim.setDigitalInput("GPIO2.DI", 0xFF);  // 6 bits
    EXPECT_EQ(c.call("GPIODigitalGet(GPIO2.DI,unsigned short *)"), "0,63,EndOfAPI");
}

struct ModelRow {
    const char* model;
    std::string firmware;
    std::vector<std::string> ports;     // all answer GPIODigitalGet
    std::vector<std::string> missing;   // none of these exists
    std::string gatheringFolder;
};

void PrintTo(const ModelRow& row, std::ostream* os)
{
    *os << row.model;
}

class SimModels : public ::testing::TestWithParam<ModelRow> {};

TEST_P(SimModels, FirmwarePortsAndGatheringFolder)
{
    const ModelRow& row = GetParam();
    KvxSim sim(KvxSimOptions{.model = row.model});
    EXPECT_EQ(sim.apiCall("FirmwareVersionGet(char*)"), "0," + row.firmware + ",EndOfAPI");
    for (const auto& p : row.ports)
        EXPECT_EQ(sim.apiCall("GPIODigitalGet(" + p + ",unsigned short *)\n\r"), "0,0,EndOfAPI") << p;
    for (const auto& p : row.missing)
        EXPECT_EQ(sim.apiCall("GPIODigitalGet(" + p + ",unsigned short *)\n\r"), "-8,EndOfAPI") << p;
    // Gathering.dat lands in the model's gathering folder.
    sim.apiCall("GatheringConfigurationSet(GROUP1.X.CurrentPosition )\n\r");
    sim.apiCall("GatheringRun(2,8)\n\r");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(sim.apiCall("GatheringStopAndSave()\n\r"), "0,EndOfAPI");
    EXPECT_TRUE(sim.fileExists(row.gatheringFolder + "/Gathering.dat")) << row.gatheringFolder;
}

const std::vector<std::string> kStandardPorts = {"GPIO1.DI", "GPIO2.DI", "GPIO3.DI", "GPIO4.DI",
                                                 "GPIO1.DO", "GPIO3.DO", "GPIO4.DO"};
const std::vector<std::string> kDPorts = {"GPIO3.DI", "GPIO5.DI", "GPIO6.DI", "GPIO3.DO", "GPIO5.DO", "GPIO6.DO"};

INSTANTIATE_TEST_SUITE_P(
    Models, SimModels,
    ::testing::Values(
        ModelRow{"C", "KVX-C Version #20410", kStandardPorts, {"GPIO5.DO"}, "Public"},
        ModelRow{"Q", "KVX-Q Version #30039", kStandardPorts, {"GPIO5.DO"}, "Public/Gathering"},
        ModelRow{"D", "KVX-D Version #40212", kDPorts, {"GPIO1.DO", "GPIO4.DI"}, "Public"},
        ModelRow{"RL", "KVX-RL Version #50107", kDPorts, {"GPIO1.DO"}, "Public/Gathering"},
        ModelRow{"RLD", "KVX-RL-D Version #60103", kStandardPorts, {"GPIO6.DO"}, "Public/Gathering"}),
    [](const ::testing::TestParamInfo<ModelRow>& info) { return std::string(info.param.model); });

TEST(SimModelsFirmware, OlderQFirmwareGathersInPublic)
{
    KvxSim sim(KvxSimOptions{.model = "Q", .firmware = "KVX-Q Version #30038"});
    EXPECT_EQ(sim.apiCall("FirmwareVersionGet (char *)\n\r"), "0,KVX-Q Version #30038,EndOfAPI");
    sim.apiCall("GatheringConfigurationSet(GPIO2.ADC1 )\n\r");
    sim.apiCall("GatheringRun(1,8)\n\r");
    std::this_thread::sleep_for(50ms);
    sim.apiCall("GatheringStopAndSave()\n\r");
    EXPECT_TRUE(sim.fileExists("Public/Gathering.dat"));
}

TEST(SimAnalog, InputsOutputsAndGains)
{
    KvxSim sim;
    RawConnection c(sim.address(), KvxSim::kApiPort);
    sim.setAnalogInput("GPIO2.ADC3", 1.25);
    EXPECT_EQ(c.call("GPIOAnalogGet(GPIO2.ADC3,double *)"), "0,1.25,EndOfAPI");
    EXPECT_EQ(c.call("GPIOAnalogSet(GPIO2.DAC2,-2.5000000000000)"), "0,EndOfAPI");
    EXPECT_DOUBLE_EQ(sim.analog("GPIO2.DAC2"), -2.5);
    EXPECT_EQ(c.call("GPIOAnalogGet(GPIO2.DAC2,double *,GPIO2.ADC3,double *)"), "0,-2.5,1.25,EndOfAPI");
    EXPECT_EQ(c.call("GPIOAnalogSet(GPIO2.DAC2,11.0000000000000)"), "-17,EndOfAPI");
    EXPECT_EQ(c.call("GPIOAnalogSet(GPIO2.ADC1,1.0000000000000)"), "-8,EndOfAPI");
    EXPECT_EQ(c.call("GPIOAnalogGainSet(GPIO2.ADC5,4)"), "0,EndOfAPI");
    EXPECT_EQ(c.call("GPIOAnalogGainGet(GPIO2.ADC5,int *)"), "0,4,EndOfAPI");
    EXPECT_EQ(c.call("GPIOAnalogGainSet(GPIO2.ADC5,3)"), "-17,EndOfAPI");
    EXPECT_EQ(c.call("GPIOAnalogGainGet(GPIO2.ADC5,int *)"), "0,4,EndOfAPI");
}

TEST(SimGlobals, TextAndDoubleArrays)
{
    KvxSim sim;
    RawConnection c(sim.address(), KvxSim::kApiPort);
    EXPECT_EQ(c.call("GlobalArraySet(99,hello world)"), "0,EndOfAPI");
    EXPECT_EQ(c.call("GlobalArrayGet(99, char *)"), "0,hello world,EndOfAPI");
    EXPECT_EQ(c.call("GlobalArraySet(100,x)"), "-17,EndOfAPI");
    EXPECT_EQ(c.call("DoubleGlobalArraySet(999, -0.125)"), "0,EndOfAPI");
    EXPECT_EQ(c.call("DoubleGlobalArrayGet(999, double *)"), "0,-0.125,EndOfAPI");
    EXPECT_EQ(c.call("DoubleGlobalArrayGet(1000, double *)"), "-17,EndOfAPI");
}

TEST(SimGathering, StepTestFileHasPeriodNamesAndRows)
{
    KvxSim sim(KvxSimOptions{.timeScale = 0.05});
    RawConnection c(sim.address(), KvxSim::kApiPort);
    EXPECT_EQ(c.call("GatheringStopAndSave()"), "-31,EndOfAPI");
    EXPECT_EQ(c.call("GatheringConfigurationSet(GROUP3.T.Nonsense )"), "-71,EndOfAPI");
    EXPECT_EQ(c.call("GatheringConfigurationSet(GROUP3.T.SetpointPosition ,GROUP3.T.CurrentPosition ,GROUP3.T.FollowingError )"), "0,EndOfAPI");
    EXPECT_EQ(c.call("GatheringConfigurationGet(char *)"), "0,GROUP3.T.SetpointPosition;GROUP3.T.CurrentPosition;GROUP3.T.FollowingError,EndOfAPI");
    EXPECT_EQ(c.call("EventAdd(GROUP3.T,Immediate,0,GatheringRun,25,400,0)"), "0,EndOfAPI");
    std::this_thread::sleep_for(200ms);  // 4 simulated seconds: more than the 1.2 s of 25 points
    EXPECT_EQ(c.call("GatheringCurrentNumberGet(int *,int *)"), "0,25,25,EndOfAPI");
    EXPECT_EQ(c.call("GatheringStopAndSave()"), "0,EndOfAPI");
    std::string file = sim.readFile("Public/Gathering/Gathering.dat");
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < file.size()) {
        auto nl = file.find('\n', at);
        lines.push_back(file.substr(at, nl - at));
        at = nl == std::string::npos ? file.size() : nl + 1;
    }
    ASSERT_EQ(lines.size(), 27u);
    EXPECT_EQ(lines[0].rfind("0.05", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "GROUP3.T.SetpointPosition\tGROUP3.T.CurrentPosition\tGROUP3.T.FollowingError");
    EXPECT_EQ(lines[2], "0\t0\t0\t");
    EXPECT_EQ(c.call("EventAdd(GROUP3.T,Never,0,GatheringRun,25,400,0)"), "-70,EndOfAPI");
}

}  // namespace
