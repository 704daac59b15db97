#pragma once
// The mouse joystick of the XY and XYZ pages: a black box with a yellow border, dash-dot lines
// through its centre and a cross and small circle at the stick. While a button is held the
// stick's offset from the centre gives the jog velocities (up on the screen is positive); the
// point is kept inside the box, so a drag beyond its edge never asks for more than full scale.
// Painting sends nothing. Moves that come while a call still waits are merged into one.

#include <QPoint>
#include <QWidget>

#include <array>
#include <functional>

namespace mvx::maint {

class JoystickBox : public QWidget {
    Q_OBJECT
public:
    // `zOnly`: the vertical box of the XYZ page (only the third velocity).
    JoystickBox(bool zOnly, QWidget* parent);

    // Velocities for point (x, y) of a w x h box at full-scale speed vmax: for a plane box
    // (vmax·2·(x − w div 2)/w, vmax·2·(h div 2 − y)/h, 0), for a vertical box
    // (0, 0, vmax·2·(h div 2 − y)/h). The point is clamped into the box first.
    static std::array<double, 3> Velocities(int w, int h, int x, int y, bool zOnly, double vmax);

    // Called with the stick's point on press and move (`held` true), and once more with the
    // centre when the hold ends (`held` false). The page turns it into a jog call.
    std::function<void(int w, int h, QPoint point, bool held)> onJog;

    bool held() const { return mHeld; }
    // Ends a hold as a release would (page hidden, window closing, box disabled).
    void endHold();

    // Any joystick box of the program is held.
    static bool JoystickActive();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPoint centre() const;
    QPoint clampPoint(QPoint p) const;
    void send(QPoint p);

    bool mZOnly;
    bool mHeld = false;
    bool mSending = false;
    bool mPendingMove = false;
    QPoint mPoint;
};

}  // namespace mvx::maint
