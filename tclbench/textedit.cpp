#include "textedit.h"

#include "app/dialogs.h"
#include "app/language.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QStatusBar>
#include <QStyle>
#include <QStringDecoder>
#include <QTextDocument>
#include <QToolBar>
#include <QVBoxLayout>

#include <array>

namespace mvx::tclbench {

namespace {

const char* const kOpenFilter =
    "All|*.*|Ini files |*.ini|text files|*.txt|scan files|*.scan|CSV files|*.csv|Algo files|*.algo|data "
    "files|*.dat|Gcode|*.nc|Script python (*.py)|*.py";
const char* const kSaveFilter = "Textes (*.TXT)|*.TXT|Textes enrichis (*.RTF)|*.RTF|Ini (*.INI)|*.INI|Tous (*.*)|*.*";

constexpr std::array<int, 5> kPanelWidths{60, 70, 70, 90, 50};

}  // namespace

void registerTextEditTexts()
{
    static bool done = false;
    if (done) return;
    done = true;
    static const texts::Builtin kRows[] = {
        {"StringFichierModif", "Le fichier a été modifié souhaitez vous le sauvegarder ?"},
    };
    texts::add(texts::Family::Controller, kRows);
}

QString QtFilterFromPairs(const QString& pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << parts.at(i) + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

TFedit::TFedit(QWidget* parent) : QDialog(parent)
{
    registerTextEditTexts();
    setObjectName(QStringLiteral("Fedit"));
    setWindowTitle(QStringLiteral("EDITION de FICHIERS"));
    setSizeGripEnabled(true);
    resize(760, 560);

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);

    SynEdit1 = new QsciScintilla(this);
    SynEdit1->setObjectName(QStringLiteral("SynEdit1"));
    SynEdit1->setUtf8(true);
    SynEdit1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    SynEdit1->setMarginType(0, QsciScintilla::NumberMargin);
    SynEdit1->setMarginWidth(0, QStringLiteral("000000"));
    SynEdit1->setContextMenuPolicy(Qt::CustomContextMenu);
    SynEdit1->installEventFilter(this);

    buildMenus();
    top->addWidget(SynEdit1, 1);

    auto* status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar1"));
    status->setSizeGripEnabled(false);
    for (int i = 0; i < 5; ++i) {
        mPanels[i] = new QLabel(status);
        mPanels[i]->setMinimumWidth(kPanelWidths[static_cast<std::size_t>(i)]);
        status->addWidget(mPanels[i], i == 4 ? 1 : 0);
    }
    top->addWidget(status);

    connect(SynEdit1, &QsciScintilla::cursorPositionChanged, this, [this](int, int) { updateCaretPanel(); });
    connect(SynEdit1, &QsciScintilla::modificationChanged, this, [this](bool) { updateModifiedPanel(); });
    connect(SynEdit1, &QsciScintilla::SCN_UPDATEUI, this, [this](int) { updateInsertPanel(); });
    connect(SynEdit1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { mEditMenu->exec(SynEdit1->mapToGlobal(at)); });

    mOpenChooser = [this](const QString& filter, int& index) {
        const QStringList filters = filter.split(QStringLiteral(";;"));
        QString selected = filters.value(index);
        const QString path = QFileDialog::getOpenFileName(this, QString(), mFileName, filter, &selected);
        if (!path.isEmpty()) index = std::max<int>(0, static_cast<int>(filters.indexOf(selected)));
        return path;
    };
    mSaveChooser = [this](const QString& filter, int index, const QString& current) {
        QString selected = filter.split(QStringLiteral(";;")).value(index);
        return QFileDialog::getSaveFileName(this, QString(), current, filter, &selected);
    };

    updateCaretPanel();
    updateModifiedPanel();
    updateInsertPanel();
    RememberWindowPosition(this, true);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

void TFedit::buildMenus()
{
    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("MainMenu1"));
    layout()->setMenuBar(bar);
    auto* tools = new QToolBar(this);
    tools->setObjectName(QStringLiteral("tbMain"));
    layout()->addWidget(tools);

    auto action = [this](QMenu* menu, const char* name, const char* caption, const QKeySequence& key,
                         auto&& slot) {
        auto* a = new QAction(QString::fromUtf8(caption), this);
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        }
        connect(a, &QAction::triggered, this, std::forward<decltype(slot)>(slot));
        menu->addAction(a);
        addAction(a);
        return a;
    };

    QMenu* file = bar->addMenu(QStringLiteral("&Fichier"));
    file->setObjectName(QStringLiteral("Fichier1"));
    action(file, "Nouveau1", "&Nouveau", QKeySequence(Qt::CTRL | Qt::Key_N), [this] { FileNew(); });
    QAction* open = action(file, "Ouvrir1", "&Ouvrir", QKeySequence(Qt::CTRL | Qt::Key_O), [this] { FileOpen(); });
    action(file, "Enregistrersous1", "&Enregistrer sous...", QKeySequence(Qt::CTRL | Qt::Key_S),
           [this] { FileSaveAs(); });
    action(file, "Enregistrer1", "Enregistrer", QKeySequence(), [this] { FileSave(); });
    action(file, "Imprimer1", "&Imprimer", QKeySequence(Qt::CTRL | Qt::Key_P), [this] { FilePrint(); });
    action(file, "Fermer1", "&Fermer", QKeySequence(), [this] { close(); });

    mEditMenu = bar->addMenu(QStringLiteral("&Edition"));
    mEditMenu->setObjectName(QStringLiteral("Edition1"));
    QsciScintilla* ed = SynEdit1;
    action(mEditMenu, "Annuler1", "&Annuler", QKeySequence(Qt::CTRL | Qt::Key_Z), [ed] { ed->undo(); });
    action(mEditMenu, "Retablir1", "&Rétabllir", QKeySequence(Qt::CTRL | Qt::Key_Y), [ed] { ed->redo(); });
    action(mEditMenu, "Couper1", "&Couper", QKeySequence(Qt::CTRL | Qt::Key_X), [ed] { ed->cut(); });
    action(mEditMenu, "Copier1", "C&opier", QKeySequence(Qt::CTRL | Qt::Key_C), [ed] { ed->copy(); });
    action(mEditMenu, "Coller1", "Co&ller", QKeySequence(Qt::CTRL | Qt::Key_V), [ed] { ed->paste(); });
    action(mEditMenu, "Supprimer1", "S&upprimer la sélection", QKeySequence(Qt::CTRL | Qt::Key_W),
           [ed] { ed->removeSelectedText(); });
    action(mEditMenu, "Selectionnertout1", "&Sélectionner tout", QKeySequence(Qt::CTRL | Qt::Key_A),
           [ed] { ed->selectAll(); });

    QMenu* search = bar->addMenu(QStringLiteral("&Recherche"));
    search->setObjectName(QStringLiteral("Recherche1"));
    QAction* find = action(search, "Chercher1", "&Chercher...", QKeySequence(Qt::CTRL | Qt::Key_F), [this] {
        mFindNext->setEnabled(true);
        mFindPrevious->setEnabled(true);
        RunSearchDialog(false);
    });
    action(search, "Suivant1", "&Suivant", QKeySequence(Qt::Key_F3), [this] { SearchAgain(false); });
    action(search, "Precedent1", "&Précédent", QKeySequence(Qt::Key_F2), [this] { SearchAgain(true); });
    QAction* replace =
        action(search, "Remplacer1", "&Remplacer", QKeySequence(Qt::CTRL | Qt::Key_R), [this] { RunSearchDialog(true); });

    tools->addAction(open);
    tools->addSeparator();
    // The tool bar's search picture opens the dialog; its two neighbours search again.
    QAction* findTool = tools->addAction(style()->standardIcon(QStyle::SP_FileDialogContentsView),
                                         QStringLiteral("Find &next"));
    findTool->setObjectName(QStringLiteral("tbtnSearch"));
    connect(findTool, &QAction::triggered, find, &QAction::trigger);
    mFindNext = tools->addAction(QStringLiteral("Find &next"), this, [this] { SearchAgain(false); });
    mFindNext->setObjectName(QStringLiteral("tbtnSearchNext"));
    mFindPrevious = tools->addAction(QStringLiteral("Find &previous"), this, [this] { SearchAgain(true); });
    mFindPrevious->setObjectName(QStringLiteral("tbtnSearchPrev"));
    QAction* replaceTool = tools->addAction(QStringLiteral("&Replace..."));
    replaceTool->setObjectName(QStringLiteral("tbtnSearchReplace"));
    connect(replaceTool, &QAction::triggered, replace, &QAction::trigger);
    mFindNext->setEnabled(false);
    mFindPrevious->setEnabled(false);
}

void TFedit::SetFileChoosers(OpenChooser open, SaveChooser save)
{
    if (open) mOpenChooser = std::move(open);
    if (save) mSaveChooser = std::move(save);
}

QString TFedit::panelText(int panel) const
{
    return panel >= 0 && panel < 5 ? mPanels[panel]->text() : QString();
}

void TFedit::updateCaretPanel()
{
    int line = 0;
    int index = 0;
    SynEdit1->getCursorPosition(&line, &index);
    mPanels[0]->setText(QStringLiteral("%1:%2").arg(line + 1, 4).arg(index + 1, 4));
}

void TFedit::updateModifiedPanel()
{
    mPanels[1]->setText(SynEdit1->isModified() ? QStringLiteral("Modified") : QStringLiteral("Not modified"));
}

void TFedit::updateInsertPanel()
{
    mPanels[2]->setText(SynEdit1->overwriteMode() ? QStringLiteral("Replacement") : QStringLiteral("Insertion"));
}

bool TFedit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == SynEdit1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Insert && key->modifiers() == Qt::NoModifier) {
            SynEdit1->setOverwriteMode(!SynEdit1->overwriteMode());
            updateInsertPanel();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TFedit::LoadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMsg(("Impossible d'ouvrir " + path + " : " + file.errorString()).toStdString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        ShowMsg(("Impossible de lire " + path + " : " + file.errorString()).toStdString());
        return false;
    }
    // Files of other programs are often in a single-byte code: keep their bytes as they are.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    mLatin1 = utf8.hasError();
    if (mLatin1) text = QString::fromLatin1(bytes);
    SynEdit1->setText(text);
    SynEdit1->setCursorPosition(0, 0);
    SynEdit1->setModified(false);
    mFileName = path;
    mPanels[4]->setText(QFileInfo(path).fileName());
    updateModifiedPanel();
    return true;
}

bool TFedit::SaveToFile(const QString& path)
{
    const QString text = SynEdit1->text();
    if (mLatin1) {
        // A character outside the single-byte code would be lost: write UTF-8 instead.
        bool fits = true;
        for (QChar c : text) fits = fits && c.unicode() < 256;
        if (!fits) mLatin1 = false;
    }
    const QByteArray bytes = mLatin1 ? text.toLatin1() : text.toUtf8();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        ShowMsg(("Impossible d'enregistrer " + path + " : " + file.errorString()).toStdString());
        return false;
    }
    SynEdit1->setModified(false);
    mFileName = path;
    updateModifiedPanel();
    return true;
}

bool TFedit::AskToSave()
{
    if (!SynEdit1->isModified()) return true;
    const std::string question = texts::get("StringFichierModif");
    if (MsgDialog(question, 3, MbYes | MbNo) != MrYes) return true;
    return FileSaveAs();
}

void TFedit::FileNew()
{
    if (!AskToSave()) return;
    SynEdit1->clear();
    SynEdit1->setModified(false);
    // A new text has no file yet: "Enregistrer" must not write it over the last one opened.
    mFileName.clear();
    mPanels[4]->clear();
    mLatin1 = false;
    updateModifiedPanel();
}

void TFedit::FileOpen()
{
    if (!AskToSave()) return;
    int index = mOpenFilterIndex;
    const QString path = mOpenChooser(QtFilterFromPairs(QString::fromUtf8(kOpenFilter)), index);
    if (path.isEmpty()) return;
    mOpenFilterIndex = index;
    if (QFileInfo::exists(path)) LoadFile(path);
}

bool TFedit::FileSaveAs()
{
    const QString path = mSaveChooser(QtFilterFromPairs(QString::fromUtf8(kSaveFilter)), mOpenFilterIndex, mFileName);
    if (path.isEmpty()) return false;
    return SaveToFile(path);
}

bool TFedit::FileSave()
{
    // Without a name yet there is nowhere to write: ask for one.
    if (mFileName.isEmpty()) return FileSaveAs();
    return SaveToFile(mFileName);
}

std::unique_ptr<QTextDocument> TFedit::BuildPrintDocument() const
{
    auto doc = std::make_unique<QTextDocument>();
    doc->setDefaultFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    doc->setMetaInformation(QTextDocument::DocumentTitle, QFileInfo(mFileName).fileName());
    QString text = SynEdit1->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    doc->setPlainText(text);
    return doc;
}

void TFedit::FilePrint()
{
    QPrinter printer;
    printer.setDocName(QFileInfo(mFileName).fileName());
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    BuildPrintDocument()->print(&printer);
}

void TFedit::RunSearchDialog(bool replace)
{
    tclbench::RunSearchDialog(SynEdit1, replace, mSearchFromCaret, status3(), searchOptions().TextAtCaret, mConfirm, this);
}

void TFedit::SearchAgain(bool backward)
{
    tclbench::SearchAgain(SynEdit1, backward, mSearchFromCaret, status3());
}

SearchStatus TFedit::status3()
{
    return [this](const QString& text) { mPanels[3]->setText(text); };
}

void TFedit::showEvent(QShowEvent* event)
{
    SynEdit1->setModified(false);
    updateModifiedPanel();
    QDialog::showEvent(event);
}

void TFedit::reject()
{
    // Escape, "Fermer" and the close box all end here. A text the user wanted saved but that
    // could not be saved keeps the window open.
    if (!AskToSave()) return;
    QDialog::reject();
}

}  // namespace mvx::tclbench
