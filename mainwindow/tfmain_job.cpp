// The job road of the main window: read, line edits, convert and upload, init, execute,
// stop, verify, printing, and the remote-control operations.
#include "tfmain.h"

#include "aboutbox.h"
#include "gcodelistmodel.h"
#include "jobconversion.h"
#include "joblink.h"
#include "jobworker.h"
#include "mainwindowtexts.h"
#include "tfaxes.h"
#include "pvtparameters.h"
#include "tfio.h"
#include "tfmain_util.h"

#include "app/common.h"
#include "app/dialogs.h"
#include "app/fileutil.h"
#include "app/inifile.h"
#include "app/language.h"
#include "translator/gcodetext.h"
#include "translator/numtext.h"
#include "translator/scttraject.h"
#include "translator/tclconvert.h"
#include "translator/tclscript.h"
#include "translator/texts.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPainter>
#include <QPrintDialog>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <Qsci/qscilexertcl.h>
#include <Qsci/qsciprinter.h>
#include <Qsci/qsciscintilla.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>

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
    std::mutex mMutex;
    std::string mStatus;
    std::vector<std::string> mMessages;
    std::atomic<int> mLine{-1};
};

// Marks a job step as running; a second step started while it waits (a click or a remote
// command dispatched by the wait) is refused instead of running inside it.
// Prints the title at the top of every page.
class TitledPrinter : public QsciPrinter {
public:
    explicit TitledPrinter(const std::string& title) : mTitle(QString::fromStdString(title)) { setDocName(mTitle); }
    void formatPage(QPainter& painter, bool drawing, QRect& area, int pageNumber) override
    {
        const int h = painter.fontMetrics().height() * 2;
        if (drawing)
            painter.drawText(area.left(), area.top() + painter.fontMetrics().ascent(),
                             mTitle + "   " + QString::number(pageNumber));
        area.setTop(area.top() + h);
    }

private:
    QString mTitle;
};

constexpr const char* kNoLink = "KVX : no controller link";

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

}  // namespace

using namespace mainui;

// ---------------------------------------------------------------------------------------------
// Read

void TFmain::clearViewsForRead()
{
    if (mView3D) mView3D->ClearJobDrawings();
    // The previous file's SCT list goes now, not at the next build (it may hold millions of
    // elements).
    mSctList.reset();
    mLastDrawing.clear();
    mDrawingShown = false;
    mLoadingPvt = true;
    mPvtView->clear();
    mLoadingPvt = false;
    mPvtEdited = false;
    mTclView->clear();
    mSctView->clear();
}

bool TFmain::BitBtnReadGcodeClick(bool withSender)
{
    if (jobBusy()) return false;
    std::string path;
    if (withSender) {
        mBatchMode = false;
        const std::string proposed = mBatch ? mBatch->commandLine().CommandFile : std::string();
        if (mOpenDialog) {
            path = mOpenDialog(gcodeFolder(), proposed);
        } else {
            path = runFileDialog(mOpenDialog1, gcodeFolder(), proposed);
        }
        if (path.empty()) return false;
    } else {
        if (!mBatch || mBatch->commandLine().CommandMode == 0) return false;
        mBatchMode = true;
        path = mBatch->commandLine().CommandFile;
        if (path.find('/') == std::string::npos) path = gcodeFolder() + path;
    }
    return loadFile(path, true, path);
}

bool TFmain::readFile(const std::string& path)
{
    mBatchMode = true;
    return loadFile(path, true, path);
}

bool TFmain::loadFile(const std::string& path, bool normalise, const std::string& lastName)
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
    mRead->setEnabled(false);
    std::string data;
    std::string refusal;
    std::string error = RunInWorker([&] { readGCodeFile(found, data, refusal); }, {});
    if (error.empty()) error = refusal;
    if (!error.empty()) {
        mRead->setEnabled(true);
        report(error);
        return false;
    }

    if (IniFile* ini = SettingsIni()) ini->writeString("TRAJECTORY", "LAST", lastName);
    mLastFile = lastName;
    if (simulation()) {
        EmptyFolder(outputFolder());
        mPrintGcode->setEnabled(false);
        mPrintTcl->setEnabled(false);
    }
    clearViewsForRead();
    setStatus(4, T("Stringloadinginuse"));
    setStatus(4, T("stringfileloaded") + baseName(found));
    showTab(mTabGcode);

    std::vector<std::string> lines;
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> total{0};
    error = RunInWorker(
        [&] {
            std::vector<std::string> raw = splitLines(data);
            std::string().swap(data);
            total = raw.size();
            if (!normalise) {
                lines = std::move(raw);
            } else {
                lines.reserve(raw.size() + raw.size() / 16);
                for (std::size_t i = 0; i < raw.size(); ++i) {
                    for (std::string& piece : gtext::SplitAtSecondG(gtext::InsertBlanksBeforeCapitals(raw[i])))
                        lines.push_back(std::move(piece));
                    std::string().swap(raw[i]);
                    if ((i & 1023) == 0) done = i + 1;
                }
            }
            done = total.load();
        },
        [&] {
            if (total > 0)
                setStatus(0, T("Stringline") + " : " + num::integer(static_cast<long long>(done.load())) + "/" +
                                 num::integer(static_cast<long long>(total.load())));
        });
    mRead->setEnabled(true);
    if (!error.empty()) {
        setStatus(4, "");
        setStatus(0, "");
        report(error);
        return false;
    }
    const std::size_t count = lines.size();
    mModel->setLines(std::move(lines));
    finishRead(baseName(found), count);
    return true;
}

void TFmain::finishRead(const std::string& displayName, std::size_t count)
{
    setStatus(4, "");
    setStatus(0, "");
    ResetJobButtons();
    mFileName = displayName;
    mEdit3->setText(QString::fromStdString(displayName));
    mSave->setEnabled(true);
    mPrintGcode->setEnabled(true);
    mCreate->setEnabled(true);
    mExecLine->setEnabled(!simulation());
    setStatus(0, num::integer(static_cast<long long>(count)) + " lines");
    mLineTable.clear();
    mList->setSelectionMode(QAbstractItemView::SingleSelection);
    mGCodeLoaded = true;
    PageChange();
}

void TFmain::ResetJobButtons()
{
    mVerify->setEnabled(false);
    mExecute->setEnabled(mMode == 3 && !simulation());
    mPrintTcl->setEnabled(false);
    mSaveAll->setEnabled(false);
    mSctBuilt = false;
    mSctBuildFailed = false;
    mConverted = false;
}

// ---------------------------------------------------------------------------------------------
// Line list editing

void TFmain::BitBtn1Click()
{
    std::string path;
    if (mSaveDialog) path = mSaveDialog(gcodeFolder(), mFileName);
    else
        path = runFileDialog(mSaveDialog1, gcodeFolder(), mFileName);
    if (path.empty()) return;
    std::string err;
    if (!WriteFileAtomic(path, joinLines(mModel->lines(), "\r\n"), &err)) {
        report(err);
        return;
    }
    mFileName = baseName(path);
    mEdit3->setText(QString::fromStdString(mFileName));
}

void TFmain::BitBtn8Click()
{
    // Not while a job step runs on these lines (its wait dispatches clicks).
    if (mBusy) return;
    mModel->insertLine(static_cast<int>(mModel->lines().size()), mEdit2->text().toStdString());
    mLineTable.clear();
    ResetJobButtons();
}

void TFmain::BitBtn9Click()
{
    if (mBusy) return;
    const int row = mList->currentIndex().isValid() ? mList->currentIndex().row() : 0;
    mModel->insertLine(row, mEdit2->text().toStdString());
    mLineTable.clear();
    ResetJobButtons();
}

void TFmain::BitBtn10Click()
{
    if (mBusy) return;
    if (!mList->currentIndex().isValid()) return;
    mModel->setLine(mList->currentIndex().row(), mEdit2->text().toStdString());
    mLineTable.clear();
    ResetJobButtons();
}

void TFmain::BitBtn11Click()
{
    if (mBusy) return;
    if (!mList->currentIndex().isValid()) return;
    mModel->removeLine(mList->currentIndex().row());
    mLineTable.clear();
    ResetJobButtons();
}

void TFmain::ListBox1Click()
{
    const QModelIndex cur = mList->currentIndex();
    if (!cur.isValid()) return;
    const int row = cur.row();
    mEdit2->setText(QString::fromStdString(mModel->lines()[static_cast<std::size_t>(row)]));
    if (mLineTable.size() != mModel->lines().size()) return;
    const int group = mLineTable[static_cast<std::size_t>(row)].Group;
    QItemSelection sel;
    int first = -1, last = -1;
    if (group > 0) {
        int runStart = -1;
        const int n = static_cast<int>(mLineTable.size());
        for (int i = 0; i <= n; ++i) {
            const bool in = i < n && mLineTable[static_cast<std::size_t>(i)].Group == group;
            if (in && runStart < 0) runStart = i;
            if (!in && runStart >= 0) {
                sel.select(mModel->index(runStart), mModel->index(i - 1));
                if (first < 0) first = runStart;
                last = i - 1;
                runStart = -1;
            }
        }
    }
    mList->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
    if (mShowLineOrigin && first >= 0) {
        std::string head = first == last ? "line number " + num::integer(first + 1)
                                         : "lines number " + num::integer(first + 1) + " to " + num::integer(last + 1);
        ShowMsg(head + "§group number " + num::integer(group) + "§" + mLineTable[static_cast<std::size_t>(row)].Text());
    }
}

// ---------------------------------------------------------------------------------------------
// Convert and upload

bool TFmain::BitBtnCreateKVXFileClick(bool withSender)
{
    if (jobBusy()) return false;
    BusyScope busy([this](bool on) { setBusy(on); });
    if (!mGCodeLoaded) return false;
    mBatchMode = !withSender;
    common().StopRequested = 0;
    mAbortRequested = 0;
    if (mMode != 3) showTab(mTabTcl);
    for (QPushButton* b : {mCreate, mExecute, mVerify, mRead, mSave}) b->setEnabled(false);
    mSaveAll->setEnabled(false);
    mConverted = false;
    mUploadFailed = false;
    mLoadingPvt = true;
    mPvtView->clear();
    mLoadingPvt = false;
    mPvtEdited = false;

    JobConversionInput in;
    in.Lines = std::make_shared<const std::vector<std::string>>(mModel->lines());
    in.Config = machineConfig();
    if (mBeforeConversion) mBeforeConversion(in.Config);
    in.Mode = mMode;
    in.SctList = mSctList;
    in.RebuildSct = !mSctBuilt || mRelativeLeft || !mSctList;
    in.GCodeDir = gcodeFolder();
    in.OutputDir = outputFolder();
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
    JobConversionOutput out;
    const std::string crash = RunInWorker([&] { out = ConvertJob(in, observer); },
                                          [&] {
                                              const std::string s = observer.status();
                                              if (!s.empty()) setStatus(0, s);
                                              // The list follows the conversion.
                                              const int line = observer.line();
                                              if (line >= 0 && line < mModel->rowCount())
                                                  mList->setCurrentIndex(mModel->index(line));
                                          });
    const std::vector<std::string> messages = observer.messages();
    for (const std::string& m : messages) report(m);
    if (!crash.empty()) {
        out.Ok = false;
        out.Error = crash;
    }
    // The translator may already have shown its error as a message.
    for (const std::string& m : messages)
        if (m == out.Error) out.Error.clear();
    mRelativeLeft = out.RelativeAtEnd;

    auto reenable = [this] {
        for (QPushButton* b : {mCreate, mRead, mSave}) b->setEnabled(true);
        mJobRunning = false;
        setStatus(4, "");
    };
    if (mMode == 1 && out.SctFailed) {
        common().StopRequested = 1;
        mDessinerSct->setVisible(false);
        reenable();
        if (!out.Stopped) report(out.Error);
        showIncoherentLine(out.IncoherentLine);
        return false;
    }
    if (mMode == 1 && (in.RebuildSct || out.SctList)) {
        // A new list: the drawing of the old one goes with it.
        if (mView3D && out.SctList != mSctList) mView3D->ClearSct();
        mSctList = out.SctList;
        setViewText(mSctView, out.SctText);
        std::string().swap(out.SctText);
        mSctBuilt = true;
    }
    mLineTable = std::move(out.LineTable);
    if (!mLineTable.empty()) mList->setSelectionMode(QAbstractItemView::MultiSelection);
    mPvtFileCount = out.PvtFileCount;
    setViewText(mTclView, out.ScriptText);
    const bool scriptEmpty = out.ScriptText.empty();

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
    mLoadingPvt = true;
    mPvtChoice->clear();
    QStringList names;
    names.reserve(static_cast<qsizetype>(out.PvtFiles.size()));
    for (const tclpath::PvtFile& f : out.PvtFiles) names << QString::fromStdString(f.Name);
    if (names.isEmpty()) names << "TRJ1.PVT";
    mPvtChoice->addItems(names);
    mLoadingPvt = false;

    if (ok && mMode != 3 && !simulation()) {
        setStatus(4, T("stringloadingTCL"));
        std::string err;
        if (!WriteFileAtomic(outputFolder() + kScriptName, out.ScriptText, &err)) {
            report(err);
            ok = false;
        } else if (!mBatchMode) {
            ShowMsg(T("Stringonetcland") + " " + num::integer(mPvtFileCount) + " " + T("stringPVTcreated"));
        }
    }
    std::string().swap(out.ScriptText);
    mPvtChoice->setCurrentIndex(0);
    loadPvtChoice();
    if (ok && mMode != 3 && !simulation()) {
        ok = uploadAll(true);
        mUploadFailed = !ok;
    }

    mLastDrawing = std::move(out.Drawing);
    mDrawingShown = mView3D != nullptr;
    if (mView3D) mView3D->SetJobPath(mLastDrawing, in.Config.CurrentPosition);

    setStatus(4, "");
    setStatus(0, num::integer(static_cast<long long>(mModel->lines().size())) + " lines");
    mConverted = ok;
    // Execute and verify only follow a conversion (and upload) that succeeded.
    mExecute->setEnabled(ok && !simulation());
    mVerify->setEnabled(ok && !simulation());
    mSaveAll->setEnabled(ok);
    mPrintTcl->setEnabled(ok && !scriptEmpty);
    reenable();
    mDessinerSct->setVisible(mMode == 1 && mPvt1->isVisible());
    showIncoherentLine(out.IncoherentLine);
    return ok;
}

void TFmain::showIncoherentLine(int row)
{
    if (row < 0 || row >= mModel->rowCount()) return;
    // The line in the list and in the edit box, ready to be corrected.
    mList->setSelectionMode(QAbstractItemView::SingleSelection);
    setStatus(0, "");
    showTab(mTabGcode);
    mList->setCurrentIndex(mModel->index(row));
    mList->selectionModel()->select(mModel->index(row), QItemSelectionModel::ClearAndSelect);
    mEdit2->setText(QString::fromStdString(mModel->lines()[static_cast<std::size_t>(row)]));
}

bool TFmain::convert() { return BitBtnCreateKVXFileClick(false); }

bool TFmain::uploadAll(bool withScript)
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
    for (int i = 1; i <= mPvtFileCount; ++i) {
        if (stopped()) return false;
        ++index;
        const std::string name = "TRJ" + num::integer(i) + ".PVT";
        setStatus(4, T("stringloadingfile") + " \"" + name + "\" " + T("stringinKVX") + fileOf());
        if (!mLink->PutTrajectory(outputFolder(), name, err)) {
            report(err.empty() ? name : err);
            return false;
        }
    }
    if (stopped()) return false;
    setStatus(4, "");
    return true;
}

void TFmain::EnregistertoutClick()
{
    if (!mConverted || jobBusy()) return;
    BusyScope busy([this](bool on) { setBusy(on); });
    mBatchMode = false;  // a menu command
    common().StopRequested = 0;
    askSavePvtEdit();
    bool ok = true;
    if (mMode != 3 && !simulation()) {
        std::string err;
        if (!WriteFileAtomic(outputFolder() + kScriptName, tclText(), &err)) {
            report(err);
            ok = false;
        }
    }
    if (ok && !simulation()) {
        mPrintTcl->setEnabled(true);
        ok = uploadAll(mMode != 3);
    }
    mExecute->setEnabled(ok && !simulation());
    mVerify->setEnabled(ok && !simulation());
    mCreate->setEnabled(true);
}

bool TFmain::askSavePvtEdit()
{
    if (!mPvtEdited || mPvtEditedName.empty()) return false;
    mPvtEdited = false;
    if (mBatchMode) return false;
    if (MsgDialog(mPvtEditedName + " modified. Save-it ?", 0, MbYes | MbNo) != MrYes) return false;
    std::string err;
    if (!WriteFileAtomic(outputFolder() + mPvtEditedName, pvtText(), &err)) {
        report(err);
        return false;
    }
    return true;
}

void TFmain::loadPvtChoice()
{
    const std::string name = mPvtChoice->currentText().toStdString();
    std::string data;
    mLoadingPvt = true;
    if (!name.empty() && readWholeFile(outputFolder() + name, data)) setViewText(mPvtView, data);
    else mPvtView->clear();
    mLoadingPvt = false;
    mPvtEdited = false;
    mPvtEditedName = name;
}

void TFmain::ComboBox1Change()
{
    mBatchMode = false;  // only the user changes the choice
    askSavePvtEdit();
    loadPvtChoice();
}

// ---------------------------------------------------------------------------------------------
// SCT drawing

void TFmain::EffacertrajectoireSCT1Click()
{
    setStatus(4, T("Stringeffacementinuse"));
    if (mView3D) mView3D->EraseSct();
    mSctBuilt = false;
    setStatus(4, "");
}

void TFmain::DessinerSCT1Click()
{
    setStatus(4, T("Stringdrawinginuse"));
    // The list is built from the line list only; nothing is converted or uploaded. A job step
    // that is running builds its own.
    if (!mSctBuilt && !mBusy) {
        BusyScope busy([this](bool on) { setBusy(on); });
        JobConversionInput in;
        in.Lines = std::make_shared<const std::vector<std::string>>(mModel->lines());
        in.Config = machineConfig();
        in.GCodeDir = gcodeFolder();
        WorkerObserver observer(nullptr);
        JobConversionOutput out;
        setStatus(4, T("stringcreatingTCL"));
        const std::string crash = RunInWorker([&] { out = BuildSctJob(in, observer); }, [&] {
            const std::string st = observer.status();
            if (!st.empty()) setStatus(0, st);
        });
        setStatus(0, num::integer(static_cast<long long>(mModel->lines().size())) + " lines");
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
        setViewText(mSctView, out.SctText);
        mSctBuilt = true;
    }
    drawSctList();
    setStatus(4, "");
}

void TFmain::RedrawSct() { drawSctList(); }

void TFmain::drawSctList()
{
    // Ttraject.DrawAll: the elements draw nothing while the 3D page is not shown.
    if (!mView3D || !mSctList || mPages->currentWidget() != mTab3D) return;
    mView3D->DrawSct(*mSctList, machineConfig().CurrentPosition);
}

void TFmain::TrimExecutedPath(bool clear)
{
    if (mView3D) mView3D->TrimExecutedPath(clear);
}

// ---------------------------------------------------------------------------------------------
// Init, execute, stop, verify

bool TFmain::Init1Click(bool withSender)
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
        if (mMode != 3) mExecute->setEnabled(false);
        return false;
    }
    if (mMode != 3) mExecute->setEnabled(mConverted);
    return true;
}

bool TFmain::initialise()
{
    mBatchMode = true;
    if (simulation()) return true;
    return Init1Click(false);
}

bool TFmain::canExecute() const
{
    if (jobBusy() || simulation() || !mGCodeLoaded) return false;
    return mMode == 3 || (mConverted && mLink);
}

bool TFmain::BitBtnExecuteKVXClick(bool withSender)
{
    bool started = false;
    return runExecute(withSender, started);
}

bool TFmain::runExecute(bool withSender, bool& started)
{
    started = false;
    if (!canExecute()) return false;
    BusyScope busy([this](bool on) { setBusy(on); });
    BatchScope batch(mBatchMode, !withSender);
    if (!withSender && !mTab3D->isHidden()) showTab(mTab3D);
    mExecute->setEnabled(false);
    for (QPushButton* b : mLineEdit) b->setEnabled(false);
    bool ok = false;
    if (mMode == 3) {
        mDirect[3]->setEnabled(true);
        mAbortRequested = 0;
        started = true;
        // The direct mode executes while converting: the conversion is this step's own.
        setBusy(false);
        ok = BitBtnCreateKVXFileClick(withSender);
        setBusy(true);
        mDirect[3]->setEnabled(false);
    } else {
        setStatus(4, T("stringrun") + " " + kScriptName);
        mCreate->setEnabled(false);
        mVerify->setEnabled(false);
        common().StopRequested = 0;
        mJobRunning = true;
        ScriptOutcome outcome;
        RunInWorker([&] { outcome = mLink->ExecuteScript(kScriptName, "GCODE", " ", common().StopRequested); }, {},
                    200);
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
        const std::string result = T("stringscriptexecuted") + "§" + T("stringresult") + " : " + answer + "§ -> " + explanation;
        if (!mBatchMode) ShowMsg(result);
        // Without a user the run's end is said only when it failed, in the status bar and the log.
        else if (!ok) report(a.empty() && common().StopRequested != 0 ? T("stringscriptexecuted") + "§STOP" : result);
        mVerify->setEnabled(!simulation());
        mCreate->setEnabled(true);
    }
    mExecute->setEnabled(true);
    PageChange();
    return ok;
}

bool TFmain::execute()
{
    mBatchMode = true;
    // Nothing runs in simulation; that is not a failure of the batch.
    if (simulation()) return true;
    return BitBtnExecuteKVXClick(false);
}

bool TFmain::BitBtnExecutelineClick()
{
    if (jobBusy() || !mGCodeLoaded || simulation() || !mDirectExecutor) return false;
    const QModelIndex current = mList->currentIndex();
    const std::vector<std::string>& all = mModel->lines();
    if (!current.isValid() || current.row() >= static_cast<int>(all.size())) return false;
    BusyScope busy([this](bool on) { setBusy(on); });
    const std::string line = all[static_cast<std::size_t>(current.row())];
    mExecLine->setEnabled(false);
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
    const std::string crash = RunInWorker(
        [&] { status = tclpath::ExecuteGCodeLine(line, config, *mDirectExecutor, lastWorking, &observer); }, {});
    for (const std::string& m : observer.messages()) report(m);
    if (!crash.empty()) report(crash);
    mLastLineMoveWorking = lastWorking;
    mJobRunning = false;
    PageChange();
    return crash.empty() && !status;
}

void TFmain::BitBtn7Click()
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

bool TFmain::canVerify() const { return !jobBusy() && !simulation() && mLink && mConverted; }

bool TFmain::BitBtnVerifyPVTClick(bool withSender)
{
    if (!canVerify()) return false;
    BusyScope busy([this](bool on) { setBusy(on); });
    BatchScope batch(mBatchMode, !withSender);
    mVerify->setEnabled(false);
    common().StopRequested = 0;
    mVerifyStarted = false;
    // One connection for the whole check, and no position reading between the files.
    if (!mLink->HoldConnection(10.0)) {
        report("PVT check: no free connection to the controller");
        mVerify->setEnabled(true);
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
        const int code = mLink->MultipleAxesPVTVerification(group, "TRJ" + num::integer(i) + ".PVT");
        PumpMessage();
        if (code != 0) {
            ++failed;
            // The parameters window is a dialog: never in batch fashion.
            if (!mBatchMode && mPvtParameters) {
                mPvtParameters->setFileName("TRJ" + num::integer(i) + ".PVT");
                mPvtParameters->setCancelHook([this] { mVerifyRunning = false; });
                mPvtParameters->exec();
            }
            else report("TRJ" + num::integer(i) + ".PVT : " + num::integer(code) + " " + mLink->ErrorString(code));
        }
    }
    const bool completed = mVerifyRunning;
    mVerifyRunning = false;
    if (failed == 0 && completed && !mBatchMode) ShowMsg(T("StringPVTsucces") + " " + num::integer(mPvtFileCount));
    mVerify->setEnabled(true);
    return failed == 0 && completed;
}

void TFmain::NextClick()
{
    mNextBlock = 1;
    mDirect[2]->setEnabled(false);
}

void TFmain::AbortClick()
{
    mAbortRequested = 1;
    mDirect[2]->setEnabled(false);
    setStatus(0, num::integer(static_cast<long long>(mModel->lines().size())) + " lines");
}

// ---------------------------------------------------------------------------------------------
// Printing

void TFmain::PrintGcodeClick()
{
    // Printed from a document of its own: the SCT view keeps its text.
    QsciScintilla doc;
    doc.setUtf8(true);
    doc.setText(QString::fromStdString(joinLines(mModel->lines(), "\n")));
    if (mPrintHook) {
        mPrintHook(doc, mFileName);
        return;
    }
    TitledPrinter printer(mFileName);
    QPrintDialog dlg(&printer, this);
    if (dlg.exec() == QDialog::Accepted) printer.printRange(&doc);
}

void TFmain::PrintTclClick()
{
    const std::string title = mFileName + " TCL";
    if (mPrintHook) {
        mPrintHook(*mTclView, title);
        return;
    }
    TitledPrinter printer(title);
    QPrintDialog dlg(&printer, this);
    if (dlg.exec() == QDialog::Accepted) printer.printRange(mTclView);
}

// ---------------------------------------------------------------------------------------------
// Remote control

bool TFmain::JobInit() { return mInit1->isEnabled() && !simulation() && Init1Click(false); }

bool TFmain::JobExtend()
{
    if (!mExtend1->isEnabled() || !mExtend1->isVisible()) return false;
    applyLayout(true);
    return true;
}

bool TFmain::JobReduce()
{
    if (!mReduce1->isEnabled() || !mReduce1->isVisible()) return false;
    applyLayout(false);
    return true;
}

bool TFmain::JobShow()
{
    if (isVisible()) return false;
    show();
    return true;
}

bool TFmain::JobHide()
{
    if (!isVisible()) return false;
    hide();
    return true;
}

bool TFmain::JobRead(const std::string& fileName)
{
    if (!mRead->isEnabled()) return false;
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

bool TFmain::JobDraw(const std::string& fileName)
{
    if (!JobRead(fileName)) return false;
    if (!mCreate->isEnabled()) return false;
    // In the direct mode the execution is the conversion: converting first would run the job
    // twice.
    if (mMode != 3) BitBtnCreateKVXFileClick(false);
    return JobExecute();
}

bool TFmain::JobCreate() { return mCreate->isEnabled() && BitBtnCreateKVXFileClick(false); }

// "FAILED" only when nothing happened: a client that runs again on FAILED must never run a job
// twice. A run that failed is said in the status bar and the log.
bool TFmain::JobExecute()
{
    if (!mExecute->isEnabled()) return false;
    bool started = false;
    runExecute(false, started);
    return started;
}

bool TFmain::JobVerify()
{
    if (!mVerify->isEnabled() || !canVerify()) return false;
    BitBtnVerifyPVTClick(false);
    return mVerifyStarted;
}

bool TFmain::JobMode(int mode)
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

bool TFmain::JobShow3D()
{
    showTab(mTab3D);
    return mPages->currentWidget() == mTab3D;
}

bool TFmain::JobStop()
{
    if (!mStop->isEnabled()) return false;
    BitBtn7Click();
    return true;
}

void TFmain::JobStatusText(const std::string& text) { setStatus(4, text); }

}  // namespace mvx

