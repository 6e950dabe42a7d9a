#include "editor/ValueFormat.h"

#include <locale.h>
#include <stdlib.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/ParamTable.h"

namespace coral {

namespace {

enum class Unit { None, Hertz, Milliseconds, Decibel, DecibelFullScale, Percent, Ratio };

// The unit of parameter `paramIdx`; `forDisplay` selects Threshold's "dBFS".
Unit UnitOf(int paramIdx, bool forDisplay) {
  if (paramIdx < 0 || paramIdx >= kNumParams) return Unit::None;
  if (paramIdx >= kNumGlobalParams) {
    const int field = (paramIdx - kNumGlobalParams) % kBandFields;
    if (field == kRatio) return Unit::Ratio;
    if (field == kThreshold && forDisplay) return Unit::DecibelFullScale;
  }
  const std::string_view label = GetParamInfo(paramIdx).label;
  if (label == "Hz") return Unit::Hertz;
  if (label == "ms") return Unit::Milliseconds;
  if (label == "dB") return Unit::Decibel;
  if (label == "%") return Unit::Percent;
  return Unit::None;
}

// The C library's decimal conversion in the "C" locale, whatever the program's locale is (a
// desktop's locale may use a decimal comma).
double ReadNumber(const char* text, char** end) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
  return strtod_l(text, end, cLocale);
}

// `text` without white space, letters in lower case.
std::string Suffix(const char* text) {
  std::string suffix;
  for (; *text; ++text) {
    const auto c = static_cast<unsigned char>(*text);
    if (!std::isspace(c)) suffix += static_cast<char>(std::tolower(c));
  }
  return suffix;
}

// The factor that suffix `suffix` applies to a number in `unit`, or 0 when it is not one of the
// unit's suffixes.
double SuffixFactor(Unit unit, std::string_view suffix) {
  switch (unit) {
  case Unit::Hertz:
    if (suffix.empty() || suffix == "hz") return 1.0;
    if (suffix == "khz" || suffix == "k") return 1000.0;
    return 0.0;
  case Unit::Milliseconds:
    if (suffix.empty() || suffix == "ms") return 1.0;
    if (suffix == "s") return 1000.0;
    return 0.0;
  case Unit::Decibel:
  case Unit::DecibelFullScale:
    return suffix.empty() || suffix == "db" || suffix == "dbfs" ? 1.0 : 0.0;
  case Unit::Percent:
    return suffix.empty() || suffix == "%" ? 1.0 : 0.0;
  case Unit::Ratio:
    return suffix.empty() || suffix == ":1" || suffix == "x" ? 1.0 : 0.0;
  case Unit::None:
    return suffix.empty() ? 1.0 : 0.0;
  }
  return 0.0;
}

} // namespace

void FormatValue(int paramIdx, double value, char* text, int size) {
  if (!text || size <= 0) return;
  switch (UnitOf(paramIdx, true)) {
  case Unit::Hertz:
    // The kHz form is chosen before rounding: 999.6 Hz prints as "1000 Hz".
    if (value >= 1000.0) {
      std::snprintf(text, size, "%.2f kHz", value / 1000.0);
    } else {
      std::snprintf(text, size, "%.0f Hz", value);
    }
    break;
  case Unit::Milliseconds:
    std::snprintf(text, size,
                  value < 1.0    ? "%.2f ms"
                  : value < 10.0 ? "%.1f ms"
                                 : "%.0f ms",
                  value);
    break;
  case Unit::Decibel:
    std::snprintf(text, size, "%.1f dB", value);
    break;
  case Unit::DecibelFullScale:
    std::snprintf(text, size, "%.1f dBFS", value);
    break;
  case Unit::Percent:
    std::snprintf(text, size, "%.0f %%", value);
    break;
  case Unit::Ratio:
    std::snprintf(text, size, "%.2f:1", value);
    break;
  case Unit::None:
    std::snprintf(text, size, "%.2f", value);
    break;
  }
}

bool ParseValue(int paramIdx, const char* text, double& value) {
  if (!text) return false;
  char* end = nullptr;
  const double number = ReadNumber(text, &end);
  if (end == text || !std::isfinite(number)) return false;
  const double factor = SuffixFactor(UnitOf(paramIdx, false), Suffix(end));
  if (factor == 0.0) return false;
  const double scaled = number * factor;
  if (!std::isfinite(scaled)) return false;
  value = scaled;
  return true;
}

} // namespace coral
