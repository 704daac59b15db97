#pragma once
// The batch run of the command line, carried out by the main window at its first activation.

#include "cmdline.h"

#include <string>

namespace mvx {

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
    virtual bool convert() = 0;
    virtual bool initialise() = 0;
    virtual bool execute() = 0;
    virtual bool batchMode() const = 0;
    virtual void closeProgram() = 0;
};

// Runs the batch steps once; a second call (a later activation) does nothing, because each run
// kills, homes and moves the machine.
class BatchRunner {
public:
    explicit BatchRunner(CommandLine cl) : mCl(std::move(cl)) {}
    void onActivated(BatchJob& job);
    bool hasRun() const noexcept { return mRan; }
    const CommandLine& commandLine() const noexcept { return mCl; }

private:
    CommandLine mCl;
    bool mRan = false;
    bool mRunning = false;
};

}  // namespace mvx
