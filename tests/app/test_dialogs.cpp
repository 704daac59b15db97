// Shared dialogs: each box is its own modal dialog; waits dispatch events.
#include "app/dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace mvx;

namespace {

// Runs `act` on the modal box once it is up.
void whenModal(std::function<void(QWidget*)> act)
{
    QTimer::singleShot(50, [act] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w) {
            whenModal(act);
            return;
        }
        act(w);
    });
}

void click(QWidget* box, const char* button) { QTest::mouseClick(box->findChild<QPushButton*>(button), Qt::LeftButton); }

}  // namespace

TEST(Dialogs, MessageBoxLinesSizeAndAnswer)
{
    int height = 0, width = 0;
    QString text;
    QStringList buttons;
    whenModal([&](QWidget* box) {
        height = box->height();
        width = box->width();
        text = box->findChild<QPlainTextEdit*>("Memo1")->toPlainText();
        for (auto* b : box->findChildren<QPushButton*>()) buttons << b->text();
        click(box, "BitBtnOui");
    });
    EXPECT_EQ(MsgDialog("A\xC2\xA7" "B\xC2\xA7", 0, MbYes | MbNo), MrYes);
    EXPECT_EQ(text, "A\nB");
    EXPECT_EQ(height, 115);
    EXPECT_EQ(width, 319);
    EXPECT_EQ(buttons, (QStringList{"&Oui", "&Non"}));
}

TEST(Dialogs, WideBoxForManyButtonsAndEmptyText)
{
    int width = 0;
    whenModal([&](QWidget* box) {
        width = box->width();
        click(box, "BitBtnAnnuler");
    });
    EXPECT_EQ(MsgDialog("x", 0, MbOk | MbRetry | MbIgnore | MbCancel), MrCancel);
    EXPECT_EQ(width, 590);
    EXPECT_EQ(MsgDialog("", 0, MbYes | MbNo), MrOk);  // nothing shown
}

TEST(Dialogs, NestedBoxesAnswerForThemselves)
{
    std::uint16_t inner = 0;
    whenModal([&](QWidget* outer) {
        whenModal([&](QWidget* box) { click(box, "BitBtnNon"); });
        inner = MsgDialog("inner", 0, MbYes | MbNo);
        click(outer, "BitBtnRetenter");
    });
    EXPECT_EQ(MsgDialog("outer", 0, MbRetry | MbCancel), MrRetry);
    EXPECT_EQ(inner, MrNo);
}

TEST(Dialogs, TimedBoxClosesItself)
{
    QElapsedTimer t;
    t.start();
    MsgDialogTimedOk("bye", 300);
    EXPECT_GE(t.elapsed(), 290);
    EXPECT_LT(t.elapsed(), 3000);
}

TEST(Dialogs, InputQueryCancelledHandsBackText)
{
    whenModal([](QWidget* box) {
        auto* edit = box->findChild<QLineEdit*>("Edit1");
        edit->clear();
        QTest::keyClicks(edit, "typed");
        click(box, "BitBtn2");
    });
    std::string value = "old";
    EXPECT_FALSE(InputQueryDialog("Caption", "Prompt", value));
    EXPECT_EQ(value, "typed");

    whenModal([](QWidget* box) { QTest::keyClick(box->findChild<QLineEdit*>("Edit1"), Qt::Key_Return); });
    EXPECT_TRUE(InputQueryDialog("Caption", "Prompt", value));
}

TEST(Dialogs, WaitDispatchesEvents)
{
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    QElapsedTimer t;
    t.start();
    WaitWithMessages(100);
    EXPECT_TRUE(fired);
    EXPECT_GE(t.elapsed(), 95);
}

TEST(Dialogs, WindowPositionRule)
{
    EXPECT_EQ(FitToSingleScreen(5000, 1920), 960);
    EXPECT_EQ(FitToSingleScreen(-20, 1920), 0);
    EXPECT_EQ(FitToSingleScreen(300, 1920), 300);
    unsigned char mac[6] = {0x00, 0x1a, 0x2b, 0xfc, 0x0d, 0xff};
    EXPECT_EQ(FormatMacAddress(mac), "00-1a-2b-fc-0d-ff");
    EXPECT_EQ(LocalMacAddress(10000), "00-00-00-00-00-00");
}
