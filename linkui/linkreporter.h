#pragma once
// The link's words for the user as the program's shared dialogs show them: message boxes, the
// timed box, Yes / No questions and the stay-on-top notice of the start-up connection; the GUI
// thread's waits for the link; and the reboot's progress on a progress bar. GUI thread only.

#include "link/controller.h"
#include "link/linktexts.h"
#include "link/reboot.h"

#include <functional>

class QProgressBar;

namespace mvx::linkui {

class DialogReporter : public link::Reporter {
public:
    // `unattended` (may be empty): while it says so, messages are not boxes but go to `quiet`
    // (the status panel, the log, standard error) and questions are answered No.
    DialogReporter(std::function<bool()> unattended = {}, std::function<void(const std::string&)> quiet = {});

    void message(const std::string& text) override;
    void timedMessage(const std::string& text, unsigned ms) override;
    bool ask(const std::string& question) override;
    void notice(const std::string& text) override;

private:
    bool unattended() const;

    std::function<bool()> mUnattended;
    std::function<void(const std::string&)> mQuiet;
};

// The link's services as the windows give them, installed for the object's life: the
// controller's words as the shared dialogs, the GUI thread's waits as live waits (RunInWorker).
// The controller must outlive it.
class LinkServices {
public:
    explicit LinkServices(link::Controller& controller, std::function<bool()> unattended = {},
                          std::function<void(const std::string&)> quiet = {});
    ~LinkServices();
    LinkServices(const LinkServices&) = delete;
    LinkServices& operator=(const LinkServices&) = delete;

private:
    link::Controller& mController;
    DialogReporter mReporter;
};

// The reboot's progress on `bar` (may be null: nothing shown).
link::RebootProgress BarProgress(QProgressBar* bar);

}  // namespace mvx::linkui
