#pragma once
// Amplitude spectrum of equally spaced samples by a direct discrete Fourier transform, and the
// chart helper that fills a spectrum series from a time series.
//
// GUI thread for PlotSpectrum (it lets events run every 50 bins); the pure functions are
// reentrant.

#include <functional>
#include <span>
#include <vector>

class QLineSeries;

namespace mvx::maint {

struct Complex {
    double re = 0.0;
    double im = 0.0;
};

Complex ComplexMake(double re, double im) noexcept;
double ComplexAbs(Complex z) noexcept;
Complex ComplexAdd(Complex a, Complex b) noexcept;
Complex ComplexMul(Complex a, Complex b) noexcept;
Complex ComplexExp(Complex z) noexcept;

// No frequency above this is computed when the sampling step would allow more.
inline constexpr double SpectrumMaxFrequency = 5000.0;
// Samples transformed at most; a longer series is cut to its first samples.
inline constexpr int kSpectrumMaxSamples = 32000;
// Fewer samples than this give no spectrum.
inline constexpr int kSpectrumMinSamples = 10;

// Coefficient m (1-based; m = 1 is the mean term) of the transform of the first `sampleCount`
// samples.
Complex DftBin(std::span<const Complex> samples, int m, int sampleCount);

struct SpectrumPoint {
    double frequency = 0.0;  // Hz
    double magnitude = 0.0;
};

// Called after every 50th bin; returning false abandons the transform (the bins so far stay).
using SpectrumProgress = std::function<bool(const std::vector<SpectrumPoint>& done)>;

// Spectrum of the samples (x, y): the mean is removed, an odd last sample is left out, the step
// is |x[1] - x[0]|. Empty when there are fewer than 10 samples or the step is zero or not a
// number. `transformLength` (optional) receives the even number of samples transformed.
std::vector<SpectrumPoint> AmplitudeSpectrum(std::span<const double> x, std::span<const double> y,
                                             const SpectrumProgress& progress = {},
                                             int* transformLength = nullptr);

// Clears `target`, gives its points the line colour of `source` and fills it with the spectrum
// of `source`. `redraw` runs after every 50th bin, followed by the pending events. Returns the
// number of samples transformed (0 when none).
int PlotSpectrum(const QLineSeries& source, QLineSeries& target, const std::function<void()>& redraw = {});

}  // namespace mvx::maint
