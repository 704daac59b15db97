#pragma once
// Small vector and matrix helpers of the 3D scene model (doubles, no GL, no Qt).

#include <array>
#include <cmath>

namespace mvx::view3d {

struct Vec3 {
    double x = 0.0, y = 0.0, z = 0.0;

    constexpr Vec3() = default;
    constexpr Vec3(double ax, double ay, double az) : x(ax), y(ay), z(az) {}
    static constexpr Vec3 from(const std::array<double, 3>& a) { return {a[0], a[1], a[2]}; }

    constexpr Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr Vec3 operator*(double s) const { return {x * s, y * s, z * s}; }
    constexpr Vec3 operator-() const { return {-x, -y, -z}; }
    constexpr bool operator==(const Vec3&) const = default;
    double length() const { return std::sqrt(x * x + y * y + z * z); }
};

constexpr double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
constexpr Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline Vec3 normalized(const Vec3& v)
{
    const double l = v.length();
    return l > 0.0 ? v * (1.0 / l) : v;
}
// Rotation of `v` around the unit axis `axis` by `angle` radians (Rodrigues).
inline Vec3 rotated(const Vec3& v, const Vec3& axis, double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    return v * c + cross(axis, v) * s + axis * (dot(axis, v) * (1.0 - c));
}

// Column-major 4x4 matrix, as OpenGL takes it.
using Mat4 = std::array<double, 16>;

inline Mat4 lookAt(const Vec3& eye, const Vec3& center, const Vec3& up)
{
    const Vec3 f = normalized(center - eye);
    const Vec3 s = normalized(cross(f, up));
    const Vec3 u = cross(s, f);
    return {s.x, u.x, -f.x, 0.0, s.y, u.y, -f.y, 0.0, s.z, u.z, -f.z, 0.0,
            -dot(s, eye), -dot(u, eye), dot(f, eye), 1.0};
}

// a x b (column-major).
inline Mat4 multiply(const Mat4& a, const Mat4& b)
{
    Mat4 r{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k) s += a[static_cast<std::size_t>(k * 4 + row)] * b[static_cast<std::size_t>(c * 4 + k)];
            r[static_cast<std::size_t>(c * 4 + row)] = s;
        }
    return r;
}

// Perspective with the far plane at infinity.
inline Mat4 infinitePerspective(double tanHalfFovY, double aspect, double zNear)
{
    const double f = 1.0 / tanHalfFovY;
    constexpr double eps = 1e-7;
    return {f / aspect, 0.0, 0.0, 0.0, 0.0, f, 0.0, 0.0, 0.0, 0.0, eps - 1.0, -1.0,
            0.0, 0.0, (eps - 2.0) * zNear, 0.0};
}

}  // namespace mvx::view3d
