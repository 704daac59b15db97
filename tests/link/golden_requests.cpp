#include "golden_requests.h"

#include "link/api.h"

#include <array>

namespace mvx::test {

using api::Value;
using V = std::vector<Value>;

namespace {
Value I(long long v) { return Value(v); }
Value S(const char* s) { return Value(std::string(s)); }
Value D(double v) { return Value(v); }
Value L(std::vector<double> v) { return Value(std::move(v)); }
}  // namespace

const std::vector<GoldenRequest>& goldenRequests()
{
    static const std::vector<GoldenRequest> rows = [] {
        // Output sinks of the typed calls (they outlive this initialiser).
        static std::string s;
        static double d = 0, d2 = 0, d3 = 0, d4 = 0;
        static int n = 0;
        static bool b = false;
        static std::array<double, 11> p11{};
        static std::array<double, 13> p13{};
        static std::array<double, 3> p3{};
        static std::array<double, 5> p5{};
        std::vector<GoldenRequest> r = {
            {"ErrorStringGet", V{I(-17)}, "ErrorStringGet(-17,char *)", [&](int k) { return api::ErrorStringGet(k, -17, s); }},
            {"FirmwareVersionGet", V{}, "FirmwareVersionGet (char *)", [&](int k) { return api::FirmwareVersionGet(k, s); }},
            {"TCLScriptExecute", V{S("GCode_Converted.TCL"), S("GCODE"), S("0")}, "TCLScriptExecute(GCode_Converted.TCL,GCODE,0)",
             [&](int k) { return api::TCLScriptExecute(k, "GCode_Converted.TCL", "GCODE", "0"); }},
            {"TCLScriptExecuteAndWait", V{S("run.tcl"), S("T1"), S("a b")}, "TCLScriptExecuteAndWait(run.tcl,T1,a b,char *)",
             [&](int k) { return api::TCLScriptExecuteAndWait(k, "run.tcl", "T1", "a b", s); }},
            {"TCLScriptKill", V{S("GCODE")}, "TCLScriptKill(GCODE)", [&](int k) { return api::TCLScriptKill(k, "GCODE"); }},
            {"GroupPositionCurrentGet", V{S("XYZ"), I(3)}, "GroupPositionCurrentGet(XYZ,double *,double *,double *)",
             [&](int k) { std::array<double, 3> a{}; return api::GroupPositionCurrentGet(k, "XYZ", a); }},
            {"GroupPositionCurrentGet", V{S("XY"), I(0)}, "GroupPositionCurrentGet(XY)",
             [&](int k) { return api::GroupPositionCurrentGet(k, "XY", {}); }},
            {"GroupHomeSearch", V{S("XY")}, "GroupHomeSearch(XY)", [&](int k) { return api::GroupHomeSearch(k, "XY"); }},
            {"GroupInitialize", V{S("XY")}, "GroupInitialize(XY)", [&](int k) { return api::GroupInitialize(k, "XY"); }},
            {"GroupJogParametersSet", V{S("XY"), I(2), L({1, 10, -2, 20})},
             "GroupJogParametersSet(XY,1.0000000000000,10.0000000000000,-2.0000000000000,20.0000000000000)",
             [&](int k) { std::array<double, 2> v{1, -2}, a{10, 20}; return api::GroupJogParametersSet(k, "XY", v, a); }},
            {"GroupJogModeEnable", V{S("XY")}, "GroupJogModeEnable(XY)", [&](int k) { return api::GroupJogModeEnable(k, "XY"); }},
            {"GroupJogModeDisable", V{S("XY")}, "GroupJogModeDisable(XY)", [&](int k) { return api::GroupJogModeDisable(k, "XY"); }},
            {"GroupKill", V{S("XY")}, "GroupKill(XY)", [&](int k) { return api::GroupKill(k, "XY"); }},
            {"GroupMoveAbsolute", V{S("XY"), I(2), L({1.0, -2.5})}, "GroupMoveAbsolute(XY,1.0000000000000,-2.5000000000000)",
             [&](int k) { std::array<double, 2> t{1.0, -2.5}; return api::GroupMoveAbsolute(k, "XY", t); }},
            {"GroupMoveRelative", V{S("M"), I(1), L({1.0 / 3})}, "GroupMoveRelative(M,0.3333333333330)",
             [&](int k) { std::array<double, 1> t{1.0 / 3}; return api::GroupMoveRelative(k, "M", t); }},
            {"GroupMotionDisable", V{S("XY")}, "GroupMotionDisable(XY)", [&](int k) { return api::GroupMotionDisable(k, "XY"); }},
            {"GroupMotionEnable", V{S("XY")}, "GroupMotionEnable(XY)", [&](int k) { return api::GroupMotionEnable(k, "XY"); }},
            {"GroupStatusStringGet", V{I(12)}, "GroupStatusStringGet(12,char *)", [&](int k) { return api::GroupStatusStringGet(k, 12, s); }},
            {"GroupStatusGet", V{S("XY")}, "GroupStatusGet(XY, int *)", [&](int k) { return api::GroupStatusGet(k, "XY", n); }},
            {"GlobalArrayGet", V{I(3)}, "GlobalArrayGet(3, char *)", [&](int k) { return api::GlobalArrayGet(k, 3, s); }},
            {"GlobalArraySet", V{I(3), S("abc")}, "GlobalArraySet(3,abc)", [&](int k) { return api::GlobalArraySet(k, 3, "abc"); }},
            {"GPIOAnalogGet", V{I(2), S("GPIO2.ADC1;GPIO2.ADC2")}, "GPIOAnalogGet(GPIO2.ADC1,double *,GPIO2.ADC2,double *)",
             [&](int k) { std::array<double, 2> a{}; return api::GPIOAnalogGet(k, "GPIO2.ADC1;GPIO2.ADC2", a); }},
            {"GPIOAnalogSet", V{I(1), S("GPIO2.DAC1"), L({2.5})}, "GPIOAnalogSet(GPIO2.DAC1,2.5000000000000)",
             [&](int k) { std::array<double, 1> a{2.5}; return api::GPIOAnalogSet(k, "GPIO2.DAC1", a); }},
            {"GPIOAnalogGainGet", V{I(1), S("GPIO2.ADC1")}, "GPIOAnalogGainGet(GPIO2.ADC1,int *)",
             [&](int k) { std::array<int, 1> a{}; return api::GPIOAnalogGainGet(k, "GPIO2.ADC1", a); }},
            {"GPIOAnalogGainSet", V{I(2), S("GPIO2.ADC1;GPIO2.ADC2"), Value(std::vector<long long>{1, 4})},
             "GPIOAnalogGainSet(GPIO2.ADC1,1,GPIO2.ADC2,4)",
             [&](int k) { std::array<int, 2> a{1, 4}; return api::GPIOAnalogGainSet(k, "GPIO2.ADC1;GPIO2.ADC2", a); }},
            {"GPIODigitalGet", V{S("GPIO4.DI")}, "GPIODigitalGet(GPIO4.DI,unsigned short *)",
             [&](int k) { return api::GPIODigitalGet(k, "GPIO4.DI", n); }},
            {"GPIODigitalSet", V{S("GPIO4.DO"), I(65535), I(3)}, "GPIODigitalSet(GPIO4.DO,65535,3)",
             [&](int k) { return api::GPIODigitalSet(k, "GPIO4.DO", 65535u, 3u); }},
            {"PositionerCorrectorPIDFFAccelerationSet",
             V{S("XY.X"), I(1), D(1), D(0.5), D(0), D(0), D(0), D(0), D(0), D(0), D(0), D(0), D(2.25e-7)},
             "PositionerCorrectorPIDFFAccelerationSet(XY.X,1,1,0.5,0,0,0,0,0,0,0,0,2.25E-7)",
             [&](int k) { std::array<double, 11> a{1, 0.5, 0, 0, 0, 0, 0, 0, 0, 0, 2.25e-7}; return api::PositionerCorrectorPIDFFAccelerationSet(k, "XY.X", true, a); }},
            {"PositionerCorrectorPIDFFAccelerationGet", V{S("XY.X")},
             "PositionerCorrectorPIDFFAccelerationGet(XY.X,bool *,double *,double *,double *,double *,double *,double *,double *,double *,double *,double *,double *,double *)",
             [&](int k) { return api::PositionerCorrectorPIDFFAccelerationGet(k, "XY.X", b, p11); }},
            {"PositionerCorrectorPIDFFVelocitySet",
             V{S("XY.X"), I(0), D(100), D(12.5), D(0.1), D(0), D(0), D(0), D(0), D(0), D(0), D(0), D(0)},
             "PositionerCorrectorPIDFFVelocitySet(XY.X,0,100,12.5,0.1,0,0,0,0,0,0,0,0)",
             [&](int k) { std::array<double, 11> a{100, 12.5, 0.1}; return api::PositionerCorrectorPIDFFVelocitySet(k, "XY.X", false, a); }},
            {"PositionerCorrectorPIDFFVelocityGet", V{S("XY.X")},
             "PositionerCorrectorPIDFFVelocityGet(XY.X,bool *,double *,double *,double *,double *,double *,double *,double *,double *,double *,double *,double *)",
             [&](int k) { return api::PositionerCorrectorPIDFFVelocityGet(k, "XY.X", b, p11); }},
            {"PositionerCorrectorPIDDualFFVoltageSet",
             V{S("XY.Y"), I(1), D(1), D(2), D(3), D(4), D(5), D(6), D(7), D(8), D(9), D(10), D(11), D(12), D(0.125)},
             "PositionerCorrectorPIDDualFFVoltageSet(XY.Y,1,1,2,3,4,5,6,7,8,9,10,11,12,0.125)",
             [&](int k) { std::array<double, 13> a{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0.125}; return api::PositionerCorrectorPIDDualFFVoltageSet(k, "XY.Y", true, a); }},
            {"PositionerCorrectorPIDDualFFVoltageGet", V{S("XY.Y")},
             "PositionerCorrectorPIDDualFFVoltageGet(XY.Y,bool *,double *,double *,double *,double *,double *,double *,double *,double *,double *,double *,double *,double *,double *)",
             [&](int k) { return api::PositionerCorrectorPIDDualFFVoltageGet(k, "XY.Y", b, p13); }},
            {"PositionerCorrectorPIPositionSet", V{S("M.X"), I(1), D(0.3), D(1e20), D(-4)},
             "PositionerCorrectorPIPositionSet(M.X,1,0.3,1E20,-4)",
             [&](int k) { std::array<double, 3> a{0.3, 1e20, -4}; return api::PositionerCorrectorPIPositionSet(k, "M.X", true, a); }},
            {"PositionerCorrectorPIPositionGet", V{S("M.X")}, "PositionerCorrectorPIPositionGet(M.X,bool *,double *,double *,double *)",
             [&](int k) { return api::PositionerCorrectorPIPositionGet(k, "M.X", b, p3); }},
            {"PositionerCorrectorTypeGet", V{S("M.X")}, "PositionerCorrectorTypeGet(M.X,char *)",
             [&](int k) { return api::PositionerCorrectorTypeGet(k, "M.X", s); }},
            {"GatheringConfigurationSet", V{I(2), S("A B")}, "GatheringConfigurationSet(A ,B )",
             [&](int k) { return api::GatheringConfigurationSet(k, "A B"); }},
            {"GatheringConfigurationSet", V{I(2), S("  XY.X.SetpointPosition   XY.X.CurrentPosition")},
             "GatheringConfigurationSet(XY.X.SetpointPosition ,XY.X.CurrentPosition )",
             [&](int k) { return api::GatheringConfigurationSet(k, "  XY.X.SetpointPosition   XY.X.CurrentPosition"); }},
            {"GatheringConfigurationSet", V{I(0), S("")}, "GatheringConfigurationSet()",
             [&](int k) { return api::GatheringConfigurationSet(k, ""); }},
            {"PositionerSGammaParametersGet", V{S("M.X")},
             "PositionerSGammaParametersGet(M.X,double *,double *,double *,double *)",
             [&](int k) { return api::PositionerSGammaParametersGet(k, "M.X", d, d2, d3, d4); }},
            {"PositionerSGammaParametersSet", V{S("M.X"), D(20), D(80), D(0.005), D(0.05)},
             "PositionerSGammaParametersSet(M.X,20.000000,80.000000,0.005000,0.050000)",
             [&](int k) { return api::PositionerSGammaParametersSet(k, "M.X", 20, 80, 0.005, 0.05); }},
            {"Reboot", V{}, "Reboot ()", [&](int k) { return api::Reboot(k); }},
            {"EventAdd", V{S("XY.X"), S("Immediate"), S("0"), S("GPIO4.DO.DOSet"), S("1"), S("1"), S("0")},
             "EventAdd(XY.X,Immediate,0,GPIO4.DO.DOSet,1,1,0)",
             [&](int k) { return api::EventAdd(k, {"XY.X", "Immediate", "0", "GPIO4.DO.DOSet", "1", "1", "0"}); }},
            {"MultipleAxesPVTVerification", V{S("M"), S("TRJ1.PVT")}, "MultipleAxesPVTVerification(M,TRJ1.PVT)",
             [&](int k) { return api::MultipleAxesPVTVerification(k, "M", "TRJ1.PVT"); }},
            {"MultipleAxesPVTVerificationResultGet", V{S("M")},
             "MultipleAxesPVTVerificationResultGet(M,char * ,double *,double *,double *,double *)",
             [&](int k) { return api::MultipleAxesPVTVerificationResultGet(k, "M", s, d, d2, d3, d4); }},
            {"MultipleAxesPVTExecution", V{S("M"), S("TRJ1.PVT"), I(1)}, "MultipleAxesPVTExecution(M,TRJ1.PVT,1)",
             [&](int k) { return api::MultipleAxesPVTExecution(k, "M", "TRJ1.PVT", 1); }},
            {"GatheringStopAndSave", V{}, "GatheringStopAndSave()", [&](int k) { return api::GatheringStopAndSave(k); }},
            {"PositionerHardwareStatusGet", V{S("M.X")}, "PositionerHardwareStatusGet(M.X,int  *)",
             [&](int k) { return api::PositionerHardwareStatusGet(k, "M.X", n); }},
            {"PositionerHardwareStatusStringGet", V{I(4)}, "PositionerHardwareStatusStringGet(4,char *)",
             [&](int k) { return api::PositionerHardwareStatusStringGet(k, 4, s); }},
            {"PositionerMotionDoneGet", V{S("M.X")},
             "PositionerMotionDoneGet(M.X,double *,double *,double *,double *,double *)",
             [&](int k) { return api::PositionerMotionDoneGet(k, "M.X", p5); }},
            {"PositionerMotionDoneSet", V{S("M.X"), D(1), D(0.5), D(0.25), D(100), D(1e-3)},
             "PositionerMotionDoneSet(M.X,1,0.5,0.25,100,0.001)",
             [&](int k) { return api::PositionerMotionDoneSet(k, "M.X", std::array<double, 5>{1, 0.5, 0.25, 100, 1e-3}); }},
            {"HardwareInternalListGet", V{}, "HardwareInternalListGet (char *)", [&](int k) { return api::HardwareInternalListGet(k, s); }},
            {"ObjectsListGet", V{}, "ObjectsListGet(char *)", [&](int k) { return api::ObjectsListGet(k, s); }},
            {"DoubleGlobalArrayGet", V{I(5)}, "DoubleGlobalArrayGet(5, double *)", [&](int k) { return api::DoubleGlobalArrayGet(k, 5, d); }},
            {"DoubleGlobalArraySet", V{I(5), D(2.5)}, "DoubleGlobalArraySet(5, 2.5)", [&](int k) { return api::DoubleGlobalArraySet(k, 5, 2.5); }},
            {"KillAll", V{}, "KillAll()", [&](int k) { return api::KillAll(k); }},
            {"PositionerUserTravelLimitsGet", V{S("M.X")}, "PositionerUserTravelLimitsGet(M.X,double *,double *)",
             [&](int k) { return api::PositionerUserTravelLimitsGet(k, "M.X", d, d2); }},
            {"PositionerMaximumVelocityAndAccelerationGet", V{S("M.X")},
             "PositionerMaximumVelocityAndAccelerationGet(M.X,double  *,double  *)",
             [&](int k) { return api::PositionerMaximumVelocityAndAccelerationGet(k, "M.X", d, d2); }},
        };
        return r;
    }();
    return rows;
}

}  // namespace mvx::test
