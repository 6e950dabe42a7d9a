// The linear-phase path: FIR frames against exact delays and closed-form spectra, the
// designer's schedule, kernel swaps, skipped convolutions and the editor's FIR target cache.

#include <random>

#include "engine/FirResponseCache.h"
#include "tests/engine/EngineHarness.h"

namespace coral::test {

// With every band off the diagonal kernels are a unit impulse at the centre tap; with a Mid
// band a left-only input reaches the right output through K10, and since Mid maps (x, 0) to
// ((H + 1) x / 2, (H - 1) x / 2) the difference of the outputs is the delayed input, which
// for H != 1 it cannot be without that coupling.
TEST(LinearPhaseFir, OutputIsTheInputDelayedByTheFixedLatency) {
  FirRunner off(AllBandsOff());
  for (int entry = 0; entry < kKernelEntries; ++entry)
    for (int n = 0; n < kKernelTaps; ++n)
      ASSERT_EQ(off.fir.Kernel(entry)[n], entry % 3 == 0 && n == kKernelCentre ? 1.0f : 0.0f) << n;
  FirRunner mid(WithBand(AllBandsOff(), 5, kBell, 1500, 9, 0.8, kMid));

  const int frames = kFixedLatency + 2000;
  const auto left = Noise(frames, 1), right = Noise(frames, 2);
  for (int n = 0; n < frames; ++n) {
    const auto y = off.Frame(left[n], right[n]), m = mid.Frame(left[n], 0.0f);
    const bool late = n >= kFixedLatency;
    ASSERT_NEAR(y[0], late ? left[n - kFixedLatency] : 0.0f, 2e-6) << n;
    ASSERT_NEAR(y[1], late ? right[n - kFixedLatency] : 0.0f, 2e-6) << n;
    ASSERT_NEAR(m[0] - m[1], late ? left[n - kFixedLatency] : 0.0f, 1e-5) << n;
  }
}

TEST(LinearPhaseFir, BellImpulseResponseIsSymmetricAboutTheLatency) {
  FirRunner run(WithBand(AllBandsOff(), 0, kBell, 1000, 6, 1));
  constexpr int kImpulseAt = 100; // not on a block boundary
  const int centre = kImpulseAt + kFixedLatency;
  std::vector<float> y(2 * centre + 1);
  for (int n = 0; n < int(y.size()); ++n) y[n] = run.Frame(n == kImpulseAt, 0)[0];
  EXPECT_GT(y[centre], 1.0f);
  for (int m = 1; m < centre; ++m) {
    ASSERT_NEAR(y[centre + m], y[centre - m], 1e-6) << m;
    // Below the peak within the kernel's half length, silent beyond it.
    ASSERT_LT(std::abs(y[centre - m]), m > kKernelCentre ? 1e-6f : y[centre]) << m;
  }
}

// Designed kernels against the sampled zero-phase target they were built from, which the
// test forms from the band's closed-form analog prototype.
TEST(LinearPhaseFir, KernelSpectrumFollowsSampledTarget) {
  // Type, frequency, gain, Q, channel.
  const double cases[][5] = {{kBell, 1000, 6, 1, kStereo},
                             {kHighShelf, 4000, -5, 0.7071, kLeft},
                             {kBell, 2000, -8, 2, kMid},
                             {kLowShelf, 300, 4, 0.7071, kSide}};
  for (const auto& c : cases) {
    FirRunner run(WithBand(AllBandsOff(), 3, int(c[0]), c[1], c[2], c[3], int(c[4])));
    double worst = 0;
    for (double f = 100; f < 20000; f *= 1.07) {
      const double h = AnalogMagnitude(int(c[0]), f, c[1], 48000, c[2], c[3]);
      const Matrix2 m = ChannelMatrix(h, int(c[4]));
      const std::complex<double> want[4] = {m.m00, m.m01, m.m10, m.m11};
      for (int entry = 0; entry < kKernelEntries; ++entry) {
        const auto got = KernelResponse(run.fir.Kernel(entry), 2 * kPi * f / 48000);
        EXPECT_NEAR(got.imag(), 0.0, 1e-5) << "kernels are symmetric";
        worst = std::max(worst, std::abs(got.real() - want[entry].real()));
      }
    }
    EXPECT_LT(worst, 5e-4) << "type " << c[0] << " channel " << c[4];
  }
}

// The designer's transforms against double-precision direct evaluation: each kernel is the
// Kaiser-windowed inverse DFT of the sampled response it was designed from, and each display
// value the DFT of the kernel (the centre delay removed) interpolated between the two bins
// around the display frequency. Errors are measured in single-precision units of the scale of
// the entry's response.
TEST(LinearPhaseFir, KernelsAndDisplayValuesMatchDirectEvaluation) {
  constexpr int kSize = kDesignFftSize, kHalf = kDesignFftSize / 2;
  std::vector<std::complex<double>> unit(kSize); // e^{-j 2 pi t / 16384}
  for (int t = 0; t < kSize; ++t) unit[t] = std::polar(1.0, -2 * kPi * t / kSize);
  const ParamSnapshot cases[] = {
      WithBand(WithBand(AllBandsOff(), 0, kBell, 1000, 6, 1), 4, kHighShelf, 6000, -4, 0.7071,
               kLeft),
      WithBand(WithBand(AllBandsOff(), 2, kLowShelf, 200, 5, 0.7071, kMid), 7, kHighPass, 30, 0,
               0.7071)};
  for (const ParamSnapshot& p : cases) {
    FirRunner run(p);
    BiquadCascade cascades[kNumBands];
    DesignKernelCascades(cascades, p.data(), 48000);
    DesignMagnitudes magnitudes;
    magnitudes.Allocate();
    magnitudes.Begin(cascades, p.data());
    ZeroPhaseResponse response;
    for (auto& r : response) r.assign(kDesignBins, 0.0f);
    SampleZeroPhaseBins(response, magnitudes, p.data(), 0, kDesignBins);
    for (int entry = 0; entry < kKernelEntries; ++entry) {
      const float* r = response[entry].data();
      const float* kernel = run.fir.Kernel(entry) + kKernelCentre; // kernel[m], |m| <= 4096
      double scale = 0;
      for (int k = 0; k < kDesignBins; ++k) scale = std::max(scale, std::abs(double(r[k])));
      if (scale == 0) continue;
      const double ulp = scale * std::numeric_limits<float>::epsilon();
      double kernelError = 0, displayError = 0;
      // The real even response's inverse DFT: (r0 + (-1)^m r8192 + 2 sum r[k] cos) / 16384.
      for (int m = 0; m <= kKernelCentre; m += 3) {
        double sum = r[0] + (m % 2 ? -1.0 : 1.0) * r[kHalf];
        for (int k = 1; k < kHalf; ++k) sum += 2.0 * r[k] * unit[(k * m) % kSize].real();
        const double want = sum / kSize * KaiserWindow(kKernelCentre + m);
        kernelError = std::max(
            {kernelError, std::abs(kernel[m] - want) / ulp, std::abs(kernel[-m] - want) / ulp});
      }
      const auto bin = [&](int k) {
        std::complex<double> sum = 0;
        for (int m = -kKernelCentre; m <= kKernelCentre; ++m)
          sum += double(kernel[m]) * unit[((k * m) % kSize + kSize) % kSize];
        return sum;
      };
      for (int point = 0; point < kDisplayPoints; ++point) {
        const double x = run.grid[point] * double(kSize) / 48000;
        const int k = int(x);
        const std::complex<double> want = (k + 1 - x) * bin(k) + (x - k) * bin(k + 1);
        const Matrix2& m = run.fir.DisplayMatrix(run.fir.ActiveSet(), point);
        const std::complex<double> got[] = {m.m00, m.m01, m.m10, m.m11};
        displayError = std::max(displayError, std::abs(got[entry] - want) / ulp);
      }
      EXPECT_LT(kernelError, 4.0) << "entry " << entry;
      EXPECT_LT(displayError, 4.0) << "entry " << entry;
    }
  }
}

TEST(LinearPhaseFir, DesignerStartsOnlyForKernelChangesAndRunsEightBoundedStates) {
  FirRunner run(WithBand(AllBandsOff(), 2, kBell, 500, 2, 1));
  auto stepDesigner = [&](int n) {
    for (int i = 0; i < n; ++i) run.fir.SetTarget(run.target.data()), run.fir.DesignerStep();
  };

  // Dynamics, monitoring and global parameters other than Scale do not shape the kernels.
  for (int field = kDynamic; field <= kListen; ++field)
    if (field != kChannel) run.target[BandParamIndex(2, field)] += 1.0f;
  for (int global = 0; global < kNumGlobalParams; ++global)
    if (global != kScale) run.target[global] += 1.0f;
  stepDesigner(10);
  EXPECT_EQ(run.fir.DesignerState(), 0);
  const int designFields[] = {kEnabled, kType, kFrequency, kGain, kQ, kSlope, kChannel, -1};
  for (int field : designFields) {
    const int index = field < 0 ? int(kScale) : BandParamIndex(11, field);
    ParamSnapshot changed = run.target;
    changed[index] = NAN; // differs from any value, itself included
    EXPECT_TRUE(DesignRelevantDiffers(changed.data(), run.target.data()) &&
                DesignRelevantDiffers(changed.data(), changed.data()))
        << index;
  }

  // Steps per state: 8193 bins / 4; 4 x 14 x 8192 butterflies / 128; 8193 taps / 32;
  // 4 x 33 x 9 x 256 butterflies / 128; 16384 bins / 64; 4 x 14 x 8192 / 128; 256 points / 8.
  run.target[BandParamIndex(2, kGain)] = 5.0f;
  int stepsInState[8] = {1}; // the idle step that starts the design
  for (stepDesigner(1); run.fir.DesignerState() != 0; stepDesigner(1))
    ++stepsInState[run.fir.DesignerState()];
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
  EXPECT_TRUE(run.fir.DesignerState() == 1 && run.fir.KernelReady());
  // Without block steps the new design holds before its first write into the waiting set.
  stepDesigner(8000);
  EXPECT_TRUE(run.fir.DesignerState() == KernelDesigner::kWindow && run.fir.KernelReady());
  run.fir.BlockStep();
  EXPECT_EQ(run.fir.CrossfadeCount(), kKernelCrossfade - kFirBlock);
}

// A Gain step while audio runs: the output is the sample-exact blend of what the old and
// the new kernels play, which keeps it continuous.
TEST(LinearPhaseFir, GainStepCrossfadesContinuously) {
  const ParamSnapshot before = WithBand(AllBandsOff(), 0, kBell, 1000, 0, 1);
  const ParamSnapshot after = WithBand(before, 0, kBell, 1000, 6, 1);
  FirRunner oldOnly(before), newOnly(after), switching(before);

  constexpr int kFrames = 24000, kChangeAt = 3000;
  const double omega = 2 * kPi * 1000 / 48000;
  int start = -1; // first frame played from a crossfaded block
  double maxStep = 0, previous = 0, peak = 0;
  for (int n = 0; n < kFrames; ++n) {
    const float x = float(0.5 * std::sin(omega * n));
    if (n == kChangeAt) switching.target = after;
    const float a = oldOnly.Frame(x, x)[0], b = newOnly.Frame(x, x)[0],
                y = switching.Frame(x, x)[0];
    const double w = start < 0 ? 0 : std::clamp((n - start) / 2048.0, 0.0, 1.0);
    ASSERT_NEAR(y, (1 - w) * a + w * b, 5e-6) << "frame " << n;
    maxStep = std::max(maxStep, std::abs(y - previous)), previous = y;
    if (n > kFrames - 500) peak = std::max(peak, previous);
    if (switching.fir.CrossfadeCount() > 0) {
      if (start < 0) start = n + 1;
      EXPECT_NEAR(switching.fir.CrossfadeProgress(switching.q), (n + 1 - start) / 2048.0, 1e-12);
    }
  }
  ASSERT_GT(start, kChangeAt + 12000);
  ASSERT_LT(start + kKernelCrossfade, kFrames - 1000);
  // The sine's own largest step at its final amplitude (about 1.0) is 2 sin(omega / 2).
  EXPECT_LT(maxStep, 1.02 * 2 * std::sin(omega / 2));
  EXPECT_NEAR(peak, 0.5 * std::pow(10.0, 6.0 / 20), 0.01);
}

// Block steps may leave out the convolutions while nobody listens; the output computed on
// demand afterwards is bit-identical to always convolving, also across kernel swaps, and also
// when the kernels' last tap is non-zero (a long-ringing band), so that recomputing the tail
// of the block before reaches one block past the 33 a block's own convolution reads.
TEST(LinearPhaseFir, SkippedConvolutionsAreRecomputedExactly) {
  struct Case {
    const char* name;
    int type;
    double frequency, gain, q;
    int channel;
    bool lastTapNonZero;
  };
  const Case cases[] = {{"mid bell", kBell, 700, 5, 2, kMid, false},
                        {"narrow low bell", kBell, 25, 9, 12, kStereo, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ParamSnapshot p = WithBand(AllBandsOff(), 1, c.type, c.frequency, c.gain, c.q, c.channel);
    FirRunner always(p), lazy(p);
    EXPECT_EQ(always.fir.Kernel(0)[kKernelTaps - 1] != 0.0f, c.lastTapNonZero);
    const std::vector<float> left = Noise(60000, 5), right = Noise(60000, 6);
    std::mt19937 rng(11);
    bool listening = true;
    int compared = 0;
    for (int n = 0; n < 60000; ++n) {
      if (n == 2000 || n == 21000) // new kernels and a crossfade while skipping
        always.target[BandParamIndex(1, kGain)] = lazy.target[BandParamIndex(1, kGain)] -= 4.0f;
      if (rng() % 97 == 0) listening = !listening;
      if (listening && lazy.fir.OutputStale()) lazy.fir.EnsureOutput();
      const auto a = always.Frame(left[n], right[n]);
      const auto b = lazy.Frame(left[n], right[n], listening && rng() % 3 != 0);
      ASSERT_TRUE(!listening || a == b) << n;
      compared += listening;
    }
    EXPECT_GT(compared, 20000);
  }
}

TEST(FirResponseCache, TargetIsTheResponseOfTheDesignedKernels) {
  ParamSnapshot p = WithBand(AllBandsOff(), 0, kLowShelf, 150, 5, 0.7071, kLeft);
  p = WithBand(WithBand(p, 4, kBell, 2000, 6, 1.5, kMid), 9, kHighPass, 40, 0, 0.7071);
  p[kPhase] = 1.0f;
  FirRunner designed(p);
  FirResponseCache cache;
  for (double f : {25.0, 150.0, 700.0, 2000.0, 5500.0, 15000.0}) {
    const double w = 2 * kPi * f / 48000;
    const auto k = [&](int e) { return KernelResponse(designed.fir.Kernel(e), w); };
    const Matrix2 m{k(0), k(1), k(2), k(3)};
    for (int row : {0, 1})
      EXPECT_NEAR(cache.RowEnergyAt(f, p, 48000, row), RowEnergy(m, row), 1e-6) << f << row;
  }
  EXPECT_EQ(cache.RebuildCount(), 1);
}

TEST(FirResponseCache, RebuildsOnlyWhenTheKeyChanges) {
  ParamSnapshot p = WithBand(AllBandsOff(), 1, kBell, 1000, 6, 1);
  FirResponseCache cache;
  EXPECT_EQ(cache.RebuildCount(), 0);
  EXPECT_NEAR(cache.RowEnergyAt(1000, p, 48000, 0), 6.0, 0.01);
  cache.RowEnergyAt(300, p, 48000, 1);
  SetBand(p, 1, kAttack, 50, kThreshold, -40);
  p[kOutput] = 3;
  cache.RowEnergyAt(1000, p, 48000, 0);
  EXPECT_EQ(cache.RebuildCount(), 1);
  // Gain, sample rate and Scale are part of the key: one rebuild each.
  SetBand(p, 1, kGain, 3);
  EXPECT_NEAR(cache.RowEnergyAt(1000, p, 48000, 0), 3.0, 0.01);
  cache.RowEnergyAt(1000, p, 44100, 0);
  p[kScale] = 0;
  EXPECT_NEAR(cache.RowEnergyAt(1000, p, 44100, 0), 0.0, 1e-4);
  EXPECT_EQ(cache.RebuildCount(), 4);
}

} // namespace coral::test
