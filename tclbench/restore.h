#pragma once
// TFrestore: puts files of the local mirror (the program folder's "ADMIN/", filled by the
// backup) back into the matching folder of the controller. GUI thread only.

#include "link/controller.h"
#include <QDialog>

#include <functional>
#include <string>

class QComboBox;
class QFileSystemModel;
class QListWidget;
class QTreeView;

namespace mvx::tcl {

// The mirror's root: program folder + AdminFolderName, without the trailing separator.
std::string MirrorRoot();
// The folder the restore starts in: the mirror's public scripts folder (found without regard to
// case, "Public/Scripts" when it does not exist yet).
std::string RestoreStartFolder();
// The controller folder that the mirror's root stands for (the parent of RemotePublicDir).
std::string RemoteMirrorBase();

class TFrestore : public QDialog {
public:
    TFrestore(QWidget* parent, link::Controller& controller);

    // Remembers the panel, moves the tree to `startFolder` (relative: below the program folder)
    // and shows the window modally.
    void Open(std::function<void(const std::string&)> statusPanel, const std::string& startFolder);
    // Moves the tree without showing the window; keeps it inside the mirror.
    void setFolder(const std::string& folder);
    std::string folder() const { return mFolder; }

    void Button1Click();
    void DirectoryListBox1Change(const std::string& folder);
    // Uploads the selected files; returns how many arrived.
    int Button2Click();

    QListWidget* fileList() const { return mFiles; }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void refreshFiles();
    QTreeView* mTree = nullptr;
    QFileSystemModel* mModel = nullptr;
    QListWidget* mFiles = nullptr;
    QComboBox* mFilter = nullptr;
    std::string mFolder;
    std::function<void(const std::string&)> mStatus;

private:
    link::Controller& mController;
};

void registerRestoreTexts();

}  // namespace mvx::tcl
