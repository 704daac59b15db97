// The workbench windows as the program ties them together, started against the simulator:
// each case drives the windows' own buttons, menus and signals.
#include "workbench_program.h"

#include "app/common.h"
#include "app/dialogs.h"
#include "link/transfer.h"
#include "tclbench/tftcl.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace mvx;
using namespace mvx::test;

namespace {

QAction* actionNamed(QWidget* w, const QString& text)
{
    for (QAction* a : w->findChildren<QAction*>())
        if (a->text() == text) return a;
    return nullptr;
}

void clickRow(QTreeWidget* list, const QString& name)
{
    const auto items = list->findItems(name, Qt::MatchExactly, 0);
    ASSERT_FALSE(items.isEmpty()) << name.toStdString();
    list->scrollToItem(items.first());
    const QRect r = list->visualItemRect(items.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(r.left() + 5, r.center().y()));
}

TEST_F(WorkbenchProgram, ConnectedAtStartTheEditorListsLoadsAndExecutes)
{
    ASSERT_TRUE(startProgram());
    sim().writeFile("Public/Scripts/answer.tcl", "return \"4,5,6\"\n");
    ASSERT_TRUE(connect());
    EXPECT_EQ(common().NoControllerApi.load(), 0);

    auto* mainWin = mainWindow();
    QAction* kvx = nullptr;
    for (QAction* a : mainWin->findChildren<QAction*>())
        if (a->objectName() == "KVX1") kvx = a;
    ASSERT_NE(kvx, nullptr);
    bool editorSteps = false;
    const bool consoleShown = whileModal("Fmain_KVX", [&] { kvx->trigger(); }, [&](QDialog* console) {
        auto* scripts = console->findChild<QPushButton*>("Bitbtn6");
        ASSERT_NE(scripts, nullptr);
        whileModal("Ftcl", [&] { scripts->click(); }, [&](QDialog* d) {
            auto* tcl = dynamic_cast<tclbench::TFtcl*>(d);
            ASSERT_NE(tcl, nullptr);
            auto* list = tcl->findChild<QTreeWidget*>("ListBox1");
            ASSERT_TRUE(list->isEnabled());
            for (const char* name : {"BitBtn1", "BitBtn2", "BitBtn3", "BitBtn4"})
                EXPECT_TRUE(tcl->findChild<QPushButton*>(name)->isEnabled()) << name;
            clickRow(list, "answer.tcl");

            EXPECT_EQ(common().CurrentScriptName, "answer.tcl");
            EXPECT_EQ(tcl->editorText(), "return \"4,5,6\"\n");
            tcl->findChild<QPushButton*>("BitBtn1")->click();
            EXPECT_EQ(tcl->findChild<QLineEdit*>("Edit7")->text(), "4,5,6");
            EXPECT_EQ(tcl->statusText(2), "TASK  (answer.tcl) executed");
            editorSteps = true;
        });
    });
    EXPECT_TRUE(consoleShown);
    EXPECT_TRUE(editorSteps);
}

}  // namespace
