#pragma once
// The plug-in state chunk: both A/B settings, the selected recipe and the A/B flag in a fixed
// little-endian layout of 1748 bytes.
//
//   offset  size  content
//        0     4  magic "RVEQ"
//        4     4  format version, uint32: 1
//        8     4  parameter count, uint32: 216
//       12   864  current values: 216 float32 plain values in parameter order
//      876   864  stored A/B slot: 216 float32 in the same order
//     1740     4  selected recipe index, uint32: 0..31
//     1744     4  A/B flag, uint32: 0 (slot A shown) or 1 (slot B shown)
//
// Threads: any; the functions work on their arguments only.

#include <cstdint>
#include <string>

#include "core/IByteChunk.h"
#include "engine/ParamTable.h"

namespace coral {

inline constexpr int kStateChunkSize = 1748;
inline constexpr char kStateMagic[4] = {'R', 'V', 'E', 'Q'};
inline constexpr std::uint32_t kStateVersion = 1;
inline constexpr int kStateVersionOffset = 4;
inline constexpr int kStateCountOffset = 8;
inline constexpr int kStateCurrentOffset = 12;
inline constexpr int kStateStoredOffset = kStateCurrentOffset + 4 * kNumParams;
inline constexpr int kStateRecipeOffset = kStateStoredOffset + 4 * kNumParams;
inline constexpr int kStateABFlagOffset = kStateRecipeOffset + 4;
static_assert(kStateABFlagOffset + 4 == kStateChunkSize);

// The decoded content of a state chunk.
struct StateContent {
  ParamSnapshot current{};
  ParamSnapshot stored{};
  std::uint32_t recipeIndex = 0;
  std::uint32_t abFlag = 0;
};

// Outcome of checking a chunk; `reason` says in words what is wrong, or "valid state".
struct StateVerdict {
  bool accepted = false;
  std::string reason;
};

// Appends one state to the end of `chunk`.
void BuildStateChunk(reef::IByteChunk& chunk, const ParamSnapshot& current,
                     const ParamSnapshot& stored, std::uint32_t recipeIndex, std::uint32_t abFlag);

// Checks the state that begins at `startPos`, which must be the last thing in the chunk.
// It is rejected for a negative start, a remaining size other than 1748, a wrong magic,
// version or count, a recipe index above 31, an A/B flag above 1, and for any value in
// either array (current first) that is not finite, lies outside its parameter's range or is
// not a whole number for a bool or enum parameter. On acceptance `content` holds the decoded
// state; otherwise it is left unchanged.
StateVerdict CheckStateChunk(const reef::IByteChunk& chunk, int startPos, StateContent& content);

} // namespace coral
