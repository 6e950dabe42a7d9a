// Framework bases: channel configurations, bus names, change sources, byte chunks, the
// plug-in's construction state and the editor link.

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "core/CoralSieve.h"

using iplug::IPlugProcessor;

namespace {

// Records every value the plug-in sends to its editor.
struct RecordingEditor : iplug::IEditorValueReceiver {
  std::vector<std::pair<int, double>> sends;
  void OnParamValueFromDelegate(int paramIdx, double value, bool normalized) override {
    EXPECT_TRUE(normalized);
    sends.emplace_back(paramIdx, value);
  }
};

TEST(Framework, ChannelConfigurationsBusNamesAndSources) {
  std::vector<IPlugProcessor::IOConfig> configs;
  IPlugProcessor::ChannelIOTotals totals;
  ASSERT_EQ(IPlugProcessor::ParseChannelIOStr("1-1 2-2 1.1-1 1.2-1 2.1-2 2.2-2", configs, totals),
            6);
  EXPECT_EQ(totals.nInputChans, 4);
  EXPECT_EQ(totals.nOutputChans, 2);
  EXPECT_EQ(totals.nInputBuses, 2);
  EXPECT_EQ(totals.nOutputBuses, 1);
  EXPECT_EQ(configs[3].inputBuses, (std::vector<int>{1, 2}));
  // A bus of 0 channels adds no bus; malformed configurations are skipped.
  ASSERT_EQ(IPlugProcessor::ParseChannelIOStr("0-2  x-1 2 1- 3-1-1 2.0.2-1", configs, totals), 2);
  EXPECT_EQ(configs[0].NBuses(iplug::kInput), 0);
  EXPECT_EQ(configs[1].inputBuses, (std::vector<int>{2, 2}));

  EXPECT_EQ(IPlugProcessor::GetBusName(iplug::kInput, 0, 2), "Main");
  EXPECT_EQ(IPlugProcessor::GetBusName(iplug::kInput, 1, 2), "Aux");
  EXPECT_EQ(IPlugProcessor::GetBusName(iplug::kInput, 0, 1), "Input");
  EXPECT_EQ(IPlugProcessor::GetBusName(iplug::kOutput, 0, 1), "Output");
  EXPECT_EQ(IPlugProcessor::GetBusName(iplug::kInput, 2, 3), "Input 2");
  EXPECT_EQ(IPlugProcessor::GetBusName(iplug::kOutput, 1, 2), "Output 1");

  const char* texts[] = {"Reset",           "Host",      "Preset",  "UI",
                         "Editor Delegate", "Recompile", "Unknown", "Unknown"};
  for (int code = 0; code < 8; ++code) EXPECT_STREQ(iplug::ParamSourceText(code), texts[code]);
  EXPECT_EQ(iplug::kUI, 3);
}

TEST(Framework, ByteChunkReadsAreBoundsChecked) {
  iplug::IByteChunk chunk;
  const std::int16_t minusTwo = -2;
  const double third = 1.0 / 3.0;
  chunk.Put(&minusTwo);
  EXPECT_EQ(chunk.Put(&third), 10);
  EXPECT_EQ(std::memcmp(chunk.GetData(), "\xFE\xFF", 2), 0);
  double d = 0;
  EXPECT_EQ(chunk.Get(&d, 2), 10);
  EXPECT_EQ(d, third);
  std::uint32_t untouched = 7;
  EXPECT_EQ(chunk.Get(&untouched, 7), -1);
  EXPECT_EQ(chunk.Get(&untouched, -1), -1);
  EXPECT_EQ(untouched, 7u);
}

TEST(Framework, PlugInAfterConstruction) {
  std::unique_ptr<CoralSieve> plug = MakePlug(iplug::InstanceInfo{});
  EXPECT_EQ(plug->GetPluginVersion(false), 0x00000100);
  EXPECT_EQ(plug->GetPluginVersion(true), 100);
  EXPECT_EQ(plug->GetLatency(), 4352);
  // Standalone wrapper: 512-frame blocks with every channel of the largest configuration.
  EXPECT_EQ(plug->GetBlockSize(), 512);
  EXPECT_EQ(plug->NChannelsConnected(iplug::kInput), 4);
  EXPECT_EQ(plug->NChannelsConnected(iplug::kOutput), 2);
  EXPECT_EQ(plug->MaxNBuses(iplug::kInput), 2);
  plug->SetChannelConnections(iplug::kInput, 1, 10, false);
  EXPECT_EQ(plug->NChannelsConnected(iplug::kInput), 1);
  // A host resize is clamped to 393..3540 x 266..2400, each side on its own.
  int w = 100, h = 5000;
  plug->ConstrainEditorResize(w, h);
  EXPECT_EQ(w, 393);
  EXPECT_EQ(h, 2400);
  // Stored slot = defaults, slot A shown, recipe 0, silent until reset or activation.
  EXPECT_EQ(plug->StoredValues(), coral::DefaultSnapshot());
  EXPECT_EQ(plug->CurrentValues(), coral::DefaultSnapshot());
  EXPECT_EQ(plug->GetABFlag(), 0);
  EXPECT_EQ(plug->GetSelectedRecipe(), 0);
  EXPECT_FALSE(plug->IsActive());
}

TEST(Framework, ValuesTravelBetweenEditorAndParameters) {
  CoralSieve plug{iplug::InstanceInfo{}};
  plug.OnUIOpen(); // no editor: nothing is sent, nothing fails
  RecordingEditor editor;
  plug.SetEditorValueReceiver(&editor);
  plug.OnUIOpen();
  ASSERT_EQ(editor.sends.size(), 216u);
  for (int i = 0; i < 216; ++i) EXPECT_EQ(editor.sends[i].first, i);
  // Mix 100 of 0..100; slot 1 at 60 Hz of 20..22000 exponential: ln(3) / ln(1100).
  EXPECT_EQ(editor.sends[coral::kMix].second, 1.0);
  EXPECT_NEAR(editor.sends[coral::BandParamIndex(0, coral::kFrequency)].second, 0.156876, 1e-6);

  editor.sends.clear();
  const int slope = coral::BandParamIndex(0, coral::kSlope);
  plug.BeginInformHostOfParamChangeFromUI(slope);
  plug.SendParameterValueFromUI(slope, 0.5);
  plug.EndInformHostOfParamChangeFromUI(slope);
  EXPECT_EQ(plug.GetParam(slope)->Value(), 2.0);
  plug.SendParameterValueFromUI(216, 0.5);
  EXPECT_TRUE(editor.sends.empty()); // an editor write is not echoed back
  EXPECT_FALSE(plug.OnMessage(1, 2, 0, nullptr));
  plug.SetEditorValueReceiver(nullptr);
}

} // namespace
