#pragma once
// Reboot of the controller from the program: the controller is told to restart, the program
// waits, showing its progress, until it answers again, restores the connections that were open,
// keeps how long it took (settings "REBOOT"/"DELAY") and shows the last line of "Error.log".
// GUI thread only; every wait goes off it (RunOffGuiThread), so the windows stay live.

#include <functional>
#include <string>


namespace mvx::link {

enum class RebootResult {
    Rebooted,    // the controller came back
    NoSocket,    // no free API connection: nothing was sent
    PoolFailed,  // the API pool could not be opened: nothing was sent
    Refused,     // the controller answered the reboot with an error
    NotBack,     // not back within 120 s
};

// What the reboot shows while it waits (a progress bar); either member may be empty.
struct RebootProgress {
    std::function<void(bool visible)> show;  // shown from 0, or taken away
    std::function<void(int percent)> set;    // 0..100
};
// Controller::reboot runs it.

// Bar position for `elapsedMs` on a reboot expected to last `delaySeconds`, clipped to 0..100.
int RebootBarPosition(long long elapsedMs, double delaySeconds);

// The text shown for a fetched "Error.log": "ERROR : §" + its last line, or "" when the file is
// empty or its last line holds only blanks.
std::string ErrorLogMessage(const std::string& content);

void registerRebootTexts();

}  // namespace mvx::link
