// The renderer's command line: the --set grammar, listings, settings from recipes and saved
// states, the analysis report and plot, and the promise that a failed run writes nothing.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <sstream>

#include "engine/ParamTable.h"
#include "tests/tools/RenderHarness.h"
#include "tools/coral-render/Options.h"

namespace coral::render::test {
namespace {

constexpr int kStateSize = 1748;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// A state chunk written by hand: "RVEQ", version 1, count 216, current and stored values,
// recipe index and A/B flag, all little-endian.
std::string StateBytes(const ParamSnapshot& current, std::uint32_t recipe = 0,
                       std::uint32_t flag = 0) {
  std::string bytes = "RVEQ";
  const auto put32 = [&](std::uint32_t word) {
    for (int i = 0; i < 4; ++i) bytes.push_back(char(word >> (8 * i)));
  };
  put32(1);
  put32(216);
  for (const ParamSnapshot* values : {&current, &DefaultSnapshot()}) {
    for (float v : *values) {
      std::uint32_t word;
      std::memcpy(&word, &v, 4);
      put32(word);
    }
  }
  put32(recipe);
  put32(flag);
  return bytes;
}

float StateValue(const std::string& bytes, int index) {
  float v;
  std::memcpy(&v, bytes.data() + 12 + 4 * index, 4);
  return v;
}

TEST(RenderOptions, SetValuesFollowTheDocumentedGrammar) {
  const int type = FindParamByKey("b01-type"), gain = FindParamByKey("b01-gain");
  const int frequency = FindParamByKey("b07-frequency"), q = FindParamByKey("b12-q");
  const int mix = FindParamByKey("mix"), phase = FindParamByKey("phase");
  ASSERT_EQ(type, 13);
  ASSERT_EQ(gain, 15);
  ASSERT_EQ(FindParamByKey("b12-listen"), 215);
  EXPECT_EQ(FindParamByKey("b1-gain"), -1);
  EXPECT_EQ(FindParamByKey("B01-gain"), -1);

  struct Accepted {
    int index;
    const char* text;
    double value;
  };
  const Accepted accepted[] = {
      {type, "Notch", 5},
      {type, "Tilt", 7},
      {type, "2", 2},
      {type, "2.0", 2},
      {type, "9", 9},
      {phase, "Linear Phase FIR", 1},
      {gain, "12.5", 12.5},
      {gain, "-3 dB", -3},
      {gain, "-3dB", -3},
      {gain, "+4", 4},
      {gain, ".5", 0.5},
      {gain, "30", 30},
      {gain, "-2.5e1", -25},
      {frequency, "1000Hz", 1000},
      {frequency, "1e3 Hz", 1000},
      {mix, "50 %", 50},
      {q, "0.7071", 0.7071},
      {FindParamByKey("bypass"), "on", 1},
  };
  for (const Accepted& a : accepted) {
    std::string error;
    const std::optional<double> value = ParseParamValue(a.index, a.text, error);
    ASSERT_TRUE(value) << a.text << ": " << error;
    EXPECT_EQ(*value, a.value) << a.text;
  }

  struct Rejected {
    int index;
    const char* text;
  };
  const Rejected rejected[] = {
      {gain, ""},        {gain, " 3"},     {gain, "3 "},   {gain, "3  dB"},      {gain, "3 db"},
      {gain, "3 Hz"},    {gain, "3 dB x"}, {gain, "0x10"}, {gain, "inf"},        {gain, "nan"},
      {gain, "-inf dB"}, {gain, "1e999"},  {gain, "--3"},  {gain, "e5"},         {gain, "dB"},
      {gain, "on"},      {q, "2 dB"},      {type, "2.5"},  {type, "notch"},      {type, "Notch "},
      {type, "Bell dB"}, {phase, "0.5"},   {mix, "50%%"},  {frequency, "1 kHz"},
  };
  for (const Rejected& r : rejected) {
    std::string error;
    EXPECT_FALSE(ParseParamValue(r.index, r.text, error)) << "'" << r.text << "'";
    EXPECT_FALSE(error.empty()) << r.text;
  }

  std::string error;
  const auto assignment = ParseSetArgument("b01-frequency=250 Hz", error);
  ASSERT_TRUE(assignment) << error;
  EXPECT_EQ(assignment->paramIndex, 14);
  EXPECT_EQ(assignment->value, 250);
  EXPECT_FALSE(ParseSetArgument("b01-gain", error));
  EXPECT_FALSE(ParseSetArgument("=3", error));
  EXPECT_FALSE(ParseSetArgument("b13-gain=3", error));

  EXPECT_EQ(FindRecipe("Neutral"), 0);
  EXPECT_EQ(FindRecipe("Dehum 60 Hz"), 22);
  EXPECT_EQ(FindRecipe("31"), 31);
  EXPECT_EQ(FindRecipe("32"), -1);
  EXPECT_EQ(FindRecipe("-1"), -1);
  EXPECT_EQ(FindRecipe("neutral"), -1);
}

TEST(RenderOptions, ListingsAndHelp) {
  const RunResult recipes = RunRender({"--list-recipes"});
  EXPECT_EQ(recipes.exitCode, 0);
  const std::vector<std::string> recipeLines = Lines(recipes.out);
  ASSERT_EQ(recipeLines.size(), 32u);
  EXPECT_EQ(recipeLines[0], "0\tNeutral");
  EXPECT_EQ(recipeLines[21], "21\tDehum 50 Hz");
  EXPECT_EQ(recipeLines[31], "31\tBroad Tilt");

  const RunResult params = RunRender({"--list-params"});
  EXPECT_EQ(params.exitCode, 0);
  const std::vector<std::string> paramLines = Lines(params.out);
  ASSERT_EQ(paramLines.size(), 216u);
  EXPECT_EQ(paramLines[0], "0\tphase\tPhase\t0\t1\t0\t");
  EXPECT_EQ(paramLines[3], "3\tmix\tMix\t0\t100\t100\t%");
  EXPECT_EQ(paramLines[12], "12\tb01-enabled\tBand 1 Enabled\t0\t1\t1\t");
  EXPECT_EQ(paramLines[16], "16\tb01-q\tBand 1 Q\t0.15\t30\t0.7071\t");
  EXPECT_EQ(paramLines[99], "99\tb06-frequency\tBand 6 Frequency\t20\t22000\t2000\tHz");
  EXPECT_EQ(paramLines[215], "215\tb12-listen\tBand 12 Listen\t0\t1\t0\t");

  const RunResult help = RunRender({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("Usage: coral-render [OPTIONS] INPUT OUTPUT\n", 0), 0u);
}

TEST(RenderOptions, SavedStatesRoundTripAndMatchTheOptionsTheyCameFrom) {
  const ScratchDir dir;
  // Without INPUT and OUTPUT only the state is written; SetValue clamps 30 dB to 24.
  RunResult run = RunRender({"--recipe", "De-ess Firm", "--set", "b01-range=12", "--set",
                             "b02-gain=30", "--save-state", dir.Path("a.state")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string a = ReadFile(dir.Path("a.state"));
  ASSERT_EQ(a.size(), std::size_t(kStateSize));
  EXPECT_EQ(a.substr(0, 4), "RVEQ");
  EXPECT_EQ(StateValue(a, BandParamIndex(0, kRange)), 12.f);
  EXPECT_EQ(StateValue(a, BandParamIndex(0, kFrequency)), 6500.f);
  EXPECT_EQ(StateValue(a, BandParamIndex(1, kGain)), 24.f);
  std::uint32_t recipe;
  std::memcpy(&recipe, a.data() + 1740, 4);
  EXPECT_EQ(recipe, 5u);

  run = RunRender({"--state", dir.Path("a.state"), "--save-state", dir.Path("b.state")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile(dir.Path("b.state")), a);

  // A chunk written by hand renders exactly like the same setting given as options.
  ParamSnapshot current = DefaultSnapshot();
  current[BandParamIndex(0, kGain)] = 3.5f;
  current[BandParamIndex(0, kType)] = 2; // High Shelf
  WriteFile(dir.Path("hand.state"), StateBytes(current));
  WriteAudio(dir.Path("in.wav"), Noise(SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 48000, 8000, 2));
  run = RunRender({"--state", dir.Path("hand.state"), "--report", dir.Path("state.json"),
                   dir.Path("in.wav"), dir.Path("state.wav")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  run = RunRender({"--set", "b01-type=High Shelf", "--set", "b01-gain=3.5 dB", dir.Path("in.wav"),
                   dir.Path("options.wav")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadAudio(dir.Path("state.wav")).samples, ReadAudio(dir.Path("options.wav")).samples);
  EXPECT_EQ(nlohmann::json::parse(ReadFile(dir.Path("state.json")))["recipe"], "Custom");
}

TEST(RenderOptions, RejectedStatesNameTheReasonAndWriteNothing) {
  const ScratchDir dir;
  WriteAudio(dir.Path("in.wav"), Noise(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, 2000, 4));
  const std::string valid = StateBytes(DefaultSnapshot());
  ParamSnapshot nan = DefaultSnapshot();
  nan[BandParamIndex(0, kGain)] = std::nanf("");
  ParamSnapshot halfType = DefaultSnapshot();
  halfType[BandParamIndex(0, kType)] = 2.5f;
  struct Case {
    std::string bytes;
    const char* reason;
  };
  const Case cases[] = {
      {valid.substr(0, kStateSize - 1), "size"},
      {valid + '\0', "size"},
      {"RVEX" + valid.substr(4), "magic"},
      {StateBytes(nan), "not finite"},
      {StateBytes(halfType), "whole number"},
      {StateBytes(DefaultSnapshot(), 32), "recipe index"},
      {StateBytes(DefaultSnapshot(), 0, 2), "A/B flag"},
  };
  for (const Case& c : cases) {
    WriteFile(dir.Path("bad.state"), c.bytes);
    const RunResult run =
        RunRender({"--state", dir.Path("bad.state"), "--save-state", dir.Path("saved.state"),
                   dir.Path("in.wav"), dir.Path("out.wav")});
    EXPECT_EQ(run.exitCode, 2) << c.reason;
    EXPECT_NE(run.err.find("rejected"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"bad.state", "in.wav"}));
  }
}

// Every kind of bad input: exit status 2, one line on stderr, no new file, an existing
// OUTPUT untouched and no temporary file left behind.
TEST(RenderOptions, ErrorsExitWithTwoAndLeaveEveryFileAsItWas) {
  const ScratchDir dir;
  WriteAudio(dir.Path("in.wav"), Noise(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, 3000, 1));
  WriteAudio(dir.Path("44k.wav"), Noise(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, 3000, 1));
  Audio three = Noise(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 3, 48000, 3000, 1);
  WriteAudio(dir.Path("three.wav"), three);
  WriteFile(dir.Path("text.wav"), "not audio at all\n");
  WriteFile(dir.Path("out.wav"), "keep me");
  const std::vector<std::string> before = dir.Entries();

  const std::string in = dir.Path("in.wav"), out = dir.Path("out.wav");
  const std::vector<std::vector<std::string>> cases = {
      {"--frobnicate", in, out},
      {"--set", "b01-gian=3", in, out},
      {"--set", "b01-gain=3 dBx", in, out},
      {"--set", "b01-gain=nan", in, out},
      {"--set", "b01-type=2.5", in, out},
      {"--set", "b01-gain", in, out},
      {"--block", "0", in, out},
      {"--block", "8193", in, out},
      {"--block", "12x", in, out},
      {"--block", "512", "--block", "256", in, out},
      {"--recipe", "Neutrall", in, out},
      {"--recipe", "32", in, out},
      {in},
      {in, out, out},
      {dir.Path("missing.wav"), out},
      {dir.Path("text.wav"), out},
      {dir.Path("three.wav"), out},
      {"--sidechain", dir.Path("44k.wav"), in, out},
      {"--sidechain", dir.Path("three.wav"), in, out},
      {"--sidechain", dir.Path("missing.wav"), in, out},
      {"--state", dir.Path("missing.state"), in, out},
      {in, dir.Path("no/such/folder/out.wav")},
      {"--report", dir.Path("no/such/folder/r.json"), in, out},
      {"--plot", dir.Path("no/such/folder/p.png"), in, out},
      {"--save-state", dir.Path("no/such/folder/s.state"), in, out},
      {"--report", dir.Path("r.json")},
      {in, dir.Path("")},
  };
  for (const auto& args : cases) {
    const RunResult run = RunRender(args);
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.rfind("coral-render: ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(dir.Entries(), before);
    EXPECT_EQ(ReadFile(out), "keep me");
  }
}

TEST(RenderOptions, ReportHoldsThePublishedDataAndTheTargetOnTheGrid) {
  const ScratchDir dir;
  struct Case {
    int sampleRate;
    std::vector<std::string> settings;
    std::string recipe;
  };
  const Case cases[] = {
      {44100, {}, "Neutral"},
      {48000, {"--recipe", "Vocal Clarity"}, "Vocal Clarity"},
      {48000, {"--recipe", "Vocal Clarity", "--set", "b02-gain=-2.5"}, "Custom"},
      {32000, {"--recipe", "Master FIR"}, "Master FIR"},
      {48000, {"--recipe", "Mid-Side Air", "--set", "analyzer=off"}, "Custom"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.recipe + " at " + std::to_string(c.sampleRate));
    Audio input = Noise(SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, c.sampleRate, c.sampleRate, 8);
    for (double& s : input.samples) s *= 0.1;
    WriteAudio(dir.Path("in.wav"), input);
    std::vector<std::string> args = c.settings;
    for (const char* arg : {"--report", "r.json", "--plot", "p.png", "in.wav", "out.wav"}) {
      args.push_back(std::strchr(arg, '.') ? dir.Path(arg) : arg);
    }
    const RunResult run = RunRender(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const nlohmann::json r = nlohmann::json::parse(ReadFile(dir.Path("r.json")));
    EXPECT_EQ(r["sampleRate"].get<double>(), c.sampleRate);
    EXPECT_EQ(r["recipe"], c.recipe);
    for (const char* field :
         {"frequencies", "inputSpectrum", "outputSpectrum", "staticWetEq", "currentWetEq"}) {
      ASSERT_EQ(r[field].size(), 256u) << field;
      for (const auto& v : r[field]) ASSERT_TRUE(v.is_number()) << field;
    }
    for (const char* field : {"liveBandGain", "detectorLevel"}) EXPECT_EQ(r[field].size(), 12u);
    for (const char* field : {"inputPeak", "wetPeak", "outputPeak"}) {
      EXPECT_TRUE(r[field].is_number()) << field;
    }
    EXPECT_FALSE(r["sidechainPresent"].get<bool>());
    EXPECT_FALSE(r["externalInUse"].get<bool>());

    // The grid runs logarithmically from 20 Hz to min(0.49 x rate, 20 kHz).
    const double top = std::min(0.49 * c.sampleRate, 20000.0);
    for (int k = 0; k < 256; k += 51) {
      EXPECT_NEAR(r["frequencies"][k].get<double>(), 20 * std::pow(top / 20, k / 255.0),
                  1e-4 * top);
    }
    for (int row = 0; row < 2; ++row) {
      const auto& target = r["targetCurve"][row == 0 ? "row0" : "row1"];
      ASSERT_EQ(target.size(), 256u);
      for (int k = 0; k < 256; ++k) {
        if (row == 0) {
          ASSERT_NEAR(r["staticWetEq"][k].get<double>(), target[k].get<double>(), 0.01) << k;
        }
        ASSERT_TRUE(target[k].is_number());
      }
    }
    if (c.settings.size() == 4 && c.settings[3] == "analyzer=off") {
      for (const auto& v : r["inputSpectrum"]) EXPECT_EQ(v.get<double>(), -120.0);
    }

    const std::string png = ReadFile(dir.Path("p.png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    const auto be32 = [&](std::size_t at) {
      return (std::uint32_t(std::uint8_t(png[at])) << 24) |
             (std::uint32_t(std::uint8_t(png[at + 1])) << 16) |
             (std::uint32_t(std::uint8_t(png[at + 2])) << 8) | std::uint8_t(png[at + 3]);
    };
    EXPECT_EQ(be32(16), 1200u);
    EXPECT_EQ(be32(20), 700u);
  }
}

} // namespace
} // namespace coral::render::test
