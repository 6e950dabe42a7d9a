// The plug-in's block entry: activation, channel routing around the engine, chunking and
// the sidechain rule. Bypass makes the engine output its delayed, untrimmed dry input
// exactly, which shows where each host channel went.

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "core/CoralSieve.h"

using iplug::sample;

namespace {

constexpr int kLatency = 4352;

// A distinct value per channel and frame that single precision holds exactly.
double Signal(int channel, int frame) {
  return (channel + 1) * 0.125 + ((frame * 37 + channel * 11) % 257) / 1024.0;
}

class BlockEntryTest : public ::testing::Test {
protected:
  CoralSieve plug{iplug::InstanceInfo{}};
  std::vector<std::vector<sample>> in = std::vector<std::vector<sample>>(4);
  std::vector<std::vector<sample>> out = std::vector<std::vector<sample>>(2);
  std::vector<sample*> inPtrs = std::vector<sample*>(4);
  std::vector<sample*> outPtrs = std::vector<sample*>(2);

  void SetUp() override {
    plug.GetParam(coral::kBypass)->SetValue(1);
    plug.SetSampleRate(48000);
  }

  // Runs `total` frames in host blocks of `block` frames, outputs prefilled with 9.
  void Run(int total, int block) {
    for (int c = 0; c < 4; ++c) {
      in[c].resize(total);
      for (int n = 0; n < total; ++n) in[c][n] = Signal(c, n);
    }
    for (auto& channel : out) channel.assign(total, 9.0);
    for (int start = 0; start < total; start += block) {
      const int frames = std::min(block, total - start);
      for (int c = 0; c < 4; ++c) inPtrs[c] = in[c].data() + start;
      for (int c = 0; c < 2; ++c) outPtrs[c] = out[c].data() + start;
      plug.ProcessBlock(inPtrs.data(), outPtrs.data(), frames);
    }
  }

  // Input channel `c` delayed by the latency, as the engine's single precision holds it.
  double Delayed(int c, int n) const {
    return n < kLatency ? 0.0 : double(float(in[c][n - kLatency]));
  }
};

TEST_F(BlockEntryTest, SilentUntilActivatedAndAfterDeactivation) {
  Run(1000, 512);
  for (auto& channel : out) {
    for (sample v : channel) ASSERT_EQ(v, 0.0);
  }
  EXPECT_FALSE(plug.Engine().IsPrepared());

  plug.OnActivate(true);
  EXPECT_TRUE(plug.IsActive());
  EXPECT_EQ(plug.GetLatency(), kLatency);
  plug.OnActivate(false);
  EXPECT_FALSE(plug.IsActive());
  Run(600, 512);
  for (auto& channel : out) {
    for (sample v : channel) ASSERT_EQ(v, 0.0);
  }

  // An empty block writes nothing.
  plug.OnReset();
  std::vector<sample> untouched(4, 9.0);
  outPtrs = {untouched.data(), untouched.data()};
  plug.ProcessBlock(inPtrs.data(), outPtrs.data(), 0);
  EXPECT_EQ(untouched, std::vector<sample>(4, 9.0));
}

TEST_F(BlockEntryTest, StereoThroughLongBlocksSplitIntoChunks) {
  plug.OnReset();
  EXPECT_EQ(plug.Engine().SampleRate(), 48000.0);
  Run(6000, 1300); // not a multiple of the 512-frame chunk
  for (int c = 0; c < 2; ++c) {
    for (int n = 0; n < 6000; ++n) ASSERT_EQ(out[c][n], Delayed(c, n)) << c << " " << n;
  }
}

TEST_F(BlockEntryTest, MonoAndMissingInputs) {
  plug.SetChannelConnections(iplug::kInput, 1, 3, false);
  plug.OnReset();
  Run(5000, 512);
  for (int n = 0; n < 5000; ++n) {
    ASSERT_EQ(out[0][n], Delayed(0, n)) << n;
    ASSERT_EQ(out[1][n], Delayed(0, n)) << n;
  }

  // A connected channel without a buffer counts as missing.
  plug.SetChannelConnections(iplug::kInput, 0, 2, true);
  plug.OnReset();
  in[1].clear();
  for (int start = 0; start < 5000; start += 512) {
    const int frames = std::min(512, 5000 - start);
    in[0].assign(frames, 0.25);
    sample* inputs[4] = {in[0].data(), nullptr, nullptr, nullptr};
    sample* outputs[2] = {out[0].data() + start, out[1].data() + start};
    plug.ProcessBlock(inputs, outputs, frames);
  }
  EXPECT_EQ(out[1][4999], 0.25);

  plug.SetChannelConnections(iplug::kInput, 0, 4, false);
  plug.OnReset();
  Run(5000, 512);
  for (auto& channel : out) {
    for (sample v : channel) ASSERT_EQ(v, 0.0);
  }
  plug.ProcessBlock(nullptr, outPtrs.data(), 64);
}

TEST_F(BlockEntryTest, MonoOutputGetsTheAverage) {
  plug.SetChannelConnections(iplug::kOutput, 1, 1, false);
  plug.OnReset();
  Run(5000, 512);
  for (int n = 0; n < 5000; ++n) {
    ASSERT_EQ(out[0][n], 0.5 * (Delayed(0, n) + Delayed(1, n))) << n;
    ASSERT_EQ(out[1][n], 9.0); // not connected: untouched
  }
}

TEST_F(BlockEntryTest, SidechainOnlyWhenAGenuineAuxiliaryInputIsAttached) {
  plug.ApplyRecipe(28); // one band with an external detector
  plug.GetParam(coral::kBypass)->SetValue(1);
  plug.OnReset();
  Run(1024, 512);
  EXPECT_EQ(plug.Engine().GetReadout().sidechainPresent, 0); // channels 2 and 3 connected
  EXPECT_EQ(plug.Engine().GetReadout().externalInUse, 0);

  plug.SetSidechainConnected(true);
  Run(1024, 512);
  EXPECT_EQ(plug.Engine().GetReadout().sidechainPresent, 1);
  EXPECT_EQ(plug.Engine().GetReadout().externalInUse, 1);

  plug.SetChannelConnections(iplug::kInput, 2, 2, false);
  Run(1024, 512);
  EXPECT_EQ(plug.Engine().GetReadout().sidechainPresent, 0);
}

TEST_F(BlockEntryTest, ResetFallsBackToFortyEightKilohertz) {
  for (double rate : {0.0, -44100.0, std::nan(""), HUGE_VAL}) {
    plug.SetSampleRate(rate);
    plug.OnReset();
    EXPECT_EQ(plug.Engine().SampleRate(), 48000.0) << rate;
  }
  plug.SetSampleRate(96000);
  plug.OnActivate(true);
  EXPECT_EQ(plug.Engine().SampleRate(), 96000.0);
}

TEST_F(BlockEntryTest, ParametersReachTheEngineAtTheNextBlock) {
  plug.GetParam(coral::kBypass)->SetValue(0);
  plug.GetParam(coral::kMix)->SetValue(0); // delayed dry, untrimmed
  plug.OnReset();
  Run(5000, 512);
  EXPECT_EQ(out[0][4999], Delayed(0, 4999));

  // Output trim to -24 dB now applies to the mixed signal (after the 20 ms smoothing).
  plug.GetParam(coral::kOutput)->SetValue(-24);
  Run(20000, 512);
  const double gain = std::pow(10.0, -24.0 / 20.0);
  EXPECT_NEAR(out[0][19999], gain * Delayed(0, 19999), 1e-6);
}

} // namespace
