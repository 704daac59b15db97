#pragma once
// The road of one job: read, line edits, convert and upload, init, execute, stop, verify, with
// the state they share. The main window's buttons, the command-line batch and the remote-control
// server all drive this one object; it shows what it does through JobView and touches no widget.
//
// A handler called with a sender (a button or a menu item) may open dialogs; without one (the
// batch, remote control) it runs in batch fashion: failures go to the status bar, the log and
// standard error, never to a box.
//
// Thread: GUI thread only, except reportFromWorker and the flags the direct execution reads.
// Long steps run on a worker thread while the window stays live (JobView::JobRunLive), so a
// handler may be entered again during such a wait: a second job step is then refused at once.

#include "app/batchrun.h"
#include "jobcontrol.h"
#include "link/directexec.h"
#include "mainsettings.h"
#include "translator/gcodelines.h"
#include "translator/machineconfig.h"
#include "translator/tclelements.h"

#include <QObject>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mvx {

class GCodeListModel;
class JobLink;
struct JobConversionInput;
struct JobConversionOutput;
class PositionPoll;
namespace sct {
class Ttraject;
}

// The buttons and menu items whose enabled state is the road's (object names in comments).
enum class JobItem {
    Read,         // BitBtnReadGcode
    Save,         // BitBtn1
    Create,       // BitBtnCreateKVXFile
    Execute,      // BitBtnExecuteKVX
    Verify,       // BitBtnVerifyPVT
    Stop,         // BitBtn7
    ExecuteLine,  // BitBtnExecuteline
    LineEdit,     // BitBtn8 .. BitBtn11
    Next,         // BitBtnNext
    Abort,        // BitBtnAbort
    PrintGcode,   // printGcode1
    PrintTcl,     // printTCL1
    SaveAll,      // Enregistertout1
    Init,         // Init1
};
inline constexpr int kJobItemCount = 14;

// The pages of the window the road shows or asks about.
enum class JobPage { Gcode, Tcl, Pvt, Sct, View3D, Other };
// The text views the road fills.
enum class JobTextView { Tcl, Pvt, Sct };
// Window commands of remote control: they change the window only.
enum class JobWindowCommand { Extend, Reduce, Show, Hide, Show3D };

// A text for one view, made on the GUI thread (JobView::JobPrepareText), filled by one worker
// (Append, from the first byte to the last), then shown on the GUI thread
// (JobView::JobShowPrepared): a large script never passes through the GUI thread.
class PreparedText {
public:
    virtual ~PreparedText() = default;
    virtual void Append(std::string_view text) = 0;
};

// What the road asks of its window. GUI thread only.
class JobView {
public:
    virtual ~JobView() = default;

    virtual void JobItemEnabled(JobItem item, bool on) = 0;
    // Status panel 0..4.
    virtual void JobStatusText(int panel, const std::string& text) = 0;
    // A modal box ("§" a line break); a Yes/No question, true for Yes.
    virtual void JobMessage(const std::string& text) = 0;
    virtual bool JobConfirm(const std::string& text) = 0;
    // The open or save dialog from `dir` with `proposed`; the chosen path, empty when cancelled.
    virtual std::string JobChooseFile(bool save, const std::string& dir, const std::string& proposed) = 0;

    virtual JobPage JobCurrentPage() const = 0;
    // Makes the page current when its tab is shown.
    virtual void JobShowPage(JobPage page) = 0;
    // The page is the one on screen (not hidden behind another).
    virtual bool JobPageOnScreen(JobPage page) const = 0;

    // A whole text into a view in one go; the view emptied; the view's text.
    virtual void JobSetText(JobTextView view, const std::string& text) = 0;
    virtual void JobClearText(JobTextView view) = 0;
    virtual std::string JobViewText(JobTextView view) const = 0;
    // A text of about `bytes` bytes for `view`, and its showing (the view's text replaced). By
    // default the text is gathered and given to JobSetText.
    virtual std::unique_ptr<PreparedText> JobPrepareText(JobTextView view, std::size_t bytes);
    virtual void JobShowPrepared(JobTextView view, std::unique_ptr<PreparedText> text);
    // The PVT page's file choice; the first name is chosen.
    virtual void JobPvtFiles(gcode::LineList names) = 0;
    // The file in use (Edit3).
    virtual void JobFileName(const std::string& name) = 0;

    // The line list: the current line (-1: none); the conversion's line; one line chosen alone
    // with its text in the edit box (an incoherent line); runs of a group selectable together.
    virtual int JobCurrentLine() const = 0;
    virtual void JobFollowLine(int row) = 0;
    virtual void JobShowLine(int row, const std::string& text) = 0;
    virtual void JobGroupSelection(bool groups) = 0;

    // The pages, buttons and labels of a mode (1 SCT, 2 TCL, 3 direct), with simulation known.
    virtual void JobModeShown(int mode) = 0;
    // "Dessiner  SCT": offered again (as the mode and the service views say), or withdrawn.
    virtual void JobSctCommandOffered(bool offered) = 0;
    // The parts of a conversion's configuration that the setup windows hold: group, axes, outputs.
    virtual void JobMachineSetup(MachineConfig& config) const = 0;
    // The PVT parameters window for a file the check refused: false when its user cancelled the
    // rest of the check; nothing when there is no such window.
    virtual std::optional<bool> JobPvtParameters(const std::string& file) = 0;

    // Runs `work` on a worker thread while the window stays live; `tick` every `tickMs` on the
    // GUI thread meanwhile and once at the end. The text of an exception that left `work`, empty
    // when it ended normally.
    virtual std::string JobRunLive(const std::function<void()>& work, const std::function<void()>& tick,
                                   int tickMs) = 0;
    // Lets the events that are pending now run (between two files of the PVT check).
    virtual void JobLetEventsRun() = 0;

    // A window command of remote control; false when its item is disabled or hidden.
    virtual bool JobWindow(JobWindowCommand command) = 0;
    // The batch's reduced layout, and the program's end once the batch is done.
    virtual void JobReduceLayout() = 0;
    virtual void JobCloseProgram() = 0;
};

class JobRoad : public QObject, public BatchJob, public JobControl {
    Q_OBJECT
public:
    explicit JobRoad(JobView& view, QObject* parent = nullptr);
    ~JobRoad() override;

    // ---- wiring ----
    void setBatchRunner(std::unique_ptr<BatchRunner> runner);
    BatchRunner* batchRunner() const noexcept { return mBatch.get(); }
    void setLink(JobLink* link) { mLink = link; }
    // The controller side of the direct mode (executes while converting); none: the direct
    // mode converts without executing.
    void setDirectExecutor(DirectExecutor* executor) { mDirectExecutor = executor; }
    // Called on the GUI thread with the configuration of each conversion, before it starts.
    void setBeforeConversionHook(std::function<void(const MachineConfig&)> hook) { mBeforeConversion = std::move(hook); }
    void setView3D(JobView3D* view) { mView3D = view; }
    void setPoll(PositionPoll* poll) { mPoll = poll; }
    PositionPoll* poll() const noexcept { return mPoll; }
    void setQuietMode(bool quiet) { mQuiet = quiet; }
    bool quietMode() const noexcept { return mQuiet; }
    void setBatchMode(bool on) { mBatchMode = on; }
    // The group's shape from the controller's configuration.
    void setGroupShape(bool xyOnly, int axisCount);
    bool groupKnown() const noexcept { return mGroupKnown; }
    bool xyGroupOnly() const noexcept { return mXYGroupOnly; }
    int groupAxisCount() const noexcept { return mGroupAxisCount; }

    // The settings read at creation (the window's menus change them).
    void readSettings();
    MainSettings& settings() noexcept { return mSet; }
    // Settings refused when they were read (out of range, not a number).
    const std::vector<std::string>& refusedSettings() const noexcept { return mRefusedSettings; }
    const MainSettings& settings() const noexcept { return mSet; }
    // Numeric command-line options, already checked.
    void applyNumericOption(const std::string& section, const std::string& key, double value);

    void setSimulation(bool simulation);
    bool simulation() const override { return mSimulation; }
    // The mode as the menu chooses it; `store` writes it to the settings file; the direct mode
    // in simulation falls back to SCT unless `fallback` is false.
    void applyMode(int mode, bool store, bool fallback = true);
    int mode() const noexcept { return mMode; }

    // ---- items whose enabled state is the road's ----
    void enable(JobItem item, bool on);
    bool enabled(JobItem item) const noexcept { return mEnabled[static_cast<std::size_t>(item)]; }

    // ---- BatchJob ----
    std::string gcodeFolder() const override;
    std::string lastConvertedFile() const override { return mLastFile; }
    void reduceLayout() override;
    void selectMode(int mode) override { applyMode(mode, true); }
    bool readFile(const std::string& path) override;
    bool convert() override { return BitBtnCreateKVXFileClick(false); }
    bool uploadFailed() const override { return mUploadFailed; }
    bool initialise() override;
    bool execute() override;
    bool gcodeLoaded() const override { return mGCodeLoaded; }
    bool batchMode() const override { return mBatchMode; }
    void setExitStatus(int status) override { mExitStatus = status; }
    void closeProgram() override;
    int exitStatus() const noexcept { return mExitStatus; }
    // The window was activated: the batch of the command line runs (once).
    void activated();

    // ---- JobControl ----
    bool JobInit() override;
    bool JobExtend() override;
    bool JobReduce() override;
    bool JobShow() override;
    bool JobHide() override;
    bool JobRead(const std::string& fileName) override;
    bool JobDraw(const std::string& fileName) override;
    bool JobCreate() override;
    bool JobExecute() override;
    bool JobVerify() override;
    bool JobMode(int mode) override;
    bool JobShow3D() override;
    bool JobStop() override;
    void JobStatusText(const std::string& text) override { setStatus(4, text); }

    // ---- handlers (withSender: called by a button or menu) ----
    bool BitBtnReadGcodeClick(bool withSender);
    // The line list saved as `path` (chosen by the save dialog).
    void SaveLines(const std::string& path);
    // Line edits (BitBtn8..BitBtn11): refused while a job step runs on the lines.
    void AddLine(const std::string& text);
    void InsertLine(int row, const std::string& text);
    void ModifyLine(int row, const std::string& text);
    void DeleteLine(int row);
    bool BitBtnCreateKVXFileClick(bool withSender);
    bool BitBtnExecuteKVXClick(bool withSender);
    bool BitBtnExecutelineClick();  // the selected line, on the controller at once
    bool Init1Click(bool withSender = true);
    void BitBtn7Click();  // STOP
    bool BitBtnVerifyPVTClick(bool withSender);
    void ComboBox1Change(const std::string& chosen);
    void EnregistertoutClick();
    void DessinerSCT1Click();
    void EffacertrajectoireSCT1Click();
    // After "Node size": every SCT element drawn again.
    void RedrawSct() { drawSctList(); }
    // The direct mode after a move (keep the last two points) or a PVT run (`clear`).
    void TrimExecutedPath(bool clear);
    void NextClick();
    void AbortClick();
    void PageChange();
    void ResetJobButtons();
    // The PVT view's text was changed by its user.
    void PvtTextEdited();
    // The positions could not be read; true when the axes setup may be shown (not in batch
    // fashion, not in the hidden server mode).
    bool PositionFault();
    // Nobody is there to answer a box: a job handler called by the program (batch run, remote
    // command), or the hidden server mode of the command line.
    bool unattended() const noexcept;
    // A failure with nobody to answer: the status bar, the log and stderr, no box.
    void reportUnattended(const std::string& text);

    // A line of the direct execution (any thread): `failure` as a failed step is reported (a
    // box with a user, the status bar and the log otherwise), else a note for the status bar and
    // the log only.
    void reportFromWorker(const std::string& text, bool failure);
    // The flags the direct execution waits on ("Next", "Abort"), set by their buttons.
    std::atomic<int>& nextBlockFlag() noexcept { return mNextBlock; }
    std::atomic<int>& abortFlag() noexcept { return mAbortRequested; }
    // "Block/block" is down; thread-safe (the direct execution reads it from its worker).
    void setBlockByBlock(bool down) noexcept { mBlockByBlock = down ? 1 : 0; }
    bool blockByBlock() const noexcept { return mBlockByBlock.load() != 0; }
    // What the road lends the direct mode: "Block/block", "Next", "Abort", the executed path of
    // its 3D view and its reports (handed to the GUI thread).
    link::DirectControls directControls();

    // ---- state ----
    GCodeListModel* model() const noexcept { return mModel; }
    const gcode::LineList& lines() const;
    const std::vector<tclpath::LineRecord>& lineTable() const noexcept { return mLineTable; }
    const std::string& fileName() const noexcept { return mFileName; }
    bool jobRunning() const noexcept { return mJobRunning; }
    bool sctBuilt() const noexcept { return mSctBuilt; }
    int pvtFileCount() const noexcept { return mPvtFileCount; }
    bool busy() const noexcept { return mBusy; }
    std::string outputFolder() const;
    std::array<double, 3>& currentPosition() noexcept { return mCurrentPosition; }
    // The configuration a conversion gets, from the settings and the setup windows.
    MachineConfig machineConfig() const;
    std::string tclText() const;

private:
    void setStatus(int panel, const std::string& text);
    // A failure: a dialog, or in batch fashion the status bar, the log and stderr.
    void report(const std::string& text);
    // A note of a job step: the status bar and the log (stderr too in batch fashion).
    void note(const std::string& text);
    // A job step runs, or a STOP's kill is on its way: another job step is refused at once.
    bool jobBusy() const noexcept { return mBusy || mStopInFlight; }
    void setBusy(bool on);
    void refreshLineButtons();
    bool canExecute() const;
    bool canVerify() const;
    // The execute button's work; `started`: the script or the direct run went to the controller.
    bool runExecute(bool withSender, bool& started);
    // Reads `path` into the line list; `lastName` goes to "TRAJECTORY"/"LAST" once it is read.
    bool loadFile(const std::string& path, bool normalise, const std::string& lastName);
    void clearViewsForRead();
    void finishRead(const std::string& displayName, std::size_t count);
    void lineListEdited();
    // The conversion's results, shown and kept.
    void clearPvtView();
    // `skeleton`: the 3D view's skeleton the conversion drew (null: from out.Drawing).
    bool showConversion(JobConversionOutput& out, const JobConversionInput& in,
                        std::shared_ptr<view3d::SkeletonNodes> skeleton);
    // The conversion's texts into the SCT and TCL views, filled by a worker; the texts are
    // dropped from `out` on the way.
    void fillViews(JobConversionOutput& out, bool withSct, bool withTcl);
    bool uploadAll(bool withScript);
    void showIncoherentLine(int row);
    void loadPvtChoice(const std::string& name);
    bool askSavePvtEdit();
    void drawSctList();
    void lineCountStatus();

    JobView& mView;
    GCodeListModel* mModel = nullptr;
    std::unique_ptr<BatchRunner> mBatch;
    MainSettings mSet;
    std::vector<std::string> mRefusedSettings;
    std::array<bool, kJobItemCount> mEnabled{};
    std::string mLastFile;
    bool mSimulation = false;
    bool mBatchMode = false;
    bool mQuiet = false;
    int mMode = 1;
    bool mGCodeLoaded = false;
    bool mSctBuilt = false;
    bool mSctBuildFailed = false;  // these lines gave no SCT list: the page change does not retry
    bool mRelativeLeft = false;
    bool mJobRunning = false;
    bool mConverted = false;
    bool mUploadFailed = false;  // the last conversion's upload did not complete
    int mExitStatus = 0;
    bool mVerifyRunning = false;
    bool mVerifyStarted = false;  // the last check got its connection: it went to the controller
    bool mBusy = false;           // a read, conversion, execution, verification or init is running
    bool mStopInFlight = false;   // STOP's kill is on its way to the controller
    bool mLastLineMoveWorking = false;  // the last line executed alone was a cut
    int mPvtFileCount = 0;
    std::string mFileName;  // the file in use, as read
    std::vector<tclpath::LineRecord> mLineTable;
    std::shared_ptr<sct::Ttraject> mSctList;
    std::array<double, 3> mCurrentPosition{-8000.0, -8000.0, -8000.0};
    std::string mPvtEditedName;
    bool mPvtEdited = false;
    bool mLoadingPvt = false;
    bool mXYGroupOnly = false;
    int mGroupAxisCount = 3;
    bool mGroupKnown = false;
    std::atomic<int> mAbortRequested{0};
    std::atomic<int> mNextBlock{0};
    std::atomic<int> mBlockByBlock{0};
    std::function<void(const MachineConfig&)> mBeforeConversion;
    std::vector<PathSegment> mLastDrawing;  // a conversion's path while no 3D view holds it
    bool mDrawingShown = false;             // the path is in the 3D view

    JobLink* mLink = nullptr;
    PositionPoll* mPoll = nullptr;
    DirectExecutor* mDirectExecutor = nullptr;
    JobView3D* mView3D = nullptr;
};

}  // namespace mvx
