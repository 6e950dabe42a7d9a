// The renderer's audio path end to end through the real binary: exact pass-through, latency
// handling, channel connections, FIR and dynamic processing, and the auxiliary input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "tests/tools/RenderHarness.h"

namespace coral::render::test {
namespace {

constexpr int kLatency = 4352;
constexpr int kRate = 48000;

::testing::AssertionResult SameSamples(const Audio& expected, const Audio& actual) {
  if (actual.format != expected.format || actual.channels != expected.channels ||
      actual.sampleRate != expected.sampleRate || actual.Frames() != expected.Frames()) {
    return ::testing::AssertionFailure()
           << "format " << std::hex << actual.format << std::dec << ", " << actual.channels
           << " ch, " << actual.sampleRate << " Hz, " << actual.Frames() << " frames";
  }
  for (std::size_t i = 0; i < expected.samples.size(); ++i) {
    if (actual.samples[i] != expected.samples[i]) {
      return ::testing::AssertionFailure()
             << "sample " << i << ": " << actual.samples[i] << " expected " << expected.samples[i];
    }
  }
  return ::testing::AssertionSuccess();
}

// `input` delayed by `delay` frames, cut to its length.
Audio Delayed(const Audio& input, int delay) {
  Audio out = input;
  std::fill(out.samples.begin(), out.samples.end(), 0.0);
  for (std::int64_t n = delay; n < input.Frames(); ++n) {
    for (int c = 0; c < input.channels; ++c) {
      out.samples[n * input.channels + c] = input.At(n - delay, c);
    }
  }
  return out;
}

Audio Render(const ScratchDir& dir, const Audio& input, std::vector<std::string> options,
             const std::string& name = "out.wav") {
  WriteAudio(dir.Path("in.wav"), input);
  options.push_back(dir.Path("in.wav"));
  options.push_back(dir.Path(name));
  const RunResult run = RunRender(options);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  return ReadAudio(dir.Path(name));
}

TEST(RenderAudio, DefaultSettingsNullBitForBitInEveryExactFormat) {
  const ScratchDir dir;
  struct Case {
    int format;
    int channels;
    std::int64_t frames;
    const char* block;
  };
  const Case cases[] = {
      {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 20000, "512"},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 20000, "1000"},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 20000, "8192"},
      {SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, 9000, "1"},
      {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 20000, "333"},
      {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 20000, "512"},
      {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 1000, "512"}, // shorter than the latency
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.format << std::dec << " " << c.channels
                                    << " ch, block " << c.block);
    const Audio input = Noise(c.format, c.channels, 44100, c.frames, 7);
    const std::string name = (c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF   ? "out.aiff"
                             : (c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC ? "out.flac"
                                                                                 : "out.wav";
    EXPECT_TRUE(SameSamples(input, Render(dir, input, {"--block", c.block}, name)));
  }
}

TEST(RenderAudio, RawOutputIsTheInputLateByExactlyTheLatency) {
  const ScratchDir dir;
  const Audio input = Noise(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, 3 * kLatency, 3);
  const Audio expected = Delayed(input, kLatency);
  const std::vector<std::vector<std::string>> settings = {
      {},
      // Bypass overrides trims, Mix, Delta and every band.
      {"--set", "bypass=on", "--set", "input=12", "--set", "output=-7 dB", "--set", "mix=30",
       "--set", "delta=on", "--set", "b01-gain=9"},
      // Mix 0 gives the untrimmed dry, whatever shapes the wet.
      {"--set", "mix=0", "--set", "input=-6", "--set", "b03-gain=-12"},
      // The linear-phase path at unity has the same latency.
      {"--set", "phase=Linear Phase FIR"},
  };
  for (const auto& options : settings) {
    std::vector<std::string> args = options;
    args.push_back("--no-compensate");
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_TRUE(SameSamples(expected, Render(dir, input, args)));
  }
}

TEST(RenderAudio, DeltaWithEveryBandDisabledIsSilent) {
  const ScratchDir dir;
  const Audio input = Noise(SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, kRate, 20000, 5);
  const Audio out = Render(dir, input,
                           {"--set", "delta=on", "--set", "b01-enabled=off", "--set",
                            "b02-enabled=0", "--set", "b03-enabled=off", "--set", "b04-enabled=0"});
  ASSERT_EQ(out.Frames(), input.Frames());
  EXPECT_TRUE(std::all_of(out.samples.begin(), out.samples.end(), [](double s) { return s == 0; }));
}

// A mono file connects one input and one output: the engine hears it on both sides and the
// output is the average of the engine's two outputs.
TEST(RenderAudio, MonoFileIsTheAverageOfBothEngineOutputs) {
  const ScratchDir dir;
  const Audio mono = Noise(SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, kRate, 12000, 9);
  Audio stereo = mono;
  stereo.channels = 2;
  stereo.samples.clear();
  for (double s : mono.samples) stereo.samples.insert(stereo.samples.end(), {s, s});

  const std::vector<std::string> left = {
      "--set", "b02-gain=12", "--set", "b02-channel=Left", "--set", "b02-frequency=2000 Hz"};
  const Audio monoOut = Render(dir, mono, left, "mono.wav");
  const Audio stereoOut = Render(dir, stereo, left, "stereo.wav");
  ASSERT_EQ(monoOut.channels, 1);
  ASSERT_EQ(monoOut.Frames(), mono.Frames());
  double leftRightDifference = 0;
  for (std::int64_t n = 0; n < mono.Frames(); ++n) {
    const double l = stereoOut.At(n, 0), r = stereoOut.At(n, 1);
    ASSERT_NEAR(monoOut.At(n, 0), 0.5 * (l + r), 1e-6) << n;
    leftRightDifference = std::max(leftRightDifference, std::abs(l - r));
  }
  EXPECT_GT(leftRightDifference, 0.1); // the Left band really acted on one side only
}

// The +6 dB Bell at 1 kHz in linear phase: a symmetric response centred on the latency
// (raw) or on the impulse (compensated), +6 dB at the centre frequency and unity at DC.
TEST(RenderAudio, FirBellImpulseResponseIsSymmetricAboutTheLatency) {
  const ScratchDir dir;
  constexpr int kImpulseAt = 1000, kHalfKernel = 4096;
  std::vector<double> impulse(kImpulseAt + kLatency + kHalfKernel + 300, 0.0);
  impulse[kImpulseAt] = 0.5;
  const std::vector<std::string> bell = {
      "--set", "phase=Linear Phase FIR", "--set", "b01-frequency=1000", "--set", "b01-gain=+6dB",
      "--set", "b02-enabled=off",        "--set", "b03-enabled=off",    "--set", "b04-enabled=off"};
  std::vector<std::string> raw = bell;
  raw.push_back("--no-compensate");
  const Audio out = Render(dir, FloatAudio(impulse, 1, kRate), raw);
  ASSERT_EQ(out.Frames(), std::int64_t(impulse.size()));

  const int centre = kImpulseAt + kLatency;
  double sum = 0, re = 0, im = 0;
  for (int n = 0; n < out.Frames(); ++n) {
    const int m = n - centre;
    if (m < -kHalfKernel || m > kHalfKernel) {
      ASSERT_NEAR(out.At(n, 0), 0.0, 1e-6) << n;
      continue;
    }
    if (m > 0) {
      ASSERT_NEAR(out.At(n, 0), out.At(centre - m, 0), 1e-6) << m;
    }
    if (m != 0) {
      ASSERT_LT(std::abs(out.At(n, 0)), out.At(centre, 0)) << m;
    }
    const double h = out.At(n, 0) / 0.5;
    sum += h;
    re += h * std::cos(2 * M_PI * 1000.0 * m / kRate);
    im += h * std::sin(2 * M_PI * 1000.0 * m / kRate);
  }
  EXPECT_NEAR(20 * std::log10(std::hypot(re, im)), 6.0, 0.05);
  EXPECT_NEAR(im, 0.0, 1e-4); // zero phase about the centre
  EXPECT_NEAR(sum, 1.0, 0.01);

  const Audio aligned = Render(dir, FloatAudio(impulse, 1, kRate), bell);
  int peak = 0;
  for (int n = 0; n < aligned.Frames(); ++n) {
    if (std::abs(aligned.At(n, 0)) > std::abs(aligned.At(peak, 0))) peak = n;
  }
  EXPECT_EQ(peak, kImpulseAt);
  EXPECT_EQ(aligned.At(kImpulseAt, 0), out.At(centre, 0));
}

// Threshold -24 dBFS, Ratio 4, Range 6 dB: a steady sine at the band frequency whose detector
// level is -4 dB (20 dB over) would be cut by 15 dB, but Range bounds the cut at 6 dB. The
// raw output keeps the end of the file inside the sine for the report's readouts.
TEST(RenderAudio, DynamicBandSettlesAtTheRangeBound) {
  const ScratchDir dir;
  const double amplitude = std::sqrt(2.0) * std::pow(10.0, -4.0 / 20); // mean square -4 dB
  std::vector<double> sine(kRate * 3 / 2);
  for (std::size_t n = 0; n < sine.size(); ++n) {
    sine[n] = amplitude * std::sin(2 * M_PI * 1000.0 * double(n) / kRate);
  }
  const Audio out =
      Render(dir, FloatAudio(sine, 2, kRate),
             {"--set", "b01-frequency=1000Hz", "--set", "b01-dynamic=on", "--set",
              "b02-enabled=off", "--set", "b03-enabled=off", "--set", "b04-enabled=off",
              "--no-compensate", "--report", dir.Path("report.json")});
  const std::int64_t end = out.Frames();
  for (int channel = 0; channel < 2; ++channel) {
    const double settled = SineAmplitude(out, channel, 1000, end - kRate / 4, end);
    EXPECT_NEAR(20 * std::log10(settled / amplitude), -6.0, 0.05) << channel;
  }
  const nlohmann::json report = nlohmann::json::parse(ReadFile(dir.Path("report.json")));
  EXPECT_NEAR(report["liveBandGain"][0].get<double>(), -6.0, 0.01);
  EXPECT_NEAR(report["detectorLevel"][0].get<double>(), -4.0, 0.1);
  EXPECT_EQ(report["liveBandGain"][1].get<double>(), 0.0);
}

// External Sidechain Duck: Bell 1800 Hz, Threshold -30 dB, Range 9 dB, Detector External.
// The sidechain is silent, then loud from 1 s to 2 s, and ends there (padded with silence).
TEST(RenderAudio, SidechainDucksTheProgrammeOnlyWhileItIsLoud) {
  const ScratchDir dir;
  constexpr double kFrequency = 1800, kLevel = 0.1;
  std::vector<double> programme(3 * kRate), key(2 * kRate, 0.0);
  for (std::size_t n = 0; n < programme.size(); ++n) {
    programme[n] = kLevel * std::sin(2 * M_PI * kFrequency * double(n) / kRate);
  }
  for (std::size_t n = kRate; n < key.size(); ++n) {
    key[n] = 0.5 * std::sin(2 * M_PI * kFrequency * double(n) / kRate);
  }
  WriteAudio(dir.Path("key.wav"), FloatAudio(key, 1, kRate));
  const Audio out = Render(dir, FloatAudio(programme, 2, kRate),
                           {"--recipe", "External Sidechain Duck", "--sidechain",
                            dir.Path("key.wav"), "--report", dir.Path("report.json")});

  const auto levelDb = [&](double from, double to) {
    return 20 * std::log10(SineAmplitude(out, 0, kFrequency, std::int64_t(from * kRate),
                                         std::int64_t(to * kRate)) /
                           kLevel);
  };
  EXPECT_NEAR(levelDb(0.3, 0.95), 0.0, 0.05);
  EXPECT_NEAR(levelDb(1.4, 1.95), -9.0, 0.2);
  EXPECT_NEAR(levelDb(2.8, 3.0), 0.0, 0.3);
  const nlohmann::json report = nlohmann::json::parse(ReadFile(dir.Path("report.json")));
  EXPECT_TRUE(report["sidechainPresent"].get<bool>());
  EXPECT_TRUE(report["externalInUse"].get<bool>());
}

} // namespace
} // namespace coral::render::test
