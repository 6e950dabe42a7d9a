// Robustness of the plug-in object as a host drives it: every sample rate and block size,
// automation with hostile values, extreme settings, subnormal-free decay, hostile state
// chunks and concurrent editing. Every block runs with the allocation trap armed.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "core/CoralSieve.h"
#include "core/IByteChunk.h"
#include "core/Recipes.h"
#include "engine/EngineState.h"
#include "tests/support/AllocationTrap.h"

namespace {

using namespace coral;
using reef::sample;

constexpr float kInf = std::numeric_limits<float>::infinity();

bool SubnormalFloat(double v) {
  return v != 0.0 && std::abs(v) < FLT_MIN;
}
bool SubnormalDouble(double v) {
  return std::fpclassify(v) == FP_SUBNORMAL;
}

// A host of its own: one plug-in object, double buffers and a noise source.
class Host {
public:
  Host(double rate, int maxBlock, unsigned seed = 1) : plug_(MakePlugin({})), rng_(seed) {
    for (auto& b : in_) b.assign(std::size_t(maxBlock), 0.0);
    for (auto& b : out_) b.assign(std::size_t(maxBlock), 0.0);
    plug_->SetSampleRate(rate);
    plug_->SetBlockSize(maxBlock);
    plug_->SetChannelConnections(reef::kInput, 0, 2, true);
    plug_->SetChannelConnections(reef::kOutput, 0, 2, true);
    plug_->OnReset();
  }

  CoralSieve& Plug() { return *plug_; }
  const EngineState& Engine() const { return plug_->Engine().State(); }

  // One block of `frames` frames; `level` scales full-scale uniform noise. Fails the test on
  // a non-finite or subnormal output sample or an allocation. Answers the output peak.
  double Block(int frames, double level = 1.0) {
    std::uniform_real_distribution<double> noise(-level, level);
    for (int i = 0; i < frames; ++i) in_[0][i] = noise(rng_), in_[1][i] = noise(rng_);
    return Run(frames);
  }

  double Constant(int frames, double value) {
    for (int i = 0; i < frames; ++i) in_[0][i] = value, in_[1][i] = -value;
    return Run(frames);
  }

  std::mt19937& Rng() { return rng_; }

private:
  double Run(int frames) {
    sample* ins[2] = {in_[0].data(), in_[1].data()};
    sample* outs[2] = {out_[0].data(), out_[1].data()};
    test::ResetTrappedCalls();
    {
      test::RealtimeScope realtime;
      plug_->ProcessBlock(ins, outs, frames);
    }
    EXPECT_EQ(test::TrappedCalls(), 0u) << "allocation on the audio thread";
    double peak = 0;
    for (const auto& channel : out_) {
      for (int i = 0; i < frames; ++i) {
        const double v = channel[std::size_t(i)];
        EXPECT_TRUE(std::isfinite(v) && !SubnormalFloat(v)) << "sample " << i << ": " << v;
        if (!std::isfinite(v) || SubnormalFloat(v)) return INFINITY;
        peak = std::max(peak, std::abs(v));
      }
    }
    return peak;
  }

  std::unique_ptr<CoralSieve> plug_;
  std::vector<double> in_[2], out_[2];
  std::mt19937 rng_;
};

// Every band on with types, channels, slopes and dynamics spread over the slots, in both
// phase modes: the busiest steady settings.
void BusySettings(CoralSieve& plug, bool linearPhase) {
  for (int b = 0; b < kNumBands; ++b) {
    const float values[][2] = {{kEnabled, 1},
                               {kType, float(b % 8)},
                               {kFrequency, 30.0f * float((b + 1) * (b + 1))},
                               {kGain, b % 2 ? 9.0f : -9.0f},
                               {kQ, b % 3 ? 0.7f : 4.0f},
                               {kSlope, float(b % 4)},
                               {kDynamic, 1},
                               {kThreshold, -30},
                               {kDirection, float(b % 2)},
                               {kChannel, float(b % 5)}};
    for (const auto& v : values) plug.GetParam(BandParamIndex(b, int(v[0])))->SetValue(v[1]);
  }
  plug.GetParam(kPhase)->SetValue(linearPhase ? 1 : 0);
}

// A hostile value for parameter i: NaN, infinities, far outside the range, just outside,
// or anywhere inside.
float HostileValue(int i, std::mt19937& rng) {
  const ParamInfo& def = GetParamInfo(i);
  std::uniform_real_distribution<float> inside(def.minimum, def.maximum);
  switch (rng() % 8) {
  case 0:
    return std::numeric_limits<float>::quiet_NaN();
  case 1:
    return kInf;
  case 2:
    return -kInf;
  case 3:
    return def.minimum - 1e6f;
  case 4:
    return def.maximum * 3 + 1;
  default:
    return inside(rng);
  }
}

TEST(Reliability, EverySampleRateAndBlockSize) {
  const double rates[] = {8000, 22050, 44100, 48000, 88200, 96000, 192000, 384000, 45678.901};
  const int blocks[] = {1, 2, 17, 64, 511, 512, 2027, 4096, 8192};
  for (double rate : rates) {
    for (int block : blocks) {
      Host host(rate, block, unsigned(block));
      BusySettings(host.Plug(), block % 2 == 1);
      for (int done = 0, n = 0; n < 2 || done < 6000; done += block, ++n) host.Block(block);
      if (HasFailure()) FAIL() << rate << " Hz, blocks of " << block;
    }
  }
  // 2,000 block sizes drawn log-uniformly from 1..8192 on one running instance.
  Host host(45678.901, 8192, 7);
  BusySettings(host.Plug(), true);
  std::uniform_real_distribution<double> logSize(0.0, std::log(8192.0));
  for (int i = 0; i < 2000 && !HasFailure(); ++i)
    host.Block(std::clamp(int(std::exp(logSize(host.Rng()))), 1, 8192));
}

// Automation: up to 10 hostile values per step, all 216 every 100th step. The outputs stay
// finite; a value stops mattering the block after it was written (sanitised to its default).
class AutomationFuzz : public ::testing::TestWithParam<double> {};

TEST_P(AutomationFuzz, HostileValuesNeverReachTheOutput) {
  const int blocks[] = {1, 17, 512, 4096};
  Host host(GetParam(), 4096, unsigned(GetParam()));
  std::mt19937& rng = host.Rng();
  double loudest = 0;
  for (int step = 0; step < 2500 && !HasFailure(); ++step) {
    const int changes = step % 100 == 0 ? kNumParams : int(rng() % 11);
    for (int c = 0; c < changes; ++c) {
      const int i = step % 100 == 0 ? c : int(rng() % kNumParams);
      host.Plug().GetParam(i)->SetValue(HostileValue(i, rng));
      ASSERT_TRUE(std::isfinite(host.Plug().GetParam(i)->Value())) << i;
    }
    loudest = std::max(loudest, host.Block(blocks[step % 4]));
  }
  EXPECT_LE(loudest, FLT_MAX);
  RecordProperty("loudestOutput", std::to_string(loudest));
}

INSTANTIATE_TEST_SUITE_P(Rates, AutomationFuzz,
                         ::testing::Values(22050.0, 44100.0, 96000.0, 192000.0));

TEST(Reliability, ExtremeSettings) {
  std::mt19937 rng(99);
  for (int mix = -3; mix < 50; ++mix) {
    Host host(48000, 512, unsigned(mix + 10));
    for (int i = 0; i < kNumParams; ++i) {
      const ParamInfo& s = GetParamInfo(i);
      const int pick = mix < 0 ? mix + 3 : int(rng() % 3); // 0 min, 1 max, 2 default
      host.Plug().GetParam(i)->SetValue(pick == 0   ? s.minimum
                                        : pick == 1 ? s.maximum
                                                    : s.defaultValue);
    }
    for (int b = 0; b < 60 && !HasFailure(); ++b) host.Block(512);
  }
}

// No subnormal anywhere in the audio path after tiny input or a long decay.
::testing::AssertionResult NoSubnormals(const EngineState& s) {
  auto anySubnormal = [](const LaneValues& lanes) {
    return std::any_of(std::begin(lanes.v), std::end(lanes.v), SubnormalDouble);
  };
  for (const BandChain* chain : {&s.staticChain, &s.dynamicChain})
    for (const PairLanes* pair : {&chain->Lanes().current, &chain->Lanes().previous})
      for (const StateLanes& st : pair->states)
        if (anySubnormal(st.s1) || anySubnormal(st.s2))
          return ::testing::AssertionFailure() << "filter state";
  const DetectorLanes& d = s.detectors;
  if (anySubnormal(d.state.s1) || anySubnormal(d.state.s2))
    return ::testing::AssertionFailure() << "detector state";
  if (anySubnormal(d.envelope) || anySubnormal(d.gain) ||
      std::any_of(std::begin(d.delayedGain.v), std::end(d.delayedGain.v), SubnormalFloat))
    return ::testing::AssertionFailure() << "envelope or gain";
  for (const StereoDelay* line : {&s.dryDelay, &s.staticDelay, &s.listenDelay})
    for (float v : *line)
      if (SubnormalFloat(v)) return ::testing::AssertionFailure() << "delay line";
  for (float v : s.gainDelay)
    if (SubnormalFloat(v)) return ::testing::AssertionFailure() << "gain delay";
  return ::testing::AssertionSuccess();
}

TEST(Reliability, TinyInputAndLongDecayLeaveNoSubnormals) {
  for (bool linear : {false, true}) {
    Host host(48000, 512);
    BusySettings(host.Plug(), linear);
    host.Plug().GetParam(kInput)->SetValue(-24);
    for (int b = 0; b < 50; ++b) host.Constant(512, b % 2 ? FLT_MIN : -FLT_MIN);
    EXPECT_TRUE(NoSubnormals(host.Engine()));
    for (int b = 0; b < 100; ++b) host.Block(512);
    for (int b = 0; b < 10 * 48000 / 512; ++b) host.Constant(512, 0.0);
    EXPECT_TRUE(NoSubnormals(host.Engine()));
  }
}

// Hostile chunks: random bytes of every kind are rejected (or accepted) without harm, and a
// rejected chunk changes nothing.
TEST(Reliability, HostileStateChunks) {
  Host host(48000, 64);
  CoralSieve& plug = host.Plug();
  reef::IByteChunk before;
  plug.SerializeState(before);
  std::mt19937 rng(5);
  auto expectUnchanged = [&] {
    reef::IByteChunk now;
    plug.SerializeState(now);
    ASSERT_EQ(now.Size(), before.Size());
    ASSERT_EQ(0, std::memcmp(now.GetData(), before.GetData(), std::size_t(now.Size())));
  };
  for (int mib = 0; mib < 3; ++mib) {
    reef::IByteChunk junk;
    std::vector<std::uint8_t> bytes(1 << 20);
    for (auto& b : bytes) b = std::uint8_t(rng());
    junk.PutBytes(bytes.data(), int(bytes.size()));
    for (int start : {0, 1, 1748, (1 << 20) - 1748, (1 << 20) - 1, int(rng() % (1 << 20))}) {
      EXPECT_EQ(plug.UnserializeState(junk, start), -1) << start;
      expectUnchanged();
    }
  }
  // Valid framing with random values, half of them valid settings with at most one bad
  // field: rejected unless everything is valid; accepted chunks re-serialize to the same bytes.
  int accepted = 0;
  for (int i = 0; i < 1000; ++i) {
    const bool mostlyValid = i % 2 == 0;
    const int bad = mostlyValid ? int(rng() % (2 * kNumParams + 40)) : -1;
    reef::IByteChunk chunk;
    chunk.PutBytes(before.GetData(), 12);
    for (int v = 0; v < 2 * kNumParams; ++v) {
      const int index = v % kNumParams;
      const ParamInfo& s = GetParamInfo(index);
      float value = std::uniform_real_distribution<float>(s.minimum, s.maximum)(rng);
      if (s.kind != ParamKind::Double) value = std::round(value);
      if (!mostlyValid || v == bad) value = HostileValue(index, rng);
      chunk.Put(&value);
    }
    const std::uint32_t recipe = rng() % (mostlyValid ? 32 : 40),
                        flag = rng() % (mostlyValid ? 2 : 3);
    chunk.Put(&recipe);
    chunk.Put(&flag);
    if (plug.UnserializeState(chunk, 0) < 0) {
      expectUnchanged();
      continue;
    }
    ++accepted;
    reef::IByteChunk again;
    plug.SerializeState(again);
    ASSERT_EQ(0, std::memcmp(again.GetData(), chunk.GetData(), std::size_t(chunk.Size())));
    ASSERT_EQ(plug.UnserializeState(before, 0), 1748);
  }
  EXPECT_GT(accepted, 0);
}

// The user-interface thread edits everything while the audio thread runs small blocks.
TEST(Reliability, EditingWhileAudioRuns) {
  Host host(48000, 32);
  CoralSieve& plug = host.Plug();
  reef::IByteChunk state;
  plug.SerializeState(state);
  std::atomic<bool> audioDone{false};
  std::thread ui([&] {
    std::mt19937 rng(3);
    for (int round = 0; round < 500 || !audioDone.load(); ++round) {
      for (int i = 0; i < kNumParams; ++i) {
        const ParamInfo& s = GetParamInfo(i);
        plug.GetParam(i)->SetValue(
            std::uniform_real_distribution<float>(s.minimum, s.maximum)(rng));
      }
      if (round % 5 == 0) plug.SwitchAB();
      if (round % 7 == 0) plug.ApplyRecipe(round % kNumRecipes);
      if (round % 11 == 0) plug.UnserializeState(state, 0);
      if (round % 13 == 0) plug.CopyToStoredSlot();
      (void)plug.FindMatchingRecipe();
    }
  });
  for (int block = 0; block < 500; ++block) {
    host.Block(32);
    DisplaySnapshot snapshot;
    plug.Engine().GetDisplaySnapshot(snapshot);
  }
  audioDone = true;
  ui.join();
}

} // namespace
