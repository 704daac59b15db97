#include "webview.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

namespace mvx::maint {

namespace {
constexpr const char* kModuleName = "movantrix_webview";
}

WebView* MakeWebView(QWidget* parent, QString& error)
{
    // Loaded once and never unloaded: the engine keeps threads of its own.
    static MakeWebViewFunction make = nullptr;
    static QString failure;
    if (!make && failure.isEmpty()) {
        QStringList tried;
        for (const QString& dir : {QCoreApplication::applicationDirPath(), QStringLiteral(MVX_MODULE_DIR)}) {
            QLibrary lib(QDir(dir).filePath(QString::fromLatin1(kModuleName)));
            lib.setLoadHints(QLibrary::PreventUnloadHint);
            if (lib.load()) {
                make = reinterpret_cast<MakeWebViewFunction>(lib.resolve(kMakeWebViewSymbol));
                if (make) break;
            }
            tried << lib.errorString();
        }
        if (!make) failure = tried.join(QStringLiteral("; "));
    }
    if (!make) {
        error = failure;
        return nullptr;
    }
    WebView* view = make(parent);
    if (!view) error = QStringLiteral("the web view could not be made");
    return view;
}

}  // namespace mvx::maint
