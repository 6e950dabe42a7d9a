#include "core/StateChunk.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/Recipes.h"

namespace coral {
namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

void PutSnapshot(reef::IByteChunk& chunk, const ParamSnapshot& values) {
  for (const float& value : values) chunk.Put(&value);
}

void GetSnapshot(const reef::IByteChunk& chunk, int pos, ParamSnapshot& values) {
  for (float& value : values) pos = chunk.Get(&value, pos);
}

// "" when every value is usable for its parameter, else what is wrong with the first one.
std::string CheckSnapshot(const ParamSnapshot& values, const char* arrayName) {
  for (int i = 0; i < kNumParams; ++i) {
    const ParamInfo& def = GetParamInfo(i);
    const float v = values[i];
    const int nameLength = static_cast<int>(def.name.size());
    if (!std::isfinite(v)) {
      return Format("%s values: parameter %d (%.*s) is not finite (%g)", arrayName, i, nameLength,
                    def.name.data(), double(v));
    }
    if (v < def.minimum || v > def.maximum) {
      return Format("%s values: parameter %d (%.*s) is out of range: %.9g, allowed %.9g to %.9g",
                    arrayName, i, nameLength, def.name.data(), double(v), double(def.minimum),
                    double(def.maximum));
    }
    if (IsDiscreteParam(i) && v != std::trunc(v)) {
      return Format("%s values: parameter %d (%.*s) is not a whole number: %.9g", arrayName, i,
                    nameLength, def.name.data(), double(v));
    }
  }
  return {};
}

} // namespace

void BuildStateChunk(reef::IByteChunk& chunk, const ParamSnapshot& current,
                     const ParamSnapshot& stored, std::uint32_t recipeIndex, std::uint32_t abFlag) {
  const std::uint32_t count = kNumParams;
  chunk.PutBytes(kStateMagic, sizeof kStateMagic);
  chunk.Put(&kStateVersion);
  chunk.Put(&count);
  PutSnapshot(chunk, current);
  PutSnapshot(chunk, stored);
  chunk.Put(&recipeIndex);
  chunk.Put(&abFlag);
}

StateVerdict CheckStateChunk(const reef::IByteChunk& chunk, int startPos, StateContent& content) {
  if (startPos < 0) return {false, Format("start position %d is negative", startPos)};
  if (startPos > chunk.Size() || chunk.Size() - startPos != kStateChunkSize) {
    return {false, Format("size: %d bytes from position %d to the end, a state is exactly %d",
                          chunk.Size() - startPos, startPos, kStateChunkSize)};
  }

  char magic[4];
  std::uint32_t version = 0;
  std::uint32_t count = 0;
  chunk.GetBytes(magic, sizeof magic, startPos);
  chunk.Get(&version, startPos + kStateVersionOffset);
  chunk.Get(&count, startPos + kStateCountOffset);
  if (std::memcmp(magic, kStateMagic, sizeof magic) != 0) {
    return {false, Format("magic: bytes %02X %02X %02X %02X, expected \"RVEQ\"",
                          unsigned(std::uint8_t(magic[0])), unsigned(std::uint8_t(magic[1])),
                          unsigned(std::uint8_t(magic[2])), unsigned(std::uint8_t(magic[3])))};
  }
  if (version != kStateVersion) {
    return {false, Format("version: %u, expected %u", unsigned(version), unsigned(kStateVersion))};
  }
  if (count != std::uint32_t(kNumParams)) {
    return {false, Format("count: %u parameters, expected %d", unsigned(count), kNumParams)};
  }

  StateContent read;
  GetSnapshot(chunk, startPos + kStateCurrentOffset, read.current);
  GetSnapshot(chunk, startPos + kStateStoredOffset, read.stored);
  chunk.Get(&read.recipeIndex, startPos + kStateRecipeOffset);
  chunk.Get(&read.abFlag, startPos + kStateABFlagOffset);
  if (read.recipeIndex >= std::uint32_t(kNumRecipes)) {
    return {false, Format("recipe index: %u, expected 0 to %d", unsigned(read.recipeIndex),
                          kNumRecipes - 1)};
  }
  if (read.abFlag > 1) {
    return {false, Format("A/B flag: %u, expected 0 or 1", unsigned(read.abFlag))};
  }
  std::string problem = CheckSnapshot(read.current, "current");
  if (problem.empty()) problem = CheckSnapshot(read.stored, "stored");
  if (!problem.empty()) return {false, std::move(problem)};
  content = read;
  return {true, "valid state"};
}

} // namespace coral
