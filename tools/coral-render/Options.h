#pragma once
// The renderer's command line: options, the --set grammar, and the texts it prints.
//
// Grammar of one --set argument, KEY=VALUE:
//   KEY    a parameter key exactly as --list-params prints it ("b01-gain", "phase");
//          everything before the first '=' is the key.
//   VALUE  either one of the parameter's display texts, byte for byte ("Notch", "on",
//          "Linear Phase FIR", "24 dB/oct"), which gives that text's value;
//          or a decimal number  [+|-] digits [. digits] [(e|E) [+|-] digits]  (a leading or
//          trailing '.' is allowed, "inf", "nan" and hexadecimal are not), optionally followed
//          by the parameter's unit label, with or without one blank between ("12.5",
//          "-3 dB", "1000Hz", "50 %"). Nothing may follow. A number beyond the range of a
//          double (such as 1e999 or 1e-999) is rejected. Bool and enum parameters take whole
//          numbers only, each the 0-based position of a display text ("2", "2.0", "2e0"); a
//          number that names no text ("b01-slope=24") is rejected with the list of choices.
//   A number of a continuous parameter then goes through the parameter's SetValue, which
//   clamps it to the parameter's range (and rounds stepped parameters), so "b01-gain=30" sets
//   +24 dB.
//
// INPUT and OUTPUT may be "-": standard input or standard output. No other file option
// takes "-", and --plot takes only a name ending in ".png".
//
// Everything here is pure: no file is touched and nothing is printed.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace coral::render {

inline constexpr int kDefaultBlockSize = 512;
// INPUT or OUTPUT given as this stands for standard input or standard output.
inline constexpr std::string_view kStandardStream = "-";
inline constexpr int kMaxBlockSize = 8192;

// One parsed --set argument.
struct SetAssignment {
  int paramIndex = -1;
  double value = 0.0;
};

// A --recipe or --state option, kept in command-line order.
struct SettingsSource {
  enum class Kind { Recipe, State };
  Kind kind = Kind::Recipe;
  int recipeIndex = -1; // Recipe
  std::string path;     // State
};

struct Options {
  enum class Action { Render, Help, Version, ListParams, ListRecipes };
  Action action = Action::Render;

  std::vector<SettingsSource> sources;    // applied first, in order
  std::vector<SetAssignment> assignments; // applied after every source, in order
  int blockSize = kDefaultBlockSize;
  bool compensate = true;
  bool quiet = false;

  std::string input;     // empty: no render (only --save-state); kStandardStream: standard input
  std::string output;    // kStandardStream: standard output
  std::string sidechain; // empty: auxiliary input not connected
  std::string report;
  std::string plot;
  std::string saveState;
};

// Index of the parameter whose key is `key`, or -1.
int FindParamByKey(std::string_view key);

// Index of the recipe named exactly `text`, else `text` read as a whole number 0..31, else -1.
int FindRecipe(std::string_view text);

// Plain value of `text` for parameter `paramIndex` by the grammar above, before clamping.
// On failure answers nothing and sets `error` to one line saying why.
std::optional<double> ParseParamValue(int paramIndex, std::string_view text, std::string& error);

// A whole KEY=VALUE argument of --set.
std::optional<SetAssignment> ParseSetArgument(std::string_view argument, std::string& error);

// Parses the arguments after the program name. On failure answers false and sets `error` to
// one line naming the offending option or value.
bool ParseCommandLine(const std::vector<std::string_view>& args, Options& options,
                      std::string& error);

// The --help text.
std::string UsageText();
// The --version text for plug-in version `packedVersion` (major << 16 | minor << 8 | patch).
std::string VersionText(int packedVersion);
// One line per parameter: index, key, name, minimum, maximum, default, label and the choices
// of a bool or enum parameter (its texts, comma-separated; empty for others), tab-separated.
std::string ParamListText();
// One line per factory recipe: index and name, tab-separated.
std::string RecipeListText();

} // namespace coral::render
