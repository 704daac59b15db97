#pragma once
// Controller-side message texts of the link, and where the link's messages go.

#include <functional>
#include <string>

namespace mvx::link {

// Registers the link's built-in texts with the message table (once, at start-up).
void registerTexts();

// Where the link's words for the user go: the program's windows put up boxes, an unattended run
// writes them where nobody has to answer. The link itself shows nothing. Every call comes on the
// GUI thread (what a worker says is posted there); without an application object it comes on
// the calling thread.
class Reporter {
public:
    virtual ~Reporter() = default;
    // A message the user reads and closes.
    virtual void message(const std::string& text) = 0;
    // A message that closes by itself after `ms`.
    virtual void timedMessage(const std::string& text, unsigned ms) = 0;
    // A Yes / No question; true for Yes.
    virtual bool ask(const std::string& question) = 0;
    // The stay-on-top notice while the link connects; an empty text takes it away.
    virtual void notice(const std::string& text) = 0;
};
// The current controller's reporter (Controller::setReporter) says these; without one, messages
// and notices go to the log and questions are answered No.
void showMessage(const std::string& text);
void showTimedMessage(const std::string& text, unsigned ms);
bool askUser(const std::string& question);
void showNotice(const std::string& text);

// A line for the maintenance console's log pane (Controller::setLogHandler).
void logLine(const std::string& text);

// The pool's state for the console's buttons: open, closed, or an opening that failed (then
// only "Deconnect." is offered). The handler (Controller::setPoolStateHandler) runs on the
// thread that opens or closes the pool.
enum class PoolState { Closed, Open, Failed };

}  // namespace mvx::link
