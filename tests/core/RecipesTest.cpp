// Factory recipes against the recipe sheet written out below, and recipe matching.

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/CoralSieve.h"
#include "core/Recipes.h"

namespace {

constexpr int Band(int slot, int field) {
  return 12 + 17 * (slot - 1) + field;
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
    "Dehum 50 Hz|1 Notch 50 Q 25|2 Notch 100 Q 25|3 Notch 150 Q 25|4 Notch 200 Q 25"
        "|5 Notch 250 Q 25|6 Notch 300 Q 25|7 Notch 350 Q 25|8 Notch 400 Q 25|9 Notch 450 Q 25"
        "|10 Notch 500 Q 25|11 Notch 550 Q 25|12 Notch 600 Q 25",
    "Dehum 60 Hz|1 Notch 60 Q 25|2 Notch 120 Q 25|3 Notch 180 Q 25|4 Notch 240 Q 25"
        "|5 Notch 300 Q 25|6 Notch 360 Q 25|7 Notch 420 Q 25|8 Notch 480 Q 25|9 Notch 540 Q 25"
        "|10 Notch 600 Q 25|11 Notch 660 Q 25|12 Notch 720 Q 25",
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
// clang-format on

const std::map<std::string, int> kTypes = {{"Bell", 0},     {"LowShelf", 1}, {"HighShelf", 2},
                                           {"HighPass", 3}, {"LowPass", 4},  {"Notch", 5},
                                           {"BandPass", 6}, {"Tilt", 7}};
const std::map<std::string, int> kFields = {{"Gain", 3},      {"Q", 4},         {"Slope", 5},
                                            {"Dynamic", 6},   {"Threshold", 7}, {"Attack", 10},
                                            {"Release", 11},  {"Range", 12},    {"Direction", 13},
                                            {"Detector", 14}, {"Channel", 15}};

// Every parameter of a sheet line: the defaults with all slots off, then the line.
std::pair<std::string, std::vector<float>> Expand(const std::string& line) {
  std::vector<float> v = {0, 0, 0, 100, 100, 100, 0, 0, 1, 1, 0, 1};
  const float frequencies[12] = {60,   120,  250,  500,   1000,  2000,
                                 3500, 5000, 7000, 10000, 14000, 18000};
  for (float f : frequencies) {
    const float band[17] = {0, 0, f, 0, 0.7071f, 0, 0, -24, 4, 6, 10, 150, 6, 0, 0, 0, 0};
    v.insert(v.end(), band, band + 17);
  }
  std::stringstream parts(line);
  std::string name, part;
  std::getline(parts, name, '|');
  while (std::getline(parts, part, '|')) {
    std::stringstream words(part);
    std::string first, word;
    float value;
    words >> first;
    if (first == "Phase") {
      words >> v[0];
      continue;
    }
    const int slot = std::stoi(first);
    words >> word >> v[Band(slot, 2)];
    v[Band(slot, 0)] = 1;
    v[Band(slot, 1)] = float(kTypes.at(word));
    while (words >> word >> value) v[Band(slot, kFields.at(word))] = value;
  }
  return {name, v};
}

TEST(RecipeTable, EveryRecipeMatchesTheSheet) {
  const auto& recipes = coral::GetRecipes();
  for (int r = 0; r < 32; ++r) {
    const auto [name, expected] = Expand(kSheet[r]);
    EXPECT_EQ(recipes[r].name, name) << r;
    for (int i = 0; i < 216; ++i) EXPECT_EQ(recipes[r].values[i], expected[i]) << name << " " << i;
  }
  EXPECT_EQ(&coral::GetRecipes(), &recipes); // built once
}

TEST(RecipeTable, TolerancesInSinglePrecision) {
  EXPECT_NEAR(coral::RecipeTolerance(Band(1, coral::kFrequency)), 0.04396f, 1e-6f);
  EXPECT_NEAR(coral::RecipeTolerance(Band(1, coral::kGain)), 0.000096f, 1e-9f);
  EXPECT_EQ(coral::RecipeTolerance(coral::kBypass), 0.00001f);
  EXPECT_NEAR(coral::RecipeTolerance(Band(1, coral::kType)), 0.000014f, 1e-9f);
  EXPECT_NEAR(coral::RecipeTolerance(coral::kScale), 0.0004f, 1e-9f);
}

class RecipePlugTest : public ::testing::Test {
protected:
  CoralSieve plug{iplug::InstanceInfo{}};
  iplug::IParam& P(int index) { return *plug.GetParam(index); }
};

TEST_F(RecipePlugTest, ApplyingAndMatching) {
  EXPECT_EQ(plug.FindMatchingRecipe(), 0);
  for (int r = 0; r < 32; ++r) {
    plug.ApplyRecipe(r);
    EXPECT_EQ(plug.GetSelectedRecipe(), r);
    EXPECT_EQ(plug.FindMatchingRecipe(), r) << r;
  }

  plug.ApplyRecipe(8);
  EXPECT_EQ(P(coral::kPhase).Value(), 1.0);
  EXPECT_STREQ(P(coral::kPhase).DisplayTextFor(P(coral::kPhase).Value()), "Linear Phase FIR");
  plug.ApplyRecipe(0);
  EXPECT_EQ(P(coral::kPhase).Value(), 0.0);

  plug.ApplyRecipe(22);
  for (int slot = 1; slot <= 12; ++slot) EXPECT_EQ(P(Band(slot, 0)).Value(), 1.0);
  EXPECT_EQ(P(Band(12, coral::kType)).Value(), 5.0);
  EXPECT_EQ(P(Band(12, coral::kFrequency)).Value(), 720.0);
  EXPECT_EQ(P(Band(12, coral::kQ)).Value(), 25.0);

  // A recipe resets the globals, including the display preferences.
  P(coral::kOutput).SetValue(-6);
  P(coral::kAnalyzer).SetValue(0);
  plug.ApplyRecipe(5);
  plug.ApplyRecipe(4);
  EXPECT_EQ(P(coral::kOutput).Value(), 0.0);
  EXPECT_EQ(P(coral::kAnalyzer).Value(), 1.0);
  EXPECT_EQ(plug.FindMatchingRecipe(), 4);
}

TEST_F(RecipePlugTest, MatchingToleranceAndCustom) {
  plug.ApplyRecipe(12);
  P(coral::kGraphRange).SetValue(2);
  EXPECT_EQ(plug.FindMatchingRecipe(), -1);
  P(coral::kGraphRange).SetValue(1);
  EXPECT_EQ(plug.FindMatchingRecipe(), 12);

  // Any parameter of a slot that is off counts.
  P(Band(9, coral::kKnee)).SetValue(7);
  EXPECT_EQ(plug.FindMatchingRecipe(), -1);
  P(Band(9, coral::kKnee)).SetValue(6);

  P(Band(1, coral::kFrequency)).SetValue(66);
  EXPECT_EQ(plug.FindMatchingRecipe(), -1);
  P(Band(1, coral::kFrequency)).SetValue(65.03);
  EXPECT_EQ(plug.FindMatchingRecipe(), 12);
  P(Band(1, coral::kFrequency)).SetValue(65.05);
  EXPECT_EQ(plug.FindMatchingRecipe(), -1);
  P(Band(1, coral::kFrequency)).SetValue(65);

  P(Band(1, coral::kGain)).SetValue(3.00005);
  EXPECT_EQ(plug.FindMatchingRecipe(), 12);
  P(Band(1, coral::kGain)).SetValue(3.0002);
  EXPECT_EQ(plug.FindMatchingRecipe(), -1);
  P(Band(1, coral::kGain)).SetValue(3);

  P(Band(2, coral::kSlope)).SetValue(1);
  EXPECT_EQ(plug.FindMatchingRecipe(), -1);
  P(Band(2, coral::kSlope)).SetValue(0);
  EXPECT_EQ(plug.FindMatchingRecipe(), 12);

  // The free function answers the first match in index order.
  coral::ParamSnapshot values = coral::GetRecipes()[21].values;
  EXPECT_EQ(coral::FindMatchingRecipe(values), 21);
  values[Band(12, coral::kFrequency)] = 601;
  EXPECT_EQ(coral::FindMatchingRecipe(values), -1);
}

TEST_F(RecipePlugTest, OutOfRangeIndexChangesNothing) {
  plug.ApplyRecipe(3);
  plug.SwitchAB();
  plug.ApplyRecipe(9);
  const coral::ParamSnapshot current = plug.CurrentValues();
  const coral::ParamSnapshot stored = plug.StoredValues();
  EXPECT_EQ(plug.GetABFlag(), 1);
  EXPECT_EQ(stored, coral::GetRecipes()[3].values); // the recipe replaced slot B only

  struct Counter : iplug::IEditorValueReceiver {
    int sends = 0;
    void OnParamValueFromDelegate(int, double, bool) override { ++sends; }
  } editor;
  plug.SetEditorValueReceiver(&editor);
  plug.ApplyRecipe(32);
  plug.ApplyRecipe(-1);
  EXPECT_EQ(editor.sends, 0);
  EXPECT_EQ(plug.CurrentValues(), current);
  EXPECT_EQ(plug.StoredValues(), stored);
  EXPECT_EQ(plug.GetSelectedRecipe(), 9);
  plug.ApplyRecipe(31);
  EXPECT_EQ(editor.sends, 216);
  plug.SetEditorValueReceiver(nullptr);
}

} // namespace
