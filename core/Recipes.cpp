#include "core/Recipes.h"

#include <cmath>
#include <initializer_list>

#include "core/IPluginBase.h"
#include "core/StateChunk.h"

namespace coral {
namespace {

struct FieldValue {
  BandField field;
  float value;
};

// One band slot that a recipe switches on, with the fields that differ from their defaults.
struct BandSetting {
  int slot; // 1..12
  FilterType type;
  float frequency;
  std::initializer_list<FieldValue> fields = {};
};

constexpr float kLinearPhase = 1.f;

// The defaults with every slot off, then the listed slots on with their values.
Recipe MakeRecipe(const char* name, std::initializer_list<BandSetting> bands, float phase = 0.f) {
  Recipe recipe{name, DefaultSnapshot()};
  for (int band = 0; band < kNumBands; ++band) recipe.values[BandParamIndex(band, kEnabled)] = 0.f;
  recipe.values[kPhase] = phase;
  for (const BandSetting& setting : bands) {
    const int band = setting.slot - 1;
    recipe.values[BandParamIndex(band, kEnabled)] = 1.f;
    recipe.values[BandParamIndex(band, kType)] = static_cast<float>(setting.type);
    recipe.values[BandParamIndex(band, kFrequency)] = setting.frequency;
    for (const FieldValue& field : setting.fields) {
      recipe.values[BandParamIndex(band, field.field)] = field.value;
    }
  }
  return recipe;
}

// Twelve notches at the mains frequency `f0` and its harmonics up to 12 x f0.
Recipe MakeDehum(const char* name, float f0) {
  Recipe recipe = MakeRecipe(name, {});
  for (int band = 0; band < kNumBands; ++band) {
    recipe.values[BandParamIndex(band, kEnabled)] = 1.f;
    recipe.values[BandParamIndex(band, kType)] = static_cast<float>(kNotch);
    recipe.values[BandParamIndex(band, kFrequency)] = static_cast<float>(band + 1) * f0;
    recipe.values[BandParamIndex(band, kGain)] = 0.f;
    recipe.values[BandParamIndex(band, kQ)] = 25.f;
  }
  return recipe;
}

std::array<Recipe, kNumRecipes> BuildRecipes() {
  const FieldValue dynamicOn{kDynamic, 1.f};
  return {{
      {"Neutral", DefaultSnapshot()},
      MakeRecipe("Vocal Clarity", {{1, kHighPass, 80},
                                   {2, kBell, 300, {{kGain, -2}, {kQ, 1.2f}}},
                                   {3, kBell, 3200, {{kGain, 2}, {kQ, 1}}}}),
      MakeRecipe("Vocal Body",
                 {{1, kLowShelf, 180, {{kGain, 2}}}, {2, kBell, 2500, {{kGain, -1}, {kQ, 1}}}}),
      MakeRecipe("Vocal Warmth",
                 {{1, kHighShelf, 8000, {{kGain, -1.5f}}}, {2, kLowShelf, 180, {{kGain, 1.5f}}}}),
      MakeRecipe("De-ess Gentle", {{1,
                                    kBell,
                                    6500,
                                    {{kQ, 2.5f},
                                     dynamicOn,
                                     {kThreshold, -28},
                                     {kAttack, 1},
                                     {kRelease, 75},
                                     {kRange, 4}}}}),
      MakeRecipe("De-ess Firm", {{1,
                                  kBell,
                                  6500,
                                  {{kQ, 2.5f},
                                   dynamicOn,
                                   {kThreshold, -34},
                                   {kAttack, 1},
                                   {kRelease, 75},
                                   {kRange, 9}}}}),
      MakeRecipe("Master Clean", {{1, kHighPass, 25}, {2, kBell, 250, {{kGain, -0.8f}, {kQ, 1}}}}),
      MakeRecipe("Master Air", {{1, kHighShelf, 10000, {{kGain, 1.5f}}}}),
      MakeRecipe("Master FIR",
                 {{1, kBell, 300, {{kGain, -1}, {kQ, 1}}}, {2, kHighShelf, 9000, {{kGain, 1}}}},
                 kLinearPhase),
      MakeRecipe("Master Warmth",
                 {{1, kLowShelf, 120, {{kGain, 1.2f}}}, {2, kHighShelf, 10000, {{kGain, -0.6f}}}}),
      MakeRecipe(
          "Frequency Mix Glue",
          {{1, kBell, 180, {{kQ, 0.7f}, dynamicOn, {kAttack, 25}, {kRelease, 250}, {kRange, 2}}},
           {2, kBell, 1200, {{kQ, 0.7f}, dynamicOn, {kAttack, 25}, {kRelease, 250}, {kRange, 2}}},
           {3, kBell, 6500, {{kQ, 0.7f}, dynamicOn, {kAttack, 25}, {kRelease, 250}, {kRange, 2}}}}),
      MakeRecipe("Bass Cleanup", {{1, kHighPass, 30}, {2, kBell, 220, {{kGain, -3}, {kQ, 1}}}}),
      MakeRecipe("Kick Focus", {{1, kBell, 65, {{kGain, 3}, {kQ, 0.9f}}},
                                {2, kBell, 350, {{kGain, -4}, {kQ, 1.5f}}},
                                {3, kBell, 3500, {{kGain, 2}, {kQ, 1}}}}),
      MakeRecipe("Snare Detail", {{1, kHighPass, 100},
                                  {2, kBell, 200, {{kGain, 2}, {kQ, 1}}},
                                  {3, kHighShelf, 7000, {{kGain, 2}}}}),
      MakeRecipe(
          "Drum Bus Shape",
          {{1, kLowShelf, 80, {{kGain, 1.5f}}},
           {2, kBell, 350, {{kGain, -2}, {kQ, 1}, dynamicOn, {kThreshold, -25}, {kRange, 3}}},
           {3, kHighShelf, 8000, {{kGain, 1.5f}}}}),
      MakeRecipe("Acoustic Presence", {{1, kHighPass, 70},
                                       {2, kBell, 250, {{kGain, -2}, {kQ, 1.2f}}},
                                       {3, kHighShelf, 8500, {{kGain, 2}}}}),
      MakeRecipe(
          "Electric Edge",
          {{1, kHighPass, 90},
           {2, kBell, 3000, {{kGain, -2}, {kQ, 1.5f}, dynamicOn, {kThreshold, -22}, {kRange, 4}}}}),
      MakeRecipe("Piano Balance", {{1, kHighPass, 35},
                                   {2, kBell, 400, {{kGain, -2}, {kQ, 0.8f}}},
                                   {3, kHighShelf, 9000, {{kGain, 1}}}}),
      MakeRecipe("Dynamic Mud",
                 {{1, kBell, 250, {{kQ, 1.5f}, dynamicOn, {kThreshold, -28}, {kRange, 7}}}}),
      MakeRecipe("Dynamic Harshness", {{1, kBell, 3500, {{kQ, 2}, dynamicOn, {kThreshold, -30}}}}),
      MakeRecipe("Resonance Tamer",
                 {{1, kBell, 1100, {{kQ, 8}, dynamicOn, {kThreshold, -32}, {kRange, 12}}}}),
      MakeDehum("Dehum 50 Hz", 50.f),
      MakeDehum("Dehum 60 Hz", 60.f),
      MakeRecipe("Old Radio",
                 {{1, kHighPass, 180, {{kSlope, 2}}}, {2, kLowPass, 4200, {{kSlope, 2}}}}),
      MakeRecipe("Telephone",
                 {{1, kHighPass, 400, {{kSlope, 3}}}, {2, kLowPass, 2800, {{kSlope, 3}}}}),
      MakeRecipe("Loudness Smile", {{1, kLowShelf, 100, {{kGain, 3}}},
                                    {2, kBell, 900, {{kGain, -2}, {kQ, 0.7f}}},
                                    {3, kHighShelf, 9000, {{kGain, 2.5f}}}}),
      MakeRecipe("Mid-Side Air", {{1, kHighShelf, 7000, {{kGain, 2}, {kChannel, float(kSide)}}}}),
      MakeRecipe("Center Focus",
                 {{1, kBell, 2800, {{kGain, 1.5f}, {kQ, 0.8f}, {kChannel, float(kMid)}}}}),
      MakeRecipe("External Sidechain Duck",
                 {{1,
                   kBell,
                   1800,
                   {{kQ, 0.6f}, dynamicOn, {kThreshold, -30}, {kRange, 9}, {kDetector, 1}}}}),
      MakeRecipe("Upward Detail",
                 {{1,
                   kBell,
                   5000,
                   {{kQ, 1}, dynamicOn, {kThreshold, -30}, {kRange, 4}, {kDirection, 1}}}}),
      MakeRecipe("Linear Vocal Polish",
                 {{1, kHighShelf, 9500, {{kGain, 1.5f}}}, {2, kBell, 300, {{kGain, -1}, {kQ, 1}}}},
                 kLinearPhase),
      MakeRecipe("Broad Tilt", {{1, kTilt, 1000, {{kGain, 3}, {kQ, 0.7f}}}}),
  }};
}

} // namespace

const std::array<Recipe, kNumRecipes>& GetRecipes() {
  static const std::array<Recipe, kNumRecipes> recipes = BuildRecipes();
  return recipes;
}

float RecipeTolerance(int paramIdx) {
  const ParamInfo& def = GetParamInfo(paramIdx);
  return std::max((def.maximum - def.minimum) * 0.000002f, 0.00001f);
}

int FindMatchingRecipe(const ParamSnapshot& values) {
  const auto& recipes = GetRecipes();
  for (int r = 0; r < kNumRecipes; ++r) {
    bool matches = true;
    for (int i = 0; i < kNumParams && matches; ++i) {
      matches = std::fabs(values[i] - recipes[r].values[i]) <= RecipeTolerance(i);
    }
    if (matches) return r;
  }
  return -1;
}

void MakeRecipePresets(reef::IPluginBase& plug) {
  const auto& recipes = GetRecipes();
  for (int r = 0; r < kNumRecipes; ++r) {
    reef::IByteChunk chunk;
    BuildStateChunk(chunk, recipes[r].values, recipes[r].values, static_cast<std::uint32_t>(r), 0);
    plug.MakePresetFromChunk(recipes[r].name, chunk);
  }
}

} // namespace coral
