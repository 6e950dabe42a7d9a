// The plug-in's block entry: activation, channel routing around the engine, chunking and
// how the sidechain input is chosen. Bypass makes the engine output its delayed, untrimmed dry
// input exactly, which shows where each host channel went.

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/CoralSieve.h"

using reef::sample;

namespace {

constexpr int kLatency = 4352;

class BlockEntryTest : public ::testing::Test {
protected:
  coral::CoralSieve plug{reef::InstanceInfo{}};
  std::vector<sample> in[4], out[2];
  int nullInput = -1; // an input channel handed over as a null pointer

  void SetUp() override { plug.GetParam(coral::kBypass)->SetValue(1); }

  // Runs `total` frames in host blocks of `block` frames, outputs prefilled with 9. Every
  // channel and frame gets a distinct value that single precision holds exactly.
  void Run(int total, int block) {
    for (int c = 0; c < 4; ++c) {
      in[c].resize(total);
      for (int n = 0; n < total; ++n)
        in[c][n] = (c + 1) * 0.125 + ((n * 37 + c * 11) % 257) / 1024.0;
    }
    for (auto& channel : out) channel.assign(total, 9.0);
    for (int start = 0; start < total; start += block) {
      sample *inputs[4], *outputs[2] = {out[0].data() + start, out[1].data() + start};
      for (int c = 0; c < 4; ++c) inputs[c] = c == nullInput ? nullptr : in[c].data() + start;
      plug.ProcessBlock(inputs, outputs, std::min(block, total - start));
    }
  }

  // Input channel `c` delayed by the latency, as the engine's single precision holds it.
  double Delayed(int c, int n) const { return n < kLatency ? 0.0 : float(in[c][n - kLatency]); }
};

TEST_F(BlockEntryTest, SilentWhileInactive) {
  Run(1000, 512);
  for (auto& channel : out) EXPECT_EQ(channel, std::vector<sample>(1000, 0.0));
  plug.OnActivate(true);
  EXPECT_TRUE(plug.IsActive());
  EXPECT_EQ(plug.GetLatency(), kLatency);
  plug.OnActivate(false);
  Run(600, 512);
  for (auto& channel : out) EXPECT_EQ(channel, std::vector<sample>(600, 0.0));
}

TEST_F(BlockEntryTest, ChannelRoutingAndChunking) {
  // {input channels connected, input channel without a buffer, output channels connected, host
  // block}: stereo in long blocks split into 512-frame chunks, one input feeding both sides
  // (also when the second connected channel has no buffer), no input at all, a mono output
  // taking the average.
  const std::tuple<int, int, int, int> cases[] = {
      {2, -1, 2, 1300}, {1, -1, 2, 512}, {2, 1, 2, 700}, {0, -1, 2, 512}, {2, -1, 1, 512}};
  for (auto [inputs, missing, outputs, block] : cases) {
    SCOPED_TRACE(::testing::Message() << inputs << " in, " << outputs << " out, " << block);
    plug.SetChannelConnections(reef::kInput, 0, 10, false); // beyond channel 3 ignored
    plug.SetChannelConnections(reef::kInput, 0, inputs, true);
    plug.SetChannelConnections(reef::kOutput, 1, 1, outputs == 2);
    nullInput = missing;
    plug.OnReset();
    Run(6000, block);
    const auto side = [&](int c, int n) {
      return inputs == 0 ? 0.0 : Delayed(inputs == 2 && missing < 0 ? c : 0, n);
    };
    for (int n = 0; n < 6000; ++n) {
      ASSERT_EQ(out[0][n], outputs == 2 ? side(0, n) : 0.5 * (side(0, n) + side(1, n))) << n;
      ASSERT_EQ(out[1][n], outputs == 2 ? side(1, n) : 9.0) << n; // 9: not connected, untouched
    }
  }
  sample* outputs[2] = {out[0].data(), out[1].data()};
  plug.ProcessBlock(nullptr, outputs, 64); // no input array at all
}

TEST_F(BlockEntryTest, SidechainOnlyWhenAGenuineAuxiliaryInputIsAttached) {
  plug.ApplyRecipe(28); // one band with an external detector
  plug.GetParam(coral::kBypass)->SetValue(1);
  plug.OnReset();
  // Channels 2 and 3 are connected from the start, but no auxiliary input is attached.
  for (auto [attached, connected] : {std::pair{false, true}, {true, true}, {true, false}}) {
    plug.SetSidechainConnected(attached);
    plug.SetChannelConnections(reef::kInput, 2, 2, connected);
    Run(1024, 512);
    EXPECT_EQ(plug.Engine().GetReadout().sidechainPresent, attached && connected);
    EXPECT_EQ(plug.Engine().GetReadout().externalInUse, attached && connected);
  }
}

} // namespace
