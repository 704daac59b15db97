#include "includes.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "core/inifile.h"
#include "app/language.h"
#include "link/remotename.h"
#include "link/transfer.h"

#include <Qsci/qsciscintilla.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringDecoder>
#include <QVBoxLayout>

namespace mvx::tclbench {

namespace {

const char* const kSection = "INC FILES";

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString scriptsInaccessible()
{
    return QString::fromStdString(texts::get("StringRepScriptInaccessible"));
}

QDialogButtonBox* okCancel(QDialog* dlg)
{
    auto* buttons = new QDialogButtonBox(dlg);
    auto* ok = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("BitBtnOK"));
    ok->setDefault(true);
    auto* cancel = buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("BitBtnCancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
    return buttons;
}

QComboBox* makeBox(QWidget* parent, bool editable)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QStringLiteral("CBChoixINC"));
    box->setEditable(editable);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMinimumWidth(240);
    return box;
}

void fillBox(QComboBox* box, const QStringList& entries)
{
    const QSignalBlocker block(box);
    box->clear();
    box->addItems(entries);
    box->setCurrentIndex(-1);
}

}  // namespace

void registerIncludeTexts()
{
    static bool done = false;
    if (done) return;
    done = true;
    static const texts::Builtin kRows[] = {
        {"StringRepScriptInaccessible", "Répertoire des scripts inaccessible"},
    };
    texts::add(texts::Family::Controller, kRows);
}

bool IncludeFileNameValid(const QString& name)
{
    if (name.trimmed().isEmpty()) return false;
    if (name.startsWith(QLatin1Char('[')) || name.startsWith(QLatin1Char(';'))) return false;
    for (QChar c : name)
        if (c == QLatin1Char('=') || c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') ||
            c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.unicode() < 32)
            return false;
    return name != QLatin1String(".") && name != QLatin1String("..");
}

QStringList IncludeFiles(const IniFile& settings)
{
    QStringList out;
    for (const std::string& key : settings.keys(kSection)) out << QString::fromStdString(key);
    return out;
}

bool AddIncludeFile(IniFile& settings, const QString& name)
{
    if (!IncludeFileNameValid(name)) return false;
    return settings.writeString(kSection, name.toStdString(), "ok");
}

bool RemoveIncludeFile(IniFile& settings, const QString& name)
{
    if (name.isEmpty() || !settings.valueExists(kSection, name.toStdString())) return false;
    return settings.deleteKey(kSection, name.toStdString());
}

std::vector<IncludeVariable> ParseIncludeVariables(const QString& text)
{
    std::vector<IncludeVariable> out;
    QString all = text;
    all.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (QString line : all.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        qsizetype i = 0;
        while (i < line.size() && isBlank(line.at(i))) ++i;
        // "set" must be the command itself: "setup ..." sets nothing.
        if (line.mid(i, 3) != QLatin1String("set") || i + 3 >= line.size() || !isBlank(line.at(i + 3))) continue;
        i += 4;
        while (i < line.size() && isBlank(line.at(i))) ++i;
        qsizetype end = i;
        while (end < line.size() && !isBlank(line.at(end))) ++end;
        if (end == i) continue;
        IncludeVariable v;
        v.name = line.mid(i, end - i);
        if (end < line.size()) v.value = line.mid(end + 1);
        out.push_back(std::move(v));
    }
    return out;
}

void InsertAtCaret(QsciScintilla* editor, const QString& text)
{
    if (!editor || text.isEmpty()) return;
    const QByteArray bytes = editor->isUtf8() ? text.toUtf8() : text.toLatin1();
    const long pos = editor->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS);
    editor->SendScintilla(QsciScintilla::SCI_INSERTTEXT, static_cast<unsigned long>(pos), bytes.constData());
    editor->SendScintilla(QsciScintilla::SCI_GOTOPOS, static_cast<unsigned long>(pos + bytes.size()));
}

// ---- adding a file ----

TFchoixINC::TFchoixINC(QWidget* parent, link::Controller& controller) : QDialog(parent), mController(controller)
{
    registerIncludeTexts();
    setObjectName(QStringLiteral("FchoixINC"));
    setWindowTitle(QStringLiteral("Chercher un fichier \"*.inc\""));
    setModal(true);
    auto* top = new QVBoxLayout(this);
    CBChoixINC = makeBox(this, true);
    top->addWidget(CBChoixINC);
    top->addWidget(okCancel(this));
    RememberWindowPosition(this, false);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

bool TFchoixINC::ListRemoteIncludeFiles()
{
    const CommonGlobals& c = common();
    if (!mController.changeDir(c.RemoteScriptsDir, c.ProgramDir)) return false;
    QStringList names;
    for (const std::string& entry : mController.transfer().RemoteListing) {
        const QString name = QString::fromStdString(entry);
        if (name.toUpper().contains(QLatin1String("INC"))) names << name;
    }
    fillBox(CBChoixINC, names);
    return true;
}

int TFchoixINC::exec()
{
    if (!ListRemoteIncludeFiles()) {
        ShowMsg(scriptsInaccessible().toStdString());
        return QDialog::Rejected;
    }
    return QDialog::exec();
}

QString TFchoixINC::chosenText() const { return CBChoixINC->currentText(); }

void TFchoixINC::accept()
{
    if (!IncludeFileNameValid(chosenText())) {
        ShowMsg(("Invalid file name: \"" + chosenText() + "\"").toStdString());
        return;
    }
    QDialog::accept();
}

// ---- removing a file ----

TFchoixRetrait::TFchoixRetrait(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FchoixRetrait"));
    setWindowTitle(QStringLiteral("Retrait d'un fichier \"*.inc\""));
    setModal(true);
    auto* top = new QVBoxLayout(this);
    CBChoixINC = makeBox(this, true);
    top->addWidget(CBChoixINC);
    top->addWidget(okCancel(this));
    RememberWindowPosition(this, false);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

void TFchoixRetrait::FillFromSettings()
{
    fillBox(CBChoixINC, SettingsIni() ? IncludeFiles(*SettingsIni()) : QStringList());
}

int TFchoixRetrait::exec()
{
    FillFromSettings();
    return QDialog::exec();
}

QString TFchoixRetrait::chosenText() const { return CBChoixINC->currentText(); }

// ---- choosing a variable ----

TFaddvariable::TFaddvariable(QWidget* parent, link::Controller& controller, QsciScintilla* editor) : QDialog(parent), mEditor(editor), mController(controller)
{
    setObjectName(QStringLiteral("Faddvariable"));
    setWindowTitle(QStringLiteral("Choix d'une variable"));
    setModal(true);
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    top->addLayout(grid);
    auto* fileLabel = new QLabel(QStringLiteral("Fichier  *.inc "), this);
    fileLabel->setObjectName(QStringLiteral("Label1"));
    CBChoixINC = makeBox(this, false);
    grid->addWidget(fileLabel, 0, 0);
    grid->addWidget(CBChoixINC, 0, 1);
    LabelAXESINC = new QLabel(QStringLiteral("Fichier introuvable"), this);
    LabelAXESINC->setObjectName(QStringLiteral("LabelAXESINC"));
    LabelAXESINC->setStyleSheet(QStringLiteral("color: red"));
    LabelAXESINC->hide();
    grid->addWidget(LabelAXESINC, 1, 1);
    ListBoxV1 = new QListWidget(this);
    ListBoxV1->setObjectName(QStringLiteral("ListBoxV1"));
    ListBoxV1->setSortingEnabled(true);
    top->addWidget(ListBoxV1, 1);
    auto* valueRow = new QHBoxLayout;
    top->addLayout(valueRow);
    auto* valueLabel = new QLabel(QStringLiteral("Value"), this);
    valueLabel->setObjectName(QStringLiteral("Label2"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    valueRow->addWidget(valueLabel);
    valueRow->addWidget(Edit1, 1);

    auto* buttons = new QHBoxLayout;
    top->addLayout(buttons);
    auto* insertName = new QPushButton(QStringLiteral("Insérer la variable ( var )"), this);
    insertName->setObjectName(QStringLiteral("BitBtnVariable"));
    auto* insertValue = new QPushButton(QStringLiteral("Insérer le contenu de la variable ($var )"), this);
    insertValue->setObjectName(QStringLiteral("BitBtnContenu"));
    auto* cancel = new QPushButton(QStringLiteral("Abandon ( fermer )"), this);
    cancel->setObjectName(QStringLiteral("BitBtnAbandon"));
    for (QPushButton* b : {insertName, insertValue, cancel}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    connect(insertName, &QPushButton::clicked, this, [this] { InsertName(); });
    connect(insertValue, &QPushButton::clicked, this, [this] { InsertValueReference(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(CBChoixINC, &QComboBox::textActivated, this, [this](const QString& name) { CBChoixINCChange(name); });
    connect(ListBoxV1, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (item) ChooseVariable(item->text());
    });
    connect(ListBoxV1, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item, QListWidgetItem*) {
        if (item) Edit1->setText(item->data(Qt::UserRole).toString());
    });
    RememberWindowPosition(this, false);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

void TFaddvariable::FillFromSettings()
{
    fillBox(CBChoixINC, SettingsIni() ? IncludeFiles(*SettingsIni()) : QStringList());
}

int TFaddvariable::exec()
{
    FillFromSettings();
    return QDialog::exec();
}

bool TFaddvariable::CBChoixINCChange(const QString& name)
{
    LabelAXESINC->hide();
    const CommonGlobals& c = common();
    // The name becomes a local file name: nothing may lead it out of the program folder.
    const bool fetched = IncludeFileNameValid(name) && link::RemoteNameUsable(name.toStdString(), c.ProgramDir) &&
                         mController.changeDir(c.RemoteScriptsDir, c.ProgramDir) &&
                         mController.getFile(name.toStdString(), name.toStdString(), false);
    if (!fetched) {
        LabelAXESINC->show();
        mController.disconnectTransfer();
        return false;
    }
    QFile file(QString::fromStdString(c.ProgramDir) + name);
    if (!file.open(QIODevice::ReadOnly)) {
        LabelAXESINC->show();
        return false;
    }
    const QByteArray bytes = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) text = QString::fromLatin1(bytes);

    ListBoxV1->clear();
    Edit1->clear();
    for (const IncludeVariable& v : ParseIncludeVariables(text)) {
        auto* item = new QListWidgetItem(v.name);
        item->setData(Qt::UserRole, v.value);
        ListBoxV1->addItem(item);
    }
    return true;
}

void TFaddvariable::ChooseVariable(const QString& name)
{
    const QList<QListWidgetItem*> items = ListBoxV1->findItems(name, Qt::MatchExactly);
    if (items.isEmpty()) return;
    ListBoxV1->setCurrentItem(items.first());
    Edit1->setText(items.first()->data(Qt::UserRole).toString());
}

QString TFaddvariable::valueText() const { return Edit1->text(); }
bool TFaddvariable::warningShown() const { return !LabelAXESINC->isHidden(); }

bool TFaddvariable::insert(const QString& text)
{
    QListWidgetItem* item = ListBoxV1->currentItem();
    if (!item || !mEditor) return false;
    InsertAtCaret(mEditor, text + item->text());
    accept();
    return true;
}

bool TFaddvariable::InsertName() { return insert(QString()); }
bool TFaddvariable::InsertValueReference() { return insert(QStringLiteral("$")); }

}  // namespace mvx::tclbench
