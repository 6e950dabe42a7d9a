// Band filter design against the analog prototypes that the bilinear transform maps onto
// the digital sections: |H(e^jw)| = |Ha(j tan(w/2) / tan(w0/2))|.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "engine/BandFilter.h"
#include "engine/ParamTable.h"

namespace coral {
namespace {

using cd = std::complex<double>;
constexpr double kPi = std::numbers::pi;

// Analog prototype of each type at s (normalised to the centre frequency).
cd Prototype(int type, cd s, double gainDb, double q) {
  const double A = std::pow(10.0, gainDb / 40.0);
  const double sa = std::sqrt(A);
  const cd den = s * s + s / q + 1.0;
  switch (type) {
  case kBell:
    return (s * s + s * (A / q) + 1.0) / (s * s + s / (A * q) + 1.0);
  case kLowShelf:
    return A * (s * s + (sa / q) * s + A) / (A * s * s + (sa / q) * s + 1.0);
  case kHighShelf:
    return A * (A * s * s + (sa / q) * s + 1.0) / (s * s + (sa / q) * s + A);
  case kHighPass:
    return s * s / den;
  case kLowPass:
    return 1.0 / den;
  case kNotch:
    return (s * s + 1.0) / den;
  case kBandPass:
    return (s / q) / den;
  default:
    return 1.0;
  }
}

double DigitalMagnitude(const BiquadCascade& c, double f, double fs) {
  return std::abs(CascadeResponse(c, 2 * kPi * f / fs));
}

double PrototypeMagnitude(int type, double f, double f0, double fs, double gainDb, double q) {
  const double omega = std::tan(kPi * f / fs) / std::tan(kPi * f0 / fs);
  return std::abs(Prototype(type, cd(0, omega), gainDb, q));
}

TEST(BandFilter, EverySectionTypeMatchesItsAnalogPrototype) {
  const double fs = 48000;
  const double probes[] = {20, 57, 200, 999, 1000, 1001, 3000, 9000, 17000, 23000};
  for (int type : {kBell, kLowShelf, kHighShelf, kHighPass, kLowPass, kNotch, kBandPass}) {
    for (double gain : {-18.0, -3.0, 0.0, 7.5, 24.0}) {
      for (double q : {0.3, 0.7071, 4.0}) {
        BiquadCascade c;
        c.sections[0].SetCoefficients(DesignSection(type, 1000, gain, q, fs));
        for (double f : probes) {
          const double expected = PrototypeMagnitude(type, f, 1000, fs, gain, q);
          EXPECT_NEAR(DigitalMagnitude(c, f, fs), expected, 1e-9 * std::max(1.0, expected))
              << "type " << type << " gain " << gain << " q " << q << " f " << f;
        }
      }
    }
  }
}

TEST(BandFilter, CentreAndPlateauGainsAreTheGainParameter) {
  const double fs = 44100;
  BiquadCascade c;
  DesignBandCascade(c, kBell, 2000, 6.0, 1.0, 0, fs);
  EXPECT_NEAR(20 * std::log10(DigitalMagnitude(c, 2000, fs)), 6.0, 1e-9);
  DesignBandCascade(c, kLowShelf, 200, -9.0, 0.7071, 0, fs);
  EXPECT_NEAR(20 * std::log10(std::abs(CascadeResponse(c, 0.0))), -9.0, 1e-9);
  EXPECT_NEAR(20 * std::log10(std::abs(CascadeResponse(c, kPi))), 0.0, 1e-9);
  DesignBandCascade(c, kHighShelf, 5000, 4.0, 0.7071, 0, fs);
  EXPECT_NEAR(20 * std::log10(std::abs(CascadeResponse(c, kPi))), 4.0, 1e-9);
  // Tilt +12 dB is a -6 dB low shelf followed by a +6 dB high shelf at the same frequency.
  DesignBandCascade(c, kTilt, 1000, 12.0, 0.7071, 0, fs);
  ASSERT_EQ(c.count, 2);
  EXPECT_NEAR(20 * std::log10(std::abs(CascadeResponse(c, 0.0))), -6.0, 1e-9);
  EXPECT_NEAR(20 * std::log10(std::abs(CascadeResponse(c, kPi))), 6.0, 1e-9);
  // Gain 0 dB is exactly flat for every gain-bearing type.
  for (int type : {kBell, kLowShelf, kHighShelf, kTilt}) {
    DesignBandCascade(c, type, 700, 0.0, 3.0, 0, fs);
    for (double w : {0.0, 0.1, 0.5, 2.0, kPi})
      EXPECT_NEAR(std::abs(CascadeResponse(c, w)), 1.0, 1e-12);
  }
}

TEST(BandFilter, SteepPassFiltersAreButterworthOfOrderTwiceTheSections) {
  const double fs = 48000, fc = 1000;
  for (int slope = 0; slope < 4; ++slope) {
    const int order = 2 * (slope + 1);
    BiquadCascade hp, lp;
    DesignBandCascade(hp, kHighPass, fc, 0, 0.7071, slope, fs);
    DesignBandCascade(lp, kLowPass, fc, 0, 0.7071, slope, fs);
    ASSERT_EQ(hp.count, slope + 1);
    for (double f : {50.0, 300.0, 800.0, 1000.0, 1300.0, 5000.0, 20000.0}) {
      const double ratio = std::tan(kPi * f / fs) / std::tan(kPi * fc / fs);
      const double hpExpected = 1.0 / std::sqrt(1.0 + std::pow(1.0 / ratio, 2 * order));
      const double lpExpected = 1.0 / std::sqrt(1.0 + std::pow(ratio, 2 * order));
      EXPECT_NEAR(DigitalMagnitude(hp, f, fs), hpExpected, 1e-9 * hpExpected + 1e-15)
          << order << " " << f;
      EXPECT_NEAR(DigitalMagnitude(lp, f, fs), lpExpected, 1e-9 * lpExpected + 1e-15)
          << order << " " << f;
    }
  }
  // Q 1.4142 doubles each stage's Q (the first of four stages: 0.5098 x 2).
  BiquadCascade doubled, plain;
  DesignBandCascade(doubled, kHighPass, fc, 0, 1.4142, 3, fs);
  DesignBandCascade(plain, kHighPass, fc, 0, 0.7071, 3, fs);
  const double q1 = 1.4142 / 0.7071 / (2 * std::cos(kPi / 16));
  const BiquadCoefficients expected = DesignSection(kHighPass, fc, 0, q1, fs);
  EXPECT_DOUBLE_EQ(doubled.sections[0].a2, expected.a2);
  EXPECT_NE(doubled.sections[0].a2, plain.sections[0].a2);
}

TEST(BandFilter, DesignClampsFrequencyAndQ) {
  // 22 kHz at 44.1 kHz designs at 0.475 x 44100 = 20947.5 Hz; Q beyond 30 is 30.
  const BiquadCoefficients high = DesignSection(kBell, 22000, 6, 0.7071, 44100);
  const BiquadCoefficients clamped = DesignSection(kBell, 20947.5, 6, 0.7071, 44100);
  EXPECT_EQ(high.b0, clamped.b0);
  EXPECT_EQ(high.a1, clamped.a1);
  const BiquadCoefficients narrow = DesignSection(kNotch, 1000, 0, 500, 48000);
  EXPECT_EQ(narrow.a2, DesignSection(kNotch, 1000, 0, 30, 48000).a2);
  const BiquadCoefficients identity = DesignSection(42, 1000, 6, 1, 48000);
  EXPECT_EQ(identity.b0, 1.0);
  EXPECT_EQ(identity.a1, 0.0);
}

TEST(BandFilter, SectionRunFlushesTinyStatesAndRecoversFromNonFinite) {
  BiquadSection s;
  s.SetCoefficients(DesignSection(kBell, 1000, 6, 1, 48000));
  RunSection(s, 1.0);
  for (int i = 0; i < 200000 && (s.s1 != 0 || s.s2 != 0); ++i) RunSection(s, 0.0);
  EXPECT_EQ(s.s1, 0.0);
  EXPECT_EQ(s.s2, 0.0);

  EXPECT_EQ(RunSection(s, std::nan("")), 0.0);
  EXPECT_EQ(s.s1, 0.0);
  EXPECT_EQ(RunSection(s, INFINITY), 0.0);
  EXPECT_EQ(s.s2, 0.0);
  EXPECT_TRUE(std::isfinite(RunSection(s, 0.5)));
  EXPECT_NE(s.s1, 0.0);
}

TEST(BandFilter, ChannelModesRouteThroughTheRightCascade) {
  BandFilterPair pair;
  for (auto& c : pair.cascade) c.sections[0].SetCoefficients({2.0, 0, 0, 0, 0}); // gain 2
  auto apply = [&](int mode, double l, double r) {
    ApplyBand(pair, mode, l, r);
    return std::pair{l, r};
  };
  EXPECT_EQ(apply(kStereo, 1, 3), (std::pair{2.0, 6.0}));
  EXPECT_EQ(apply(kLeft, 1, 3), (std::pair{2.0, 3.0}));
  EXPECT_EQ(apply(kRight, 1, 3), (std::pair{1.0, 6.0}));
  EXPECT_EQ(apply(kMid, 1, 3), (std::pair{3.0, 5.0}));  // m 2 -> 4, s -1
  EXPECT_EQ(apply(kSide, 1, 3), (std::pair{0.0, 4.0})); // s -1 -> -2, m 2
  // A pure side signal passes a Mid band unchanged, a pure mid signal a Side band.
  EXPECT_EQ(apply(kMid, 0.25, -0.25), (std::pair{0.25, -0.25}));
  EXPECT_EQ(apply(kSide, 0.25, 0.25), (std::pair{0.25, 0.25}));
}

} // namespace
} // namespace coral
