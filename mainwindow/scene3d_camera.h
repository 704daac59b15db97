#pragma once
// The camera of the 3D view: a position turning around a target, with the design focal length
// and scene scale. Plain geometry, so the mouse rules are checked without a GL context.

#include "scene3d_math.h"

namespace mvx::view3d {

class Camera {
public:
    static constexpr double kFocalLength = 330.254;
    static constexpr double kDesignSceneScale = 3.0;
    static constexpr double kDepthOfView = 10000.0;
    // Half height of the picture in focal-length units: a zoom to fit leaves the span about
    // two thirds of the view's height.
    static constexpr double kFilmHalfHeight = 16.4;

    Vec3 Position{2000.0, -3000.0, 2500.0};
    Vec3 Target{};        // the target's position: the centre of turning
    Vec3 Up{0.0, 0.0, 1.0};
    double FocalLength = kFocalLength;
    double SceneScale = kDesignSceneScale;

    double distanceToTarget() const { return (Position - Target).length(); }
    // Moves the camera along its line of sight so that its distance to the target is
    // multiplied by `factor` (> 0).
    void adjustDistanceToTarget(double factor);
    // Wheel: the distance times 1.1 per notch of 120.
    void wheel(int delta);
    // Turns around the target: `pitchDegrees` about the camera's right axis, `turnDegrees`
    // about its up axis.
    void moveAroundTarget(double pitchDegrees, double turnDegrees);
    // Pan by a screen delta (pixels, previous minus current): target and camera move together
    // by (right * dx - up * dy) * distance * 0.12 / (focal length * scene scale).
    void pan(double dx, double dy);
    // Zoom to fit a drawing whose largest extent is `span`: the distance becomes
    // span * scene scale * 5000 / focal length. False (nothing changes) when span <= 0.
    bool zoomToFit(double span);
    // Up (0, 1, 0), camera on the Z axis at its current distance from the origin.
    void showXY();

    Vec3 forward() const { return normalized(Target - Position); }
    // The screen's right; when Up lies along the line of sight (a camera restored straight
    // above its target), Y then X stand in for it, so the view never degenerates.
    Vec3 right() const;
    // Up made orthogonal to the line of sight.
    Vec3 screenUp() const { return cross(right(), forward()); }

    double tanHalfFovY() const { return kFilmHalfHeight / (FocalLength * SceneScale); }
    Mat4 viewMatrix() const { return lookAt(Position, Target, screenUp()); }
    Mat4 projectionMatrix(double aspect) const;
    double nearPlane() const;
};

}  // namespace mvx::view3d
