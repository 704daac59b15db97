#pragma once
// "GlobalArray" page (TSGA): the controller's text array (100 entries) and number array (1000
// entries) that TCL scripts share; and the "Site" page (TabSheet4): the controller's own web
// pages in an embedded web browser, with back, forward and refresh.

#include "maintenancecontext.h"
#include "webview.h"

#include <QUrl>

#include <vector>

class QLineEdit;
class QPushButton;
class QStatusBar;
class QTableWidget;
class QVBoxLayout;

namespace mvx::maint {

inline constexpr int kTextArraySize = 100;
inline constexpr int kNumberArraySize = 1000;
inline constexpr int kTextArrayEntryMax = 255;

class GlobalArrayPage : public MaintenancePage {
    Q_OBJECT
public:
    GlobalArrayPage(MaintenanceContext& context, QWidget* parent);

    void pageShown() override { TSGAShow(); }

    void TSGAShow();
    void Button4Click();   // read the text array
    void Button5Click();   // write the text array
    void Button8Click();   // read the number array
    void Button10Click();  // write the number array

    QTableWidget* textGrid() const { return mStringGrid2; }
    QTableWidget* numberGrid() const { return mStringGrid3; }

private:
    void setBusy(bool busy);
    void fillNumbers(QTableWidget* grid, int rows);

    QTableWidget* mStringGrid2 = nullptr;
    QTableWidget* mStringGrid3 = nullptr;
    std::vector<QPushButton*> mButtons;
    bool mBusy = false;
};

class SitePage : public MaintenancePage {
    Q_OBJECT
public:
    SitePage(MaintenanceContext& context, QWidget* parent);

    void pageShown() override { TabSheet4Show(); }

    void TabSheet4Show();
    void Edit143KeyPress();           // Enter in the address field
    void Button74Click();             // "Actualiser"
    void ButtonsuivantClick();        // ">>"
    void ButtonprecedentClick();      // "<<"

    // A page has finished loading once in this program run.
    static bool pageLoadedOnce();
    static void resetLoadedForTests();

    QLineEdit* addressField() const { return mEdit143; }
    // The browser exists from the first page opened on: a console that never shows the site
    // never starts the browser engine.
    WebView* browser() const { return mWebBrowser1; }
    QString statusText() const;
    bool loading() const { return mLoading; }

private:
    enum class Why { Open, Refresh, Forward, Back };
    WebView* ensureBrowser();  // null when the browser module cannot be loaded (said)
    void navigate(const QUrl& url);
    void WebBrowser1DownloadBegin();
    void WebBrowser1DownloadComplete(bool ok);
    void WebBrowser1TitleChange(const QString& title);
    void setStatus(const QString& text);

    QLineEdit* mEdit143 = nullptr;
    QVBoxLayout* mBrowserArea = nullptr;
    WebView* mWebBrowser1 = nullptr;
    QStatusBar* mStatusBar1 = nullptr;
    Why mWhy = Why::Open;
    QUrl mTarget;          // where the navigation under way goes
    bool mLoading = false;
    bool mFailed = false;  // the last navigation failed: its error page's title is not shown
};

// Registers the built-in texts of the two pages (once).
void registerGlobalArrayTexts();

}  // namespace mvx::maint
