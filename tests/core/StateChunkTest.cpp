// The state chunk byte by byte, its validation, and the A/B slot and COPY.

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/CoralSieve.h"
#include "core/StateChunk.h"

using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr int Band(int slot, int field) {
  return 12 + 17 * (slot - 1) + field;
}

// The default settings as single-precision bit patterns, written out by hand.
std::vector<std::uint32_t> DefaultBits() {
  std::vector<std::uint32_t> bits = {
      0x00000000, 0x00000000, 0x00000000, 0x42C80000, 0x42C80000, 0x42C80000, // Phase..Link
      0x00000000, 0x00000000, 0x3F800000, 0x3F800000, 0x00000000, 0x3F800000, // Bypass..Range
  };
  const std::uint32_t frequencies[12] = {0x42700000, 0x42F00000, 0x437A0000, 0x43FA0000,
                                         0x447A0000, 0x44FA0000, 0x455AC000, 0x459C4000,
                                         0x45DAC000, 0x461C4000, 0x465AC000, 0x468CA000};
  for (int slot = 0; slot < 12; ++slot) {
    // Enabled, Type, Frequency, Gain, Q 0.7071, Slope, Dynamic, Threshold -24, Ratio 4,
    // Knee 6, Attack 10, Release 150, Range 6, Direction, Detector, Channel, Listen.
    const std::uint32_t band[17] = {slot < 4 ? 0x3F800000u : 0u,
                                    0,
                                    frequencies[slot],
                                    0,
                                    0x3F350481,
                                    0,
                                    0,
                                    0xC1C00000,
                                    0x40800000,
                                    0x40C00000,
                                    0x41200000,
                                    0x43160000,
                                    0x40C00000,
                                    0,
                                    0,
                                    0,
                                    0};
    bits.insert(bits.end(), band, band + 17);
  }
  return bits;
}

void PutU32(Bytes& bytes, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutF32(Bytes& bytes, float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, 4);
  PutU32(bytes, bits);
}

void PokeF32(Bytes& bytes, int offset, float f) {
  Bytes word;
  PutF32(word, f);
  std::copy(word.begin(), word.end(), bytes.begin() + offset);
}

std::uint32_t U32At(const Bytes& bytes, int offset) {
  return std::uint32_t(bytes[offset]) | std::uint32_t(bytes[offset + 1]) << 8 |
         std::uint32_t(bytes[offset + 2]) << 16 | std::uint32_t(bytes[offset + 3]) << 24;
}

Bytes Serialize(const CoralSieve& plug) {
  iplug::IByteChunk chunk;
  EXPECT_TRUE(plug.SerializeState(chunk));
  return Bytes(chunk.GetData(), chunk.GetData() + chunk.Size());
}

iplug::IByteChunk ChunkOf(const Bytes& bytes) {
  iplug::IByteChunk chunk;
  chunk.PutBytes(bytes.data(), static_cast<int>(bytes.size()));
  return chunk;
}

int Unserialize(CoralSieve& plug, const Bytes& bytes, int startPos = 0) {
  return plug.UnserializeState(ChunkOf(bytes), startPos);
}

std::string Reason(const Bytes& bytes) {
  coral::StateContent content;
  return coral::CheckStateChunk(ChunkOf(bytes), 0, content).reason;
}

struct CountingEditor : iplug::IEditorValueReceiver {
  int sends = 0;
  void OnParamValueFromDelegate(int, double, bool) override { ++sends; }
};

class StateTest : public ::testing::Test {
protected:
  CoralSieve plug{iplug::InstanceInfo{}};

  // A valid state that differs from the defaults everywhere it can: recipe 23 shown, recipe 8
  // stored, slot B shown.
  static Bytes OtherState() {
    CoralSieve other{iplug::InstanceInfo{}};
    other.ApplyRecipe(8);
    other.SwitchAB();
    other.ApplyRecipe(23);
    other.GetParam(coral::kInput)->SetValue(-7.25);
    return Serialize(other);
  }
};

TEST_F(StateTest, ChunkLayoutByteByByte) {
  Bytes expected = {'R', 'V', 'E', 'Q', 1, 0, 0, 0, 216, 0, 0, 0};
  for (int copy = 0; copy < 2; ++copy) {
    for (std::uint32_t bits : DefaultBits()) PutU32(expected, bits);
  }
  PutU32(expected, 0);
  PutU32(expected, 0);
  ASSERT_EQ(expected.size(), 1748u);
  EXPECT_EQ(Serialize(plug), expected);

  plug.GetParam(Band(1, coral::kGain))->SetValue(-3.5);
  Bytes bytes = Serialize(plug);
  EXPECT_EQ(U32At(bytes, 12 + 4 * 15), 0xC0600000u); // current Band 1 Gain
  EXPECT_EQ(U32At(bytes, 876 + 4 * 15), 0u);         // stored Band 1 Gain
  plug.SwitchAB();
  plug.ApplyRecipe(21);
  bytes = Serialize(plug);
  EXPECT_EQ(U32At(bytes, 876 + 4 * 15), 0xC0600000u);
  EXPECT_EQ(U32At(bytes, 12 + 4 * 16), 0x41C80000u);                          // current Q 25
  EXPECT_EQ(U32At(bytes, 12 + 4 * Band(12, coral::kFrequency)), 0x44160000u); // 600 Hz
  EXPECT_EQ(U32At(bytes, 1740), 21u);
  EXPECT_EQ(U32At(bytes, 1744), 1u);

  // Serialize appends; unserialize reads a state that ends the chunk.
  iplug::IByteChunk chunk;
  chunk.PutBytes("abc", 3);
  plug.SerializeState(chunk);
  ASSERT_EQ(chunk.Size(), 1751);
  EXPECT_EQ(Bytes(chunk.GetData() + 3, chunk.GetData() + 1751), bytes);
  CoralSieve fresh{iplug::InstanceInfo{}};
  EXPECT_EQ(fresh.UnserializeState(chunk, 3), 1751);
  EXPECT_EQ(Serialize(fresh), bytes);
}

TEST_F(StateTest, EveryWrongSizeIsRejectedWithoutChange) {
  const Bytes valid = OtherState();
  plug.ApplyRecipe(5);
  plug.CopyToStoredSlot();
  plug.GetParam(coral::kOutput)->SetValue(3.0);
  const Bytes before = Serialize(plug);
  CountingEditor editor;
  plug.SetEditorValueReceiver(&editor);

  for (std::size_t length = 0; length < valid.size(); ++length) {
    ASSERT_EQ(Unserialize(plug, Bytes(valid.begin(), valid.begin() + length)), -1) << length;
  }
  Bytes longer = valid;
  longer.push_back(0);
  EXPECT_EQ(Unserialize(plug, longer), -1);
  EXPECT_EQ(Unserialize(plug, valid, -1), -1);
  EXPECT_EQ(Unserialize(plug, valid, 1), -1);
  EXPECT_EQ(Unserialize(plug, valid, 5000), -1);
  EXPECT_EQ(Unserialize(plug, longer, 1), -1); // right length, but shifted: bad magic
  EXPECT_EQ(editor.sends, 0);
  EXPECT_EQ(Serialize(plug), before);

  EXPECT_EQ(Unserialize(plug, valid), 1748);
  EXPECT_EQ(editor.sends, 216);
  EXPECT_EQ(Serialize(plug), valid);
  plug.SetEditorValueReceiver(nullptr);
}

TEST_F(StateTest, SingleBitFlipsAreRejectedOrReproducedExactly) {
  const Bytes valid = OtherState();
  plug.ApplyRecipe(12);
  const Bytes before = Serialize(plug);
  int accepted = 0;
  for (std::size_t byte = 0; byte < valid.size(); ++byte) {
    for (int bit = 0; bit < 8; ++bit) {
      Bytes flipped = valid;
      flipped[byte] ^= std::uint8_t(1u << bit);
      const int result = Unserialize(plug, flipped);
      if (result < 0) {
        ASSERT_EQ(Serialize(plug), before) << "byte " << byte << " bit " << bit;
      } else {
        ASSERT_EQ(result, 1748);
        ASSERT_EQ(Serialize(plug), flipped) << "byte " << byte << " bit " << bit;
        ++accepted;
        ASSERT_EQ(Unserialize(plug, before), 1748);
      }
    }
  }
  // Low mantissa bits of continuous values and a few header-free words stay valid.
  EXPECT_GT(accepted, 1000);
  EXPECT_LT(accepted, 1748 * 8);
}

TEST_F(StateTest, RejectionReasonsNameTheProblem) {
  const Bytes valid = OtherState();
  EXPECT_EQ(Reason(valid), "valid state");

  EXPECT_NE(Reason(Bytes(valid.begin(), valid.end() - 1)).find("size"), std::string::npos);
  const std::tuple<int, std::uint8_t, const char*> header[] = {
      {0, 'X', "magic"}, {4, 2, "version"},          {8, 215, "count"},
      {9, 1, "count"},   {1740, 32, "recipe index"}, {1744, 2, "A/B flag"}};
  Bytes bad;
  for (auto [offset, byte, words] : header) {
    bad = valid;
    bad[offset] = byte;
    EXPECT_NE(Reason(bad).find(words), std::string::npos) << Reason(bad);
  }
  bad = valid;
  bad[1740] = 31;
  EXPECT_EQ(Reason(bad), "valid state");

  struct Case {
    int param;
    float value;
    const char* words;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const Case cases[] = {
      {Band(1, coral::kType), 2.5f, "not a whole number"},
      {Band(1, coral::kFrequency), 19.5f, "out of range"},
      {Band(3, coral::kQ), 30.001f, "out of range"},
      {Band(1, coral::kGain), nan, "not finite"},
      {coral::kMix, inf, "not finite"},
      {coral::kInput, -inf, "not finite"},
      {coral::kAnalyzerSpeed, 3.f, "out of range"},
  };
  for (const char* array : {"current", "stored"}) {
    const int base = std::string(array) == "current" ? 12 : 876;
    for (const Case& c : cases) {
      bad = valid;
      PokeF32(bad, base + 4 * c.param, c.value);
      const std::string reason = Reason(bad);
      EXPECT_NE(reason.find(array), std::string::npos) << reason;
      EXPECT_NE(reason.find("parameter " + std::to_string(c.param)), std::string::npos) << reason;
      EXPECT_NE(reason.find(c.words), std::string::npos) << reason;
      EXPECT_EQ(Unserialize(plug, bad), -1);
    }
  }
  EXPECT_EQ(plug.CurrentValues(), coral::DefaultSnapshot());
  EXPECT_EQ(plug.StoredValues(), coral::DefaultSnapshot());

  // The limits themselves are valid.
  bad = valid;
  PokeF32(bad, 876 + 4 * Band(1, coral::kFrequency), 22000.f);
  PokeF32(bad, 876 + 4 * Band(2, coral::kFrequency), 20.f);
  PokeF32(bad, 12 + 4 * Band(2, coral::kQ), 0.15f);
  EXPECT_EQ(Unserialize(plug, bad), 1748);
  EXPECT_EQ(plug.StoredValues()[Band(1, coral::kFrequency)], 22000.f);
  EXPECT_EQ(plug.GetParam(Band(2, coral::kQ))->Value(), double(0.15f));
}

TEST_F(StateTest, RandomValidStatesRoundTripThroughFreshObjects) {
  std::mt19937 rng(20240611);
  const auto randomSnapshot = [&rng] {
    coral::ParamSnapshot values;
    for (int i = 0; i < 216; ++i) {
      const coral::ParamSpec& spec = coral::GetParamSpec(i);
      if (coral::IsDiscreteParam(i)) {
        std::uniform_int_distribution<int> pick(int(spec.minimum), int(spec.maximum));
        values[i] = float(pick(rng));
      } else {
        std::uniform_real_distribution<float> pick(spec.minimum, spec.maximum);
        values[i] = pick(rng);
      }
    }
    return values;
  };
  for (int round = 0; round < 1000; ++round) {
    Bytes bytes = {'R', 'V', 'E', 'Q', 1, 0, 0, 0, 216, 0, 0, 0};
    for (float v : randomSnapshot()) PutF32(bytes, v);
    for (float v : randomSnapshot()) PutF32(bytes, v);
    PutU32(bytes, rng() % 32);
    PutU32(bytes, rng() % 2);
    CoralSieve fresh{iplug::InstanceInfo{}};
    ASSERT_EQ(Unserialize(fresh, bytes), 1748) << Reason(bytes);
    ASSERT_EQ(Serialize(fresh), bytes) << "round " << round;
  }
}

TEST_F(StateTest, ABSwitchAndCopy) {
  CountingEditor editor;
  plug.SetEditorValueReceiver(&editor);
  const int gain = Band(2, coral::kGain);
  plug.GetParam(gain)->SetValue(1.234); // not exactly a float
  plug.GetParam(coral::kGraphRange)->SetValue(2);

  plug.SwitchAB();
  EXPECT_EQ(editor.sends, 216);
  EXPECT_EQ(plug.GetABFlag(), 1);
  EXPECT_EQ(plug.CurrentValues(), coral::DefaultSnapshot());
  EXPECT_EQ(plug.StoredValues()[gain], 1.234f);
  EXPECT_EQ(plug.StoredValues()[coral::kGraphRange], 2.f);

  plug.SwitchAB();
  EXPECT_EQ(plug.GetABFlag(), 0);
  EXPECT_EQ(plug.GetParam(gain)->Value(), double(1.234f));
  EXPECT_EQ(plug.GetParam(coral::kGraphRange)->Value(), 2.0);
  EXPECT_EQ(plug.StoredValues(), coral::DefaultSnapshot());

  // COPY, then a switch: the same settings shown, slot B.
  plug.ApplyRecipe(7);
  plug.CopyToStoredSlot();
  EXPECT_EQ(plug.GetABFlag(), 0);
  const coral::ParamSnapshot shown = plug.CurrentValues();
  EXPECT_EQ(plug.StoredValues(), shown);
  plug.SwitchAB();
  EXPECT_EQ(plug.CurrentValues(), shown);
  EXPECT_EQ(plug.GetABFlag(), 1);
  EXPECT_EQ(plug.GetSelectedRecipe(), 7); // kept across switch and COPY
  plug.SetEditorValueReceiver(nullptr);
}

TEST_F(StateTest, FactoryPresetsHoldTheRecipeChunks) {
  ASSERT_EQ(plug.NPresets(), 32);
  EXPECT_STREQ(plug.GetPresetName(0), "Neutral");
  EXPECT_STREQ(plug.GetPresetName(21), "Dehum 50 Hz");
  EXPECT_STREQ(plug.GetPresetName(31), "Broad Tilt");
  EXPECT_STREQ(plug.GetPresetName(32), "");
  EXPECT_EQ(plug.GetPresetChunk(32), nullptr);
  EXPECT_FALSE(plug.MakePresetFromChunk("Extra", iplug::IByteChunk{})); // every slot is used

  const iplug::IByteChunk* chunk = plug.GetPresetChunk(21);
  ASSERT_NE(chunk, nullptr);
  ASSERT_EQ(chunk->Size(), 1748);
  const Bytes bytes(chunk->GetData(), chunk->GetData() + chunk->Size());
  EXPECT_EQ(U32At(bytes, 1740), 21u);
  EXPECT_EQ(U32At(bytes, 1744), 0u);
  EXPECT_EQ(U32At(bytes, 12 + 4 * Band(3, coral::kFrequency)), 0x43160000u); // 150 Hz
  EXPECT_EQ(U32At(bytes, 876 + 4 * Band(3, coral::kFrequency)), 0x43160000u);

  plug.SwitchAB();
  ASSERT_TRUE(plug.RestorePreset(21));
  EXPECT_EQ(plug.GetSelectedRecipe(), 21);
  EXPECT_EQ(plug.GetABFlag(), 0);
  EXPECT_EQ(plug.CurrentValues(), plug.StoredValues());
  EXPECT_EQ(plug.FindMatchingRecipe(), 21);
  EXPECT_FALSE(plug.RestorePreset(-1));
}

} // namespace
