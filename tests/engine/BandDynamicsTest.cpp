// Band dynamics against a reference model written from the formulas, sample by sample in
// double precision, and the behaviours an engineer relies on (range bound, link, sidechain).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <numbers>

#include "engine/EqEngine.h"
#include "tests/engine/EngineHarness.h"

namespace coral {
namespace {

using test::Stereo;

struct DynSettings {
  double frequency = 1000, q = 1.5, threshold = -24, ratio = 4, knee = 6, attack = 10,
         release = 150, range = 6;
  bool upward = false;
};

// One band's detector for a mono (identical left/right) input, straight from the formulas.
class ReferenceBand {
public:
  ReferenceBand(const DynSettings& s, double fs) : s_(s), delay_(kFixedLatency, 0.0f) {
    const double w0 = 2 * std::numbers::pi * s.frequency / fs;
    const double alpha = std::sin(w0) / (2 * s.q);
    const double a0 = 1 + alpha;
    b0_ = alpha / a0, b2_ = -alpha / a0, a1_ = -2 * std::cos(w0) / a0, a2_ = (1 - alpha) / a0;
    avg_ = std::exp(-1 / (0.010 * fs));
    att_ = std::exp(-1 / (s.attack * 0.001 * fs));
    rel_ = std::exp(-1 / (s.release * 0.001 * fs));
  }

  // Returns the delayed gain in dB for this input sample.
  double Step(double x) {
    const double y = b0_ * x + z1_;
    z1_ = -a1_ * y + z2_;
    z2_ = b2_ * x - a2_ * y;
    env_ = avg_ * env_ + (1 - avg_) * y * y;
    const double level = 10 * std::log10(std::max(env_, 1e-12));
    const double r = double(1.0f - 1.0f / float(s_.ratio));
    const double v = s_.upward ? s_.threshold - level : level - s_.threshold;
    const double h = s_.knee / 2;
    double k = v <= -h ? 0 : v >= h ? v : (v + h) * (v + h) / (2 * s_.knee);
    double target = std::min(r * k, s_.range);
    if (s_.upward)
      target *= std::clamp((level + 100) / 10, 0.0, 1.0);
    else
      target = -target;
    const double c = std::abs(target) > std::abs(gain_) ? att_ : rel_;
    gain_ = c * gain_ + (1 - c) * target;
    const double out = delay_[pos_];
    delay_[pos_] = float(gain_);
    pos_ = (pos_ + 1) % kFixedLatency;
    return out;
  }

private:
  DynSettings s_;
  double b0_, b2_, a1_, a2_, z1_ = 0, z2_ = 0, avg_, att_, rel_, env_ = 0, gain_ = 0;
  std::vector<float> delay_;
  int pos_ = 0;
};

ParamSnapshot DynamicBand(const DynSettings& s, int band = 0) {
  ParamSnapshot p = test::AllBandsOff();
  test::SetBand(p, band, kEnabled, 1);
  test::SetBand(p, band, kFrequency, float(s.frequency));
  test::SetBand(p, band, kQ, float(s.q));
  test::SetBand(p, band, kDynamic, 1);
  test::SetBand(p, band, kThreshold, float(s.threshold));
  test::SetBand(p, band, kRatio, float(s.ratio));
  test::SetBand(p, band, kKnee, float(s.knee));
  test::SetBand(p, band, kAttack, float(s.attack));
  test::SetBand(p, band, kRelease, float(s.release));
  test::SetBand(p, band, kRange, float(s.range));
  test::SetBand(p, band, kDirection, s.upward ? 1.0f : 0.0f);
  return p;
}

// Runs engine and model side by side; compares the published live gain at every chunk end.
void CompareWithReference(const DynSettings& s, const std::vector<float>& signal) {
  const double fs = 48000;
  EqEngine engine;
  test::Prepare(engine, DynamicBand(s), fs);
  ReferenceBand model(s, fs);
  const int chunk = 64;
  double maxError = 0, maxGain = 0;
  for (std::size_t pos = 0; pos + chunk <= signal.size(); pos += chunk) {
    const float* ins[2] = {signal.data() + pos, signal.data() + pos};
    float ol[chunk], orr[chunk];
    float* outs[2] = {ol, orr};
    engine.Process(ins, outs, chunk, nullptr, false);
    double expected = 0;
    for (int i = 0; i < chunk; ++i) expected = model.Step(signal[pos + i]);
    DisplaySnapshot snap;
    engine.GetDisplaySnapshot(snap);
    maxError = std::max(maxError, std::abs(snap.liveBandGain[0] - expected));
    maxGain = std::max(maxGain, std::abs(expected));
  }
  EXPECT_LT(maxError, 1e-4) << "upward " << s.upward << " knee " << s.knee;
  EXPECT_GT(maxGain, 0.5) << "the signal should have engaged the band";
}

std::vector<float> Burst(double fs) {
  std::vector<float> s = test::Sine(std::size_t(1.5 * fs), 1000, fs, 0.5); // about -9 dBFS rms
  for (std::size_t i = 0; i < s.size(); ++i)
    if (i < fs * 0.25 || i > fs * 0.75) s[i] = 0;
  return s;
}

std::vector<float> LevelRamp(double fs) {
  // 1 kHz sine rising from -80 dBFS to 0 dBFS over 1.5 s, then falling back.
  const std::size_t n = std::size_t(3 * fs);
  std::vector<float> s(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = double(i) / fs;
    const double db = t < 1.5 ? -80 + 80 * t / 1.5 : -80 * (t - 1.5) / 1.5;
    s[i] = float(std::pow(10, db / 20) * std::sin(2 * std::numbers::pi * 1000 * t));
  }
  return s;
}

TEST(BandDynamics, PublishedGainFollowsTheReferenceModel) {
  const double fs = 48000;
  for (bool upward : {false, true}) {
    DynSettings s;
    s.upward = upward;
    s.threshold = upward ? -20 : -30;
    CompareWithReference(s, Burst(fs));
    s.knee = 0;
    s.attack = 0.5;
    s.release = 40;
    CompareWithReference(s, LevelRamp(fs));
    s.knee = 12;
    s.ratio = 2.5;
    CompareWithReference(s, LevelRamp(fs));
  }
}

TEST(BandDynamics, SilenceIsNeverBoostedAndRatioOneNeverActs) {
  for (bool upward : {false, true}) {
    DynSettings s;
    s.upward = upward;
    EqEngine engine;
    test::Prepare(engine, DynamicBand(s), 48000);
    test::Run(engine, Stereo(3 * kFixedLatency));
    DisplaySnapshot snap;
    engine.GetDisplaySnapshot(snap);
    EXPECT_EQ(snap.liveBandGain[0], 0.0f);
    EXPECT_EQ(snap.detectorLevel[0], -120.0f);
  }
  DynSettings s;
  s.ratio = 1;
  EqEngine engine;
  test::Prepare(engine, DynamicBand(s), 48000);
  Stereo loud(3 * kFixedLatency);
  loud.l = loud.r = test::Sine(loud.size(), 1000, 48000, 1.0);
  test::Run(engine, loud);
  DisplaySnapshot snap;
  engine.GetDisplaySnapshot(snap);
  EXPECT_EQ(snap.liveBandGain[0], 0.0f);
  EXPECT_GT(snap.detectorLevel[0], -10.0f);
}

TEST(BandDynamics, SteadySineFarAboveThresholdSettlesAtTheRangeBound) {
  // -24 dBFS threshold, ratio 4, range 6: a sine 20 dB above asks for -15 dB but gets -6 dB,
  // and the programme at the band frequency comes out 6 dB down.
  const double fs = 48000;
  DynSettings s;
  EqEngine engine;
  test::Prepare(engine, DynamicBand(s), fs);
  const double amplitude = std::pow(10, (-24 + 20) / 20.0) * std::sqrt(2.0);
  Stereo in{std::size_t(2 * fs)};
  in.l = in.r = test::Sine(in.size(), 1000, fs, amplitude);
  const Stereo out = test::Run(engine, in);
  DisplaySnapshot snap;
  engine.GetDisplaySnapshot(snap);
  EXPECT_NEAR(snap.liveBandGain[0], -6.0, 0.01);
  EXPECT_NEAR(snap.detectorLevel[0], -4.0, 0.2);
  const std::size_t end = in.size();
  EXPECT_NEAR(test::Db(test::Rms(out.l, end - 9600, end) / test::Rms(in.l, end - 9600, end)), -6.0,
              0.02);
}

TEST(BandDynamics, StereoLinkSharesTheLouderChannel) {
  // Left-only programme; the band on Channel Right publishes the right channel's gain.
  const double fs = 48000;
  for (float link : {100.0f, 0.0f}) {
    DynSettings s;
    ParamSnapshot p = DynamicBand(s);
    test::SetBand(p, 0, kChannel, kRight);
    p[kStereoLink] = link;
    EqEngine engine;
    test::Prepare(engine, p, fs);
    Stereo in{std::size_t(fs)};
    in.l = test::Sine(in.size(), 1000, fs, 0.5);
    test::Run(engine, in);
    DisplaySnapshot snap;
    engine.GetDisplaySnapshot(snap);
    if (link > 0)
      EXPECT_NEAR(snap.liveBandGain[0], -6.0, 0.01);
    else
      EXPECT_EQ(snap.liveBandGain[0], 0.0f);
  }
}

TEST(BandDynamics, PassFiltersHaveNoDynamicAction) {
  DynSettings s;
  ParamSnapshot p = DynamicBand(s);
  test::SetBand(p, 0, kType, kHighPass);
  EqEngine engine;
  test::Prepare(engine, p, 48000);
  Stereo in(3 * kFixedLatency);
  in.l = in.r = test::Sine(in.size(), 1000, 48000, 1.0);
  test::Run(engine, in);
  DisplaySnapshot snap;
  engine.GetDisplaySnapshot(snap);
  EXPECT_EQ(snap.liveBandGain[0], 0.0f);
  EXPECT_GT(snap.detectorLevel[0], -10.0f);
}

} // namespace
} // namespace coral
