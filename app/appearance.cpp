#include "appearance.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleOptionButton>
#include <QWidget>

#include <algorithm>

namespace mvx {
namespace {

class ProgramStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contents,
                           const QWidget* widget) const override
    {
        QSize size = QProxyStyle::sizeFromContents(type, option, contents, widget);
        if (type == CT_PushButton)
            if (const auto* b = qstyleoption_cast<const QStyleOptionButton*>(option); b && !b->text.isEmpty())
                size.rwidth() += 2 * kLabelMargin;
        return size;
    }

private:
    static constexpr int kLabelMargin = 5;
};

}  // namespace

constexpr int kTitleBarAllowance = 32;

QFont CodeFont() { return QFontDatabase::systemFont(QFontDatabase::FixedFont); }

void InstallProgramStyle(QApplication& app) { app.setStyle(new ProgramStyle(app.style()->name())); }

void FitWindowToScreen(QWidget* window)
{
    if (!window) return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect free = screen->availableGeometry();
    // Before the first show the frame is not known yet: a usual title bar is allowed for.
    const int frameW = std::max(0, window->frameGeometry().width() - window->width());
    int frameH = window->frameGeometry().height() - window->height();
    if (frameH <= 0) frameH = kTitleBarAllowance;
    const QSize room(free.width() - frameW, free.height() - frameH);
    // A window that needs more than the screen keeps what its layout needs.
    const QSize least = window->minimumSize().expandedTo(window->minimumSizeHint());
    const QSize size = window->size().boundedTo(room).expandedTo(least);
    if (size != window->size()) window->resize(size);
}

}  // namespace mvx
