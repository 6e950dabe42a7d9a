// Band filter design against the analog prototypes that the bilinear transform maps onto
// the digital sections: |H(e^jw)| = |Ha(j tan(w/2) / tan(w0/2))|.

#include "tests/engine/EngineHarness.h"

namespace coral::test {

double DigitalMagnitude(const BiquadCascade& c, double f, double fs) {
  return std::abs(CascadeResponse(c, 2 * kPi * f / fs));
}

TEST(BandFilter, EveryTypeMatchesItsAnalogPrototype) {
  const double fs = 48000;
  for (int type = kBell; type <= kTilt; ++type)
    for (double gain : {-18.0, -3.0, 0.0, 7.5, 24.0})
      for (double q : {0.3, 0.7071, 4.0}) {
        BiquadCascade c; // Tilt is two sections, every other type one
        type == kTilt ? DesignBandCascade(c, type, 1000, gain, q, 0, fs)
                      : void(c.sections[0] = DesignSection(type, 1000, gain, q, fs));
        for (double f : {0.0, 20.0, 57.0, 200.0, 999.0, 1000.0, 1001.0, 9000.0, 23000.0, 24000.0}) {
          const double expected = AnalogMagnitude(type, f, 1000, fs, gain, q);
          EXPECT_NEAR(DigitalMagnitude(c, f, fs), expected, 1e-9 * std::max(1.0, expected))
              << "type " << type << " gain " << gain << " q " << q << " f " << f;
        }
      }
}

TEST(BandFilter, SteepPassFiltersAreButterworthOfOrderTwiceTheSections) {
  const double fs = 48000, fc = 1000;
  for (int type : {kHighPass, kLowPass})
    for (int slope = 0; slope < 4; ++slope) {
      BiquadCascade c;
      DesignBandCascade(c, type, fc, 0, 0.7071, slope, fs);
      ASSERT_EQ(c.count, slope + 1);
      for (double f : {50.0, 300.0, 800.0, 1000.0, 1300.0, 5000.0, 20000.0}) {
        // 1 / sqrt(1 + w^(2 order)) at the prewarped ratio w, inverted for the high pass.
        const double w = std::tan(kPi * f / fs) / std::tan(kPi * fc / fs);
        const double want =
            1 / std::sqrt(1 + std::pow(type == kLowPass ? w : 1 / w, 4 * (slope + 1)));
        EXPECT_NEAR(DigitalMagnitude(c, f, fs), want, 1e-9 * want + 1e-15)
            << type << slope << " " << f;
      }
    }
  // Q 1.4142 doubles each stage's Q (the first of four stages: 0.5098 x 2).
  BiquadCascade doubled;
  DesignBandCascade(doubled, kHighPass, fc, 0, 1.4142, 3, fs);
  const double q1 = 1.4142 / 0.7071 / (2 * std::cos(kPi / 16));
  EXPECT_DOUBLE_EQ(doubled.sections[0].a2, DesignSection(kHighPass, fc, 0, q1, fs).a2);
}

TEST(BandFilter, DesignClampsFrequencyAndQ) {
  // 22 kHz at 44.1 kHz designs at 0.475 x 44100 = 20947.5 Hz; Q beyond 30 is 30; an unknown
  // type is the identity.
  EXPECT_EQ(DesignSection(kBell, 22000, 6, 0.7071, 44100).a1,
            DesignSection(kBell, 20947.5, 6, 0.7071, 44100).a1);
  EXPECT_EQ(DesignSection(kNotch, 1000, 0, 500, 48000).a2,
            DesignSection(kNotch, 1000, 0, 30, 48000).a2);
  const BiquadCoefficients identity = DesignSection(42, 1000, 6, 1, 48000);
  EXPECT_TRUE(identity.b0 == 1.0 && identity.a1 == 0.0);
}

// A chain in which only band 0 runs (both cascades `cascade`, routed by `channel`) and every
// other band passes its input untouched, fed one frame at a time through the lane kernel.
struct OneBandChain {
  ChainLanes lanes{};
  OneBandChain(const BiquadCascade& cascade, int channel) {
    for (int c = 0; c < 2; ++c) lanes.current.SetCascade(LaneOf(0, c), cascade);
    lanes.current.SetRouting(0, channel);
    lanes.current.present.SetBand(0, 1);
    lanes.enable.Fill(1);
    lanes.enableTarget.Fill(1);
  }
  std::array<double, 2> Frame(double left, double right) {
    const double in[2] = {left, right};
    double out[2];
    const ChainRun run{in, out, 1, 0, kNumBands, kMaxSections, 0, false, false, 0, 0};
    ActiveKernels().runChain(lanes, run);
    return {out[0], out[1]};
  }
  double State() const { return lanes.current.states[0].s1[0] + lanes.current.states[0].s2[0]; }
};

TEST(BandFilter, SectionRunFlushesTinyStatesAndRecoversFromNonFinite) {
  BiquadCascade bell;
  DesignBandCascade(bell, kBell, 1000, 6, 1, 0, 48000);
  OnEveryInstructionSet([&] {
    OneBandChain chain(bell, kStereo);
    chain.Frame(1, 1);
    for (int i = 0; i < 200000 && chain.State() != 0; ++i) chain.Frame(0, 0);
    EXPECT_EQ(chain.State(), 0.0);
    for (double bad : {std::nan(""), double(INFINITY)}) {
      chain.Frame(0.5, 0.5);
      chain.Frame(bad, 0.5);
      EXPECT_EQ(chain.State(), 0.0) << bad;
    }
    const auto after = chain.Frame(0.5, 0.5);
    EXPECT_TRUE(std::isfinite(after[0]) && chain.State() != 0.0);
  });
}

TEST(BandFilter, ChannelModesRouteThroughTheRightCascade) {
  BiquadCascade twice;
  twice.sections[0] = {2.0, 0, 0, 0, 0}; // gain 2
  // Mode, input, output: Mid doubles m = 2 and keeps s = -1; Side doubles s and keeps m; a
  // pure side signal passes a Mid band, a pure mid signal a Side band.
  const double cases[][5] = {{kStereo, 1, 3, 2, 6},
                             {kLeft, 1, 3, 2, 3},
                             {kRight, 1, 3, 1, 6},
                             {kMid, 1, 3, 3, 5},
                             {kSide, 1, 3, 0, 4},
                             {kMid, 0.25, -0.25, 0.25, -0.25},
                             {kSide, 0.25, 0.25, 0.25, 0.25}};
  OnEveryInstructionSet([&] {
    for (const auto& c : cases) {
      OneBandChain chain(twice, int(c[0]));
      const auto out = chain.Frame(c[1], c[2]);
      EXPECT_TRUE(out[0] == c[3] && out[1] == c[4]) << c[0] << ": " << out[0] << ", " << out[1];
    }
  });
}

} // namespace coral::test
