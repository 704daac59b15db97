#pragma once
// The TCL script editor window: the controller's remote folder list, the script editor, the run
// controls, the PC run, the boot script, timed backups and the telnet pane.
//
// GUI thread only. Every controller call goes through the link's transfer and API pool; long
// calls dispatch events, so handlers must expect to be re-entered (the buttons are disabled
// while a transfer runs). Windows of the workbench that live elsewhere are opened through the
// hooks; an unset hook leaves its menu item doing nothing.

#include "link/controller.h"
#include "tclbackup.h"
#include "tclsort.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QsciScintilla;
class QsciLexerTCL;
class QTreeWidget;
class QLineEdit;
class QLabel;
class QPushButton;
class QCheckBox;
class QGroupBox;
class QStatusBar;
class QTimer;
class QAction;
class QMenu;
class QPoint;
class QsciMacro;
class QPrinter;

namespace mvx::linkui {
struct BrowserEntry;
}

namespace mvx::tclbench {

class TclTelnetPane;

// The generated fragments that the "&Macros" dialogs insert.
enum class FragmentKind { Repeat, Delay, TestInput, ChangeOutput, CallProcedure, CallScript };

// The "&Macros" items in menu order with their captions.
struct GeneratorItem {
    FragmentKind kind;
    const char* caption;
};
inline constexpr GeneratorItem kGeneratorItems[] = {
    {FragmentKind::Repeat, "Répéter N fois"},      {FragmentKind::Delay, "Délai"},
    {FragmentKind::TestInput, "Test entrée"},      {FragmentKind::ChangeOutput, "Changer sortie"},
    {FragmentKind::CallProcedure, "Procedure"},    {FragmentKind::CallScript, "Script TCL"},
};

// Windows and dialogs of other parts of the workbench.
struct TFtclHooks {
    std::function<void()> openApiBrowser;    // "API &KVX" (only when ORMIX.API exists)
    std::function<void()> openVariables;     // "&Variable"
    std::function<void()> addIncludeFile;    // "Ajouter un fichier ou trouver des variables"
    std::function<void()> removeIncludeFile; // "Retirer un fichier de la liste"
    std::function<void()> openProcedureBuilder;  // "Procedure.inc"
    std::function<void()> openBackup;        // "Sauvegarde" (controller scripts folder)
    std::function<void(const std::string& startFolder)> openRestore;  // "Restaure"
    std::function<void(const std::string& path)> openTextEditor;      // "E&diteur"
    std::function<void(FragmentKind kind)> openGenerator;             // a "&Macros" item
    // "Afficher le graphique": reads, charts and shows the gathering file modally.
    std::function<void(const std::string& gatheringFile)> showGathering;
};

// File and print dialogs, replaceable by tests. Empty result: cancelled.
struct TFtclFileDialogs {
    std::function<std::string(const std::string& startFolder, bool& readOnly)> open;
    std::function<std::string(const std::string& proposed)> save;
    // Lets the user set up the printer; false: cancelled.
    std::function<bool(QPrinter& printer)> print;
};

// What one printed page carried above and below the text.
struct PrintedPage {
    int number = 0;
    std::string header;
    std::string footer;
};

class TFtcl : public QDialog {
    Q_OBJECT
public:
    TFtcl(QWidget* parent, link::Controller& controller);
    ~TFtcl() override;

    void setHooks(TFtclHooks hooks) { mHooks = std::move(hooks); }
    void setFileDialogs(TFtclFileDialogs dialogs);

    // The editor's text, and its replacement (a replaced modified text is backed up first).
    std::string editorText() const;
    void setEditorText(const std::string& text);
    QsciScintilla* editor() const noexcept { return mEditor; }
    TclTelnetPane* telnetPane() const noexcept { return mMemo1; }
    std::string statusText(int panel) const;
    // Status text from the dialogs the editor opens (backup, restore, search).
    void showStatus(int panel, const std::string& text) { setPanel(panel, text); }
    std::string answerText() const;
    std::vector<RemoteRow> rows() const { return mRows; }
    int indentDepth() const noexcept { return mIndentDepth; }
    const std::string& backupDir() const noexcept { return mBackupDir; }
    int backupPeriodMs() const;
    bool backupTimerActive() const;

    // The window's commands (the buttons and menu items call them).
    void FormShow();
    void FormClose();
    void RelistRemoteDir();
    // The file browser listed the current remote folder: the list shows the same entries.
    void ShowListing(const std::vector<linkui::BrowserEntry>& entries);
    void ListBox1Click(int row);          // load the entry
    void BitBtn4Click();                  // save and upload
    void BitBtn2Click();                  // execute
    void BitBtn1Click();                  // execute, wait and show the answer
    void BitBtn3MouseDown(bool alt);      // kill
    void BitBtn5Click(bool withName);     // delete the current script
    void BitBtn7Click();                  // "&Relire"
    void actFileOpenExecute();            // "&Open..."
    void BitBtn8Click();                  // "&Sauvegarde" on the PC
    void BitBtn10Click();                 // bootable
    void Timer1Timer();                   // one backup
    void Miseenpage1Click();              // re-indent
    void Indentation1Click();             // depth + 1
    void Indentation2Click();             // depth - 1
    void Profondeurdindentation1Click();  // ask the depth
    void Timerdebackup1Click();
    void Repertoiredebackupautomatique1Click();
    // The editor's pop-up menu at `at` (screen): its edit commands and the indentation ones,
    // "&Indentation" showing the depth.
    void PopupMenu1Popup(const QPoint& at);
    void SortByColumn(int column);
    void HeaderPress(int x, std::int64_t nowMs);
    void Button1Click();                  // run on the PC
    void FormActivate();                  // PC-run controls
    void EffacerToutClick();
    void NewClick();
    void NewTCLPC1Click();
    void InsertFragment(const std::vector<std::string>& lines, FragmentKind kind);
    // Lines (each ending in "\n") put directly below the caret's line (the API browser).
    void InsertBelowCaretLine(const std::string& lines);
    // "Im&primer": the script's name as title and document title, in the header.
    void ImprimerClick();
    const std::vector<PrintedPage>& lastPrint() const noexcept { return mLastPrint; }
    // Search and replace with the shared dialogs and options.
    void actSearchExecute();
    void actSearchReplaceExecute();
    void actSearchNextExecute();
    void actSearchPrevExecute();
    // "Find next" and "Find previous" only after a search; "Replace..." also not when read-only.
    void actSearchUpdate();
    // After a waited run: the chart and the kept copy of the gathering file.
    void AfterRunGathering();
    void FichierSauvegardeGatheringClick();

    // The console program that runs scripts on the PC, in the PC-side TCL folder.
    static std::string PcConsoleName();
    // Its argument line: "0 name" hidden, "<c> name" shown (c "0" closes, "1" keeps).
    static std::string PcConsoleArguments(bool showConsole, bool closeConsole, const std::string& name);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUi();
    void buildMenus();
    void applyLineNumbers();
    void applyBold();
    void setState(const std::string& suffix);
    void setPanel(int panel, const std::string& text);
    bool loadLocalFile(const std::string& path);
    void backupIfModified();
    bool saveLocal(const std::string& path, std::string& error);
    void fillList();
    void showRows();
    void enableTransferControls(bool busy);
    std::string apiPath() const;
    void startBackupTimer();
    void readSettings();
    void setCurrentName(const std::string& name);
    bool noApi() const;

    TFtclHooks mHooks;
    TFtclFileDialogs mDialogs;
    QsciScintilla* mEditor = nullptr;
    QsciLexerTCL* mLexer = nullptr;
    QTreeWidget* mListBox1 = nullptr;
    QGroupBox* mFilesBox = nullptr;
    QLineEdit* mEdit8 = nullptr;  // script name
    QLineEdit* mEdit6 = nullptr;  // task
    QLineEdit* mEdit1 = nullptr;  // arguments
    QLineEdit* mEdit7 = nullptr;  // answer
    QLabel* mLabel3 = nullptr;    // run time
    QLabel* mWarning = nullptr;
    QLabel* mTty = nullptr;
    QLineEdit* mEdit2 = nullptr;
    QPushButton* mBitBtn1 = nullptr;
    QPushButton* mBitBtn2 = nullptr;
    QPushButton* mBitBtn3 = nullptr;
    QPushButton* mBitBtn4 = nullptr;
    QPushButton* mBitBtn5 = nullptr;
    QPushButton* mBitBtn7 = nullptr;
    QPushButton* mBitBtn8 = nullptr;
    QPushButton* mBitBtn10 = nullptr;
    QPushButton* mButton1 = nullptr;  // PC run
    QCheckBox* mCheckBox3 = nullptr;  // show the gathering chart after a run
    QCheckBox* mCheckBox4 = nullptr;  // keep a copy of the gathering file
    QsciMacro* mMacro = nullptr;
    bool mRecording = false;
    QCheckBox* mCloseConsole = nullptr;
    QCheckBox* mShowConsole = nullptr;
    QGroupBox* mPcBox = nullptr;
    TclTelnetPane* mMemo1 = nullptr;
    QStatusBar* mStatus = nullptr;
    QLabel* mPanels[3] = {nullptr, nullptr, nullptr};
    QTimer* mTimer1 = nullptr;
    QAction* mLinesAction = nullptr;
    QAction* mBoldAction = nullptr;
    QAction* mAllowBackups = nullptr;
    QAction* mIndentAction = nullptr;
    QAction* mNewTclPc = nullptr;
    QAction* mSaveBackupAction = nullptr;
    QAction* mRestoreAction = nullptr;
    QAction* mProcedureAction = nullptr;
    QAction* mFindNextAction = nullptr;
    QAction* mFindPrevAction = nullptr;
    QAction* mReplaceAction = nullptr;
    bool mSearchFromCaret = false;
    std::vector<PrintedPage> mLastPrint;

    std::vector<RemoteRow> mRows;
    TclBackupRotation mBackups;
    HeaderClickTimer mHeaderClicks;
    int mSortDirection = 1;
    int mIndentDepth = 6;
    std::string mBackupDir;
    double mBackupSeconds = kDefaultBackupSeconds;
    bool mTelnetWasOpen = false;
    bool mFilesWidthSet = false;  // the file list got its opening width
    bool mBusy = false;
    bool mLoading = false;

private:
    link::Controller& mController;
};

// Registers the window's built-in message texts (once).
void registerTclEditorTexts();

}  // namespace mvx::tclbench
