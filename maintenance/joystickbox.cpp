#include "joystickbox.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <atomic>

namespace mvx::maint {

namespace {
std::atomic<int> gHeldBoxes{0};
}

bool JoystickBox::JoystickActive() { return gHeldBoxes.load() > 0; }

JoystickBox::JoystickBox(bool zOnly, QWidget* parent) : QWidget(parent), mZOnly(zOnly)
{
    setMinimumSize(zOnly ? QSize(30, 100) : QSize(100, 100));
    setFocusPolicy(Qt::ClickFocus);
    mPoint = centre();
}

std::array<double, 3> JoystickBox::Velocities(int w, int h, int x, int y, bool zOnly, double vmax)
{
    if (w <= 0 || h <= 0) return {0.0, 0.0, 0.0};
    x = std::clamp(x, 0, w);
    y = std::clamp(y, 0, h);
    const double vy = vmax * 2.0 * double(h / 2 - y) / double(h);
    if (zOnly) return {0.0, 0.0, vy};
    const double vx = vmax * 2.0 * double(x - w / 2) / double(w);
    return {vx, vy, 0.0};
}

QPoint JoystickBox::centre() const { return QPoint(width() / 2, height() / 2); }

QPoint JoystickBox::clampPoint(QPoint p) const
{
    const int x = mZOnly ? width() / 2 : std::clamp(p.x(), 0, width());
    return QPoint(x, std::clamp(p.y(), 0, height()));
}

void JoystickBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QPoint stick = mHeld ? mPoint : centre();
    painter.fillRect(rect(), Qt::black);
    painter.setPen(QPen(Qt::yellow, 1, Qt::SolidLine));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setPen(QPen(Qt::yellow, 1, Qt::DashDotLine));
    painter.drawLine(width() / 2, 0, width() / 2, height());
    painter.drawLine(0, height() / 2, width(), height() / 2);
    painter.setPen(QPen(Qt::yellow, 1, Qt::SolidLine));
    painter.drawLine(stick.x(), 0, stick.x(), height());
    painter.drawLine(0, stick.y(), width(), stick.y());
    painter.drawEllipse(stick, 2, 2);
}

void JoystickBox::send(QPoint p)
{
    mPoint = p;
    update();
    if (mSending) {
        // One call at a time: the latest point goes when the waiting call returns.
        mPendingMove = true;
        return;
    }
    QPointer<JoystickBox> self(this);
    mSending = true;
    do {
        mPendingMove = false;
        if (onJog) onJog(width(), height(), mPoint, true);
        if (!self) return;
    } while (mPendingMove && mHeld);
    mSending = false;
}

void JoystickBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
    if (!mHeld) ++gHeldBoxes;
    mHeld = true;
    send(clampPoint(event->position().toPoint()));
}

void JoystickBox::mouseMoveEvent(QMouseEvent* event)
{
    if (mHeld) send(clampPoint(event->position().toPoint()));
}

void JoystickBox::mouseReleaseEvent(QMouseEvent*) { endHold(); }

void JoystickBox::endHold()
{
    if (!mHeld) return;
    mHeld = false;
    --gHeldBoxes;
    mPendingMove = false;
    mPoint = centre();
    update();
    // Zero velocities, at once, even while a press call still waits (the page stops again after it).
    if (onJog) onJog(width(), height(), centre(), false);
}

void JoystickBox::hideEvent(QHideEvent* event)
{
    endHold();
    QWidget::hideEvent(event);
}

void JoystickBox::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled()) endHold();
    QWidget::changeEvent(event);
}

void JoystickBox::focusOutEvent(QFocusEvent* event)
{
    // A modal box or another window taking the focus swallows the release.
    endHold();
    QWidget::focusOutEvent(event);
}

}  // namespace mvx::maint
