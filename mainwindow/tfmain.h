#pragma once
// The main window: the road of one job (read, convert, upload, init, execute), its views,
// menus and status. Created first at start-up; its creation reads the translator settings.
//
// The handlers serve the buttons (with a sender: dialogs allowed), the command-line batch and
// the remote-control server (without a sender: batch fashion, no dialogs). Long steps run on a
// worker thread while the GUI thread waits in an event loop, so STOP stays live; handlers must
// expect to be re-entered during such a wait.

#include "app/batchrun.h"
#include "jobcontrol.h"
#include "mainsettings.h"
#include "poll.h"
#include "translator/machineconfig.h"
#include "translator/tclelements.h"

#include <QMainWindow>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QComboBox;
class QDialog;
class QFileDialog;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QSplitter;
class QTabWidget;
class QWheelEvent;
class QsciScintilla;

namespace mvx {

class GCodeListModel;
class JobLink;
class RemoteServer;
class TAboutBox;
class TFaxes;
class TFIO;
class TFPVTparameters;
class TFcentrer;
class View3D;
struct JobConversionOutput;
namespace sct {
class Ttraject;
}

class TFmain : public QMainWindow, public BatchJob, public JobControl, public PollView {
    Q_OBJECT
public:
    explicit TFmain(QWidget* parent = nullptr);
    ~TFmain() override;

    // ---- wiring done at start-up ----
    void setBatchRunner(std::unique_ptr<BatchRunner> runner);
    void setSimulation(bool simulation);
    bool simulation() const override;
    void setQuietMode(bool quiet) { mQuiet = quiet; }
    void setHelperWindows(TFIO* io, TFaxes* axes, TAboutBox* about, TFPVTparameters* pvtParameters,
                          QDialog* pvtControl, QDialog* textEditor, QDialog* maintenance);
    // Run at closing, after the window's own settings are written (the 3D view's camera...).
    void addCloseHook(std::function<void()> hook) { mCloseHooks.push_back(std::move(hook)); }
    void setLink(JobLink* link) { mLink = link; }
    // The controller side of the direct mode (executes while converting); none: the direct
    // mode converts without executing.
    void setDirectExecutor(DirectExecutor* executor) { mDirectExecutor = executor; }
    // Called on the GUI thread with the configuration of each conversion, before it starts.
    void setBeforeConversionHook(std::function<void(const MachineConfig&)> hook) { mBeforeConversion = std::move(hook); }
    // The flags the direct execution waits on ("Next", "Abort"), set by their buttons.
    std::atomic<int>& nextBlockFlag() noexcept { return mNextBlock; }
    std::atomic<int>& abortFlag() noexcept { return mAbortRequested; }
    // "Block/block" is down; thread-safe (the direct execution reads it from its worker).
    bool blockByBlock() const noexcept { return mBlockByBlock.load() != 0; }
    // The 3D view goes into the "Show 3D" page and is tied to the window: pop-up commands,
    // legend, wheel, the camera settings written at closing.
    void setView3D(View3D* view);
    // The small window of "center on (X,Y,Z)".
    void setCentreWindow(TFcentrer* window) { mCentrer = window; }
    // The remote-control server that the "Serveur TCP-IP" and "Server port" items drive; it is
    // activated here as the settings say (on every interface).
    void setRemoteServer(RemoteServer* server);
    RemoteServer* remoteServer() const noexcept { return mServer; }
    // Open and save dialogs (tests replace them): start folder and proposed name in, chosen
    // path out (empty: cancelled).
    using FileDialogHook = std::function<std::string(const std::string& dir, const std::string& proposed)>;
    void setOpenDialog(FileDialogHook hook) { mOpenDialog = std::move(hook); }
    void setSaveDialog(FileDialogHook hook) { mSaveDialog = std::move(hook); }
    // Printing of a text view with a title (tests replace the print dialog).
    void setPrintHook(std::function<bool(QsciScintilla&, const std::string&)> hook) { mPrintHook = std::move(hook); }
    // The group's shape from the controller's configuration; the poll asks the controller
    // nothing before it is known.
    void setGroupShape(bool xyOnly, int axisCount);

    // Numeric command-line options, already checked, applied to the conversion settings.
    void applyNumericOption(const std::string& section, const std::string& key, double value);

    // ---- BatchJob ----
    std::string gcodeFolder() const override;
    std::string lastConvertedFile() const override { return mLastFile; }
    void reduceLayout() override;
    void selectMode(int mode) override;
    bool readFile(const std::string& path) override;
    bool convert() override;
    bool uploadFailed() const override { return mUploadFailed; }
    bool initialise() override;
    bool execute() override;
    bool batchMode() const override { return mBatchMode; }
    void setExitStatus(int status) override { mExitStatus = status; }
    int exitStatus() const noexcept { return mExitStatus; }
    void closeProgram() override;
    void setBatchMode(bool on) { mBatchMode = on; }

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
    void JobStatusText(const std::string& text) override;

    // ---- PollView (the position and output poll) ----
    void PollHiddenServerStep() override;
    bool PollSimulation() const override { return simulation(); }
    bool PollGroupKnown() const override { return mGroupKnown; }
    PollSetup PollConfiguration() const override;
    bool PollJobRunning() const override { return mJobRunning; }
    bool Poll3DVisible() const override;
    void PollShowAxis(int axis, const std::string& text) override;
    void PollMoveTool(const std::array<double, 3>& position, bool visible) override;
    void PollStatusColour(StatusColour colour) override;
    void PollLampLit(int lamp, bool lit) override;
    void PollExecutedPoint(const std::array<double, 3>& point, bool toolActive) override;
    void PollPositionFault(int code) override;
    std::array<double, 3>& PollCurrentPosition() override { return mCurrentPosition; }
    // The poll whose period the "Sample period" item sets.
    void setPoll(PositionPoll* poll) { mPoll = poll; }
    PositionPoll* poll() const noexcept { return mPoll; }
    // Outside simulation, at each activation before the axes setup re-reads its settings:
    // checks the controller's group configuration.
    void setActivationHook(std::function<void()> hook) { mActivationHook = std::move(hook); }

    // ---- handlers (withSender: called by a button or menu) ----
    bool BitBtnReadGcodeClick(bool withSender);
    void BitBtn1Click();  // save the line list
    void BitBtn8Click();  // add a line
    void BitBtn9Click();  // insert a line
    void BitBtn10Click();  // modify a line
    void BitBtn11Click();  // delete a line
    void ListBox1Click();
    bool BitBtnCreateKVXFileClick(bool withSender);
    bool BitBtnExecuteKVXClick(bool withSender);
    bool BitBtnExecutelineClick();  // the selected line, on the controller at once
    bool Init1Click(bool withSender = true);
    void BitBtn7Click();  // STOP
    bool BitBtnVerifyPVTClick(bool withSender);
    void ComboBox1Change();
    void EnregistertoutClick();
    void NumericSettingClick(const std::string& action);
    void KVXAddressClick();
    void ModeClick(int mode);
    void ExtendClick();
    void ReduceClick();
    void PrintGcodeClick();
    void PrintTclClick();
    void LanguageClick(int n);
    void ServerToggleClick();
    void ServerPortClick();
    void OutputsClick();
    void AxesClick();
    void AboutClick();
    void PageChange();
    void DessinerSCT1Click();
    void EffacertrajectoireSCT1Click();
    // After "Node size": every SCT element drawn again.
    void RedrawSct();
    // The direct mode after a move (keep the last two points) or a PVT run (`clear`).
    void TrimExecutedPath(bool clear);
    void NextClick();
    void AbortClick();
    // A line of the direct execution (any thread): `failure` as a failed step is reported (a
    // box with a user, the status bar and the log otherwise), else a note for the status bar and
    // the log only.
    void reportFromWorker(const std::string& text, bool failure);
    // Reveals (true) or hides the diagnostic views (3D page, PVT checker, SCT drawing).
    void setServiceViews(bool visible);
    void ResetJobButtons();

    // ---- state read by tests and by the other windows ----
    const MainSettings& settings() const noexcept { return mSet; }
    // Settings the window refused when it read the settings file (out of range, not a number).
    const std::vector<std::string>& refusedSettings() const noexcept { return mRefusedSettings; }
    int mode() const noexcept { return mMode; }
    bool gcodeLoaded() const override { return mGCodeLoaded; }
    bool jobRunning() const noexcept { return mJobRunning; }
    bool sctBuilt() const noexcept { return mSctBuilt; }
    bool extendedLayout() const noexcept { return mExtended; }
    int pvtFileCount() const noexcept { return mPvtFileCount; }
    const std::vector<std::string>& lines() const;
    const std::vector<tclpath::LineRecord>& lineTable() const noexcept { return mLineTable; }
    std::string outputFolder() const;
    std::array<double, 3>& currentPosition() noexcept { return mCurrentPosition; }
    // The configuration a conversion gets, from the settings and the two setup windows.
    MachineConfig machineConfig() const;
    std::string tclText() const;
    int tclLineCount() const;
    std::string pvtText() const;
    std::string sctText() const;
    QAction* action(const char* objectName) const;
    QWidget* tab3D() const noexcept { return mTab3D; }
    QTabWidget* pages() const noexcept { return mPages; }
    bool serviceMenusVisible() const noexcept { return mServiceMenusVisible; }

protected:
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    // A wheel step anywhere on the window zooms the 3D view while its page is active.
    void wheelEvent(QWheelEvent* e) override;

private:
    void buildWidgets();
    void buildMenus();
    QAction* addAction(QMenu* menu, const char* name, const char* text, std::function<void()> slot);
    void FormCreate();
    void FormActivate();
    void FormClose();
    void applyMode(int mode, bool store, bool fallback = true);
    void refreshModeLabel();
    void refreshSpeedBoxes();
    void setStatus(int panel, const std::string& text);
    // A failure: a dialog, or in batch fashion the status bar, the log and stderr.
    void report(const std::string& text);
    // A note of a job step: the status bar and the log (stderr too in batch fashion).
    void note(const std::string& text);
    // A job step runs, or a STOP's kill is on its way: another job step is refused at once.
    bool jobBusy() const noexcept { return mBusy || mStopInFlight; }
    // What the execute and verify buttons need besides being enabled.
    bool canExecute() const;
    bool canVerify() const;
    // The execute button's work; `started`: the script or the direct run went to the controller.
    bool runExecute(bool withSender, bool& started);
    // Reads `path` into the line list; `lastName` goes to "TRAJECTORY"/"LAST" once it is read.
    bool loadFile(const std::string& path, bool normalise, const std::string& lastName);
    void clearViewsForRead();
    void finishRead(const std::string& displayName, std::size_t count);
    bool uploadAll(bool withScript);
    void showIncoherentLine(int row);
    void loadPvtChoice();
    bool askSavePvtEdit();
    void setPageVisible(QWidget* page, bool visible);
    // Ttraject.DrawAll, only while the "Show 3D" page is the current page.
    void drawSctList();
    // The open or save dialog from `dir` with `proposed`; the chosen path, empty when cancelled.
    std::string runFileDialog(QFileDialog* dialog, const std::string& dir, const std::string& proposed);
    void applyLayout(bool extended);
    void showTab(QWidget* page);
    // A job step starts or ends: the line-edit buttons follow.
    void setBusy(bool on);
    void refreshLineButtons();

    std::unique_ptr<BatchRunner> mBatch;
    MainSettings mSet;
    std::vector<std::string> mRefusedSettings;
    std::string mLastFile;
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
    bool mExtended = false;
    bool mServiceMenusVisible = false;
    bool mShowLineOrigin = false;
    bool mVerifyRunning = false;
    bool mVerifyStarted = false;  // the last check got its connection: it went to the controller
    bool mClosing = false;
    bool mActivating = false;
    bool mBusy = false;  // a read, conversion, execution, verification or init is running
    bool mStopInFlight = false;  // STOP's kill is on its way to the controller
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
    std::function<void(const MachineConfig&)> mBeforeConversion;
    std::function<void()> mActivationHook;
    std::atomic<int> mBlockByBlock{0};
    std::vector<PathSegment> mLastDrawing;
    bool mDrawingShown = false;  // mLastDrawing is in the 3D view
    std::function<bool(QsciScintilla&, const std::string&)> mPrintHook;

    JobLink* mLink = nullptr;
    PositionPoll* mPoll = nullptr;
    DirectExecutor* mDirectExecutor = nullptr;
    JobView3D* mView3D = nullptr;
    View3D* mView3DWidget = nullptr;
    TFcentrer* mCentrer = nullptr;
    QFileDialog* mOpenDialog1 = nullptr;
    QFileDialog* mSaveDialog1 = nullptr;
    TFIO* mIo = nullptr;
    TFaxes* mAxes = nullptr;
    TAboutBox* mAbout = nullptr;
    TFPVTparameters* mPvtParameters = nullptr;
    std::vector<std::function<void()>> mCloseHooks;
    QDialog* mPvtControl = nullptr;
    QDialog* mTextEditor = nullptr;
    QDialog* mMaintenance = nullptr;
    RemoteServer* mServer = nullptr;
    FileDialogHook mOpenDialog;
    FileDialogHook mSaveDialog;

    // Widgets (object names are the component names).
    QWidget* mLeftPanel = nullptr;
    QWidget* mRightPanel = nullptr;
    QSplitter* mSplitter = nullptr;
    QTabWidget* mPages = nullptr;
    QWidget* mTabGcode = nullptr;
    QWidget* mTabTcl = nullptr;
    QWidget* mTabPvt = nullptr;
    QWidget* mTabSct = nullptr;
    QWidget* mTab3D = nullptr;
    QListView* mList = nullptr;
    GCodeListModel* mModel = nullptr;
    QLineEdit* mEdit2 = nullptr;
    QLineEdit* mEdit3 = nullptr;
    QLabel* mSimulationLabel = nullptr;
    QLabel* mModeLabel = nullptr;
    QLabel* mModelLabel = nullptr;
    QLabel* mFNote1 = nullptr;
    QLabel* mFNote2 = nullptr;
    QWidget* mLampPanel = nullptr;
    std::array<QLabel*, 5> mStatus{};
    // The reduced layout is too narrow for the status bar: its panels then stand one a line
    // in the left panel.
    QWidget* mStatusColumn = nullptr;
    void placeStatusPanels(bool inStatusBar);
    QLineEdit* mPosSpeed = nullptr;
    QLineEdit* mWorkSpeed = nullptr;
    QLineEdit* mAccel = nullptr;
    QComboBox* mPvtChoice = nullptr;
    QsciScintilla* mTclView = nullptr;
    QsciScintilla* mPvtView = nullptr;
    QsciScintilla* mSctView = nullptr;
    QPushButton* mRead = nullptr;
    QPushButton* mSave = nullptr;
    QPushButton* mCreate = nullptr;
    QPushButton* mExecute = nullptr;
    QPushButton* mVerify = nullptr;
    QPushButton* mStop = nullptr;
    QPushButton* mExecLine = nullptr;
    std::array<QPushButton*, 4> mLineEdit{};  // add, insert, modify, delete
    std::array<QPushButton*, 4> mDirect{};    // Block/block, Whole file, Next, Abort
    QMenu* mFileMenu = nullptr;
    QMenu* mMaintMenu = nullptr;
    QMenu* mSetupMenu = nullptr;
    QAction* mSct = nullptr;
    QAction* mTcl = nullptr;
    QAction* mDirectMode = nullptr;
    QAction* mDessinerSct = nullptr;
    QAction* mPvt1 = nullptr;
    QAction* mKvx1 = nullptr;
    QAction* mDebug1 = nullptr;
    QAction* mExtend1 = nullptr;
    QAction* mReduce1 = nullptr;
    QAction* mInit1 = nullptr;
    QAction* mSaveAll = nullptr;
    QAction* mPrintGcode = nullptr;
    QAction* mPrintTcl = nullptr;
};

}  // namespace mvx
