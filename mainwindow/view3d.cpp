#include "view3d.h"

#include "view3d_gl.h"

#include "scene3d_sct.h"

#include "core/inifile.h"
#include "view3dsettings.h"
#include "translator/observer.h"
#include "core/guard.h"

#include <QColorDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <utility>

namespace mvx {

using namespace view3d;

namespace {

MouseNavigator::Buttons buttonsOf(Qt::MouseButtons b)
{
    return {b.testFlag(Qt::LeftButton), b.testFlag(Qt::RightButton), b.testFlag(Qt::MiddleButton)};
}

QColor toQColor(long long bgr)
{
    const Rgba c = ColorFromStored(bgr);
    return QColor::fromRgbF(c.r, c.g, c.b);
}

}  // namespace

bool View3D::GlAvailable()
{
    const QString platform = QGuiApplication::platformName();
    if (platform.isEmpty() || platform == "offscreen" || platform == "minimal") return false;
    QOffscreenSurface surface;
    surface.setFormat(View3DGL::RequestedFormat());
    surface.create();
    if (!surface.isValid()) return false;
    QOpenGLContext context;
    context.setFormat(View3DGL::RequestedFormat());
    if (!context.create() || context.isOpenGLES()) return false;
    if (!context.makeCurrent(&surface)) return false;
    context.doneCurrent();
    return true;
}

View3D::View3D(QWidget* parent, bool allowGl) : QWidget(parent), mMouse(mScene)
{
    setObjectName("View3D");
    RegisterView3DTexts();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    mGlWanted = allowGl;
    mRender = new QWidget(this);
    mRender->setObjectName("GLSceneViewer1");
    mRender->setAutoFillBackground(true);
    mRender->setMinimumSize(50, 50);
    mRender->setMouseTracking(false);
    mRender->installEventFilter(this);
    layout->addWidget(mRender, 1);
    mLegend = new QLineEdit(this);
    mLegend->setObjectName("EditLegend3D");
    mLegend->setReadOnly(true);
    layout->addWidget(mLegend);

    mMouse.setPageActive([this] { return isVisible(); });
    mScene.setChangeListener([this] { sceneChanged(); });
    mActions = std::make_unique<PopupActions>(mScene, mHost);
    buildMenu();
    sceneChanged();
    RefreshLegend();
}

View3D::~View3D() { mScene.setChangeListener({}); }

void View3D::buildMenu()
{
    mMenu = new QMenu(this);
    mMenu->setObjectName("PopupMenu1");
    const auto add = [this](const char* name, const char* text, auto slot) {
        QAction* a = mMenu->addAction(QString::fromUtf8(text));
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, [this, slot] { Guarded("3D view", [&] { slot(*mActions); }); });
        return a;
    };
    add("Effacertrajectoiresexecutes1", "Effacer trajectoires executées", [](PopupActions& p) { p.eraseExecuted(); });
    add("EffacertrajectoireSCT1", "Effacer trajectoire SCT", [](PopupActions& p) { p.eraseSct(); });
    add("Effacerlessquelettes1", "Effacer les squelettes", [](PopupActions& p) { p.eraseSkeletons(); });
    mDrawSct = add("DessinerSCT1", "Dessiner  SCT", [](PopupActions& p) { p.drawSct(); });
    mDrawSct->setVisible(false);
    mMenu->addSeparator();
    add("centeron0001", "center on (0,0,0)", [](PopupActions& p) { p.centreOrigin(); });
    mCentreCurrent = add("centeroncurrentposition1", "center on current position", [](PopupActions& p) { p.centreCurrent(); });
    mCentreAsk = add("centeronXYZ1", "center on (X,Y,Z)", [](PopupActions& p) { p.centreAsk(); });
    mMenu->addSeparator();
    mZTimes10 = add("Zx101", "Z x 10", [](PopupActions& p) { p.toggleZ(); });
    mZTimes10->setCheckable(true);
    add("ShowXY1", "Show XY", [](PopupActions& p) { p.showXY(); });
    mMenu->addSeparator();
    add("Nodesize1", "Node size", [](PopupActions& p) { p.askNodeSize(); });
    add("Arrowssize1", "Arrows size", [](PopupActions& p) { p.askArrowSize(); });
    add("Conesize1", "Cone size", [](PopupActions& p) { p.askConeSize(); });
}

void View3D::setPopupHost(PopupHost host)
{
    mHost = std::move(host);
    // The legend follows a new arrow size whatever the host does.
    auto legendChanged = mHost.LegendChanged;
    mHost.LegendChanged = [this, legendChanged] {
        RefreshLegend();
        if (legendChanged) legendChanged();
    };
    if (!mNbDigit && mHost.NbDigit) mNbDigit = mHost.NbDigit;
    mActions = std::make_unique<PopupActions>(mScene, mHost);
    RefreshLegend();
}

void View3D::setPageActive(std::function<bool()> active) { mMouse.setPageActive(std::move(active)); }

void View3D::setNbDigit(std::function<int()> digits)
{
    mNbDigit = std::move(digits);
    RefreshLegend();
}

void View3D::readSettings(const IniFile& ini)
{
    mScene.readSettings(ini);
    RefreshLegend();
}

void View3D::writeSettings(IniFile& ini) const { mScene.writeCameraSettings(ini); }

void View3D::applyBackground(long long storedBgr, IniFile* ini)
{
    mScene.setBackground(storedBgr);
    if (ini) view3d::View3DSettings::Store(*ini, &view3d::View3DSettings::Background, mScene.background());
}

void View3D::chooseBackground(IniFile* ini)
{
    const QColor chosen = QColorDialog::getColor(toQColor(mScene.background()), this);
    if (!chosen.isValid()) return;
    applyBackground(chosen.red() | (chosen.green() << 8) | (static_cast<long long>(chosen.blue()) << 16), ini);
}

bool View3D::wheelStep(int delta) { return mMouse.wheel(delta); }

QImage View3D::grabPicture()
{
    if (mGl) return mGl->grabFramebuffer();
    return mRender->grab().toImage();
}

bool View3D::drawingPending() const { return mGl && mGl->buildsPending(); }

void View3D::ClearJobDrawings()
{
    mScene.clearExecutedPath();
    mScene.clearSct();
    mScene.clearSkeletons();
}

void View3D::SetJobPath(const std::vector<PathSegment>& segments, const std::array<double, 3>& start)
{
    // A start at the never-read sentinel would put the path 8 m away: the origin then.
    mScene.setSkeleton(segments, DrawingStart(false, start));
}

std::shared_ptr<view3d::SkeletonBuilder> View3D::MakeJobSkeletonBuilder(const std::array<double, 3>& start,
                                                                        std::size_t expectedPieces) const
{
    // Most pieces are cuts; the positioning line gets room for a share of them.
    return std::make_shared<view3d::SkeletonBuilder>(DrawingStart(false, start), expectedPieces,
                                                     expectedPieces / 4 + 16);
}

void View3D::ShowJobSkeleton(std::shared_ptr<view3d::SkeletonNodes> nodes)
{
    if (nodes) mScene.setSkeleton(std::move(*nodes));
}

void View3D::AddExecutedPoint(const std::array<double, 3>& point, bool toolActive)
{
    mScene.addExecutedPoint(Vec3::from(point), toolActive);
}

void View3D::TrimExecutedPath(bool clear)
{
    if (clear) mScene.clearExecutedPath();
    else mScene.keepLastTwoExecutedPoints();
}

void View3D::DrawSct(const sct::Ttraject& list, const std::array<double, 3>& start)
{
    DrawSctList(mScene, list, DrawingStart(false, start));
}

void View3D::EraseSct() { mScene.eraseAllSctItems(); }

void View3D::ClearSct() { mScene.clearSct(); }

void View3D::SetCentreCommandsVisible(bool visible)
{
    mCentreCurrent->setVisible(visible);
    mCentreAsk->setVisible(visible);
}

void View3D::SetToolPosition(const std::array<double, 3>& point, bool visible)
{
    mScene.setToolPosition(Vec3::from(point), visible);
}

void View3D::RefreshLegend()
{
    const int digits = mNbDigit ? mNbDigit() : 4;
    mLegend->setText(QString::fromStdString(LegendText(mScene.arrowSize(), digits)));
}

void View3D::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (std::exchange(mGlWanted, false)) makeRenderer();
    RefreshLegend();
}

void View3D::makeRenderer()
{
    if (!GlAvailable()) return;
    auto* gl = new View3DGL(mScene, this);
    gl->setMouseTracking(false);
    gl->installEventFilter(this);
    QWidget* placeholder = mRender;
    layout()->replaceWidget(placeholder, gl);
    mGl = gl;
    mRender = gl;
    delete placeholder;
    gl->show();
}

void View3D::sceneChanged()
{
    if (!mGl && mRender) {
        QPalette pal = mRender->palette();
        pal.setColor(QPalette::Window, toQColor(mScene.background()));
        mRender->setPalette(pal);
    }
    if (mZTimes10) mZTimes10->setChecked(mScene.zScale() != 1.0);
    if (mRender) mRender->update();
}

bool View3D::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != mRender) return QWidget::eventFilter(watched, event);
    try {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* m = static_cast<QMouseEvent*>(event);
            const QPoint p = m->position().toPoint();
            mMouse.press(p.x(), p.y(), buttonsOf(m->buttons()), event->type() == QEvent::MouseButtonDblClick,
                         m->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        }
        case QEvent::MouseMove: {
            auto* m = static_cast<QMouseEvent*>(event);
            const QPoint p = m->position().toPoint();
            mMouse.move(p.x(), p.y(), buttonsOf(m->buttons()));
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* m = static_cast<QMouseEvent*>(event);
            if (mMouse.release(m->button() == Qt::LeftButton)) mMenu->popup(m->globalPosition().toPoint());
            return true;
        }
        case QEvent::Wheel: {
            auto* w = static_cast<QWheelEvent*>(event);
            if (mMouse.wheel(w->angleDelta().y())) return true;
            break;
        }
        default:
            break;
        }
    } catch (...) {
        // The mouse or the wheel moved nothing: the event goes on as the widget's own.
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace mvx
