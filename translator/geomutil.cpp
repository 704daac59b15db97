#include "geomutil.h"

#include <cmath>

namespace mvx::geom {

double WrapAngle(double angle) noexcept
{
    if (std::isnan(angle)) return angle;
    if (std::isinf(angle)) return std::nan("");
    constexpr double kTwoPi = 2.0 * kPi;
    if (angle > kPi) {
        const double d = std::fmod(angle - kPi, kTwoPi);  // [0, 2pi)
        return d == 0.0 ? kPi : d - kPi;
    }
    if (angle < -kPi) {
        const double d = std::fmod(angle + kPi, kTwoPi);  // (-2pi, 0]
        return d == 0.0 ? -kPi : d + kPi;
    }
    return angle;
}

double WrapAngleBounded(double angle) noexcept
{
    if (std::fabs(angle) > 10000000.0) return angle;
    return WrapAngle(angle);
}

double SafeArcSin(double x) noexcept
{
    if (std::isnan(x)) return x;
    if (x > 0.99999999) return kPi / 2.0;
    if (x < -0.999999999) return -kPi / 2.0;
    return std::atan(x / std::sqrt(1.0 - x * x));
}

double AngleOfVector(double x, double y) noexcept
{
    double a;
    if (x != 0.0) {
        a = std::atan(y / x);
    } else {
        a = y < 0.0 ? -kPi / 2.0 : (y > 0.0 ? kPi / 2.0 : 0.0);
    }
    if (x < 0.0) a += kPi;
    return WrapAngle(a);
}

double AngleOfVector2(double y, double x) noexcept
{
    double a;
    if (x != 0.0) {
        a = std::atan2(y, x);
    } else {
        a = y > 0.0 ? kPi / 2.0 : (y < 0.0 ? -kPi / 2.0 : 0.0);
    }
    return WrapAngleBounded(a);
}

}  // namespace mvx::geom
