#pragma once
// Typed entry points of the controller API that the program calls. Each takes a pooled
// connection index first and returns the error code: 0 success, -2 no reply, 1 a reply head that
// is not a number, kErrorBadInput (nothing sent) for an argument that would change the request,
// otherwise the controller's code. Outputs are written only as the function's rules say
// (mostly on code 0); otherwise they keep their values.
// Getters with strict number fields throw ConversionError when such a field is not a number.

#include "apitable.h"

#include <array>
#include <span>
#include <string>

namespace mvx::api {

std::string LibraryVersionGet();
int ErrorStringGet(int socket, int code, std::string& text);
int FirmwareVersionGet(int socket, std::string& version);
int TCLScriptExecute(int socket, const std::string& file, const std::string& task, const std::string& args);
int TCLScriptExecuteAndWait(int socket, const std::string& file, const std::string& task, const std::string& args,
                            std::string& answer);
int TCLScriptKill(int socket, const std::string& task);

int GroupPositionCurrentGet(int socket, const std::string& group, std::span<double> positions);
int GroupHomeSearch(int socket, const std::string& group);
int GroupInitialize(int socket, const std::string& group);
int GroupJogParametersSet(int socket, const std::string& group, std::span<const double> velocities,
                          std::span<const double> accelerations);
int GroupJogModeEnable(int socket, const std::string& group);
int GroupJogModeDisable(int socket, const std::string& group);
int GroupKill(int socket, const std::string& group);
int GroupMoveAbsolute(int socket, const std::string& group, std::span<const double> targets);
int GroupMoveRelative(int socket, const std::string& group, std::span<const double> deltas);
int GroupMotionDisable(int socket, const std::string& group);
int GroupMotionEnable(int socket, const std::string& group);
int GroupStatusStringGet(int socket, int status, std::string& text);
int GroupStatusGet(int socket, const std::string& group, int& status);

int GlobalArrayGet(int socket, int number, std::string& value);
int GlobalArraySet(int socket, int number, const std::string& value);
int DoubleGlobalArrayGet(int socket, int number, double& value);
int DoubleGlobalArraySet(int socket, int number, double value);

// `names`: analog names separated by ";", one value per name.
int GPIOAnalogGet(int socket, const std::string& names, std::span<double> values);
int GPIOAnalogSet(int socket, const std::string& names, std::span<const double> values);
int GPIOAnalogGainGet(int socket, const std::string& names, std::span<int> values);
int GPIOAnalogGainSet(int socket, const std::string& names, std::span<const int> values);
int GPIODigitalGet(int socket, const std::string& name, int& value);
int GPIODigitalSet(int socket, const std::string& name, unsigned mask, unsigned value);

int PositionerCorrectorPIDFFAccelerationSet(int socket, const std::string& positioner, bool closedLoop,
                                            const std::array<double, 11>& p);
int PositionerCorrectorPIDFFAccelerationGet(int socket, const std::string& positioner, bool& closedLoop,
                                            std::array<double, 11>& p);
int PositionerCorrectorPIDFFVelocitySet(int socket, const std::string& positioner, bool closedLoop,
                                        const std::array<double, 11>& p);
int PositionerCorrectorPIDFFVelocityGet(int socket, const std::string& positioner, bool& closedLoop,
                                        std::array<double, 11>& p);
int PositionerCorrectorPIDDualFFVoltageSet(int socket, const std::string& positioner, bool closedLoop,
                                           const std::array<double, 13>& p);
int PositionerCorrectorPIDDualFFVoltageGet(int socket, const std::string& positioner, bool& closedLoop,
                                           std::array<double, 13>& p);
int PositionerCorrectorPIPositionSet(int socket, const std::string& positioner, bool closedLoop,
                                     const std::array<double, 3>& p);
int PositionerCorrectorPIPositionGet(int socket, const std::string& positioner, bool& closedLoop,
                                     std::array<double, 3>& p);
int PositionerCorrectorTypeGet(int socket, const std::string& positioner, std::string& type);

// `types`: data type names separated by blanks.
int GatheringConfigurationSet(int socket, const std::string& types);
int GatheringStopAndSave(int socket);

int PositionerSGammaParametersGet(int socket, const std::string& positioner, double& velocity, double& acceleration,
                                  double& minimumJerkTime, double& maximumJerkTime);
int PositionerSGammaParametersSet(int socket, const std::string& positioner, double velocity, double acceleration,
                                  double minimumJerkTime, double maximumJerkTime);
int Reboot(int socket);
int EventAdd(int socket, const std::array<std::string, 7>& parameters);

int MultipleAxesPVTVerification(int socket, const std::string& group, const std::string& file);
int MultipleAxesPVTVerificationResultGet(int socket, const std::string& group, std::string& file,
                                         double& minimumPosition, double& maximumPosition, double& maximumVelocity,
                                         double& maximumAcceleration);
int MultipleAxesPVTExecution(int socket, const std::string& group, const std::string& file, int executionNumber);

int PositionerHardwareStatusGet(int socket, const std::string& positioner, int& status);
int PositionerHardwareStatusStringGet(int socket, int status, std::string& text);
int PositionerMotionDoneGet(int socket, const std::string& positioner, std::array<double, 5>& p);
int PositionerMotionDoneSet(int socket, const std::string& positioner, const std::array<double, 5>& p);
int HardwareInternalListGet(int socket, std::string& list);
int ObjectsListGet(int socket, std::string& list);
int KillAll(int socket);
int PositionerUserTravelLimitsGet(int socket, const std::string& positioner, double& minimum, double& maximum);
int PositionerMaximumVelocityAndAccelerationGet(int socket, const std::string& positioner, double& velocity,
                                                double& acceleration);

}  // namespace mvx::api
