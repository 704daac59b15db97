#include "dialogs.h"

#include "appearance.h"
#include "core/common.h"
#include "core/inifile.h"
#include "language.h"
#include "core/windowgeometry.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include <chrono>
#include <thread>

namespace mvx {
namespace {

MessageBoxHandler gMsgHandler;
InputQueryHandler gQueryHandler;

bool onGuiThread()
{
    return qApp && QThread::currentThread() == qApp->thread();
}

std::string sectionToBreaks(std::string text)
{
    std::string out;
    out.reserve(text.size());
    const std::string mark = "\xC2\xA7";  // "§" in UTF-8
    for (std::size_t i = 0; i < text.size();) {
        if (text.compare(i, mark.size(), mark) == 0) {
            out += "\r\n";
            i += mark.size();
        } else {
            out += text[i++];
        }
    }
    return out;
}

struct ButtonDef {
    std::uint16_t bit;  // 0: no mask bit shows it
    const char* caption;
    const char* name;
    std::uint16_t result;
};
// Layout order of the visible buttons; "&Annuler" always comes last. "&OK" answers as "&Oui"
// and no mask bit shows it.
constexpr ButtonDef kButtons[] = {
    {MbOk, "&Ok", "BitBtnOk", MrOk},          {MbYes, "&Oui", "BitBtnOui", MrYes},
    {MbAll, "&Tout", "BitBtnTout", MrAll},    {MbRetry, "&Retenter", "BitBtnRetenter", MrRetry},
    {MbIgnore, "&Ignorer", "BitBtnIgnorer", MrIgnore}, {MbNo, "&Non", "BitBtnNon", MrNo},
    {MbCancel, "&Annuler", "BitBtnAnnuler", MrCancel}, {0, "&OK", "BitBtnOuiOK", MrYes},
};

constexpr Qt::WindowFlags kToolFlags = Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                                       Qt::WindowTitleHint;

QPointer<QDialog> gMessageTemplate;
QPointer<QDialog> gQueryTemplate;

// The hidden windows whose translated captions every box and query takes.
QDialog* messageTemplate()
{
    if (!gMessageTemplate) {
        gMessageTemplate = new QDialog(nullptr, kToolFlags);
        gMessageTemplate->setObjectName("Fdialogmsg");
        gMessageTemplate->setWindowTitle(QString::fromStdString(ExecutableName()));
        auto* memo = new QPlainTextEdit(gMessageTemplate);
        memo->setObjectName("Memo1");
        for (const ButtonDef& b : kButtons) {
            auto* button = new QPushButton(QString::fromUtf8(b.caption), gMessageTemplate);
            button->setObjectName(b.name);
        }
    }
    return gMessageTemplate;
}

QDialog* queryTemplate()
{
    if (!gQueryTemplate) {
        gQueryTemplate = new QDialog(nullptr, kToolFlags);
        gQueryTemplate->setObjectName("Fquery");
        gQueryTemplate->setWindowTitle("Query");
        (new QLabel(gQueryTemplate))->setObjectName("Label1");
        (new QLineEdit(gQueryTemplate))->setObjectName("Edit1");
        (new QPushButton("OK", gQueryTemplate))->setObjectName("BitBtn1");
        (new QPushButton("Annuler", gQueryTemplate))->setObjectName("BitBtn2");
    }
    return gQueryTemplate;
}

QString templateText(QDialog* from, const char* name, const char* fallback)
{
    if (from)
        if (auto* b = from->findChild<QPushButton*>(name)) return b->text();
    return QString::fromUtf8(fallback);
}

class MessageBoxWindow : public QDialog {
public:
    MessageBoxWindow(const std::string& text, std::uint16_t mask, QWidget* parent = nullptr) : QDialog(parent)
    {
        QDialog* source = messageTemplate();
        setObjectName("Fdialogmsg");
        setWindowTitle(source->windowTitle());
        setWindowFlags(kToolFlags);
        mText = new QPlainTextEdit(this);
        mText->setObjectName("Memo1");
        mText->setReadOnly(true);
        mText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        mText->setPlainText(QString::fromStdString(text).replace("\r\n", "\n"));
        int visible = 0;
        for (const ButtonDef& b : kButtons)
            if (b.bit && (mask & b.bit)) ++visible;
        const int lines = static_cast<int>(mText->toPlainText().count('\n')) + 1;
        int height = 14 * lines + 87;
        if (height < 100) height = 115;
        const int width = visible > 3 ? 590 : 319;
        setFixedSize(width, height);
        mText->setGeometry(6, 6, width - 12, height - 46);
        int place = 0;
        for (const ButtonDef& b : kButtons) {
            auto* button = new QPushButton(templateText(source, b.name, b.caption), this);
            button->setObjectName(b.name);
            const std::uint16_t result = b.result;
            connect(button, &QPushButton::clicked, this, [this, result] {
                mResult = result;
                accept();
            });
            if (!b.bit || !(mask & b.bit)) {
                button->hide();
                continue;
            }
            button->setGeometry(6 + 96 * place++, height - 34, 90, 26);
        }
        RememberWindowPosition(this, false);
    }
    std::uint16_t result() const { return mResult; }

private:
    QPlainTextEdit* mText = nullptr;
    std::uint16_t mResult = 0;
};

QPointer<QDialog> gNotice;

}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler) { gMsgHandler = std::move(handler); }
void SetInputQueryHandler(InputQueryHandler handler) { gQueryHandler = std::move(handler); }

std::uint16_t MsgDialog(const std::string& textIn, int, std::uint16_t mask, int)
{
    if (textIn.empty()) return MrOk;
    std::string text = sectionToBreaks(textIn);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (gMsgHandler) return gMsgHandler(text, mask);
    if (!onGuiThread()) return 0;
    MessageBoxWindow box(text, mask);
    box.exec();
    return box.result();
}

void ShowMsg(const std::string& text) { MsgDialog(text, 0, MbOk); }

std::uint16_t MsgDialogTimed(const std::string& textIn, int, std::uint16_t mask, unsigned timeoutMs, int)
{
    const std::string text = sectionToBreaks(textIn);
    if (gMsgHandler) return gMsgHandler(text, mask);
    if (!onGuiThread()) return 0;
    MessageBoxWindow box(text, mask);
    QEventLoop loop;
    QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);  // a coarse timer may close the box up to 5 % early
    std::uint16_t result = 0;
    if (timeoutMs > 0) {
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            result = MrOk;
            box.hide();
            loop.quit();
        });
        timer.start(static_cast<int>(timeoutMs));
    }
    box.show();
    loop.exec();
    return result ? result : box.result();
}

void MsgDialogTimedOk(const std::string& text, unsigned timeoutMs) { MsgDialogTimed(text, 0, MbOk, timeoutMs); }

bool InputQueryDialog(const std::string& caption, const std::string& prompt, std::string& value)
{
    if (gQueryHandler) return gQueryHandler(caption, prompt, value);
    if (!onGuiThread()) return false;
    QDialog* source = queryTemplate();
    QDialog dlg;
    dlg.setObjectName("Fquery");
    dlg.setWindowTitle(QString::fromStdString(caption));
    dlg.setWindowFlags(kToolFlags);
    const QString promptText = QString::fromStdString(prompt);
    auto* label = new QLabel(QString::fromStdString(sectionToBreaks(prompt)).replace("\r\n", "\n"), &dlg);
    label->setObjectName("Label1");
    auto* edit = new QLineEdit(QString::fromStdString(value), &dlg);
    edit->setObjectName("Edit1");
    auto* ok = new QPushButton(templateText(source, "BitBtn1", "OK"), &dlg);
    ok->setObjectName("BitBtn1");
    auto* cancel = new QPushButton(templateText(source, "BitBtn2", "Annuler"), &dlg);
    cancel->setObjectName("BitBtn2");
    // Sizes: the edit grows with the value, the window with the prompt's width and lines.
    const int lines = 1 + static_cast<int>(promptText.count(QChar(0x00A7)));
    const int editWidth = std::max(100, 6 * static_cast<int>(QString::fromStdString(value).size()) + 10);
    const int labelWidth = label->sizeHint().width();
    const int room = std::max(300, labelWidth + 40);
    const int width = editWidth + room;
    const int height = 12 * lines + 110;
    dlg.setFixedSize(width, height);
    label->setGeometry(8, 14, labelWidth, label->sizeHint().height());
    edit->setGeometry(room - 15, 10, editWidth, edit->sizeHint().height());
    ok->setGeometry(width / 2 - 95, height - 38, 90, 26);
    cancel->setGeometry(width / 2 + 5, height - 38, 90, 26);
    QObject::connect(ok, &QPushButton::clicked, &dlg, &QDialog::accept);
    QObject::connect(edit, &QLineEdit::returnPressed, &dlg, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dlg, &QDialog::reject);
    RememberWindowPosition(&dlg, false);
    edit->setFocus();
    const bool accepted = dlg.exec() == QDialog::Accepted;
    value = edit->text().toStdString();
    return accepted;
}

void RegisterSharedDialogWindows()
{
    if (!qApp) return;
    RegisterTranslatedWindow(texts::Family::Controller, queryTemplate());
    RegisterTranslatedWindow(texts::Family::Controller, messageTemplate());
}

void ShowNotice(const std::string& text)
{
    if (!onGuiThread()) return;
    if (text.empty()) {
        if (gNotice) gNotice->hide();
        return;
    }
    if (!gNotice) {
        gNotice = new QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint);
        gNotice->setObjectName("Fmessage");
        gNotice->setWindowTitle("Message");
        auto* layout = new QVBoxLayout(gNotice);
        auto* label = new QLabel(gNotice);
        label->setObjectName("Label1");
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
        RememberWindowPosition(gNotice, false);
    }
    gNotice->findChild<QLabel*>("Label1")->setText(QString::fromStdString(text));
    gNotice->show();
    PumpMessage();
}

void WaitWithMessages(unsigned ms)
{
    if (!onGuiThread()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(ms), &loop, &QEventLoop::quit);
    loop.exec();
}

void BusyWait(unsigned ms)
{
    if (ms) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void PumpMessage()
{
    if (onGuiThread()) QCoreApplication::processEvents();
}

int RunProgramAndWait(const std::string& commandLine, int)
{
    QStringList parts = QProcess::splitCommand(QString::fromStdString(commandLine));
    if (parts.isEmpty()) return -1;
    QProcess process;
    const QString program = parts.takeFirst();
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, parts);
    if (!process.waitForStarted(5000)) return -1;
    if (onGuiThread()) {
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        if (process.state() != QProcess::NotRunning) loop.exec();
    } else {
        process.waitForFinished(-1);
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void OpenDocument(const std::string& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

int FitToSingleScreen(int value, int extent)
{
    if (value < 0) return 0;
    if (value > extent) return extent / 2;
    return value;
}

namespace {

class PositionKeeper : public QObject {
public:
    PositionKeeper(QWidget* w, bool resizable) : QObject(w), mWindow(w), mResizable(resizable)
    {
        setObjectName("mvxPositionKeeper");
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched != mWindow) return false;
        try {
            if (e->type() == QEvent::Show && !mPlaced) restore();
            else if (e->type() == QEvent::Hide) save();
        } catch (...) {
            // A position that cannot be read or written: the window stays where it is.
        }
        return false;
    }

private:
    void restore()
    {
        mPlaced = true;
        IniFile* ini = SettingsIni();
        if (!ini) return;
        const std::string sec = mWindow->objectName().toStdString();
        WindowGeometry stored{mWindow->y(), mWindow->x(), mWindow->height(), mWindow->width()};
        stored.Read(*ini, sec, mResizable);
        int top = stored.Top, left = stored.Left;
        const int height = stored.Height, width = stored.Width;
        const auto screens = QGuiApplication::screens();
        if (screens.size() == 1) {
            const QRect g = screens.front()->geometry();
            top = FitToSingleScreen(top, g.height());
            left = FitToSingleScreen(left, g.width());
        }
        if (mResizable && width > 0 && height > 0) mWindow->resize(width, height);
        FitWindowToScreen(mWindow);
        mWindow->move(left, top);
    }
    void save()
    {
        IniFile* ini = SettingsIni();
        if (!ini || !mPlaced) return;
        const std::string sec = mWindow->objectName().toStdString();
        WindowGeometry{mWindow->y(), mWindow->x(), mWindow->height(), mWindow->width()}.Write(*ini, sec, mResizable);
    }

    QWidget* mWindow;
    bool mResizable;
    bool mPlaced = false;
};

}  // namespace

void RememberWindowPosition(QWidget* window, bool resizable)
{
    if (!window) return;
    // One keeper per window: a second one would write the position twice.
    if (window->findChild<QObject*>("mvxPositionKeeper", Qt::FindDirectChildrenOnly)) return;
    window->installEventFilter(new PositionKeeper(window, resizable));
}

}  // namespace mvx
