#include "page_globalarray.h"

#include "link/api.h"
#include "link/socketpool.h"
#include "core/common.h"
#include "pagecalls.h"
#include "translator/numtext.h"
#include "translator/texts.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <unistd.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>

namespace mvx::maint {

namespace {

constexpr std::array<texts::Builtin, 10> kTexts{{
    {"Stringvalue", "Value"},
    {"stringcannotopen", "Cannot open"},
    {"stringpasrafraichir", "vous ne pouvez pas rafraichir cette page"},
    {"stringpaselementsuivant", "Pas d'élément suivant"},
    {"stringpaselementprecedent", "Pas d'élément précédent"},
    {"stringgaentry", "Entrée %s :"},
    {"stringgatoolong", "Texte de plus de 255 caractères, rien n'est envoyé : entrée %s"},
    {"stringganotnumber", "Valeur incorrecte, rien n'est envoyé : entrée %s"},
    {"stringgastopped", "Lecture ou écriture arrêtée à l'entrée %s : le contrôleur ne répond plus"},
    {"stringnosandbox", "Navigateur intégré lancé sans son bac à sable (sandbox) : %s"},
}};

std::atomic<bool> gPageLoaded{false};
// Events run every so many calls so the window stays live; the buttons are off meanwhile.
constexpr int kCallsPerYield = 50;

QString number(int i) { return QString::number(i); }

// Logs a failed call with its entry; true when the controller stopped answering.
bool logFailure(MaintenanceContext& ctx, int code, int entry)
{
    ctx.log(Text("stringgaentry", number(entry)) + QLatin1Char(' ') + ctx.decripte_erreur(code));
    return code == api::kErrorEmptyReply;
}

}  // namespace

void registerGlobalArrayTexts()
{
    static const bool done = [] {
        texts::add(texts::Family::Controller, kTexts);
        return true;
    }();
    (void)done;
}

GlobalArrayPage::GlobalArrayPage(MaintenanceContext& context, QWidget* parent) : MaintenancePage(context, parent)
{
    registerGlobalArrayTexts();
    auto* top = new QHBoxLayout(this);
    auto makeColumn = [&](const char* label, const char* gridName, int rows, const char* readName,
                          const char* writeName, QTableWidget*& grid) {
        auto* box = new QVBoxLayout;
        box->addWidget(new QLabel(QString::fromUtf8(label), this));
        grid = new QTableWidget(rows, 2, this);
        grid->setObjectName(gridName);
        grid->verticalHeader()->hide();
        box->addWidget(grid, 1);
        auto* buttons = new QHBoxLayout;
        auto* read = new QPushButton(QStringLiteral("Read"), this);
        read->setObjectName(readName);
        auto* write = new QPushButton(QStringLiteral("Write"), this);
        write->setObjectName(writeName);
        buttons->addWidget(read);
        buttons->addWidget(write);
        box->addLayout(buttons);
        top->addLayout(box);
        mButtons.push_back(read);
        mButtons.push_back(write);
        return std::pair{read, write};
    };
    auto [b4, b5] = makeColumn("Global Array", "StringGrid2", kTextArraySize, "Button4", "Button5", mStringGrid2);
    auto [b8, b10] = makeColumn("Double Global Array", "StringGrid3", kNumberArraySize, "Button8", "Button10",
                                mStringGrid3);
    connect(b4, &QPushButton::clicked, this, [this] { Button4Click(); });
    connect(b5, &QPushButton::clicked, this, [this] { Button5Click(); });
    connect(b8, &QPushButton::clicked, this, [this] { Button8Click(); });
    connect(b10, &QPushButton::clicked, this, [this] { Button10Click(); });
    TSGAShow();
}

void GlobalArrayPage::fillNumbers(QTableWidget* grid, int rows)
{
    grid->setColumnWidth(0, 50);
    grid->setColumnWidth(1, 350);
    grid->setHorizontalHeaderLabels({QStringLiteral("N"), Text("Stringvalue")});
    for (int i = 0; i < rows; ++i) {
        QTableWidgetItem* n = grid->item(i, 0);
        if (!n) {
            n = new QTableWidgetItem;
            n->setFlags(n->flags() & ~Qt::ItemIsEditable);
            grid->setItem(i, 0, n);
        }
        n->setText(number(i));
        if (!grid->item(i, 1)) grid->setItem(i, 1, new QTableWidgetItem);
    }
}

void GlobalArrayPage::TSGAShow()
{
    fillNumbers(mStringGrid2, kTextArraySize);
    fillNumbers(mStringGrid3, kNumberArraySize);
}

void GlobalArrayPage::setBusy(bool busy)
{
    mBusy = busy;
    for (QPushButton* b : mButtons) b->setEnabled(!busy);
}

// Every entry is asked for in turn; a failed read leaves its row as it was (it never shows the
// previous entry's value), and a controller that stops answering ends the run.
void GlobalArrayPage::Button4Click()
{
    if (mBusy) return;
    setBusy(true);
    WithConnection(context(), 1.0, [&](int socket) {
        for (int i = 0; i < kTextArraySize; ++i) {
            std::string value;
            const int code = api::GlobalArrayGet(socket, i, value);
            if (code == 0)
                mStringGrid2->item(i, 1)->setText(QString::fromStdString(value));
            else if (logFailure(context(), code, i)) {
                context().log(Text("stringgastopped", number(i)));
                break;
            }
            if ((i + 1) % kCallsPerYield == 0) QCoreApplication::processEvents();
        }
    });
    setBusy(false);
}

void GlobalArrayPage::Button5Click()
{
    if (mBusy) return;
    // Nothing is sent when one text would be cut: the array is written whole or not at all.
    std::vector<std::string> values(kTextArraySize);
    for (int i = 0; i < kTextArraySize; ++i) {
        values[i] = mStringGrid2->item(i, 1)->text().toStdString();
        if (values[i].size() > static_cast<std::size_t>(kTextArrayEntryMax)) {
            context().log(Text("stringgatoolong", number(i)));
            return;
        }
    }
    setBusy(true);
    WithConnection(context(), 1.0, [&](int socket) {
        for (int i = 0; i < kTextArraySize; ++i) {
            const int code = api::GlobalArraySet(socket, i, values[i]);
            if (code != 0 && logFailure(context(), code, i)) {
                context().log(Text("stringgastopped", number(i)));
                break;
            }
            if ((i + 1) % kCallsPerYield == 0) QCoreApplication::processEvents();
        }
    });
    setBusy(false);
}

void GlobalArrayPage::Button8Click()
{
    if (mBusy) return;
    setBusy(true);
    WithConnection(context(), 1.0, [&](int socket) {
        for (int i = 0; i < kNumberArraySize; ++i) {
            double value = 0.0;
            int code = api::kErrorEmptyReply;
            try {
                code = api::DoubleGlobalArrayGet(socket, i, value);
            } catch (const api::ConversionError& e) {
                context().log(Text("stringgaentry", number(i)) + QLatin1Char(' ') +
                              Text("stringbadreplymaint", QString::fromStdString(e.what())));
                continue;
            }
            if (code == 0)
                mStringGrid3->item(i, 1)->setText(QString::fromStdString(num::general(value)));
            else if (logFailure(context(), code, i)) {
                context().log(Text("stringgastopped", number(i)));
                break;
            }
            if ((i + 1) % kCallsPerYield == 0) QCoreApplication::processEvents();
        }
    });
    setBusy(false);
}

void GlobalArrayPage::Button10Click()
{
    if (mBusy) return;
    // An empty row is 0; a row that is not a number stops the write before anything is sent,
    // so a typing slip never zeroes a controller entry.
    std::vector<double> values(kNumberArraySize, 0.0);
    for (int i = 0; i < kNumberArraySize; ++i) {
        const QString text = mStringGrid3->item(i, 1)->text().trimmed();
        if (text.isEmpty()) continue;
        const std::optional<double> v = num::parseStrict(text.toStdString());
        if (!v || !std::isfinite(*v)) {
            context().log(Text("stringganotnumber", number(i)) + QStringLiteral(" (") + text + QLatin1Char(')'));
            return;
        }
        values[i] = *v;
    }
    setBusy(true);
    WithConnection(context(), 1.0, [&](int socket) {
        for (int i = 0; i < kNumberArraySize; ++i) {
            const int code = api::DoubleGlobalArraySet(socket, i, values[i]);
            if (code != 0 && logFailure(context(), code, i)) {
                context().log(Text("stringgastopped", number(i)));
                break;
            }
            if ((i + 1) % kCallsPerYield == 0) QCoreApplication::processEvents();
        }
    });
    setBusy(false);
}

// ---- "Site" ----

bool SitePage::pageLoadedOnce() { return gPageLoaded.load(); }
void SitePage::resetLoadedForTests() { gPageLoaded.store(false); }

SitePage::SitePage(MaintenanceContext& context, QWidget* parent) : MaintenancePage(context, parent)
{
    registerGlobalArrayTexts();
    auto* top = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("Adresse :"), this));
    mEdit143 = new QLineEdit(this);
    mEdit143->setObjectName("Edit143");
    bar->addWidget(mEdit143, 1);
    auto* refresh = new QPushButton(QStringLiteral("Actualiser"), this);
    refresh->setObjectName("Button74");
    auto* back = new QPushButton(QStringLiteral("<<"), this);
    back->setObjectName("Buttonprecedent");
    auto* forward = new QPushButton(QStringLiteral(">>"), this);
    forward->setObjectName("Buttonsuivant");
    bar->addWidget(refresh);
    bar->addWidget(back);
    bar->addWidget(forward);
    top->addLayout(bar);
    mBrowserArea = new QVBoxLayout;
    top->addLayout(mBrowserArea, 1);
    mStatusBar1 = new QStatusBar(this);
    mStatusBar1->setObjectName("StatusBar1");
    mStatusBar1->setSizeGripEnabled(false);
    top->addWidget(mStatusBar1);

    connect(mEdit143, &QLineEdit::returnPressed, this, [this] { Edit143KeyPress(); });
    connect(refresh, &QPushButton::clicked, this, [this] { Button74Click(); });
    connect(back, &QPushButton::clicked, this, [this] { ButtonprecedentClick(); });
    connect(forward, &QPushButton::clicked, this, [this] { ButtonsuivantClick(); });
}

WebView* SitePage::ensureBrowser()
{
    if (mWebBrowser1) return mWebBrowser1;
    // The browser engine's sandbox cannot run for the root user: without this no page would
    // ever show there. Pages then run with the program's rights, which the user is told.
    QString why;
    if (qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        why = "QTWEBENGINE_DISABLE_SANDBOX";
    else if (::geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        why = "root";
    }
    if (!why.isEmpty()) {
        const QString line = Text("stringnosandbox", why);
        context().log(line);
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    }
    QString error;
    mWebBrowser1 = MakeWebView(this, error);
    if (!mWebBrowser1) {
        context().log(error);
        return nullptr;
    }
    mWebBrowser1->widget()->setObjectName("WebBrowser1");
    mBrowserArea->addWidget(mWebBrowser1->widget());
    mWebBrowser1->LoadStarted = [this] { WebBrowser1DownloadBegin(); };
    mWebBrowser1->LoadFinished = [this](bool ok) { WebBrowser1DownloadComplete(ok); };
    mWebBrowser1->TitleChanged = [this](const QString& title) { WebBrowser1TitleChange(title); };
    return mWebBrowser1;
}

QString SitePage::statusText() const { return mStatusBar1->currentMessage(); }

void SitePage::setStatus(const QString& text) { mStatusBar1->showMessage(text); }

void SitePage::TabSheet4Show()
{
    if (gPageLoaded.load() || mLoading) return;
    const QString address = QString::fromStdString(common().ControllerIp);
    mEdit143->setText(address);
    // In simulation the controller's address is only shown; Enter opens it.
    if (common().ControllerUsable.load() == 0) return;
    navigate(QUrl::fromUserInput(address));
}

void SitePage::Edit143KeyPress() { navigate(QUrl::fromUserInput(mEdit143->text().trimmed())); }

void SitePage::Button74Click()
{
    if (!mWebBrowser1 || mWebBrowser1->url().isEmpty()) {
        setStatus(Text("stringpasrafraichir"));
        return;
    }
    mWhy = Why::Refresh;
    mTarget = mWebBrowser1->url();
    mLoading = true;
    mWebBrowser1->reload();
}

void SitePage::ButtonsuivantClick()
{
    if (!mWebBrowser1 || !mWebBrowser1->canGoForward()) {
        setStatus(Text("stringpaselementsuivant"));
        return;
    }
    mWhy = Why::Forward;
    mTarget = mWebBrowser1->forwardUrl();
    mLoading = true;
    mWebBrowser1->forward();
}

void SitePage::ButtonprecedentClick()
{
    if (!mWebBrowser1 || !mWebBrowser1->canGoBack()) {
        setStatus(Text("stringpaselementprecedent"));
        return;
    }
    mWhy = Why::Back;
    mTarget = mWebBrowser1->backUrl();
    mLoading = true;
    mWebBrowser1->back();
}

void SitePage::navigate(const QUrl& url)
{
    // Only web addresses: a typed "file:" or other scheme is not opened.
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        setStatus(Text("stringcannotopen") + QLatin1Char(' ') + mEdit143->text());
        return;
    }
    mWhy = Why::Open;
    mTarget = url;
    WebView* browser = ensureBrowser();
    if (!browser) {
        setStatus(Text("stringcannotopen") + QLatin1Char(' ') + url.toString());
        return;
    }
    // Set here, not at the engine's start signal, so a second show meanwhile opens nothing.
    mLoading = true;
    browser->load(url);
}

void SitePage::WebBrowser1DownloadBegin()
{
    mLoading = true;
    mFailed = false;
    setStatus(QStringLiteral("Open ") + mTarget.host());
}

void SitePage::WebBrowser1DownloadComplete(bool ok)
{
    mLoading = false;
    if (!ok) {
        mFailed = true;
        switch (mWhy) {
        case Why::Refresh: setStatus(Text("stringpasrafraichir")); break;
        case Why::Forward: setStatus(Text("stringpaselementsuivant")); break;
        case Why::Back: setStatus(Text("stringpaselementprecedent")); break;
        case Why::Open: setStatus(Text("stringcannotopen") + QLatin1Char(' ') + mTarget.toString()); break;
        }
        return;
    }
    gPageLoaded.store(true);
    setStatus(QStringLiteral("End"));
    mEdit143->setText(mWebBrowser1->url().toString());
    // The title may have come before the end of the load: the page's title is what stays.
    const QString title = mWebBrowser1->title();
    if (!title.isEmpty()) setStatus(title);
}

void SitePage::WebBrowser1TitleChange(const QString& title)
{
    if (mFailed || mLoading) return;
    setStatus(title);
    mEdit143->setText(mWebBrowser1->url().toString());
}

}  // namespace mvx::maint
