// Shared dialogs: each box is its own modal dialog; waits dispatch events.
#include "app/dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

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
        for (auto* b : box->findChildren<QPushButton*>())
            if (!b->isHidden()) buttons << b->text();
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

TEST(Dialogs, ButtonsInTheirOrderAndTheHiddenOkAnswersYes)
{
    struct Case {
        std::uint16_t mask;
        std::vector<std::pair<const char*, int>> placed;  // button, left
    };
    const Case cases[] = {
        {MbYes | MbNo, {{"BitBtnOui", 6}, {"BitBtnNon", 102}}},
        {MbCancel | MbRetry | MbOk, {{"BitBtnOk", 6}, {"BitBtnRetenter", 102}, {"BitBtnAnnuler", 198}}},
        {MbAll | MbIgnore | MbNo | MbYes, {{"BitBtnOui", 6}, {"BitBtnTout", 102}, {"BitBtnIgnorer", 198}, {"BitBtnNon", 294}}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<std::string, int>> seen;
        bool okHidden = false;
        QString okCaption;
        whenModal([&](QWidget* box) {
            for (auto* b : box->findChildren<QPushButton*>())
                if (!b->isHidden()) seen.emplace_back(b->objectName().toStdString(), b->x());
            auto* ok = box->findChild<QPushButton*>("BitBtnOuiOK");
            okHidden = ok && ok->isHidden();
            okCaption = ok ? ok->text() : QString();
            ok->click();
        });
        EXPECT_EQ(MsgDialog("question", 0, c.mask), MrYes) << c.mask;
        std::sort(seen.begin(), seen.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
        ASSERT_EQ(seen.size(), c.placed.size()) << c.mask;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].first, c.placed[i].first) << c.mask;
            EXPECT_EQ(seen[i].second, c.placed[i].second) << c.mask;
        }
        EXPECT_TRUE(okHidden);
        EXPECT_EQ(okCaption, "&OK");
    }
}

TEST(Dialogs, InputQuerySizeFollowsValueAndPrompt)
{
    struct Case {
        std::string prompt, value;
        int lines, editWidth;
    };
    const Case cases[] = {
        {"Prompt", "abc", 1, 100},
        {"A\xC2\xA7" "B\xC2\xA7" "C", "", 3, 100},
        {"Value", std::string(40, 'x'), 1, 250},
        {std::string(90, 'W') + " :", "12", 1, 100},
    };
    for (const Case& c : cases) {
        int width = 0, height = 0, editX = 0, editW = 0, labelW = 0;
        bool focused = false;
        whenModal([&](QWidget* box) {
            width = box->width();
            height = box->height();
            auto* edit = box->findChild<QLineEdit*>("Edit1");
            editX = edit->x();
            editW = edit->width();
            focused = edit->hasFocus();
            labelW = box->findChild<QLabel*>("Label1")->width();
            click(box, "BitBtn1");
        });
        std::string value = c.value;
        EXPECT_TRUE(InputQueryDialog("Caption", c.prompt, value));
        const int room = std::max(300, labelW + 40);
        EXPECT_EQ(editW, c.editWidth) << c.prompt;
        EXPECT_EQ(width, c.editWidth + room) << c.prompt;
        EXPECT_EQ(editX, room - 15) << c.prompt;
        EXPECT_EQ(height, 12 * c.lines + 110) << c.prompt;
        EXPECT_TRUE(focused);
    }
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
}
