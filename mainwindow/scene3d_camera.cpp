#include "scene3d_camera.h"

#include <algorithm>
#include <cmath>

namespace mvx::view3d {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

Vec3 Camera::right() const
{
    const Vec3 f = forward();
    for (const Vec3& up : {Up, Vec3{0, 1, 0}, Vec3{1, 0, 0}}) {
        const Vec3 r = cross(f, normalized(up));
        if (r.length() > 1e-9) return normalized(r);
    }
    return {1, 0, 0};
}

void Camera::adjustDistanceToTarget(double factor)
{
    if (!(factor > 0.0) || !std::isfinite(factor)) return;
    Position = Target + (Position - Target) * factor;
}

void Camera::wheel(int delta) { adjustDistanceToTarget(std::pow(1.1, delta / 120.0)); }

void Camera::moveAroundTarget(double pitchDegrees, double turnDegrees)
{
    Vec3 offset = Position - Target;
    if (offset.length() == 0.0) return;
    // Keep an up vector that is not along the line of sight.
    Vec3 up = screenUp();
    if (up.length() == 0.0) return;
    if (turnDegrees != 0.0) offset = rotated(offset, normalized(up), turnDegrees * kPi / 180.0);
    if (pitchDegrees != 0.0) {
        const Vec3 axis = normalized(cross(up, offset));
        offset = rotated(offset, axis, pitchDegrees * kPi / 180.0);
        up = rotated(up, axis, pitchDegrees * kPi / 180.0);
    }
    Position = Target + offset;
    Up = normalized(up);
}

void Camera::pan(double dx, double dy)
{
    const double ratio = distanceToTarget() * 0.12 / (FocalLength * SceneScale);
    const Vec3 v = (right() * dx + screenUp() * (-dy)) * ratio;
    Target = Target + v;
    Position = Position + v;
}

bool Camera::zoomToFit(double span)
{
    const double d = distanceToTarget();
    if (!(span > 0.0) || d <= 0.0) return false;
    adjustDistanceToTarget(span * SceneScale * 5000.0 / (FocalLength * d));
    return true;
}

void Camera::showXY()
{
    Up = {0.0, 1.0, 0.0};
    Position = {0.0, 0.0, Position.length()};
}

double Camera::nearPlane() const { return std::max(distanceToTarget() * 1e-3, 1e-3); }

Mat4 Camera::projectionMatrix(double aspect) const
{
    return infinitePerspective(tanHalfFovY(), aspect > 0.0 ? aspect : 1.0, nearPlane());
}

}  // namespace mvx::view3d
