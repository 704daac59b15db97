#include "sctelements.h"

#include "geomutil.h"
#include "numtext.h"
#include "scttraject.h"

#include <cmath>

namespace mvx::sct {

std::string SctNumber(double value, bool cut)
{
    std::string s;
    AppendSctNumber(s, value, cut);
    return s;
}

void AppendSctNumber(std::string& out, double value, bool cut)
{
    const std::size_t at = out.size();
    out.push_back(' ');
    num::appendFixed(out, value, 3);
    if (cut && out.size() - at > 12) out.resize(at + 12);
}

std::string telement::WriteSCT() const
{
    std::string s;
    AppendSCT(s);
    return s;
}

void telemcourt::UpdatePosition(const Vec3& start)
{
    Start = start;
    End = start;
    EndXY = StartXY;
    EndZ = StartZ;
}

// ---------------------------------------------------------------------------------------------

double Tdroite3D::Length() const noexcept { return std::sqrt(DX * DX + DY * DY + DZ * DZ); }

void Tdroite3D::UpdatePosition(const Vec3& start)
{
    Start = start;
    End = {start[0] + DX, start[1] + DY, start[2] + DZ};
    StartXY = (DX == 0.0 && DY == 0.0) ? 0.0 : geom::WrapAngle(std::atan2(DY, DX));
    StartZ = geom::WrapAngle(std::atan2(DZ, std::sqrt(DX * DX + DY * DY)));
    EndXY = StartXY;
    EndZ = StartZ;
}

void Tdroite3D::AppendSCT(std::string& out) const
{
    out += "DR ";
    AppendSctNumber(out, DX, true);
    out.push_back(' ');
    AppendSctNumber(out, DY, true);
    out.push_back(' ');
    AppendSctNumber(out, DZ, true);
}

void Tdroite3D::WriteTCL(SctGenerator& gen, const Ttraject& list, std::size_t index) const
{
    gen.WriteStraight(list, index, *this);
}

// ---------------------------------------------------------------------------------------------

double TarcH::Length() const noexcept { return std::fabs(std::sqrt(I * I + J * J) * Sweep); }

void TarcH::UpdatePosition(const Vec3& start)
{
    Start = start;
    Radius = std::sqrt(I * I + J * J);
    A0 = std::atan2(-J, -I);
    A1 = A0 + Sweep;
    End = {start[0] + I + Radius * std::cos(A1), start[1] + J + Radius * std::sin(A1), start[2]};
    const double quarter = Sweep >= 0.0 ? geom::kPi / 2.0 : -geom::kPi / 2.0;
    StartXY = geom::WrapAngle(A0 + quarter);
    EndXY = geom::WrapAngle(A1 + quarter);
    StartZ = 0.0;
    EndZ = geom::WrapAngle(std::cos(Sweep) * StartZ);
}

void TarcH::AppendSCT(std::string& out) const
{
    out += "AH ";
    AppendSctNumber(out, I, true);
    out.push_back(' ');
    AppendSctNumber(out, J, true);
    out.push_back(' ');
    AppendSctNumber(out, Sweep * 180.0 / geom::kPi, true);
}

void TarcH::WriteTCL(SctGenerator& gen, const Ttraject& list, std::size_t index) const
{
    gen.WriteArc(list, index, *this);
}

// ---------------------------------------------------------------------------------------------

void TVitesse::AppendSCT(std::string& out) const
{
    out += "VA ";
    AppendSctNumber(out, Speed, false);
    out += WorkingSpeed ? " 1" : " 0";
}

void TVitesse::WriteTCL(SctGenerator& gen, const Ttraject&, std::size_t) const
{
    gen.ZeroLengthStep(*this);
    gen.WriteSpeed(*this);
}

void TOutput::AppendSCT(std::string& out) const { out += "OM " + num::integer(M); }

void TOutput::WriteTCL(SctGenerator& gen, const Ttraject&, std::size_t) const
{
    gen.ZeroLengthStep(*this);
    gen.WriteOutput(*this);
}

void Ttempo::AppendSCT(std::string& out) const { out += "TP " + num::integer(Milliseconds); }

void Ttempo::WriteTCL(SctGenerator& gen, const Ttraject&, std::size_t) const
{
    gen.ZeroLengthStep(*this);
    gen.WriteDelay(*this);
}

}  // namespace mvx::sct
