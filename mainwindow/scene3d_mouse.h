#pragma once
// Mouse rules of the 3D viewer, apart from any widget: press, move, release and wheel turn into
// camera changes of the scene, and a double click without movement asks for the pop-up menu.

#include <functional>

namespace mvx::view3d {

class Scene3D;

class MouseNavigator {
public:
    struct Buttons {
        bool Left = false, Right = false, Middle = false;
    };

    explicit MouseNavigator(Scene3D& scene) : mScene(scene) {}

    // Zoom to fit needs a converted job: the TCL view's line count (at least 3).
    void setTclLineCount(std::function<int()> count) { mTclLineCount = std::move(count); }
    // The wheel acts only while the "Show 3D" page is the active page.
    void setPageActive(std::function<bool()> active) { mPageActive = std::move(active); }

    void press(int x, int y, Buttons buttons, bool doubleClick, bool shift);
    void move(int x, int y, Buttons buttons);
    // True when the pop-up menu is to be opened at the mouse.
    bool release(bool leftButton);
    // True when the wheel was taken.
    bool wheel(int delta);

private:
    Scene3D& mScene;
    std::function<int()> mTclLineCount;
    std::function<bool()> mPageActive;
    int mX = 0, mY = 0;
    bool mDoubleClick = false;
    bool mShift = false;
    bool mMoved = false;
};

}  // namespace mvx::view3d
