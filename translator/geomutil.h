#pragma once
// Angle helpers shared by the translator's geometry. Every one terminates for any input:
// NaN passes through, infinities give NaN, huge values wrap with fmod in one step.

namespace mvx::geom {

inline constexpr double kPi = 3.14159265358979323846;

// Into [-pi, pi]: a value above pi lands in (-pi, pi], one below -pi in [-pi, pi).
double WrapAngle(double angle) noexcept;
// As WrapAngle, but a magnitude beyond 10,000,000 is returned unchanged.
double WrapAngleBounded(double angle) noexcept;
// asin that saturates just inside +-1 instead of failing.
double SafeArcSin(double x) noexcept;
// Direction of (x, y): atan(y/x), +pi for x < 0, +-pi/2 or 0 on the y axis; wrapped.
double AngleOfVector(double x, double y) noexcept;
// atan2(y, x) with the same rule on the y axis; wrapped with WrapAngleBounded.
double AngleOfVector2(double y, double x) noexcept;
inline double Cube(double x) noexcept { return x * x * x; }

}  // namespace mvx::geom
