#include "scene3d_sct.h"

#include "translator/geomutil.h"
#include "translator/scttraject.h"

#include <algorithm>
#include <cmath>

namespace mvx::view3d {

void SctElementPath(const sct::Ttraject& list, std::size_t index, const Vec3& shift, std::vector<Vec3>& path)
{
    path.clear();
    const sct::telement& e = list.At(index);
    const Vec3 start = Vec3::from(e.Start) + shift;
    if (!e.IsMotion()) {
        path.push_back(start);
        return;
    }
    if (e.Kind() != sct::ElementKind::Arc) {
        path.push_back(start);
        path.push_back(Vec3::from(e.End) + shift);
        return;
    }
    const auto& a = static_cast<const sct::TarcH&>(e);
    const double degrees = std::min(std::fabs(a.Sweep * 180.0 / geom::kPi), 1e6);
    const int n = std::max(4, static_cast<int>(std::lround(degrees / 2.0)));
    const Vec3 centre{start.x + a.I, start.y + a.J, start.z};
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
    const Vec3 shift = start - Vec3::from(list.At(0).Start);
    std::vector<Vec3> path;
    for (std::size_t i = 0; i < count; ++i) {
        SctElementPath(list, i, shift, path);
        scene.drawSctItem(static_cast<int>(i), path, static_cast<long long>(i) == list.CurrentIndex());
    }
}

}  // namespace mvx::view3d
