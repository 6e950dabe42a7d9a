#pragma once
// The parameter vocabulary shared by the plug-in, the engine, the state chunk and the
// recipes: 12 global parameters followed by 12 band slots of 17 fields, in a fixed index
// order. The tables are read-only and built once on first use (thread-safe).

#include <array>
#include <cstdint>
#include <string_view>

namespace coral {

inline constexpr int kNumParams = 216;
inline constexpr int kNumGlobalParams = 12;
inline constexpr int kNumBands = 12;
inline constexpr int kBandFields = 17;

enum GlobalParam : int {
  kPhase = 0,
  kInput,
  kOutput,
  kMix,
  kScale,
  kStereoLink,
  kBypass,
  kDelta,
  kAnalyzer,
  kAnalyzerSpeed,
  kScTrim,
  kGraphRange,
};

enum BandField : int {
  kEnabled = 0,
  kType,
  kFrequency,
  kGain,
  kQ,
  kSlope,
  kDynamic,
  kThreshold,
  kRatio,
  kKnee,
  kAttack,
  kRelease,
  kRange,
  kDirection,
  kDetector,
  kChannel,
  kListen,
};

// Band filter types (band field Type).
enum FilterType : int {
  kBell = 0,
  kLowShelf,
  kHighShelf,
  kHighPass,
  kLowPass,
  kNotch,
  kBandPass,
  kTilt,
};

// Band channel modes (band field Channel).
enum ChannelMode : int { kStereo = 0, kLeft, kRight, kMid, kSide };

// Index of field `field` of band slot `band` (0-based slot).
constexpr int BandParamIndex(int band, int field) {
  return kNumGlobalParams + kBandFields * band + field;
}

// 216 plain values in index order, single precision.
using ParamSnapshot = std::array<float, kNumParams>;

enum class ParamKind : std::uint8_t { Bool, Enum, Double };

struct ParamInfo {
  std::string_view name;  // "Band 4 Frequency", "Stereo Link"
  std::string_view key;   // "b04-frequency", "stereo-link"
  std::string_view label; // unit label, "" when none
  ParamKind kind;
  float minimum;
  float maximum;
  float defaultValue;
  double step;
  bool exponential;
  const std::string_view* displayTexts; // enum and bool texts in value order, else nullptr
  int displayTextCount;
};

// The definition of parameter `index` (0..215). Precondition: index in range.
const ParamInfo& GetParamInfo(int index);

// True for bool and enum parameters; false for any index outside 0..215.
bool IsDiscreteParam(int index);

// The default settings: every parameter at its table default.
const ParamSnapshot& DefaultSnapshot();

} // namespace coral
