#pragma once
// The whole program in the test process, started against the controller simulator: every window
// created by the program's own start-up hooks and tied together as in the program, then the
// start-up connection. One program per process (ctest runs each test on its own).
#include "tests/support/kvxsim_fixture.h"

#include <QDialog>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mvx::test {

class WorkbenchProgram : public ::testing::Test {
public:
    // The one top-level window of that object name.
    static QWidget* window(const char* objectName);
    template <class T>
    static T* window(const char* objectName)
    {
        return dynamic_cast<T*>(window(objectName));
    }

protected:
    void TearDown() override;

    // Starts the simulator and the program; false (with a failure) when the program cannot
    // start a second time in this process.
    bool startProgram(KvxSimOptions options = {});
    // The start-up connection, as the program runs it after creating its windows.
    bool connect();

    KvxSim& sim() { return *mSim; }
    QWidget* mainWindow() const { return mMain; }

    // Runs `steps` as soon as a modal window named `objectName` is up (the trigger is what
    // opens it, and returns when it closed). False when it never showed within `ms`.
    static bool whileModal(const char* objectName, const std::function<void()>& trigger,
                           const std::function<void(QDialog*)>& steps, int ms = 20000);

    // As whileModal for every modal window that comes up while `trigger` runs: each named one
    // gets its steps (then is closed if still open), once per showing. Returns how many came.
    static int whileModals(const std::function<void()>& trigger,
                           const std::vector<std::pair<std::string, std::function<void(QDialog*)>>>& steps);

    // Messages the program showed, in order (the boxes answer `answer`).
    std::vector<std::string> messages;
    std::uint16_t answer = 1;  // MrOk
    // Texts the input query answers, in order; none left: it answers Cancel.
    std::vector<std::string> inputs;

private:
    std::unique_ptr<KvxSim> mSim;
    QWidget* mMain = nullptr;
    std::string mDir;
};

// Waits with events dispatched until `done` holds or `ms` pass.
bool WaitUntil(const std::function<bool()>& done, int ms = 5000);

}  // namespace mvx::test
