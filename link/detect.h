#pragma once
// Model detection on the API port and the presence check. Detection asks the controller for its
// firmware version and classifies the reply; the presence check tells whether the controller
// answers at an address by one of seven methods (common().DetectionMode).
//
// GUI thread. Network waits run off it (RunOffGuiThread: the windows stay live); every connect
// and every read is bounded (2 s).

#include <functional>
#include <string>

namespace mvx::link {

inline constexpr int kDetectTimeoutMs = 2000;
inline constexpr const char* kFirmwareRequest = "FirmwareVersionGet(char*)";
inline constexpr const char* kFixedAddress = "192.168.254.254";

// What a firmware reply says: the model (5 when it names no KVX) and, for a Q controller, whether
// its firmware number is above 30038 (gathering files in Public/Gathering).
struct FirmwareClass {
    int model = 5;
    bool gatheringFolder = false;
};
FirmwareClass ClassifyFirmwareReply(const std::string& reply);

// Items of the dialog's "Controller Type " radio group, in order.
struct ControllerTypeItem {
    const char* caption;
    int model;
    const char* stored;  // text under "KVX"/"TYPE"
};
inline constexpr ControllerTypeItem kControllerTypeItems[6] = {
    {"KVX-C", 0, "C"}, {"KVX-Q", 1, "Q"}, {"KVX-RL", 3, "RL"},
    {"KVX-D", 2, "D"}, {"Simulation", 5, "Simul"}, {"KVX-RL-D", 4, "RLD"},
};
int ControllerTypeItemForModel(int model);
// The model of a stored "KVX"/"TYPE" text; -1 for any other text.
int ModelForStoredType(const std::string& text);

// Captions of the presence-check methods, by mode.
inline constexpr const char* kDetectionMethodCaptions[7] = {"Never", "Allways", "Ping", "FTP",
                                                            "TELNET", "Port 5001", "Port 80"};

// State of the connection dialog TFconnect_KVX_GB and of the hidden TF_TCP_UTILS window.
struct ConnectionState {
    int RadioItem = -1;                 // selected controller type item, -1 none
    bool HideDialog = false;            // "Do not show this window again"
    int ConnectionDialogResult = 0;     // 0 typed address, 1 fixed address, 2 simulation, 3 quit
    bool QuitRequested = false;
    bool NoDialogs = false;             // unattended run: detection never shows the dialog
    int RebootWaitMs = 12000;
    bool PingLogOn = true;
    bool PresenceFlag = false;
    std::string PingTarget;
    std::string DialogAddress;          // the dialog's address edit
};
ConnectionState& connectionState();

// Detection acts on a controller's connection state (Controller::loadConnectionSettings reads
// "MAIN"/"HIDE FCONNECT" and "KVX"/"TYPE" once when the dialog is made; selectControllerType
// selects a radio item as the radio group's click does, the model following it and its text
// written under "KVX"/"TYPE"; detectControllerType asks the API port of common().ControllerIp,
// classifies the reply, selects the item and shows the dialog unless hidden, true when a KVX
// model was found; present is the presence check by common().DetectionMode, `timeoutMs`
// bounding the ICMP echo).

// The text of the menu item "KVX present ?" for a result.
std::string PresenceReportText(bool present);

// One ICMP echo. Unprivileged ICMP socket where the system allows it, else a raw socket (root).
enum class EchoResult { Reply, OtherSender, NoReply, Unavailable };
EchoResult IcmpEcho(const std::string& address, int timeoutMs);

// A TCP connection to address:port within `timeoutMs`; true when it was accepted.
bool TcpPortOpen(const std::string& address, int port, int timeoutMs);

// Sends the firmware request to address:5001 and returns what arrived (up to "API" or the
// bound). nullopt-like: `connected` false when the connection was refused or timed out.
std::string QueryFirmware(const std::string& address, bool& connected, int timeoutMs = kDetectTimeoutMs);

}  // namespace mvx::link
