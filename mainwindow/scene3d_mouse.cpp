#include "scene3d_mouse.h"

#include "scene3d.h"

namespace mvx::view3d {

void MouseNavigator::press(int x, int y, Buttons buttons, bool doubleClick, bool shift)
{
    mX = x;
    mY = y;
    mDoubleClick = doubleClick;
    mShift = shift;
    mMoved = false;
    if (buttons.Left && buttons.Right && mTclLineCount && mTclLineCount() >= 3) {
        const double span = mScene.drawingExtent().largestSpan();
        if (span > 0.0) mScene.changeCamera([span](Camera& c) { c.zoomToFit(span); });
    }
}

void MouseNavigator::move(int x, int y, Buttons buttons)
{
    const int dx = mX - x;
    const int dy = mY - y;
    mX = x;
    mY = y;
    mMoved = true;
    if (dx == 0 && dy == 0) return;
    if (buttons.Left) {
        mScene.changeCamera([dx, dy](Camera& c) { c.moveAroundTarget(dy, dx); });
    } else if (buttons.Right && !buttons.Middle) {
        mScene.changeCamera([dx, dy](Camera& c) { c.pan(dx, dy); });
    }
}

bool MouseNavigator::release(bool leftButton)
{
    const bool menu = leftButton && mDoubleClick && !mMoved;
    mDoubleClick = false;
    return menu;
}

bool MouseNavigator::wheel(int delta)
{
    if (!mPageActive || !mPageActive()) return false;
    mScene.changeCamera([delta](Camera& c) { c.wheel(delta); });
    return true;
}

}  // namespace mvx::view3d
