// Display curves: the analytic targets against closed-form magnitudes, the engine's applied
// curves against the targets, and the dynamic curve against the live band gain.

#include "engine/ResponseCurves.h"
#include "tests/engine/EngineHarness.h"

namespace coral::test {

// Band slot 6 as a bell and every other slot off.
ParamSnapshot OneBell(double gain, double q, int channel, double frequency = 1000) {
  return WithBand(AllBandsOff(), 6, kBell, frequency, gain, q, channel);
}

TEST(ResponseCurves, MinimumPhaseTargetsMatchTheClosedForm) {
  const ParamSnapshot stereo = OneBell(6, 1.25, kStereo);
  for (double f : {30.0, 400.0, 1000.0, 2500.0, 15000.0}) {
    const double expected = Db(AnalogMagnitude(kBell, f, 1000, 48000, 6, 1.25));
    EXPECT_NEAR(TargetCurvePoint(f, stereo, 48000, 0), expected, 1e-9) << f;
    EXPECT_NEAR(TargetCurvePoint(f, stereo, 48000, 1), expected, 1e-9) << f;
    EXPECT_NEAR(BandCurvePoint(6, f, stereo, 48000, 0), expected, 1e-9) << f;
    EXPECT_EQ(BandCurvePoint(5, f, stereo, 48000, 0), 0.0);
  }
  // Left channel: the left row shows +6 dB at the centre, the right row stays flat. Mid
  // channel: half the boost reaches each output coherently, the rest as side leakage,
  // 10 log10(((H+1)/2)^2 + ((H-1)/2)^2) = 3.96 dB, not 6 dB; Side alike.
  EXPECT_NEAR(TargetCurvePoint(1000, OneBell(6, 1, kLeft), 48000, 0), 6.0, 1e-9);
  EXPECT_NEAR(TargetCurvePoint(1000, OneBell(6, 1, kLeft), 48000, 1), 0.0, 1e-12);
  const double h = std::pow(10.0, 6 / 20.0);
  const double mid = 10 * std::log10(std::pow((h + 1) / 2, 2) + std::pow((h - 1) / 2, 2));
  EXPECT_NEAR(mid, 3.963, 0.001);
  EXPECT_NEAR(TargetCurvePoint(1000, OneBell(6, 1, kMid), 48000, 0), mid, 1e-9);
  EXPECT_NEAR(TargetCurvePoint(1000, OneBell(6, 1, kSide), 48000, 1), mid, 1e-9);
  // Band indices outside 0..11 give 0 dB; a bad sample rate becomes 48 kHz.
  EXPECT_TRUE(BandCurvePoint(12, 1000, stereo, 48000, 0) == 0 &&
              BandCurvePoint(-1, 1000, stereo, 48000, 0) == 0);
  EXPECT_EQ(TargetCurvePoint(2000, stereo, NAN, 0), TargetCurvePoint(2000, stereo, 48000, 0));
}

TEST(ResponseCurves, FlatWhenNothingShapes) {
  for (const ParamSnapshot& p :
       {AllBandsOff(), With(OneBell(12, 2, kStereo), kScale, 0), DefaultSnapshot()})
    for (double f : {20.0, 1000.0, 19000.0, 30000.0})
      for (int row : {0, 1}) EXPECT_NEAR(TargetCurvePoint(f, p, 44100, row), 0.0, 1e-12);
}

TEST(ResponseCurves, AppliedStaticCurveEqualsTheTargetOnceSettled) {
  // A Mid bell, a tilt and (minimum phase only: the finite kernels read its deep stop band
  // only roughly) an 80 Hz 6th-order high pass; linear phase shows what the kernels play.
  ParamSnapshot p = OneBell(-7, 0.8, kMid, 3000);
  p = WithBand(WithBand(p, 0, kHighPass, 80, 0, 0.7071f), 1, kTilt, 1000, 4, 0.7071f);
  SetBand(p, 0, kSlope, 2);
  for (float phase : {0.0f, 1.0f}) {
    p[kPhase] = phase;
    SetBand(p, 0, kEnabled, 1 - phase);
    Engine engine(p);
    engine.Run(Stereo(2048));
    const DisplaySnapshot snap = engine.Snap();
    for (int i = 0; i < kDisplayPoints; ++i) {
      const double target = TargetCurvePoint(engine.DisplayGrid()[i], p, 48000, 0);
      ASSERT_NEAR(snap.staticWetEq[i], target, phase > 0 ? 0.05 : 0.01) << phase << " " << i;
      ASSERT_EQ(snap.currentWetEq[i], snap.staticWetEq[i]) << i; // no dynamics
    }
  }
}

TEST(ResponseCurves, CurrentCurveAddsTheLiveDynamicFilter) {
  // A dynamic bell held at its 6 dB range by a loud sine: the current curve is the static
  // one plus a -6 dB bell at the band's frequency and Q.
  ParamSnapshot p = OneBell(3, 1.5, kStereo);
  SetBand(p, 6, kDynamic, 1);
  Engine engine(p);
  engine.Run(Stereo(Sine(48000, 1000, 48000, 0.9)));
  const DisplaySnapshot snap = engine.Snap();
  ASSERT_NEAR(snap.liveBandGain[6], -6.0, 0.01);
  for (int i = 0; i < kDisplayPoints; ++i)
    ASSERT_NEAR(snap.currentWetEq[i] - snap.staticWetEq[i],
                Db(AnalogMagnitude(kBell, engine.DisplayGrid()[i], 1000, 48000, -6, 1.5)), 0.01)
        << i;
}

} // namespace coral::test
