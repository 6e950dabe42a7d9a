#pragma once
// The 32 factory recipes: complete settings of all 216 parameters with a name. The table is
// built once on first use (thread-safe) and read-only afterwards.

#include <array>

#include "engine/ParamTable.h"

namespace reef {
class IPluginBase;
}

namespace coral {

inline constexpr int kNumRecipes = 32;

struct Recipe {
  const char* name;
  ParamSnapshot values;
};

const std::array<Recipe, kNumRecipes>& GetRecipes();

// Largest difference at which a value still equals a recipe's value at `paramIdx`:
// max((maximum - minimum) * 0.000002, 0.00001) in single precision.
float RecipeTolerance(int paramIdx);

// Index of the first recipe that `values` equal within the tolerances, or -1 when none does.
// All 216 values take part.
int FindMatchingRecipe(const ParamSnapshot& values);

// Registers every recipe as a factory preset, in recipe order: its name and a state chunk
// whose current and stored settings are the recipe, with recipe index r and A/B flag 0.
void MakeRecipePresets(reef::IPluginBase& plug);

} // namespace coral
