// The 3D view inside the main window: its page is hidden until the about window reveals it, and
// the remote "3D" command follows that.
#include "mainwindow/remoteserver.h"
#include "mainwindow/tfmain.h"
#include "mainwindow/view3d.h"

#include "core/common.h"
#include "app/dialogs.h"

#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace mvx;

namespace {

class View3DTab : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        root = dir.path().toStdString() + "/";
        InitCommonGlobals(root, "movantrix");
        QDir().mkpath(QString::fromStdString(root + "GCODE"));
        SetMessageBoxHandler([](const std::string&, std::uint16_t) { return std::uint16_t(MrOk); });
        win = std::make_unique<TFmain>();
        win->setSimulation(true);
        view = new View3D;
        win->setView3D(view);
    }
    void TearDown() override
    {
        win.reset();
        SetMessageBoxHandler({});
    }
    bool tabVisible() const { return win->pages()->isTabVisible(win->pages()->indexOf(win->tab3D())); }

    QTemporaryDir dir;
    std::string root;
    std::unique_ptr<TFmain> win;
    View3D* view = nullptr;
};

TEST_F(View3DTab, HiddenByDefaultAndShownByTheServiceSwitch)
{
    EXPECT_TRUE(win->tab3D()->isAncestorOf(view));
    EXPECT_FALSE(tabVisible());
    RemoteServer server(win->job());
    EXPECT_EQ(server.runCommand("3D"), "3D FAILED");
    win->setServiceViews(true);
    EXPECT_TRUE(tabVisible());
    EXPECT_EQ(server.runCommand("3D"), "3D DONE");
    EXPECT_EQ(win->pages()->currentWidget(), win->tab3D());
    win->setServiceViews(false);
    EXPECT_FALSE(tabVisible());
}

}  // namespace
