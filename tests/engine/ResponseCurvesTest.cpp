// Display curves: the analytic targets against closed-form magnitudes, the engine's applied
// curves against the targets, and the dynamic curve against the live band gain.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "engine/EqEngine.h"
#include "engine/ResponseCurves.h"
#include "tests/engine/EngineHarness.h"

namespace coral {
namespace {

// Closed-form magnitude of a cookbook bell (bilinear image of its analog prototype).
double BellDb(double f, double f0, double gainDb, double q, double fs) {
  const double A = std::pow(10.0, gainDb / 40);
  const double w = std::tan(std::numbers::pi * f / fs) / std::tan(std::numbers::pi * f0 / fs);
  const std::complex<double> s(0, w);
  return 20 * std::log10(std::abs((s * s + s * (A / q) + 1.0) / (s * s + s / (A * q) + 1.0)));
}

ParamSnapshot OneBell(float gain, float q, int channel, float frequency = 1000) {
  ParamSnapshot p = test::AllBandsOff();
  test::SetBand(p, 6, kEnabled, 1);
  test::SetBand(p, 6, kFrequency, frequency);
  test::SetBand(p, 6, kGain, gain);
  test::SetBand(p, 6, kQ, q);
  test::SetBand(p, 6, kChannel, float(channel));
  return p;
}

TEST(ResponseCurves, MinimumPhaseTargetsMatchTheClosedForm) {
  const double fs = 48000;
  const ParamSnapshot stereo = OneBell(6, 1.2f, kStereo);
  for (double f : {30.0, 400.0, 1000.0, 2500.0, 15000.0}) {
    const double expected = BellDb(f, 1000, 6, double(1.2f), fs);
    EXPECT_NEAR(TargetCurvePoint(f, stereo, fs, 0), expected, 1e-9) << f;
    EXPECT_NEAR(TargetCurvePoint(f, stereo, fs, 1), expected, 1e-9) << f;
    EXPECT_NEAR(BandCurvePoint(6, f, stereo, fs, 0), expected, 1e-9) << f;
    EXPECT_EQ(BandCurvePoint(5, f, stereo, fs, 0), 0.0);
  }
  // Left channel: the left row shows +6 dB at the centre, the right row stays flat.
  const ParamSnapshot left = OneBell(6, 1, kLeft);
  EXPECT_NEAR(TargetCurvePoint(1000, left, fs, 0), 6.0, 1e-9);
  EXPECT_NEAR(TargetCurvePoint(1000, left, fs, 1), 0.0, 1e-12);
  // Mid channel: half the boost reaches each output coherently, the rest as side leakage:
  // 10 log10(((H+1)/2)^2 + ((H-1)/2)^2) = 3.96 dB, not 6 dB.
  const double h = std::pow(10.0, 6 / 20.0);
  const double mid = 10 * std::log10(std::pow((h + 1) / 2, 2) + std::pow((h - 1) / 2, 2));
  EXPECT_NEAR(mid, 3.963, 0.001);
  EXPECT_NEAR(TargetCurvePoint(1000, OneBell(6, 1, kMid), fs, 0), mid, 1e-9);
  EXPECT_NEAR(TargetCurvePoint(1000, OneBell(6, 1, kSide), fs, 1), mid, 1e-9);
  // Band indices outside 0..11 give 0 dB; a bad sample rate becomes 48 kHz.
  EXPECT_EQ(BandCurvePoint(12, 1000, stereo, fs, 0), 0.0);
  EXPECT_EQ(BandCurvePoint(-1, 1000, stereo, fs, 0), 0.0);
  EXPECT_DOUBLE_EQ(TargetCurvePoint(2000, stereo, std::nan(""), 0),
                   TargetCurvePoint(2000, stereo, 48000, 0));
}

TEST(ResponseCurves, FlatWhenNothingShapes) {
  ParamSnapshot scaled = OneBell(12, 2, kStereo);
  scaled[kScale] = 0;
  for (const ParamSnapshot& p : {test::AllBandsOff(), scaled, test::Defaults()})
    for (double f : {20.0, 1000.0, 19000.0, 30000.0}) {
      EXPECT_NEAR(TargetCurvePoint(f, p, 44100, 0), 0.0, 1e-12);
      EXPECT_NEAR(TargetCurvePoint(f, p, 44100, 1), 0.0, 1e-12);
    }
}

TEST(ResponseCurves, AppliedStaticCurveEqualsTheTargetOnceSettled) {
  const double fs = 48000;
  ParamSnapshot p = OneBell(-7, 0.8f, kMid, 3000);
  test::SetBand(p, 0, kEnabled, 1);
  test::SetBand(p, 0, kType, kHighPass);
  test::SetBand(p, 0, kFrequency, 80);
  test::SetBand(p, 0, kSlope, 2);
  test::SetBand(p, 1, kEnabled, 1);
  test::SetBand(p, 1, kType, kTilt);
  test::SetBand(p, 1, kGain, 4);
  EqEngine engine;
  test::Prepare(engine, p, fs);
  test::Run(engine, test::Stereo(2048));
  DisplaySnapshot snap;
  engine.GetDisplaySnapshot(snap);
  for (int i = 0; i < kDisplayPoints; ++i) {
    const double target = TargetCurvePoint(engine.DisplayGrid()[i], p, fs, 0);
    ASSERT_NEAR(snap.staticWetEq[i], target, 0.01) << i;
    ASSERT_EQ(snap.currentWetEq[i], snap.staticWetEq[i]) << i; // no dynamics
  }
}

TEST(ResponseCurves, LinearPhaseAppliedCurveFollowsTheKernels) {
  const double fs = 48000;
  ParamSnapshot p = OneBell(6, 1, kStereo, 2000);
  p[kPhase] = 1;
  EqEngine engine;
  test::Prepare(engine, p, fs);
  test::Run(engine, test::Stereo(2048));
  DisplaySnapshot snap;
  engine.GetDisplaySnapshot(snap);
  for (int i = 0; i < kDisplayPoints; i += 5) {
    const double f = engine.DisplayGrid()[i];
    EXPECT_NEAR(snap.staticWetEq[i], TargetCurvePoint(f, p, fs, 0), 0.05) << f;
  }
}

TEST(ResponseCurves, CurrentCurveAddsTheLiveDynamicFilter) {
  // A dynamic bell held at its 6 dB range by a loud sine: the current curve sits 6 dB under
  // the static one at the band centre and matches it far away.
  const double fs = 48000;
  ParamSnapshot p = OneBell(3, 1.5, kStereo, 1000);
  test::SetBand(p, 6, kDynamic, 1);
  EqEngine engine;
  test::Prepare(engine, p, fs);
  test::Stereo in{std::size_t(fs)};
  in.l = in.r = test::Sine(in.size(), 1000, fs, 0.9);
  test::Run(engine, in);
  DisplaySnapshot snap;
  engine.GetDisplaySnapshot(snap);
  ASSERT_NEAR(snap.liveBandGain[6], -6.0, 0.01);
  int centre = 0;
  for (int i = 0; i < kDisplayPoints; ++i)
    if (std::abs(std::log(engine.DisplayGrid()[i] / 1000.0)) <
        std::abs(std::log(engine.DisplayGrid()[centre] / 1000.0)))
      centre = i;
  const double f = engine.DisplayGrid()[centre];
  EXPECT_NEAR(snap.currentWetEq[centre] - snap.staticWetEq[centre], BellDb(f, 1000, -6, 1.5, fs),
              0.01);
  EXPECT_NEAR(snap.currentWetEq[0], snap.staticWetEq[0], 0.01);
}

} // namespace
} // namespace coral
