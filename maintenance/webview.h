#pragma once
// The site page's web browser. Its engine is large (about 30 MB that the program would hold from
// its start on, whether the site is ever shown or not), so it lives in a module of its own,
// loaded the first time a page is opened.

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace mvx::maint {

class WebView {
public:
    virtual ~WebView() = default;
    // The view itself, a child of the parent it was made with (which deletes it).
    virtual QWidget* widget() = 0;
    virtual void load(const QUrl& url) = 0;
    virtual void reload() = 0;
    virtual void back() = 0;
    virtual void forward() = 0;
    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;
    virtual QUrl backUrl() const = 0;
    virtual QUrl forwardUrl() const = 0;
    virtual QUrl url() const = 0;
    virtual QString title() const = 0;

    // Called on the window's thread as the engine reports.
    std::function<void()> LoadStarted;
    std::function<void(bool ok)> LoadFinished;
    std::function<void(const QString& title)> TitleChanged;
};

// The module's entry point, by this name: a view made as a child of `parent`.
using MakeWebViewFunction = WebView* (*)(QWidget* parent);
inline constexpr const char* kMakeWebViewSymbol = "mvxMakeWebView";

// Loads the module (beside the program, else where it was built) and makes a view. Null, with
// the reason in `error`, when the module cannot be loaded.
WebView* MakeWebView(QWidget* parent, QString& error);

}  // namespace mvx::maint
