#include "sctelements.h"

#include "geomutil.h"
#include "numtext.h"

#include <cmath>

namespace mvx::sct {

void AppendSctNumber(std::string& out, double value, bool cut)
{
    const std::size_t at = out.size();
    out.push_back(' ');
    num::appendFixed(out, value, 3);
    if (cut && out.size() - at > 12) out.resize(at + 12);
}

std::string_view telement::TypeName() const noexcept
{
    switch (Kind) {
    case ElementKind::Straight: return "droite 3D";
    case ElementKind::Arc: return "arc H";
    case ElementKind::Speed: return "Vitesse";
    case ElementKind::Output: return "Commandes M";
    case ElementKind::Delay: return "Delay";
    }
    return "element";
}

double telement::Length() const noexcept
{
    switch (Kind) {
    case ElementKind::Straight: return std::sqrt(V[0] * V[0] + V[1] * V[1] + V[2] * V[2]);
    case ElementKind::Arc: return std::fabs(std::sqrt(V[0] * V[0] + V[1] * V[1]) * V[2]);
    default: return 0.0;
    }
}

void telement::AppendSCT(std::string& out) const
{
    switch (Kind) {
    case ElementKind::Straight:
    case ElementKind::Arc:
        out += Kind == ElementKind::Straight ? "DR " : "AH ";
        AppendSctNumber(out, V[0], true);
        out.push_back(' ');
        AppendSctNumber(out, V[1], true);
        out.push_back(' ');
        AppendSctNumber(out, Kind == ElementKind::Straight ? V[2] : V[2] * 180.0 / geom::kPi, true);
        return;
    case ElementKind::Speed:
        out += "VA ";
        AppendSctNumber(out, V[0], false);
        out += WorkingSpeed ? " 1" : " 0";
        return;
    case ElementKind::Output:
        out += "OM ";
        out += num::integer(M());
        return;
    case ElementKind::Delay:
        out += "TP ";
        out += num::integer(Milliseconds());
        return;
    }
}

std::string telement::WriteSCT() const
{
    std::string s;
    AppendSCT(s);
    return s;
}

telement Tdroite3D(const Vec3& d, bool working, int line)
{
    telement e;
    e.Kind = ElementKind::Straight;
    e.WorkingMove = working;
    e.Line = line;
    e.V = d;
    return e;
}

telement TarcH(double i, double j, double sweep, int line)
{
    telement e;
    e.Kind = ElementKind::Arc;
    e.WorkingMove = true;
    e.Line = line;
    e.V = {i, j, sweep};
    return e;
}

telement TVitesse(double speed, bool working, int line)
{
    telement e;
    e.Kind = ElementKind::Speed;
    e.WorkingSpeed = working;
    e.Line = line;
    e.V[0] = speed;
    return e;
}

telement TOutput(int m, int line)
{
    telement e;
    e.Kind = ElementKind::Output;
    e.Line = line;
    e.V[0] = m;
    return e;
}

telement Ttempo(long long milliseconds, int line)
{
    telement e;
    e.Kind = ElementKind::Delay;
    e.Line = line;
    e.V[0] = static_cast<double>(milliseconds);  // exact: a dwell holds at most 31 bits
    return e;
}

ArcAngles ArcAnglesOf(const telement& arc) noexcept
{
    ArcAngles a;
    a.Radius = std::sqrt(arc.V[0] * arc.V[0] + arc.V[1] * arc.V[1]);
    a.A0 = std::atan2(-arc.V[1], -arc.V[0]);
    a.A1 = a.A0 + arc.V[2];
    return a;
}

Directions DirectionsOf(const telement& e) noexcept
{
    Directions d;
    if (e.Kind == ElementKind::Straight) {
        const double dx = e.V[0], dy = e.V[1], dz = e.V[2];
        d.StartXY = (dx == 0.0 && dy == 0.0) ? 0.0 : geom::WrapAngle(std::atan2(dy, dx));
        d.StartZ = geom::WrapAngle(std::atan2(dz, std::sqrt(dx * dx + dy * dy)));
        d.EndXY = d.StartXY;
        d.EndZ = d.StartZ;
    } else if (e.Kind == ElementKind::Arc) {
        // Tangents at both ends; an arc stays in its plane.
        const ArcAngles a = ArcAnglesOf(e);
        const double quarter = e.V[2] >= 0.0 ? geom::kPi / 2.0 : -geom::kPi / 2.0;
        d.StartXY = geom::WrapAngle(a.A0 + quarter);
        d.EndXY = geom::WrapAngle(a.A1 + quarter);
    }
    return d;
}

Vec3 EndOf(const telement& e, const Vec3& start) noexcept
{
    if (e.Kind == ElementKind::Straight) return {start[0] + e.V[0], start[1] + e.V[1], start[2] + e.V[2]};
    if (e.Kind == ElementKind::Arc) {
        const ArcAngles a = ArcAnglesOf(e);
        return {start[0] + e.V[0] + a.Radius * std::cos(a.A1), start[1] + e.V[1] + a.Radius * std::sin(a.A1), start[2]};
    }
    return start;
}

}  // namespace mvx::sct
