#include "linkreporter.h"

#include "app/dialogs.h"
#include "app/livewait.h"
#include "link/apiwire.h"

#include <QPointer>
#include <QProgressBar>

namespace mvx::linkui {

DialogReporter::DialogReporter(std::function<bool()> unattended, std::function<void(const std::string&)> quiet)
    : mUnattended(std::move(unattended)), mQuiet(std::move(quiet))
{
}

bool DialogReporter::unattended() const { return mUnattended && mUnattended(); }

void DialogReporter::message(const std::string& text)
{
    if (unattended() && mQuiet) mQuiet(text);
    else if (!unattended()) ShowMsg(text);
}

void DialogReporter::timedMessage(const std::string& text, unsigned ms)
{
    if (unattended() && mQuiet) mQuiet(text);
    else if (!unattended()) MsgDialogTimedOk(text, ms);
}

bool DialogReporter::ask(const std::string& question)
{
    // Nobody is there to answer: the careful answer.
    if (unattended()) {
        if (mQuiet) mQuiet(question);
        return false;
    }
    return MsgDialog(question, 0, MbYes | MbNo) == MrYes;
}

void DialogReporter::notice(const std::string& text) { ShowNotice(text); }

LinkServices::LinkServices(link::Controller& controller, std::function<bool()> unattended,
                           std::function<void(const std::string&)> quiet)
    : mController(controller), mReporter(std::move(unattended), std::move(quiet))
{
    mController.setReporter(&mReporter);
    link::SetLiveWaiter([](const std::function<void()>& work) { RunInWorker(work, {}, 100); });
}

LinkServices::~LinkServices()
{
    link::SetLiveWaiter({});
    mController.setReporter(nullptr);
}

link::RebootProgress BarProgress(QProgressBar* bar)
{
    link::RebootProgress p;
    if (!bar) return p;
    QPointer<QProgressBar> guard(bar);
    p.show = [guard](bool visible) {
        if (!guard) return;
        if (visible) guard->setValue(0);
        guard->setVisible(visible);
    };
    p.set = [guard](int percent) {
        if (!guard) return;
        guard->setValue(percent);
        guard->repaint();
    };
    return p;
}

}  // namespace mvx::linkui
