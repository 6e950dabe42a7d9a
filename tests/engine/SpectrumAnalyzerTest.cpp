// The analyzer read through the running engine: full-scale sines read 0 dBFS in both channels
// and -3 dBFS in one, Hann scalloping between bins, speeds, Analyzer off and Bypass.

#include "engine/EngineState.h"
#include "tests/engine/EngineHarness.h"

namespace coral::test {

// Input spectrum at the display point nearest to `f` (on a log scale) after `seconds` more of
// a full-scale sine at `f` in the left or both channels; the output reads the same.
double Reading(Engine& engine, double f, double seconds, bool both = true) {
  const std::size_t n = std::size_t(seconds * engine.SampleRate());
  const std::vector<float> sine = Sine(n, f, engine.SampleRate());
  engine.Run({sine, both ? sine : std::vector<float>(n)});
  const float* g = engine.DisplayGrid();
  int i = 0;
  for (int k = 1; k < kDisplayPoints; ++k)
    i = std::abs(std::log(g[k] / f)) < std::abs(std::log(g[i] / f)) ? k : i;
  EXPECT_EQ(engine.Snap().inputSpectrum[i], engine.Snap().outputSpectrum[i]);
  return engine.Snap().inputSpectrum[i];
}

TEST(SpectrumAnalyzer, FullScaleSinesReadTheirLevel) {
  for (double fs : {44100.0, 48000.0, 96000.0})
    for (int bin : {12, 93, 700, 1500})
      for (bool both : {true, false}) {
        Engine engine(With(DefaultSnapshot(), kAnalyzerSpeed, 0), fs);
        EXPECT_NEAR(Reading(engine, bin * fs / kAnalyzerSize, 1.0, both), both ? 0 : Db(0.5) / 2,
                    0.01)
            << fs << " Hz, bin " << bin;
      }
  // Halfway between two bins the Hann window response is sinc(0.5) / (1 - 0.25) = 0.8488:
  // the worst-case scalloping, -1.42 dB.
  Engine engine(With(DefaultSnapshot(), kAnalyzerSpeed, 0));
  EXPECT_NEAR(Reading(engine, 300.5 * 48000 / kAnalyzerSize, 1.0), Db(2 / kPi / 0.75), 0.02);
}

TEST(SpectrumAnalyzer, SpeedSetsTheSmoothingTimeConstant) {
  const double f = 100 * 48000.0 / kAnalyzerSize;
  Engine slow(With(DefaultSnapshot(), kAnalyzerSpeed, 2)),
      fast(With(DefaultSnapshot(), kAnalyzerSpeed, 0)); // 0.8 s and fast
  EXPECT_LT(Reading(slow, f, 1.0), -1.0);
  EXPECT_NEAR(Reading(slow, f, 8.0), 0.0, 0.05);
  EXPECT_NEAR(Reading(fast, f, 0.6), 0.0, 0.05);
}

TEST(SpectrumAnalyzer, OffPublishesTheFloorAndBypassMirrorsTheInput) {
  Engine off(With(DefaultSnapshot(), kAnalyzer, 0));
  off.Run(Stereo(Sine(24000, 1000, 48000)));
  for (float v : off.Snap().inputSpectrum) ASSERT_EQ(v, -120.0f);
  for (float v : off.Snap().outputSpectrum) ASSERT_EQ(v, -120.0f);

  Engine bypass(With(DefaultSnapshot(), kBypass, 1, BandParamIndex(0, kGain), 12));
  bypass.Run({Noise(48000, 9), Noise(48000, 10)});
  EXPECT_EQ(bypass.Snap().inputSpectrum, bypass.Snap().outputSpectrum);
  EXPECT_GT(bypass.Snap().inputSpectrum[128], -60.0f);
}

TEST(SpectrumAnalyzer, EveryPointReadsAtLeastOneBinAndNeverDc) {
  for (double fs : {22050.0, 48000.0, 192000.0}) {
    const Engine engine(DefaultSnapshot(), fs);
    const SpectrumAnalyzer& a = engine.State().analyzer;
    for (int i = 0; i < kDisplayPoints; ++i) {
      const double f = engine.DisplayGrid()[i] * kAnalyzerSize / fs; // in bins
      ASSERT_TRUE(a.FirstBin(i) >= 1 && a.LastBin(i) >= a.FirstBin(i)) << i;
      ASSERT_LE(a.LastBin(i), kAnalyzerSize / 2 - 1);
      ASSERT_LE(a.FirstBin(i), std::max(1.0, std::ceil(f))) << i;
      ASSERT_GE(a.LastBin(i), std::floor(f)) << i;
    }
  }
}

} // namespace coral::test
