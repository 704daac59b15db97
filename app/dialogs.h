#pragma once
// Shared dialogs and waits. Everything here runs on the GUI thread; the waits dispatch events,
// so handlers must expect to be re-entered while a wait is running.

#include <cstdint>
#include <functional>
#include <string>

class QWidget;

namespace mvx {

// Button mask bits and the result codes of the message box.
enum MsgButton : std::uint16_t {
    MbYes = 1, MbNo = 2, MbOk = 4, MbCancel = 8, MbNone = 16, MbRetry = 32, MbIgnore = 64, MbAll = 128
};
enum MsgResult : std::uint16_t {
    MrOk = 1, MrCancel = 3, MrRetry = 4, MrIgnore = 5, MrYes = 6, MrNo = 7, MrAll = 8
};

// Every call shows its own modal box, so a nested call never returns a stale answer.
// "§" is a line break. An empty text returns 1 at once.
std::uint16_t MsgDialog(const std::string& text, int kind, std::uint16_t mask, int helpContext = 0);
void ShowMsg(const std::string& text);
// Not modal: returns 1 by itself after `timeoutMs` (0: waits for a button).
std::uint16_t MsgDialogTimed(const std::string& text, int kind, std::uint16_t mask, unsigned timeoutMs,
                             int helpContext = 0);
void MsgDialogTimedOk(const std::string& text, unsigned timeoutMs);
// The edited text is handed back in `value` whether accepted or not.
bool InputQueryDialog(const std::string& caption, const std::string& prompt, std::string& value);

// The message box and the input query are built anew for each call (a nested call never gets a
// stale answer); their captions come from two hidden windows, "Fdialogmsg" and "Fquery", that
// the controller-side language files translate. Creates and registers them once.
void RegisterSharedDialogWindows();

// The stay-on-top notice (no wait). Empty text hides it.
void ShowNotice(const std::string& text);

// Tests and unattended runs replace the interactive boxes: the handler gets the text (with "§"
// already turned into line breaks) and the mask, and returns the button's result code.
using MessageBoxHandler = std::function<std::uint16_t(const std::string& text, std::uint16_t mask)>;
void SetMessageBoxHandler(MessageBoxHandler handler);
using InputQueryHandler = std::function<bool(const std::string& caption, const std::string& prompt, std::string& value)>;
void SetInputQueryHandler(InputQueryHandler handler);

// Waits `ms` while dispatching events (no CPU spin); from a non-GUI thread it just sleeps.
void WaitWithMessages(unsigned ms);
// Waits without dispatching events (sleeps; never spins).
void BusyWait(unsigned ms);
// Dispatches the events that are pending now.
void PumpMessage();
// Runs a command line (program and arguments split on blanks, quotes respected) and waits for
// it while dispatching events; its exit code, -1 when it could not be started.
int RunProgramAndWait(const std::string& commandLine, int showWindow = 1);
// Opens a document with its associated program; failures are ignored.
void OpenDocument(const std::string& path);

// Window-position rule: restores "top"/"left" (and "height"/"width" when `resizable`) from the
// settings section named after the window's objectName when it is shown, and writes them back
// when it hides. With one screen, a negative value becomes 0 and one beyond the screen half of it.
// A window registered twice keeps its first registration.
void RememberWindowPosition(QWidget* window, bool resizable);
// The rule itself, for one coordinate.
int FitToSingleScreen(int value, int screenExtent);

}  // namespace mvx
