// The general text editor: open, modify, save, the "modified" question, search, printing text.

#include "tclbench/textedit.h"

#include "core/common.h"
#include "app/dialogs.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <gtest/gtest.h>


using namespace mvx;
using namespace mvx::tclbench;

namespace {

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class TextEditor : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mDir.isValid());
        mEdit.SetFileChoosers(
            [this](const QString&, int&) {
                ++mOpenAsked;
                return mOpenPath;
            },
            [this](const QString&, int, const QString&) {
                ++mSaveAsked;
                return mSavePath;
            });
        SetMessageBoxHandler([this](const std::string& text, std::uint16_t) {
            mMessages.push_back(text);
            return mAnswer;
        });
        searchOptions() = SearchOptions{};
    }
    void TearDown() override { SetMessageBoxHandler({}); }
    QString path(const char* name) const { return mDir.filePath(QString::fromLatin1(name)); }
    void typeAtEnd(const char* text)
    {
        mEdit.editor()->SendScintilla(QsciScintilla::SCI_DOCUMENTEND);
        mEdit.editor()->SendScintilla(QsciScintilla::SCI_REPLACESEL, 0UL, text);
    }

    QTemporaryDir mDir;
    TFedit mEdit;
    QString mOpenPath;
    QString mSavePath;
    int mOpenAsked = 0;
    int mSaveAsked = 0;
    std::vector<std::string> mMessages;
    std::uint16_t mAnswer = MrNo;
};

TEST_F(TextEditor, WindowAndStartState)
{
    EXPECT_EQ(mEdit.objectName(), QStringLiteral("Fedit"));
    EXPECT_EQ(mEdit.windowTitle(), QStringLiteral("EDITION de FICHIERS"));
    EXPECT_FALSE(mEdit.findNextAction()->isEnabled());
    EXPECT_FALSE(mEdit.findPreviousAction()->isEnabled());
    EXPECT_EQ(mEdit.panelText(1), QStringLiteral("Not modified"));
    EXPECT_EQ(mEdit.panelText(2), QStringLiteral("Insertion"));
    EXPECT_EQ(mEdit.panelText(0), QStringLiteral("   1:   1"));
}

TEST_F(TextEditor, OpenModifySave)
{
    const QString file = path("settings.ini");
    writeBytes(file, "[MAIN]\r\nLANGUE=1\r\n");
    mOpenPath = file;
    mEdit.FileOpen();
    EXPECT_EQ(mOpenAsked, 1);
    EXPECT_EQ(mEdit.panelText(4), QStringLiteral("settings.ini"));
    EXPECT_EQ(mEdit.panelText(1), QStringLiteral("Not modified"));
    typeAtEnd("X");
    EXPECT_EQ(mEdit.panelText(1), QStringLiteral("Modified"));
    ASSERT_TRUE(mEdit.FileSave());
    EXPECT_EQ(mSaveAsked, 0);
    EXPECT_EQ(mEdit.panelText(1), QStringLiteral("Not modified"));
    EXPECT_EQ(readBytes(file), QByteArray("[MAIN]\r\nLANGUE=1\r\nX"));  // line ends kept
    EXPECT_TRUE(QDir(mDir.path()).entryList({"*.tmp", "*~"}, QDir::Files).isEmpty());
}

TEST_F(TextEditor, SingleByteFileKeepsItsBytes)
{
    const QString file = path("old.txt");
    writeBytes(file, "caf\xe9\n");
    ASSERT_TRUE(mEdit.LoadFile(file));
    EXPECT_EQ(mEdit.editor()->text(), QStringLiteral("café\n"));
    typeAtEnd("!");
    ASSERT_TRUE(mEdit.FileSave());
    EXPECT_EQ(readBytes(file), QByteArray("caf\xe9\n!"));
}

TEST_F(TextEditor, FailedSaveKeepsTheOldFileAndTheModifiedFlag)
{
    const QString file = path("keep.txt");
    writeBytes(file, "old\n");
    ASSERT_TRUE(mEdit.LoadFile(file));
    typeAtEnd("new");
    // A folder stands where the new file should go: the rename cannot happen.
    const QString blocked = path("blocked");
    ASSERT_TRUE(QDir().mkpath(blocked + "/inside"));
    EXPECT_FALSE(mEdit.SaveToFile(blocked));
    EXPECT_TRUE(QFileInfo(blocked + "/inside").isDir());
    EXPECT_EQ(readBytes(file), QByteArray("old\n"));
    EXPECT_EQ(mEdit.panelText(1), QStringLiteral("Modified"));
    EXPECT_EQ(mMessages.size(), 1u);
    EXPECT_TRUE(mEdit.FileSave());  // the name is still the loaded file's
    EXPECT_EQ(readBytes(file), QByteArray("old\nnew"));
}

TEST_F(TextEditor, SaveIntoMissingFolderFailsAndSaysSo)
{
    mEdit.editor()->setText(QStringLiteral("text"));
    EXPECT_FALSE(mEdit.SaveToFile(path("no/such/folder/x.txt")));
    EXPECT_EQ(mMessages.size(), 1u);
}

TEST_F(TextEditor, SaveWithoutNameAsksForOne)
{
    mEdit.editor()->setText(QStringLiteral("fresh"));
    mSavePath = path("fresh.txt");
    ASSERT_TRUE(mEdit.FileSave());
    EXPECT_EQ(mSaveAsked, 1);
    EXPECT_EQ(readBytes(mSavePath), QByteArray("fresh"));
}

TEST_F(TextEditor, ModifiedQuestionOnNewOpenAndClose)
{
    const std::string question = "Le fichier a été modifié souhaitez vous le sauvegarder ?";
    mEdit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mEdit));
    mEdit.editor()->setText(QStringLiteral("draft"));
    // "Non": "Nouveau" goes on and the text is gone.
    mAnswer = MrNo;
    mEdit.FileNew();
    ASSERT_EQ(mMessages.size(), 1u);
    EXPECT_EQ(mMessages[0], question);
    EXPECT_TRUE(mEdit.editor()->text().isEmpty());
    // Not modified: no question.
    mEdit.FileNew();
    EXPECT_EQ(mMessages.size(), 1u);

    // "Oui" but the save dialog is cancelled: neither opening nor closing loses the text.
    mEdit.editor()->setText(QStringLiteral("draft 2"));
    mAnswer = MrYes;
    mSavePath.clear();
    mOpenPath = path("other.txt");
    writeBytes(mOpenPath, "other");
    mEdit.FileOpen();
    EXPECT_EQ(mOpenAsked, 0);
    EXPECT_EQ(mEdit.editor()->text(), QStringLiteral("draft 2"));
    mEdit.close();
    EXPECT_TRUE(mEdit.isVisible());
    // "Oui" with a name: saved, then closed.
    mSavePath = path("draft.txt");
    mEdit.close();
    EXPECT_FALSE(mEdit.isVisible());
    EXPECT_EQ(readBytes(mSavePath), QByteArray("draft 2"));
}

TEST_F(TextEditor, NewTextIsNeverSavedOverTheLastFile)
{
    const QString file = path("first.txt");
    writeBytes(file, "first");
    ASSERT_TRUE(mEdit.LoadFile(file));
    mEdit.FileNew();
    EXPECT_TRUE(mEdit.panelText(4).isEmpty());
    mEdit.editor()->setText(QStringLiteral("second"));
    mSavePath.clear();  // the user cancels the name
    EXPECT_FALSE(mEdit.FileSave());
    EXPECT_EQ(mSaveAsked, 1);
    EXPECT_EQ(readBytes(file), QByteArray("first"));
}

TEST_F(TextEditor, ShowingClearsTheModifiedFlag)
{
    mEdit.editor()->setText(QStringLiteral("loaded by the TCL editor"));
    mEdit.show();
    EXPECT_EQ(mEdit.panelText(1), QStringLiteral("Not modified"));
    mEdit.hide();
}

TEST_F(TextEditor, InsertKeyTogglesThePanel)
{
    mEdit.show();
    mEdit.editor()->setFocus();
    QTest::keyClick(mEdit.editor(), Qt::Key_Insert);
    EXPECT_EQ(mEdit.panelText(2), QStringLiteral("Replacement"));
    QTest::keyClick(mEdit.editor(), Qt::Key_Insert);
    EXPECT_EQ(mEdit.panelText(2), QStringLiteral("Insertion"));
    mEdit.hide();
}

TEST_F(TextEditor, SearchThroughTheDialogAndAgain)
{
    mEdit.editor()->setText(QStringLiteral("one two one two"));
    // The dialog is modal: answer it once it is up.
    QTimer::singleShot(0, [] {
        TTextSearchDialog* dlg = TextSearchDialog();
        dlg->SetFindText(QStringLiteral("two"));
        dlg->accept();
    });
    mEdit.RunSearchDialog(false);
    EXPECT_EQ(searchOptions().SearchText, QStringLiteral("two"));
    EXPECT_EQ(searchOptions().SearchHistory, QStringLiteral("two"));
    EXPECT_EQ(mEdit.editor()->SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART), 4);
    mEdit.SearchAgain(false);
    EXPECT_EQ(mEdit.editor()->SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART), 12);
    mEdit.SearchAgain(true);
    EXPECT_EQ(mEdit.editor()->SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART), 4);
    EXPECT_TRUE(mEdit.panelText(3).isEmpty());
    // A text that does not occur.
    searchOptions().SearchText = QStringLiteral("three");
    mEdit.SearchAgain(false);
    EXPECT_EQ(mEdit.panelText(3), QStringLiteral("Text not found"));
    EXPECT_FALSE(mEdit.editor()->hasSelectedText());
    EXPECT_EQ(mEdit.editor()->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS), 7);
    // Cancel runs nothing.
    QTimer::singleShot(0, [] { TextSearchDialog()->reject(); });
    mEdit.RunSearchDialog(false);
    EXPECT_EQ(searchOptions().SearchText, QStringLiteral("three"));
}

TEST_F(TextEditor, TextAtCaretFillsTheDialog)
{
    mEdit.editor()->setText(QStringLiteral("alpha beta\ngamma"));
    searchOptions().TextAtCaret = true;
    searchOptions().SearchText = QStringLiteral("old");
    QString offered;
    auto answer = [&offered] {
        TTextSearchDialog* dlg = TextSearchDialog();
        offered = dlg->GetFindText();
        dlg->reject();
    };
    mEdit.editor()->setCursorPosition(0, 7);  // inside "beta"
    QTimer::singleShot(0, answer);
    mEdit.RunSearchDialog(false);
    EXPECT_EQ(offered, QStringLiteral("beta"));
    mEdit.editor()->setSelection(0, 0, 0, 5);  // "alpha", on one line
    QTimer::singleShot(0, answer);
    mEdit.RunSearchDialog(false);
    EXPECT_EQ(offered, QStringLiteral("alpha"));
    EXPECT_EQ(searchOptions().SearchText, QStringLiteral("old"));  // cancelled: nothing stored
}

TEST_F(TextEditor, ReplaceWithSelectionOnlyAsksFirst)
{
    mEdit.editor()->setText(QStringLiteral("a b a"));
    mAnswer = MrNo;
    QTimer::singleShot(0, [] {
        TTextReplaceDialog* dlg = TextReplaceDialog();
        dlg->SetFindText(QStringLiteral("a"));
        dlg->SetReplaceWith(QStringLiteral("c"));
        dlg->SetSelectionOnly(true);
        dlg->accept();
    });
    mEdit.SetConfirmHandler([](QsciScintilla*, long, long) { return ReplaceAnswer::YesToAll; });
    mEdit.RunSearchDialog(true);
    ASSERT_EQ(mMessages.size(), 1u);
    EXPECT_EQ(mMessages[0], "The is no selection available, search whole text?");
    EXPECT_EQ(mEdit.editor()->text(), QStringLiteral("a b a"));
    EXPECT_EQ(searchOptions().ReplaceText, QStringLiteral("c"));
}

TEST_F(TextEditor, PrintDocumentHoldsTheText)
{
    mEdit.editor()->setText(QStringLiteral("G1 X10\r\nG1 Y20\r\n"));
    const auto doc = mEdit.BuildPrintDocument();
    EXPECT_EQ(doc->toPlainText(), QStringLiteral("G1 X10\nG1 Y20\n"));
    EXPECT_EQ(doc->blockCount(), 3);
}

TEST(TextEditorFilters, PairsBecomeQtFilters)
{
    EXPECT_EQ(QtFilterFromPairs(QStringLiteral("All|*.*|Ini files |*.ini")),
              QStringLiteral("All (*.*);;Ini files  (*.ini)"));
}

}  // namespace
