#pragma once
// What the remote-control server and the 3D view need of the main window, as interfaces, so
// that they are written and tested without the whole window.
//
// Thread: everything here is called on the GUI thread only. A job operation (read, create,
// execute, verify, draw) returns only when the job step has ended; it dispatches window events
// while it waits, so the caller must expect to be re-entered (a second command, STOP).

#include "translator/observer.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace mvx {

namespace view3d {
struct SkeletonNodes;
class SkeletonBuilder;
}
namespace sct {
class Ttraject;
}

// The job road as the remote-control server drives it. Every operation runs in batch fashion
// (no dialogs) and returns false when it is refused because its button or menu item is
// disabled (or the window is in the wrong state), or when the step failed; true when done.
class JobControl {
public:
    virtual ~JobControl() = default;

    // "Init" menu command (disabled in simulation).
    virtual bool JobInit() = 0;
    // Extended / reduced layout ("Extend" / "Reduce" menu items must be enabled).
    virtual bool JobExtend() = 0;
    virtual bool JobReduce() = 0;
    // Shows the hidden main window / hides the visible one.
    virtual bool JobShow() = 0;
    virtual bool JobHide() = 0;
    // Loads `fileName` (a bare name, blanks and line breaks already removed by the caller) from
    // the G-code folder, found without regard to case, lines as they stand (no normalisation).
    // False when the read button is disabled or the file cannot be read.
    virtual bool JobRead(const std::string& fileName) = 0;
    // Read, then convert when the create button is enabled, then execute when the execute
    // button is then enabled; true only when all three happened.
    virtual bool JobDraw(const std::string& fileName) = 0;
    // The create / execute / verify buttons, without a sender.
    virtual bool JobCreate() = 0;
    virtual bool JobExecute() = 0;
    virtual bool JobVerify() = 0;
    // 1 SCT, 2 TCL, 3 direct. The direct mode in simulation selects SCT and returns false;
    // any other number returns false and changes nothing.
    virtual bool JobMode(int mode) = 0;
    // Makes the "Show 3D" page the current page; false when it cannot be (tab hidden).
    virtual bool JobShow3D() = 0;
    // The STOP button (false when it is disabled).
    virtual bool JobStop() = 0;
    // Status panel 4 (server events: "Connected to ...", "Disconnected", ...). Kept empty in
    // quiet mode.
    virtual void JobStatusText(const std::string& text) = 0;
};

// What the main window asks of the 3D view on the "Show 3D" page (TabSheet3D). The view
// widget implements it; the main window calls it only on the GUI thread.
class JobView3D {
public:
    virtual ~JobView3D() = default;

    // Read: clears the executed path, the SCT drawing and the skeletons.
    virtual void ClearJobDrawings() = 0;
    // A finished conversion: the whole job path in conversion order (one call per conversion;
    // `segments` may hold a million pieces). `start` is where the path begins (the origin in
    // simulation).
    virtual void SetJobPath(const std::vector<PathSegment>& segments, const std::array<double, 3>& start) = 0;
    // The same in two steps, so that the pieces cost the window's thread nothing and are never
    // kept: a builder fed piece by piece by the conversion on its thread (null: this view has no
    // such step, SetJobPath then), its skeleton then shown on the GUI thread. `expectedPieces`:
    // about how many pieces are coming.
    virtual std::shared_ptr<view3d::SkeletonBuilder> MakeJobSkeletonBuilder(const std::array<double, 3>& start,
                                                                            std::size_t expectedPieces) const
    {
        (void)start;
        (void)expectedPieces;
        return nullptr;
    }
    virtual void ShowJobSkeleton(std::shared_ptr<view3d::SkeletonNodes> nodes) { (void)nodes; }
    // Execution follow-up: one executed point (tool active or not).
    virtual void AddExecutedPoint(const std::array<double, 3>& point, bool toolActive) = 0;
    // The executed path emptied (`clear`), or cut to its last two points.
    virtual void TrimExecutedPath(bool clear) = 0;
    // The SCT drawing: every element of `list` from `start` (the position last read), the
    // list's current element highlighted; EraseSct clears the elements' nodes; ClearSct drops
    // the drawing of a list that no longer exists.
    virtual void DrawSct(const sct::Ttraject& list, const std::array<double, 3>& start) = 0;
    virtual void EraseSct() = 0;
    virtual void ClearSct() = 0;
    // "center on current position" and "center on (X,Y,Z)" need a controller.
    virtual void SetCentreCommandsVisible(bool visible) = 0;
    // The tool cone at the last read position; shown only while a job runs.
    virtual void SetToolPosition(const std::array<double, 3>& point, bool visible) = 0;
    // After a language change or an "NB DIGIT" change (the legend's size text).
    virtual void RefreshLegend() = 0;
};

}  // namespace mvx
