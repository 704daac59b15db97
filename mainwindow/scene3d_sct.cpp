#include "scene3d_sct.h"

#include "translator/geomutil.h"
#include "translator/scttraject.h"

#include <algorithm>
#include <cmath>

namespace mvx::view3d {

void SctElementPath(const sct::telement& e, const Vec3& start, const Vec3& end, std::vector<Vec3>& path)
{
    path.clear();
    if (!e.IsMotion()) {
        path.push_back(start);
        return;
    }
    if (e.Kind != sct::ElementKind::Arc) {
        path.push_back(start);
        path.push_back(end);
        return;
    }
    const sct::ArcAngles a = sct::ArcAnglesOf(e);
    const double degrees = std::min(std::fabs(e.V[2] * 180.0 / geom::kPi), 1e6);
    const int n = std::isfinite(degrees) ? std::max(4, static_cast<int>(std::lround(degrees / 2.0))) : 4;
    const Vec3 centre{start.x + e.V[0], start.y + e.V[1], start.z};
    for (int k = 0; k < n; ++k) {
        const double angle = a.A0 + (a.A1 - a.A0) * k / (n - 1);
        path.push_back({centre.x + a.Radius * std::cos(angle), centre.y + a.Radius * std::sin(angle), start.z});
    }
}

void DrawSctList(Scene3D& scene, const sct::Ttraject& list, const Vec3& start)
{
    const Scene3D::Hold hold(scene);
    const auto count = static_cast<std::size_t>(list.Count());
    if (scene.sctItems().size() != count) {
        scene.clearSct();
        for (std::size_t i = 0; i < count; ++i) scene.addSctItem();
    }
    if (count == 0) return;
    // The list chains from the origin; each element starts where the one before it ended.
    sct::Vec3 from{0.0, 0.0, 0.0};
    std::vector<Vec3> path;
    for (std::size_t i = 0; i < count; ++i) {
        const sct::telement& e = list.At(i);
        const sct::Vec3 to = sct::EndOf(e, from);
        SctElementPath(e, Vec3::from(from) + start, Vec3::from(to) + start, path);
        scene.drawSctItem(static_cast<int>(i), path, static_cast<long long>(i) == list.CurrentIndex());
        from = to;
    }
}

}  // namespace mvx::view3d
