#include "batchrun.h"

#include "dialogs.h"
#include "translator/texts.h"

namespace mvx {
namespace {

template <typename F>
bool runGuarded(F&& step)
{
    try {
        return step();
    } catch (...) {
        return false;
    }
}

}  // namespace

void BatchRunner::fail(BatchExit code)
{
    if (mExit == BatchExit::Success) mExit = code;
}

void BatchRunner::onActivated(BatchJob& job)
{
    if (!mCl.HasArguments || mRan || mRunning) return;
    mRunning = true;
    mRan = true;
    std::string file = mCl.CommandFile;
    if (file.find('/') == std::string::npos) file = job.gcodeFolder() + file;

    if (mCl.CommandMode == 0 && !mCl.CommandFile.empty() && file != job.lastConvertedFile()) {
        ShowMsg("Le dernier GCode converti n'était pas " + file);
        mExit = BatchExit::NotLastFile;
        job.setExitStatus(static_cast<int>(mExit));
        mRunning = false;
        job.closeProgram();
        return;
    }
    if (mCl.QuietMode) job.reduceLayout();
    const std::string notExecuted = texts::get("StringImpossibledexecuter") + " " + file;
    if (mCl.CommandMode != 0) {
        job.selectMode(mCl.CommandMode);
        if (!runGuarded([&] { return job.readFile(file); })) {
            ShowMsg(texts::get("StringImpossibledecharger") + " " + file);
            fail(BatchExit::ReadFailed);
        }
        // Without a file read, converting and executing have nothing to do.
        if (job.gcodeLoaded() && !runGuarded([&] { return job.convert(); })) {
            ShowMsg(texts::get("StringImpossibledecomvertir") + " " + file);
            fail(job.uploadFailed() ? BatchExit::UploadFailed : BatchExit::ConvertFailed);
        }
        if (!runGuarded([&] { return job.initialise(); })) {
            ShowMsg(notExecuted);
            fail(BatchExit::InitFailed);
        } else if (mCl.CommandMode != 3 && job.gcodeLoaded() && !runGuarded([&] { return job.execute(); })) {
            ShowMsg(notExecuted);
            fail(BatchExit::ExecuteFailed);
        } else if (mExit == BatchExit::Success && !mCl.QuietMode && !job.simulation() && job.batchMode()) {
            ShowMsg(texts::get("Stringgraved") + " " + file);
        }
    } else {
        // The last file converted is already on the controller: only the initialisation acts,
        // since no file is read on this road, and nothing is shown when it succeeds.
        if (!runGuarded([&] { return job.initialise(); })) {
            ShowMsg(notExecuted);
            fail(BatchExit::InitFailed);
        } else if (job.gcodeLoaded() && !runGuarded([&] { return job.execute(); })) {
            ShowMsg(notExecuted);
            fail(BatchExit::ExecuteFailed);
        }
    }
    if (job.simulation()) fail(BatchExit::NoController);
    job.setExitStatus(static_cast<int>(mExit));
    mRunning = false;
    if (mCl.CloseAfterBatch) job.closeProgram();
}

}  // namespace mvx
