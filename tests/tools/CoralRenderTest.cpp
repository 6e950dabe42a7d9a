// The offline renderer end to end through its binary: exact pass-through in every format,
// dynamic processing, the auxiliary input, the --set grammar, saved states, the analysis
// report, warnings that keep the render, and the promise that a failed run writes nothing.
// Exact delays and the linear-phase response are the engine's tests; the LV2 tests compare
// the plug-in with this renderer's raw output bit for bit.

#include <sys/wait.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "core/Recipes.h"
#include "tests/support/AudioFiles.h"
#include "tools/coral-render/Options.h"

namespace coral::render {
namespace {

using test::AudioFile;
using test::ReadAudio;
using test::WriteAudio;
using test::ScratchDir;

constexpr int kRate = 48000;
const int kFloatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT, kPcm16Wav = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

std::string ReadFile(const std::string& path) {
  std::ostringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

struct RunResult {
  int exitCode;
  std::string out, err;
};

// Runs coral-render with `args` (none of which holds a single quote), standard input from the
// file `input` when given.
RunResult RunRender(const std::vector<std::string>& args, const std::string& input = "") {
  const ScratchDir capture;
  std::string command = "'" CORAL_RENDER_BINARY "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  if (!input.empty()) command += " <'" + input + "'";
  const int status =
      std::system((command + " >" + capture.Path("o") + " 2>" + capture.Path("e")).c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(capture.Path("o")),
          ReadFile(capture.Path("e"))};
}

// Uniform random samples over the whole range of the format, both PCM extremes included.
AudioFile Noise(int format, int channels, int sampleRate, int frames, unsigned seed) {
  AudioFile audio{format, sampleRate, test::Channels(channels, std::vector<float>(frames))};
  std::mt19937 random(seed);
  const int sub = format & SF_FORMAT_SUBMASK;
  const double top = sub == SF_FORMAT_PCM_16 ? 32768 : sub == SF_FORMAT_PCM_24 ? 8388608 : 0;
  for (auto& channel : audio.channels) {
    for (float& s : channel) {
      s = top > 0 ? std::floor(std::uniform_real_distribution<double>(-top, top)(random))
                  : std::uniform_real_distribution<float>(-1.f, 1.f)(random);
    }
  }
  if (top > 0) audio.channels[0][0] = -top, audio.channels[0][1] = top - 1;
  return audio;
}

// A float file of `channels` identical channels holding `mono`.
AudioFile FloatAudio(const std::vector<double>& mono, int channels) {
  return {kFloatWav, kRate, test::Channels(channels, std::vector<float>(mono.begin(), mono.end()))};
}

// A sine of `amplitude` at `frequency` Hz, `frames` long.
std::vector<double> Sine(double amplitude, double frequency, int frames) {
  std::vector<double> sine(frames);
  for (int n = 0; n < frames; ++n) sine[n] = amplitude * std::sin(2 * M_PI * frequency * n / kRate);
  return sine;
}

// Level in dB relative to `reference` of the component at `frequency` Hz in channel 0 over
// [from, to) seconds, which must span whole periods.
double LevelDb(const AudioFile& audio, double frequency, double from, double to, double reference) {
  double re = 0, im = 0;
  for (std::int64_t n = std::llround(from * kRate); n < std::llround(to * kRate); ++n) {
    re += audio.channels[0][n] * std::cos(2 * M_PI * frequency * double(n) / kRate);
    im += audio.channels[0][n] * std::sin(2 * M_PI * frequency * double(n) / kRate);
  }
  return 20 * std::log10(2 * std::hypot(re, im) / ((to - from) * kRate) / reference);
}

// Writes `input`, renders it with `options` and reads the result; `piped` renders from
// standard input to standard output ("-" for INPUT and OUTPUT).
AudioFile Render(const ScratchDir& dir, const AudioFile& input, std::vector<std::string> options,
                 const std::string& name = "out.wav", bool piped = false) {
  const std::string in = dir.Path("in.wav"), out = dir.Path(name);
  WriteAudio(in, input);
  options.insert(options.end(), {piped ? "-" : in, piped ? "-" : out});
  const RunResult run = RunRender(options, piped ? in : "");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  if (piped) WriteFile(out, run.out);
  return ReadAudio(out);
}

void ExpectSameAudio(const AudioFile& expected, const AudioFile& actual) {
  EXPECT_EQ(std::tie(actual.format, actual.sampleRate),
            std::tie(expected.format, expected.sampleRate));
  EXPECT_EQ(test::FirstDifference(actual.channels, expected.channels), -1);
}

// A state chunk written by hand: "RVEQ", version 1, count 216, `current`, the defaults as the
// stored slot, the recipe index and the A/B flag, all little-endian.
std::string StateBytes(const ParamSnapshot& current, std::uint32_t recipe = 0,
                       std::uint32_t flag = 0) {
  std::string bytes = "RVEQ";
  const auto put = [&bytes](std::uint32_t word) {
    for (int i = 0; i < 4; ++i) bytes.push_back(char(word >> 8 * i));
  };
  for (std::uint32_t word : {1, 216}) put(word);
  for (float v : current) put(std::bit_cast<std::uint32_t>(v));
  for (float v : DefaultSnapshot()) put(std::bit_cast<std::uint32_t>(v));
  for (std::uint32_t word : {recipe, flag}) put(word);
  return bytes;
}

TEST(RenderAudio, DefaultSettingsNullBitForBitInEveryExactFormat) {
  const ScratchDir dir;
  // {format, channels, frames, block, name, through standard input and output}
  const std::tuple<int, int, int, const char*, const char*, bool> cases[] = {
      {kPcm16Wav, 2, 20000, "512", "out.wav", false},
      {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 20000, "333", "out.flac", true},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 20000, "8192", "out.wav", false},
      {SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, 9000, "1", "out.aiff", true},
      {kFloatWav, 2, 20000, "1000", "out.wav", false},
      {kFloatWav, 1, 1000, "512", "out.wav", false}}; // shorter than the latency
  for (auto [format, channels, frames, block, name, piped] : cases) {
    SCOPED_TRACE(name + (" block " + std::string(block)));
    const AudioFile input = Noise(format, channels, 44100, frames, 7);
    ExpectSameAudio(input, Render(dir, input, {"--block", block}, name, piped));
  }
}

// Threshold -24 dBFS, Ratio 4, Range 6 dB: a steady sine at the band frequency whose detector
// level is -4 dB (20 dB over) would be cut by 15 dB, but Range bounds the cut at 6 dB. The
// raw output keeps the end of the file inside the sine for the report's readouts.
TEST(RenderAudio, DynamicBandSettlesAtTheRangeBound) {
  const ScratchDir dir;
  const double amplitude = std::sqrt(2.0) * std::pow(10.0, -4.0 / 20); // mean square -4 dB
  const AudioFile out =
      Render(dir, FloatAudio(Sine(amplitude, 1000, kRate * 3 / 2), 1),
             {"--set", "b01-frequency=1000Hz", "--set", "b01-dynamic=on", "--set",
              "b02-enabled=off", "--set", "b03-enabled=off", "--set", "b04-enabled=off",
              "--no-compensate", "--report", dir.Path("r.json")});
  EXPECT_NEAR(LevelDb(out, 1000, 1.25, 1.5, amplitude), -6.0, 0.05);
  const nlohmann::json report = nlohmann::json::parse(ReadFile(dir.Path("r.json")));
  EXPECT_NEAR(report["liveBandGain"][0].get<double>(), -6.0, 0.01);
  EXPECT_NEAR(report["detectorLevel"][0].get<double>(), -4.0, 0.1);
}

// External Sidechain Duck: Bell 1800 Hz, Threshold -30 dB, Range 9 dB, Detector External.
// The sidechain is silent, then loud from 1 s to 2 s, and ends there (padded with silence).
TEST(RenderAudio, SidechainDucksTheProgrammeOnlyWhileItIsLoud) {
  const ScratchDir dir;
  std::vector<double> key = Sine(0.5, 1800, 2 * kRate);
  std::fill(key.begin(), key.begin() + kRate, 0.0);
  WriteAudio(dir.Path("key.wav"), FloatAudio(key, 1));
  const AudioFile out =
      Render(dir, FloatAudio(Sine(0.1, 1800, 3 * kRate), 2),
             {"--recipe", "External Sidechain Duck", "--sidechain", dir.Path("key.wav")});
  EXPECT_NEAR(LevelDb(out, 1800, 0.3, 0.95, 0.1), 0.0, 0.05);
  EXPECT_NEAR(LevelDb(out, 1800, 1.4, 1.95, 0.1), -9.0, 0.2);
  EXPECT_NEAR(LevelDb(out, 1800, 2.8, 3.0, 0.1), 0.0, 0.3);
}

TEST(RenderOptions, SetValuesFollowTheDocumentedGrammar) {
  // Parameters: Phase 0, Mix 3, Bypass 6, Band 1 Type 13 and Gain 15, Band 7 Frequency 116,
  // Band 12 Q 203. Values come before clamping.
  const std::tuple<int, const char*, double> accepted[] = {
      {13, "Notch", 5},           {13, "2", 2},          {13, "2.0", 2},        {13, "7", 7},
      {0, "Linear Phase FIR", 1}, {6, "on", 1},          {15, "12.5", 12.5},    {15, "-3 dB", -3},
      {15, "-3dB", -3},           {15, "+4", 4},         {15, ".5", 0.5},       {15, "30", 30},
      {15, "-2.5e1", -25},        {116, "1000Hz", 1000}, {116, "1e3 Hz", 1000}, {3, "50 %", 50},
      {203, "0.7071", 0.7071}};
  for (auto [index, text, value] : accepted) {
    std::string error;
    EXPECT_EQ(ParseParamValue(index, text, error), value) << text << ": " << error;
  }
  const std::pair<int, const char*> rejected[] = {
      {15, ""},     {15, " 3"},     {15, "3 "},     {15, "3  dB"}, {15, "3 db"},  {15, "3 Hz"},
      {15, "0x10"}, {15, "inf"},    {15, "nan"},    {15, "1e999"}, {15, "--3"},   {15, "e5"},
      {15, "on"},   {15, "3 dB x"}, {203, "2 dB"},  {13, "2.5"},   {13, "notch"}, {13, "Notch "},
      {0, "0.5"},   {3, "50%%"},    {116, "1 kHz"}, {13, "8"},     {17, "24"},    {6, "-1"}};
  for (auto [index, text] : rejected) {
    std::string error;
    EXPECT_FALSE(ParseParamValue(index, text, error)) << "'" << text << "'";
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST(RenderOptions, SavedStatesRoundTripAndMatchTheOptionsTheyCameFrom) {
  const ScratchDir dir;
  // Without INPUT and OUTPUT only the state is written: De-ess Firm (recipe 31 by index, then
  // 5 by name) with Band 1 Range 12 and Band 2 Gain 30 clamped to 24, the defaults stored.
  RunResult run = RunRender({"--recipe", "31", "--recipe", "De-ess Firm", "--set", "b01-range=12",
                             "--set", "b02-gain=30", "--save-state", dir.Path("a.state")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  ParamSnapshot deEss = GetRecipes()[5].values;
  deEss[BandParamIndex(0, kRange)] = 12;
  deEss[BandParamIndex(1, kGain)] = 24;
  EXPECT_EQ(ReadFile(dir.Path("a.state")), StateBytes(deEss, 5));
  run = RunRender({"--state", dir.Path("a.state"), "--save-state", dir.Path("b.state")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile(dir.Path("b.state")), ReadFile(dir.Path("a.state")));

  // A chunk written by hand renders exactly like the same setting given as options.
  ParamSnapshot shelf = DefaultSnapshot();
  shelf[BandParamIndex(0, kGain)] = 3.5f;
  shelf[BandParamIndex(0, kType)] = kHighShelf;
  WriteFile(dir.Path("hand.state"), StateBytes(shelf));
  const AudioFile input = Noise(kFloatWav, 2, kRate, 8000, 2);
  const AudioFile viaState =
      Render(dir, input, {"--state", dir.Path("hand.state"), "--report", dir.Path("r.json")});
  ExpectSameAudio(viaState,
                  Render(dir, input, {"--set", "b01-type=High Shelf", "--set", "b01-gain=3.5 dB"}));
  EXPECT_EQ(nlohmann::json::parse(ReadFile(dir.Path("r.json")))["recipe"], "Custom");
}

TEST(RenderOptions, RejectedStatesNameTheReasonAndWriteNothing) {
  const ScratchDir dir;
  WriteAudio(dir.Path("in.wav"), Noise(kPcm16Wav, 2, kRate, 2000, 4));
  const std::string valid = StateBytes(DefaultSnapshot());
  ParamSnapshot nan = DefaultSnapshot(), halfType = DefaultSnapshot();
  nan[BandParamIndex(0, kGain)] = std::nanf("");
  halfType[BandParamIndex(0, kType)] = 2.5f;
  const std::pair<std::string, const char*> cases[] = {
      {valid.substr(0, 1747), "size"},
      {valid + '\0', "size"},
      {"RVEX" + valid.substr(4), "magic"},
      {StateBytes(nan), "not finite"},
      {StateBytes(halfType), "whole number"},
      {StateBytes(DefaultSnapshot(), 32), "recipe index"},
      {StateBytes(DefaultSnapshot(), 0, 2), "A/B flag"}};
  for (const auto& [bytes, reason] : cases) {
    WriteFile(dir.Path("bad.state"), bytes);
    const RunResult run = RunRender({"--state", dir.Path("bad.state"), "--save-state",
                                     dir.Path("s.state"), dir.Path("in.wav"), dir.Path("out.wav")});
    EXPECT_EQ(run.exitCode, 2) << reason;
    EXPECT_NE(run.err.find("rejected"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    EXPECT_EQ(dir.Entries(), (std::set<std::string>{"bad.state", "in.wav"}));
  }
}

// Bad input of each kind: exit status 2, one line on stderr saying what is wrong, no new file,
// an existing OUTPUT untouched, no input replaced and no temporary file left behind.
TEST(RenderOptions, ErrorsExitWithTwoAndLeaveEveryFileAsItWas) {
  const ScratchDir dir;
  const std::string in = dir.Path("in.wav"), out = dir.Path("out.wav"), link = dir.Path("link.wav");
  WriteAudio(in, Noise(kPcm16Wav, 2, kRate, 3000, 1));
  WriteAudio(dir.Path("44k.wav"), Noise(kPcm16Wav, 1, 44100, 3000, 1));
  WriteAudio(dir.Path("8k.wav"), Noise(kPcm16Wav, 1, 8000, 3000, 1));
  WriteAudio(dir.Path("three.wav"), Noise(kPcm16Wav, 3, kRate, 3000, 1));
  std::filesystem::create_symlink("in.wav", link);
  std::filesystem::create_hard_link(in, dir.Path("hard.wav"));
  WriteFile(out, "keep me");
  const std::set<std::string> before = dir.Entries();
  const std::string original = ReadFile(in);
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--frobnicate", in, out}, "unknown option"},
      {{"--set", "b01-gian=3", in, out}, "unknown parameter"},
      {{"--set", "b01-slope=24", in, out}, "12 dB/oct, 24 dB/oct, 36 dB/oct, 48 dB/oct"},
      {{"--block", "8193", in, out}, "block size"},
      {{"--recipe", "Neutrall", in, out}, "unknown recipe"},
      {{in}, "expected INPUT and OUTPUT"},
      {{dir.Path("missing.wav"), out}, "cannot read"},
      {{dir.Path("three.wav"), out}, "channels"},
      {{dir.Path("8k.wav"), out}, "22050 to 192000 Hz: resample"},
      {{"--sidechain", dir.Path("44k.wav"), in, out}, "must match"},
      {{"--report", dir.Path("no/such/r.json"), in, out}, "cannot write"},
      {{"--plot", dir.Path("p.jpg"), in, out}, ".png"},
      {{"--report", "-", in, out}, "only as INPUT or OUTPUT"},
      {{in, dir.path + "/./in.wav"}, "is the same file as INPUT"},
      {{"--plot", dir.Path("p.png"), in, link}, "is the same file as INPUT"},
      {{"--report", dir.Path("hard.wav"), in, out}, "the same file as INPUT"},
      {{"--save-state", link, "--sidechain", in, dir.Path("44k.wav"), out}, "as --sidechain"}};
  for (const auto& [args, reason] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const RunResult run = RunRender(args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.rfind("coral-render: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(dir.Entries(), before);
    EXPECT_EQ(ReadFile(out), "keep me");
    EXPECT_EQ(ReadFile(in), original);
  }
}

// Input that is usable but not as the user may think: the render goes ahead (exit 0) and one
// warning line says what happened.
TEST(RenderOptions, WarningsKeepTheRenderAndSayWhatHappened) {
  const ScratchDir dir;
  const std::string in = dir.Path("in.wav"), out = dir.Path("out.wav");
  // A 16-bit stereo WAV of 6000 frames cut after 2500 frames of its data (44-byte header).
  WriteAudio(dir.Path("full.wav"), Noise(kPcm16Wav, 2, kRate, 6000, 5));
  WriteFile(dir.Path("cut.wav"), ReadFile(dir.Path("full.wav")).substr(0, 44 + 2500 * 4));
  WriteAudio(in, FloatAudio(Sine(0.25, 1000, 3000), 2));
  // {arguments, warning, frames written}
  const std::tuple<std::vector<std::string>, const char*, std::int64_t> cases[] = {
      {{dir.Path("cut.wav"), out},
       "cut.wav' is cut short: its header declares 6000 frames, 2500 were read",
       2500},
      {{"--set", "b02-dynamic=on", "--set", "b02-detector=External", "--set", "b04-dynamic=on",
        "--set", "b04-detector=1", in, out},
       "bands 2 and 4 use the External detector but no --sidechain was given",
       3000}};
  for (const auto& [args, warning, frames] : cases) {
    SCOPED_TRACE(warning);
    const RunResult run = RunRender(args);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find(warning), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(ReadAudio(out).Frames(), frames);
  }
}

TEST(RenderOptions, ReportHoldsTheCurvesAndTheMatchingRecipe) {
  const ScratchDir dir;
  const std::tuple<int, std::vector<std::string>, std::string> cases[] = {
      {44100, {}, "Neutral"},
      {32000, {"--recipe", "Master FIR"}, "Master FIR"},
      {kRate, {"--recipe", "Vocal Clarity", "--set", "b02-gain=-2.5"}, "Custom"}};
  for (auto [rate, args, recipe] : cases) {
    SCOPED_TRACE(recipe);
    args.insert(args.end(), {"--report", dir.Path("r.json"), "--plot", dir.Path("p.png")});
    const AudioFile input = Noise(kFloatWav, 2, rate, rate, 8);
    const AudioFile output = Render(dir, input, args);
    const nlohmann::json r = nlohmann::json::parse(ReadFile(dir.Path("r.json")));
    EXPECT_EQ(r["recipe"], recipe);
    // Peaks of the whole run, not of the silent flush that ends it.
    const auto peak = [](const AudioFile& audio) {
      float largest = 0;
      for (const auto& channel : audio.channels)
        for (float x : channel) largest = std::max(largest, std::abs(x));
      return double(largest);
    };
    EXPECT_EQ(r["peaks"]["over"], "whole run");
    EXPECT_EQ(r["peaks"]["input"].get<double>(), peak(input));
    EXPECT_EQ(r["peaks"]["output"].get<double>(), peak(output));
    for (const char* curve : {"frequencies", "inputSpectrum", "outputSpectrum", "currentWetEq"})
      EXPECT_EQ(r[curve].size(), 256u) << curve;
    // The applied static curve is the target curve of the settings.
    ASSERT_EQ(r["staticWetEq"].size(), 256u);
    for (int k = 0; k < 256; ++k)
      EXPECT_NEAR(r["staticWetEq"][k].get<double>(), r["targetCurve"]["row0"][k].get<double>(),
                  0.01);
    // A PNG of 1200 x 700 pixels: the signature, then the IHDR width and height big-endian.
    EXPECT_EQ(ReadFile(dir.Path("p.png")).substr(0, 24),
              std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x04\xb0\0\0\x02\xbc", 24));
  }
}

} // namespace
} // namespace coral::render
