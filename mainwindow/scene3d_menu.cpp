#include "scene3d_menu.h"

#include "scene3d.h"

#include "app/dialogs.h"
#include "core/inifile.h"
#include "view3dsettings.h"
#include "translator/numtext.h"
#include "translator/texts.h"

namespace mvx::view3d {

namespace {
constexpr texts::Builtin kViewTexts[] = {
    {"StringAxesColors", "X:Red Y:Blue Z:Green   Size="},
    {"stringnode", "Node"},
    {"stringarrows", "Arrows"},
    {"stringtargetcone", "target cone"},
    {"Stringeffacementinuse", "Erasing in progress"},
};
}  // namespace

void RegisterView3DTexts()
{
    static const bool done = [] {
        texts::add(texts::Family::Translator, kViewTexts);
        return true;
    }();
    (void)done;
}

PopupActions::PopupActions(Scene3D& scene, PopupHost host) : mScene(scene), mHost(std::move(host))
{
    RegisterView3DTexts();
}

void PopupActions::status(const std::string& text)
{
    if (mHost.StatusText) mHost.StatusText(text);
}

IniFile* PopupActions::settings() const { return mHost.Settings ? mHost.Settings() : nullptr; }

void PopupActions::eraseExecuted()
{
    status(texts::get("Stringeffacementinuse"));
    mScene.clearExecutedPath();
    status("");
}

void PopupActions::eraseSct()
{
    if (mHost.EraseSct) {
        mHost.EraseSct();
        return;
    }
    status(texts::get("Stringeffacementinuse"));
    mScene.eraseAllSctItems();
    status("");
}

void PopupActions::eraseSkeletons()
{
    status(texts::get("Stringeffacementinuse"));
    mScene.clearSkeletons();
    status("");
}

void PopupActions::drawSct()
{
    if (mHost.DrawSct) mHost.DrawSct();
}

void PopupActions::centreOrigin()
{
    mScene.changeCamera([](Camera& c) {
        const Vec3 offset = c.Position - c.Target;
        c.Target = {};
        c.Position = offset;
    });
}

bool PopupActions::centreCurrent()
{
    const std::optional<Vec3> p = mHost.CurrentPosition ? mHost.CurrentPosition() : std::nullopt;
    if (!p) return false;
    mScene.changeCamera([&p](Camera& c) {
        const Vec3 offset = c.Position - c.Target;
        c.Target = *p;
        c.Position = *p + offset;
    });
    return true;
}

bool PopupActions::centreOn(const std::array<std::string, 3>& xyz)
{
    std::array<double, 3> v{};
    for (int i = 0; i < 3; ++i) {
        const std::optional<double> d = num::parseStrict(xyz[i]);
        if (!d) return false;
        v[i] = *d;
    }
    mScene.changeCamera([&v](Camera& c) {
        const Vec3 offset = c.Position - c.Target;
        c.Target = Vec3::from(v);
        c.Position = c.Target + offset;
    });
    return true;
}

bool PopupActions::centreAsk()
{
    if (!mHost.AskCentre) return false;
    const auto answer = mHost.AskCentre();
    return answer && centreOn(*answer);
}

void PopupActions::toggleZ() { mScene.toggleZTimes10(); }

void PopupActions::showXY()
{
    mScene.changeCamera([](Camera& c) { c.showXY(); });
}

double PopupActions::NodeSizeFromAnswer(const std::string& answer, bool* isNumber)
{
    const std::optional<double> v = num::parseStrict(answer);
    if (isNumber) *isNumber = v.has_value();
    return v ? *v : 0.02;
}

void PopupActions::askNodeSize()
{
    std::string value = num::fixed(mScene.nodeSize(), 3);
    if (!InputQueryDialog(texts::get("stringnode"), "size (mm)", value)) return;
    bool isNumber = false;
    const double size = NodeSizeFromAnswer(value, &isNumber);
    if (isNumber)
        if (IniFile* ini = settings()) View3DSettings::Store(*ini, &View3DSettings::NodeSize, size);
    mScene.setNodeSize(size);
    if (mHost.RedrawSct) mHost.RedrawSct();
}

void PopupActions::askArrowSize()
{
    std::string value = num::fixed(mScene.arrowSize(), 6);
    if (!InputQueryDialog(texts::get("stringarrows"), "size ?", value)) return;
    const std::optional<double> v = num::parseStrict(value);
    if (!v) return;
    if (IniFile* ini = settings()) View3DSettings::Store(*ini, &View3DSettings::ArrowsSize, *v);
    mScene.setArrowSize(*v);
    if (mHost.LegendChanged) mHost.LegendChanged();
}

void PopupActions::askConeSize()
{
    std::string value = num::fixed(mScene.coneSize(), 3);
    if (!InputQueryDialog(texts::get("stringtargetcone"), "size : ", value)) return;
    const std::optional<double> v = num::parseStrict(value);
    if (!v) return;
    if (IniFile* ini = settings()) View3DSettings::Store(*ini, &View3DSettings::ConeSize, *v);
    mScene.setConeSize(*v);
}

}  // namespace mvx::view3d
