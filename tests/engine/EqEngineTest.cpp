// The engine frame: alignment, routing of trims, Mix, Delta, Listen and Bypass, parameter
// intake, and the minimum-phase band chain heard through the running engine.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/EngineState.h"
#include "engine/EqEngine.h"
#include "tests/engine/EngineHarness.h"

namespace coral {
namespace {

using test::Stereo;

constexpr int kL = kFixedLatency;

Stereo NoiseInput(std::size_t n, unsigned seed = 1) {
  Stereo s;
  s.l = test::Noise(n, seed);
  s.r = test::Noise(n, seed + 17);
  return s;
}

// True when out[i] == in[i - latency] bit for bit (and the first `latency` samples are 0).
::testing::AssertionResult DelayedExactly(const Stereo& in, const Stereo& out, int latency,
                                          std::size_t from = 0) {
  for (std::size_t i = from; i < out.size(); ++i) {
    const float el = i >= std::size_t(latency) ? in.l[i - latency] : 0.0f;
    const float er = i >= std::size_t(latency) ? in.r[i - latency] : 0.0f;
    if (out.l[i] != el || out.r[i] != er)
      return ::testing::AssertionFailure() << "sample " << i << ": " << out.l[i] << "," << out.r[i]
                                           << " expected " << el << "," << er;
  }
  return ::testing::AssertionSuccess();
}

TEST(EqEngine, DefaultSettingsAreTheInputDelayedBitForBit) {
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    EqEngine engine;
    test::Prepare(engine, test::Defaults(), rate);
    const Stereo in = NoiseInput(3 * kL + 123);
    for (int chunk : {512, 17, 1}) {
      EqEngine e;
      test::Prepare(e, test::Defaults(), rate);
      EXPECT_TRUE(DelayedExactly(in, test::Run(e, in, chunk), kL)) << rate << " chunk " << chunk;
    }
  }
}

TEST(EqEngine, BypassMixZeroAndDisabledBandsKeepTheExactDelay) {
  const Stereo in = NoiseInput(3 * kL);
  // Bypass overrides trims, Mix, Delta, Listen and every band.
  ParamSnapshot p = test::Defaults();
  p[kBypass] = 1, p[kInput] = 12, p[kOutput] = -7, p[kMix] = 30, p[kDelta] = 1;
  test::SetBand(p, 0, kGain, 9);
  test::SetBand(p, 1, kListen, 1);
  EqEngine bypass;
  test::Prepare(bypass, p, 48000);
  EXPECT_TRUE(DelayedExactly(in, test::Run(bypass, in), kL));

  // Mix 0 with Output 0 dB: the untrimmed dry, although Input and the bands change the wet.
  p = test::Defaults();
  p[kMix] = 0, p[kInput] = -6;
  test::SetBand(p, 2, kGain, -12);
  EqEngine dry;
  test::Prepare(dry, p, 48000);
  EXPECT_TRUE(DelayedExactly(in, test::Run(dry, in), kL));

  // Unity EQ of every band type with gain 0 and Scale 0%.
  p = test::Defaults();
  p[kScale] = 0;
  for (int b = 0; b < kNumBands; ++b) {
    test::SetBand(p, b, kEnabled, 1);
    test::SetBand(p, b, kType, float(b % 3 == 0 ? kBell : b % 3 == 1 ? kLowShelf : kTilt));
    test::SetBand(p, b, kGain, 18);
  }
  EqEngine unity;
  test::Prepare(unity, p, 48000);
  EXPECT_TRUE(DelayedExactly(in, test::Run(unity, in), kL));
}

TEST(EqEngine, BypassRampsOverThreeMillisecondsAfterTheFirstBlock) {
  ParamSnapshot p = test::Defaults();
  p[kOutput] = -20;
  EqEngine engine;
  test::Prepare(engine, p, 48000);
  Stereo ones(2 * kL);
  std::fill(ones.l.begin(), ones.l.end(), 1.0f);
  std::fill(ones.r.begin(), ones.r.end(), 1.0f);
  Stereo out = test::Run(engine, ones);
  EXPECT_NEAR(out.l.back(), 0.1f, 1e-6);
  p[kBypass] = 1;
  engine.SetParams(p);
  out = test::Run(engine, ones);
  // One-pole ramp with a 3 ms time constant: 1 - e^-1 of the way after 144 frames.
  EXPECT_NEAR(out.l[143], 0.1 + 0.9 * (1 - std::exp(-1.0)), 1e-5);
  EXPECT_EQ(out.l.back(), 1.0f);
}

TEST(EqEngine, DeltaWithEveryBandDisabledIsSilentAndDeltaOfABandIsDryMinusWet) {
  const Stereo in = NoiseInput(2 * kL);
  ParamSnapshot p = test::AllBandsOff();
  p[kDelta] = 1;
  EqEngine engine;
  test::Prepare(engine, p, 48000);
  const Stereo out = test::Run(engine, in);
  for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out.l[i], 0.0f) << i;

  // Delta of a +6 dB bell against the same engine without Delta: dry - wet == -(wet - dry).
  p = test::AllBandsOff();
  test::SetBand(p, 0, kEnabled, 1);
  test::SetBand(p, 0, kGain, 6);
  test::SetBand(p, 0, kFrequency, 1000);
  EqEngine wet, delta;
  test::Prepare(wet, p, 48000);
  p[kDelta] = 1;
  test::Prepare(delta, p, 48000);
  const Stereo w = test::Run(wet, in), d = test::Run(delta, in);
  for (std::size_t i = kL; i < in.size(); ++i)
    ASSERT_NEAR(d.l[i], in.l[i - kL] - w.l[i], 1e-6) << i;
}

TEST(EqEngine, TrimsAndMixScaleTheWetAndNotTheDry) {
  ParamSnapshot p = test::AllBandsOff();
  p[kInput] = 6, p[kOutput] = -6, p[kMix] = 50;
  EqEngine engine;
  test::Prepare(engine, p, 48000);
  const Stereo in = NoiseInput(2 * kL);
  const Stereo out = test::Run(engine, in);
  const double gIn = std::pow(10.0, 6 / 20.0), gOut = std::pow(10.0, -6 / 20.0);
  for (std::size_t i = kL; i < in.size(); ++i) {
    const double dry = in.l[i - kL];
    const double wet = float(dry * gIn);
    ASSERT_NEAR(out.l[i], (0.5 * dry + 0.5 * wet) * gOut, 1e-6) << i;
  }
}

TEST(EqEngine, ListenPlaysTheBandPassedDetectorSignalAligned) {
  // A 1 kHz listen band hears a 1 kHz sine at full level and a 100 Hz sine far down.
  ParamSnapshot p = test::AllBandsOff();
  test::SetBand(p, 4, kEnabled, 1);
  test::SetBand(p, 4, kFrequency, 1000);
  test::SetBand(p, 4, kQ, 2);
  test::SetBand(p, 4, kListen, 1);
  p[kOutput] = -6;
  for (double f : {1000.0, 100.0}) {
    EqEngine engine;
    test::Prepare(engine, p, 48000);
    Stereo in(3 * kL);
    in.l = in.r = test::Sine(in.size(), f, 48000, 0.5);
    const Stereo out = test::Run(engine, in);
    const double gain = test::Rms(out.l, 2 * kL, 3 * kL) / test::Rms(in.l, kL, 2 * kL);
    const double w =
        std::tan(std::numbers::pi * f / 48000) / std::tan(std::numbers::pi * 1000 / 48000);
    const double bandPass = (w / 2) / std::sqrt((1 - w * w) * (1 - w * w) + (w / 2) * (w / 2));
    EXPECT_NEAR(test::Db(gain), test::Db(bandPass) - 6, 0.05) << f;
  }
  // Listen is silent for 4352 frames after the start, like every other path.
  EqEngine engine;
  test::Prepare(engine, p, 48000);
  Stereo in(kL + 64);
  in.l = in.r = test::Sine(in.size(), 1000, 48000);
  const Stereo out = test::Run(engine, in);
  EXPECT_EQ(out.l[kL - 1], 0.0f);
  EXPECT_NE(out.l[kL + 40], 0.0f);
}

TEST(EqEngine, SineThroughTheChainFollowsTheDesignedResponse) {
  ParamSnapshot p = test::AllBandsOff();
  test::SetBand(p, 0, kEnabled, 1);
  test::SetBand(p, 0, kType, kBell);
  test::SetBand(p, 0, kFrequency, 2000);
  test::SetBand(p, 0, kGain, 9);
  test::SetBand(p, 0, kQ, 1.5);
  test::SetBand(p, 1, kEnabled, 1);
  test::SetBand(p, 1, kType, kHighPass);
  test::SetBand(p, 1, kFrequency, 100);
  test::SetBand(p, 1, kSlope, 3);
  for (double f : {60.0, 150.0, 1000.0, 2000.0, 8000.0}) {
    EqEngine engine;
    test::Prepare(engine, p, 48000);
    Stereo in(48000);
    in.l = in.r = test::Sine(in.size(), f, 48000, 0.25);
    const Stereo out = test::Run(engine, in);
    BiquadCascade bell, hp;
    DesignBandCascade(bell, kBell, 2000, 9, 1.5, 0, 48000);
    DesignBandCascade(hp, kHighPass, 100, 0, 0.7071, 3, 48000);
    const double w = 2 * std::numbers::pi * f / 48000;
    const double expected = std::abs(CascadeResponse(bell, w) * CascadeResponse(hp, w));
    // 9600 frames hold a whole number of periods of every probe frequency.
    const double measured = test::Rms(out.r, 48000 - 9600, 48000) / test::Rms(in.r, 0, 9600);
    EXPECT_NEAR(test::Db(measured), test::Db(expected), 0.01) << f;
  }
}

TEST(EqEngine, NonFiniteInputBecomesZeroAndLeavesNoNanState) {
  ParamSnapshot p = test::Defaults();
  test::SetBand(p, 0, kGain, 6);
  EqEngine engine;
  test::Prepare(engine, p, 48000);
  Stereo in = NoiseInput(3 * kL);
  in.l[100] = std::numeric_limits<float>::quiet_NaN();
  in.r[200] = std::numeric_limits<float>::infinity();
  const Stereo out = test::Run(engine, in);
  for (std::size_t i = 0; i < out.size(); ++i)
    ASSERT_TRUE(std::isfinite(out.l[i]) && std::isfinite(out.r[i]));
  for (const auto& pair : engine.State().staticSet)
    for (const auto& c : pair.cascade)
      for (const auto& s : c.sections) EXPECT_TRUE(std::isfinite(s.s1) && std::isfinite(s.s2));
}

TEST(EqEngine, SanitizingReplacesClampsAndRounds) {
  ParamSnapshot p = test::Defaults();
  p[kInput] = std::numeric_limits<float>::quiet_NaN();
  p[kOutput] = 99;
  p[kPhase] = 0.5f; // halfway rounds away from zero
  p[kAnalyzerSpeed] = 1.4f;
  p[BandParamIndex(3, kType)] = -std::numeric_limits<float>::infinity();
  p[BandParamIndex(3, kFrequency)] = 5;
  SanitizeSnapshot(p);
  EXPECT_EQ(p[kInput], 0.0f);
  EXPECT_EQ(p[kOutput], 24.0f);
  EXPECT_EQ(p[kPhase], 1.0f);
  EXPECT_EQ(p[kAnalyzerSpeed], 1.0f);
  EXPECT_EQ(p[BandParamIndex(3, kType)], 0.0f);
  EXPECT_EQ(p[BandParamIndex(3, kFrequency)], 20.0f);
}

TEST(EqEngine, SampleRateIsClampedAndUnpreparedEngineIsSilent) {
  EqEngine engine;
  float l[8] = {1, 1, 1, 1, 1, 1, 1, 1}, r[8] = {1, 1, 1, 1, 1, 1, 1, 1};
  const float* ins[2] = {l, r};
  float ol[8], orr[8];
  float* outs[2] = {ol, orr};
  std::fill(ol, ol + 8, 5.0f);
  engine.Process(ins, outs, 8, nullptr, false);
  EXPECT_EQ(ol[7], 0.0f);
  EXPECT_EQ(engine.SampleRate(), 0.0);
  const std::pair<double, double> rates[] = {
      {11025, 22050}, {384000, 192000}, {NAN, 48000}, {44100, 44100}};
  for (auto [given, used] : rates) {
    engine.Prepare(given);
    EXPECT_EQ(engine.SampleRate(), used);
    EXPECT_EQ(engine.State().sampleRate, used);
    EXPECT_FLOAT_EQ(engine.DisplayGrid()[255], float(std::min(0.49 * used, 20000.0)));
    EXPECT_FLOAT_EQ(engine.DisplayGrid()[0], 20.0f);
  }
  // A missing output array returns without touching anything; a missing right output is skipped.
  engine.Process(ins, nullptr, 8, nullptr, false);
  float* leftOnly[2] = {ol, nullptr};
  engine.Process(ins, leftOnly, 8, nullptr, false);
}

TEST(EqEngine, StructuralChangesCrossfadeWithoutAClick) {
  // A 200 Hz sine through a +12 dB bell switched to a notch, a slope change on a high pass and
  // a channel change: no sample-to-sample step beyond what the sine itself makes.
  const double f = 200, fs = 48000, amp = 0.25;
  ParamSnapshot p = test::AllBandsOff();
  test::SetBand(p, 0, kEnabled, 1);
  test::SetBand(p, 0, kFrequency, 200);
  test::SetBand(p, 0, kGain, 12);
  EqEngine engine;
  test::Prepare(engine, p, fs);
  Stereo in(12 * kL);
  in.l = in.r = test::Sine(in.size(), f, fs, amp);
  Stereo out(in.size());
  const double maxStep = 2 * std::sin(std::numbers::pi * f / fs) * amp * 4.0 * 1.05;
  std::size_t pos = 0;
  auto runBlocks = [&](int blocks) {
    for (int i = 0; i < blocks; ++i, pos += 512) {
      const float* ins[2] = {in.l.data() + pos, in.r.data() + pos};
      float* outs[2] = {out.l.data() + pos, out.r.data() + pos};
      engine.Process(ins, outs, 512, nullptr, false);
    }
  };
  runBlocks(20);
  test::SetBand(p, 0, kType, kNotch);
  engine.SetParams(p);
  runBlocks(20);
  test::SetBand(p, 0, kType, kBell);
  test::SetBand(p, 0, kChannel, kMid);
  engine.SetParams(p);
  runBlocks(20);
  for (std::size_t i = kL + 1; i < pos; ++i) {
    ASSERT_LE(std::abs(out.l[i] - out.l[i - 1]), maxStep) << i;
    ASSERT_LE(std::abs(out.r[i] - out.r[i - 1]), maxStep) << i;
  }
  // The notch really took effect: the delayed output is deep down in its middle section.
  EXPECT_LT(test::Rms(out.l, 20 * 512 + kL + 2000, 40 * 512 + kL - 100), amp * 0.01);
}

TEST(EqEngine, ReadoutsReportChunkPeaksAndTheMissingSidechain) {
  ParamSnapshot p = test::Defaults();
  p[kInput] = 6;
  p[kOutput] = -6;
  test::SetBand(p, 0, kDetector, 1); // External, but nothing is connected
  EqEngine engine;
  test::Prepare(engine, p, 48000);
  Stereo in(kL + 512);
  in.l[10] = 0.5f;
  in.r[kL + 100] = -0.3f;
  Stereo head(kL), tail(512);
  std::copy(in.l.begin(), in.l.begin() + kL, head.l.begin());
  std::copy(in.r.begin() + kL, in.r.end(), tail.r.begin());
  test::Run(engine, head);
  EXPECT_EQ(engine.GetReadout().inputPeak, 0.0f); // the last chunk of the head was silent
  test::Run(engine, tail);
  const EngineReadout r = engine.GetReadout();
  const double gIn = std::pow(10.0, 6 / 20.0), gOut = std::pow(10.0, -6 / 20.0);
  EXPECT_EQ(r.inputPeak, 0.3f);            // untrimmed
  EXPECT_NEAR(r.wetPeak, 0.5 * gIn, 1e-6); // trimmed wet, before Output
  EXPECT_NEAR(r.outputPeak, float(0.5 * gIn) * gOut, 1e-6);
  EXPECT_EQ(r.sidechainPresent, 0);
  EXPECT_EQ(r.externalInUse, 0);
}

} // namespace
} // namespace coral
