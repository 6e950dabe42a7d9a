// The engine frame: alignment, routing of trims, Mix, Delta, Listen and Bypass, parameter
// intake, and the minimum-phase band chain heard through the running engine.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "engine/EngineState.h"
#include "engine/EqEngine.h"
#include "tests/engine/EngineHarness.h"

namespace coral {
namespace {

using test::SetBand;
using test::Stereo;

constexpr int kL = kFixedLatency;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

Stereo NoiseInput(std::size_t n) {
  Stereo s;
  s.l = test::Noise(n, 1);
  s.r = test::Noise(n, 18);
  return s;
}

// Output of an engine prepared with `p` at `rate` for `in`, processed in `chunk` frames.
Stereo Render(const ParamSnapshot& p, const Stereo& in, double rate = 48000, int chunk = 512) {
  EqEngine engine;
  test::Prepare(engine, p, rate);
  return test::Run(engine, in, chunk);
}

// out[i] == scale * in[i - latency] (0 before) for every sample, bit for bit.
::testing::AssertionResult DelayedExactly(const Stereo& in, const Stereo& out, float scale = 1) {
  for (std::size_t i = 0; i < out.size(); ++i) {
    const bool late = i >= std::size_t(kL);
    const float el = late ? scale * in.l[i - kL] : 0.0f, er = late ? scale * in.r[i - kL] : 0.0f;
    if (out.l[i] != el || out.r[i] != er)
      return ::testing::AssertionFailure()
             << "sample " << i << ": " << out.l[i] << " expected " << el;
  }
  return ::testing::AssertionSuccess();
}

TEST(EqEngine, RoutingKeepsTheExactDelay) {
  const Stereo in = NoiseInput(3 * kL + 123);
  // The defaults at several rates and chunk sizes are the input delayed bit for bit.
  for (double rate : {44100.0, 96000.0})
    for (int chunk : {512, 17, 1})
      EXPECT_TRUE(DelayedExactly(in, Render(test::Defaults(), in, rate, chunk))) << rate << chunk;

  struct Case {
    const char* name;
    std::function<void(ParamSnapshot&)> set;
    float scale; // 1: delayed dry; 0: silence
  };
  const Case cases[] = {
      {"Bypass overrides trims, Mix, Delta, Listen and the bands",
       [](ParamSnapshot& p) {
         p[kBypass] = 1, p[kInput] = 12, p[kOutput] = -7, p[kMix] = 30, p[kDelta] = 1;
         SetBand(p, 0, kGain, 9);
         SetBand(p, 1, kListen, 1);
       },
       1},
      {"Mix 0 plays the untrimmed dry",
       [](ParamSnapshot& p) {
         p[kMix] = 0, p[kInput] = -6;
         SetBand(p, 2, kGain, -12);
       },
       1},
      {"Scale 0 makes every gain-bearing band unity",
       [](ParamSnapshot& p) {
         p[kScale] = 0;
         for (int b = 0; b < kNumBands; ++b) {
           SetBand(p, b, kEnabled, 1);
           SetBand(p, b, kType, float(b % 3 == 0 ? kBell : b % 3 == 1 ? kLowShelf : kTilt));
           SetBand(p, b, kGain, 18);
         }
       },
       1},
      {"Delta with every band disabled is silent",
       [](ParamSnapshot& p) {
         p = test::AllBandsOff();
         p[kDelta] = 1;
       },
       0},
  };
  for (const Case& c : cases) {
    ParamSnapshot p = test::Defaults();
    c.set(p);
    EXPECT_TRUE(DelayedExactly(in, Render(p, in), c.scale)) << c.name;
  }
}

TEST(EqEngine, TrimsMixAndDeltaFollowTheirFormulas) {
  const Stereo in = NoiseInput(2 * kL);
  // Input and Output trims act on the wet only; Mix 50 % averages dry and wet.
  ParamSnapshot p = test::AllBandsOff();
  p[kInput] = 6, p[kOutput] = -6, p[kMix] = 50;
  const Stereo out = Render(p, in);
  const double gIn = std::pow(10.0, 0.3), gOut = std::pow(10.0, -0.3);
  for (std::size_t i = kL; i < in.size(); ++i) {
    const double dry = in.l[i - kL], wet = float(dry * gIn);
    ASSERT_NEAR(out.l[i], (0.5 * dry + 0.5 * wet) * gOut, 1e-6) << i;
  }
  // Delta of a +6 dB bell is dry minus wet.
  p = test::AllBandsOff();
  SetBand(p, 0, kBell, 1000, 6, 1);
  const Stereo wet = Render(p, in);
  p[kDelta] = 1;
  const Stereo delta = Render(p, in);
  for (std::size_t i = kL; i < in.size(); ++i)
    ASSERT_NEAR(delta.l[i], in.l[i - kL] - wet.l[i], 1e-6) << i;
}

TEST(EqEngine, BypassRampsOverThreeMilliseconds) {
  ParamSnapshot p = test::Defaults();
  p[kOutput] = -20;
  EqEngine engine;
  test::Prepare(engine, p, 48000);
  Stereo ones(2 * kL);
  std::fill(ones.l.begin(), ones.l.end(), 1.0f);
  ones.r = ones.l;
  EXPECT_NEAR(test::Run(engine, ones).l.back(), 0.1f, 1e-6);
  p[kBypass] = 1;
  engine.SetParams(p);
  const Stereo out = test::Run(engine, ones);
  // One-pole ramp with a 3 ms time constant: 1 - e^-1 of the way after 144 frames.
  EXPECT_NEAR(out.l[143], 0.1 + 0.9 * (1 - std::exp(-1.0)), 1e-5);
  EXPECT_EQ(out.l.back(), 1.0f);
}

TEST(EqEngine, ListenPlaysTheBandPassedDetectorSignalAligned) {
  // A 1 kHz listen band passes a 1 kHz sine and rejects a 100 Hz one by the cookbook band
  // pass's response, after Output trim, and stays silent for the first 4352 frames.
  ParamSnapshot p = test::AllBandsOff();
  SetBand(p, 4, kBell, 1000, 0, 2);
  SetBand(p, 4, kListen, 1);
  p[kOutput] = -6;
  for (double f : {1000.0, 100.0}) {
    Stereo in(3 * kL);
    in.l = in.r = test::Sine(in.size(), f, 48000, 0.5);
    const Stereo out = Render(p, in);
    EXPECT_EQ(out.l[kL - 1], 0.0f);
    const double gain = test::Rms(out.l, 2 * kL, 3 * kL) / test::Rms(in.l, kL, 2 * kL);
    const double w = std::tan(std::numbers::pi * f / 48000) / std::tan(std::numbers::pi / 48);
    const double bandPass = (w / 2) / std::sqrt((1 - w * w) * (1 - w * w) + (w / 2) * (w / 2));
    EXPECT_NEAR(test::Db(gain), test::Db(bandPass) - 6, 0.05) << f;
  }
}

TEST(EqEngine, SineThroughTheChainFollowsTheDesignedResponse) {
  ParamSnapshot p = test::AllBandsOff();
  SetBand(p, 0, kBell, 2000, 9, 1.5);
  SetBand(p, 1, kHighPass, 100, 0, 0.7071f);
  SetBand(p, 1, kSlope, 3);
  BiquadCascade bell, hp;
  DesignBandCascade(bell, kBell, 2000, 9, 1.5, 0, 48000);
  DesignBandCascade(hp, kHighPass, 100, 0, double(0.7071f), 3, 48000);
  for (double f : {60.0, 150.0, 2000.0, 8000.0}) {
    Stereo in(48000);
    in.l = in.r = test::Sine(in.size(), f, 48000, 0.25);
    const Stereo out = Render(p, in);
    const double w = 2 * std::numbers::pi * f / 48000;
    // 9600 frames hold a whole number of periods of every probe frequency.
    const double measured = test::Rms(out.r, 48000 - 9600, 48000) / test::Rms(in.r, 0, 9600);
    EXPECT_NEAR(test::Db(measured),
                test::Db(std::abs(CascadeResponse(bell, w) * CascadeResponse(hp, w))), 0.01)
        << f;
  }
}

TEST(EqEngine, HostileInputAndParametersAreReplaced) {
  ParamSnapshot p = test::Defaults();
  p[kInput] = kNaN, p[kOutput] = 99, p[kPhase] = 0.5f, p[kAnalyzerSpeed] = 1.4f;
  p[BandParamIndex(3, kType)] = -std::numeric_limits<float>::infinity();
  p[BandParamIndex(3, kFrequency)] = 5;
  ParamSnapshot s = p;
  SanitizeSnapshot(s);
  // Default, clamp, halfway rounded away from zero, rounded, default, clamp.
  const std::pair<int, float> expected[] = {{kInput, 0},
                                            {kOutput, 24},
                                            {kPhase, 1},
                                            {kAnalyzerSpeed, 1},
                                            {BandParamIndex(3, kType), 0},
                                            {BandParamIndex(3, kFrequency), 20}};
  for (const auto& [index, value] : expected) EXPECT_EQ(s[index], value) << index;

  // A NaN and an infinity in the input become 0 at their sample and leave no NaN state.
  SetBand(p, 0, kGain, 6);
  Stereo in = NoiseInput(2 * kL);
  in.l[100] = kNaN;
  in.r[200] = std::numeric_limits<float>::infinity();
  EqEngine engine;
  test::Prepare(engine, p, 48000);
  const Stereo out = test::Run(engine, in);
  for (std::size_t i = 0; i < out.size(); ++i)
    ASSERT_TRUE(std::isfinite(out.l[i]) && std::isfinite(out.r[i])) << i;
  for (const auto& pair : engine.State().staticSet)
    for (const auto& c : pair.cascade)
      for (const auto& sec : c.sections) EXPECT_TRUE(std::isfinite(sec.s1 + sec.s2));
}

TEST(EqEngine, SampleRateIsClampedAndUnpreparedEngineIsSilent) {
  EqEngine engine;
  float in[8] = {1, 1, 1, 1, 1, 1, 1, 1}, out[8] = {5, 5, 5, 5, 5, 5, 5, 5};
  const float* ins[2] = {in, in};
  float* outs[2] = {out, nullptr}; // a missing right output is skipped
  engine.Process(ins, outs, 8, nullptr, false);
  EXPECT_EQ(out[7], 0.0f);
  EXPECT_EQ(engine.SampleRate(), 0.0);
  const std::pair<double, double> rates[] = {
      {11025, 22050}, {384000, 192000}, {NAN, 48000}, {44100, 44100}};
  for (auto [given, used] : rates) {
    engine.Prepare(given);
    EXPECT_EQ(engine.SampleRate(), used);
    EXPECT_FLOAT_EQ(engine.DisplayGrid()[255], float(std::min(0.49 * used, 20000.0)));
    EXPECT_FLOAT_EQ(engine.DisplayGrid()[0], 20.0f);
    engine.Process(ins, outs, 8, nullptr, false);
  }
  engine.Process(ins, nullptr, 8, nullptr, false); // no outputs: returns at once
}

TEST(EqEngine, StructuralChangesCrossfadeWithoutAClick) {
  // A 200 Hz sine through a +12 dB bell switched to a notch, then back with a channel change:
  // no sample-to-sample step beyond what the (up to 4x louder) sine itself makes.
  const double f = 200, fs = 48000, amp = 0.25;
  ParamSnapshot p = test::AllBandsOff();
  SetBand(p, 0, kBell, 200, 12, 0.7071f);
  EqEngine engine;
  test::Prepare(engine, p, fs);
  Stereo in(12 * kL), out;
  in.l = in.r = test::Sine(in.size(), f, fs, amp);
  out = in;
  for (int block = 0; block < 60; ++block) {
    if (block == 20) SetBand(p, 0, kType, kNotch);
    if (block == 40) SetBand(p, 0, kType, kBell), SetBand(p, 0, kChannel, kMid);
    engine.SetParams(p);
    const float* ins[2] = {in.l.data() + 512 * block, in.r.data() + 512 * block};
    float* outs[2] = {out.l.data() + 512 * block, out.r.data() + 512 * block};
    engine.Process(ins, outs, 512, nullptr, false);
  }
  const double maxStep = 2 * std::sin(std::numbers::pi * f / fs) * amp * 4.0 * 1.05;
  for (std::size_t i = kL + 1; i < 60 * 512; ++i)
    ASSERT_LE(std::max(std::abs(out.l[i] - out.l[i - 1]), std::abs(out.r[i] - out.r[i - 1])),
              maxStep)
        << i;
  // The notch really took effect in the middle section.
  EXPECT_LT(test::Rms(out.l, 20 * 512 + kL + 2000, 40 * 512 + kL - 100), amp * 0.01);
}

TEST(EqEngine, ReadoutsReportChunkPeaksAndTheMissingSidechain) {
  ParamSnapshot p = test::Defaults();
  p[kInput] = 6, p[kOutput] = -6;
  SetBand(p, 0, kDetector, 1); // External, but nothing is connected
  EqEngine engine;
  test::Prepare(engine, p, 48000);
  Stereo head(kL), tail(512);
  head.l[10] = 0.5f;
  tail.r[100] = -0.3f;
  test::Run(engine, head);
  EXPECT_EQ(engine.GetReadout().inputPeak, 0.0f); // the head's last chunk was silent
  test::Run(engine, tail);
  const EngineReadout r = engine.GetReadout();
  const double gIn = std::pow(10.0, 0.3), gOut = std::pow(10.0, -0.3);
  EXPECT_EQ(r.inputPeak, 0.3f);            // untrimmed
  EXPECT_NEAR(r.wetPeak, 0.5 * gIn, 1e-6); // trimmed wet, before Output
  EXPECT_NEAR(r.outputPeak, float(0.5 * gIn) * gOut, 1e-6);
  EXPECT_EQ(r.sidechainPresent + r.externalInUse, 0);
}

} // namespace
} // namespace coral
