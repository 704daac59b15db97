#pragma once
// Elements of the SCT list: motion elements (straight moves "droite 3D", horizontal arcs
// "arc H") and zero-length elements (speed changes "Vitesse", M-code outputs "Commandes M",
// dwells "Delay").
//
// An element is one small record of its family: the figures it was built from, its G-code line
// and its flags. Where it starts, where it ends and which way it travels follow from the
// elements before it and its own figures; the passes that need them compute them as they walk
// the list (a million-line program holds a million elements). Elements are never changed by a
// generation pass, so generating twice gives the same files.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace mvx::sct {

using Vec3 = std::array<double, 3>;

enum class ElementKind : std::uint8_t { Straight, Arc, Speed, Output, Delay };

struct telement {
    ElementKind Kind = ElementKind::Speed;
    bool WorkingMove = false;   // G1, G2, G3 or a bare coordinate line; 0 for G0, G28
    bool WorkingSpeed = false;  // speed elements only: 1 working feed, 0 positioning speed
    int Line = -1;              // G-code line it came from (0-based)
    // Straight: dX dY dZ. Arc: centre offset I J from the start point, sweep in radians
    // (negative clockwise). Speed: the speed. Output: the M number. Delay: milliseconds.
    std::array<double, 3> V{};

    bool IsMotion() const noexcept { return Kind == ElementKind::Straight || Kind == ElementKind::Arc; }
    std::string_view TypeName() const noexcept;
    // Path length (0 for zero-length elements).
    double Length() const noexcept;
    // One SCT text line appended to `out`, without line end.
    void AppendSCT(std::string& out) const;
    std::string WriteSCT() const;

    double Speed() const noexcept { return V[0]; }
    int M() const noexcept { return static_cast<int>(V[0]); }
    long long Milliseconds() const noexcept { return static_cast<long long>(V[0]); }
};

// The families' constructors.
telement Tdroite3D(const Vec3& displacement, bool working, int line);
telement TarcH(double i, double j, double sweep, int line);
telement TVitesse(double speed, bool working, int line);
telement TOutput(int m, int line);
telement Ttempo(long long milliseconds, int line);

// Directions of travel at both ends (radians, wrapped into [-pi, pi]): in the XY plane and in
// Z slope. Zero for zero-length elements and for a straight move with no XY displacement.
struct Directions {
    double StartXY = 0.0, EndXY = 0.0;
    double StartZ = 0.0, EndZ = 0.0;
};
Directions DirectionsOf(const telement& e) noexcept;

// Where an element that starts at `start` ends.
Vec3 EndOf(const telement& e, const Vec3& start) noexcept;

// Radius angles of an arc: at its start (the start point seen from the centre) and its end.
struct ArcAngles {
    double Radius = 0.0, A0 = 0.0, A1 = 0.0;
};
ArcAngles ArcAnglesOf(const telement& arc) noexcept;

// " " + value with 3 decimals: the SCT number field. `cut` keeps the first 12 characters.
void AppendSctNumber(std::string& out, double value, bool cut);

}  // namespace mvx::sct
