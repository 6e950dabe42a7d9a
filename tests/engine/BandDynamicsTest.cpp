// Band dynamics against a reference model written from the formulas, sample by sample in
// double precision, and the behaviours an engineer relies on (range bound, link, no action).

#include "tests/engine/EngineHarness.h"

namespace coral::test {

// Published gain (dB) after each sample of a mono (identical left/right) input `x` for band
// slot 0 of `p`, straight from the formulas: cookbook band pass detector, 10 ms mean square,
// static curve with quadratic knee, range bound, upward fade-in above -100 dB, one-pole
// attack/release, then the fixed latency.
std::vector<double> ReferenceGains(const ParamSnapshot& p, const std::vector<float>& x) {
  const float* s = &p[BandParamIndex(0, 0)];
  const double fs = 48000, w0 = 2 * kPi * s[kFrequency] / fs, alpha = std::sin(w0) / (2 * s[kQ]);
  const double a0 = 1 + alpha, b0 = alpha / a0, a1 = -2 * std::cos(w0) / a0, a2 = (1 - alpha) / a0;
  const double avg = std::exp(-1 / (0.010 * fs)), att = std::exp(-1 / (s[kAttack] * 0.001 * fs));
  const double rel = std::exp(-1 / (s[kRelease] * 0.001 * fs)), h = s[kKnee] / 2.0;
  const double r = 1.0f - 1.0f / s[kRatio];
  const bool upward = s[kDirection] > 0;
  double z1 = 0, z2 = 0, env = 0, gain = 0;
  std::vector<double> out(x.size() + kFixedLatency, 0.0);
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double y = b0 * x[i] + z1;
    z1 = -a1 * y + z2;
    z2 = -b0 * x[i] - a2 * y;
    env = avg * env + (1 - avg) * y * y;
    const double level = 10 * std::log10(std::max(env, 1e-12));
    const double v = upward ? s[kThreshold] - level : level - s[kThreshold];
    const double k = v <= -h ? 0 : v >= h ? v : (v + h) * (v + h) / (2 * s[kKnee]);
    double target = std::min(r * k, double(s[kRange]));
    target = upward ? target * std::clamp((level + 100) / 10, 0.0, 1.0) : -target;
    const double c = std::abs(target) > std::abs(gain) ? att : rel;
    gain = c * gain + (1 - c) * target;
    out[i + kFixedLatency] = float(gain);
  }
  out.resize(x.size());
  return out;
}

// Band 0 as a dynamic 1 kHz bell, Q 1.5, with the default dynamics: threshold -24 dB, ratio
// 4, knee 6 dB, attack 10 ms, release 150 ms, range 6 dB, downward.
ParamSnapshot DynamicBand() {
  return With(WithBand(AllBandsOff(), 0, kBell, 1000, 0, 1.5), BandParamIndex(0, kDynamic), 1);
}

// A 1 kHz sine at 48 kHz whose amplitude follows `amplitude(t)`, t in seconds.
std::vector<float> Shaped(double seconds, double (*amplitude)(double)) {
  std::vector<float> s(std::size_t(seconds * 48000));
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = float(amplitude(i / 48000.0) * std::sin(2 * kPi * 1000 * i / 48000.0));
  return s;
}

TEST(BandDynamics, PublishedGainFollowsTheReferenceModel) {
  // A burst of -9 dBFS rms, and a level ramp from -80 dBFS up to 0 dBFS and back in 3 s.
  const auto burst = Shaped(1.5, [](double t) { return t < 0.25 || t > 0.75 ? 0 : 0.5; });
  const auto ramp = Shaped(3, [](double t) { return std::pow(10, -4 * std::abs(t - 1.5) / 1.5); });
  // Knee, attack, release, ratio; the first case reads the burst, the others the ramp.
  const double cases[][4] = {{6, 10, 150, 4}, {0, 0.5, 40, 4}, {12, 0.5, 40, 2.5}};
  for (bool upward : {false, true})
    for (int i = 0; i < 3; ++i) {
      const double* c = cases[i];
      ParamSnapshot p = DynamicBand();
      SetBand(p, 0, kThreshold, upward ? -20 : -30, kDirection, upward, kKnee, c[0], kAttack, c[1],
              kRelease, c[2], kRatio, c[3]);
      const std::vector<float>& signal = i == 0 ? burst : ramp;
      // Engine and model side by side; the published live gain at every 64-frame chunk end.
      Engine engine(p);
      const std::vector<double> expected = ReferenceGains(p, signal);
      double maxError = 0, maxGain = 0;
      engine.Run(Stereo(signal), 64, [&](std::size_t end) {
        maxError = std::max(maxError, std::abs(engine.Snap().liveBandGain[0] - expected[end - 1]));
        maxGain = std::max(maxGain, std::abs(expected[end - 1]));
      });
      EXPECT_LT(maxError, 1e-4) << "upward " << upward << " knee " << c[0];
      EXPECT_GT(maxGain, 0.5) << "the signal should have engaged the band";
    }
}

TEST(BandDynamics, SilenceRatioOneAndPassFiltersNeverAct) {
  // Direction, ratio, type and sine amplitude: silence either way, a full-scale sine at
  // ratio 1 or through a high pass.
  const double cases[][4] = {
      {0, 4, kBell, 0}, {1, 4, kBell, 0}, {0, 1, kBell, 1}, {0, 4, kHighPass, 1}};
  for (const auto& c : cases) {
    ParamSnapshot p = DynamicBand();
    SetBand(p, 0, kDirection, c[0], kRatio, c[1], kType, c[2]);
    Engine engine(p);
    engine.Run(Stereo(Sine(3 * kFixedLatency, 1000, 48000, c[3])));
    const DisplaySnapshot snap = engine.Snap();
    EXPECT_EQ(snap.liveBandGain[0], 0.0f) << c[0] << c[1] << c[2];
    EXPECT_TRUE(c[3] > 0 ? snap.detectorLevel[0] > -10 : snap.detectorLevel[0] == -120) << c[3];
  }
}

TEST(BandDynamics, RangeBoundAndStereoLink) {
  // Threshold -24 dBFS, ratio 4, range 6: a sine 20 dB above asks for -15 dB but gets -6 dB,
  // and the programme at the band frequency comes out 6 dB down.
  Engine engine(DynamicBand());
  const std::size_t n = 96000;
  const Stereo in = Stereo(Sine(n, 1000, 48000, std::pow(10, -0.2) * std::sqrt(2.0)));
  const Stereo out = engine.Run(in);
  EXPECT_NEAR(engine.Snap().liveBandGain[0], -6.0, 0.01);
  EXPECT_NEAR(engine.Snap().detectorLevel[0], -4.0, 0.2);
  EXPECT_NEAR(Db(Rms(out.l, n - 9600, n) / Rms(in.l, n - 9600, n)), -6.0, 0.02);

  // Left-only programme: a band on Channel Right acts at Stereo Link 100 % only.
  for (float link : {100.0f, 0.0f}) {
    Engine linked(With(DynamicBand(), kStereoLink, link, BandParamIndex(0, kChannel), kRight));
    linked.Run({Sine(48000, 1000, 48000, 0.5), std::vector<float>(48000)});
    EXPECT_NEAR(linked.Snap().liveBandGain[0], link > 0 ? -6.0 : 0.0, 0.01) << link;
  }
}

TEST(BandDynamics, VectorLog10IsWithinOneUlpOfTheExactValue) {
  // Levels from 1e-12 to 1e4 spread evenly in log10, arguments near 1 and exact powers of ten;
  // the reference is log10 in extended precision.
  std::mt19937_64 rng(3);
  std::vector<double> x;
  for (int i = 0; i < 200000; ++i) {
    x.push_back(std::pow(10.0, std::uniform_real_distribution<double>(-12, 4)(rng)));
    x.push_back(
        1 + std::ldexp(std::uniform_real_distribution<double>(-1, 1)(rng), -int(rng() % 50) - 1));
  }
  for (int e = -12; e <= 4; ++e) x.push_back(std::pow(10.0, e));
  while (x.size() % kLog10Block != 0) x.push_back(1.0);
  OnEveryInstructionSet([&] {
    double worst = 0;
    std::vector<double> out(x.size());
    ActiveKernels().log10Values(x.data(), out.data(), int(x.size()));
    for (std::size_t i = 0; i < x.size(); ++i) {
      const long double exact = std::log10((long double)x[i]);
      if (exact == 0) {
        EXPECT_EQ(out[i], 0.0);
        continue;
      }
      const long double ulp = std::ldexp(1.0L, std::ilogb(double(exact)) - 52);
      worst = std::max(worst, double(std::fabs(out[i] - exact) / ulp));
    }
    EXPECT_LT(worst, 1.0);
    RecordProperty("worstUlp", std::to_string(worst));
  });
}

} // namespace coral::test
