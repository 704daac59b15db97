#pragma once
// Backup of the controller's files to the PC: TFchoixsauve lists every file below a remote
// folder in a check list and copies the ticked ones into the local mirror (the program folder's
// "ADMIN/" folder, laid out like the controller), TFchoixRep chooses the local folder.
// GUI thread only.

#include "link/controller.h"
#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QLineEdit;
class QListWidget;
class QFileSystemModel;
class QTreeView;

namespace mvx::linkui {

// The mirror folder of a remote folder, relative to the mirror's root: the controller's
// "/Admin" or "/mnt/user" prefix is dropped ("/Admin/Public/Scripts/a" -> "Public/Scripts/a").
// nullopt when a part of it could lead outside the mirror ("..", ".").
std::optional<std::string> MirrorRelativeFolder(const std::string& remoteFolder);

class TFchoixRep : public QDialog {
public:
    explicit TFchoixRep(QWidget* parent);

    // False when the folder does not exist (the choice is then left as it was).
    bool setFolder(const std::string& folder);
    std::string folder() const;

    void CreerClick();
    void SupprimerClick();

private:
    QLineEdit* mEdit1 = nullptr;
    QTreeView* mTree = nullptr;
    QFileSystemModel* mModel = nullptr;
};

class TFchoixsauve : public QDialog {
public:
    TFchoixsauve(QWidget* parent, link::Controller& controller, TFchoixRep* folderDialog);

    // Called by the TCL editor with RemoteScriptsDir: lists the tree and shows the dialog modally.
    void ShowBackupList(std::function<void(const std::string&)> statusPanel, const std::string& remoteFolder);
    // Lists the tree into the check list (no dialog shown). False when a folder could not be listed.
    bool FillList(const std::string& remoteFolder);

    // A click on a row, with or without Shift held.
    void CheckListBox1Click(int row, bool shift);
    void TickAll();
    // "Sauvegarder les fichiers KVX": asks the local folder, then copies.
    void SauvegarderClick();
    // Copies the ticked files below `localRoot`, each into the folder that mirrors its remote
    // folder. Returns how many were copied; false in `ok` when one failed or the copy stopped.
    int CopyTicked(const std::string& localRoot, bool* ok = nullptr);

    QListWidget* list() const { return mList; }
    int anchor() const { return mAnchor; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void status(const std::string& text);
    QListWidget* mList = nullptr;
    TFchoixRep* mFolderDialog = nullptr;
    std::function<void(const std::string&)> mStatus;
    int mAnchor = -1;
    bool mCopying = false;

private:
    link::Controller& mController;
};

void registerBackupTexts();

}  // namespace mvx::linkui
