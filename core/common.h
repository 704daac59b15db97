#pragma once
// Shared globals of the whole program, with their built-in defaults. The GUI thread owns the
// texts; flags and numbers that worker threads read or write are atomics.

#include <array>
#include <atomic>
#include <mutex>
#include <string>

namespace mvx {

class IniFile;

// Controller model codes (detected) and configured models.
enum ControllerModelCode : int { ModelC = 0, ModelQ = 1, ModelD = 2, ModelRL = 3, ModelRLD = 4, ModelNone = 5 };
// Transfer modes.
enum TransferModeCode : int { TransferFtp = 0, TransferSftp = 1, TransferLocal = 2, TransferNone = 3 };

constexpr int kPoolSize = 32;

struct CommonGlobals {
    std::atomic<int> MaxDelayMs{1200000};
    std::string FtpUser{"Supervisorium"};
    std::string FtpPassword{"Supervisorium"};
    std::string AdminFolderName{"ADMIN/"};
    std::string TclPcDir{"TCLPC/"};
    std::string ControllerIp{"192.168.254.254"};
    std::string CurrentScriptName;
    std::atomic<int> DetectionMode{5};
    std::atomic<double> MinSocketTimeout{1.0};
    std::string RemotePublicDir{"/Public"};
    std::string RemoteConfigDir{"/Config"};
    std::string RemoteGatheringDir{"/Public"};
    std::string RemoteScriptsDir{"/Public/Scripts"};
    std::string RemoteTrajectoriesDir{"/Public/Trajectories"};
    std::string RemoteLogDir{"/Public/Log"};
    char RemotePathSeparator{'/'};
    std::string ProgramDir;  // executable's folder, with a trailing "/"
    std::atomic<int> NoControllerApi{1};
    std::atomic<int> PositionReadingOn{0};
    std::atomic<int> StopRequested{0};
    std::atomic<int> LanguageIndex{1};
    std::atomic<double> RebootDelay{70.0};
    std::atomic<int> ExtraTimeoutMs{0};
    std::string AnalogConnectorName{"GPIO2"};
    std::string GatheringModelFile{"gathering.dat"};
    std::atomic<int> TransferConnected{0};
    std::atomic<int> TelnetOpen{0};
    std::atomic<int> ControllerUsable{0};
    std::atomic<int> TransferMode{TransferNone};
    std::string SftpRoot{"/mnt/user/Public"};
    std::string LocalDiskDrive{"Z:"};
    std::atomic<int> ControllerModel{ModelNone};
    std::atomic<int> ConfiguredModel{ModelNone};
    // The checked state of the main window's "Debug" item: workers run on the GUI thread.
    std::atomic<bool> Debug{false};
    std::array<std::atomic<int>, kPoolSize> SocketFlags{};
};

CommonGlobals& common();

inline int GetControllerModel() { return common().ControllerModel.load(); }
inline void SetControllerModel(int m) { common().ControllerModel.store(m); }
inline int GetConfiguredModel() { return common().ConfiguredModel.load(); }
inline void SetConfiguredModel(int m) { common().ConfiguredModel.store(m); }
int GetSocketFlag(int index);
void SetSocketFlag(int index, int value);

// The settings file (the executable's name with ".INI" in its folder); null before InitCommonGlobals.
IniFile* SettingsIni();
std::string SettingsFilePath();

// Sets ProgramDir from the executable's folder, opens the settings file and reads "MAIN"/"DISK KVX".
// `programDir` empty: the folder of the running executable.
void InitCommonGlobals(const std::string& programDir = {}, const std::string& exeName = {});

// Executable's file name without folder (with extension, if any).
std::string ExecutableName();

}  // namespace mvx
