// Every window of the program on a screen of the size given on the command line (--screen=WxH):
// it fits the screen, no child lies outside its parent or on a sibling, no label or button text
// is cut, the views of code and data use a fixed-pitch font, and the editors, logs and charts
// take the room a bigger window gives. Set MVX_LAYOUT_SHOTS to a folder to get a picture of every
// window and page there.
#include "tests/program/wiring.h"
#include "mainwindow/tfmain.h"

#include "app/appearance.h"
#include "core/cmdline.h"
#include "core/common.h"
#include "app/dialogs.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QSizeGrip>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <Qsci/qscilexer.h>
#include <Qsci/qsciscintilla.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace mvx;

namespace {

QSize gScreen(1280, 800);
// A title bar the offscreen platform does not draw.
constexpr int kTitleBar = 32;

QString pathOf(const QWidget* w, const QWidget* top)
{
    QStringList parts;
    for (const QWidget* p = w; p && p != top; p = p->parentWidget())
        parts.prepend(p->objectName().isEmpty() ? QString(p->metaObject()->className()) : p->objectName());
    return top->objectName() + "/" + parts.join('/');
}

// Parts of a composite view (scroll bars, viewports, chart internals, a tab bar's arrows) are
// placed by their owner.
bool insideCompositeView(const QWidget* w)
{
    for (const QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if ((qobject_cast<const QAbstractScrollArea*>(p) && !qobject_cast<const QScrollArea*>(p)) ||
            qobject_cast<const QTabBar*>(p))
            return true;
    return false;
}

QString plainText(QString t) { return t.remove('&'); }

void checkChildren(const QWidget* top, const QWidget* parent, QStringList& issues)
{
    std::vector<QWidget*> shown;
    for (QWidget* c : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!c->isWindow() && c->isVisible() && !qobject_cast<QSizeGrip*>(c)) shown.push_back(c);
    const bool composite = insideCompositeView(shown.empty() ? parent : shown.front());
    // The content of a scroll area may be larger than what it shows.
    const bool scrolled = parent->parentWidget() && qobject_cast<QScrollArea*>(parent->parentWidget());
    for (QWidget* c : shown) {
        if (composite) break;
        if (!scrolled && !parent->rect().contains(c->geometry()))
            issues << QString("outside its parent: %1 at %2,%3 %4x%5 in %6x%7")
                          .arg(pathOf(c, top))
                          .arg(c->x())
                          .arg(c->y())
                          .arg(c->width())
                          .arg(c->height())
                          .arg(parent->width())
                          .arg(parent->height());
        if (auto* b = qobject_cast<QAbstractButton*>(c); b && !b->text().isEmpty() && b->width() < b->sizeHint().width())
            issues << QString("button text cut: %1 \"%2\" %3 px for %4").arg(pathOf(c, top), plainText(b->text()))
                          .arg(b->width())
                          .arg(b->sizeHint().width());
        if (auto* l = qobject_cast<QLabel*>(c);
            l && !l->text().isEmpty() && !l->wordWrap() && l->width() < l->minimumSizeHint().width())
            issues << QString("label text cut: %1 \"%2\" %3 px for %4").arg(pathOf(c, top), l->text().left(40))
                          .arg(l->width())
                          .arg(l->minimumSizeHint().width());
    }
    if (!composite)
        for (std::size_t i = 0; i < shown.size(); ++i)
            for (std::size_t j = i + 1; j < shown.size(); ++j) {
                const QRect both = shown[i]->geometry().intersected(shown[j]->geometry());
                if (both.width() > 0 && both.height() > 0)
                    issues << QString("overlap: %1 and %2 (%3x%4)")
                                  .arg(pathOf(shown[i], top), pathOf(shown[j], top))
                                  .arg(both.width())
                                  .arg(both.height());
            }
    for (QWidget* c : shown) checkChildren(top, c, issues);
}

void shoot(QWidget* w, const QString& what)
{
    const QByteArray dir = qgetenv("MVX_LAYOUT_SHOTS");
    if (dir.isEmpty()) return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    w->grab().save(QString("%1/%2_%3x%4.png").arg(QString::fromLocal8Bit(dir), what).arg(gScreen.width()).arg(gScreen.height()));
}

void settle()
{
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// Every page of every page control of the window in turn, the window itself first.
QStringList checkWindow(QWidget* w, const QString& shotName = QString())
{
    const QString shot = shotName.isEmpty() ? w->objectName() : shotName;
    QStringList issues;
    const QRect free = w->screen()->availableGeometry();
    if (w->width() > free.width() || w->height() + kTitleBar > free.height())
        issues << QString("%1 is %2x%3 on a %4x%5 screen").arg(w->objectName()).arg(w->width()).arg(w->height())
                      .arg(free.width()).arg(free.height());
    const QSize least = w->minimumSizeHint().expandedTo(w->minimumSize());
    if (least.width() > free.width() || least.height() + kTitleBar > free.height())
        issues << QString("%1 needs at least %2x%3").arg(w->objectName()).arg(least.width()).arg(least.height());
    checkChildren(w, w, issues);
    shoot(w, shot);
    for (QTabWidget* tabs : w->findChildren<QTabWidget*>()) {
        if (tabs->window() != w || !tabs->isVisible()) continue;
        const int was = tabs->currentIndex();
        for (int i = 0; i < tabs->count(); ++i) {
            // Pages kept for other controller models are laid out all the same.
            tabs->setTabVisible(i, true);
            tabs->setCurrentIndex(i);
            settle();
            checkChildren(w, tabs->widget(i), issues);
            shoot(w, shot + "_" + tabs->widget(i)->objectName());
        }
        tabs->setCurrentIndex(was);
    }
    issues.removeDuplicates();
    return issues;
}

class Layout : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sDir = fs::temp_directory_path() / ("mvx_layout_" + std::to_string(::getpid()));
        fs::remove_all(sDir);
        fs::create_directories(sDir / "GCODE");
        // Never the controller's default address from a test.
        std::ofstream(sDir / "movantrix.INI") << "[TCP-IP]\r\nADR IP=127.0.0.1\r\n";
        std::ofstream(sDir / "GCODE" / "part.nc") << "G90\nG0 X0 Y0 Z5\nG1 Z0 F300\nG1 X20 Y0 F600\nG3 X25 Y5 I0 J5\nM2\n";
        InitCommonGlobals(sDir.string(), "movantrix");
        SetMessageBoxHandler([](const std::string&, std::uint16_t) -> std::uint16_t { return MrOk; });
        sMain = static_cast<TFmain*>(mvx::test::programWiring().startupHooks().createWindows(CommandLine{}));
    }
    static void TearDownTestSuite()
    {
        delete sMain;
        sMain = nullptr;
        fs::remove_all(sDir);
    }

    // Shows a window as the program does, with its remembered size fitted to the screen.
    static QWidget* show(const char* name)
    {
        QWidget* w = window(name);
        if (!w) return nullptr;
        w->show();
        settle();
        return w;
    }
    static QWidget* window(const char* name)
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == name && (w == sMain || qobject_cast<QDialog*>(w))) return w;
        return nullptr;
    }

    static inline fs::path sDir;
    static inline TFmain* sMain = nullptr;
};

TEST_F(Layout, EveryWindowFitsAndNothingOverlapsOrIsCut)
{
    int checked = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        // The windows with something inside; the empty stand-ins have nothing to lay out, and
        // the hidden templates of the message box and query (no layout) only carry their texts.
        if (w == sMain || !qobject_cast<QDialog*>(w) || w->findChildren<QWidget*>().size() < 3 || !w->layout())
            continue;
        w->show();
        settle();
        const QStringList issues = checkWindow(w);
        EXPECT_TRUE(issues.isEmpty()) << issues.join('\n').toStdString();
        w->hide();
        ++checked;
    }
    EXPECT_GE(checked, 30);
}

// The reduced layout of the first start and of every batch run: a narrow column that holds
// the status panels itself, and the extended one with its status bar.
TEST_F(Layout, MainWindowInBothLayoutsWithItsStatusPanelsFilled)
{
    sMain->setOpenDialog([](const std::string& folder, const std::string&) { return folder + "part.nc"; });
    for (bool extended : {false, true}) {
        if (extended) sMain->ExtendClick();
        else sMain->ReduceClick();
        show("Fmain");
        ASSERT_TRUE(sMain->BitBtnReadGcodeClick(true));
        sMain->PollShowAxis(0, "X:8.8200");
        sMain->PollShowAxis(1, "Y:25.0000");
        sMain->PollShowAxis(2, "Z:-1.2500");
        sMain->job().JobStatusText("Envoi du fichier 3 de 12 : TRJ3.PVT");
        settle();
        const QStringList issues = checkWindow(sMain, extended ? "Fmain_extended" : "Fmain_reduced");
        EXPECT_TRUE(issues.isEmpty()) << (extended ? "extended: " : "reduced: ") << issues.join('\n').toStdString();
        for (int i = 0; i < 5; ++i) {
            auto* panel = sMain->findChild<QLabel*>(QString("StatusPanel%1").arg(i));
            ASSERT_NE(panel, nullptr);
            EXPECT_TRUE(panel->isVisible()) << i << (extended ? " extended" : " reduced");
        }
        sMain->hide();
    }
}

TEST_F(Layout, CodeAndDataViewsUseAFixedPitchFont)
{
    QStringList proportional;
    auto check = [&](const QWidget* view, const QFont& font) {
        if (!QFontInfo(font).fixedPitch()) proportional << pathOf(view, view->window()) + " " + QFontInfo(font).family();
    };
    int editors = 0;
    for (QsciScintilla* e : sMain->findChildren<QsciScintilla*>()) {
        check(e, e->lexer() ? e->lexer()->font(0) : e->font());
        ++editors;
    }
    EXPECT_GE(editors, 5);  // the main window's TCL, PVT and SCT views, the TCL editor, the text editor
    // Files, logs, controller lists, terminals and TCL texts shown as they are.
    const char* const views[][2] = {
        {"Fmain", "ListBox1"},      {"Fmain_KVX", "RichEdit1"}, {"Fmain_KVX", "RichEdit2"}, {"Fmain_KVX", "RichEdit3"},
        {"Fshowgathering", "RichEdit1"}, {"FNClientFTP", "SynEdit1"}, {"Ftcl", "Memo1"},
        {"Fsupprime", "Memo1"}, {"FshowProcedure", "Memo1"}, {"FshowProcedure", "Memo9"},
    };
    for (const auto& v : views) {
        QWidget* w = window(v[0]);
        ASSERT_NE(w, nullptr) << v[0];
        QWidget* view = w->findChild<QWidget*>(v[1]);
        ASSERT_NE(view, nullptr) << v[0] << "/" << v[1];
        check(view, view->font());
    }
    EXPECT_TRUE(proportional.isEmpty()) << proportional.join('\n').toStdString();
}

// What each window is for gets the room: at its first size and when the window grows.
TEST_F(Layout, EditorsLogsAndChartsTakeTheRoom)
{
    struct Row {
        const char* window;
        const char* page;    // page to show first, or null
        const char* view;
        double minWidthShare, minHeightShare;  // of the window, at its first size
    };
    const Row rows[] = {
        {"Ftcl", nullptr, "SynEdit1", 0.6, 0.45},
        {"Fmain_KVX", nullptr, "RichEdit1", 0.2, 0.8},
        {"Fmain_KVX", "TSAdjPID", "Chart1", 0.2, 0.3},
        {"Fmain_KVX", "TSAdjPID", "Chart2", 0.2, 0.3},
        {"Fshowgathering", nullptr, "Chart1", 0.5, 0.6},
        {"Fedit", nullptr, "SynEdit1", 0.8, 0.7},
        {"FNClientFTP", nullptr, "SynEdit1", 0.8, 0.2},
        {"Fmain", nullptr, "SynEditTCL", 0.5, 0.7},
    };
    sMain->ExtendClick();
    for (const Row& r : rows) {
        QWidget* w = show(r.window);
        ASSERT_NE(w, nullptr) << r.window;
        if (r.page)
            for (QTabWidget* tabs : w->findChildren<QTabWidget*>())
                if (QWidget* page = tabs->findChild<QWidget*>(r.page)) tabs->setCurrentWidget(page);
        if (auto* tabs = w->findChild<QTabWidget*>("PageControl1"); tabs && std::strcmp(r.window, "Fmain") == 0)
            tabs->setCurrentWidget(tabs->findChild<QWidget*>("TabSheetTCL"));
        settle();
        QWidget* view = w->findChild<QWidget*>(r.view);
        ASSERT_NE(view, nullptr) << r.window << "/" << r.view;
        ASSERT_TRUE(view->isVisible()) << r.window << "/" << r.view;
        const QSize first = view->size();
        EXPECT_GE(first.width(), r.minWidthShare * w->width()) << r.window << "/" << r.view << " " << first.width();
        EXPECT_GE(first.height(), r.minHeightShare * w->height()) << r.window << "/" << r.view << " " << first.height();
        const QSize before = w->size();
        w->resize(before + QSize(200, 150));
        settle();
        EXPECT_GT(view->width(), first.width()) << r.window << "/" << r.view;
        EXPECT_GT(view->height(), first.height()) << r.window << "/" << r.view;
        w->resize(before);
        w->hide();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        int w = 0, h = 0;
        if (std::sscanf(argv[i], "--screen=%dx%d", &w, &h) == 2 && w > 0 && h > 0) gScreen = QSize(w, h);
    }
    // One offscreen screen of the size asked for.
    const fs::path config = fs::temp_directory_path() / ("mvx_layout_screen_" + std::to_string(::getpid()) + ".json");
    std::ofstream(config) << "{\"screens\": [{\"name\": \"screen\", \"x\": 0, \"y\": 0, \"width\": " << gScreen.width()
                          << ", \"height\": " << gScreen.height()
                          << ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}";
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + config.string().c_str());
    QApplication app(argc, argv);
    InstallProgramStyle(app);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    fs::remove(config);
    return rc;
}
