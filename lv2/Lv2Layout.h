#pragma once
// What the LV2 bundle "coral-sieve.lv2" promises to hosts: the plug-in's URI, the key of its
// state and its port layout. The plug-in binary relies on these, and the bundle's Turtle files
// are generated from them together with the parameter and recipe tables, so the description a
// host reads cannot drift from the code that runs.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/ParamTable.h"

namespace coral::lv2 {

inline constexpr const char* kPluginUri = "urn:kestrilab:coral-sieve";
// The state property: the plug-in's 1748-byte state chunk as an atom:Chunk.
inline constexpr const char* kStateKeyUri = "urn:kestrilab:coral-sieve#state";
inline constexpr const char* kBundleName = "coral-sieve.lv2";
inline constexpr const char* kBinaryName = "coral-sieve.so";

// Port indices. Control input port p (0..215) is parameter p; the audio ports and the latency
// output follow.
enum Port : std::uint32_t {
  kPortInLeft = kNumParams,
  kPortInRight,
  kPortOutLeft,
  kPortOutRight,
  kPortSidechainLeft, // optional; when only the left one is connected it feeds both sides
  kPortSidechainRight,
  kPortLatency, // control output: the latency in frames
  kNumPorts,
};

enum class AudioRole : std::uint8_t { MainInput, MainOutput, Sidechain };

struct AudioPortInfo {
  Port port;
  std::string_view symbol;
  std::string_view name;
  AudioRole role;
  bool right; // the right channel of its stereo pair
};

inline constexpr AudioPortInfo kAudioPorts[] = {
    {kPortInLeft, "in_l", "In L", AudioRole::MainInput, false},
    {kPortInRight, "in_r", "In R", AudioRole::MainInput, true},
    {kPortOutLeft, "out_l", "Out L", AudioRole::MainOutput, false},
    {kPortOutRight, "out_r", "Out R", AudioRole::MainOutput, true},
    {kPortSidechainLeft, "sc_l", "Sidechain L", AudioRole::Sidechain, false},
    {kPortSidechainRight, "sc_r", "Sidechain R", AudioRole::Sidechain, true},
};

inline constexpr std::string_view kLatencySymbol = "latency";

// The LV2 symbol of parameter `paramIdx`'s control port: its key with every hyphen turned into
// an underscore, because LV2 symbols hold only letters, digits and underscores
// ("b01-frequency" → "b01_frequency").
inline std::string ControlPortSymbol(int paramIdx) {
  std::string symbol(GetParamInfo(paramIdx).key);
  for (char& c : symbol) {
    if (c == '-') c = '_';
  }
  return symbol;
}

} // namespace coral::lv2
