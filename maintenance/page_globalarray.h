#pragma once
// "GlobalArray" page (TSGA): the controller's text array (100 entries) and number array (1000
// entries) that TCL scripts share; and the "Site" page (TabSheet4): the controller's own web
// pages, fetched over HTTP and shown as rich text with links, back, forward and refresh.

#include "maintenancecontext.h"

#include <QUrl>

#include <vector>

class QLineEdit;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QStatusBar;
class QTableWidget;
class QTextBrowser;

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
    QTextBrowser* browser() const { return mWebBrowser1; }
    QString statusText() const;
    bool loading() const { return mReply != nullptr; }

private:
    enum class Why { Open, Refresh, Forward, Back };
    void navigate(const QUrl& url, Why why);
    void finished(QNetworkReply* reply, Why why, QUrl url);
    void setStatus(const QString& text);

    QNetworkAccessManager* mNet = nullptr;
    QNetworkReply* mReply = nullptr;
    QLineEdit* mEdit143 = nullptr;
    QTextBrowser* mWebBrowser1 = nullptr;
    QStatusBar* mStatusBar1 = nullptr;
    std::vector<QUrl> mHistory;
    int mIndex = -1;
};

// Registers the built-in texts of the two pages (once).
void registerGlobalArrayTexts();

}  // namespace mvx::maint
