// The analyzer read through the running engine: full-scale sines read 0 dBFS in both channels
// and -3 dBFS in one, Hann scalloping between bins, speeds, Analyzer off and Bypass.

#include <gtest/gtest.h>

#include <cmath>

#include "engine/EngineState.h"
#include "engine/EqEngine.h"
#include "tests/engine/EngineHarness.h"

namespace coral {
namespace {

using test::Stereo;

// Index of the display point whose grid frequency is nearest to f on a log scale.
int NearestPoint(const EqEngine& e, double f) {
  int best = 0;
  for (int i = 1; i < kDisplayPoints; ++i)
    if (std::abs(std::log(e.DisplayGrid()[i] / f)) < std::abs(std::log(e.DisplayGrid()[best] / f)))
      best = i;
  return best;
}

DisplaySnapshot RunSine(EqEngine& engine, double f, double fs, double seconds, bool bothChannels,
                        double amplitude = 1.0) {
  Stereo in{std::size_t(seconds * fs)};
  in.l = test::Sine(in.size(), f, fs, amplitude);
  if (bothChannels) in.r = in.l;
  test::Run(engine, in);
  DisplaySnapshot snap;
  engine.GetDisplaySnapshot(snap);
  return snap;
}

ParamSnapshot FastAnalyzer() {
  ParamSnapshot p = test::Defaults();
  p[kAnalyzerSpeed] = 0;
  return p;
}

TEST(SpectrumAnalyzer, BinCentredFullScaleSinesReadZeroAndMinusThreeDbfs) {
  for (double fs : {44100.0, 48000.0, 96000.0}) {
    for (int bin : {12, 93, 700, 1500}) {
      const double f = bin * fs / kAnalyzerSize;
      for (bool both : {true, false}) {
        EqEngine engine;
        test::Prepare(engine, FastAnalyzer(), fs);
        const DisplaySnapshot snap = RunSine(engine, f, fs, 1.0, both);
        const int i = NearestPoint(engine, f);
        const double expected = both ? 0.0 : 10 * std::log10(0.5);
        EXPECT_NEAR(snap.inputSpectrum[i], expected, 0.01) << fs << " Hz, bin " << bin;
        EXPECT_NEAR(snap.outputSpectrum[i], expected, 0.01) << fs << " Hz, bin " << bin;
      }
    }
  }
}

TEST(SpectrumAnalyzer, BetweenBinsTheHannScallopingLowersTheReadingByAtMost142) {
  const double fs = 48000;
  EqEngine engine;
  test::Prepare(engine, FastAnalyzer(), fs);
  const double f = 300.5 * fs / kAnalyzerSize; // halfway between two bins: worst case
  const DisplaySnapshot snap = RunSine(engine, f, fs, 1.0, true);
  const double reading = snap.inputSpectrum[NearestPoint(engine, f)];
  // Hann window response half a bin off centre: sinc(0.5) / (1 - 0.25) = 0.8488 -> -1.42 dB.
  const double scallop = 20 * std::log10((2 / std::numbers::pi) / 0.75);
  EXPECT_NEAR(reading, scallop, 0.02);
}

TEST(SpectrumAnalyzer, SpeedSetsTheSmoothingTimeConstant) {
  const double fs = 48000, f = 100 * fs / kAnalyzerSize;
  ParamSnapshot p = test::Defaults();
  p[kAnalyzerSpeed] = 2; // Slow: 0.8 s
  EqEngine slow;
  test::Prepare(slow, p, fs);
  const DisplaySnapshot early = RunSine(slow, f, fs, 1.0, true);
  EXPECT_LT(early.inputSpectrum[NearestPoint(slow, f)], -1.0);
  const DisplaySnapshot late = RunSine(slow, f, fs, 8.0, true);
  EXPECT_NEAR(late.inputSpectrum[NearestPoint(slow, f)], 0.0, 0.05);

  EqEngine fast;
  test::Prepare(fast, FastAnalyzer(), fs);
  const DisplaySnapshot quick = RunSine(fast, f, fs, 0.6, true);
  EXPECT_NEAR(quick.inputSpectrum[NearestPoint(fast, f)], 0.0, 0.05);
}

TEST(SpectrumAnalyzer, OffPublishesTheFloorAndBypassMirrorsTheInput) {
  const double fs = 48000;
  ParamSnapshot p = test::Defaults();
  p[kAnalyzer] = 0;
  EqEngine off;
  test::Prepare(off, p, fs);
  const DisplaySnapshot snap = RunSine(off, 1000, fs, 0.5, true);
  for (int i = 0; i < kDisplayPoints; ++i) {
    ASSERT_EQ(snap.inputSpectrum[i], -120.0f);
    ASSERT_EQ(snap.outputSpectrum[i], -120.0f);
  }

  p = test::Defaults();
  p[kBypass] = 1;
  test::SetBand(p, 0, kGain, 12);
  EqEngine bypass;
  test::Prepare(bypass, p, fs);
  Stereo in{std::size_t(fs)};
  in.l = test::Noise(in.size(), 9);
  in.r = test::Noise(in.size(), 10);
  test::Run(bypass, in);
  DisplaySnapshot b;
  bypass.GetDisplaySnapshot(b);
  EXPECT_EQ(b.inputSpectrum, b.outputSpectrum);
  EXPECT_GT(b.inputSpectrum[128], -60.0f);
}

TEST(SpectrumAnalyzer, EveryPointReadsAtLeastOneBinAndNeverDc) {
  for (double fs : {22050.0, 48000.0, 192000.0}) {
    EqEngine engine;
    test::Prepare(engine, test::Defaults(), fs);
    const SpectrumAnalyzer& a = engine.State().analyzer;
    for (int i = 0; i < kDisplayPoints; ++i) {
      ASSERT_GE(a.FirstBin(i), 1);
      ASSERT_GE(a.LastBin(i), a.FirstBin(i));
      ASSERT_LE(a.LastBin(i), kAnalyzerSize / 2 - 1);
      const double f = engine.DisplayGrid()[i] * kAnalyzerSize / fs;
      ASSERT_LE(a.FirstBin(i), std::max(1.0, std::ceil(f))) << i;
      ASSERT_GE(a.LastBin(i), std::floor(f)) << i;
    }
  }
}

} // namespace
} // namespace coral
