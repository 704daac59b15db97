#include "fourier.h"

#include <QCoreApplication>
#include <QLineSeries>
#include <QPen>
#include <QPointer>

#include <cmath>
#include <numbers>

namespace mvx::maint {

Complex ComplexMake(double re, double im) noexcept { return {re, im}; }
double ComplexAbs(Complex z) noexcept { return std::sqrt(z.re * z.re + z.im * z.im); }
Complex ComplexAdd(Complex a, Complex b) noexcept { return {a.re + b.re, a.im + b.im}; }
Complex ComplexMul(Complex a, Complex b) noexcept
{
    return {a.re * b.re - a.im * b.im, b.re * a.im + a.re * b.im};
}
Complex ComplexExp(Complex z) noexcept
{
    const double e = std::exp(z.re);
    return {e * std::cos(z.im), e * std::sin(z.im)};
}

Complex DftBin(std::span<const Complex> samples, int m, int sampleCount)
{
    Complex sum = ComplexMake(0.0, 0.0);
    if (sampleCount <= 0) return sum;
    const int n = std::min<int>(sampleCount, static_cast<int>(samples.size()));
    const double w = -2.0 * std::numbers::pi * static_cast<double>(m - 1) / static_cast<double>(sampleCount);
    for (int k = 0; k < n; ++k)
        sum = ComplexAdd(sum, ComplexMul(samples[k], ComplexExp(ComplexMake(0.0, w * k))));
    return sum;
}

std::vector<SpectrumPoint> AmplitudeSpectrum(std::span<const double> x, std::span<const double> y,
                                             const SpectrumProgress& progress, int* transformLength)
{
    std::vector<SpectrumPoint> out;
    if (transformLength) *transformLength = 0;
    std::size_t n = std::min(x.size(), y.size());
    if (n < static_cast<std::size_t>(kSpectrumMinSamples)) return out;
    if (n > static_cast<std::size_t>(kSpectrumMaxSamples)) n = kSpectrumMaxSamples;

    const double dt = std::fabs(x[1] - x[0]);
    // Equal first abscissae would put every bin at an infinite frequency.
    if (!(dt > 0.0) || !std::isfinite(dt)) return out;

    double mean = 0.0;
    for (std::size_t k = 0; k < n; ++k) mean += y[k];
    mean /= static_cast<double>(n);

    const int half = static_cast<int>(n / 2);
    const int count = 2 * half;
    std::vector<Complex> samples(count);
    for (int k = 0; k < count; ++k) samples[k] = ComplexMake(y[k] - mean, 0.0);

    int bins = half;
    if (1.0 / (2.0 * dt) > SpectrumMaxFrequency)
        bins = static_cast<int>(std::nearbyint(2.0 * dt * SpectrumMaxFrequency * half));  // half to even
    if (bins < 1) return out;
    if (bins > half) bins = half;
    if (transformLength) *transformLength = count;

    out.reserve(bins);
    for (int m = 1; m <= bins; ++m) {
        double magnitude = ComplexAbs(DftBin(samples, m, count)) / half;
        if (!std::isfinite(magnitude)) magnitude = 0.0;  // a sample that is not a number
        out.push_back({(m - 1) / (count * dt), magnitude});
        if (progress && m % 50 == 0 && !progress(out)) break;
    }
    return out;
}

int PlotSpectrum(const QLineSeries& source, QLineSeries& target, const std::function<void()>& redraw)
{
    target.clear();
    target.setColor(source.color());
    // A copy: events run during the transform and may change the source.
    const QList<QPointF> points = source.points();
    std::vector<double> xs(points.size()), ys(points.size());
    for (qsizetype i = 0; i < points.size(); ++i) {
        xs[i] = points[i].x();
        ys[i] = points[i].y();
    }
    QPointer<QLineSeries> guard(&target);
    std::size_t shown = 0;
    auto flush = [&](const std::vector<SpectrumPoint>& done) {
        if (!guard) return false;
        QList<QPointF> chunk;
        for (; shown < done.size(); ++shown) chunk.append(QPointF(done[shown].frequency, done[shown].magnitude));
        target.append(chunk);
        return true;
    };
    int length = 0;
    const std::vector<SpectrumPoint> all = AmplitudeSpectrum(
        xs, ys,
        [&](const std::vector<SpectrumPoint>& done) {
            if (!flush(done)) return false;
            if (redraw) redraw();
            QCoreApplication::processEvents();
            return bool(guard);
        },
        &length);
    if (guard) flush(all);
    return length;
}

}  // namespace mvx::maint
