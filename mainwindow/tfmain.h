#pragma once
// The main window: the views, menus, status and lamps of the job road. The road itself (read,
// convert, upload, init, execute, stop, verify, with its state) is a JobRoad that the window
// owns and shows; the buttons, the batch run and the remote-control server drive that road.
// Created first at start-up; its creation reads the translator settings.

#include "jobroad.h"
#include "mainsettings.h"
#include "poll.h"
#include "translator/machineconfig.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
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
class QThreadPool;
class QWheelEvent;
class QsciScintilla;

namespace mvx {

class JobLink;
class RemoteServer;
class TAboutBox;
class TFaxes;
class TFIO;
class TFPVTparameters;
class TFcentrer;
class View3D;

class TFmain : public QMainWindow, public JobView, public PollView {
    Q_OBJECT
public:
    explicit TFmain(QWidget* parent = nullptr);
    ~TFmain() override;

    // The job road the window shows.
    JobRoad& job() noexcept { return *mJob; }
    const JobRoad& job() const noexcept { return *mJob; }

    // ---- wiring done at start-up ----
    void setBatchRunner(std::unique_ptr<BatchRunner> runner) { mJob->setBatchRunner(std::move(runner)); }
    void setSimulation(bool simulation);
    bool simulation() const { return mJob->simulation(); }
    void setQuietMode(bool quiet) { mJob->setQuietMode(quiet); }
    void setHelperWindows(TFIO* io, TFaxes* axes, TAboutBox* about, TFPVTparameters* pvtParameters,
                          QDialog* pvtControl, QDialog* textEditor, QDialog* maintenance);
    // Run at closing, after the window's own settings are written (the 3D view's camera...).
    void addCloseHook(std::function<void()> hook) { mCloseHooks.push_back(std::move(hook)); }
    void setLink(JobLink* link) { mJob->setLink(link); }
    void setDirectExecutor(DirectExecutor* executor) { mJob->setDirectExecutor(executor); }
    void setBeforeConversionHook(std::function<void(const MachineConfig&)> hook)
    {
        mJob->setBeforeConversionHook(std::move(hook));
    }
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
    void setBatchMode(bool on) { mJob->setBatchMode(on); }
    void reduceLayout() { applyLayout(false); }
    std::string gcodeFolder() const { return mJob->gcodeFolder(); }
    int exitStatus() const noexcept { return mJob->exitStatus(); }

    // ---- PollView (the position and output poll) ----
    void PollHiddenServerStep() override;
    bool PollSimulation() const override { return simulation(); }
    bool PollGroupKnown() const override { return mJob->groupKnown(); }
    PollSetup PollConfiguration() const override;
    bool PollJobRunning() const override { return mJob->jobRunning(); }
    bool Poll3DVisible() const override;
    void PollShowAxis(int axis, const std::string& text) override;
    void PollMoveTool(const std::array<double, 3>& position, bool visible) override;
    void PollStatusColour(StatusColour colour) override;
    void PollLampLit(int lamp, bool lit) override;
    void PollExecutedPoint(const std::array<double, 3>& point, bool toolActive) override;
    void PollPositionFault(int code) override;
    std::array<double, 3>& PollCurrentPosition() override { return mJob->currentPosition(); }
    // The poll whose period the "Sample period" item sets.
    void setPoll(PositionPoll* poll) { mJob->setPoll(poll); }
    PositionPoll* poll() const noexcept { return mJob->poll(); }
    // Outside simulation, at each activation before the axes setup re-reads its settings:
    // checks the controller's group configuration.
    void setActivationHook(std::function<void()> hook) { mActivationHook = std::move(hook); }

    // ---- handlers (withSender: called by a button or menu); the job's go to the road ----
    bool BitBtnReadGcodeClick(bool withSender) { return mJob->BitBtnReadGcodeClick(withSender); }
    void BitBtn1Click();  // save the line list
    void BitBtn8Click();  // add a line
    void BitBtn9Click();  // insert a line
    void BitBtn10Click();  // modify a line
    void BitBtn11Click();  // delete a line
    void ListBox1Click();
    bool BitBtnCreateKVXFileClick(bool withSender) { return mJob->BitBtnCreateKVXFileClick(withSender); }
    bool BitBtnExecuteKVXClick(bool withSender) { return mJob->BitBtnExecuteKVXClick(withSender); }
    bool BitBtnExecutelineClick() { return mJob->BitBtnExecutelineClick(); }
    bool Init1Click(bool withSender = true) { return mJob->Init1Click(withSender); }
    void BitBtn7Click() { mJob->BitBtn7Click(); }  // STOP
    bool BitBtnVerifyPVTClick(bool withSender) { return mJob->BitBtnVerifyPVTClick(withSender); }
    void ComboBox1Change();
    void EnregistertoutClick() { mJob->EnregistertoutClick(); }
    void NumericSettingClick(const std::string& action);
    void KVXAddressClick();
    void ModeClick(int mode) { mJob->applyMode(mode, true); }
    void ExtendClick() { applyLayout(true); }
    void ReduceClick() { applyLayout(false); }
    void PrintGcodeClick();
    void PrintTclClick();
    void LanguageClick(int n);
    void ServerToggleClick();
    void ServerPortClick();
    void OutputsClick();
    void AxesClick();
    void AboutClick();
    void PageChange() { mJob->PageChange(); }
    void DessinerSCT1Click() { mJob->DessinerSCT1Click(); }
    void EffacertrajectoireSCT1Click() { mJob->EffacertrajectoireSCT1Click(); }
    void NextClick() { mJob->NextClick(); }
    void AbortClick() { mJob->AbortClick(); }
    // Reveals (true) or hides the diagnostic views (3D page, PVT checker, SCT drawing).
    void setServiceViews(bool visible);
    void ResetJobButtons() { mJob->ResetJobButtons(); }

    // ---- state read by tests and by the other windows ----
    const MainSettings& settings() const noexcept { return mJob->settings(); }
    // Settings the window refused when it read the settings file (out of range, not a number).
    const std::vector<std::string>& refusedSettings() const noexcept { return mJob->refusedSettings(); }
    int mode() const noexcept { return mJob->mode(); }
    bool gcodeLoaded() const { return mJob->gcodeLoaded(); }
    bool jobRunning() const noexcept { return mJob->jobRunning(); }
    bool sctBuilt() const noexcept { return mJob->sctBuilt(); }
    bool extendedLayout() const noexcept { return mExtended; }
    int pvtFileCount() const noexcept { return mJob->pvtFileCount(); }
    const gcode::LineList& lines() const { return mJob->lines(); }
    const std::vector<tclpath::LineRecord>& lineTable() const noexcept { return mJob->lineTable(); }
    std::string outputFolder() const { return mJob->outputFolder(); }
    std::array<double, 3>& currentPosition() noexcept { return mJob->currentPosition(); }
    MachineConfig machineConfig() const { return mJob->machineConfig(); }
    std::string tclText() const;
    int tclLineCount() const;
    std::string pvtText() const;
    std::string sctText() const;
    QAction* action(const char* objectName) const;
    QWidget* tab3D() const noexcept { return mTab3D; }
    QTabWidget* pages() const noexcept { return mPages; }
    bool serviceMenusVisible() const noexcept { return mServiceMenusVisible; }

    // ---- JobView ----
    void JobItemEnabled(JobItem item, bool on) override;
    void JobStatusText(int panel, const std::string& text) override;
    void JobMessage(const std::string& text) override;
    bool JobConfirm(const std::string& text) override;
    std::string JobChooseFile(bool save, const std::string& dir, const std::string& proposed) override;
    JobPage JobCurrentPage() const override;
    void JobShowPage(JobPage page) override;
    bool JobPageOnScreen(JobPage page) const override;
    void JobSetText(JobTextView view, const std::string& text) override;
    std::unique_ptr<PreparedText> JobPrepareText(JobTextView view, std::size_t bytes) override;
    void JobShowPrepared(JobTextView view, std::unique_ptr<PreparedText> text) override;
    void JobClearText(JobTextView view) override;
    std::string JobViewText(JobTextView view) const override;
    void JobPvtFiles(gcode::LineList names) override;
    void JobFileName(const std::string& name) override;
    int JobCurrentLine() const override;
    void JobFollowLine(int row) override;
    void JobShowLine(int row, const std::string& text) override;
    void JobGroupSelection(bool groups) override;
    void JobModeShown(int mode) override;
    void JobSctCommandOffered(bool offered) override;
    void JobMachineSetup(MachineConfig& config) const override;
    std::optional<bool> JobPvtParameters(const std::string& file) override;
    std::string JobRunLive(const std::function<void()>& work, const std::function<void()>& tick, int tickMs) override;
    void JobLetEventsRun() override;
    bool JobWindow(JobWindowCommand command) override;
    void JobReduceLayout() override { applyLayout(false); }
    void JobCloseProgram() override;

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
    void refreshModeLabel();
    void refreshSpeedBoxes();
    void setStatus(int panel, const std::string& text);
    void setPageVisible(QWidget* page, bool visible);
    QWidget* pageWidget(JobPage page) const;
    // The open or save dialog from `dir` with `proposed`; the chosen path, empty when cancelled.
    std::string runFileDialog(QFileDialog* dialog, const std::string& dir, const std::string& proposed);
    void applyLayout(bool extended);
    void showTab(QWidget* page);
    QsciScintilla* textView(JobTextView view) const;
    // `doc` (one reference, given to the view) replaces the view's document; with `styled` the
    // view's lexer colours it.
    void attachDocument(QsciScintilla* v, void* doc, bool styled);
    int currentRow() const;

    std::unique_ptr<JobRoad> mJob;
    // Frees the large documents the views leave.
    std::unique_ptr<QThreadPool> mReleases;
    bool mExtended = false;
    bool mServiceMenusVisible = false;
    bool mShowLineOrigin = false;
    bool mClosing = false;
    bool mActivating = false;
    std::function<void()> mActivationHook;
    std::function<bool(QsciScintilla&, const std::string&)> mPrintHook;

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
    QLineEdit* mEdit2 = nullptr;
    QLineEdit* mEdit3 = nullptr;
    QLabel* mSimulationLabel = nullptr;
    QLabel* mModeLabel = nullptr;
    QString mDirectModeText = "KVX Direct";  // the mode label's text in the direct mode
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
    GCodeListModel* mPvtNames = nullptr;  // the PVT files' names shown by mPvtChoice
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
