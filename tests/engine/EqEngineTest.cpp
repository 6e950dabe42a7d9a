// The engine frame: alignment, routing of trims, Mix, Delta, Listen and Bypass, parameter
// intake, and the minimum-phase band chain heard through the running engine.

#include "tests/engine/EngineHarness.h"

namespace coral::test {

constexpr int kL = kFixedLatency;
const double kGain6 = std::pow(10.0, 0.3); // +6 dB as a factor

// True when out[i] == scale * in[i - latency] (0 before) for every sample, bit for bit.
bool DelayedExactly(const Stereo& in, const Stereo& out, float scale = 1) {
  Stereo expected(in.size());
  for (std::size_t i = kL; i < in.size(); ++i)
    expected.l[i] = scale * in.l[i - kL], expected.r[i] = scale * in.r[i - kL];
  return out.l == expected.l && out.r == expected.r;
}

TEST(EqEngine, RoutingKeepsTheExactDelay) {
  const Stereo in = {Noise(3 * kL + 123, 1), Noise(3 * kL + 123, 2)};
  // The defaults at several rates and chunk sizes are the input delayed bit for bit.
  for (double rate : {44100.0, 96000.0})
    for (int chunk : {512, 17, 1})
      EXPECT_TRUE(DelayedExactly(in, Engine(DefaultSnapshot(), rate).Run(in, chunk))) << chunk;

  // Bypass overrides trims, Mix, Delta, Listen and the bands; Mix 0 plays the untrimmed dry;
  // Scale 0 makes every gain-bearing band unity; Delta with every band disabled is silent.
  ParamSnapshot bypass = With(DefaultSnapshot(), kBypass, 1, kInput, 12, kOutput, -7, kMix, 30);
  SetBand(bypass, 0, kGain, 9, kListen, 1);
  bypass[kDelta] = 1;
  ParamSnapshot mix0 = With(DefaultSnapshot(), kMix, 0, kInput, -6, BandParamIndex(2, kGain), -12);
  ParamSnapshot scale0 = With(DefaultSnapshot(), kScale, 0), delta = With(AllBandsOff(), kDelta, 1);
  for (int b = 0; b < kNumBands; ++b)
    scale0 = WithBand(scale0, b, b % 4 < 3 ? b % 4 : kTilt, 1000, 18, 1); // bell, shelves, tilt
  const ParamSnapshot cases[] = {bypass, mix0, scale0, delta};
  for (int c = 0; c < 4; ++c)
    EXPECT_TRUE(DelayedExactly(in, Engine(cases[c]).Run(in, 512), c < 3)) << "case " << c;
}

TEST(EqEngine, TrimsMixAndDeltaFollowTheirFormulas) {
  const Stereo in = {Noise(2 * kL, 1), Noise(2 * kL, 2)};
  // Input and Output trims act on the wet only; Mix 50 % averages dry and wet.
  const Stereo out = Engine(With(AllBandsOff(), kInput, 6, kOutput, -6, kMix, 50)).Run(in);
  for (std::size_t i = kL; i < in.size(); ++i) {
    const double dry = in.l[i - kL], wet = float(dry * kGain6);
    ASSERT_NEAR(out.l[i], (0.5 * dry + 0.5 * wet) / kGain6, 1e-6) << i;
  }
  // Delta of a +6 dB bell is dry minus wet.
  const ParamSnapshot p = WithBand(AllBandsOff(), 0, kBell, 1000, 6, 1);
  const Stereo wet = Engine(p).Run(in), delta = Engine(With(p, kDelta, 1)).Run(in);
  for (std::size_t i = kL; i < in.size(); ++i)
    ASSERT_NEAR(delta.l[i], in.l[i - kL] - wet.l[i], 1e-6) << i;
}

TEST(EqEngine, BypassRampsOverThreeMilliseconds) {
  Engine engine(With(DefaultSnapshot(), kOutput, -20));
  const Stereo ones(std::vector<float>(2 * kL, 1.0f));
  EXPECT_NEAR(engine.Run(ones).l.back(), 0.1f, 1e-6);
  engine.SetParams(With(DefaultSnapshot(), kOutput, -20, kBypass, 1));
  const Stereo out = engine.Run(ones);
  // One-pole ramp with a 3 ms time constant: 1 - e^-1 of the way after 144 frames.
  EXPECT_NEAR(out.l[143], 0.1 + 0.9 * (1 - std::exp(-1.0)), 1e-5);
  EXPECT_EQ(out.l.back(), 1.0f);
}

TEST(EqEngine, ListenPlaysTheBandPassedDetectorSignalAligned) {
  // A 1 kHz listen band passes a 1 kHz sine and rejects a 100 Hz one by the cookbook band
  // pass's response, after Output trim, and stays silent for the first 4352 frames.
  ParamSnapshot p = WithBand(AllBandsOff(), 4, kBell, 1000, 0, 2);
  SetBand(p, 4, kListen, 1);
  p[kOutput] = -6;
  for (double f : {1000.0, 100.0}) {
    const Stereo in = Stereo(Sine(3 * kL, f, 48000, 0.5));
    const Stereo out = Engine(p).Run(in);
    EXPECT_EQ(out.l[kL - 1], 0.0f);
    const double gain = Rms(out.l, 2 * kL, 3 * kL) / Rms(in.l, kL, 2 * kL);
    EXPECT_NEAR(Db(gain), Db(AnalogMagnitude(kBandPass, f, 1000, 48000, 0, 2)) - 6, 0.05) << f;
  }
}

TEST(EqEngine, SineThroughTheChainFollowsTheDesignedResponse) {
  // +9 dB bell at 2 kHz, Q 1.5, then a 100 Hz 8th-order high pass.
  ParamSnapshot p =
      WithBand(WithBand(AllBandsOff(), 0, kBell, 2000, 9, 1.5), 1, kHighPass, 100, 0, 0.7071f);
  SetBand(p, 1, kSlope, 3);
  for (double f : {60.0, 150.0, 2000.0, 8000.0}) {
    const Stereo in = Stereo(Sine(48000, f, 48000, 0.25));
    const Stereo out = Engine(p).Run(in);
    const double hp =
        1 / std::sqrt(1 + std::pow(std::tan(kPi * f / 48000) / std::tan(kPi * 100 / 48000), -16));
    // 9600 frames hold a whole number of periods of every probe frequency.
    EXPECT_NEAR(Db(Rms(out.r, 48000 - 9600, 48000) / Rms(in.r, 0, 9600)),
                Db(hp * AnalogMagnitude(kBell, f, 2000, 48000, 9, 1.5)), 0.01)
        << f;
  }
}

TEST(EqEngine, HostileInputAndParametersAreReplaced) {
  // Non-finite: the default; out of range: clamped; discrete: rounded, halfway away from zero.
  constexpr int kType3 = BandParamIndex(3, kType), kFrequency3 = BandParamIndex(3, kFrequency);
  const float cases[][3] = {{kInput, NAN, 0},       {kOutput, 99, 24},
                            {kPhase, 0.5f, 1},      {kAnalyzerSpeed, 1.4f, 1},
                            {kType3, -INFINITY, 0}, {kFrequency3, 5, 20}};
  ParamSnapshot p = DefaultSnapshot();
  for (const auto& c : cases) p[int(c[0])] = c[1];
  ParamSnapshot s = p;
  SanitizeSnapshot(s);
  for (const auto& c : cases) EXPECT_EQ(s[int(c[0])], c[2]) << c[0];

  // A NaN and an infinity in the input become 0 at their sample and leave no NaN state behind
  // (which would silence or poison every later sample).
  SetBand(p, 0, kGain, 6);
  Stereo in = {Noise(2 * kL, 1), Noise(2 * kL, 2)};
  in.l[100] = NAN;
  in.r[200] = INFINITY;
  const Stereo out = Engine(p).Run(in);
  for (std::size_t i = 0; i < out.size(); ++i)
    ASSERT_TRUE(std::isfinite(out.l[i]) && std::isfinite(out.r[i])) << i;
  EXPECT_GT(Rms(out.l, out.size() - 1000, out.size()), 0.1);
}

TEST(EqEngine, SampleRateIsClampedAndUnpreparedEngineIsSilent) {
  EqEngine engine;
  float in[8] = {1, 1, 1, 1, 1, 1, 1, 1}, out[8] = {5, 5, 5, 5, 5, 5, 5, 5};
  const float* ins[2] = {in, in};
  float* outs[2] = {out, nullptr}; // a missing right output is skipped
  engine.Process(ins, outs, 8, nullptr, false);
  EXPECT_TRUE(out[7] == 0.0f && engine.SampleRate() == 0.0);
  const double rates[][2] = {{11025, 22050}, {384000, 192000}, {NAN, 48000}, {44100, 44100}};
  for (const auto& r : rates) {
    engine.Prepare(r[0]); // given, used
    EXPECT_EQ(engine.SampleRate(), r[1]);
    EXPECT_FLOAT_EQ(engine.DisplayGrid()[255], float(std::min(0.49 * r[1], 20000.0)));
    engine.Process(ins, outs, 8, nullptr, false);
  }
  engine.Process(ins, nullptr, 8, nullptr, false); // no outputs: returns at once
}

TEST(EqEngine, StructuralChangesCrossfadeWithoutAClick) {
  // Band 0 changes Type after 20 blocks of a sine, and back (in Channel Mid) after 50. No
  // sample-to-sample step may exceed what a sine at the loudest level the settings allow makes
  // itself; the level holds until the change comes out of the delay line (a band whose dynamics
  // act keeps its dynamic stage on the delayed audio and fades it out with the static
  // crossfade, rather than dropping it at once), then settles at the new Type's response.
  ParamSnapshot dynamicBell = WithBand(AllBandsOff(), 0, kBell, 1000, 0, 1);
  SetBand(dynamicBell, 0, kDynamic, 1, kThreshold, -60, kRatio, 20, kRange, 12);
  ParamSnapshot dynamicShelf = dynamicBell;
  SetBand(dynamicShelf, 0, kType, kLowShelf);
  struct Case {
    ParamSnapshot start;
    int newType;
    double frequency, amplitude, loudestDb;
  };
  const Case cases[] = {
      {WithBand(AllBandsOff(), 0, kBell, 200, 12, 0.7071f), kNotch, 200, 0.25, 12},
      {dynamicBell, kNotch, 1000, 0.5, 0},
      {dynamicShelf, kBandPass, 300, 0.5, 0}};
  constexpr std::size_t kChange = 20 * 512, kBack = 50 * 512;
  for (const Case& c : cases) {
    ParamSnapshot p = c.start;
    const int oldType = int(p[BandParamIndex(0, kType)]);
    Engine engine(p);
    const Stereo out = engine.Run(
        Stereo(Sine(70 * 512, c.frequency, 48000, c.amplitude)), 512, [&](std::size_t end) {
          if (end == kChange) SetBand(p, 0, kType, c.newType), engine.SetParams(p);
          if (end == kBack) SetBand(p, 0, kType, oldType, kChannel, kMid), engine.SetParams(p);
        });
    const double maxStep = 2 * std::sin(kPi * c.frequency / 48000) * c.amplitude *
                           std::pow(10, c.loudestDb / 20) * 1.2;
    for (std::size_t i = kL + 1; i < out.size(); ++i)
      ASSERT_LE(std::max(std::abs(out.l[i] - out.l[i - 1]), std::abs(out.r[i] - out.r[i - 1])),
                maxStep)
          << "type " << oldType << ", frame " << i;
    const double before = Db(Rms(out.l, kChange + 256 - 4096, kChange + 256));
    EXPECT_NEAR(Db(Rms(out.l, kChange + 256, kChange + kL - 256)), before, 0.05) << oldType;
    const float* band = &c.start[BandParamIndex(0, 0)];
    const double settled =
        Db(Rms(out.l, kChange + kL + 2000, kBack) * std::sqrt(2.0) / c.amplitude);
    const double expected =
        Db(AnalogMagnitude(c.newType, c.frequency, band[kFrequency], 48000, 0, band[kQ]));
    if (expected < -40)
      EXPECT_LT(settled, -40) << oldType;
    else
      EXPECT_NEAR(settled, expected, 0.1) << oldType;
  }
}

TEST(EqEngine, ReadoutsReportChunkPeaksAndTheMissingSidechain) {
  // Band 1 detects External, but nothing is connected.
  Engine engine(With(DefaultSnapshot(), kInput, 6, kOutput, -6, BandParamIndex(0, kDetector), 1));
  Stereo head(kL), tail(512);
  head.l[10] = 0.5f;
  tail.r[100] = -0.3f;
  engine.Run(head);
  EXPECT_EQ(engine.GetReadout().inputPeak, 0.0f); // the head's last chunk was silent
  engine.Run(tail);
  const EngineReadout r = engine.GetReadout();
  EXPECT_EQ(r.inputPeak, 0.3f);               // untrimmed
  EXPECT_NEAR(r.wetPeak, 0.5 * kGain6, 1e-6); // trimmed wet, before Output
  EXPECT_NEAR(r.outputPeak, float(0.5 * kGain6) / kGain6, 1e-6);
  EXPECT_EQ(r.sidechainPresent + r.externalInUse, 0);
}

} // namespace coral::test
