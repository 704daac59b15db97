#pragma once
// The start-up connection: model detection, the connection dialog when detection fails or the
// Ctrl key is held, the file-transfer session with the configuration download, the API table,
// the 32 API connections and a presence check. When any of it fails the program runs in
// simulation. Runs once, on the GUI thread, before the message loop.

#include <cstdint>
#include <functional>
#include <string>


namespace mvx::link {

class Controller;

struct StartupOptions {
    // Unattended run ("/H"): no modal dialog ever; a failed detection continues in simulation
    // and says why on standard error.
    bool quiet = false;
    // The Ctrl key test (the program reads the keyboard); none: not held.
    std::function<bool()> ctrlHeld;
};

// True when the controller is usable (common().ControllerUsable). connectionState().QuitRequested
// tells the caller that the user chose to end the program.
bool StartupConnection(const StartupOptions& options = {});

// "a.b.c.d" (blanks removed first) as a 32-bit address, a in the lowest byte; 0 when not an address.
std::uint32_t IpTextToAddress(const std::string& dotted);
// Physical address of `address` in the system's ARP table (/proc/net/arp): the first row with
// that address and a non-zero physical address.
bool MacForIpAddress(const std::string& address, unsigned char mac[6]);
// The same on the text of an ARP table (its header line first).
bool MacForIpAddressIn(const std::string& arpTable, const std::string& address, unsigned char mac[6]);

// Sets common().AnalogConnectorName from the controller's object list ("GPIO2.ADC1" gives
// "GPIO2"); keeps it when no connection is given or the list names no ADC1.
void FindAnalogInputConnector(Controller& controller);
// The connector name of the first "<connector>.ADC1" of an object list; empty when none.
std::string AnalogConnectorFromList(const std::string& list);

// Physical address of the network interface at `index`, "00-00-00-00-00-00" when none.
std::string LocalMacAddress(int index);
// Six bytes as "00-1a-2b-3c-4d-5e".
std::string FormatMacAddress(const unsigned char bytes[6]);

}  // namespace mvx::link
