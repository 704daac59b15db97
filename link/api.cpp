#include "api.h"

#include <vector>

namespace mvx::api {
namespace {

enum Slot : int {
    kErrorStringGet = 5, kFirmwareVersionGet = 6, kTCLScriptExecute = 8, kTCLScriptExecuteAndWait = 9,
    kTCLScriptKill = 10, kGroupPositionCurrentGet = 12, kGroupHomeSearch = 13, kGroupInitialize = 15,
    kGroupJogParametersSet = 16, kGroupJogModeEnable = 19, kGroupJogModeDisable = 20, kGroupKill = 21,
    kGroupMoveAbsolute = 23, kGroupMoveRelative = 24, kGroupMotionDisable = 25, kGroupMotionEnable = 26,
    kGroupStatusStringGet = 27, kGroupStatusGet = 30, kGlobalArrayGet = 31, kGlobalArraySet = 32,
    kGPIOAnalogGet = 33, kGPIOAnalogSet = 34, kGPIOAnalogGainGet = 35, kGPIOAnalogGainSet = 36,
    kGPIODigitalGet = 37, kGPIODigitalSet = 38, kPIDFFAccelerationSet = 41, kPIDFFAccelerationGet = 42,
    kPIDFFVelocitySet = 43, kPIDFFVelocityGet = 44, kPIDDualFFVoltageSet = 45, kPIDDualFFVoltageGet = 46,
    kPIPositionSet = 47, kPIPositionGet = 48, kCorrectorTypeGet = 49, kGatheringConfigurationSet = 51,
    kSGammaGet = 52, kSGammaSet = 53, kReboot = 56, kEventAdd = 57, kPVTVerification = 61,
    kPVTVerificationResultGet = 62, kPVTExecution = 63, kGatheringStopAndSave = 66, kHardwareStatusGet = 71,
    kHardwareStatusStringGet = 72, kMotionDoneGet = 75, kMotionDoneSet = 76, kHardwareInternalListGet = 82,
    kObjectsListGet = 84, kDoubleGlobalArrayGet = 86, kDoubleGlobalArraySet = 87, kKillAll = 93,
    kUserTravelLimitsGet = 105, kMaximumVelocityAndAccelerationGet = 160,
};

using Args = std::vector<Value>;

CallResult run(int slot, int socket, const Args& args)
{
    CallResult r = Call(slot, socket, args);
    if (r.conversionError)
        throw ConversionError(Function(slot).name + ": the field \"" + r.conversionText + "\" is not a number");
    return r;
}

template <class T>
void take(const CallResult& r, std::size_t i, T& out)
{
    if (i >= r.outputs.size() || !r.outputs[i]) return;
    const Value& v = *r.outputs[i];
    if constexpr (std::is_same_v<T, std::string>) {
        if (auto* s = std::get_if<std::string>(&v)) out = *s;
    } else if constexpr (std::is_same_v<T, bool>) {
        if (auto* b = std::get_if<bool>(&v)) out = *b;
    } else if constexpr (std::is_same_v<T, double>) {
        if (auto* d = std::get_if<double>(&v)) out = *d;
    } else {
        if (auto* n = std::get_if<long long>(&v)) out = static_cast<T>(*n);
    }
}

template <class Span>
void takeAll(const CallResult& r, std::size_t first, Span values)
{
    for (std::size_t i = 0; i < values.size(); ++i) take(r, first + i, values[i]);
}

int simple(int slot, int socket, const std::string& name) { return run(slot, socket, {Value(name)}).code; }

std::string textOut(int slot, int socket, Args args, std::string& out, int& code)
{
    const CallResult r = run(slot, socket, args);
    code = r.code;
    take(r, 0, out);
    return out;
}

template <std::size_t N>
int pidSet(int slot, int socket, const std::string& positioner, bool closedLoop, const std::array<double, N>& p)
{
    Args a{Value(positioner), Value(static_cast<long long>(closedLoop ? 1 : 0))};
    for (double d : p) a.emplace_back(d);
    return run(slot, socket, a).code;
}

template <std::size_t N>
int pidGet(int slot, int socket, const std::string& positioner, bool& closedLoop, std::array<double, N>& p)
{
    const CallResult r = run(slot, socket, {Value(positioner)});
    take(r, 0, closedLoop);
    takeAll(r, 1, std::span<double>(p));
    return r.code;
}

int move(int slot, int socket, const std::string& group, std::span<const double> values)
{
    return run(slot, socket,
               {Value(group), Value(static_cast<long long>(values.size())), Value(std::vector<double>(values.begin(), values.end()))})
        .code;
}

}  // namespace

std::string LibraryVersionGet()
{
    std::string s;
    take(Call(4, -1, {}), 0, s);
    return s;
}

int ErrorStringGet(int socket, int code, std::string& text)
{
    int rc = 0;
    textOut(kErrorStringGet, socket, {Value(static_cast<long long>(code))}, text, rc);
    return rc;
}

int FirmwareVersionGet(int socket, std::string& version)
{
    int rc = 0;
    textOut(kFirmwareVersionGet, socket, {}, version, rc);
    return rc;
}

int TCLScriptExecute(int socket, const std::string& file, const std::string& task, const std::string& args)
{
    return run(kTCLScriptExecute, socket, {Value(file), Value(task), Value(args)}).code;
}

int TCLScriptExecuteAndWait(int socket, const std::string& file, const std::string& task, const std::string& args,
                            std::string& answer)
{
    int rc = 0;
    textOut(kTCLScriptExecuteAndWait, socket, {Value(file), Value(task), Value(args)}, answer, rc);
    return rc;
}

int TCLScriptKill(int socket, const std::string& task) { return simple(kTCLScriptKill, socket, task); }

int GroupPositionCurrentGet(int socket, const std::string& group, std::span<double> positions)
{
    const CallResult r = run(kGroupPositionCurrentGet, socket, {Value(group), Value(static_cast<long long>(positions.size()))});
    takeAll(r, 0, positions);
    return r.code;
}

int GroupHomeSearch(int socket, const std::string& group) { return simple(kGroupHomeSearch, socket, group); }
int GroupInitialize(int socket, const std::string& group) { return simple(kGroupInitialize, socket, group); }

int GroupJogParametersSet(int socket, const std::string& group, std::span<const double> velocities,
                          std::span<const double> accelerations)
{
    if (velocities.size() != accelerations.size()) return kErrorBadInput;
    std::vector<double> pairs;
    for (std::size_t i = 0; i < velocities.size(); ++i) {
        pairs.push_back(velocities[i]);
        pairs.push_back(accelerations[i]);
    }
    return run(kGroupJogParametersSet, socket,
               {Value(group), Value(static_cast<long long>(velocities.size())), Value(std::move(pairs))})
        .code;
}

int GroupJogModeEnable(int socket, const std::string& group) { return simple(kGroupJogModeEnable, socket, group); }
int GroupJogModeDisable(int socket, const std::string& group) { return simple(kGroupJogModeDisable, socket, group); }
int GroupKill(int socket, const std::string& group) { return simple(kGroupKill, socket, group); }
int GroupMoveAbsolute(int socket, const std::string& group, std::span<const double> targets)
{
    return move(kGroupMoveAbsolute, socket, group, targets);
}
int GroupMoveRelative(int socket, const std::string& group, std::span<const double> deltas)
{
    return move(kGroupMoveRelative, socket, group, deltas);
}
int GroupMotionDisable(int socket, const std::string& group) { return simple(kGroupMotionDisable, socket, group); }
int GroupMotionEnable(int socket, const std::string& group) { return simple(kGroupMotionEnable, socket, group); }

int GroupStatusStringGet(int socket, int status, std::string& text)
{
    int rc = 0;
    textOut(kGroupStatusStringGet, socket, {Value(static_cast<long long>(status))}, text, rc);
    return rc;
}

int GroupStatusGet(int socket, const std::string& group, int& status)
{
    const CallResult r = run(kGroupStatusGet, socket, {Value(group)});
    take(r, 0, status);
    return r.code;
}

int GlobalArrayGet(int socket, int number, std::string& value)
{
    int rc = 0;
    textOut(kGlobalArrayGet, socket, {Value(static_cast<long long>(number))}, value, rc);
    return rc;
}

int GlobalArraySet(int socket, int number, const std::string& value)
{
    return run(kGlobalArraySet, socket, {Value(static_cast<long long>(number)), Value(value)}).code;
}

int DoubleGlobalArrayGet(int socket, int number, double& value)
{
    const CallResult r = run(kDoubleGlobalArrayGet, socket, {Value(static_cast<long long>(number))});
    take(r, 0, value);
    return r.code;
}

int DoubleGlobalArraySet(int socket, int number, double value)
{
    return run(kDoubleGlobalArraySet, socket, {Value(static_cast<long long>(number)), Value(value)}).code;
}

int GPIOAnalogGet(int socket, const std::string& names, std::span<double> values)
{
    const CallResult r = run(kGPIOAnalogGet, socket, {Value(static_cast<long long>(values.size())), Value(names)});
    takeAll(r, 0, values);
    return r.code;
}

int GPIOAnalogSet(int socket, const std::string& names, std::span<const double> values)
{
    return run(kGPIOAnalogSet, socket,
               {Value(static_cast<long long>(values.size())), Value(names), Value(std::vector<double>(values.begin(), values.end()))})
        .code;
}

int GPIOAnalogGainGet(int socket, const std::string& names, std::span<int> values)
{
    const CallResult r = run(kGPIOAnalogGainGet, socket, {Value(static_cast<long long>(values.size())), Value(names)});
    takeAll(r, 0, values);
    return r.code;
}

int GPIOAnalogGainSet(int socket, const std::string& names, std::span<const int> values)
{
    return run(kGPIOAnalogGainSet, socket,
               {Value(static_cast<long long>(values.size())), Value(names),
                Value(std::vector<long long>(values.begin(), values.end()))})
        .code;
}

int GPIODigitalGet(int socket, const std::string& name, int& value)
{
    const CallResult r = run(kGPIODigitalGet, socket, {Value(name)});
    take(r, 0, value);
    return r.code;
}

int GPIODigitalSet(int socket, const std::string& name, unsigned mask, unsigned value)
{
    return run(kGPIODigitalSet, socket,
               {Value(name), Value(static_cast<long long>(mask)), Value(static_cast<long long>(value))})
        .code;
}

int PositionerCorrectorPIDFFAccelerationSet(int socket, const std::string& positioner, bool closedLoop,
                                            const std::array<double, 11>& p)
{
    return pidSet(kPIDFFAccelerationSet, socket, positioner, closedLoop, p);
}
int PositionerCorrectorPIDFFAccelerationGet(int socket, const std::string& positioner, bool& closedLoop,
                                            std::array<double, 11>& p)
{
    return pidGet(kPIDFFAccelerationGet, socket, positioner, closedLoop, p);
}
int PositionerCorrectorPIDFFVelocitySet(int socket, const std::string& positioner, bool closedLoop,
                                        const std::array<double, 11>& p)
{
    return pidSet(kPIDFFVelocitySet, socket, positioner, closedLoop, p);
}
int PositionerCorrectorPIDFFVelocityGet(int socket, const std::string& positioner, bool& closedLoop,
                                        std::array<double, 11>& p)
{
    return pidGet(kPIDFFVelocityGet, socket, positioner, closedLoop, p);
}
int PositionerCorrectorPIDDualFFVoltageSet(int socket, const std::string& positioner, bool closedLoop,
                                           const std::array<double, 13>& p)
{
    return pidSet(kPIDDualFFVoltageSet, socket, positioner, closedLoop, p);
}
int PositionerCorrectorPIDDualFFVoltageGet(int socket, const std::string& positioner, bool& closedLoop,
                                           std::array<double, 13>& p)
{
    return pidGet(kPIDDualFFVoltageGet, socket, positioner, closedLoop, p);
}
int PositionerCorrectorPIPositionSet(int socket, const std::string& positioner, bool closedLoop,
                                     const std::array<double, 3>& p)
{
    return pidSet(kPIPositionSet, socket, positioner, closedLoop, p);
}
int PositionerCorrectorPIPositionGet(int socket, const std::string& positioner, bool& closedLoop,
                                     std::array<double, 3>& p)
{
    return pidGet(kPIPositionGet, socket, positioner, closedLoop, p);
}

int PositionerCorrectorTypeGet(int socket, const std::string& positioner, std::string& type)
{
    int rc = 0;
    textOut(kCorrectorTypeGet, socket, {Value(positioner)}, type, rc);
    return rc;
}

int GatheringConfigurationSet(int socket, const std::string& types)
{
    long long count = 0;
    bool inWord = false;
    for (char c : types) {
        if (c != ' ' && !inWord) ++count;
        inWord = c != ' ';
    }
    return run(kGatheringConfigurationSet, socket, {Value(count), Value(types)}).code;
}

int GatheringStopAndSave(int socket) { return run(kGatheringStopAndSave, socket, {}).code; }

int PositionerSGammaParametersGet(int socket, const std::string& positioner, double& velocity, double& acceleration,
                                  double& minimumJerkTime, double& maximumJerkTime)
{
    const CallResult r = run(kSGammaGet, socket, {Value(positioner)});
    take(r, 0, velocity);
    take(r, 1, acceleration);
    take(r, 2, minimumJerkTime);
    take(r, 3, maximumJerkTime);
    return r.code;
}

int PositionerSGammaParametersSet(int socket, const std::string& positioner, double velocity, double acceleration,
                                  double minimumJerkTime, double maximumJerkTime)
{
    return run(kSGammaSet, socket,
               {Value(positioner), Value(velocity), Value(acceleration), Value(minimumJerkTime), Value(maximumJerkTime)})
        .code;
}

int Reboot(int socket) { return run(kReboot, socket, {}).code; }

int EventAdd(int socket, const std::array<std::string, 7>& parameters)
{
    Args a;
    for (const auto& p : parameters) a.emplace_back(p);
    return run(kEventAdd, socket, a).code;
}

int MultipleAxesPVTVerification(int socket, const std::string& group, const std::string& file)
{
    return run(kPVTVerification, socket, {Value(group), Value(file)}).code;
}

int MultipleAxesPVTVerificationResultGet(int socket, const std::string& group, std::string& file,
                                         double& minimumPosition, double& maximumPosition, double& maximumVelocity,
                                         double& maximumAcceleration)
{
    const CallResult r = run(kPVTVerificationResultGet, socket, {Value(group)});
    take(r, 0, file);
    take(r, 1, minimumPosition);
    take(r, 2, maximumPosition);
    take(r, 3, maximumVelocity);
    take(r, 4, maximumAcceleration);
    return r.code;
}

int MultipleAxesPVTExecution(int socket, const std::string& group, const std::string& file, int executionNumber)
{
    return run(kPVTExecution, socket, {Value(group), Value(file), Value(static_cast<long long>(executionNumber))}).code;
}

int PositionerHardwareStatusGet(int socket, const std::string& positioner, int& status)
{
    const CallResult r = run(kHardwareStatusGet, socket, {Value(positioner)});
    take(r, 0, status);
    return r.code;
}

int PositionerHardwareStatusStringGet(int socket, int status, std::string& text)
{
    int rc = 0;
    textOut(kHardwareStatusStringGet, socket, {Value(static_cast<long long>(status))}, text, rc);
    return rc;
}

int PositionerMotionDoneGet(int socket, const std::string& positioner, std::array<double, 5>& p)
{
    const CallResult r = run(kMotionDoneGet, socket, {Value(positioner)});
    takeAll(r, 0, std::span<double>(p));
    return r.code;
}

int PositionerMotionDoneSet(int socket, const std::string& positioner, const std::array<double, 5>& p)
{
    Args a{Value(positioner)};
    for (double d : p) a.emplace_back(d);
    return run(kMotionDoneSet, socket, a).code;
}

int HardwareInternalListGet(int socket, std::string& list)
{
    int rc = 0;
    textOut(kHardwareInternalListGet, socket, {}, list, rc);
    return rc;
}

int ObjectsListGet(int socket, std::string& list)
{
    int rc = 0;
    textOut(kObjectsListGet, socket, {}, list, rc);
    return rc;
}

int KillAll(int socket) { return run(kKillAll, socket, {}).code; }

int PositionerUserTravelLimitsGet(int socket, const std::string& positioner, double& minimum, double& maximum)
{
    const CallResult r = run(kUserTravelLimitsGet, socket, {Value(positioner)});
    take(r, 0, minimum);
    take(r, 1, maximum);
    return r.code;
}

int PositionerMaximumVelocityAndAccelerationGet(int socket, const std::string& positioner, double& velocity,
                                                double& acceleration)
{
    const CallResult r = run(kMaximumVelocityAndAccelerationGet, socket, {Value(positioner)});
    take(r, 0, velocity);
    take(r, 1, acceleration);
    return r.code;
}

}  // namespace mvx::api
