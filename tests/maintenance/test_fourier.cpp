// Amplitude spectrum: bins, frequencies and magnitudes of known signals.
#include "maintenance/fourier.h"

#include <QLineSeries>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace mvx::maint;

namespace {

struct Signal {
    std::vector<double> x, y;
};

Signal sine(int n, double dt, double frequency, double amplitude, double mean = 0.0)
{
    Signal s;
    for (int k = 0; k < n; ++k) {
        s.x.push_back(k * dt);
        s.y.push_back(mean + amplitude * std::sin(2.0 * std::numbers::pi * frequency * k * dt));
    }
    return s;
}

struct BinCase {
    const char* name;
    int n;
    double dt;
    std::size_t bins;
    double lastFrequency;
};

class SpectrumBins : public ::testing::TestWithParam<BinCase> {};

TEST_P(SpectrumBins, CountAndFrequencies)
{
    const BinCase c = GetParam();
    const Signal s = sine(c.n, c.dt, 0.0, 0.0, 3.0);
    int length = -1;
    const auto spectrum = AmplitudeSpectrum(s.x, s.y, {}, &length);
    ASSERT_EQ(spectrum.size(), c.bins);
    if (c.bins == 0) {
        EXPECT_EQ(length, 0);
        return;
    }
    EXPECT_EQ(length, 2 * (c.n / 2));
    EXPECT_DOUBLE_EQ(spectrum.front().frequency, 0.0);
    EXPECT_NEAR(spectrum.back().frequency, c.lastFrequency, 1e-9);
    // The mean is removed: a constant gives nothing in any bin.
    for (const SpectrumPoint& p : spectrum) EXPECT_NEAR(p.magnitude, 0.0, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Sampling, SpectrumBins,
                         ::testing::Values(BinCase{"NinePointsNothing", 9, 0.001, 0, 0.0},
                                           BinCase{"ElevenPointsFiveBins", 11, 0.001, 5, 400.0},
                                           BinCase{"CutAt5kHz", 1000, 0.00005, 250, 4980.0},
                                           BinCase{"SlowSampling", 25, 0.05, 12, 11.0 / (24 * 0.05)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Spectrum, SinePeaksAtItsBinWithItsAmplitude)
{
    struct Row {
        int n;
        double dt, frequency, amplitude;
    };
    for (const Row r : {Row{1000, 0.001, 50.0, 2.0}, Row{400, 0.05, 2.5, 0.5}, Row{4000, 0.0001, 1250.0, 1.0}}) {
        SCOPED_TRACE(r.frequency);
        const Signal s = sine(r.n, r.dt, r.frequency, r.amplitude, 7.0);
        const auto spectrum = AmplitudeSpectrum(s.x, s.y);
        ASSERT_FALSE(spectrum.empty());
        std::size_t peak = 0;
        for (std::size_t i = 1; i < spectrum.size(); ++i)
            if (spectrum[i].magnitude > spectrum[peak].magnitude) peak = i;
        EXPECT_NEAR(spectrum[peak].frequency, r.frequency, 1e-9);
        EXPECT_NEAR(spectrum[peak].magnitude, r.amplitude, 1e-6);
        for (std::size_t i = 0; i < spectrum.size(); ++i)
            if (i != peak) {
                EXPECT_LT(spectrum[i].magnitude, 1e-6) << "bin " << i;
            }
    }
}

TEST(Spectrum, DegenerateStepsGiveNothing)
{
    Signal s = sine(20, 0.01, 5.0, 1.0);
    s.x[1] = s.x[0];  // equal abscissae: no sampling step
    EXPECT_TRUE(AmplitudeSpectrum(s.x, s.y).empty());
    s.x[1] = std::nan("");
    EXPECT_TRUE(AmplitudeSpectrum(s.x, s.y).empty());
}

TEST(Spectrum, LongSeriesIsCutToTheSampleArray)
{
    const Signal s = sine(kSpectrumMaxSamples + 101, 0.001, 100.0, 1.0);
    int length = 0;
    int calls = 0;
    const auto spectrum = AmplitudeSpectrum(s.x, s.y, [&](const auto&) { return ++calls < 2; }, &length);
    EXPECT_EQ(length, kSpectrumMaxSamples);
    EXPECT_EQ(spectrum.size(), 100u);  // abandoned after the second progress call
}

TEST(Spectrum, DftBinOneIsTheSum)
{
    const std::vector<Complex> samples{{1, 0}, {2, 0}, {3, 0}, {4, 0}};
    const Complex x = DftBin(samples, 1, 4);
    EXPECT_DOUBLE_EQ(x.re, 10.0);
    EXPECT_DOUBLE_EQ(x.im, 0.0);
    const Complex x2 = DftBin(samples, 2, 4);  // 1 - 2i ... sum x[k] e^{-i pi k/2} = -2 + 2i
    EXPECT_NEAR(x2.re, -2.0, 1e-12);
    EXPECT_NEAR(x2.im, 2.0, 1e-12);
}

TEST(Spectrum, PlotSpectrumFillsTheTargetInTheSourceColour)
{
    QLineSeries source, target;
    source.setColor(Qt::green);
    target.append(1, 1);
    const Signal s = sine(200, 0.001, 100.0, 1.5);
    for (std::size_t i = 0; i < s.x.size(); ++i) source.append(s.x[i], s.y[i]);
    int redraws = 0;
    EXPECT_EQ(PlotSpectrum(source, target, [&] { ++redraws; }), 200);
    EXPECT_EQ(target.count(), 100);
    EXPECT_EQ(redraws, 2);
    EXPECT_EQ(target.color(), QColor(Qt::green));
    EXPECT_NEAR(target.at(20).x(), 100.0, 1e-9);
    EXPECT_NEAR(target.at(20).y(), 1.5, 1e-6);

    QLineSeries shortSource;
    for (int i = 0; i < 9; ++i) shortSource.append(i, i);
    EXPECT_EQ(PlotSpectrum(shortSource, target), 0);
    EXPECT_EQ(target.count(), 0);
}

}  // namespace
