#include "engine/LinearPhaseFir.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "tests/engine/EngineHarness.h"

namespace coral {
namespace {

using test::AllBandsOff;
using test::FirRunner;
using test::KernelResponse;
using test::Noise;
using test::SetBand;

constexpr double kRate = 48000;

// With every band off the diagonal kernels are a unit impulse at the centre tap; with a Mid
// band a left-only input reaches the right output through K10, and since Mid maps (x, 0) to
// ((H + 1) x / 2, (H - 1) x / 2) the difference of the outputs is the delayed input.
TEST(LinearPhaseFir, OutputIsTheInputDelayedByTheFixedLatency) {
  FirRunner off(AllBandsOff());
  for (int entry = 0; entry < kKernelEntries; ++entry) {
    const bool diagonal = entry == 0 || entry == 3;
    for (int n = 0; n < kKernelTaps; ++n) {
      ASSERT_EQ(off.fir.Kernel(entry)[n], diagonal && n == kKernelCentre ? 1.0f : 0.0f) << n;
    }
  }
  ParamSnapshot p = AllBandsOff();
  SetBand(p, 5, kBell, 1500, 9, 0.8f, kMid);
  FirRunner mid(p);

  const int frames = kFixedLatency + 2000;
  const auto left = Noise(frames, 1), right = Noise(frames, 2);
  double rightEnergy = 0;
  for (int n = 0; n < frames; ++n) {
    const auto y = off.Frame(left[n], right[n]);
    const auto m = mid.Frame(left[n], 0.0f);
    const bool delayed = n >= kFixedLatency;
    ASSERT_NEAR(y[0], delayed ? left[n - kFixedLatency] : 0.0f, 2e-6) << n;
    ASSERT_NEAR(y[1], delayed ? right[n - kFixedLatency] : 0.0f, 2e-6) << n;
    ASSERT_NEAR(m[0] - m[1], delayed ? left[n - kFixedLatency] : 0.0f, 1e-5) << n;
    rightEnergy += double(m[1]) * m[1];
  }
  EXPECT_GT(rightEnergy / 2000, 0.01);
}

TEST(LinearPhaseFir, BellImpulseResponseIsSymmetricAboutTheLatency) {
  ParamSnapshot p = AllBandsOff();
  SetBand(p, 0, kBell, 1000, 6, 1);
  FirRunner run(p);
  constexpr int kImpulseAt = 100; // not on a block boundary
  const int centre = kImpulseAt + kFixedLatency;
  std::vector<float> y(centre + kKernelCentre + 600);
  for (int n = 0; n < static_cast<int>(y.size()); ++n) y[n] = run.Frame(n == kImpulseAt, 0)[0];

  EXPECT_GT(y[centre], 1.0f);
  for (int m = 1; m < centre; ++m) {
    const float late = centre + m < static_cast<int>(y.size()) ? y[centre + m] : 0.0f;
    ASSERT_NEAR(late, y[centre - m], 1e-6) << m;
    ASSERT_LT(std::abs(y[centre - m]), y[centre]) << m;
    if (m > kKernelCentre) {
      ASSERT_NEAR(y[centre - m], 0.0f, 1e-6) << m;
    }
  }
}

// Designed kernels against the sampled zero-phase target they were built from, which the
// test forms from the band's closed-form biquad response.
TEST(LinearPhaseFir, KernelSpectrumFollowsSampledTarget) {
  struct Case {
    int type;
    float frequency, gain, q;
    int channel;
  };
  for (const Case c : {Case{kBell, 1000, 6, 1, kStereo}, Case{kHighShelf, 4000, -5, 0.7071f, kLeft},
                       Case{kBell, 2000, -8, 2, kMid}, Case{kLowShelf, 300, 4, 0.7071f, kSide}}) {
    ParamSnapshot p = AllBandsOff();
    SetBand(p, 3, c.type, c.frequency, c.gain, c.q, c.channel);
    FirRunner run(p);
    BiquadCascade band;
    DesignBandCascade(band, c.type, c.frequency, c.gain, c.q, 0, kRate);
    double worst = 0;
    for (double f = 100; f < 20000; f *= 1.07) {
      const double omega = 2 * std::numbers::pi * f / kRate;
      const Matrix2 m = ChannelMatrix(std::abs(CascadeResponse(band, omega)), c.channel);
      const std::complex<double> want[4] = {m.m00, m.m01, m.m10, m.m11};
      for (int entry = 0; entry < kKernelEntries; ++entry) {
        const auto got = KernelResponse(run.fir.Kernel(entry), omega);
        EXPECT_NEAR(got.imag(), 0.0, 1e-5) << "kernels are symmetric";
        worst = std::max(worst, std::abs(got.real() - want[entry].real()));
      }
    }
    EXPECT_LT(worst, 5e-4) << "type " << c.type << " channel " << c.channel;
  }
}

TEST(LinearPhaseFir, DesignerStartsOnlyForKernelChangesAndRunsEightBoundedStates) {
  ParamSnapshot p = AllBandsOff();
  SetBand(p, 2, kBell, 500, 2, 1);
  FirRunner run(p);
  auto stepDesigner = [&](int n) {
    for (int i = 0; i < n; ++i) {
      run.fir.SetTarget(run.target.data());
      run.fir.DesignerStep();
    }
  };

  // Dynamics, monitoring and global parameters other than Scale do not shape the kernels.
  for (int field : {kDynamic, kThreshold, kRatio, kKnee, kAttack, kRelease, kRange, kDirection,
                    kDetector, kListen}) {
    run.target[BandParamIndex(2, field)] += 1.0f;
  }
  for (int global : {kPhase, kInput, kOutput, kMix, kStereoLink, kBypass, kDelta, kScTrim}) {
    run.target[global] += 1.0f;
  }
  stepDesigner(10);
  EXPECT_EQ(run.fir.DesignerState(), 0);
  for (int field : {kEnabled, kType, kFrequency, kGain, kQ, kSlope, kChannel}) {
    ParamSnapshot changed = run.target;
    changed[BandParamIndex(11, field)] += 1.0f;
    EXPECT_TRUE(DesignRelevantDiffers(changed.data(), run.target.data())) << field;
  }
  ParamSnapshot nan = run.target;
  nan[kScale] = std::nanf("");
  EXPECT_TRUE(DesignRelevantDiffers(nan.data(), nan.data()));

  // Steps per state: 8193 bins / 4; 4 x 14 x 8192 butterflies / 128; 8193 taps / 32;
  // 4 x 33 x 9 x 256 butterflies / 128; 16384 bins / 64; 4 x 14 x 8192 / 128; 256 points / 8.
  run.target[BandParamIndex(2, kGain)] = 5.0f;
  int stepsInState[8] = {};
  do {
    ++stepsInState[run.fir.DesignerState()];
    stepDesigner(1);
  } while (run.fir.DesignerState() != 0);
  const int expected[8] = {1, 2049, 3584, 257, 2376, 256, 3584, 32};
  for (int s = 0; s < 8; ++s) EXPECT_EQ(stepsInState[s], expected[s]) << "state " << s;
  ASSERT_TRUE(run.fir.KernelReady());
  EXPECT_FALSE(DesignRelevantDiffers(run.fir.LastDesigned(), run.target.data()));

  // The finished set swaps in at the next block step with an 8-block crossfade; a change
  // during the crossfade starts nothing until the crossfade has ended.
  run.fir.BlockStep();
  EXPECT_FALSE(run.fir.KernelReady());
  run.target[BandParamIndex(2, kGain)] = -4.0f;
  for (int block = 1; block <= 8; ++block) {
    EXPECT_EQ(run.fir.CrossfadeCount(), kKernelCrossfade - block * kFirBlock);
    stepDesigner(kFirBlock - 1);
    EXPECT_EQ(run.fir.DesignerState(), block < 8 ? 0 : 1) << block;
    if (block < 8) run.fir.BlockStep();
  }

  // A change while a finished set still waits for its swap starts the next design at once;
  // the waiting set is swapped in untouched.
  while (!run.fir.KernelReady()) stepDesigner(1);
  run.target[BandParamIndex(2, kGain)] = 1.0f;
  stepDesigner(1);
  EXPECT_EQ(run.fir.DesignerState(), 1);
  EXPECT_TRUE(run.fir.KernelReady());
  run.fir.BlockStep();
  EXPECT_EQ(run.fir.CrossfadeCount(), kKernelCrossfade - kFirBlock);
}

// A Gain step while audio runs: the output is the sample-exact blend of what the old and
// the new kernels play, which keeps it continuous.
TEST(LinearPhaseFir, GainStepCrossfadesContinuously) {
  ParamSnapshot before = AllBandsOff();
  SetBand(before, 0, kBell, 1000, 0, 1);
  ParamSnapshot after = before;
  after[BandParamIndex(0, kGain)] = 6.0f;
  FirRunner oldOnly(before), newOnly(after), switching(before);

  constexpr int kFrames = 24000, kChangeAt = 3000;
  const double omega = 2 * std::numbers::pi * 1000 / kRate;
  std::vector<float> a(kFrames), b(kFrames), y(kFrames);
  int start = -1; // first frame played from a crossfaded block
  for (int n = 0; n < kFrames; ++n) {
    const float x = static_cast<float>(0.5 * std::sin(omega * n));
    if (n == kChangeAt) switching.target = after;
    a[n] = oldOnly.Frame(x, x)[0];
    b[n] = newOnly.Frame(x, x)[0];
    y[n] = switching.Frame(x, x)[0];
    if (switching.fir.CrossfadeCount() > 0) {
      if (start < 0) start = n + 1;
      EXPECT_NEAR(switching.fir.CrossfadeProgress(switching.q), (n + 1 - start) / 2048.0, 1e-12);
    }
  }
  ASSERT_GT(start, kChangeAt + 12000);
  ASSERT_LT(start + kKernelCrossfade, kFrames - 1000);

  double maxStep = 0;
  for (int n = kFixedLatency + 1; n < kFrames; ++n) {
    const double w = std::clamp((n - start) / 2048.0, 0.0, 1.0);
    ASSERT_NEAR(y[n], (1 - w) * a[n] + w * b[n], 5e-6) << "frame " << n;
    maxStep = std::max(maxStep, std::abs(double(y[n]) - y[n - 1]));
  }
  // The sine's own largest step at its final amplitude (about 1.0) is 2 sin(omega / 2).
  EXPECT_LT(maxStep, 1.02 * 2 * std::sin(omega / 2));
  EXPECT_NEAR(*std::max_element(y.end() - 500, y.end()), 0.5 * std::pow(10.0, 6.0 / 20), 0.01);
}

} // namespace
} // namespace coral

namespace coral::test {
namespace {

// Block steps may leave out the convolutions while nobody listens; the output computed on
// demand afterwards is bit-identical to always convolving, also across kernel swaps.
TEST(LinearPhaseFir, SkippedConvolutionsAreRecomputedExactly) {
  ParamSnapshot p = AllBandsOff();
  SetBand(p, 1, kBell, 700, 5, 2, kMid);
  LinearPhaseFir always, lazy;
  const auto grid = DisplayFrequencies(48000);
  always.Prepare(48000, grid.data(), p.data());
  lazy.Prepare(48000, grid.data(), p.data());
  const std::vector<float> left = Noise(60000, 5), right = Noise(60000, 6);
  std::mt19937 rng(11);
  bool listening = true;
  int q = 0, compared = 0;
  for (int n = 0; n < 60000; ++n) {
    if (n == 2000 || n == 21000) {
      p[BandParamIndex(1, kGain)] -= 4.0f; // new kernels and a crossfade while skipping
      always.SetTarget(p.data());
      lazy.SetTarget(p.data());
    }
    if (rng() % 97 == 0) listening = !listening;
    if (listening && lazy.OutputStale()) lazy.EnsureOutput();
    float a[2], b[2];
    always.Exchange(q, left[n], right[n], a[0], a[1]);
    lazy.Exchange(q, left[n], right[n], b[0], b[1]);
    if (listening) {
      ASSERT_EQ(a[0], b[0]) << n;
      ASSERT_EQ(a[1], b[1]) << n;
      ++compared;
    }
    if (++q == kFirBlock) {
      q = 0;
      always.BlockStep(true);
      lazy.BlockStep(listening && rng() % 3 != 0);
    }
    always.DesignerStep();
    lazy.DesignerStep();
  }
  EXPECT_GT(compared, 20000);
}

} // namespace
} // namespace coral::test
