#include "tfmain.h"

#include "aboutbox.h"
#include "gcodelistmodel.h"
#include "app/livewait.h"
#include "mainwindowtexts.h"
#include "pvtparameters.h"
#include "tfaxes.h"
#include "tfio.h"
#include "tfcentrer.h"
#include "tfmain_util.h"
#include "remoteserver.h"
#include "view3d.h"

#include "app/appearance.h"
#include "core/common.h"
#include "app/dialogs.h"
#include "core/fileutil.h"
#include "core/inifile.h"
#include "core/windowgeometry.h"
#include "link/linksettings.h"
#include "app/language.h"
#include "translator/gcodetext.h"
#include "translator/numtext.h"
#include "translator/texts.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <Qsci/qscilexer.h>
#include <Qsci/qscilexertcl.h>
#include <Qsci/qsciprinter.h>
#include <Qsci/qsciscintilla.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

namespace mvx {

// Scintilla's document loader (the interface of its ILoader.h, which QScintilla does not
// install): a document filled on any one thread, then shown by a view. Not in an anonymous
// namespace: the objects are Scintilla's, of classes this file never sees.
class SciLoader {
public:
    virtual int Release() = 0;
    virtual int AddData(const char* data, std::ptrdiff_t length) = 0;
    virtual void* ConvertToDocument() = 0;

protected:
    ~SciLoader() = default;
};

namespace {

using namespace mainui;

QsciScintilla* makeView(QWidget* parent, const char* name, bool tcl)
{
    auto* v = new QsciScintilla(parent);
    v->setObjectName(name);
    v->setUtf8(true);
    v->setMarginLineNumbers(0, true);
    v->setMarginWidth(0, "00000000");
    const QFont font = CodeFont();
    v->setFont(font);
    v->setMarginsFont(font);
    if (tcl) {
        auto* lexer = new QsciLexerTCL(v);
        lexer->setDefaultFont(font);
        lexer->setFont(font);
        v->setLexer(lexer);
    }
    return v;
}

// Least width of a status-bar panel: the status texts get the most.
int statusPanelWidth(int panel) { return panel == 4 ? 200 : 90; }

QPushButton* makeButton(QWidget* parent, QLayout* layout, const char* name, const char* text)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    layout->addWidget(b);
    return b;
}

// A whole text into a view in one go, as UTF-8 bytes (no QString copy of a huge text).
void setViewText(QsciScintilla* view, const std::string& text)
{
    view->SendScintilla(QsciScintillaBase::SCI_SETTEXT, text.c_str());
    view->SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
    view->setCursorPosition(0, 0);
}

// Above this size a script is shown without colouring: the colours cost one byte per character.
constexpr std::size_t kStyledTextLimit = std::size_t{32} << 20;

// A view's document of this size or more is freed by a worker when the view leaves it.
constexpr long kBackgroundReleaseBytes = 1L << 20;

// The document is made by the worker's first Append: making it zero-fills its whole buffer,
// which costs the window's thread about 80 ms for a 211 MB script. Only the new document is
// touched by that message (the view's own state is neither read nor written), and the window
// takes the document only once the worker has ended.
class LoadedText : public PreparedText {
public:
    LoadedText(const QsciScintilla* view, std::size_t bytes, long options, bool styled)
        : mView(view), mBytes(bytes), mOptions(options), mStyled(styled)
    {
    }
    ~LoadedText() override
    {
        if (mLoader) mLoader->Release();
    }
    LoadedText(const LoadedText&) = delete;
    LoadedText& operator=(const LoadedText&) = delete;
    void Append(std::string_view text) override
    {
        if (mFailed || text.empty()) return;
        if (!mLoader && !make(mBytes)) {
            // No document could be made: the text is shown as a whole string instead.
            mGathered.append(text);
            return;
        }
        if (mLoader->AddData(text.data(), static_cast<std::ptrdiff_t>(text.size())) != 0) mFailed = true;
    }
    // The document with one reference for the caller; null when it could not be filled (the
    // text then is gathered(), when it could be kept).
    void* take()
    {
        if (!mLoader && !mFailed && mGathered.empty()) make(0);
        SciLoader* l = std::exchange(mLoader, nullptr);
        if (!l) return nullptr;
        if (mFailed) {
            l->Release();
            return nullptr;
        }
        return l->ConvertToDocument();
    }
    const std::string& gathered() const noexcept { return mGathered; }
    bool styled() const noexcept { return mStyled; }

private:
    bool make(std::size_t bytes)
    {
        mLoader = reinterpret_cast<SciLoader*>(
            mView->SendScintilla(QsciScintillaBase::SCI_CREATELOADER, static_cast<unsigned long>(bytes), mOptions));
        return mLoader != nullptr;
    }

    const QsciScintilla* mView;
    std::size_t mBytes;
    long mOptions;
    bool mStyled;
    SciLoader* mLoader = nullptr;
    bool mFailed = false;
    std::string mGathered;
};

std::string viewText(QsciScintilla* view)
{
    const long n = view->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    view->SendScintilla(QsciScintillaBase::SCI_GETTEXT, static_cast<unsigned long>(n + 1), out.data());
    out.resize(static_cast<std::size_t>(n));
    return out;
}

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

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation

TFmain::TFmain(QWidget* parent)
    : QMainWindow(parent), mJob(std::make_unique<JobRoad>(*this)), mReleases(std::make_unique<QThreadPool>())
{
    setObjectName("Fmain");
    mReleases->setMaxThreadCount(1);
    setWindowTitle("MOVANTRIX");
    RegisterMainWindowTexts();
    buildWidgets();
    buildMenus();
    RememberWindowPosition(this, true);
    RegisterTranslatedWindow(texts::Family::Translator, this);
    SetLanguageHook(texts::Family::Translator, [this](int n) {
        if (QAction* a = action(n == 2 ? "English1" : n == 3 ? "Other1" : "French1")) a->setChecked(true);
        refreshModeLabel();
        refreshSpeedBoxes();
        if (mView3DWidget) mView3DWidget->RefreshLegend();
    });
    FormCreate();
}

TFmain::~TFmain()
{
    // The documents being freed belong to the views: they are gone before the views go.
    mReleases.reset();
    // The hook captures this window.
    SetLanguageHook(texts::Family::Translator, {});
    // The road goes before the widgets: nothing they signal while they are taken down reaches it.
    for (QObject* child : findChildren<QObject*>()) disconnect(child, nullptr, this, nullptr);
}

void TFmain::buildWidgets()
{
    auto* central = new QWidget(this);
    auto* h = new QHBoxLayout(central);
    h->setContentsMargins(2, 2, 2, 2);

    // Left panel: file in use, simulation and mode labels, direct-mode buttons, job buttons, lamps.
    mLeftPanel = new QWidget(central);
    mLeftPanel->setObjectName("LeftPanel");
    mLeftPanel->setFixedWidth(176);
    auto* lv = new QVBoxLayout(mLeftPanel);
    lv->setContentsMargins(0, 0, 0, 0);
    mEdit3 = new QLineEdit(mLeftPanel);
    mEdit3->setObjectName("Edit3");
    mEdit3->setReadOnly(true);
    lv->addWidget(mEdit3);
    mSimulationLabel = new QLabel("SIMULATION", mLeftPanel);
    mSimulationLabel->setObjectName("LabelSimulation");
    mSimulationLabel->setStyleSheet("color: red; font-weight: bold;");
    lv->addWidget(mSimulationLabel);
    auto* modeRow = new QHBoxLayout;
    auto* modeCaption = new QLabel("Mode:", mLeftPanel);
    modeCaption->setObjectName("LabelModeCaption");
    modeCaption->installEventFilter(this);
    mModeLabel = new QLabel(mLeftPanel);
    mModeLabel->setObjectName("LabelMode");
    mModeLabel->installEventFilter(this);
    modeRow->addWidget(modeCaption);
    modeRow->addWidget(mModeLabel, 1);
    lv->addLayout(modeRow);
    mDirect[0] = makeButton(mLeftPanel, lv, "SpeedButtonBlock", "Block/block");
    mDirect[0]->setCheckable(true);
    mDirect[1] = makeButton(mLeftPanel, lv, "BitBtnWholeFile", "Whole file");
    mDirect[2] = makeButton(mLeftPanel, lv, "BitBtnNext", "Next");
    mDirect[3] = makeButton(mLeftPanel, lv, "BitBtnAbort", "Abort");
    mRead = makeButton(mLeftPanel, lv, "BitBtnReadGcode", "&Read Gcode File");
    mSave = makeButton(mLeftPanel, lv, "BitBtn1", "&Save Gcode File");
    mCreate = makeButton(mLeftPanel, lv, "BitBtnCreateKVXFile", "&Create KVX Files");
    mExecute = makeButton(mLeftPanel, lv, "BitBtnExecuteKVX", "&Execute KVX Files");
    mVerify = makeButton(mLeftPanel, lv, "BitBtnVerifyPVT", "&Verify all PVT files");
    mStop = makeButton(mLeftPanel, lv, "BitBtn7", "STOP");
    mStop->setStyleSheet("color: red; font-weight: bold;");
    mLampPanel = new QWidget(mLeftPanel);
    mLampPanel->setObjectName("PanelLamps");
    auto* lamps = new QHBoxLayout(mLampPanel);
    const char* lampTexts[5] = {"A", "M3", "M4", "M7", "M8"};
    for (int i = 0; i < 5; ++i) {
        auto* col = new QVBoxLayout;
        auto* lamp = new QLabel(mLampPanel);
        lamp->setObjectName(QString("Shape%1").arg(i + 1));
        lamp->setFixedSize(16, 16);
        lamp->setStyleSheet("background: silver; border-radius: 8px;");
        auto* text = new QLabel(lampTexts[i], mLampPanel);
        text->setObjectName(QString("LabelShape%1").arg(i + 1));
        col->addWidget(lamp);
        col->addWidget(text);
        lamps->addLayout(col);
    }
    lv->addWidget(mLampPanel);
    mStatusColumn = new QWidget(mLeftPanel);
    mStatusColumn->setObjectName("PanelStatusColumn");
    mStatusColumn->setAttribute(Qt::WA_StyledBackground, true);
    auto* sc = new QVBoxLayout(mStatusColumn);
    sc->setContentsMargins(0, 4, 0, 0);
    mStatusColumn->setVisible(false);
    lv->addWidget(mStatusColumn);
    lv->addStretch(1);
    h->addWidget(mLeftPanel);

    // Page control and right panel, behind a splitter.
    mSplitter = new QSplitter(Qt::Horizontal, central);
    mSplitter->setObjectName("Splitter1");
    mPages = new QTabWidget(mSplitter);
    mPages->setObjectName("PageControl1");

    mTabGcode = new QWidget;
    mTabGcode->setObjectName("TabSheetGcode");
    auto* gv = new QVBoxLayout(mTabGcode);
    mList = new QListView(mTabGcode);
    mList->setObjectName("ListBox1");
    mList->setFont(CodeFont());
    mList->setModel(mJob->model());
    mList->setUniformItemSizes(true);
    mList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    mList->viewport()->installEventFilter(this);
    mEdit2 = new QLineEdit(mTabGcode);
    mEdit2->setObjectName("Edit2");
    gv->addWidget(mList, 1);
    gv->addWidget(mEdit2);
    mPages->addTab(mTabGcode, "Edit Gcode");

    mTabTcl = new QWidget;
    mTabTcl->setObjectName("TabSheetTCL");
    auto* tv = new QVBoxLayout(mTabTcl);
    mTclView = makeView(mTabTcl, "SynEditTCL", true);
    tv->addWidget(mTclView);
    mPages->addTab(mTabTcl, "TCL");

    mTabPvt = new QWidget;
    mTabPvt->setObjectName("TabSheetPVT");
    auto* pv = new QVBoxLayout(mTabPvt);
    mPvtChoice = new QComboBox(mTabPvt);
    mPvtChoice->setObjectName("ComboBox1");
    // A job may write a hundred thousand files or more: their names are plain strings of a
    // list model, not one item object each, and no width is measured over all of them.
    mPvtNames = new GCodeListModel(mPvtChoice);
    mPvtChoice->setModel(mPvtNames);
    if (auto* list = qobject_cast<QListView*>(mPvtChoice->view())) list->setUniformItemSizes(true);
    mPvtChoice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    mPvtChoice->setMinimumContentsLength(14);
    mPvtView = makeView(mTabPvt, "SynEditPVT", false);
    pv->addWidget(mPvtChoice);
    pv->addWidget(mPvtView, 1);
    mPages->addTab(mTabPvt, "PVT");

    mTabSct = new QWidget;
    mTabSct->setObjectName("TabSheetSCT");
    auto* sv = new QVBoxLayout(mTabSct);
    mSctView = makeView(mTabSct, "SynEdit1", false);
    sv->addWidget(mSctView);
    mPages->addTab(mTabSct, "SCT");

    mTab3D = new QWidget;
    mTab3D->setObjectName("TabSheet3D");
    new QVBoxLayout(mTab3D);
    mPages->addTab(mTab3D, "Show 3D");
    mPages->setTabVisible(mPages->indexOf(mTab3D), false);

    mRightPanel = new QWidget(mSplitter);
    mRightPanel->setObjectName("RightPanel");
    auto* rv = new QVBoxLayout(mRightPanel);
    mExecLine = makeButton(mRightPanel, rv, "BitBtnExecuteline", "&Execute a line");
    mLineEdit[0] = makeButton(mRightPanel, rv, "BitBtn8", "&Add a line");
    mLineEdit[1] = makeButton(mRightPanel, rv, "BitBtn9", "&Insert a line");
    mLineEdit[2] = makeButton(mRightPanel, rv, "BitBtn10", "&Modify a line");
    mLineEdit[3] = makeButton(mRightPanel, rv, "BitBtn11", "&Delete a line");
    auto* posLabel = new QLabel("Positionning speed", mRightPanel);
    posLabel->setObjectName("LabelPositionSpeed");
    rv->addWidget(posLabel);
    mPosSpeed = new QLineEdit(mRightPanel);
    mPosSpeed->setObjectName("EditPositionSpeed");
    mPosSpeed->setReadOnly(true);
    rv->addWidget(mPosSpeed);
    auto* workLabel = new QLabel("Working speed", mRightPanel);
    workLabel->setObjectName("LabelWorkSpeed");
    rv->addWidget(workLabel);
    mWorkSpeed = new QLineEdit(mRightPanel);
    mWorkSpeed->setObjectName("EditWorkSpeed");
    mWorkSpeed->setReadOnly(true);
    rv->addWidget(mWorkSpeed);
    mFNote1 = new QLabel("Selected by ", mRightPanel);
    mFNote1->setObjectName("LabelFCodes1");
    mFNote2 = new QLabel("\"F\" Commands", mRightPanel);
    mFNote2->setObjectName("LabelFCodes2");
    rv->addWidget(mFNote1);
    rv->addWidget(mFNote2);
    auto* accLabel = new QLabel("Acceleration", mRightPanel);
    accLabel->setObjectName("LabelAcceleration");
    rv->addWidget(accLabel);
    mAccel = new QLineEdit(mRightPanel);
    mAccel->setObjectName("EditAcceleration");
    mAccel->setReadOnly(true);
    rv->addWidget(mAccel);
    mModelLabel = new QLabel(mRightPanel);
    mModelLabel->setObjectName("LabelModel");
    rv->addWidget(mModelLabel);
    rv->addStretch(1);
    mSplitter->addWidget(mPages);
    mSplitter->addWidget(mRightPanel);
    mSplitter->setStretchFactor(0, 1);
    h->addWidget(mSplitter, 1);
    setCentralWidget(central);

    for (int i = 0; i < 5; ++i) {
        mStatus[static_cast<std::size_t>(i)] = new QLabel(this);
        mStatus[static_cast<std::size_t>(i)]->setObjectName(QString("StatusPanel%1").arg(i));
        mStatus[static_cast<std::size_t>(i)]->setMinimumWidth(statusPanelWidth(i));
        statusBar()->addWidget(mStatus[static_cast<std::size_t>(i)], i == 4 ? 1 : 0);
    }

    // The open and save dialogs: their titles are translated with the window.
    mOpenDialog1 = new QFileDialog(this, "Open");
    mOpenDialog1->setObjectName("OpenDialog1");
    mOpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    mOpenDialog1->setFileMode(QFileDialog::ExistingFile);
    mSaveDialog1 = new QFileDialog(this, "Save");
    mSaveDialog1->setObjectName("SaveDialog1");
    mSaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    mSaveDialog1->setFileMode(QFileDialog::AnyFile);

    auto on = [this](QPushButton* b, auto f) {
        connect(b, &QPushButton::clicked, this, [f] { guarded(f); });
    };
    on(mRead, [this] { BitBtnReadGcodeClick(true); });
    on(mSave, [this] { BitBtn1Click(); });
    on(mCreate, [this] { BitBtnCreateKVXFileClick(true); });
    on(mExecute, [this] { BitBtnExecuteKVXClick(true); });
    on(mVerify, [this] { BitBtnVerifyPVTClick(true); });
    on(mExecLine, [this] { BitBtnExecutelineClick(); });
    on(mStop, [this] { BitBtn7Click(); });
    on(mLineEdit[0], [this] { BitBtn8Click(); });
    on(mLineEdit[1], [this] { BitBtn9Click(); });
    on(mLineEdit[2], [this] { BitBtn10Click(); });
    on(mLineEdit[3], [this] { BitBtn11Click(); });
    connect(mDirect[0], &QPushButton::toggled, this, [this](bool down) { mJob->setBlockByBlock(down); });
    on(mDirect[2], [this] { NextClick(); });
    on(mDirect[3], [this] { AbortClick(); });
    on(mDirect[1], [this] { BitBtnExecuteKVXClick(true); });
    connect(mList, &QListView::clicked, this, [this] { guarded([this] { ListBox1Click(); }); });
    connect(mPvtChoice, &QComboBox::activated, this, [this] { guarded([this] { ComboBox1Change(); }); });
    connect(mPvtView, &QsciScintilla::textChanged, this, [this] {
        mJob->PvtTextEdited();
    });
    connect(mPages, &QTabWidget::currentChanged, this, [this] { guarded([this] { PageChange(); }); });
}

QAction* TFmain::addAction(QMenu* menu, const char* name, const char* text, std::function<void()> slot)
{
    auto* a = new QAction(QString::fromUtf8(text), this);
    a->setObjectName(name);
    if (menu) menu->addAction(a);
    if (slot) connect(a, &QAction::triggered, this, [slot] { guarded(slot); });
    return a;
}

void TFmain::buildMenus()
{
    QMenuBar* bar = menuBar();
    mFileMenu = bar->addMenu("&Fichiers");
    mFileMenu->menuAction()->setObjectName("Fichiers1");
    addAction(mFileMenu, "Edit1", "Edit", [this] {
        if (mTextEditor) mTextEditor->exec();
    });
    mPrintGcode = addAction(mFileMenu, "printGcode1", "print Gcode", [this] { PrintGcodeClick(); });
    mPrintTcl = addAction(mFileMenu, "printTCL1", "print TCL", [this] { PrintTclClick(); });
    mSaveAll = addAction(mFileMenu, "Enregistertout1", "Enregister tout", [this] { EnregistertoutClick(); });
    mFileMenu->addSeparator();
    addAction(mFileMenu, "Quit1", "Quit", [this] { close(); });

    mMaintMenu = bar->addMenu("&Maintenance");
    mMaintMenu->menuAction()->setObjectName("Maintenance1");
    mKvx1 = addAction(mMaintMenu, "KVX1", "KVX", [this] {
        if (mMaintenance) mMaintenance->exec();
    });
    mInit1 = addAction(mMaintMenu, "Init1", "Init", [this] { Init1Click(); });
    mDebug1 = addAction(mMaintMenu, "Debug1", "Debug", nullptr);
    mDebug1->setCheckable(true);
    connect(mDebug1, &QAction::toggled, this, [](bool on) { common().Debug = on; });
    mPvt1 = addAction(mMaintMenu, "PVT1", "PVT", [this] {
        if (mPvtControl) mPvtControl->exec();
    });
    // "Dessiner  SCT" is a pop-up item of the 3D view; this one holds its visibility.
    mDessinerSct = addAction(nullptr, "DessinerSCT1", "Dessiner  SCT", [this] { DessinerSCT1Click(); });
    addAction(mMaintMenu, "Axes1", "&Axes", [this] { AxesClick(); });
    addAction(mMaintMenu, "Outputs1", "&Outputs", [this] { OutputsClick(); });

    mSetupMenu = bar->addMenu("&Setup");
    mSetupMenu->menuAction()->setObjectName("Setup1");
    for (const NumericSetting& s : kNumericSettings) {
        const std::string act = s.Action;
        addAction(mSetupMenu, s.Action, s.Item, [this, act] { NumericSettingClick(act); });
    }
    QAction* f = addAction(mSetupMenu, "useFCodes1", "use \"F\" Codes", nullptr);
    f->setCheckable(true);
    connect(f, &QAction::triggered, this, [this](bool on) {
        guarded([&] {
            mJob->settings().UseFCodes = on;
            if (IniFile* ini = SettingsIni()) mJob->settings().Write(*ini, &MainSettings::UseFCodes);
            refreshSpeedBoxes();
        });
    });
    // Read when a PVT run of the TCL path closes: the executed path is then cleared.
    QAction* erase = addAction(mSetupMenu, "Erasestepbystep1", "Erase step by step", nullptr);
    erase->setCheckable(true);
    connect(erase, &QAction::triggered, this, [this](bool on) {
        mJob->settings().EraseStepByStep = on;
        if (IniFile* ini = SettingsIni()) mJob->settings().Write(*ini, &MainSettings::EraseStepByStep);
    });
    addAction(mSetupMenu, "KVXAddress1", "&KVX Address", [this] { KVXAddressClick(); });
    QMenu* display = mSetupMenu->addMenu("Display");
    display->menuAction()->setObjectName("Display1");
    addAction(display, "Backgroundcolor1", "Background color", nullptr);
    QMenu* language = mSetupMenu->addMenu("Language");
    language->menuAction()->setObjectName("Language1");
    auto* langGroup = new QActionGroup(this);
    int n = 1;
    for (auto [name, text] : {std::pair{"French1", "French"}, std::pair{"English1", "English"}, std::pair{"Other1", "Other"}}) {
        const int number = n++;
        QAction* a = addAction(language, name, text, [this, number] { LanguageClick(number); });
        a->setCheckable(true);
        langGroup->addAction(a);
    }
    QAction* server = addAction(mSetupMenu, "ServeurTCPIP1", "Serveur TCP-IP", nullptr);
    server->setCheckable(true);
    connect(server, &QAction::triggered, this, [this] { guarded([this] { ServerToggleClick(); }); });
    addAction(mSetupMenu, "Serverport1", "Server port", [this] { ServerPortClick(); });

    QMenu* modeMenu = bar->addMenu("Mode");
    modeMenu->menuAction()->setObjectName("Mode1");
    auto* modes = new QActionGroup(this);
    mSct = addAction(modeMenu, "SCT1", "SCT/ TCL", [this] { ModeClick(1); });
    mTcl = addAction(modeMenu, "TCL1", "TCL", [this] { ModeClick(2); });
    mDirectMode = addAction(modeMenu, "KVXdirect1", "KVX direct", [this] { ModeClick(3); });
    for (QAction* a : {mSct, mTcl, mDirectMode}) {
        a->setCheckable(true);
        modes->addAction(a);
    }

    QMenu* help = bar->addMenu("?");
    help->menuAction()->setObjectName("Help1");
    addAction(help, "About1", "&About", [this] { AboutClick(); });
    addAction(help, "Helpfile1", "Hel&p file", [this] { OpenDocument(common().ProgramDir + mJob->settings().HelpFile); });

    mExtend1 = addAction(nullptr, "Extend1", "Extend", [this] { ExtendClick(); });
    mReduce1 = addAction(nullptr, "Reduce1", "Reduce", [this] { ReduceClick(); });
    bar->addAction(mExtend1);
    bar->addAction(mReduce1);

    // Hidden until the about window reveals them.
    mPvt1->setVisible(false);
    mDessinerSct->setVisible(false);
    mKvx1->setVisible(false);
    mDebug1->setVisible(false);
}

void TFmain::FormCreate()
{
    mJob->readSettings();
    const MainSettings& set = mJob->settings();
    if (set.LeftPanelWidth >= 120 && set.LeftPanelWidth <= 600) mLeftPanel->setFixedWidth(set.LeftPanelWidth);
    if (set.RightPanelWidth > 0) mSplitter->setSizes({600, set.RightPanelWidth});
    if (QAction* f = action("useFCodes1")) f->setChecked(set.UseFCodes);
    if (QAction* e = action("Erasestepbystep1")) e->setChecked(set.EraseStepByStep);
    if (QAction* s = action("ServeurTCPIP1")) s->setChecked(set.ServerActive);
    refreshSpeedBoxes();
    applyLayout(set.Extended);
    PageChange();
}

void TFmain::setHelperWindows(TFIO* io, TFaxes* axes, TAboutBox* about, TFPVTparameters* pvtParameters,
                              QDialog* pvtControl, QDialog* textEditor, QDialog* maintenance)
{
    mIo = io;
    mAxes = axes;
    mAbout = about;
    mPvtParameters = pvtParameters;
    mPvtControl = pvtControl;
    mTextEditor = textEditor;
    mMaintenance = maintenance;
    if (mAbout) mAbout->setServiceViewsHandler([this](bool on) { setServiceViews(on); });
}

void TFmain::setView3D(View3D* view)
{
    mJob->setView3D(view);
    mView3DWidget = view;
    if (!view) return;
    mTab3D->layout()->addWidget(view);
    if (IniFile* ini = SettingsIni()) view->readSettings(*ini);
    view3d::PopupHost host;
    host.StatusText = [this](const std::string& t) { setStatus(4, t); };
    host.EraseSct = [this] { EffacertrajectoireSCT1Click(); };
    host.DrawSct = [this] { DessinerSCT1Click(); };
    host.RedrawSct = [this] { mJob->RedrawSct(); };
    host.CurrentPosition = [this]() -> std::optional<view3d::Vec3> {
        if (simulation()) return std::nullopt;
        return view3d::Vec3::from(machineConfig().CurrentPosition);
    };
    host.AskCentre = [this, view]() -> std::optional<std::array<std::string, 3>> {
        if (!mCentrer) return std::nullopt;
        const view3d::Vec3 t = view->scene().camera().Target;
        const int digits = settings().NbDigit;
        std::array<std::string, 3> xyz{num::fixed(t.x, digits), num::fixed(t.y, digits), num::fixed(t.z, digits)};
        if (!mCentrer->Ask(xyz)) return std::nullopt;
        return xyz;
    };
    host.NbDigit = [this] { return settings().NbDigit; };
    host.Settings = [] { return SettingsIni(); };
    view->setPopupHost(std::move(host));
    view->setTclLineCount([this] { return tclLineCount(); });
    view->setPageActive([this] { return mPages->currentWidget() == mTab3D; });
    view->setNbDigit([this] { return settings().NbDigit; });
    // "Dessiner  SCT" of the pop-up follows the window's item.
    view->drawSctAction()->setVisible(mDessinerSct->isVisible());
    connect(mDessinerSct, &QAction::visibleChanged, view, [this, view] { view->drawSctAction()->setVisible(mDessinerSct->isVisible()); });
    view->SetCentreCommandsVisible(!simulation());
    if (QAction* bg = action("Backgroundcolor1"))
        connect(bg, &QAction::triggered, view, [view] { guarded([view] { view->chooseBackground(SettingsIni()); }); });
    addCloseHook([view] {
        if (IniFile* ini = SettingsIni()) view->writeSettings(*ini);
    });
}

std::string TFmain::runFileDialog(QFileDialog* dialog, const std::string& dir, const std::string& proposed)
{
    dialog->setDirectory(QString::fromStdString(dir));
    dialog->selectFile(QString::fromStdString(proposed));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return {};
    return dialog->selectedFiles().front().toStdString();
}

void TFmain::setRemoteServer(RemoteServer* server)
{
    mServer = server;
    const MainSettings& set = settings();
    if (mServer && set.ServerActive) mServer->activate(static_cast<quint16>(set.ServerPort));
}

void TFmain::setGroupShape(bool xyOnly, int axisCount)
{
    mJob->setGroupShape(xyOnly, axisCount);
    if (mAxes) mAxes->setGroupShape(xyOnly, axisCount);
}

void TFmain::setSimulation(bool simulation)
{
    mSimulationLabel->setVisible(simulation);
    mJob->setSimulation(simulation);
    if (mView3DWidget) mView3DWidget->SetCentreCommandsVisible(!simulation);
}

void TFmain::applyNumericOption(const std::string& section, const std::string& key, double value)
{
    mJob->applyNumericOption(section, key, value);
    refreshSpeedBoxes();
}

QAction* TFmain::action(const char* objectName) const { return findChild<QAction*>(objectName); }

std::string TFmain::tclText() const { return viewText(mTclView); }
int TFmain::tclLineCount() const
{
    return static_cast<int>(mTclView->SendScintilla(QsciScintillaBase::SCI_GETLINECOUNT));
}
std::string TFmain::pvtText() const { return viewText(mPvtView); }
std::string TFmain::sctText() const { return viewText(mSctView); }

// ---------------------------------------------------------------------------------------------
// Small helpers

void TFmain::setStatus(int panel, const std::string& text)
{
    if (panel == 4 && mJob->quietMode()) return;
    mStatus[static_cast<std::size_t>(panel)]->setText(QString::fromStdString(text));
}

void TFmain::refreshModeLabel()
{
    const int mode = mJob->mode();
    mModeLabel->setText(mode == 1 ? "SCT" : mode == 2 ? "TCL/PVT" : mDirectModeText);
    static const char* kModels[] = {"C", "Q", "D", "RL", "RL-D"};
    const int m = GetControllerModel();
    mModelLabel->setText(!simulation() && m >= 0 && m <= 4 ? kModels[m] : "");
}

void TFmain::refreshSpeedBoxes()
{
    const MainSettings& set = settings();
    mPosSpeed->setText(QString::fromStdString(num::fixed(set.PositioningSpeed, set.NbDigit, 12)));
    mWorkSpeed->setText(QString::fromStdString(num::fixed(set.WorkingSpeed, set.NbDigit, 12)));
    mAccel->setText(QString::fromStdString(num::fixed(set.PvtAcceleration, set.NbDigit, 12)));
    mPosSpeed->setVisible(!set.UseFCodes);
    mWorkSpeed->setVisible(!set.UseFCodes);
    mFNote1->setVisible(set.UseFCodes);
    mFNote2->setVisible(set.UseFCodes);
}

void TFmain::setPageVisible(QWidget* page, bool visible)
{
    const int i = mPages->indexOf(page);
    if (i >= 0) mPages->setTabVisible(i, visible);
}

void TFmain::showTab(QWidget* page)
{
    const int i = mPages->indexOf(page);
    if (i >= 0 && mPages->isTabVisible(i)) mPages->setCurrentIndex(i);
}

// ---------------------------------------------------------------------------------------------
// Activation, closing

void TFmain::changeEvent(QEvent* e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) guarded([this] { FormActivate(); });
}

void TFmain::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    // Shown, the direct mode reads "Direct"; chosen from the menu (or remotely), "KVX Direct".
    mDirectModeText = "Direct";
    refreshModeLabel();
    // Platforms without a window manager (offscreen, bare X) may never activate the window.
    activateWindow();
    QTimer::singleShot(200, this, [this] { guarded([this] { FormActivate(); }); });
}

void TFmain::FormActivate()
{
    // Its connection and the batch wait with events dispatched: an activation meanwhile waits
    // for the next one.
    if (mActivating) return;
    mActivating = true;
    const std::unique_ptr<bool, void (*)(bool*)> done(&mActivating, [](bool* f) { *f = false; });
    const bool sim = simulation();
    mKvx1->setEnabled(!sim);
    if (QAction* a = action("Axes1")) a->setEnabled(!sim);
    if (QAction* a = action("Outputs1")) a->setEnabled(!sim);
    mDirectMode->setEnabled(!sim);
    mJob->enable(JobItem::Init, !sim);
    mVerify->setVisible(!sim && mJob->mode() != 3);
    if (!sim && mActivationHook) mActivationHook();
    if (mAxes) mAxes->FormCreate();
    // The group check may have found no usable group.
    if (simulation() != sim) {
        mKvx1->setEnabled(false);
        for (const char* name : {"Axes1", "Outputs1"})
            if (QAction* a = action(name)) a->setEnabled(false);
        mDirectMode->setEnabled(false);
        mJob->enable(JobItem::Init, false);
        mVerify->setVisible(false);
    }
    if (simulation() && mJob->mode() == 3) mJob->applyMode(1, true);
    mLampPanel->setVisible(!simulation());
    mModelLabel->setVisible(!simulation());
    if (mView3DWidget) mView3DWidget->SetCentreCommandsVisible(!simulation());
    refreshModeLabel();
    mJob->activated();
}

void TFmain::FormClose()
{
    if (IniFile* ini = SettingsIni()) {
        WindowGeometry{y(), x(), height(), width()}.Write(*ini, "Fmain", true);
        MainSettings& set = mJob->settings();
        set.LeftPanelWidth = mLeftPanel->width();
        set.RightPanelWidth = mRightPanel->width();
        set.Extended = mExtended;
        set.WriteClosing(*ini);
    }
    for (const auto& hook : mCloseHooks) guarded(hook);
    if (simulation()) EmptyFolder(outputFolder());
}

void TFmain::closeEvent(QCloseEvent* e)
{
    if (!mClosing) {
        mClosing = true;
        // A running conversion or script ends at its next line.
        common().StopRequested = 1;
        guarded([this] { FormClose(); });
    }
    e->accept();
    QApplication::exit(mJob->exitStatus());
}

void TFmain::JobCloseProgram()
{
    QTimer::singleShot(0, this, [this] { close(); });
}

void TFmain::wheelEvent(QWheelEvent* e)
{
    if (mView3DWidget && mView3DWidget->wheelStep(e->angleDelta().y())) {
        e->accept();
        return;
    }
    QMainWindow::wheelEvent(e);
}

bool TFmain::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == mList->viewport() && e->type() == QEvent::MouseButtonPress) {
        mShowLineOrigin = static_cast<QMouseEvent*>(e)->button() == Qt::RightButton;
    } else if (e->type() == QEvent::MouseButtonPress &&
               (watched == mModeLabel || watched->objectName() == "LabelModeCaption")) {
        guarded([this] { AboutClick(); });
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

// ---------------------------------------------------------------------------------------------
// Layouts, pages

void TFmain::applyLayout(bool extended)
{
    mExtended = extended;
    if (extended) {
        setMinimumSize(800, 638);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        resize(800, std::max(638, height()));
        mReduce1->setVisible(true);
        mExtend1->setVisible(false);
        for (QMenu* m : {mFileMenu, mMaintMenu, mSetupMenu}) {
            m->menuAction()->setVisible(true);
            m->menuAction()->setEnabled(true);
        }
        mKvx1->setVisible(mServiceMenusVisible);
        mDebug1->setVisible(mServiceMenusVisible);
        mPages->setVisible(true);
        mPages->setEnabled(true);
        mRightPanel->setVisible(true);
        mRightPanel->setEnabled(true);
        mSplitter->setVisible(true);
        placeStatusPanels(true);
    } else {
        placeStatusPanels(false);
        setMinimumSize(188, 638);
        setMaximumSize(188, 638);
        resize(188, 638);
        mReduce1->setVisible(false);
        mExtend1->setVisible(true);
        for (QMenu* m : {mFileMenu, mMaintMenu, mSetupMenu}) {
            m->menuAction()->setVisible(false);
            m->menuAction()->setEnabled(false);
        }
        mPages->setVisible(false);
        mRightPanel->setVisible(false);
        mSplitter->setVisible(false);
    }
}

void TFmain::placeStatusPanels(bool inStatusBar)
{
    QLayout* column = mStatusColumn->layout();
    for (int i = 0; i < 5; ++i) {
        QLabel* panel = mStatus[static_cast<std::size_t>(i)];
        if (inStatusBar) {
            if (panel->parentWidget() == statusBar()) continue;
            column->removeWidget(panel);
            panel->setWordWrap(false);
            panel->setMinimumWidth(statusPanelWidth(i));
            statusBar()->addWidget(panel, i == 4 ? 1 : 0);
            panel->show();
        } else {
            if (panel->parentWidget() == mStatusColumn) continue;
            statusBar()->removeWidget(panel);
            panel->setParent(mStatusColumn);
            panel->setMinimumWidth(0);
            panel->setWordWrap(i == 4);
            column->addWidget(panel);
            panel->show();
        }
    }
    mStatusColumn->setVisible(!inStatusBar);
    statusBar()->setVisible(inStatusBar);
}

void TFmain::setServiceViews(bool visible)
{
    setPageVisible(mTab3D, visible);
    mPvt1->setVisible(visible);
    mDessinerSct->setVisible(visible && mSct->isChecked());
    mServiceMenusVisible = visible;
    if (mExtended) {
        mKvx1->setVisible(visible);
        mDebug1->setVisible(visible);
    }
}

void TFmain::AboutClick()
{
    if (mAbout) mAbout->exec();
}

void TFmain::OutputsClick()
{
    if (mIo) mIo->exec();
    ResetJobButtons();
}

void TFmain::AxesClick()
{
    if (simulation()) return;
    if (mAxes) mAxes->exec();
}

void TFmain::LanguageClick(int n)
{
    SetLanguage(n);
    LoadLanguage(n);
}

// ---------------------------------------------------------------------------------------------
// Line list and PVT page

int TFmain::currentRow() const { return mList->currentIndex().isValid() ? mList->currentIndex().row() : -1; }

void TFmain::BitBtn1Click()
{
    const std::string proposed = mJob->fileName();
    const std::string path = mSaveDialog ? mSaveDialog(gcodeFolder(), proposed)
                                         : runFileDialog(mSaveDialog1, gcodeFolder(), proposed);
    mJob->SaveLines(path);
}

void TFmain::BitBtn8Click() { mJob->AddLine(mEdit2->text().toStdString()); }

void TFmain::BitBtn9Click()
{
    const int row = currentRow();
    mJob->InsertLine(row < 0 ? 0 : row, mEdit2->text().toStdString());
}

void TFmain::BitBtn10Click() { mJob->ModifyLine(currentRow(), mEdit2->text().toStdString()); }

void TFmain::BitBtn11Click() { mJob->DeleteLine(currentRow()); }

void TFmain::ListBox1Click()
{
    const QModelIndex cur = mList->currentIndex();
    if (!cur.isValid()) return;
    const int row = cur.row();
    const gcode::LineList& all = mJob->lines();
    const std::vector<tclpath::LineRecord>& table = mJob->lineTable();
    GCodeListModel* model = mJob->model();
    const std::string_view line = all[static_cast<std::size_t>(row)];
    mEdit2->setText(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    if (table.size() != all.size()) return;
    const int group = table[static_cast<std::size_t>(row)].Group;
    QItemSelection sel;
    int first = -1, last = -1;
    if (group > 0) {
        int runStart = -1;
        const int n = static_cast<int>(table.size());
        for (int i = 0; i <= n; ++i) {
            const bool in = i < n && table[static_cast<std::size_t>(i)].Group == group;
            if (in && runStart < 0) runStart = i;
            if (!in && runStart >= 0) {
                sel.select(model->index(runStart), model->index(i - 1));
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
        ShowMsg(head + "§group number " + num::integer(group) + "§" + table[static_cast<std::size_t>(row)].Text());
    }
}

void TFmain::ComboBox1Change() { mJob->ComboBox1Change(mPvtChoice->currentText().toStdString()); }

// ---------------------------------------------------------------------------------------------
// Printing

void TFmain::PrintGcodeClick()
{
    // Printed from a document of its own: the SCT view keeps its text.
    QsciScintilla doc;
    doc.setUtf8(true);
    doc.setText(QString::fromStdString(mJob->lines().joined("\n")));
    const std::string title = mJob->fileName();
    if (mPrintHook) {
        mPrintHook(doc, title);
        return;
    }
    TitledPrinter printer(title);
    QPrintDialog dlg(&printer, this);
    if (dlg.exec() == QDialog::Accepted) printer.printRange(&doc);
}

void TFmain::PrintTclClick()
{
    const std::string title = mJob->fileName() + " TCL";
    if (mPrintHook) {
        mPrintHook(*mTclView, title);
        return;
    }
    TitledPrinter printer(title);
    QPrintDialog dlg(&printer, this);
    if (dlg.exec() == QDialog::Accepted) printer.printRange(mTclView);
}

// ---------------------------------------------------------------------------------------------
// Setup menu

void TFmain::NumericSettingClick(const std::string& act)
{
    const NumericSetting* s = FindNumericSetting(act);
    if (!s) return;
    MainSettings& set = mJob->settings();
    std::string value = num::fixed(NumericSettingValue(set, *s), set.NbDigit);
    if (s->Kind == NumericKind::Digits || s->Kind == NumericKind::PvtDigits || s->Kind == NumericKind::PeriodMs)
        value = num::integer(static_cast<long long>(NumericSettingValue(set, *s)));
    if (!InputQueryDialog(T(s->CaptionKey), T(s->PromptKey) + s->PromptSuffix, value)) return;
    const std::optional<double> v = CheckNumericAnswer(*s, value);
    if (!v) {
        // Refused: the setting keeps its value.
        ShowMsg(T(s->PromptKey) + " : " + value + " ?");
        return;
    }
    SetNumericSettingValue(set, *s, *v);
    if (IniFile* ini = SettingsIni()) WriteNumericSetting(*ini, set, *s);
    refreshSpeedBoxes();
    if (s->Kind == NumericKind::PeriodMs && poll() && poll()->active()) poll()->start(set.EncoderPeriod);
    ResetJobButtons();
}

void TFmain::KVXAddressClick()
{
    std::string value = common().ControllerIp;
    if (!InputQueryDialog("TCP-IP", "ADRESSE IP (KVX)", value)) return;
    gtext::TrimLeftSpaces(value);
    gtext::RemoveLineBreaks(value);
    if (value.empty()) return;
    common().ControllerIp = value;
    mJob->settings().ControllerIp = value;
    if (IniFile* ini = SettingsIni()) link::LinkSettings::Store(*ini, &link::LinkSettings::ControllerIp, value);
}

void TFmain::ServerToggleClick()
{
    QAction* a = action("ServeurTCPIP1");
    MainSettings& set = mJob->settings();
    set.ServerActive = a && a->isChecked();
    if (IniFile* ini = SettingsIni()) set.Write(*ini, &MainSettings::ServerActive);
    if (!mServer) return;
    if (set.ServerActive) mServer->activate(static_cast<quint16>(set.ServerPort));
    else mServer->deactivate();
}

void TFmain::ServerPortClick()
{
    MainSettings& set = mJob->settings();
    std::string value = num::integer(set.ServerPort);
    if (!InputQueryDialog("TCP-IP SERVER", "Port used by server : ", value)) return;
    const std::optional<long long> p = num::parseIntStrict(value);
    if (!p || *p < 1 || *p > 65535) return;
    set.ServerPort = static_cast<int>(*p);
    if (IniFile* ini = SettingsIni()) set.Write(*ini, &MainSettings::ServerPort);
}

// ---------------------------------------------------------------------------------------------
// Position and output poll

void TFmain::PollHiddenServerStep()
{
    const BatchRunner* batch = mJob->batchRunner();
    if (!batch || !batch->commandLine().HiddenServer) return;
    if (isVisible()) hide();
    if (QAction* a = action("ServeurTCPIP1")) a->setChecked(true);
    MainSettings& set = mJob->settings();
    set.ServerActive = true;
    if (mServer && !mServer->isActive()) mServer->activate(static_cast<quint16>(set.ServerPort));
}

PollSetup TFmain::PollConfiguration() const
{
    const MachineConfig c = machineConfig();
    PollSetup p;
    p.GroupName = c.GroupName;
    p.AxisCount = mJob->groupAxisCount();
    p.XYGroupOnly = mJob->xyGroupOnly();
    p.NbDigit = settings().NbDigit;
    const OutputRow rows[5] = {c.ActivateTool, c.M03M05, c.M04M05, c.M07M09, c.M08M09};
    for (int i = 0; i < 5; ++i) p.Lamps[static_cast<std::size_t>(i)] = {rows[i].Gpio, rows[i].Output, rows[i].ActiveLevel};
    return p;
}

bool TFmain::Poll3DVisible() const { return mPages->isTabVisible(mPages->indexOf(mTab3D)); }

void TFmain::PollShowAxis(int axis, const std::string& text)
{
    if (axis >= 0 && axis < 3) setStatus(axis + 1, text);
}

void TFmain::PollMoveTool(const std::array<double, 3>& position, bool visible)
{
    if (mView3DWidget) mView3DWidget->SetToolPosition(position, visible);
}

void TFmain::PollStatusColour(StatusColour colour)
{
    static const char* kColours[] = {"red", "palette(button)", "yellow", "fuchsia", "blue", "silver", "navy"};
    const int i = static_cast<int>(colour);
    const char* c = kColours[i >= 0 && i < 7 ? i : 6];
    statusBar()->setStyleSheet(QString("QStatusBar { background: %1; }").arg(c));
    mStatusColumn->setStyleSheet(QString("QWidget#PanelStatusColumn { background: %1; }").arg(c));
}

void TFmain::PollLampLit(int lamp, bool lit)
{
    if (lamp < 0 || lamp >= 5) return;
    if (auto* l = findChild<QLabel*>(QString("Shape%1").arg(lamp + 1)))
        l->setStyleSheet(QString("background: %1; border-radius: 8px;").arg(lit ? "fuchsia" : "silver"));
}

void TFmain::PollExecutedPoint(const std::array<double, 3>& point, bool toolActive)
{
    if (mView3DWidget) mView3DWidget->AddExecutedPoint(point, toolActive);
}

void TFmain::PollPositionFault(int code)
{
    (void)code;
    if (mJob->PositionFault() && mAxes) mAxes->exec();
}

// ---------------------------------------------------------------------------------------------
// What the job road shows

void TFmain::JobItemEnabled(JobItem item, bool on)
{
    switch (item) {
    case JobItem::Read: mRead->setEnabled(on); break;
    case JobItem::Save: mSave->setEnabled(on); break;
    case JobItem::Create: mCreate->setEnabled(on); break;
    case JobItem::Execute: mExecute->setEnabled(on); break;
    case JobItem::Verify: mVerify->setEnabled(on); break;
    case JobItem::Stop: mStop->setEnabled(on); break;
    case JobItem::ExecuteLine: mExecLine->setEnabled(on); break;
    case JobItem::LineEdit:
        for (QPushButton* b : mLineEdit) b->setEnabled(on);
        break;
    case JobItem::Next: mDirect[2]->setEnabled(on); break;
    case JobItem::Abort: mDirect[3]->setEnabled(on); break;
    case JobItem::PrintGcode: mPrintGcode->setEnabled(on); break;
    case JobItem::PrintTcl: mPrintTcl->setEnabled(on); break;
    case JobItem::SaveAll: mSaveAll->setEnabled(on); break;
    case JobItem::Init: mInit1->setEnabled(on); break;
    }
}

void TFmain::JobStatusText(int panel, const std::string& text)
{
    mStatus[static_cast<std::size_t>(panel)]->setText(QString::fromStdString(text));
}

void TFmain::JobMessage(const std::string& text) { ShowMsg(text); }

bool TFmain::JobConfirm(const std::string& text) { return MsgDialog(text, 0, MbYes | MbNo) == MrYes; }

std::string TFmain::JobChooseFile(bool save, const std::string& dir, const std::string& proposed)
{
    const FileDialogHook& hook = save ? mSaveDialog : mOpenDialog;
    if (hook) return hook(dir, proposed);
    return runFileDialog(save ? mSaveDialog1 : mOpenDialog1, dir, proposed);
}

QWidget* TFmain::pageWidget(JobPage page) const
{
    switch (page) {
    case JobPage::Gcode: return mTabGcode;
    case JobPage::Tcl: return mTabTcl;
    case JobPage::Pvt: return mTabPvt;
    case JobPage::Sct: return mTabSct;
    case JobPage::View3D: return mTab3D;
    case JobPage::Other: break;
    }
    return nullptr;
}

JobPage TFmain::JobCurrentPage() const
{
    QWidget* page = mPages->currentWidget();
    for (JobPage p : {JobPage::Gcode, JobPage::Tcl, JobPage::Pvt, JobPage::Sct, JobPage::View3D})
        if (page == pageWidget(p)) return p;
    return JobPage::Other;
}

void TFmain::JobShowPage(JobPage page)
{
    if (QWidget* w = pageWidget(page)) showTab(w);
}

bool TFmain::JobPageOnScreen(JobPage page) const
{
    QWidget* w = pageWidget(page);
    return w && !w->isHidden();
}

QsciScintilla* TFmain::textView(JobTextView view) const
{
    switch (view) {
    case JobTextView::Tcl: return mTclView;
    case JobTextView::Pvt: return mPvtView;
    case JobTextView::Sct: return mSctView;
    }
    return mTclView;
}

void TFmain::JobSetText(JobTextView view, const std::string& text) { setViewText(textView(view), text); }

std::unique_ptr<PreparedText> TFmain::JobPrepareText(JobTextView view, std::size_t bytes)
{
    // Only the TCL view colours its text.
    const bool styled = view == JobTextView::Tcl && bytes <= kStyledTextLimit;
    const long options = styled ? QsciScintillaBase::SC_DOCUMENTOPTION_DEFAULT : QsciScintillaBase::SC_DOCUMENTOPTION_STYLES_NONE;
    return std::make_unique<LoadedText>(textView(view), bytes, options, styled);
}

void TFmain::JobShowPrepared(JobTextView view, std::unique_ptr<PreparedText> text)
{
    auto* loaded = dynamic_cast<LoadedText*>(text.get());
    if (!loaded) {
        JobView::JobShowPrepared(view, std::move(text));
        return;
    }
    QsciScintilla* v = textView(view);
    void* doc = loaded->take();
    if (!doc) {
        if (loaded->gathered().empty()) v->clear();
        else setViewText(v, loaded->gathered());
        return;
    }
    attachDocument(v, doc, loaded->styled());
}

void TFmain::attachDocument(QsciScintilla* v, void* doc, bool styled)
{
    // The old document goes with its last reference: a large one is freed by a worker, since
    // freeing its buffers costs the window's thread time in its size.
    void* old = v->SendScintilla(QsciScintillaBase::SCI_GETLENGTH) >= kBackgroundReleaseBytes
                    ? v->SendScintillaPtrResult(QsciScintillaBase::SCI_GETDOCPOINTER)
                    : nullptr;
    if (old) v->SendScintilla(QsciScintillaBase::SCI_ADDREFDOCUMENT, 0UL, old);
    v->SendScintilla(QsciScintillaBase::SCI_SETDOCPOINTER, 0UL, doc);
    v->SendScintilla(QsciScintillaBase::SCI_RELEASEDOCUMENT, 0UL, doc);
    // Releasing touches the detached document only; the views outlive these workers.
    if (old) {
        mReleases->start([v, old] {
            try {
                v->SendScintilla(QsciScintillaBase::SCI_RELEASEDOCUMENT, 0UL, old);
            } catch (...) {
                // Freeing throws nothing; a document that could not be freed stays allocated.
            }
        });
    }
    // What belongs to the document rather than to the view: the code page, the lexer with its
    // words and properties, and the undo history (a loader keeps none). Setting the lexer again
    // would colour the whole text at once; the view colours what it shows.
    v->setUtf8(true);
    if (QsciLexer* lexer = v->lexer(); styled && lexer) {
        if (lexer->lexer()) v->SendScintilla(QsciScintillaBase::SCI_SETLEXERLANGUAGE, std::uintptr_t{0}, lexer->lexer());
        else v->SendScintilla(QsciScintillaBase::SCI_SETLEXER, static_cast<unsigned long>(lexer->lexerId()));
        for (int set = 0; set <= 8; ++set)
            if (const char* words = lexer->keywords(set + 1))
                v->SendScintilla(QsciScintillaBase::SCI_SETKEYWORDS, static_cast<std::uintptr_t>(set), words);
        lexer->refreshProperties();
    }
    v->SendScintilla(QsciScintillaBase::SCI_SETUNDOCOLLECTION, 1UL);
    v->SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
    v->SendScintilla(QsciScintillaBase::SCI_SETSAVEPOINT);
    v->setCursorPosition(0, 0);
}

void TFmain::JobClearText(JobTextView view)
{
    QsciScintilla* v = textView(view);
    if (v->SendScintilla(QsciScintillaBase::SCI_GETLENGTH) < kBackgroundReleaseBytes) {
        v->clear();
        return;
    }
    // A large text is not deleted here (that costs this thread time in its size: 57 ms for a
    // 21 MB script): the view takes a new empty document and a worker frees the old one.
    const bool styled = view == JobTextView::Tcl;
    LoadedText empty(v, 0, styled ? QsciScintillaBase::SC_DOCUMENTOPTION_DEFAULT : QsciScintillaBase::SC_DOCUMENTOPTION_STYLES_NONE,
                     styled);
    if (void* doc = empty.take()) attachDocument(v, doc, styled);
    else v->clear();
}

std::string TFmain::JobViewText(JobTextView view) const { return viewText(textView(view)); }

void TFmain::JobPvtFiles(gcode::LineList names)
{
    mPvtNames->setLines(std::move(names));
    mPvtChoice->setCurrentIndex(0);
}

void TFmain::JobFileName(const std::string& name) { mEdit3->setText(QString::fromStdString(name)); }

int TFmain::JobCurrentLine() const { return currentRow(); }

void TFmain::JobFollowLine(int row) { mList->setCurrentIndex(mJob->model()->index(row)); }

void TFmain::JobShowLine(int row, const std::string& text)
{
    GCodeListModel* model = mJob->model();
    mList->setCurrentIndex(model->index(row));
    mList->selectionModel()->select(model->index(row), QItemSelectionModel::ClearAndSelect);
    mEdit2->setText(QString::fromStdString(text));
}

void TFmain::JobGroupSelection(bool groups)
{
    mList->setSelectionMode(groups ? QAbstractItemView::MultiSelection : QAbstractItemView::SingleSelection);
}

void TFmain::JobModeShown(int mode)
{
    (mode == 1 ? mSct : mode == 2 ? mTcl : mDirectMode)->setChecked(true);
    setPageVisible(mTabSct, mode == 1);
    setPageVisible(mTabTcl, mode != 3);
    mCreate->setVisible(mode != 3);
    mVerify->setVisible(mode != 3 && !simulation());
    for (QPushButton* b : mDirect) b->setVisible(mode == 3);
    mDessinerSct->setVisible(mode == 1 && mPvt1->isVisible());
    mDirectModeText = "KVX Direct";
    refreshModeLabel();
}

void TFmain::JobSctCommandOffered(bool offered)
{
    mDessinerSct->setVisible(offered && mJob->mode() == 1 && mPvt1->isVisible());
}

void TFmain::JobMachineSetup(MachineConfig& c) const
{
    if (mAxes) {
        c.GroupName = mAxes->groupName();
        c.AxisNames = mAxes->axisNames();
    }
    if (mIo) {
        const auto rows = mIo->rows();
        c.ActivateTool = rows[0];
        c.M03M05 = rows[1];
        c.M04M05 = rows[2];
        c.M07M09 = rows[3];
        c.M08M09 = rows[4];
        c.ExtendedIo = mIo->extendedIo();
    }
}

std::optional<bool> TFmain::JobPvtParameters(const std::string& file)
{
    if (!mPvtParameters) return std::nullopt;
    bool goOn = true;
    mPvtParameters->setFileName(file);
    mPvtParameters->setCancelHook([&goOn] { goOn = false; });
    mPvtParameters->exec();
    mPvtParameters->setCancelHook({});
    return goOn;
}

std::string TFmain::JobRunLive(const std::function<void()>& work, const std::function<void()>& tick, int tickMs)
{
    return RunInWorker(work, tick, tickMs);
}

void TFmain::JobLetEventsRun() { PumpMessage(); }

bool TFmain::JobWindow(JobWindowCommand command)
{
    switch (command) {
    case JobWindowCommand::Extend:
        if (!mExtend1->isEnabled() || !mExtend1->isVisible()) return false;
        applyLayout(true);
        return true;
    case JobWindowCommand::Reduce:
        if (!mReduce1->isEnabled() || !mReduce1->isVisible()) return false;
        applyLayout(false);
        return true;
    case JobWindowCommand::Show:
        if (isVisible()) return false;
        show();
        return true;
    case JobWindowCommand::Hide:
        if (!isVisible()) return false;
        hide();
        return true;
    case JobWindowCommand::Show3D:
        showTab(mTab3D);
        return mPages->currentWidget() == mTab3D;
    }
    return false;
}

}  // namespace mvx
