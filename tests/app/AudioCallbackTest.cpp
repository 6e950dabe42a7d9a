// The audio callback without a device, under the allocation trap. The probe plug-in multiplies
// channel c by kGain[c], so every expected sample is worked out here from the input signal, the
// fade factors and the FIFO delay.

#include <vector>

#include <gtest/gtest.h>

#include "tests/app/ProbeHost.h"
#include "tests/support/AllocationTrap.h"

namespace coral {
namespace {

using test::ProbePlug;
using Timeline = std::vector<std::vector<double>>;

// Distinct values per channel and frame.
double Signal(unsigned c, unsigned t) {
  return (c + 1) * 0.25 + ((t * 37 + c * 11) % 509) / 1024.0;
}

// A device calling the host with `callbacks` buffers of `frames` frames on `channels` channels,
// with MIDI arriving during the second and the fade-out asked for before the last but one;
// the output of every channel, in full. Counts what the callbacks allocate.
Timeline RunDevice(StandaloneHost& host, unsigned channels, unsigned frames, unsigned callbacks) {
  std::vector<unsigned char> note = {0x90, 64, 100};
  std::vector<unsigned char> sysEx(300, 0x22);
  sysEx.front() = 0xF0;
  sysEx.back() = 0xF7;
  std::vector<double> in(channels * frames);
  std::vector<double> out(channels * frames);
  Timeline timeline(channels);
  for (unsigned k = 0; k < callbacks; ++k) {
    for (unsigned i = 0; i < in.size(); ++i) in[i] = Signal(i / frames, k * frames + i % frames);
    out.assign(out.size(), 99.0); // whatever the device left there
    if (k + 2 == callbacks) host.BeginFadeOut();
    {
      test::RealtimeScope scope;
      if (k == 1) StandaloneHost::MidiInputCallback(0.0, &note, &host);
      if (k == 1) StandaloneHost::MidiInputCallback(0.0, &sysEx, &host);
      StandaloneHost::AudioCallback(out.data(), in.data(), frames, 0.0, 0, &host);
    }
    for (unsigned c = 0; c < channels; ++c) {
      timeline[c].insert(timeline[c].end(), out.begin() + c * frames,
                         out.begin() + (c + 1) * frames);
    }
  }
  return timeline;
}

TEST(AudioCallbackTest, EveryBufferSizeFadesInRuns512FrameBlocksFadesOutAndAllocatesNothing) {
  StandaloneHost& host = ProbePlug::CreateHost();
  ProbePlug& probe = ProbePlug::Of(host);
  // Whole multiples of 512 run in place; other sizes (longer ones too, and a mono device) go
  // through the FIFO and come out 512 frames later. Each row is a new stream on the same host.
  const struct {
    unsigned frames, channels;
  } rows[] = {{512, 2}, {1024, 2}, {2048, 2}, {64, 2}, {96, 2}, {256, 2}, {700, 2}, {128, 1}};
  test::ResetTrappedCalls();
  for (const auto& row : rows) {
    const unsigned n = row.frames;
    host.PrepareStream(row.channels, row.channels, n, 48000.0);
    const int blocks = probe.blocks.load();
    const unsigned callbacks = (6 * 512 + n - 1) / n + 2;
    const Timeline out = RunDevice(host, row.channels, n, callbacks);
    // The first callback fades in from 0 and the faded-out one down to 0 over its length, on
    // the way in and again on the way out; then the device gets silence.
    const unsigned served = (callbacks - 1) * n;
    const auto fade = [&](unsigned t) {
      return t < n ? double(t) / n : t + n >= served ? (served - 1.0 - t) / n : 1.0;
    };
    const unsigned delay = n % 512 == 0 ? 0 : 512;
    EXPECT_EQ(probe.blocks.load() - blocks, int(served / 512)) << n;
    for (unsigned c = 0; c < row.channels; ++c) {
      for (unsigned t = 0; t < callbacks * n; ++t) {
        const unsigned s = t - delay;
        const double expected = t >= served || t < delay
                                    ? 0.0
                                    : ProbePlug::kGain[c] * (Signal(c, s) * fade(s)) * fade(t);
        ASSERT_EQ(out[c][t], expected) << "buffer " << n << " channel " << c << " frame " << t;
      }
    }
  }
  EXPECT_EQ(test::TrappedCalls(), 0u);
  EXPECT_EQ(probe.badBlocks.load(), 0);

  // A device that leaves the size it was opened with gets silence, not a partial block.
  host.PrepareStream(2, 2, 512, 48000.0);
  const int blocks = probe.blocks.load();
  EXPECT_EQ(RunDevice(host, 2, 100, 3)[0], std::vector<double>(300, 0.0));
  EXPECT_EQ(probe.blocks.load(), blocks);
  StandaloneHost::Destroy();
}

} // namespace
} // namespace coral
