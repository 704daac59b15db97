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

// Lines for the maintenance console's log pane, and the pool's open/closed state for its buttons.
void setLogHandler(std::function<void(const std::string&)> handler);
void logLine(const std::string& text);
void setPoolStateHandler(std::function<void(bool open)> handler);
void poolStateChanged(bool open);

}  // namespace mvx::link
