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

void BatchRunner::onActivated(BatchJob& job)
{
    if (!mCl.HasArguments || mRan || mRunning) return;
    mRunning = true;
    mRan = true;
    std::string file = mCl.CommandFile;
    if (file.find('/') == std::string::npos) file = job.gcodeFolder() + file;

    if (mCl.CommandMode == 0 && !mCl.CommandFile.empty() && file != job.lastConvertedFile()) {
        ShowMsg("Le dernier GCode converti n'était pas " + file);
        mRunning = false;
        job.closeProgram();
        return;
    }
    if (mCl.QuietMode) job.reduceLayout();
    if (mCl.CommandMode != 0) {
        job.selectMode(mCl.CommandMode);
        if (!runGuarded([&] { return job.readFile(file); }))
            ShowMsg(texts::get("StringImpossibledecharger") + " " + file);
        if (!runGuarded([&] { return job.convert(); }))
            ShowMsg(texts::get("StringImpossibledecomvertir") + " " + file);
        const bool executed = runGuarded([&] {
            if (!job.initialise()) return false;
            if (mCl.CommandMode != 3 && !job.execute()) return false;
            return true;
        });
        if (!executed) ShowMsg(texts::get("StringImpossibledexecuter") + " " + file);
        else if (!mCl.QuietMode && !job.simulation() && job.batchMode())
            ShowMsg(texts::get("Stringgraved") + " " + file);
    } else {
        if (!runGuarded([&] { return job.initialise() && job.execute(); }))
            ShowMsg(texts::get("StringImpossibledexecuter") + " " + file);
    }
    mRunning = false;
    if (mCl.CloseAfterBatch) job.closeProgram();
}

}  // namespace mvx
