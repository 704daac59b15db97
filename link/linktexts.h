#pragma once
// Controller-side message texts of the link, and where the link's messages go.

#include <functional>
#include <string>

namespace mvx::link {

// Registers the link's built-in texts with the message table (once, at start-up).
void registerTexts();

// Message boxes of the link. The handler always runs on the GUI thread (messages from workers
// are posted there); without an application object it runs on the calling thread.
// No handler installed: the shared message box (ShowMsg), on the GUI thread.
void setMessageHandler(std::function<void(const std::string&)> handler);
void showMessage(const std::string& text);

// Lines for the maintenance console's log pane.
void setLogHandler(std::function<void(const std::string&)> handler);
void logLine(const std::string& text);

// The pool's state for the console's buttons: open, closed, or an opening that failed (then
// only "Deconnect." is offered). The handler runs on the thread that opens or closes the pool.
enum class PoolState { Closed, Open, Failed };
void setPoolStateHandler(std::function<void(PoolState state)> handler);
void poolStateChanged(PoolState state);
// The state last announced (Closed before any).
PoolState LastPoolState();

}  // namespace mvx::link
