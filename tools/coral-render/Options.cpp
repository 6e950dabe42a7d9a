#include "tools/coral-render/Options.h"

#include <charconv>
#include <cmath>

#include "core/Recipes.h"
#include "engine/ParamTable.h"

namespace coral::render {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::size_t CountDigits(std::string_view text, std::size_t from) {
  std::size_t i = from;
  while (i < text.size() && IsDigit(text[i])) ++i;
  return i - from;
}

// Length of the longest prefix of `text` that is a decimal number
// [+|-] digits [. digits] [(e|E) [+|-] digits] with at least one mantissa digit; 0 if none.
std::size_t ScanNumber(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t intDigits = CountDigits(text, i);
  i += intDigits;
  std::size_t fracDigits = 0;
  if (i < text.size() && text[i] == '.') {
    fracDigits = CountDigits(text, i + 1);
    i += 1 + fracDigits;
  }
  if (intDigits + fracDigits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const std::size_t expDigits = CountDigits(text, j);
    if (expDigits > 0) i = j + expDigits;
  }
  return i;
}

std::string Quoted(std::string_view text) {
  std::string quoted(1, '\'');
  quoted += text;
  quoted += '\'';
  return quoted;
}

// "Bell, Low Shelf, ..." for a discrete parameter.
std::string DisplayTextList(const ParamInfo& def) {
  std::string list;
  for (int i = 0; i < def.displayTextCount; ++i) {
    if (i > 0) list += ", ";
    list += def.displayTexts[i];
  }
  return list;
}

std::string FloatText(float value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : std::string("?");
}

// What parameter `def` accepts, for error messages.
std::string Accepts(const ParamInfo& def) {
  if (def.kind != ParamKind::Double) {
    return std::string(def.key) + " takes one of: " + DisplayTextList(def) + " (or 0.." +
           std::to_string(def.displayTextCount - 1) + ")";
  }
  std::string text = std::string(def.key) + " takes a number from " + FloatText(def.minimum) +
                     " to " + FloatText(def.maximum);
  if (!def.label.empty()) {
    text += ' ';
    text += def.label;
  }
  return text;
}

// Whole number in [minimum, maximum] from the whole of `text`.
std::optional<int> ParseWholeNumber(std::string_view text, int minimum, int maximum) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < minimum || value > maximum) return std::nullopt;
  return value;
}

// Options that take a value, and the single-valued ones among them.
enum class ValueOption { Set, Block, Sidechain, Recipe, State, SaveState, Report, Plot };

struct OptionName {
  std::string_view name;
  ValueOption option;
};

constexpr OptionName kValueOptions[] = {
    {"--set", ValueOption::Set},
    {"--block", ValueOption::Block},
    {"--sidechain", ValueOption::Sidechain},
    {"--recipe", ValueOption::Recipe},
    {"--state", ValueOption::State},
    {"--save-state", ValueOption::SaveState},
    {"--report", ValueOption::Report},
    {"--plot", ValueOption::Plot},
};

// A file name for option `name`: not empty and not "-", which only INPUT and OUTPUT take.
bool CheckFileName(std::string_view value, std::string_view name, std::string& error) {
  if (value.empty()) {
    error = "option " + std::string(name) + " needs a file name";
    return false;
  }
  if (value == kStandardStream) {
    error = "option " + std::string(name) +
            " needs a file name; '-' (standard input or output) is taken only as INPUT or OUTPUT";
    return false;
  }
  return true;
}

// Stores a single-valued option; false when it was given before.
bool StoreOnce(std::string& field, std::string_view value, std::string_view name,
               std::string& error) {
  if (!field.empty()) {
    error = "option " + std::string(name) + " given more than once";
    return false;
  }
  if (!CheckFileName(value, name, error)) return false;
  field = value;
  return true;
}

bool EndsWithPng(std::string_view name) {
  constexpr std::string_view kSuffix = ".png";
  if (name.size() <= kSuffix.size()) return false;
  const std::string_view tail = name.substr(name.size() - kSuffix.size());
  for (std::size_t i = 0; i < kSuffix.size(); ++i) {
    const char c = tail[i] >= 'A' && tail[i] <= 'Z' ? char(tail[i] - 'A' + 'a') : tail[i];
    if (c != kSuffix[i]) return false;
  }
  return true;
}

bool ApplyValueOption(ValueOption option, std::string_view name, std::string_view value,
                      Options& options, bool& blockGiven, std::string& error) {
  switch (option) {
  case ValueOption::Set: {
    std::optional<SetAssignment> assignment = ParseSetArgument(value, error);
    if (!assignment) return false;
    options.assignments.push_back(*assignment);
    return true;
  }
  case ValueOption::Block: {
    if (blockGiven) {
      error = "option --block given more than once";
      return false;
    }
    const std::optional<int> frames = ParseWholeNumber(value, 1, kMaxBlockSize);
    if (!frames) {
      error = "block size " + Quoted(value) + " is not a whole number from 1 to " +
              std::to_string(kMaxBlockSize);
      return false;
    }
    options.blockSize = *frames;
    blockGiven = true;
    return true;
  }
  case ValueOption::Recipe: {
    const int index = FindRecipe(value);
    if (index < 0) {
      error = "unknown recipe " + Quoted(value) + " (see --list-recipes)";
      return false;
    }
    options.sources.push_back({SettingsSource::Kind::Recipe, index, {}});
    return true;
  }
  case ValueOption::State:
    if (!CheckFileName(value, name, error)) return false;
    options.sources.push_back({SettingsSource::Kind::State, -1, std::string(value)});
    return true;
  case ValueOption::Sidechain:
    return StoreOnce(options.sidechain, value, name, error);
  case ValueOption::SaveState:
    return StoreOnce(options.saveState, value, name, error);
  case ValueOption::Report:
    return StoreOnce(options.report, value, name, error);
  case ValueOption::Plot:
    if (!value.empty() && value != kStandardStream && !EndsWithPng(value)) {
      error = "--plot " + Quoted(value) + ": the plot is a PNG image; give a name ending in .png";
      return false;
    }
    return StoreOnce(options.plot, value, name, error);
  }
  return false;
}

} // namespace

int FindParamByKey(std::string_view key) {
  for (int i = 0; i < kNumParams; ++i) {
    if (GetParamInfo(i).key == key) return i;
  }
  return -1;
}

int FindRecipe(std::string_view text) {
  const auto& recipes = GetRecipes();
  for (int i = 0; i < kNumRecipes; ++i) {
    if (text == recipes[i].name) return i;
  }
  return ParseWholeNumber(text, 0, kNumRecipes - 1).value_or(-1);
}

std::optional<double> ParseParamValue(int paramIndex, std::string_view text, std::string& error) {
  if (paramIndex < 0 || paramIndex >= kNumParams) {
    error = "parameter index " + std::to_string(paramIndex) + " does not exist";
    return std::nullopt;
  }
  const ParamInfo& def = GetParamInfo(paramIndex);
  for (int i = 0; i < def.displayTextCount; ++i) {
    if (text == def.displayTexts[i]) return double(i);
  }

  const std::size_t length = ScanNumber(text);
  if (length == 0) {
    error = Quoted(text) + " is not valid; " + Accepts(def);
    return std::nullopt;
  }
  const std::string_view rest = text.substr(length);
  const bool unitMatches =
      !def.label.empty() && (rest == def.label || (rest.size() == def.label.size() + 1 &&
                                                   rest[0] == ' ' && rest.substr(1) == def.label));
  if (!rest.empty() && !unitMatches) {
    error = Quoted(text) + " has " + Quoted(rest) + " after the number; " + Accepts(def);
    return std::nullopt;
  }

  // from_chars takes no leading '+'.
  std::string_view number = text.substr(0, length);
  if (number.front() == '+') number.remove_prefix(1);
  double value = 0.0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                         std::chars_format::general);
  if (ec != std::errc() || end != number.data() + number.size() || !std::isfinite(value)) {
    error = Quoted(text) + " is too large or too small a number";
    return std::nullopt;
  }
  if (def.kind != ParamKind::Double) {
    if (value != std::trunc(value)) {
      error = Quoted(text) + " is not a whole number; " + Accepts(def);
      return std::nullopt;
    }
    if (value < 0 || value >= def.displayTextCount) {
      error = Quoted(text) + " names no choice; " + Accepts(def);
      return std::nullopt;
    }
  }
  return value;
}

std::optional<SetAssignment> ParseSetArgument(std::string_view argument, std::string& error) {
  const std::size_t equals = argument.find('=');
  if (equals == std::string_view::npos) {
    error = "--set " + Quoted(argument) + " is not of the form KEY=VALUE";
    return std::nullopt;
  }
  const std::string_view key = argument.substr(0, equals);
  const int index = FindParamByKey(key);
  if (index < 0) {
    error = "unknown parameter key " + Quoted(key) + " in --set (see --list-params)";
    return std::nullopt;
  }
  std::string valueError;
  const std::optional<double> value =
      ParseParamValue(index, argument.substr(equals + 1), valueError);
  if (!value) {
    error = "--set " + std::string(key) + ": " + valueError;
    return std::nullopt;
  }
  return SetAssignment{index, *value};
}

bool ParseCommandLine(const std::vector<std::string_view>& args, Options& options,
                      std::string& error) {
  options = Options{};
  for (std::string_view arg : args) {
    if (arg == "--help" || arg == "-h") {
      options.action = Options::Action::Help;
      return true;
    }
  }

  std::vector<std::string_view> positional;
  bool blockGiven = false;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--no-compensate") {
      options.compensate = false;
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--list-params") {
      options.action = Options::Action::ListParams;
    } else if (arg == "--list-recipes") {
      options.action = Options::Action::ListRecipes;
    } else if (arg == "--version") {
      options.action = Options::Action::Version;
    } else {
      const std::size_t equals = arg.find('=');
      const std::string_view name = arg.substr(0, equals);
      const OptionName* match = nullptr;
      for (const OptionName& candidate : kValueOptions) {
        if (candidate.name == name) match = &candidate;
      }
      if (!match) {
        error = "unknown option " + Quoted(name) + " (see --help)";
        return false;
      }
      std::string_view value;
      if (equals != std::string_view::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        error = "option " + std::string(name) + " needs a value";
        return false;
      }
      if (!ApplyValueOption(match->option, name, value, options, blockGiven, error)) return false;
    }
  }

  if (options.action != Options::Action::Render) return true;
  if (positional.size() == 2) {
    options.input = positional[0];
    options.output = positional[1];
    if (options.input.empty() || options.output.empty()) {
      error = "INPUT and OUTPUT must not be empty";
      return false;
    }
    return true;
  }
  if (positional.empty() && !options.saveState.empty()) {
    if (!options.sidechain.empty() || !options.report.empty() || !options.plot.empty()) {
      error = "--sidechain, --report and --plot need INPUT and OUTPUT";
      return false;
    }
    return true;
  }
  error = positional.size() > 2 ? "too many arguments: expected INPUT and OUTPUT (see --help)"
                                : "expected INPUT and OUTPUT (see --help)";
  return false;
}

std::string UsageText() {
  return R"(Usage: coral-render [OPTIONS] INPUT OUTPUT
       coral-render [SETTINGS] --save-state FILE
Plays an audio file through the CORAL SIEVE equaliser the way a host does, and writes
the result.

INPUT is any file libsndfile reads (WAV, FLAC, AIFF, Ogg, ...) with 1 or 2 channels at
22050 to 192000 Hz (resample other rates first). OUTPUT gets INPUT's container, sample
format, sample rate and channel count, and is never one of the input files. Every file is
written to a temporary file beside its destination and renamed only when the whole run
succeeds, so a failed run leaves existing files untouched. INPUT "-" reads standard input
and OUTPUT "-" writes standard output, only once the whole run succeeded.

The engine computes in 32-bit floating point. With the default settings OUTPUT therefore
equals INPUT bit for bit for 8, 16 and 24-bit integer samples (WAV, AIFF, FLAC, ...) and
for 32-bit float samples. 32-bit integer and 64-bit float samples come back rounded to
32-bit float precision, and lossy formats (Vorbis, Opus, MPEG) are encoded again.

Settings (--recipe and --state in the order given, then every --set in the order given):
  --recipe NAME|INDEX  start from a factory recipe: its exact name or 0..31
  --state FILE         load a saved plug-in state (the whole file is one state chunk)
  --set KEY=VALUE      set one parameter (repeatable). KEY as --list-params prints it.
                       VALUE is one of the parameter's texts, exactly ("Notch", "on",
                       "Linear Phase FIR"), or a decimal number optionally followed by
                       the parameter's unit ("12.5", "-3 dB", "1000Hz", "50 %").
                       Numbers outside the range are clamped; bool and enum parameters
                       also take the position of a text, from 0 (see --list-params).
  --save-state FILE    write the plug-in state after all settings are applied; without
                       INPUT and OUTPUT nothing is rendered

Rendering:
  --block N            host block size in frames, 1..8192 (default 512)
  --no-compensate      write the raw output, late by the plug-in's latency of 4352
                       frames; by default OUTPUT is aligned with INPUT
  --sidechain FILE     feed FILE to the auxiliary input, heard by bands whose Detector
                       is External; a mono FILE feeds both channels; it is padded with
                       silence or cut to INPUT's length and needs INPUT's sample rate.
                       Without it, External bands listen to INPUT (with a warning)

Analysis of the state after the last block:
  --report FILE        JSON: spectra, applied and target EQ curves, band gains and
                       detector levels, input, wet and output peaks over the whole run,
                       sidechain flags, matching recipe
  --plot FILE.png      PNG graph of the spectra and the EQ curves

Other:
  --quiet              no progress bar and no warnings
  --list-params        list parameters: index, key, name, minimum, maximum, default, unit,
                       choices of a switch or menu
  --list-recipes       list factory recipes: index, name
  --version            show the version
  --help               show this text

Warnings (on standard error, exit status 0): clipped samples, an input shorter than its
header says (the frames present are rendered), External bands without --sidechain.

Exit status: 0 on success; 2 for a bad option, value or file (nothing is written);
1 for an internal failure.
)";
}

std::string VersionText(int packedVersion) {
  return "coral-render " + std::to_string((packedVersion >> 16) & 0xFFFF) + '.' +
         std::to_string((packedVersion >> 8) & 0xFF) + '.' + std::to_string(packedVersion & 0xFF) +
         '\n';
}

std::string ParamListText() {
  std::string text;
  for (int i = 0; i < kNumParams; ++i) {
    const ParamInfo& def = GetParamInfo(i);
    text += std::to_string(i) + '\t' + std::string(def.key) + '\t' + std::string(def.name) + '\t' +
            FloatText(def.minimum) + '\t' + FloatText(def.maximum) + '\t' +
            FloatText(def.defaultValue) + '\t' + std::string(def.label) + '\t' +
            DisplayTextList(def) + '\n';
  }
  return text;
}

std::string RecipeListText() {
  std::string text;
  const auto& recipes = GetRecipes();
  for (int i = 0; i < kNumRecipes; ++i) text += std::to_string(i) + '\t' + recipes[i].name + '\n';
  return text;
}

} // namespace coral::render
