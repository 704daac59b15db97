#pragma once
// The "Show 3D" page's content: the 3D viewer (OpenGL when a context can be made, else a plain
// placeholder), the legend box under it and the pop-up menu. The scene model lives in either
// case, so conversion, the remote port and the job road work without OpenGL.
//
// Thread: GUI thread only.

#include "jobcontrol.h"
#include "scene3d.h"
#include "scene3d_menu.h"
#include "scene3d_mouse.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QLineEdit;
class QMenu;

namespace mvx {

class IniFile;
class View3DGL;

class View3D : public QWidget, public JobView3D {
    Q_OBJECT
public:
    // The OpenGL renderer is made when the view is first shown, where a context can be made:
    // until then (a hidden batch run, another page) the program loads no OpenGL driver, which
    // holds tens of megabytes. `allowGl` false keeps the placeholder (and skips the test).
    explicit View3D(QWidget* parent = nullptr, bool allowGl = true);
    ~View3D() override;

    // True when an OpenGL context of the renderer's format can be created and made current
    // (never on the offscreen or minimal platforms).
    static bool GlAvailable();

    view3d::Scene3D& scene() noexcept { return mScene; }
    view3d::PopupActions& actions() noexcept { return *mActions; }
    bool usesGl() const noexcept { return mGl != nullptr; }
    QWidget* renderWidget() const noexcept { return mRender; }
    QLineEdit* legend() const noexcept { return mLegend; }
    QMenu* popupMenu() const noexcept { return mMenu; }
    // "Dessiner  SCT", shown only in SCT mode while "PVT" is visible; the main window sets it.
    QAction* drawSctAction() const noexcept { return mDrawSct; }

    // What the menu and the legend need of the main window.
    void setPopupHost(view3d::PopupHost host);
    void setTclLineCount(std::function<int()> count) { mMouse.setTclLineCount(std::move(count)); }
    // The wheel acts only while the "Show 3D" page is active (default: while this is visible).
    void setPageActive(std::function<bool()> active);
    void setNbDigit(std::function<int()> digits);

    // Settings at main-window creation and closing.
    void readSettings(const IniFile& ini);
    void writeSettings(IniFile& ini) const;
    // Setup > Display > "Background color": a colour dialog from the current colour; the choice is
    // applied and stored in "COLOR"/"BACKGROUND".
    void chooseBackground(IniFile* ini);
    void applyBackground(long long storedBgr, IniFile* ini);

    // A wheel step that reached the main window elsewhere: taken only while the page is active.
    bool wheelStep(int delta);
    // The picture as drawn (the GL frame buffer, or the placeholder's widget grab).
    QImage grabPicture();
    // True while a drawing is still being prepared off the window's thread (its picture comes
    // with a repaint when it is ready).
    bool drawingPending() const;

    // JobView3D
    void ClearJobDrawings() override;
    void SetJobPath(const std::vector<PathSegment>& segments, const std::array<double, 3>& start) override;
    std::shared_ptr<view3d::SkeletonBuilder> MakeJobSkeletonBuilder(const std::array<double, 3>& start,
                                                                    std::size_t expectedPieces) const override;
    void ShowJobSkeleton(std::shared_ptr<view3d::SkeletonNodes> nodes) override;
    void AddExecutedPoint(const std::array<double, 3>& point, bool toolActive) override;
    void TrimExecutedPath(bool clear) override;
    void DrawSct(const sct::Ttraject& list, const std::array<double, 3>& start) override;
    void EraseSct() override;
    void ClearSct() override;
    void SetCentreCommandsVisible(bool visible) override;
    void SetToolPosition(const std::array<double, 3>& point, bool visible) override;
    void RefreshLegend() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* e) override;

private:
    void buildMenu();
    void sceneChanged();
    void makeRenderer();

    view3d::Scene3D mScene;
    view3d::MouseNavigator mMouse;
    std::unique_ptr<view3d::PopupActions> mActions;
    view3d::PopupHost mHost;
    std::function<int()> mNbDigit;
    QWidget* mRender = nullptr;
    View3DGL* mGl = nullptr;
    bool mGlWanted = false;  // the renderer is still to be tried at the first show
    QLineEdit* mLegend = nullptr;
    QMenu* mMenu = nullptr;
    QAction* mDrawSct = nullptr;
    QAction* mCentreCurrent = nullptr;
    QAction* mCentreAsk = nullptr;
    QAction* mZTimes10 = nullptr;
};

}  // namespace mvx
