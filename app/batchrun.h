#pragma once
// The batch run of the command line, carried out by the main window at its first activation.

#include "core/cmdline.h"

#include <string>

namespace mvx {

// The program's exit status after a batch run: 0 when every step did its work, else the code
// of the first step that failed; NoController when no step failed but the run had no usable
// controller (it ran in simulation, so nothing was uploaded or executed).
enum class BatchExit : int {
    Success = 0,
    AlreadyRunning = 1,  // another instance of the program runs (no batch at all)
    NoController = 2,
    ReadFailed = 3,
    ConvertFailed = 4,
    UploadFailed = 5,
    InitFailed = 6,
    ExecuteFailed = 7,
    NotLastFile = 8,  // no mode word, and the file is not the last one converted
};

// What the batch needs of the main window. Each job step reports failure by returning false
// (or throwing); the runner reports it and goes on with the next step.
class BatchJob {
public:
    virtual ~BatchJob() = default;
    virtual std::string gcodeFolder() const = 0;      // with a trailing "/"
    virtual std::string lastConvertedFile() const = 0;  // "TRAJECTORY"/"LAST" read at creation
    virtual bool simulation() const = 0;
    virtual void reduceLayout() = 0;
    virtual void selectMode(int mode) = 0;  // 1 SCT, 2 TCL, 3 direct
    virtual bool readFile(const std::string& path) = 0;
    // Conversion and upload; after a failure, uploadFailed() tells whether the upload failed.
    virtual bool convert() = 0;
    virtual bool uploadFailed() const = 0;
    virtual bool initialise() = 0;
    virtual bool execute() = 0;
    // Converting and executing do nothing without a G-code file read.
    virtual bool gcodeLoaded() const = 0;
    virtual bool batchMode() const = 0;
    // The status the program ends with, whenever it ends.
    virtual void setExitStatus(int status) = 0;
    virtual void closeProgram() = 0;
};

// Runs the batch steps once; a second call (a later activation) does nothing, because each run
// kills, homes and moves the machine.
class BatchRunner {
public:
    explicit BatchRunner(CommandLine cl) : mCl(std::move(cl)) {}
    void onActivated(BatchJob& job);
    bool hasRun() const noexcept { return mRan; }
    BatchExit exitStatus() const noexcept { return mExit; }
    const CommandLine& commandLine() const noexcept { return mCl; }

private:
    void fail(BatchExit code);

    CommandLine mCl;
    bool mRan = false;
    bool mRunning = false;
    BatchExit mExit = BatchExit::Success;
};

}  // namespace mvx
