#pragma once
// Elements of the SCT list: motion elements (straight moves, horizontal arcs) and zero-length
// elements (speed changes, M-code outputs, dwells). Each knows its geometry, its SCT text line
// and which writer of the generation pass it goes to. Elements are never changed by a
// generation pass, so generating twice gives the same files.

#include <array>
#include <string>
#include <string_view>

namespace mvx::sct {

using Vec3 = std::array<double, 3>;

class Ttraject;
class SctGenerator;

enum class ElementKind { Straight, Arc, Speed, Output, Delay };

class telement {
public:
    virtual ~telement() = default;

    virtual ElementKind Kind() const noexcept = 0;
    virtual std::string_view TypeName() const noexcept = 0;
    virtual bool IsMotion() const noexcept { return false; }
    // Path length (0 for zero-length elements).
    virtual double Length() const noexcept { return 0.0; }

    // Takes its start from the previous element's end and computes its end and directions.
    virtual void UpdatePosition(const Vec3& start) = 0;
    // One SCT text line, without line end.
    std::string WriteSCT() const;
    // The same line appended to `out`.
    virtual void AppendSCT(std::string& out) const = 0;
    // Its part of the generation pass; `index` is its place in the list.
    virtual void WriteTCL(SctGenerator& gen, const Ttraject& list, std::size_t index) const = 0;

    Vec3 Start{};
    Vec3 End{};
    bool WorkingMove = false;   // G1, G2, G3 or a bare coordinate line; 0 for G0, G28
    bool WorkingSpeed = false;  // speed elements only: 1 working feed, 0 positioning speed
    double StartXY = 0.0, EndXY = 0.0;  // direction of travel in the XY plane, radians
    double StartZ = 0.0, EndZ = 0.0;    // slope of travel in Z, radians
    int Line = -1;                      // G-code line it came from (0-based)
};

class telemlong : public telement {
public:
    bool IsMotion() const noexcept override { return true; }
};

class telemcourt : public telement {
public:
    void UpdatePosition(const Vec3& start) override;
};

class Tdroite3D final : public telemlong {
public:
    ElementKind Kind() const noexcept override { return ElementKind::Straight; }
    std::string_view TypeName() const noexcept override { return "droite 3D"; }
    double Length() const noexcept override;
    void UpdatePosition(const Vec3& start) override;
    void AppendSCT(std::string& out) const override;
    void WriteTCL(SctGenerator& gen, const Ttraject& list, std::size_t index) const override;

    double DX = 0.0, DY = 0.0, DZ = 0.0;
};

// Arc in the XY plane: centre at (I, J) from the start point, Sweep radians (negative clockwise).
class TarcH final : public telemlong {
public:
    ElementKind Kind() const noexcept override { return ElementKind::Arc; }
    std::string_view TypeName() const noexcept override { return "arc H"; }
    double Length() const noexcept override;
    void UpdatePosition(const Vec3& start) override;
    void AppendSCT(std::string& out) const override;
    void WriteTCL(SctGenerator& gen, const Ttraject& list, std::size_t index) const override;

    double I = 0.0, J = 0.0, Sweep = 0.0;
    double A0 = 0.0, A1 = 0.0, Radius = 0.0;  // computed: radius angles at both ends
};

class TVitesse final : public telemcourt {
public:
    ElementKind Kind() const noexcept override { return ElementKind::Speed; }
    std::string_view TypeName() const noexcept override { return "Vitesse"; }
    void AppendSCT(std::string& out) const override;
    void WriteTCL(SctGenerator& gen, const Ttraject& list, std::size_t index) const override;

    double Speed = 1.0;
};

class TOutput final : public telemcourt {
public:
    ElementKind Kind() const noexcept override { return ElementKind::Output; }
    std::string_view TypeName() const noexcept override { return "Commandes M"; }
    void AppendSCT(std::string& out) const override;
    void WriteTCL(SctGenerator& gen, const Ttraject& list, std::size_t index) const override;

    int M = 0;
};

class Ttempo final : public telemcourt {
public:
    ElementKind Kind() const noexcept override { return ElementKind::Delay; }
    std::string_view TypeName() const noexcept override { return "Delay"; }
    void AppendSCT(std::string& out) const override;
    void WriteTCL(SctGenerator& gen, const Ttraject& list, std::size_t index) const override;

    long long Milliseconds = 0;
};

// " " + value with 3 decimals: the SCT number field. `cut` keeps the first 12 characters.
std::string SctNumber(double value, bool cut);
void AppendSctNumber(std::string& out, double value, bool cut);

}  // namespace mvx::sct
