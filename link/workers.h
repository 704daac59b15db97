#pragma once
// Motion workers: continuous position reading, home search, absolute and relative moves.
// A creator fills the hand-over record, sets the running flag where there is one, starts the
// worker and waits (off the GUI thread) until the flag drops. Flags and results are atomics;
// the inputs are under the record's mutex. With common().Debug set, the body runs on the GUI
// thread and errors are shown; otherwise errors are silent.
// No exception leaves a worker. Started threads are joined by Controller::joinWorkers() or when the controller ends.

#include <array>
#include <atomic>
#include <mutex>
#include <string>

namespace mvx::link {

inline constexpr std::size_t kMaxThreadGroupName = 48;

// The workers, their records and the group they address (at most 48 characters) are the
// controller's: Controller::setThreadGroupName, positions(), startPositions(), joinWorkers(), ...

struct PositionsShared {
    std::array<std::atomic<double>, 8> CurrentPositions{};
    std::atomic<int> PositionReadCount{1};
    // The reading flag is common().PositionReadingOn.
};

struct HomingShared {
    std::mutex mutex;
    std::string HomingGroupName;  // group, or a positioner whose group is homed
    std::atomic<int> HomingRunning{0};
};

struct MoveAbsShared {
    std::mutex mutex;
    std::array<double, 8> Targets{};
    int TargetCount = 0;
    std::atomic<int> MoveAbsRunning{0};
    std::atomic<int> MoveAbsError{0};
};

struct MoveRelShared {
    std::mutex mutex;
    std::array<double, 8> Deltas{};
    int DeltaCount = 0;
};

// The group part of a homing name: a name holding "." is cut at the first "." and trimmed.
std::string HomingGroupOf(const std::string& name);

}  // namespace mvx::link
