// The web browser module of the site page: the browser engine behind the WebView interface.

#include "maintenance/webview.h"

#include <QWebEngineHistory>
#include <QWebEngineView>

// The engine's own set-up, which it runs at the program's start when it is linked to it; loaded
// later, it is run here, before the first view (the engine exports it for that).
namespace QtWebEngineCore {
void initialize();
}

namespace {

class EngineView final : public QWebEngineView, public mvx::maint::WebView {
public:
    explicit EngineView(QWidget* parent) : QWebEngineView(parent)
    {
        connect(this, &QWebEngineView::loadStarted, this, [this] {
            if (LoadStarted) LoadStarted();
        });
        connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
            if (LoadFinished) LoadFinished(ok);
        });
        connect(this, &QWebEngineView::titleChanged, this, [this](const QString& title) {
            if (TitleChanged) TitleChanged(title);
        });
    }
    QWidget* widget() override { return this; }
    void load(const QUrl& url) override { QWebEngineView::load(url); }
    void reload() override { QWebEngineView::reload(); }
    void back() override { QWebEngineView::back(); }
    void forward() override { QWebEngineView::forward(); }
    bool canGoBack() const override { return history()->canGoBack(); }
    bool canGoForward() const override { return history()->canGoForward(); }
    QUrl backUrl() const override { return history()->backItem().url(); }
    QUrl forwardUrl() const override { return history()->forwardItem().url(); }
    QUrl url() const override { return QWebEngineView::url(); }
    QString title() const override { return QWebEngineView::title(); }
};

}  // namespace

extern "C" Q_DECL_EXPORT mvx::maint::WebView* mvxMakeWebView(QWidget* parent)
{
    try {
        static const bool ready = (QtWebEngineCore::initialize(), true);
        (void)ready;
        return new EngineView(parent);
    } catch (...) {
        return nullptr;
    }
}
