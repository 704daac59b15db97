#include "tclbench/generatordialogs.h"

#include "core/common.h"
#include "app/dialogs.h"
#include "app/language.h"
#include "link/transfer.h"
#include "tclbench/procedures.h"
#include "translator/texts.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <filesystem>

namespace mvx::tclbench {

namespace {

constexpr int kMaxSpin = static_cast<int>(kMaxCount);

QSpinBox* countBox(QWidget* parent, const char* name, int value)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(1, kMaxSpin);
    box->setValue(value);
    return box;
}

QString joined(const std::optional<Lines>& lines)
{
    if (!lines) return {};
    QStringList out;
    for (const auto& l : *lines) out << QString::fromStdString(l);
    return out.join('\n');
}

std::string str(const QString& s) { return s.toStdString(); }

}  // namespace

bool FetchIoDefinitions(link::Controller& controller, std::string& text)
{
    auto& c = common();
    if (!controller.changeDir(c.RemoteScriptsDir, c.ProgramDir)) {
        controller.disconnectTransfer();
        return false;
    }
    std::string remoteName;
    for (const auto& n : controller.transfer().RemoteListing)
        if (Upper(n) == kIoFile) remoteName = n;
    if (remoteName.empty()) {
        // Not on the controller: no list, rather than the names of an old local copy.
        controller.disconnectTransfer();
        text.clear();
        return true;
    }
    if (!controller.getFile(remoteName, kIoFile, true)) {
        controller.disconnectTransfer();
        return false;
    }
    text = ReadLocalFile(c.ProgramDir + kIoFile).value_or(std::string());
    return true;
}

// ----- GeneratorDialog -----------------------------------------------------------------------

GeneratorDialog::GeneratorDialog(QWidget* parent, const char* objectName, const char* caption,
                                 InsertCallback insert, const char* cancelText)
    : QDialog(parent), mInsert(std::move(insert))
{
    registerProcedureTexts();
    setObjectName(objectName);
    setWindowTitle(QString::fromUtf8(caption));
    auto* layout = new QVBoxLayout(this);
    mBody = new QWidget(this);
    layout->addWidget(mBody);
    auto* buttons = new QHBoxLayout;
    mInsertButton = new QPushButton(QString::fromUtf8("Insert"), this);
    mInsertButton->setObjectName("BitBtn1");
    mInsertButton->setDefault(true);
    auto* cancel = new QPushButton(QString::fromUtf8(cancelText), this);
    cancel->setObjectName("BitBtn2");
    buttons->addWidget(mInsertButton);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(mInsertButton, &QPushButton::clicked, this, [this] { InsertClick(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    RememberWindowPosition(this, false);
    RegisterTranslatedWindow(texts::Family::Controller, this);
}

void GeneratorDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    try {
        FormShow();
    } catch (const std::exception& e) {
        ShowMsg(e.what());
    }
}

bool GeneratorDialog::InsertClick()
{
    const auto lines = Build();
    if (!lines) {
        ShowMsg(texts::get("stringtclunsafe"));
        return false;
    }
    if (mInsert) mInsert(JoinLines(*lines));
    accept();
    return true;
}

// ----- TFrepeat ------------------------------------------------------------------------------

TFrepeat::TFrepeat(QWidget* parent, InsertCallback insert)
    : GeneratorDialog(parent, "Frepeat", "Repeat", std::move(insert))
{
    auto* form = new QFormLayout(body());
    mCount = countBox(this, "SpinEdit1", 2);
    mVariable = new QComboBox(this);
    mVariable->setObjectName("ComboBox1");
    mVariable->setEditable(true);
    mVariable->addItems({"  i", "  j", "  k", "  t"});
    mVariable->setCurrentIndex(0);
    mPreview = new QLabel(this);
    mPreview->setObjectName("Label3");
    form->addRow(QString::fromUtf8("N"), mCount);
    form->addRow(QString::fromUtf8("Variable"), mVariable);
    form->addRow(mPreview);
    connect(mCount, &QSpinBox::valueChanged, this, [this] { updatePreview(); });
    connect(mVariable, &QComboBox::editTextChanged, this, [this] { updatePreview(); });
    updatePreview();
}

QString TFrepeat::preview() const { return mPreview->text(); }

void TFrepeat::updatePreview()
{
    const auto line = RepeatLoopLine(mCount->value(), str(mVariable->currentText()));
    mPreview->setText(line ? QString::fromStdString(*line) : QString());
}

std::optional<Lines> TFrepeat::Build() const { return RepeatLines(mCount->value(), str(mVariable->currentText())); }

// ----- TFdelay -------------------------------------------------------------------------------

TFdelay::TFdelay(QWidget* parent, link::Controller& controller, InsertCallback insert)
    : GeneratorDialog(parent, "Fdelay", "Delay", std::move(insert)), mController(controller)
{
    auto* form = new QFormLayout(body());
    mDelay = new QComboBox(this);
    mDelay->setObjectName("ComboBox1");
    mDelay->setEditable(true);
    mDelay->setEditText("100");
    mPreview = new QLabel(this);
    mPreview->setObjectName("Label2");
    form->addRow(QString::fromUtf8("ms"), mDelay);
    form->addRow(mPreview);
    connect(mDelay, &QComboBox::editTextChanged, this, [this] { updatePreview(); });
    updatePreview();
}

void TFdelay::FormShow()
{
    std::string io;
    if (!FetchIoDefinitions(mController, io)) return;
    const QString typed = mDelay->currentText();
    mDelay->clear();
    for (const auto& d : DelayChoices(io)) mDelay->addItem(QString::fromStdString(d));
    mDelay->setEditText(typed);
}

void TFdelay::updatePreview()
{
    const auto line = DelayPreview(str(mDelay->currentText()));
    mPreview->setText(line ? QString::fromStdString(*line) : QString());
}

std::optional<Lines> TFdelay::Build() const { return DelayLines(str(mDelay->currentText())); }

// ----- TFtestentree --------------------------------------------------------------------------

TFtestentree::TFtestentree(QWidget* parent, link::Controller& controller, InsertCallback insert)
    : GeneratorDialog(parent, "Ftestentree", "Test input", std::move(insert)), mController(controller)
{
    auto* form = new QFormLayout(body());
    mNames = new QComboBox(this);
    mNames->setObjectName("ComboBox1");
    mNames->setEditable(true);
    mIncrement = countBox(this, "SpinEdit1", 6);
    mPreview = new QLabel(this);
    mPreview->setObjectName("Label1");
    form->addRow(QString::fromUtf8("Input"), mNames);
    form->addRow(QString::fromUtf8("Error"), mIncrement);
    form->addRow(mPreview);
    connect(mNames, &QComboBox::editTextChanged, this, [this] { updatePreview(); });
    connect(mIncrement, &QSpinBox::valueChanged, this, [this] { updatePreview(); });
    SetDefinitions({});
}

void TFtestentree::FormShow()
{
    std::string io;
    if (FetchIoDefinitions(mController, io)) SetDefinitions(io);
    else mNames->setEditText("Variable");
}

void TFtestentree::SetDefinitions(const std::string& ioText)
{
    mTable = ParseIoDefinitions(ioText, IoKind::Inputs);
    mNames->clear();
    for (const auto& n : mTable.names) mNames->addItem(QString::fromStdString(n));
    mNames->setEditText("Variable");
    updatePreview();
}

std::optional<Lines> TFtestentree::Build() const
{
    // Only a listed name: its own variables, never those of an earlier choice.
    const int i = mTable.indexOf(str(mNames->currentText()));
    if (i < 0) return std::nullopt;
    const auto k = static_cast<std::size_t>(i);
    return TestInputLines(mTable.names[k], mTable.gpio[k], mTable.mask[k], mTable.sense[k], mIncrement->value());
}

void TFtestentree::updatePreview()
{
    const auto lines = Build();
    insertButton()->setEnabled(lines.has_value());
    mPreview->setText(joined(lines));
}

// ----- TFChangesortie ------------------------------------------------------------------------

TFChangesortie::TFChangesortie(QWidget* parent, link::Controller& controller, InsertCallback insert)
    : GeneratorDialog(parent, "FChangesortie", "Change output", std::move(insert)), mController(controller)
{
    auto* form = new QFormLayout(body());
    mNames = new QComboBox(this);
    mNames->setObjectName("ComboBox1");
    mNames->setEditable(true);
    mValue = new QComboBox(this);
    mValue->setObjectName("ComboBox2");
    mValue->setEditable(true);
    mValue->addItems({"0", "1"});
    mValue->setEditText(" 1");
    mDelayChoice = new QComboBox(this);
    mDelayChoice->setObjectName("ComboBox3");
    mDelayChoice->addItems({"With", "Without"});
    mIncrement = countBox(this, "SpinEdit1", 15);
    mPreview = new QLabel(this);
    mPreview->setObjectName("Label1");
    form->addRow(QString::fromUtf8("Output"), mNames);
    form->addRow(QString::fromUtf8("Value"), mValue);
    form->addRow(QString::fromUtf8("Delay time"), mDelayChoice);
    form->addRow(QString::fromUtf8("Error"), mIncrement);
    form->addRow(mPreview);
    connect(mNames, &QComboBox::editTextChanged, this, [this] { updatePreview(); });
    connect(mValue, &QComboBox::editTextChanged, this, [this] { updatePreview(); });
    connect(mDelayChoice, &QComboBox::currentIndexChanged, this, [this] { updatePreview(); });
    connect(mIncrement, &QSpinBox::valueChanged, this, [this] { updatePreview(); });
    SetDefinitions({});
}

void TFChangesortie::FormShow()
{
    std::string io;
    if (FetchIoDefinitions(mController, io)) SetDefinitions(io);
    else mNames->setEditText("Variable");
}

void TFChangesortie::SetDefinitions(const std::string& ioText)
{
    mTable = ParseIoDefinitions(ioText, IoKind::Outputs);
    mNames->clear();
    for (const auto& n : mTable.names) mNames->addItem(QString::fromStdString(n));
    mNames->setEditText("Variable");
    updatePreview();
}

std::optional<Lines> TFChangesortie::Build() const
{
    const int i = mTable.indexOf(str(mNames->currentText()));
    if (i < 0) return std::nullopt;
    const auto k = static_cast<std::size_t>(i);
    return ChangeOutputLines(mTable.names[k], str(mValue->currentText()), mTable.gpio[k], mTable.mask[k],
                             mTable.sense[k], mDelayChoice->currentIndex() == 0, mIncrement->value());
}

void TFChangesortie::updatePreview()
{
    const int i = mTable.indexOf(str(mNames->currentText()));
    if (i >= 0) {
        const bool one = OutputValueIsOne(str(mValue->currentText()));
        const auto& delays = one ? mTable.openDelay : mTable.closeDelay;
        const bool offered = delays[static_cast<std::size_t>(i)] != kNoVariable;
        if (!offered && mDelayChoice->currentIndex() != 1) {
            const QSignalBlocker block(mDelayChoice);
            mDelayChoice->setCurrentIndex(1);
        }
        mDelayChoice->setEnabled(offered);
    }
    const auto lines = Build();
    insertButton()->setEnabled(lines.has_value());
    mPreview->setText(joined(lines));
}

// ----- TFcallProcedure -----------------------------------------------------------------------

TFcallProcedure::TFcallProcedure(QWidget* parent, link::Controller& controller, InsertCallback insert)
    : GeneratorDialog(parent, "FcallProcedure", "Call procedure", std::move(insert)), mController(controller)
{
    auto* form = new QFormLayout(body());
    mNames = new QComboBox(this);
    mNames->setObjectName("ComboBox1");
    mNames->setEditable(true);
    mFunction = new QLineEdit(this);
    mFunction->setObjectName("Edit1");
    mFunction->setReadOnly(true);
    mComments = new QPlainTextEdit(this);
    mComments->setObjectName("Memo1");
    mComments->setReadOnly(true);
    mPreview = new QLabel(this);
    mPreview->setObjectName("Label2");
    auto* hint = new QLabel(QString::fromUtf8("File \"Procedure.inc\" not reachable"), this);
    hint->setObjectName("Label3");
    hint->setStyleSheet("color: red");
    form->addRow(QString::fromUtf8("Procedure"), mNames);
    form->addRow(QString::fromUtf8("Function"), mFunction);
    form->addRow(mComments);
    form->addRow(mPreview);
    form->addRow(hint);
    connect(mNames, &QComboBox::editTextChanged, this, [this] { updateDetails(); });
    SetProcedures({});
}

void TFcallProcedure::FormShow()
{
    auto& c = common();
    if (!mController.changeDir(c.RemoteScriptsDir, c.ProgramDir) ||
        !mController.getFile(kProcedureFile, kProcedureFile, true)) {
        mController.disconnectTransfer();
        mNames->setEditText("Procedure");
        return;
    }
    SetProcedures(ReadLocalFile(c.ProgramDir + kProcedureFile).value_or(std::string()));
}

void TFcallProcedure::SetProcedures(const std::string& procedureText)
{
    mText = procedureText;
    mNames->clear();
    for (const auto& n : ProcedureEntries(mText)) mNames->addItem(QString::fromStdString(n));
    mNames->setEditText("Procedure");
    updateDetails();
}

QString TFcallProcedure::functionText() const { return mFunction->text(); }

void TFcallProcedure::updateDetails()
{
    const QString name = mNames->currentText();
    if (mNames->findText(name) < 0) {
        insertButton()->setEnabled(mInfo.has_value());
        return;
    }
    mFunction->clear();
    mComments->clear();
    mInfo = ProcedureDetails(mText, str(name));
    if (mInfo) {
        mFunction->setText(QString::fromStdString(mInfo->function));
        QStringList comments;
        for (const auto& l : mInfo->comments) comments << QString::fromStdString(l);
        mComments->setPlainText(comments.join('\n'));
    }
    mPreview->setText(mInfo ? QString::fromStdString(mInfo->callLine) : QString());
    insertButton()->setEnabled(Build().has_value());
}

std::optional<Lines> TFcallProcedure::Build() const
{
    const QString name = mNames->currentText();
    if (!mInfo || mNames->findText(name) < 0) return std::nullopt;
    return CallProcedureLines(str(name), mInfo->callLine);
}

// ----- TFscriptTCL ---------------------------------------------------------------------------

TFscriptTCL::TFscriptTCL(QWidget* parent, link::Controller& controller, InsertCallback insert)
    : GeneratorDialog(parent, "FscriptTCL", "Call TCL script", std::move(insert), "Abandon"), mController(controller)
{
    auto* form = new QFormLayout(body());
    mScripts = new QComboBox(this);
    mScripts->setObjectName("ComboBox1");
    mScripts->setEditable(true);
    mScripts->setEditText("Script.Tcl");
    mArguments = new QLineEdit(this);
    mArguments->setObjectName("Edit1");
    mIncrement = countBox(this, "SpinEdit1", 6);
    mPreview = new QLabel(this);
    mPreview->setObjectName("Label3");
    form->addRow(QString::fromUtf8("Script"), mScripts);
    form->addRow(QString::fromUtf8("Parameters"), mArguments);
    form->addRow(QString::fromUtf8("Error"), mIncrement);
    form->addRow(mPreview);
    connect(mScripts, &QComboBox::editTextChanged, this, [this] { updatePreview(); });
    connect(mArguments, &QLineEdit::textChanged, this, [this] { updatePreview(); });
    connect(mIncrement, &QSpinBox::valueChanged, this, [this] { updatePreview(); });
    updatePreview();
}

bool TFscriptTCL::RefreshScripts()
{
    auto& c = common();
    if (!mController.changeDir(c.RemoteScriptsDir, c.ProgramDir)) {
        mController.disconnectTransfer();
        ShowMsg(texts::get("StringRepScriptInaccessible"));
        return false;
    }
    std::vector<std::string> names = mController.transfer().RemoteListing;
    if (c.TransferMode.load() == TransferLocal) {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(c.RemoteScriptsDir, ec))
            names.push_back(e.path().filename().string());
    }
    const QString typed = mScripts->currentText();
    mScripts->clear();
    for (const auto& n : names)
        if (Upper(n).find("TCL") != std::string::npos) mScripts->addItem(QString::fromStdString(n));
    mScripts->setEditText(typed);
    return true;
}

void TFscriptTCL::FormShow()
{
    if (!RefreshScripts()) QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}

std::optional<Lines> TFscriptTCL::Build() const
{
    return ScriptCallLines(str(mScripts->currentText()), str(mArguments->text()), mIncrement->value());
}

void TFscriptTCL::updatePreview()
{
    const auto lines = Build();
    mPreview->setText(joined(lines));
}

}  // namespace mvx::tclbench
