// The plug-in's settings: the state chunk byte by byte and what a damaged one changes, the A/B
// slot and COPY, and the factory recipes against the recipe sheet written out below. Rejection
// reasons are checked through coral-render, random chunks in the reliability tests and the
// presets through the LV2 bundle.

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/CoralSieve.h"
#include "core/Recipes.h"
#include "tests/core/FakeEditorCanvas.h"

namespace {

using namespace coral;
using Bytes = std::vector<std::uint8_t>;

// The header as written by hand: "RVEQ", version 1, 216 parameters, little-endian.
const Bytes kHeader = {'R', 'V', 'E', 'Q', 1, 0, 0, 0, 216, 0, 0, 0};

void PutU32(Bytes& bytes, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes.push_back(std::uint8_t(v >> 8 * i));
}

std::uint32_t U32At(const Bytes& b, int at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

Bytes Serialize(const CoralSieve& plug) {
  reef::IByteChunk chunk;
  EXPECT_TRUE(plug.SerializeState(chunk));
  return {chunk.GetData(), chunk.GetData() + chunk.Size()};
}

class PluginState : public ::testing::Test {
protected:
  test::FakeEditorCanvas* editor = nullptr;
  int layouts = 0;
  CoralSieve plug{reef::InstanceInfo{}, test::HooksFor(editor, layouts)};

  void SetUp() override {
    plug.OpenWindow(nullptr);
    editor->sends = 0;
  }
  static reef::IByteChunk ChunkOf(const Bytes& bytes) {
    reef::IByteChunk chunk;
    chunk.PutBytes(bytes.data(), int(bytes.size()));
    return chunk;
  }
  int Load(const Bytes& b, int start = 0) { return plug.UnserializeState(ChunkOf(b), start); }
  // A valid state unlike the defaults: recipe 23 shown, recipe 8 stored, slot B shown.
  static Bytes OtherState() {
    CoralSieve other{reef::InstanceInfo{}};
    other.ApplyRecipe(8);
    other.SwitchAB();
    other.ApplyRecipe(23);
    return Serialize(other);
  }
};

TEST_F(PluginState, ChunkLayoutByteByByte) {
  // The defaults as single-precision bit patterns: the globals Phase to Graph Range, then per
  // slot Enabled (slots 1-4 on), Type, Frequency, Gain, Q 0.7071, Slope, Dynamic, Threshold
  // -24, Ratio 4, Knee 6, Attack 10, Release 150, Range 6, Direction, Detector, Channel, Listen.
  const std::uint32_t globals[12] = {0, 0, 0,          0x42C80000, 0x42C80000, 0x42C80000,
                                     0, 0, 0x3F800000, 0x3F800000, 0,          0x3F800000};
  const std::uint32_t frequencies[12] = {0x42700000, 0x42F00000, 0x437A0000, 0x43FA0000,
                                         0x447A0000, 0x44FA0000, 0x455AC000, 0x459C4000,
                                         0x45DAC000, 0x461C4000, 0x465AC000, 0x468CA000};
  Bytes expected = kHeader;
  for (int copy = 0; copy < 2; ++copy) {
    for (std::uint32_t bits : globals) PutU32(expected, bits);
    for (int s = 0; s < 12; ++s) {
      for (std::uint32_t bits :
           {s < 4 ? 0x3F800000u : 0u, 0u, frequencies[s], 0u, 0x3F350481u, 0u, 0u, 0xC1C00000u,
            0x40800000u, 0x40C00000u, 0x41200000u, 0x43160000u, 0x40C00000u, 0u, 0u, 0u, 0u})
        PutU32(expected, bits);
    }
  }
  PutU32(expected, 0); // recipe index
  PutU32(expected, 0); // A/B flag
  EXPECT_EQ(Serialize(plug), expected);

  // Band 1 Gain (parameter 15) at -3.5 dB moves to the stored array by A/B; recipe 21 is then
  // shown, with Gain 0, and leaves the stored slot and slot B as they are.
  plug.GetParam(15)->SetValue(-3.5);
  plug.SwitchAB();
  plug.ApplyRecipe(21);
  const Bytes bytes = Serialize(plug);
  EXPECT_EQ(U32At(bytes, 12 + 4 * 15), 0u);
  EXPECT_EQ(U32At(bytes, 876 + 4 * 15), 0xC0600000u);
  EXPECT_EQ(U32At(bytes, 1740), 21u);
  EXPECT_EQ(U32At(bytes, 1744), 1u);
}

TEST_F(PluginState, WrongSizesStartsAndBitFlipsChangeNothing) {
  const Bytes valid = OtherState(), before = Serialize(plug);
  for (std::size_t length = 0; length < valid.size(); ++length)
    ASSERT_EQ(Load(Bytes(valid.begin(), valid.begin() + length)), -1) << length;
  Bytes longer = valid;
  longer.push_back(0);
  EXPECT_EQ(Load(longer), -1);
  EXPECT_EQ(Load(longer, 1), -1); // the right size, shifted: bad magic
  for (int start : {-1, 1, 5000}) EXPECT_EQ(Load(valid, start), -1) << start;
  EXPECT_EQ(editor->sends, 0);
  EXPECT_EQ(Serialize(plug), before);

  // Every single-bit flip: rejected without change, or accepted and reproduced exactly.
  int accepted = 0;
  for (std::size_t bit = 0; bit < 8 * valid.size(); ++bit) {
    Bytes flipped = valid;
    flipped[bit / 8] ^= std::uint8_t(1u << bit % 8);
    if (Load(flipped) < 0) {
      ASSERT_EQ(Serialize(plug), before) << "bit " << bit;
      continue;
    }
    ASSERT_GE(bit, 96u) << "header bit accepted";
    ASSERT_EQ(Serialize(plug), flipped) << "bit " << bit;
    ASSERT_EQ(Load(before), 1748);
    ++accepted;
  }
  // Low mantissa bits of continuous values stay valid.
  EXPECT_GT(accepted, 1000);
}

// COPY is driven through the application in the gui tests.
TEST_F(PluginState, ABSwitchAndRecipeOutsideTheTable) {
  plug.GetParam(32)->SetValue(1.234); // Band 2 Gain, not exactly a float
  const ParamSnapshot edited = plug.CurrentValues();
  plug.SwitchAB();
  EXPECT_EQ(editor->sends, 216);
  EXPECT_EQ(plug.GetABFlag(), 1);
  EXPECT_EQ(plug.CurrentValues(), DefaultSnapshot());
  EXPECT_EQ(plug.StoredValues(), edited);
  plug.SwitchAB();
  EXPECT_EQ(plug.GetABFlag(), 0);
  EXPECT_EQ(plug.CurrentValues(), edited);
  EXPECT_EQ(plug.GetParam(32)->Value(), double(1.234f)); // the slot holds single precision
  EXPECT_EQ(plug.StoredValues(), DefaultSnapshot());

  // A recipe index outside the table changes nothing at all.
  const Bytes before = Serialize(plug);
  editor->sends = 0;
  for (int index : {32, -1}) plug.ApplyRecipe(index);
  EXPECT_EQ(editor->sends, 0);
  EXPECT_EQ(Serialize(plug), before);
}

// The recipe sheet: name, then per slot that is on "slot Type Frequency" and every field
// that differs from its default; "Phase 1" is the linear-phase mode.
// clang-format off
const char* const kSheet[32] = {
  "Neutral|1 Bell 60|2 Bell 120|3 Bell 250|4 Bell 500",
  "Vocal Clarity|1 HighPass 80|2 Bell 300 Gain -2 Q 1.2|3 Bell 3200 Gain 2 Q 1",
  "Vocal Body|1 LowShelf 180 Gain 2|2 Bell 2500 Gain -1 Q 1",
  "Vocal Warmth|1 HighShelf 8000 Gain -1.5|2 LowShelf 180 Gain 1.5",
  "De-ess Gentle|1 Bell 6500 Q 2.5 Dynamic 1 Threshold -28 Attack 1 Release 75 Range 4",
  "De-ess Firm|1 Bell 6500 Q 2.5 Dynamic 1 Threshold -34 Attack 1 Release 75 Range 9",
  "Master Clean|1 HighPass 25|2 Bell 250 Gain -0.8 Q 1",
  "Master Air|1 HighShelf 10000 Gain 1.5",
  "Master FIR|Phase 1|1 Bell 300 Gain -1 Q 1|2 HighShelf 9000 Gain 1",
  "Master Warmth|1 LowShelf 120 Gain 1.2|2 HighShelf 10000 Gain -0.6",
  "Frequency Mix Glue|1 Bell 180 Q 0.7 Dynamic 1 Attack 25 Release 250 Range 2"
    "|2 Bell 1200 Q 0.7 Dynamic 1 Attack 25 Release 250 Range 2"
    "|3 Bell 6500 Q 0.7 Dynamic 1 Attack 25 Release 250 Range 2",
  "Bass Cleanup|1 HighPass 30|2 Bell 220 Gain -3 Q 1",
  "Kick Focus|1 Bell 65 Gain 3 Q 0.9|2 Bell 350 Gain -4 Q 1.5|3 Bell 3500 Gain 2 Q 1",
  "Snare Detail|1 HighPass 100|2 Bell 200 Gain 2 Q 1|3 HighShelf 7000 Gain 2",
  "Drum Bus Shape|1 LowShelf 80 Gain 1.5|2 Bell 350 Gain -2 Q 1 Dynamic 1 Threshold -25 Range 3"
    "|3 HighShelf 8000 Gain 1.5",
  "Acoustic Presence|1 HighPass 70|2 Bell 250 Gain -2 Q 1.2|3 HighShelf 8500 Gain 2",
  "Electric Edge|1 HighPass 90|2 Bell 3000 Gain -2 Q 1.5 Dynamic 1 Threshold -22 Range 4",
  "Piano Balance|1 HighPass 35|2 Bell 400 Gain -2 Q 0.8|3 HighShelf 9000 Gain 1",
  "Dynamic Mud|1 Bell 250 Q 1.5 Dynamic 1 Threshold -28 Range 7",
  "Dynamic Harshness|1 Bell 3500 Q 2 Dynamic 1 Threshold -30",
  "Resonance Tamer|1 Bell 1100 Q 8 Dynamic 1 Threshold -32 Range 12",
  "Dehum 50 Hz|1 Notch 50 Q 25|2 Notch 100 Q 25|3 Notch 150 Q 25|4 Notch 200 Q 25|5 Notch 250 Q 25"
    "|6 Notch 300 Q 25|7 Notch 350 Q 25|8 Notch 400 Q 25|9 Notch 450 Q 25|10 Notch 500 Q 25"
    "|11 Notch 550 Q 25|12 Notch 600 Q 25",
  "Dehum 60 Hz|1 Notch 60 Q 25|2 Notch 120 Q 25|3 Notch 180 Q 25|4 Notch 240 Q 25|5 Notch 300 Q 25"
    "|6 Notch 360 Q 25|7 Notch 420 Q 25|8 Notch 480 Q 25|9 Notch 540 Q 25|10 Notch 600 Q 25"
    "|11 Notch 660 Q 25|12 Notch 720 Q 25",
  "Old Radio|1 HighPass 180 Slope 2|2 LowPass 4200 Slope 2",
  "Telephone|1 HighPass 400 Slope 3|2 LowPass 2800 Slope 3",
  "Loudness Smile|1 LowShelf 100 Gain 3|2 Bell 900 Gain -2 Q 0.7|3 HighShelf 9000 Gain 2.5",
  "Mid-Side Air|1 HighShelf 7000 Gain 2 Channel 4",
  "Center Focus|1 Bell 2800 Gain 1.5 Q 0.8 Channel 3",
  "External Sidechain Duck|1 Bell 1800 Q 0.6 Dynamic 1 Threshold -30 Range 9 Detector 1",
  "Upward Detail|1 Bell 5000 Q 1 Dynamic 1 Threshold -30 Range 4 Direction 1",
  "Linear Vocal Polish|Phase 1|1 HighShelf 9500 Gain 1.5|2 Bell 300 Gain -1 Q 1",
  "Broad Tilt|1 Tilt 1000 Gain 3 Q 0.7",
};
const char* const kTypes[] = {"Bell", "LowShelf", "HighShelf", "HighPass", "LowPass", "Notch",
                              "BandPass", "Tilt"};
const std::map<std::string, int> kFields = {{"Gain", 3}, {"Q", 4}, {"Slope", 5}, {"Dynamic", 6},
  {"Threshold", 7}, {"Attack", 10}, {"Release", 11}, {"Range", 12}, {"Direction", 13},
  {"Detector", 14}, {"Channel", 15}};
// clang-format on

// Every parameter of a sheet line: the defaults with every slot off, then the line.
std::pair<std::string, std::vector<float>> Expand(const std::string& line) {
  std::vector<float> v = {0, 0, 0, 100, 100, 100, 0, 0, 1, 1, 0, 1};
  for (float f : {60, 120, 250, 500, 1000, 2000, 3500, 5000, 7000, 10000, 14000, 18000})
    v.insert(v.end(), {0, 0, f, 0, 0.7071f, 0, 0, -24, 4, 6, 10, 150, 6, 0, 0, 0, 0});
  std::stringstream parts(line);
  std::string name, part, word;
  std::getline(parts, name, '|');
  while (std::getline(parts, part, '|')) {
    std::stringstream words(part);
    words >> word;
    if (word == "Phase" && words >> v[0]) continue;
    const int slot = 12 + 17 * (std::stoi(word) - 1);
    words >> word >> v[slot + 2];
    v[slot] = 1;
    v[slot + 1] = float(std::find(std::begin(kTypes), std::end(kTypes), word) - kTypes);
    for (float value; words >> word >> value;) v[slot + kFields.at(word)] = value;
  }
  return {name, v};
}

TEST_F(PluginState, EveryRecipeMatchesTheSheetAndAppliesExactly) {
  for (int r = 0; r < 32; ++r) {
    const auto [name, expected] = Expand(kSheet[r]);
    EXPECT_EQ(GetRecipes()[r].name, name);
    // Globals, the display preferences among them, belong to every recipe.
    plug.GetParam(kOutput)->SetValue(-6);
    plug.GetParam(kAnalyzer)->SetValue(0);
    plug.ApplyRecipe(r);
    const ParamSnapshot shown = plug.CurrentValues();
    for (int i = 0; i < 216; ++i) EXPECT_EQ(shown[i], expected[i]) << name << ", parameter " << i;
    EXPECT_EQ(plug.GetSelectedRecipe(), r);
    EXPECT_EQ(plug.FindMatchingRecipe(), r) << name; // and no earlier recipe
  }
}

TEST_F(PluginState, RecipeMatchingToleratesOnlyTinyDifferences) {
  // max(range x 0.000002, 0.00001): Band 1 Frequency 20..22000 Hz gives 0.04396 Hz, Gain
  // -24..24 dB 0.000096 dB, and Bypass 0..1 the floor.
  EXPECT_EQ(RecipeTolerance(kBypass), 0.00001f);
  // Kick Focus, slot 1 Bell 65 Hz +3 dB. Every parameter counts, the display preferences and the
  // fields of slots that are off too (slot 9 Knee is parameter 157, slot 2 Slope 34).
  const std::tuple<int, double, int> probes[] = {
      {kGraphRange, 2, -1}, {157, 7, -1},      {14, 66, -1},     {14, 65.03, 12},
      {14, 65.05, -1},      {15, 3.00005, 12}, {15, 3.0002, -1}, {34, 1, -1}};
  for (auto [index, value, match] : probes) {
    plug.ApplyRecipe(12);
    plug.GetParam(index)->SetValue(value);
    EXPECT_EQ(plug.FindMatchingRecipe(), match) << index << " at " << value;
  }
}

} // namespace
