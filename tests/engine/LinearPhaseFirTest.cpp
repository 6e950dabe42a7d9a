#include "engine/LinearPhaseFir.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "tests/engine/FirTestSupport.h"

namespace coral {
namespace {

using test::BandsOff;
using test::FirRunner;
using test::KernelResponse;
using test::SetBand;

constexpr double kRate = 48000;

TEST(LinearPhaseFir, AllBandsDisabledIsUnitImpulseAndPureDelay) {
  FirRunner run(BandsOff());
  for (int entry = 0; entry < kKernelEntries; ++entry) {
    const float* k = run.fir.Kernel(entry);
    const bool diagonal = entry == 0 || entry == 3;
    for (int n = 0; n < kKernelTaps; ++n) {
      ASSERT_EQ(k[n], diagonal && n == kKernelCentre ? 1.0f : 0.0f) << entry << " tap " << n;
    }
  }

  std::mt19937 rng(1);
  std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
  std::vector<float> in[2];
  const int frames = kFixedLatency + 1500;
  for (auto& ch : in) {
    ch.resize(frames);
    for (auto& v : ch) v = noise(rng);
  }
  for (int n = 0; n < frames; ++n) {
    const auto y = run.Frame(in[0][n], in[1][n]);
    for (int c = 0; c < 2; ++c) {
      const float expected = n >= kFixedLatency ? in[c][n - kFixedLatency] : 0.0f;
      ASSERT_NEAR(y[c], expected, 2e-6) << "channel " << c << " frame " << n;
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
    ParamSnapshot p = BandsOff();
    SetBand(p, 3, c.type, c.frequency, c.gain, c.q, c.channel);
    FirRunner run(p);
    BiquadCascade band;
    DesignBandCascade(band, c.type, c.frequency, c.gain, c.q, 0, kRate);
    double worst = 0;
    for (double f = 100; f < 20000; f *= 1.07) {
      const double omega = 2 * std::numbers::pi * f / kRate;
      const Matrix2 expected = ChannelMatrix(std::abs(CascadeResponse(band, omega)), c.channel);
      const std::complex<double> want[4] = {expected.m00, expected.m01, expected.m10, expected.m11};
      for (int entry = 0; entry < kKernelEntries; ++entry) {
        const auto got = KernelResponse(run.fir.Kernel(entry), omega);
        EXPECT_NEAR(got.imag(), 0.0, 1e-5) << "kernels are symmetric";
        worst = std::max(worst, std::abs(got.real() - want[entry].real()));
      }
    }
    EXPECT_LT(worst, 5e-4) << "type " << c.type << " channel " << c.channel;
  }
}

// The display matrices interpolate the analysed kernel spectrum with the kernel delay removed;
// a new design lands in the incoming set and leaves the active one alone until the swap.
TEST(LinearPhaseFir, DisplayMatricesFollowTheDesignedKernels) {
  ParamSnapshot p = BandsOff();
  SetBand(p, 2, kBell, 1000, 6, 1, kMid);
  FirRunner run(p);
  auto expectMatchesKernels = [&](bool incoming) {
    for (int i = 0; i < kDisplayPoints; i += 8) {
      const double omega = 2 * std::numbers::pi * run.grid[i] / kRate;
      const Matrix2& m = run.fir.DisplayMatrix(i, incoming);
      const std::complex<double> got[4] = {m.m00, m.m01, m.m10, m.m11};
      for (int entry = 0; entry < kKernelEntries; ++entry) {
        const auto want = KernelResponse(run.fir.Kernel(entry), omega);
        EXPECT_NEAR(got[entry].real(), want.real(), 1e-4) << "point " << i << " entry " << entry;
        EXPECT_NEAR(got[entry].imag(), want.imag(), 1e-4) << "point " << i << " entry " << entry;
      }
    }
  };
  expectMatchesKernels(false);

  const int near1k = static_cast<int>(
      std::min_element(run.grid.begin(), run.grid.end(),
                       [](float a, float b) { return std::abs(a - 1000) < std::abs(b - 1000); }) -
      run.grid.begin());
  const double boosted = run.fir.DisplayMatrix(near1k, false).m00.real();
  EXPECT_GT(boosted, 1.4);
  run.target[BandParamIndex(2, kGain)] = -6.0f;
  while (!run.fir.KernelReady()) run.fir.DesignerStep(run.target.data());
  expectMatchesKernels(true);
  EXPECT_EQ(run.fir.DisplayMatrix(near1k, false).m00.real(), boosted);
  EXPECT_LT(run.fir.DisplayMatrix(near1k, true).m00.real(), 0.8);
}

TEST(LinearPhaseFir, BellImpulseResponseIsSymmetricAboutTheLatency) {
  ParamSnapshot p = BandsOff();
  SetBand(p, 0, kBell, 1000, 6, 1);
  FirRunner run(p);
  constexpr int kImpulseAt = 100; // not on a block boundary
  const int centre = kImpulseAt + kFixedLatency;
  std::vector<float> y(centre + kKernelCentre + 600);
  for (int n = 0; n < static_cast<int>(y.size()); ++n) y[n] = run.Frame(n == kImpulseAt, 0)[0];

  const auto peak = std::max_element(y.begin(), y.end(),
                                     [](float a, float b) { return std::abs(a) < std::abs(b); });
  EXPECT_EQ(peak - y.begin(), centre);
  EXPECT_GT(y[centre], 1.0f);
  for (int m = 1; m <= kKernelCentre; ++m) {
    ASSERT_NEAR(y[centre + m], y[centre - m], 1e-6) << m;
  }
  for (int n = 0; n < centre - kKernelCentre; ++n) ASSERT_NEAR(y[n], 0.0f, 1e-6) << n;
  for (int n = centre + kKernelCentre + 1; n < static_cast<int>(y.size()); ++n) {
    ASSERT_NEAR(y[n], 0.0f, 1e-6) << n;
  }
}

TEST(LinearPhaseFir, MidBandCouplesLeftInputIntoRightOutput) {
  ParamSnapshot p = BandsOff();
  SetBand(p, 5, kBell, 1500, 9, 0.8f, kMid);
  FirRunner run(p);
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
  std::vector<float> in(kFixedLatency + 3000);
  for (auto& v : in) v = noise(rng);
  double rightEnergy = 0;
  for (int n = 0; n < static_cast<int>(in.size()); ++n) {
    const auto y = run.Frame(in[n], 0.0f);
    if (n < kFixedLatency) continue;
    rightEnergy += double(y[1]) * y[1];
    // Mid processing of (x, 0): left = (H + 1) x / 2, right = (H - 1) x / 2.
    ASSERT_NEAR(y[0] - y[1], in[n - kFixedLatency], 1e-5) << n;
  }
  EXPECT_GT(rightEnergy / 3000, 0.01);
}

TEST(LinearPhaseFir, DesignerRunsEightStatesWithBoundedSteps) {
  ParamSnapshot p = BandsOff();
  FirRunner run(p);
  SetBand(run.target, 0, kBell, 800, 3, 1);

  int stepsInState[8] = {};
  int steps = 0;
  do {
    ++stepsInState[run.fir.DesignerState()];
    run.fir.DesignerStep(run.target.data());
    ++steps;
  } while (run.fir.DesignerState() != 0 && steps < 20000);
  // 8193 bins / 4; 4 x 14 x 8192 / 128; 8193 taps / 32; 4 x 33 x 9 x 256 / 128; 16384 / 64;
  // again 4 x 14 x 8192 / 128; 256 points / 8.
  const int expected[8] = {1, 2049, 3584, 257, 2376, 256, 3584, 32};
  for (int s = 0; s < 8; ++s) EXPECT_EQ(stepsInState[s], expected[s]) << "state " << s;
  EXPECT_EQ(steps, 12139);
  EXPECT_TRUE(run.fir.KernelReady());
  EXPECT_FALSE(DesignRelevantDiffers(run.fir.LastDesigned(), run.target.data()));
}

TEST(LinearPhaseFir, DesignStartsOnlyForDesignRelevantChangesAndNeverDuringACrossfade) {
  ParamSnapshot p = BandsOff();
  SetBand(p, 2, kBell, 500, 2, 1);
  FirRunner run(p);

  auto stepDesigner = [&](int n) {
    for (int i = 0; i < n; ++i) run.fir.DesignerStep(run.target.data());
  };
  // Dynamics, monitoring and phase parameters do not shape the kernels.
  for (int field : {kDynamic, kThreshold, kRatio, kKnee, kAttack, kRelease, kRange, kDirection,
                    kDetector, kListen}) {
    run.target[BandParamIndex(2, field)] += 1.0f;
  }
  for (int global : {kPhase, kInput, kOutput, kMix, kStereoLink, kBypass, kDelta, kScTrim}) {
    run.target[global] += 1.0f;
  }
  stepDesigner(10);
  EXPECT_EQ(run.fir.DesignerState(), 0);

  // Every design-relevant field, and NaN, counts as a change.
  for (int field : {kEnabled, kType, kFrequency, kGain, kQ, kSlope, kChannel}) {
    ParamSnapshot changed = run.target;
    changed[BandParamIndex(11, field)] += 1.0f;
    EXPECT_TRUE(DesignRelevantDiffers(changed.data(), run.target.data())) << field;
  }
  ParamSnapshot nan = run.target;
  nan[kScale] = std::nanf("");
  EXPECT_TRUE(DesignRelevantDiffers(nan.data(), nan.data()));

  run.target[BandParamIndex(2, kGain)] = 5.0f;
  stepDesigner(1);
  EXPECT_EQ(run.fir.DesignerState(), 1);
  stepDesigner(12138);
  ASSERT_TRUE(run.fir.KernelReady());

  // A further change while the finished set waits for its swap, and during the crossfade,
  // starts nothing; the crossfade takes 8 blocks.
  run.target[BandParamIndex(2, kGain)] = -4.0f;
  stepDesigner(3);
  EXPECT_EQ(run.fir.DesignerState(), 0);
  for (int block = 0; block < 8; ++block) {
    run.fir.BlockStep();
    EXPECT_EQ(run.fir.CrossfadeCount(), kKernelCrossfade - (block + 1) * kFirBlock);
    stepDesigner(kFirBlock - 1);
    EXPECT_EQ(run.fir.DesignerState(), block < 7 ? 0 : 1) << block;
  }
  EXPECT_FALSE(run.fir.KernelReady());
}

// A Gain step while audio runs: the output must be the sample-exact blend of what the old
// and the new kernels play, which keeps it continuous.
TEST(LinearPhaseFir, GainStepCrossfadesContinuously) {
  ParamSnapshot before = BandsOff();
  SetBand(before, 0, kBell, 1000, 0, 1);
  ParamSnapshot after = before;
  after[BandParamIndex(0, kGain)] = 6.0f;

  FirRunner oldOnly(before), newOnly(after), switching(before);
  constexpr int kFrames = 24000;
  constexpr int kChangeAt = 3000;
  const double omega = 2 * std::numbers::pi * 1000 / kRate;
  std::vector<float> a(kFrames), b(kFrames), y(kFrames);
  int crossfadeStart = -1;
  double maxProgress = 0;
  for (int n = 0; n < kFrames; ++n) {
    const float x = static_cast<float>(0.5 * std::sin(omega * n));
    if (n == kChangeAt) switching.target = after;
    a[n] = oldOnly.Frame(x, x)[0];
    b[n] = newOnly.Frame(x, x)[0];
    y[n] = switching.Frame(x, x)[0];
    if (crossfadeStart < 0 && switching.fir.CrossfadeCount() > 0) {
      crossfadeStart = n + 1;
    }
    const double progress = switching.fir.CrossfadeProgress(switching.q);
    if (crossfadeStart >= 0 && switching.fir.CrossfadeCount() > 0) {
      EXPECT_NEAR(progress, (n + 1 - crossfadeStart) / 2048.0, 1e-12) << n;
    }
    maxProgress = std::max(maxProgress, progress);
  }
  ASSERT_GT(crossfadeStart, kChangeAt + 12000);
  ASSERT_LT(crossfadeStart + kKernelCrossfade, kFrames - 1000);
  EXPECT_GT(maxProgress, 0.85);

  double maxStep = 0;
  for (int n = kFixedLatency + 1; n < kFrames; ++n) {
    const int k = n - crossfadeStart;
    const double w = k < 0 ? 0.0 : std::min(1.0, k / 2048.0);
    ASSERT_NEAR(y[n], (1 - w) * a[n] + w * b[n], 5e-6) << "frame " << n;
    maxStep = std::max(maxStep, std::abs(double(y[n]) - y[n - 1]));
  }
  // The sine's own largest step at its final amplitude (about 1.0) is 2 sin(omega / 2).
  EXPECT_LT(maxStep, 1.02 * 2 * std::sin(omega / 2));
  EXPECT_NEAR(*std::max_element(y.end() - 500, y.end()), 0.5 * std::pow(10.0, 6.0 / 20), 0.01);
}

} // namespace
} // namespace coral
