#include "engine/ParamTable.h"

#include <cstdio>
#include <string>

namespace coral {
namespace {

constexpr std::string_view kOffOn[] = {"off", "on"};
constexpr std::string_view kPhaseTexts[] = {"Minimum Phase", "Linear Phase FIR"};
constexpr std::string_view kSpeedTexts[] = {"Fast", "Medium", "Slow"};
constexpr std::string_view kRangeTexts[] = {"12 dB", "24 dB", "36 dB"};
constexpr std::string_view kTypeTexts[] = {"Bell",     "Low Shelf", "High Shelf", "High Pass",
                                           "Low Pass", "Notch",     "Band Pass",  "Tilt"};
constexpr std::string_view kSlopeTexts[] = {"12 dB/oct", "24 dB/oct", "36 dB/oct", "48 dB/oct"};
constexpr std::string_view kDirectionTexts[] = {"Downward Cut", "Upward Boost"};
constexpr std::string_view kDetectorTexts[] = {"Internal", "External"};
constexpr std::string_view kChannelTexts[] = {"Stereo", "Left", "Right", "Mid", "Side"};

struct Row {
  std::string_view name; // display name, or band name suffix
  std::string_view key;  // key, or band key suffix
  ParamKind kind;
  float minimum, maximum, defaultValue;
  double step;
  std::string_view label;
  bool exponential;
  const std::string_view* texts;
  int textCount;
};

template <std::size_t N>
constexpr Row EnumRow(std::string_view name, std::string_view key, float def,
                      const std::string_view (&texts)[N]) {
  return {name, key, ParamKind::Enum, 0.f, float(N - 1), def, 1.0, "", false, texts, int(N)};
}
constexpr Row BoolRow(std::string_view name, std::string_view key, float def) {
  return {name, key, ParamKind::Bool, 0.f, 1.f, def, 1.0, "", false, kOffOn, 2};
}
constexpr Row DoubleRow(std::string_view name, std::string_view key, float lo, float hi, float def,
                        double step, std::string_view label, bool exponential = false) {
  return {name, key, ParamKind::Double, lo, hi, def, step, label, exponential, nullptr, 0};
}

constexpr Row kGlobalRows[kNumGlobalParams] = {
    EnumRow("Phase", "phase", 0, kPhaseTexts),
    DoubleRow("Input", "input", -24, 24, 0, 0.01, "dB"),
    DoubleRow("Output", "output", -24, 24, 0, 0.01, "dB"),
    DoubleRow("Mix", "mix", 0, 100, 100, 0.01, "%"),
    DoubleRow("Scale", "scale", 0, 200, 100, 0.01, "%"),
    DoubleRow("Stereo Link", "stereo-link", 0, 100, 100, 0.01, "%"),
    BoolRow("Bypass", "bypass", 0),
    BoolRow("Delta", "delta", 0),
    BoolRow("Analyzer", "analyzer", 1),
    EnumRow("Analyzer Speed", "analyzer-speed", 1, kSpeedTexts),
    DoubleRow("SC Trim", "sc-trim", -24, 24, 0, 0.01, "dB"),
    EnumRow("Graph Range", "graph-range", 1, kRangeTexts),
};

// Enabled and Frequency defaults are per slot (kSlotEnabled, kSlotFrequency).
constexpr Row kBandRows[kBandFields] = {
    BoolRow("Enabled", "enabled", 0),
    EnumRow("Type", "type", 0, kTypeTexts),
    DoubleRow("Frequency", "frequency", 20, 22000, 1000, 1.0, "Hz", true),
    DoubleRow("Gain", "gain", -24, 24, 0, 0.01, "dB"),
    DoubleRow("Q", "q", 0.15f, 30, 0.7071f, 0.001, "", true),
    EnumRow("Slope", "slope", 0, kSlopeTexts),
    BoolRow("Dynamic", "dynamic", 0),
    DoubleRow("Threshold", "threshold", -90, 0, -24, 0.01, "dB"),
    DoubleRow("Ratio", "ratio", 1, 20, 4, 0.01, "", true),
    DoubleRow("Knee", "knee", 0, 24, 6, 0.01, "dB"),
    DoubleRow("Attack", "attack", 0.1f, 200, 10, 0.001, "ms", true),
    DoubleRow("Release", "release", 5, 3000, 150, 0.01, "ms", true),
    DoubleRow("Range", "range", 0, 24, 6, 0.01, "dB"),
    EnumRow("Direction", "direction", 0, kDirectionTexts),
    EnumRow("Detector", "detector", 0, kDetectorTexts),
    EnumRow("Channel", "channel", 0, kChannelTexts),
    BoolRow("Listen", "listen", 0),
};

constexpr bool kSlotEnabled[kNumBands] = {true,  true,  true,  true,  false, false,
                                          false, false, false, false, false, false};
constexpr float kSlotFrequency[kNumBands] = {60,   120,  250,  500,   1000,  2000,
                                             3500, 5000, 7000, 10000, 14000, 18000};

struct Tables {
  std::array<std::string, kNumParams> names;
  std::array<std::string, kNumParams> keys;
  std::array<ParamInfo, kNumParams> defs;
  ParamSnapshot defaults;

  Tables() {
    for (int i = 0; i < kNumParams; ++i) {
      Row row;
      if (i < kNumGlobalParams) {
        row = kGlobalRows[i];
        names[i] = row.name;
        keys[i] = row.key;
      } else {
        const int band = (i - kNumGlobalParams) / kBandFields;
        const int field = (i - kNumGlobalParams) % kBandFields;
        row = kBandRows[field];
        if (field == kEnabled) row.defaultValue = kSlotEnabled[band] ? 1.f : 0.f;
        if (field == kFrequency) row.defaultValue = kSlotFrequency[band];
        char key[8];
        std::snprintf(key, sizeof key, "b%02d-", band + 1);
        names[i] = "Band " + std::to_string(band + 1) + " " + std::string(row.name);
        keys[i] = std::string(key) + std::string(row.key);
      }
      defs[i] = ParamInfo{names[i],        keys[i],     row.label,        row.kind,
                          row.minimum,     row.maximum, row.defaultValue, row.step,
                          row.exponential, row.texts,   row.textCount};
      defaults[i] = row.defaultValue;
    }
  }
};

const Tables& GetTables() {
  static const Tables tables;
  return tables;
}

} // namespace

const ParamInfo& GetParamInfo(int index) {
  return GetTables().defs[index];
}

bool IsDiscreteParam(int index) {
  if (index < 0 || index >= kNumParams) return false;
  return GetTables().defs[index].kind != ParamKind::Double;
}

const ParamSnapshot& DefaultSnapshot() {
  return GetTables().defaults;
}

} // namespace coral
