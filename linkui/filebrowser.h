#pragma once
// TFNClientFTP, the file browser of the controller ("FTP Client"): lists the controller's
// folders through the file-transfer session, shows one file in an editor, saves it to the PC or
// back to the controller, deletes entries, creates folders and reboots the controller.
// GUI thread only.

#include "link/controller.h"
#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QsciScintilla;
class QTreeWidget;

namespace mvx::link {
class RemoteFiles;
}

namespace mvx::linkui {

// One row of the list.
struct BrowserEntry {
    std::string name;
    bool directory = false;
    bool link = false;
    std::uint64_t size = 0;
    std::string modified;
    std::string group;
    std::string user;
    std::string attributes;
};

// The folder that "Remonter" goes to: the text up to its last separator (kept). A folder
// without one stays as it is.
std::string ParentFolder(const std::string& remoteDir);
// Trailing '/' and '\' removed; the root stays "/".
std::string StripTrailingSeparators(const std::string& folder);
// "Dec 10 12:13" or "Dec 10  2025" (as an FTP listing shows it) as "mm/dd/yyyy hh:mm"; a date
// without a year takes `currentYear`. Unreadable text comes back unchanged.
std::string FtpDateText(const std::string& listed, int currentYear);
// The memo line of a transfer in progress.
std::string TransferProgressText(bool reading, std::uint64_t done, std::uint64_t maximum, double elapsedSeconds);
// The progress bar maximum for an announced size (0: none announced).
int TransferBarMaximum(std::uint64_t announced);
// "Read from PC" layout: tabs to blanks, lines trimmed, empty lines dropped except one before a
// line that starts with "[".
std::string CompactText(const std::string& text);

class TFNClientFTP : public QDialog {
public:
    TFNClientFTP(QWidget* parent, link::Controller& controller);
    ~TFNClientFTP() override;

    // Makes `folder` current and lists it ("..": the parent). False when it could not be listed.
    bool ChangeDirectory(const std::string& folder);
    // Fills the shared list (transferState().RemoteListing) with the names of RemoteDir by SFTP.
    // Every file below `folder` as folder + separator + name, depth first; false when a folder
    // could not be listed (the list then holds what was found). `status` shows progress.
    bool ListTreeRecursive(const std::string& folder, std::vector<std::string>& files,
                           const std::function<void(const std::string&)>& status);

    // Handlers.
    void ListBox1Click(int row);
    void ConfigFilesClick();
    void TrajectoriesClick();
    void MesuresClick();
    // `path` empty: the open / save dialog asks.
    void ReadFromPcClick(const std::string& path = {});
    void SaveToPcClick(const std::string& path = {});
    void SaveInKvxClick();
    void ResetKvxClick();
    void Remonter1Click();
    void SaveInCurrentDirectory1Click();
    void Delete1Click();
    void CreateSubdirectory1Click();
    // The tool bar's search buttons: the search and replace dialogs, and searching again.
    void SearchClick();
    void ReplaceClick();
    void SearchAgain(bool backward);
    // "Open": a local file into the editor, read-only when the dialog's box was ticked.
    // `path` empty: the open dialog asks.
    void FileOpenClick(const std::string& path = {}, bool readOnly = false);

    // The shared search dialogs live with the workbench: the window that ties the windows
    // together hands them in. `open(replace)` runs the search or replace dialog on editor(),
    // `again(backward)` searches again with the shared options.
    struct SearchHooks {
        std::function<void(bool replace)> open;
        std::function<void(bool backward)> again;
    };
    void SetSearchHooks(SearchHooks hooks) { mSearch = std::move(hooks); }
    // The TCL editor's remote file list follows every listing of this window.
    void SetTclListHandler(std::function<void(const std::vector<BrowserEntry>&)> handler);
    // Called when the window closes: the maintenance console takes the link's state back.
    void SetCloseHandler(std::function<void()> handler);

    const std::vector<BrowserEntry>& entries() const { return mEntries; }
    const std::string& folder() const { return mFolder; }
    QsciScintilla* editor() const { return mEditor; }
    QPlainTextEdit* statusMemo() const { return mStatus; }
    QTreeWidget* list() const { return mList; }
    void addStatus(const std::string& line);
    // The FTP session ended: the memo is washed as before an addition.
    void washStatus();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The session's replies, gathered on the thread that makes them and shown in batches: one
    // hand-over to this window per batch instead of one per reply.
    struct StatusFeed;
    std::shared_ptr<StatusFeed> mFeed;
    void showStatusFeed();
    bool listFolder(const std::string& folder);
    bool enterShownFolder();
    void fillList();
    void goToFolder(const std::string& folder);
    bool download(const BrowserEntry& e);
    // One transfer with the bar and the memo following its bytes.
    bool transferWithProgress(link::RemoteFiles& files, bool reading, const std::string& remote,
                              const std::string& local, std::uint64_t announced, std::string& error);
    int selectedRow() const;
    void setEditorText(const std::string& text);

    QLabel* mLabel3 = nullptr;
    QGroupBox* mFilesBox = nullptr;
    QTreeWidget* mList = nullptr;
    QsciScintilla* mEditor = nullptr;
    QPlainTextEdit* mStatus = nullptr;
    QCheckBox* mWashing = nullptr;
    QProgressBar* mTransferBar = nullptr;
    QProgressBar* mRebootBar = nullptr;
    std::vector<BrowserEntry> mEntries;
    std::string mFolder;
    SearchHooks mSearch;
    std::function<void(const std::vector<BrowserEntry>&)> mTclList;
    std::function<void()> mOnClose;

private:
    link::Controller& mController;
};

// The browser created at start-up, or null.
TFNClientFTP* FileBrowser();

void registerBrowserTexts();

}  // namespace mvx::linkui
