#pragma once
// The general text editor window: opens, edits, saves and prints any local text file, with the
// shared search and replace dialogs. GUI thread only.

#include "searchdialogs.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QTextDocument;
class QToolButton;
class QsciScintilla;

namespace mvx::tclbench {

class TFedit : public QDialog {
    Q_OBJECT
public:
    explicit TFedit(QWidget* parent = nullptr);

    // File choosers, replaceable by tests. Open: filter text in, chosen path out (empty: cancelled),
    // `filterIndex` in/out. Save: filter text, the filter to start on, the current name.
    using OpenChooser = std::function<QString(const QString& filter, int& filterIndex)>;
    using SaveChooser = std::function<QString(const QString& filter, int filterIndex, const QString& current)>;
    void SetFileChoosers(OpenChooser open, SaveChooser save);
    void SetConfirmHandler(ConfirmHandler handler) { mConfirm = std::move(handler); }

    // Loads a file into the editor (name in panel 4, modified flag cleared); false with a message
    // when it cannot be read, the text then stays as it was.
    bool LoadFile(const QString& path);
    // Writes the text under a temporary name and renames it over `path`; false with a message.
    bool SaveToFile(const QString& path);

    // Menu operations.
    void FileNew();
    void FileOpen();
    bool FileSaveAs();
    bool FileSave();
    void FilePrint();
    void RunSearchDialog(bool replace);
    void SearchAgain(bool backward);
    // The text as it goes to the printer.
    std::unique_ptr<QTextDocument> BuildPrintDocument() const;

    QsciScintilla* editor() const { return SynEdit1; }
    QString panelText(int panel) const;
    QString fileName() const { return mFileName; }
    QAction* findNextAction() const { return mFindNext; }
    QAction* findPreviousAction() const { return mFindPrevious; }

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Asks to save a modified text; false when the user wanted it saved and it was not.
    bool AskToSave();
    SearchStatus status3();
    void updateCaretPanel();
    void updateModifiedPanel();
    void updateInsertPanel();
    void buildMenus();

    QsciScintilla* SynEdit1 = nullptr;
    QLabel* mPanels[5] = {};
    QMenu* mEditMenu = nullptr;
    QAction* mFindNext = nullptr;
    QAction* mFindPrevious = nullptr;
    OpenChooser mOpenChooser;
    SaveChooser mSaveChooser;
    ConfirmHandler mConfirm = AskConfirmReplace;
    QString mFileName;  // the save dialog's current file name
    int mOpenFilterIndex = 0;
    bool mLatin1 = false;  // the file was not UTF-8: written back the same way
    bool mSearchFromCaret = false;
};

// Qt filter text ("All (*.*);;Ini files  (*.ini)") from "caption|pattern|caption|pattern".
QString QtFilterFromPairs(const QString& pairs);

void registerTextEditTexts();

}  // namespace mvx::tclbench
