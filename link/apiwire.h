#pragma once
// The controller API wire: one text request per line ("Name(args)" + LF CR) on a TCP connection
// to the API port, one comma-separated reply that ends with a field holding "API".
//
// Connections live in 33 slots (the pool's 32 and one spare). A slot is used by one caller at a
// time (the pool hands it out); open and close run on the thread that owns the pool.
// Waits never spin and never dispatch events: they block in poll(). So no call may be made on
// the thread of the windows: there an open, a request or a drain is refused (an assertion in a
// debug build) and fails at once. Windows call through RunOffGuiThread.

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace mvx::link {

inline constexpr int kSocketSlots = 33;
inline constexpr int kApiPort = 5001;
inline constexpr int kConnectTimeoutMs = 2000;

// Opens a connection in the lowest unused slot (bounded connect, about 2 s).
// Returns the slot index, or -1 when the connect failed or no slot is left.
int SocketOpen(const std::string& address, int port, double timeoutSeconds);
// Stores the reply time-out of an open slot; returns the index, or -1 when the slot is not open.
int SocketSetTimeout(int index, double timeoutSeconds);
// Closes the slot; returns 0, or -1 when the slot was not open.
int SocketClose(int index);
bool SocketIsOpen(int index);
double SocketTimeout(int index);
int OpenSocketCount();

// Request text as it goes on the wire.
std::string RequestBytes(std::string_view request);

// Sends one request and returns what arrived of its reply before the slot's time-out
// (empty when nothing came). Bytes left on the connection from an earlier call are discarded
// first. Sets the slot's reply-complete flag. A connection that the peer closed is reopened
// at the next request.
std::string SendCommand(int index, std::string_view request);

// A request was sent on the slot and its reply has not been read to its end yet.
bool RequestPending(int index);

// Reads the rest of a pending reply until "API" arrives, `limit` passes or `stop` is set.
// When it gives up, the connection is closed and opened again so no late bytes can reach the
// next caller. Returns true when the reply was read to its end.
bool DrainReply(int index, std::chrono::milliseconds limit, const std::atomic<bool>& stop);

// Error code at the head of a reply: the text before the first comma as a decimal integer;
// 1 when there is no comma or that text is not an integer (also for an empty reply).
int ReplyErrorCode(std::string_view reply);
// Field n (1-based) of a reply; past the last comma, the text after the last comma.
std::string ReplyField(std::string_view reply, int n);

// Number writers of the request text. Locale-free; "." is the separator.
std::string WriteF13(double v);  // fixed, 12 significant digits, 13 decimals
std::string WriteF6(double v);   // fixed, 12 significant digits, 6 decimals
std::string WriteF4(double v);   // fixed, 12 significant digits, 4 decimals
std::string WriteE13(double v);  // fixed, 15 significant digits, 13 decimals
std::string WriteG(double v);    // general, up to 15 significant digits, no trailing zeros

// True when called on the thread of the Qt application object.
bool OnGuiThread();
// True on the thread of a GUI application (one that has windows): no call there may block on
// the controller.
bool OnWindowThread();

// How the GUI thread waits for the link: the waiter runs `work` on a helper thread and returns
// when it has ended, letting the window's pending events run meanwhile. The window layer
// installs it once; without it the GUI thread waits without dispatching anything.
using LiveWaiter = std::function<void(const std::function<void()>& work)>;
void SetLiveWaiter(LiveWaiter waiter);
// Runs `work` off the GUI thread: on the GUI thread through the live waiter (or a helper thread
// that is joined), elsewhere directly. False when `work` threw.
bool RunOffGuiThread(const std::function<void()>& work);
// Waits `ms` milliseconds: on the GUI thread through RunOffGuiThread, elsewhere by sleeping.
void WaitWithEvents(int ms);

}  // namespace mvx::link
