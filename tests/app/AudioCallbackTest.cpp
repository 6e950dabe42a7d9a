// The audio callback without a device: fades, splitting device buffers into 512-frame
// blocks, the FIFO for other buffer sizes, channel mapping for mono devices. The probe
// plug-in multiplies channel c by ProbePlug::kGain[c], so every expected sample is worked
// out here from the input signal, the fade factors and the FIFO delay.

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "app/StandaloneHost.h"
#include "core/CoralSieve.h"
#include "tests/app/ProbePlug.h"
#include "tests/app/TestEnvironment.h"

namespace coral {
namespace {

using test::ProbePlug;

constexpr double kRate = 48000.0;

// Distinct values per channel and frame.
double Signal(unsigned channel, unsigned frame) {
  return (channel + 1) * 0.25 + ((frame * 37 + channel * 11) % 509) / 1024.0;
}

// A device that calls the host with `frames` frames per callback and keeps the whole
// output timeline.
struct Device {
  unsigned inputs = 2;
  unsigned outputs = 2;
  unsigned frames = 512;
  unsigned elapsed = 0;
  std::vector<std::vector<double>> out = std::vector<std::vector<double>>(2);

  void Run(StandaloneHost& host, unsigned callbacks) {
    std::vector<double> inBuffer(inputs * frames);
    std::vector<double> outBuffer(outputs * frames);
    for (unsigned k = 0; k < callbacks; ++k) {
      for (unsigned c = 0; c < inputs; ++c) {
        for (unsigned i = 0; i < frames; ++i) inBuffer[c * frames + i] = Signal(c, elapsed + i);
      }
      outBuffer.assign(outBuffer.size(), 99.0); // whatever the device left there
      StandaloneHost::AudioCallback(outBuffer.data(), inputs ? inBuffer.data() : nullptr, frames,
                                    0.0, 0, &host);
      for (unsigned c = 0; c < outputs; ++c) {
        out[c].insert(out[c].end(), outBuffer.begin() + c * frames,
                      outBuffer.begin() + (c + 1) * frames);
      }
      elapsed += frames;
    }
  }
};

// The input as the first callback's fade-in leaves it.
double FadedIn(unsigned channel, unsigned frame, unsigned bufferFrames) {
  const double x = Signal(channel, frame);
  return frame < bufferFrames ? x * (double(frame) / double(bufferFrames)) : x;
}

StandaloneHost& MakeProbeHost() {
  return StandaloneHost::Create(
      [](const iplug::InstanceInfo& info) { return std::make_unique<ProbePlug>(info); });
}

ProbePlug& Probe(StandaloneHost& host) {
  return static_cast<ProbePlug&>(host.Plug());
}

class AudioCallbackTest : public ::testing::Test {
protected:
  void TearDown() override { StandaloneHost::Destroy(); }
};

TEST_F(AudioCallbackTest, FadeInFirstCallbackAndFadeOutLastOne) {
  StandaloneHost& host = MakeProbeHost();
  host.PrepareStream(2, 2, 512, kRate);
  EXPECT_EQ(Probe(host).resets.load(), 1);
  Device device;
  device.Run(host, 3);

  const double n = 512.0;
  for (unsigned c = 0; c < 2; ++c) {
    for (unsigned t = 0; t < 3 * 512; ++t) {
      const double g = ProbePlug::kGain[c];
      // First callback: the input is faded in, the plug-in's output is faded in again.
      const double expected = t < 512 ? (g * (Signal(c, t) * (t / n))) * (t / n) : g * Signal(c, t);
      ASSERT_EQ(device.out[c][t], expected) << "channel " << c << " frame " << t;
    }
  }
  EXPECT_EQ(device.out[0][0], 0.0);

  host.BeginFadeOut();
  EXPECT_FALSE(host.IsFadeOutDone());
  device.Run(host, 1);
  EXPECT_TRUE(host.IsFadeOutDone());
  for (unsigned c = 0; c < 2; ++c) {
    for (unsigned i = 0; i < 512; ++i) {
      const double f = (n - 1.0 - i) / n;
      const double expected = (ProbePlug::kGain[c] * (Signal(c, 1536 + i) * f)) * f;
      ASSERT_EQ(device.out[c][1536 + i], expected) << "channel " << c << " frame " << i;
    }
    EXPECT_EQ(device.out[c][1536 + 511], 0.0);
  }

  // After the faded-out callback: silence, and the plug-in is no longer run.
  const int blocks = Probe(host).blocks.load();
  device.Run(host, 2);
  for (unsigned c = 0; c < 2; ++c) {
    for (unsigned t = 2048; t < 3072; ++t) ASSERT_EQ(device.out[c][t], 0.0);
  }
  EXPECT_EQ(Probe(host).blocks.load(), blocks);

  // A new stream starts with a fade-in again.
  host.PrepareStream(2, 2, 512, kRate);
  Device next;
  next.Run(host, 1);
  EXPECT_EQ(next.out[0][0], 0.0);
  EXPECT_EQ(next.out[1][256], (ProbePlug::kGain[1] * (Signal(1, 256) * 0.5)) * 0.5);
}

TEST_F(AudioCallbackTest, WholeMultiplesRunInPlaceAsConsecutiveBlocks) {
  for (const unsigned frames : {512u, 1024u, 2048u}) {
    StandaloneHost& host = MakeProbeHost();
    host.PrepareStream(2, 2, frames, kRate);
    Device device;
    device.frames = frames;
    device.Run(host, 4);
    const ProbePlug& probe = Probe(host);
    EXPECT_EQ(probe.blocks.load(), int(4 * frames / 512)) << frames;
    EXPECT_EQ(probe.wrongSizeBlocks.load(), 0);
    EXPECT_EQ(probe.badAuxBlocks.load(), 0);
    EXPECT_EQ(host.SamplesElapsed(), 4 * frames);
    // No delay: after the first callback the output is the input times the gain.
    for (unsigned c = 0; c < 2; ++c) {
      for (unsigned t = frames; t < 4 * frames; ++t) {
        ASSERT_EQ(device.out[c][t], ProbePlug::kGain[c] * Signal(c, t)) << frames << " " << t;
      }
    }
  }

  // A device that leaves the size it was opened with gets silence, not a partial block.
  StandaloneHost& host = MakeProbeHost();
  host.PrepareStream(2, 2, 512, kRate);
  Device device;
  device.Run(host, 1);
  device.frames = 100;
  device.Run(host, 1);
  EXPECT_EQ(Probe(host).blocks.load(), 1);
  for (unsigned t = 512; t < 612; ++t) ASSERT_EQ(device.out[0][t], 0.0);
}

class FifoTest : public AudioCallbackTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(FifoTest, OtherSizesDeliver512FrameBlocksDelayedBy512Frames) {
  const unsigned frames = GetParam();
  StandaloneHost& host = MakeProbeHost();
  host.PrepareStream(2, 2, frames, kRate);
  Device device;
  device.frames = frames;
  const unsigned callbacks = (6 * 512 + frames - 1) / frames + 1;
  device.Run(host, callbacks);

  const unsigned total = callbacks * frames;
  const ProbePlug& probe = Probe(host);
  EXPECT_EQ(probe.blocks.load(), int(total / 512));
  EXPECT_EQ(probe.wrongSizeBlocks.load(), 0);
  EXPECT_EQ(probe.badAuxBlocks.load(), 0);
  EXPECT_EQ(StandaloneHost::kFifoDelayFrames, 512u);
  for (unsigned c = 0; c < 2; ++c) {
    for (unsigned t = 0; t < total; ++t) {
      // The first callback's output fade reaches past the FIFO delay only when the buffer
      // is longer than 512 frames.
      double expected = t < 512 ? 0.0 : ProbePlug::kGain[c] * FadedIn(c, t - 512, frames);
      if (t < frames) expected *= double(t) / double(frames);
      ASSERT_EQ(device.out[c][t], expected) << "buffer " << frames << " frame " << t;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(DeviceBuffers, FifoTest, ::testing::Values(64u, 96u, 256u, 700u));

TEST_F(AudioCallbackTest, MonoDevicesFeedAndReceiveThePair) {
  StandaloneHost& host = MakeProbeHost();
  host.PrepareStream(1, 1, 512, kRate);
  Device device;
  device.inputs = 1;
  device.outputs = 1;
  device.Run(host, 2);
  const ProbePlug& probe = Probe(host);
  EXPECT_EQ(probe.inputWasNull[0].load(), 0);
  EXPECT_EQ(probe.inputWasNull[1].load(), 1);  // the plug-in copies its left input
  EXPECT_EQ(probe.outputWasNull[1].load(), 1); // the plug-in mixes down into its left output
  EXPECT_EQ(probe.badAuxBlocks.load(), 0);
  for (unsigned t = 512; t < 1024; ++t) {
    ASSERT_EQ(device.out[0][t], ProbePlug::kGain[0] * Signal(0, t));
  }

  // The same through the FIFO.
  host.PrepareStream(1, 1, 128, kRate);
  Device fifo;
  fifo.inputs = 1;
  fifo.outputs = 1;
  fifo.frames = 128;
  fifo.Run(host, 12);
  EXPECT_EQ(probe.inputWasNull[1].load(), 1);
  EXPECT_EQ(probe.outputWasNull[1].load(), 1);
  for (unsigned t = 512; t < 1536; ++t) {
    ASSERT_EQ(fifo.out[0][t], ProbePlug::kGain[0] * FadedIn(0, t - 512, 128));
  }
}

TEST_F(AudioCallbackTest, ProductPluginThroughFifoEqualsItsOwnBlocksDelayed) {
  const auto setUp = [](iplug::IPlugAPP& plug) {
    plug.GetParam(kOutput)->SetValue(-4.5);
    plug.GetParam(BandParamIndex(2, kEnabled))->SetValue(1);
    plug.GetParam(BandParamIndex(2, kGain))->SetValue(9.0);
    plug.GetParam(BandParamIndex(2, kFrequency))->SetValue(3000.0);
  };
  StandaloneHost& host = StandaloneHost::Create();
  setUp(host.Plug());
  const unsigned frames = 96;
  host.PrepareStream(2, 2, frames, kRate);
  Device device;
  device.frames = frames;
  device.Run(host, 80); // 7680 frames: the plug-in's latency plus the FIFO and more

  CoralSieve reference{iplug::InstanceInfo{}};
  setUp(reference);
  reference.SetSampleRate(kRate);
  reference.OnReset();
  const unsigned total = 80 * frames;
  std::vector<std::vector<double>> in(4, std::vector<double>(total, 0.0));
  std::vector<std::vector<double>> out(2, std::vector<double>(total, 0.0));
  for (unsigned c = 0; c < 2; ++c) {
    for (unsigned t = 0; t < total; ++t) in[c][t] = FadedIn(c, t, frames);
  }
  for (unsigned start = 0; start + 512 <= total; start += 512) {
    iplug::sample* inputs[4] = {&in[0][start], &in[1][start], &in[2][start], &in[3][start]};
    iplug::sample* outputs[2] = {&out[0][start], &out[1][start]};
    reference.ProcessBlock(inputs, outputs, 512);
  }

  double loudest = 0.0;
  for (unsigned c = 0; c < 2; ++c) {
    for (unsigned t = 512; t < total; ++t) {
      ASSERT_EQ(device.out[c][t], out[c][t - 512]) << "channel " << c << " frame " << t;
      loudest = std::max(loudest, std::abs(device.out[c][t]));
    }
  }
  EXPECT_GT(loudest, 0.1); // the comparison covered real signal, not only the latency
}

} // namespace
} // namespace coral
