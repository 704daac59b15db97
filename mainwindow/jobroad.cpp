// The job road: read, line edits, convert and upload, init, execute, stop, verify, and the
// remote-control and batch operations on them.
#include "jobroad.h"

#include "gcodelistmodel.h"
#include "jobconversion.h"
#include "joblink.h"
#include "mainwindowtexts.h"
#include "poll.h"
#include "scene3d.h"
#include "tfmain_util.h"

#include "app/livewait.h"
#include "core/common.h"
#include "core/fileutil.h"
#include "core/inifile.h"
#include "translator/gcodetext.h"
#include "translator/numtext.h"
#include "translator/scttraject.h"
#include "translator/tclconvert.h"
#include "translator/tclscript.h"
#include "translator/texts.h"

#include <QDir>
#include <QMetaObject>
#include <QPointer>
#include <QThread>


#include <cstdio>
#include <fstream>
#include <mutex>
#include <optional>
#include <utility>

namespace mvx {

namespace {

using namespace mainui;

// Reports from the conversion worker; read by the GUI thread's progress tick.
class WorkerObserver : public ConversionObserver {
public:
    explicit WorkerObserver(const std::atomic<int>* abort) : mAbort(abort) {}
    void SetStatusText(std::string_view text) override
    {
        std::lock_guard lock(mMutex);
        mStatus.assign(text);
    }
    void SelectLine(int index) override { mLine.store(index); }
    void ShowMsg(std::string_view text) override
    {
        std::lock_guard lock(mMutex);
        mMessages.emplace_back(text);
    }
    bool StopRequested() const override
    {
        return common().StopRequested.load() != 0 || (mAbort && mAbort->load() != 0);
    }
    // The 3D view's skeleton grows with the pieces as the conversion makes them.
    void DrawSegment(const PathSegment& segment) override
    {
        if (mSkeleton) mSkeleton->Add(segment);
    }
    void drawInto(view3d::SkeletonBuilder* skeleton) { mSkeleton = skeleton; }
    std::string status()
    {
        std::lock_guard lock(mMutex);
        return mStatus;
    }
    std::vector<std::string> messages()
    {
        std::lock_guard lock(mMutex);
        return mMessages;
    }
    int line() const { return mLine.load(); }

private:
    const std::atomic<int>* mAbort;
    view3d::SkeletonBuilder* mSkeleton = nullptr;  // only the converting thread feeds it
    std::mutex mMutex;
    std::string mStatus;
    std::vector<std::string> mMessages;
    std::atomic<int> mLine{-1};
};

constexpr const char* kNoLink = "KVX : no controller link";

// Marks a job step as running; a second step started while it waits (a click or a remote
// command dispatched by the wait) is refused instead of running inside it.
class BusyScope {
public:
    explicit BusyScope(std::function<void(bool)> set) : mSet(std::move(set)) { mSet(true); }
    ~BusyScope() { mSet(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    std::function<void(bool)> mSet;
};

// A handler's own batch fashion, given back when it ends: a click handled while a remote job
// waits must not turn that job's later messages into boxes.
class BatchScope {
public:
    BatchScope(bool& flag, bool on) : mFlag(flag), mWas(flag) { mFlag = on; }
    ~BatchScope() { mFlag = mWas; }
    BatchScope(const BatchScope&) = delete;
    BatchScope& operator=(const BatchScope&) = delete;

private:
    bool& mFlag;
    bool mWas;
};

std::string oneLine(const std::string& text)
{
    std::string t = text;
    for (std::size_t p = t.find("§"); p != std::string::npos; p = t.find("§")) t.replace(p, std::string("§").size(), " ");
    return t;
}

std::string pvtName(int i) { return "TRJ" + num::integer(i) + ".PVT"; }

}  // namespace

namespace {
// The default prepared text: gathered, then set in one go.
class GatheredText : public PreparedText {
public:
    explicit GatheredText(std::size_t bytes) { text.reserve(bytes); }
    void Append(std::string_view t) override { text.append(t); }
    std::string text;
};
}  // namespace

std::unique_ptr<PreparedText> JobView::JobPrepareText(JobTextView, std::size_t bytes)
{
    return std::make_unique<GatheredText>(bytes);
}

void JobView::JobShowPrepared(JobTextView view, std::unique_ptr<PreparedText> text)
{
    if (auto* g = dynamic_cast<GatheredText*>(text.get())) JobSetText(view, g->text);
}

JobRoad::JobRoad(JobView& view, QObject* parent) : QObject(parent), mView(view), mModel(new GCodeListModel(this))
{
    // Buttons and items are enabled until the creation says otherwise.
    mEnabled.fill(true);
}

JobRoad::~JobRoad() = default;

// ---------------------------------------------------------------------------------------------
// Wiring and settings

void JobRoad::setBatchRunner(std::unique_ptr<BatchRunner> runner)
{
    mBatch = std::move(runner);
    if (mBatch) mQuiet = mBatch->commandLine().QuietMode;
}

void JobRoad::setGroupShape(bool xyOnly, int axisCount)
{
    mXYGroupOnly = xyOnly;
    mGroupAxisCount = axisCount;
    mGroupKnown = true;
}

void JobRoad::readSettings()
{
    if (IniFile* ini = SettingsIni()) mRefusedSettings = mSet.Read(*ini);
    mLastFile = mSet.LastFile;
    common().ControllerIp = mSet.ControllerIp;
    for (const char* d : {"GCODE", "TMP"}) QDir().mkpath(QString::fromStdString(common().ProgramDir + d));
    for (JobItem item : {JobItem::Verify, JobItem::Execute, JobItem::Create, JobItem::Save, JobItem::ExecuteLine,
                         JobItem::PrintGcode, JobItem::PrintTcl, JobItem::SaveAll, JobItem::Next, JobItem::Abort})
        enable(item, false);
    // A stored direct mode holds until the activation knows whether a controller is there.
    applyMode(ModeFromText(mSet.Mode), false, false);
}

void JobRoad::applyNumericOption(const std::string& section, const std::string& key, double value)
{
    ApplyNumericOption(SettingsIni(), mSet, section, key, value);
}

void JobRoad::setSimulation(bool simulation)
{
    mSimulation = simulation;
    common().ControllerUsable = simulation ? 0 : 1;
    applyMode(mMode, false, false);
}

void JobRoad::applyMode(int mode, bool store, bool fallback)
{
    if (mode < 1 || mode > 3) return;
    if (mode == 3 && simulation() && fallback) mode = 1;
    const bool wasDirect = mMode == 3;
    mMode = mode;
    mSet.Mode = ModeText(mode);
    if (store)
        if (IniFile* ini = SettingsIni()) mSet.Write(*ini, &MainSettings::Mode);
    mView.JobModeShown(mode);
    if (mode == 3 && !wasDirect) enable(JobItem::Execute, enabled(JobItem::Create));
}

void JobRoad::enable(JobItem item, bool on)
{
    mEnabled[static_cast<std::size_t>(item)] = on;
    mView.JobItemEnabled(item, on);
}

std::string JobRoad::gcodeFolder() const { return common().ProgramDir + "GCODE/"; }
std::string JobRoad::outputFolder() const { return common().ProgramDir + "TMP/"; }
const gcode::LineList& JobRoad::lines() const { return mModel->lines(); }
std::string JobRoad::tclText() const { return mView.JobViewText(JobTextView::Tcl); }

MachineConfig JobRoad::machineConfig() const
{
    MachineConfig c;
    c.PositioningSpeed = mSet.PositioningSpeed;
    c.WorkingSpeed = mSet.WorkingSpeed;
    c.PvtAcceleration = mSet.PvtAcceleration;
    c.DiscontinuityAngleMax = mSet.DiscontinuityAngleMax;
    c.AngularStep = mSet.AngularStep;
    c.NbDigit = mSet.NbDigit;
    c.NbDigitPvt = mSet.NbDigitPvt;
    mView.JobMachineSetup(c);
    c.XYGroupOnly = mXYGroupOnly;
    c.GroupAxisCount = mGroupAxisCount;
    // A name with a line break would end the header's comment line early.
    c.GCodeFileName = mFileName;
    gtext::RemoveLineBreaks(c.GCodeFileName);
    c.UseFCodes = mSet.UseFCodes;
    c.DirectMode = mMode == 3;
    c.Simulation = simulation();
    // Without a controller there is no position read: the job starts at the origin, never at
    // the "not read yet" value.
    const bool read = mCurrentPosition[0] > -8000.0 || mCurrentPosition[1] > -8000.0 || mCurrentPosition[2] > -8000.0;
    c.CurrentPosition = (simulation() || !read) ? std::array<double, 3>{0.0, 0.0, 0.0} : mCurrentPosition;
    if (c.XYGroupOnly) c.CurrentPosition[2] = 0.0;
    return c;
}

// ---------------------------------------------------------------------------------------------
// Messages

void JobRoad::setStatus(int panel, const std::string& text)
{
    if (panel == 4 && mQuiet) return;
    mView.JobStatusText(panel, text);
}

void JobRoad::lineCountStatus()
{
    setStatus(0, num::integer(static_cast<long long>(mModel->lines().size())) + " lines");
}

bool JobRoad::unattended() const noexcept
{
    return mBatchMode || (mBatch && mBatch->commandLine().HiddenServer);
}

void JobRoad::reportUnattended(const std::string& text)
{
    if (text.empty()) return;
    const std::string t = oneLine(text);
    setStatus(4, t);
    if (mLink) mLink->LogLine(t);
    std::fprintf(stderr, "%s\n", t.c_str());
}

void JobRoad::report(const std::string& text)
{
    if (text.empty()) return;
    // Nobody is there to press OK: a box would hold the batch or the remote client.
    if (unattended()) reportUnattended(text);
    else mView.JobMessage(text);
}

void JobRoad::note(const std::string& text)
{
    if (text.empty()) return;
    const std::string t = oneLine(text);
    setStatus(4, t);
    if (mLink) mLink->LogLine(t);
    if (mBatchMode) std::fprintf(stderr, "%s\n", t.c_str());
}

void JobRoad::reportFromWorker(const std::string& text, bool failure)
{
    QPointer<JobRoad> self(this);
    auto show = [self, text, failure] {
        if (!self) return;
        guarded([&] {
            if (failure) self->report(text);
            else self->note(text);
        });
    };
    if (QThread::currentThread() == thread()) show();
    else QMetaObject::invokeMethod(this, show, Qt::QueuedConnection);
}

link::DirectControls JobRoad::directControls()
{
    link::DirectControls controls;
    controls.BlockByBlock = [this] { return blockByBlock(); };
    controls.EnableNext = [this](bool on) {
        QMetaObject::invokeMethod(this, [this, on] { enable(JobItem::Next, on); });
    };
    controls.TrimExecutedPath = [this](bool clear) {
        QMetaObject::invokeMethod(this, [this, clear] { TrimExecutedPath(clear); });
    };
    controls.NextBlockRequested = &mNextBlock;
    controls.AbortRequested = &mAbortRequested;
    controls.Report = [this](const std::string& text, bool failure) { reportFromWorker(text, failure); };
    return controls;
}

bool JobRoad::PositionFault()
{
    report(T("Stringerreurnomaxe"));
    // The axes setup is a dialog: not while a program drives the window.
    return !unattended();
}

// ---------------------------------------------------------------------------------------------
// Busy state and the line buttons

void JobRoad::setBusy(bool on)
{
    mBusy = on;
    refreshLineButtons();
}

void JobRoad::refreshLineButtons()
{
    const JobPage page = mView.JobCurrentPage();
    const bool edit = page == JobPage::Gcode;
    // The lines stay as they are while a job step (read, conversion, upload, execution) runs.
    enable(JobItem::LineEdit, edit && !mBusy);
    // A line is executed on the controller at once: nothing to do in simulation.
    enable(JobItem::ExecuteLine, mGCodeLoaded && !simulation() && (edit || page == JobPage::View3D) && !mBusy);
}

void JobRoad::PageChange()
{
    refreshLineButtons();
    // The drawing of a loaded file, once: a million pieces are not rebuilt at every visit.
    if (mView.JobCurrentPage() == JobPage::View3D && mView3D && !mDrawingShown && !mLastDrawing.empty()) {
        mView3D->SetJobPath(mLastDrawing, {0.0, 0.0, 0.0});
        mDrawingShown = true;
    }
    // The SCT drawing command; lines that gave no SCT list are not built again at every page.
    if (mGCodeLoaded && (mSctBuilt || !mSctBuildFailed)) DessinerSCT1Click();
}

void JobRoad::ResetJobButtons()
{
    enable(JobItem::Verify, false);
    enable(JobItem::Execute, mMode == 3 && !simulation());
    enable(JobItem::PrintTcl, false);
    enable(JobItem::SaveAll, false);
    mSctBuilt = false;
    mSctBuildFailed = false;
    mConverted = false;
}

// ---------------------------------------------------------------------------------------------
// Read

void JobRoad::clearPvtView()
{
    mLoadingPvt = true;
    mView.JobClearText(JobTextView::Pvt);
    mLoadingPvt = false;
    mPvtEdited = false;
}

void JobRoad::clearViewsForRead()
{
    if (mView3D) mView3D->ClearJobDrawings();
    // The previous file's SCT list goes now, not at the next build; it may hold millions of
    // elements, so a worker frees it.
    if (mSctList) ReleaseInBackground([list = std::exchange(mSctList, nullptr)]() mutable { list.reset(); });
    if (!mLastDrawing.empty())
        ReleaseInBackground([drawing = std::exchange(mLastDrawing, {})]() mutable { std::vector<PathSegment>().swap(drawing); });
    mDrawingShown = false;
    clearPvtView();
    mView.JobClearText(JobTextView::Tcl);
    mView.JobClearText(JobTextView::Sct);
}

bool JobRoad::BitBtnReadGcodeClick(bool withSender)
{
    if (jobBusy()) return false;
    std::string path;
    if (withSender) {
        mBatchMode = false;
        const std::string proposed = mBatch ? mBatch->commandLine().CommandFile : std::string();
        path = mView.JobChooseFile(false, gcodeFolder(), proposed);
        if (path.empty()) return false;
    } else {
        if (!mBatch || mBatch->commandLine().CommandMode == 0) return false;
        mBatchMode = true;
        path = mBatch->commandLine().CommandFile;
        if (path.find('/') == std::string::npos) path = gcodeFolder() + path;
    }
    return loadFile(path, true, path);
}

bool JobRoad::readFile(const std::string& path)
{
    mBatchMode = true;
    return loadFile(path, true, path);
}

bool JobRoad::loadFile(const std::string& path, bool normalise, const std::string& lastName)
{
    if (jobBusy()) return false;
    BusyScope busy([this](bool on) { setBusy(on); });
    // Found before anything is cleared: a missing file leaves the window as it was.
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? gcodeFolder() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string found = FindFileNoCase(dir, name);
    if (found.empty()) return false;

    // A file that is no G-code text is refused before anything changes, and is not remembered
    // as the last one converted.
    enable(JobItem::Read, false);
    std::string data;
    std::string refusal;
    std::string error = mView.JobRunLive([&] { readGCodeFile(found, data, refusal); }, {}, 100);
    if (error.empty()) error = refusal;
    if (!error.empty()) {
        enable(JobItem::Read, true);
        report(error);
        return false;
    }

    mSet.LastFile = lastName;
    if (IniFile* ini = SettingsIni()) mSet.Write(*ini, &MainSettings::LastFile);
    mLastFile = lastName;
    if (simulation()) {
        EmptyFolder(outputFolder());
        enable(JobItem::PrintGcode, false);
        enable(JobItem::PrintTcl, false);
    }
    clearViewsForRead();
    setStatus(4, T("Stringloadinginuse"));
    setStatus(4, T("stringfileloaded") + baseName(found));
    mView.JobShowPage(JobPage::Gcode);

    gcode::LineList lines;
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> total{0};
    error = mView.JobRunLive(
        [&] {
            gcode::LineList raw = gcode::LineList::FromText(std::move(data));
            total = raw.size();
            if (!normalise) {
                lines = std::move(raw);
            } else {
                // Room for the blanks the reading inserts; what is not used costs address space only.
                lines.reserve(raw.size() + raw.size() / 16, raw.textBytes() + raw.textBytes() / 4);
                std::string scratch;
                for (std::size_t i = 0; i < raw.size(); ++i) {
                    gtext::NormalizeLoadedLine(raw[i], lines, scratch);
                    if ((i & 1023) == 0) done = i + 1;
                }
            }
            done = total.load();
        },
        [&] {
            if (total > 0)
                setStatus(0, T("Stringline") + " : " + num::integer(static_cast<long long>(done.load())) + "/" +
                                 num::integer(static_cast<long long>(total.load())));
        },
        100);
    enable(JobItem::Read, true);
    if (!error.empty()) {
        setStatus(4, "");
        setStatus(0, "");
        report(error);
        return false;
    }
    const std::size_t count = lines.size();
    // The previous file's lines go with the last of their readers, not on this thread.
    std::shared_ptr<const gcode::LineList> previous = mModel->shared();
    mModel->setLines(std::move(lines));
    ReleaseInBackground([previous = std::move(previous)]() mutable { previous.reset(); });
    finishRead(baseName(found), count);
    return true;
}

void JobRoad::finishRead(const std::string& displayName, std::size_t count)
{
    setStatus(4, "");
    setStatus(0, "");
    ResetJobButtons();
    mFileName = displayName;
    mView.JobFileName(displayName);
    enable(JobItem::Save, true);
    enable(JobItem::PrintGcode, true);
    enable(JobItem::Create, true);
    enable(JobItem::ExecuteLine, !simulation());
    setStatus(0, num::integer(static_cast<long long>(count)) + " lines");
    mLineTable.clear();
    mView.JobGroupSelection(false);
    mGCodeLoaded = true;
    PageChange();
}

// ---------------------------------------------------------------------------------------------
// Line list editing

void JobRoad::SaveLines(const std::string& path)
{
    if (path.empty()) return;
    std::string err;
    if (!WriteFileAtomic(path, mModel->lines().joined("\r\n"), &err)) {
        report(err);
        return;
    }
    mFileName = baseName(path);
    mView.JobFileName(mFileName);
}

void JobRoad::lineListEdited()
{
    mLineTable.clear();
    ResetJobButtons();
}

void JobRoad::AddLine(const std::string& text)
{
    // Not while a job step runs on these lines (its wait dispatches clicks).
    if (mBusy) return;
    mModel->insertLine(static_cast<int>(mModel->lines().size()), text);
    lineListEdited();
}

void JobRoad::InsertLine(int row, const std::string& text)
{
    if (mBusy) return;
    mModel->insertLine(row < 0 ? 0 : row, text);
    lineListEdited();
}

void JobRoad::ModifyLine(int row, const std::string& text)
{
    if (mBusy || row < 0) return;
    mModel->setLine(row, text);
    lineListEdited();
}

void JobRoad::DeleteLine(int row)
{
    if (mBusy || row < 0) return;
    mModel->removeLine(row);
    lineListEdited();
}

// ---------------------------------------------------------------------------------------------
// Convert and upload

bool JobRoad::BitBtnCreateKVXFileClick(bool withSender)
{
    if (jobBusy()) return false;
    BusyScope busy([this](bool on) { setBusy(on); });
    if (!mGCodeLoaded) return false;
    mBatchMode = !withSender;
    common().StopRequested = 0;
    mAbortRequested = 0;
    if (mMode != 3) mView.JobShowPage(JobPage::Tcl);
    for (JobItem item : {JobItem::Create, JobItem::Execute, JobItem::Verify, JobItem::Read, JobItem::Save})
        enable(item, false);
    enable(JobItem::SaveAll, false);
    mConverted = false;
    mUploadFailed = false;
    clearPvtView();

    JobConversionInput in;
    in.Lines = mModel->shared();
    in.Config = machineConfig();
    if (mBeforeConversion) mBeforeConversion(in.Config);
    in.Mode = mMode;
    in.SctList = mSctList;
    in.RebuildSct = !mSctBuilt || mRelativeLeft || !mSctList;
    in.GCodeDir = gcodeFolder();
    in.OutputDir = outputFolder();
    // In simulation the script is not written to disk.
    if (mMode != 3 && !simulation()) in.ScriptPath = outputFolder() + kScriptName;
    in.Executor = mMode == 3 ? mDirectExecutor : nullptr;
    if (mMode == 3) mJobRunning = true;
    if (mMode != 1) {
        // "Erase step by step": the executed path is cleared as each PVT run closes.
        auto queued = std::make_shared<std::atomic<bool>>(false);
        in.PvtRunClosed = [this, queued] {
            if (queued->exchange(true)) return;
            QMetaObject::invokeMethod(this, [this, queued] {
                queued->store(false);
                if (mSet.EraseStepByStep && mView3D) mView3D->TrimExecutedPath(true);
            });
        };
    }
    setStatus(4, T("stringcreatingTCL"));

    WorkerObserver observer(&mAbortRequested);
    // The script path's pieces go straight into the 3D view's skeleton: they are never kept.
    std::shared_ptr<view3d::SkeletonBuilder> skeleton;
    if (mMode != 1 && mView3D) skeleton = mView3D->MakeJobSkeletonBuilder(in.Config.CurrentPosition, in.Lines->size() * 4 + 16);
    if (skeleton) {
        in.KeepDrawing = false;
        observer.drawInto(skeleton.get());
    }
    JobConversionOutput out;
    const std::string crash = mView.JobRunLive([&] {
                                                   out = ConvertJob(in, observer);
                                                   ReturnFreedMemory();
                                               },
                                               [&] {
                                                   const std::string s = observer.status();
                                                   if (!s.empty()) setStatus(0, s);
                                                   // The list follows the conversion.
                                                   const int line = observer.line();
                                                   if (line >= 0 && line < mModel->rowCount()) mView.JobFollowLine(line);
                                               },
                                               100);
    const std::vector<std::string> messages = observer.messages();
    for (const std::string& m : messages) report(m);
    if (!crash.empty()) {
        out.Ok = false;
        out.Error = crash;
    }
    // The translator may already have shown its error as a message.
    for (const std::string& m : messages)
        if (m == out.Error) out.Error.clear();
    std::shared_ptr<view3d::SkeletonNodes> nodes;
    if (skeleton) nodes = std::make_shared<view3d::SkeletonNodes>(skeleton->Take());
    skeleton.reset();
    return showConversion(out, in, std::move(nodes));
}

bool JobRoad::showConversion(JobConversionOutput& out, const JobConversionInput& in,
                             std::shared_ptr<view3d::SkeletonNodes> skeleton)
{
    mRelativeLeft = out.RelativeAtEnd;
    auto reenable = [this] {
        for (JobItem item : {JobItem::Create, JobItem::Read, JobItem::Save}) enable(item, true);
        mJobRunning = false;
        setStatus(4, "");
    };
    if (mMode == 1 && out.SctFailed) {
        common().StopRequested = 1;
        mView.JobSctCommandOffered(false);
        reenable();
        if (!out.Stopped) report(out.Error);
        showIncoherentLine(out.IncoherentLine);
        return false;
    }
    const bool newSct = mMode == 1 && (in.RebuildSct || out.SctList);
    if (newSct) {
        // A new list: the drawing of the old one goes with it.
        if (mView3D && out.SctList != mSctList) mView3D->ClearSct();
        mSctList = out.SctList;
        mSctBuilt = true;
    }
    if (!mLineTable.empty())
        ReleaseInBackground([table = std::exchange(mLineTable, {})]() mutable { std::vector<tclpath::LineRecord>().swap(table); });
    mLineTable = std::move(out.LineTable);
    if (!mLineTable.empty()) mView.JobGroupSelection(true);
    mPvtFileCount = out.PvtFileCount;
    const bool scriptEmpty = out.ScriptBytes() == 0;
    // The PVT page's names are taken from the conversion's files by a worker, and the files'
    // records go there too.
    gcode::LineList names;
    const std::string crash = mView.JobRunLive(
        [&] {
            std::size_t bytes = 0;
            for (const tclpath::PvtFile& f : out.PvtFiles) bytes += f.Name.size();
            names.reserve(out.PvtFiles.size(), bytes);
            for (const tclpath::PvtFile& f : out.PvtFiles) names.push_back(f.Name);
            std::vector<tclpath::PvtFile>().swap(out.PvtFiles);
        },
        {}, 100);
    if (!crash.empty()) report(crash);
    fillViews(out, newSct, true);

    bool ok = out.Ok;
    if (!ok) {
        common().StopRequested = 1;
        if (!out.Stopped) report(out.Error);
    }
    // The worker wrote the PVT files to the output folder: the PVT page shows them from there.
    if (!out.WriteError.empty()) {
        report(out.WriteError);
        ok = false;
    }
    if (names.empty()) names.push_back("TRJ1.PVT");
    const std::string firstName(names.front());
    mLoadingPvt = true;
    mView.JobPvtFiles(std::move(names));
    mLoadingPvt = false;

    if (ok && mMode != 3 && !simulation()) {
        // The worker wrote the script.
        setStatus(4, T("stringloadingTCL"));
        if (!out.ScriptWritten) {
            report(out.ScriptWriteError);
            ok = false;
        } else if (!mBatchMode) {
            mView.JobMessage(T("Stringonetcland") + " " + num::integer(mPvtFileCount) + " " + T("stringPVTcreated"));
        }
    }
    loadPvtChoice(firstName);
    if (ok && mMode != 3 && !simulation()) {
        ok = uploadAll(true);
        mUploadFailed = !ok;
    }

    mLastDrawing = std::move(out.Drawing);
    mDrawingShown = mView3D != nullptr;
    if (mView3D && skeleton) {
        mView3D->ShowJobSkeleton(std::move(skeleton));
    } else if (mView3D) {
        mView3D->SetJobPath(mLastDrawing, in.Config.CurrentPosition);
        // The view holds the path now: no second copy of it is kept.
        std::vector<PathSegment>().swap(mLastDrawing);
    }

    setStatus(4, "");
    lineCountStatus();
    mConverted = ok;
    // Execute and verify only follow a conversion (and upload) that succeeded.
    enable(JobItem::Execute, ok && !simulation());
    enable(JobItem::Verify, ok && !simulation());
    enable(JobItem::SaveAll, ok);
    enable(JobItem::PrintTcl, ok && !scriptEmpty);
    reenable();
    mView.JobSctCommandOffered(true);
    showIncoherentLine(out.IncoherentLine);
    return ok;
}

void JobRoad::fillViews(JobConversionOutput& out, bool withSct, bool withTcl)
{
    std::unique_ptr<PreparedText> sct = withSct ? mView.JobPrepareText(JobTextView::Sct, out.SctText.size()) : nullptr;
    // A little room beyond the text: a view's buffer that grows at its last byte is copied whole.
    const std::size_t scriptRoom = out.ScriptBytes() + out.ScriptBytes() / 256 + 65536;
    std::unique_ptr<PreparedText> tcl = withTcl ? mView.JobPrepareText(JobTextView::Tcl, scriptRoom) : nullptr;
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    const std::string crash = mView.JobRunLive(
        [&] {
            // What the conversion's workers freed goes back to the system before the views grow.
            ReturnFreedMemory();
            if (sct) {
                for (std::size_t at = 0; at < out.SctText.size(); at += kChunk)
                    sct->Append(std::string_view(out.SctText).substr(at, kChunk));
            }
            std::string().swap(out.SctText);
            // The script on disk is read back from there: the view's copy is the only one.
            if (tcl && out.ScriptFileBytes > 0) {
                std::ifstream file(out.ScriptFile, std::ios::binary);
                std::string chunk(kChunk, '\0');
                std::size_t left = out.ScriptFileBytes;
                for (int n = 1; file && left > 0; ++n) {
                    file.read(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), left)));
                    const std::streamsize got = file.gcount();
                    if (got <= 0) break;
                    tcl->Append(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
                    left -= static_cast<std::size_t>(got);
                    // The document's line index grows by copies: the old ones go back as it grows.
                    if (n % 32 == 0) ReturnFreedMemory();
                }
            }
            if (out.ScriptFileTemporary) std::remove(out.ScriptFile.c_str());
            if (tcl) {
                for (std::size_t at = 0; at < out.ScriptText.size(); at += kChunk)
                    tcl->Append(std::string_view(out.ScriptText).substr(at, kChunk));
            }
            std::string().swap(out.ScriptText);
            // And what the documents' growth left behind.
            ReturnFreedMemory();
        },
        {}, 100);
    if (!crash.empty()) report(crash);
    // Showing a document costs the window's thread time in its line count (about 25 ms for the
    // 4 million lines of a million-line program's script): the window's events run after each.
    if (sct) {
        mView.JobShowPrepared(JobTextView::Sct, std::move(sct));
        mView.JobLetEventsRun();
    }
    if (tcl) {
        mView.JobShowPrepared(JobTextView::Tcl, std::move(tcl));
        mView.JobLetEventsRun();
    }
}

void JobRoad::showIncoherentLine(int row)
{
    if (row < 0 || row >= mModel->rowCount()) return;
    // The line in the list and in the edit box, ready to be corrected.
    mView.JobGroupSelection(false);
    setStatus(0, "");
    mView.JobShowPage(JobPage::Gcode);
    mView.JobShowLine(row, std::string(mModel->lines()[static_cast<std::size_t>(row)]));
}

bool JobRoad::uploadAll(bool withScript)
{
    if (!mLink) {
        report(kNoLink);
        return false;
    }
    const int total = mPvtFileCount + (withScript ? 1 : 0);
    int index = 0;
    auto fileOf = [&] { return " (file " + num::integer(index) + " of " + num::integer(total) + ")"; };
    // STOP ends the upload at the next file; what is on the controller then is no whole job.
    auto stopped = [&] {
        if (common().StopRequested.load() == 0) return false;
        setStatus(4, "");
        report("STOP: upload ended after " + num::integer(index) + " of " + num::integer(total) + " files");
        return true;
    };
    std::string err;
    if (withScript) {
        if (stopped()) return false;
        ++index;
        setStatus(4, T("stringloadingTCL") + fileOf());
        if (!mLink->PutScript(outputFolder(), kScriptName, err)) {
            report(err.empty() ? std::string(kScriptName) : err);
            return false;
        }
    }
    if (mPvtFileCount > 0) {
        // The files go as one series from the link's thread; the status follows the file on its
        // way (one update waiting at a time, so the series never waits for the window).
        struct Shown {
            std::atomic<int> file{0};
            std::atomic<bool> queued{false};
            std::atomic<bool> over{false};  // an update that comes after the series says nothing
        };
        const auto shown = std::make_shared<Shown>();
        const int first = index;
        QPointer<JobRoad> self(this);
        auto showFile = [this, shown, first, total] {
            shown->queued.store(false);
            if (shown->over.load()) return;
            const int i = shown->file.load();
            setStatus(4, T("stringloadingfile") + " \"" + pvtName(i) + "\" " + T("stringinKVX") + " (file " +
                             num::integer(first + i) + " of " + num::integer(total) + ")");
        };
        const auto count = static_cast<std::size_t>(mPvtFileCount);
        const auto name = [](std::size_t i) { return pvtName(static_cast<int>(i) + 1); };
        const std::size_t sent = mLink->PutTrajectories(outputFolder(), count, name, [&](std::size_t i) {
            if (common().StopRequested.load() != 0) return false;
            shown->file.store(static_cast<int>(i) + 1);
            if (!shown->queued.exchange(true))
                QMetaObject::invokeMethod(this, [self, showFile] {
                    if (self) showFile();
                }, Qt::QueuedConnection);
            return true;
        }, err);
        shown->over.store(true);
        index += static_cast<int>(sent);
        if (sent < count && !err.empty()) {
            report(err);
            return false;
        }
    }
    if (stopped()) return false;
    setStatus(4, "");
    return true;
}

void JobRoad::EnregistertoutClick()
{
    if (!mConverted || jobBusy()) return;
    BusyScope busy([this](bool on) { setBusy(on); });
    mBatchMode = false;  // a menu command
    common().StopRequested = 0;
    askSavePvtEdit();
    bool ok = true;
    if (mMode != 3 && !simulation()) {
        // The view's text (its user may have edited it), written by a worker.
        std::string err;
        const std::string text = tclText();
        bool written = false;
        const std::string crash =
            mView.JobRunLive([&] { written = WriteFileAtomic(outputFolder() + kScriptName, text, &err); }, {}, 100);
        if (!written) {
            report(crash.empty() ? err : crash);
            ok = false;
        }
    }
    if (ok && !simulation()) {
        enable(JobItem::PrintTcl, true);
        ok = uploadAll(mMode != 3);
    }
    enable(JobItem::Execute, ok && !simulation());
    enable(JobItem::Verify, ok && !simulation());
    enable(JobItem::Create, true);
}

bool JobRoad::askSavePvtEdit()
{
    if (!mPvtEdited || mPvtEditedName.empty()) return false;
    mPvtEdited = false;
    if (mBatchMode) return false;
    if (!mView.JobConfirm(mPvtEditedName + " modified. Save-it ?")) return false;
    std::string err;
    if (!WriteFileAtomic(outputFolder() + mPvtEditedName, mView.JobViewText(JobTextView::Pvt), &err)) {
        report(err);
        return false;
    }
    return true;
}

void JobRoad::loadPvtChoice(const std::string& name)
{
    std::string data;
    mLoadingPvt = true;
    if (!name.empty() && readWholeFile(outputFolder() + name, data)) mView.JobSetText(JobTextView::Pvt, data);
    else mView.JobClearText(JobTextView::Pvt);
    mLoadingPvt = false;
    mPvtEdited = false;
    mPvtEditedName = name;
}

void JobRoad::ComboBox1Change(const std::string& chosen)
{
    mBatchMode = false;  // only the user changes the choice
    askSavePvtEdit();
    loadPvtChoice(chosen);
}

void JobRoad::PvtTextEdited()
{
    if (!mLoadingPvt) mPvtEdited = true;
}

// ---------------------------------------------------------------------------------------------
// SCT drawing

void JobRoad::EffacertrajectoireSCT1Click()
{
    setStatus(4, T("Stringeffacementinuse"));
    if (mView3D) mView3D->EraseSct();
    mSctBuilt = false;
    setStatus(4, "");
}

void JobRoad::DessinerSCT1Click()
{
    setStatus(4, T("Stringdrawinginuse"));
    // The list is built from the line list only; nothing is converted or uploaded. A job step
    // that is running builds its own.
    if (!mSctBuilt && !mBusy) {
        BusyScope busy([this](bool on) { setBusy(on); });
        JobConversionInput in;
        in.Lines = mModel->shared();
        in.Config = machineConfig();
        in.GCodeDir = gcodeFolder();
        WorkerObserver observer(nullptr);
        JobConversionOutput out;
        setStatus(4, T("stringcreatingTCL"));
        const std::string crash = mView.JobRunLive([&] { out = BuildSctJob(in, observer); },
                                                   [&] {
                                                       const std::string st = observer.status();
                                                       if (!st.empty()) setStatus(0, st);
                                                   },
                                                   100);
        lineCountStatus();
        for (const std::string& m : observer.messages())
            if (m != out.Error) report(m);
        if (!crash.empty() || out.SctFailed) {
            mSctBuildFailed = true;
            if (!out.Stopped) report(crash.empty() ? out.Error : crash);
            setStatus(4, "");
            return;
        }
        setStatus(4, T("Stringdrawinginuse"));
        mRelativeLeft = out.RelativeAtEnd;
        if (mView3D) mView3D->ClearSct();
        mSctList = out.SctList;
        // The SCT list alone: the TCL view stays as it is.
        fillViews(out, true, false);
        mSctBuilt = true;
    }
    drawSctList();
    setStatus(4, "");
}

void JobRoad::drawSctList()
{
    // Ttraject.DrawAll: the elements draw nothing while the 3D page is not shown.
    if (!mView3D || !mSctList || mView.JobCurrentPage() != JobPage::View3D) return;
    mView3D->DrawSct(*mSctList, machineConfig().CurrentPosition);
}

void JobRoad::TrimExecutedPath(bool clear)
{
    if (mView3D) mView3D->TrimExecutedPath(clear);
}

// ---------------------------------------------------------------------------------------------
// Init, execute, stop, verify

bool JobRoad::Init1Click(bool withSender)
{
    if (simulation()) return false;
    // Killing and homing under a running job step would move the machine under it.
    if (jobBusy()) return false;
    BusyScope busy([this](bool on) { setBusy(on); });
    BatchScope batch(mBatchMode, !withSender);
    if (!mLink) {
        report(kNoLink);
        return false;
    }
    setStatus(4, T("Stringinitinuse"));
    const std::string group = machineConfig().GroupName;
    std::string step;
    const int code = mLink->InitialiseGroup(group, step);
    setStatus(4, "");
    if (code != 0) {
        // Never go on to execute after a failed initialisation.
        report("Init " + group + " : " + step + " " + num::integer(code) + " " + mLink->ErrorString(code));
        // The group is in no known state: the script waits for a successful Init.
        if (mMode != 3) enable(JobItem::Execute, false);
        return false;
    }
    if (mMode != 3) enable(JobItem::Execute, mConverted);
    return true;
}

bool JobRoad::initialise()
{
    mBatchMode = true;
    if (simulation()) return true;
    return Init1Click(false);
}

bool JobRoad::canExecute() const
{
    if (jobBusy() || simulation() || !mGCodeLoaded) return false;
    return mMode == 3 || (mConverted && mLink);
}

bool JobRoad::BitBtnExecuteKVXClick(bool withSender)
{
    bool started = false;
    return runExecute(withSender, started);
}

bool JobRoad::runExecute(bool withSender, bool& started)
{
    started = false;
    if (!canExecute()) return false;
    BusyScope busy([this](bool on) { setBusy(on); });
    BatchScope batch(mBatchMode, !withSender);
    if (!withSender && mView.JobPageOnScreen(JobPage::View3D)) mView.JobShowPage(JobPage::View3D);
    enable(JobItem::Execute, false);
    enable(JobItem::LineEdit, false);
    bool ok = false;
    if (mMode == 3) {
        enable(JobItem::Abort, true);
        mAbortRequested = 0;
        started = true;
        // The direct mode executes while converting: the conversion is this step's own.
        setBusy(false);
        ok = BitBtnCreateKVXFileClick(withSender);
        setBusy(true);
        enable(JobItem::Abort, false);
    } else {
        setStatus(4, T("stringrun") + " " + kScriptName);
        enable(JobItem::Create, false);
        enable(JobItem::Verify, false);
        common().StopRequested = 0;
        mJobRunning = true;
        ScriptOutcome outcome;
        mView.JobRunLive([&] { outcome = mLink->ExecuteScript(kScriptName, "GCODE", " ", common().StopRequested); },
                         {}, 200);
        started = outcome.Sent;
        const std::string& answer = outcome.Answer;
        std::string a = answer;
        gtext::RemoveSpaces(a);
        std::string explanation;
        const std::optional<long long> code = num::parseIntStrict(a);
        if (code && *code != 0) explanation = mLink->ErrorString(static_cast<int>(*code));
        else if (code) explanation = "O.K.";
        ok = code && *code == 0 && common().StopRequested == 0;
        mJobRunning = false;
        setStatus(4, "");
        const std::string result =
            T("stringscriptexecuted") + "§" + T("stringresult") + " : " + answer + "§ -> " + explanation;
        if (!mBatchMode) mView.JobMessage(result);
        // Without a user the run's end is said only when it failed, in the status bar and the log.
        else if (!ok) report(a.empty() && common().StopRequested != 0 ? T("stringscriptexecuted") + "§STOP" : result);
        enable(JobItem::Verify, !simulation());
        enable(JobItem::Create, true);
    }
    enable(JobItem::Execute, true);
    PageChange();
    return ok;
}

bool JobRoad::execute()
{
    mBatchMode = true;
    // Nothing runs in simulation; that is not a failure of the batch.
    if (simulation()) return true;
    return BitBtnExecuteKVXClick(false);
}

bool JobRoad::BitBtnExecutelineClick()
{
    if (jobBusy() || !mGCodeLoaded || simulation() || !mDirectExecutor) return false;
    const int row = mView.JobCurrentLine();
    const gcode::LineList& all = mModel->lines();
    if (row < 0 || row >= static_cast<int>(all.size())) return false;
    BusyScope busy([this](bool on) { setBusy(on); });
    const std::string line(all[static_cast<std::size_t>(row)]);
    enable(JobItem::ExecuteLine, false);
    mJobRunning = true;
    common().StopRequested = 0;
    mAbortRequested = 0;

    MachineConfig config = machineConfig();
    config.DirectMode = true;
    if (mBeforeConversion) mBeforeConversion(config);
    WorkerObserver observer(&mAbortRequested);
    gcode::Status status;
    bool lastWorking = mLastLineMoveWorking;
    // Off the GUI thread: the move waits for the controller while STOP, Next and Abort work.
    const std::string crash = mView.JobRunLive(
        [&] { status = tclpath::ExecuteGCodeLine(line, config, *mDirectExecutor, lastWorking, &observer); }, {}, 100);
    for (const std::string& m : observer.messages()) report(m);
    if (!crash.empty()) report(crash);
    mLastLineMoveWorking = lastWorking;
    mJobRunning = false;
    PageChange();
    return crash.empty() && !status;
}

void JobRoad::BitBtn7Click()
{
    if (mVerifyRunning) {
        mVerifyRunning = false;
        return;
    }
    common().StopRequested = 1;
    // One kill at a time: the kill's wait dispatches events, so a STOP that arrives meanwhile
    // is the same stop (else a burst of them nests wait in wait until the stack ends).
    if (mStopInFlight || simulation() || !mLink) return;
    BusyScope stopping([this](bool on) { mStopInFlight = on; });
    mLink->KillAll();
}

bool JobRoad::canVerify() const { return !jobBusy() && !simulation() && mLink && mConverted; }

bool JobRoad::BitBtnVerifyPVTClick(bool withSender)
{
    if (!canVerify()) return false;
    BusyScope busy([this](bool on) { setBusy(on); });
    BatchScope batch(mBatchMode, !withSender);
    enable(JobItem::Verify, false);
    common().StopRequested = 0;
    mVerifyStarted = false;
    // One connection for the whole check, and no position reading between the files.
    if (!mLink->HoldConnection(10.0)) {
        report("PVT check: no free connection to the controller");
        enable(JobItem::Verify, true);
        return false;
    }
    mVerifyStarted = true;
    const bool polling = mPoll && mPoll->active();
    if (mPoll) mPoll->stop();
    // Given back however the check ends.
    const std::unique_ptr<void, std::function<void(void*)>> restore(this, [this, polling](void*) {
        mVerifyRunning = false;
        mLink->ReleaseHeldConnection();
        if (polling && mPoll) mPoll->start(mSet.EncoderPeriod);
    });
    mVerifyRunning = true;
    const std::string group = machineConfig().GroupName;
    int failed = 0;
    for (int i = 1; i <= mPvtFileCount && mVerifyRunning; ++i) {
        const int code = mLink->MultipleAxesPVTVerification(group, pvtName(i));
        mView.JobLetEventsRun();
        if (code != 0) {
            ++failed;
            // The parameters window is a dialog: never in batch fashion.
            std::optional<bool> goOn;
            if (!mBatchMode) goOn = mView.JobPvtParameters(pvtName(i));
            if (!goOn) report(pvtName(i) + " : " + num::integer(code) + " " + mLink->ErrorString(code));
            else if (!*goOn) mVerifyRunning = false;
        }
    }
    const bool completed = mVerifyRunning;
    mVerifyRunning = false;
    if (failed == 0 && completed && !mBatchMode) mView.JobMessage(T("StringPVTsucces") + " " + num::integer(mPvtFileCount));
    enable(JobItem::Verify, true);
    return failed == 0 && completed;
}

void JobRoad::NextClick()
{
    mNextBlock = 1;
    enable(JobItem::Next, false);
}

void JobRoad::AbortClick()
{
    mAbortRequested = 1;
    enable(JobItem::Next, false);
    lineCountStatus();
}

// ---------------------------------------------------------------------------------------------
// Batch and remote control

void JobRoad::activated()
{
    if (mBatch) mBatch->onActivated(*this);
}

void JobRoad::reduceLayout() { mView.JobReduceLayout(); }
void JobRoad::closeProgram() { mView.JobCloseProgram(); }

bool JobRoad::JobInit() { return enabled(JobItem::Init) && !simulation() && Init1Click(false); }
bool JobRoad::JobExtend() { return mView.JobWindow(JobWindowCommand::Extend); }
bool JobRoad::JobReduce() { return mView.JobWindow(JobWindowCommand::Reduce); }
bool JobRoad::JobShow() { return mView.JobWindow(JobWindowCommand::Show); }
bool JobRoad::JobHide() { return mView.JobWindow(JobWindowCommand::Hide); }
bool JobRoad::JobShow3D() { return mView.JobWindow(JobWindowCommand::Show3D); }

bool JobRoad::JobRead(const std::string& fileName)
{
    if (!enabled(JobItem::Read)) return false;
    mBatchMode = true;
    std::string name = fileName;
    gtext::RemoveSpaces(name);
    gtext::RemoveLineBreaks(name);
    if (name.empty() || name.find('/') != std::string::npos) return false;
    // Remembered as the command line names the same file (lower-cased), so the next plain batch
    // of it is not refused as another file.
    std::string last = name;
    for (char& c : last)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return loadFile(gcodeFolder() + name, false, gcodeFolder() + last);
}

bool JobRoad::JobDraw(const std::string& fileName)
{
    if (!JobRead(fileName)) return false;
    if (!enabled(JobItem::Create)) return false;
    // In the direct mode the execution is the conversion: converting first would run the job
    // twice.
    if (mMode != 3) BitBtnCreateKVXFileClick(false);
    return JobExecute();
}

bool JobRoad::JobCreate() { return enabled(JobItem::Create) && BitBtnCreateKVXFileClick(false); }

// "FAILED" only when nothing happened: a client that runs again on FAILED must never run a job
// twice. A run that failed is said in the status bar and the log.
bool JobRoad::JobExecute()
{
    if (!enabled(JobItem::Execute)) return false;
    bool started = false;
    runExecute(false, started);
    return started;
}

bool JobRoad::JobVerify()
{
    if (!enabled(JobItem::Verify) || !canVerify()) return false;
    BitBtnVerifyPVTClick(false);
    return mVerifyStarted;
}

bool JobRoad::JobMode(int mode)
{
    // The running step goes on in the mode it began in.
    if (jobBusy()) return false;
    if (mode == 1 || mode == 2) {
        applyMode(mode, true);
        return true;
    }
    if (mode == 3) {
        applyMode(3, true);
        return mMode == 3;
    }
    return false;
}

bool JobRoad::JobStop()
{
    if (!enabled(JobItem::Stop)) return false;
    BitBtn7Click();
    return true;
}

}  // namespace mvx
