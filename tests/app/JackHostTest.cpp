// The host against a real audio server: a private JACK server with the dummy back end,
// started and stopped by each test, and JACK clients of the test's own that play a signal
// into the host's input ports and record its output ports.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/StandaloneHost.h"
#include "core/CoralSieve.h"
#include "tests/app/JackHarness.h"
#include "tests/app/ProbePlug.h"
#include "tests/app/TestEnvironment.h"

namespace coral {
namespace {

using namespace std::chrono_literals;
using test::JackServer;
using test::ProbePlug;
using test::TestClient;

constexpr int kLatency = 4352;
constexpr int kBurstFrames = 6000;
constexpr int kWaitMs = 60000; // only a stalled server comes near this

// A burst that begins with a lone impulse, so the first non-silent output frame shows the
// delay, followed by noise; the right channel differs from the left.
std::vector<std::vector<float>> Burst() {
  std::mt19937 random(20240611);
  std::uniform_real_distribution<float> noise(-0.25f, 0.25f);
  std::vector<std::vector<float>> burst(2, std::vector<float>(kBurstFrames, 0.f));
  burst[0][0] = 0.5f;
  burst[1][0] = -0.375f;
  for (int t = 8; t < kBurstFrames; ++t) {
    burst[0][t] = noise(random);
    burst[1][t] = noise(random);
  }
  return burst;
}

int FirstSound(const std::vector<float>& recorded) {
  for (std::size_t k = 0; k < recorded.size(); ++k) {
    if (std::abs(recorded[k]) > 1e-4f) return static_cast<int>(k);
  }
  return -1;
}

StandaloneHost& MakeProbeHost(bool midiOut = false) {
  return StandaloneHost::Create([midiOut](const iplug::InstanceInfo& info) {
    return std::make_unique<ProbePlug>(info, midiOut);
  });
}

template <typename Condition>
bool WaitFor(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

class JackHostTest : public ::testing::Test {
protected:
  void SetUp() override { test::ClearSettings(); }
  // The host goes before the server and the test clients.
  void TearDown() override { StandaloneHost::Destroy(); }

  // Starts a server and the host on it, the host's stream included.
  void StartHost(unsigned period, StandaloneHost& host) {
    ASSERT_TRUE(server.Start(period)) << "jackd did not start";
    ASSERT_TRUE(host.Init());
    ASSERT_TRUE(host.RestartAudio());
    ASSERT_TRUE(host.IsStreamRunning());
  }

  // Source → host → sink; plays the burst a few cycles ahead and records long enough for
  // `delayBound` frames of delay. Returns false when the server stopped delivering cycles.
  bool PlayThroughHost(int delayBound, std::vector<std::vector<float>>& recorded) {
    TestClient source("coral-source", 2, 0, false, false);
    TestClient sink("coral-sink", 0, 2, false, false);
    if (!source.IsOpen() || !sink.IsOpen()) return false;
    for (int c = 1; c <= 2; ++c) {
      const std::string n = std::to_string(c - 1); // the stream's ports count from 0
      if (!source.Connect(source.AudioOutput(c), "RtApiJack:inport " + n) ||
          !sink.Connect("RtApiJack:outport " + n, sink.AudioInput(c))) {
        return false;
      }
    }
    const std::uint32_t start = source.FrameTime() + 8 * 1024;
    sink.Record(start, kBurstFrames + delayBound);
    source.Play(Burst(), start);
    if (!sink.WaitForRecording(kWaitMs)) return false;
    recorded = {sink.Recorded(0), sink.Recorded(1)};
    return true;
  }

  JackServer server;
};

TEST_F(JackHostTest, OpensJackAndPassesTheEqualisedSignalDelayed) {
  StandaloneHost& host = StandaloneHost::Create();
  const auto setUp = [](iplug::IPlugAPP& plug) {
    plug.GetParam(kOutput)->SetValue(-6.0);
    plug.GetParam(BandParamIndex(0, kEnabled))->SetValue(1);
    plug.GetParam(BandParamIndex(0, kGain))->SetValue(8.0);
    plug.GetParam(BandParamIndex(0, kFrequency))->SetValue(2500.0);
  };
  setUp(host.Plug());
  StartHost(512, host);

  // A first run on JACK: its one device, at the server's rate, written back.
  const std::vector<std::string> drivers = StandaloneHost::DriverNames();
  ASSERT_LT(host.Current().driverType, drivers.size());
  EXPECT_EQ(drivers[host.Current().driverType], "Jack");
  EXPECT_EQ(host.Current().audioInputDevice, "system");
  EXPECT_EQ(host.Current().audioOutputDevice, "system");
  EXPECT_EQ(host.Current().sampleRate, 48000u);
  EXPECT_EQ(host.BufferFrames(), 512u);
  EXPECT_TRUE(host.Active().SameAs(host.Current()));
  const std::string saved = test::ReadFile(test::SettingsFile());
  EXPECT_NE(saved.find("indev=system\noutdev=system\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("sr=48000\n"), std::string::npos);

  std::vector<std::vector<float>> recorded;
  ASSERT_TRUE(PlayThroughHost(kLatency + 4 * 512, recorded));

  // The product's output for the burst, computed offline in 512-frame blocks.
  CoralSieve reference{iplug::InstanceInfo{}};
  setUp(reference);
  reference.SetSampleRate(48000.0);
  reference.OnReset();
  const std::vector<std::vector<float>> burst = Burst();
  const std::size_t length = recorded[0].size();
  std::vector<std::vector<double>> in(4, std::vector<double>(length + 512, 0.0));
  std::vector<std::vector<double>> out(2, std::vector<double>(length + 512, 0.0));
  for (int c = 0; c < 2; ++c) std::copy(burst[c].begin(), burst[c].end(), in[c].begin());
  for (std::size_t start = 0; start < length; start += 512) {
    iplug::sample* inputs[4] = {&in[0][start], &in[1][start], &in[2][start], &in[3][start]};
    iplug::sample* outputs[2] = {&out[0][start], &out[1][start]};
    reference.ProcessBlock(inputs, outputs, 512);
  }

  // The device layer hands each callback the input of the previous cycle: one period of
  // fixed buffering on top of the plug-in's latency.
  const int serverFrames = 512;
  const int delay = FirstSound(recorded[0]);
  EXPECT_EQ(delay, kLatency + serverFrames);
  EXPECT_EQ(FirstSound(recorded[1]), delay);
  double loudest = 0.0;
  for (int c = 0; c < 2; ++c) {
    for (std::size_t k = serverFrames; k < length; ++k) {
      ASSERT_NEAR(recorded[c][k], out[c][k - serverFrames], 1e-6)
          << "channel " << c << " frame " << k;
      loudest = std::max(loudest, std::abs(out[c][k - serverFrames]));
    }
  }
  EXPECT_GT(loudest, 0.2);
}

class JackBufferTest : public JackHostTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(JackBufferTest, EveryServerPeriodDelivers512FrameBlocks) {
  const unsigned period = GetParam();
  StandaloneHost& host = MakeProbeHost();
  StartHost(period, host);
  EXPECT_EQ(host.BufferFrames(), period);

  std::vector<std::vector<float>> recorded;
  ASSERT_TRUE(PlayThroughHost(4 * 1024, recorded));
  const ProbePlug& probe = static_cast<ProbePlug&>(host.Plug());
  EXPECT_GT(probe.blocks.load(), 0);
  EXPECT_EQ(probe.wrongSizeBlocks.load(), 0);
  EXPECT_EQ(probe.badAuxBlocks.load(), 0);
  EXPECT_EQ(host.SamplesElapsed() % 512, 0u);

  // One period of the device layer's buffering, plus the FIFO for periods that are not a
  // whole multiple of 512 frames.
  const int fifo = period % 512 == 0 ? 0 : int(StandaloneHost::kFifoDelayFrames);
  const int delay = FirstSound(recorded[0]);
  ASSERT_EQ(delay, int(period) + fifo);
  const std::vector<std::vector<float>> burst = Burst();
  for (int c = 0; c < 2; ++c) {
    for (int t = 0; t < kBurstFrames; ++t) {
      ASSERT_EQ(recorded[c][delay + t], float(ProbePlug::kGain[c] * burst[c][t]))
          << "period " << period << " channel " << c << " frame " << t;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Periods, JackBufferTest, ::testing::Values(256u, 512u, 1024u));

TEST_F(JackHostTest, ServerStopMidStreamLeavesHostRunningAndRestartRecovers) {
  StandaloneHost& host = MakeProbeHost();
  struct Reporter final : MessageReporter {
    void ShowError(const std::string& text, const std::string&) override { last = text; }
    std::string last;
  } reporter;
  host.SetReporter(&reporter);
  StartHost(512, host);
  const std::uint32_t before = host.CallbacksServed();
  ASSERT_TRUE(WaitFor([&] { return host.CallbacksServed() > before + 4; }));

  server.Stop();
  ASSERT_TRUE(WaitFor([&] { return !host.IsStreamRunning(); }));

  // Without the server nothing can be found: reported, no stream.
  EXPECT_FALSE(host.RestartAudio());
  EXPECT_EQ(reporter.last, "Please check the audio settings");
  EXPECT_FALSE(host.IsStreamRunning());
  EXPECT_EQ(host.Current().audioInputDevice, "system");

  ASSERT_TRUE(server.Start(512));
  ASSERT_TRUE(host.RestartAudio());
  EXPECT_TRUE(host.IsStreamRunning());
  // The MIDI clients of the stopped server were replaced by clients of the new one.
  EXPECT_TRUE(host.HasMidiInput());
  EXPECT_TRUE(host.HasMidiOutput());
  EXPECT_EQ(host.MidiInputNames().front(), "off");
  const std::uint32_t resumed = host.CallbacksServed();
  ASSERT_TRUE(WaitFor([&] { return host.CallbacksServed() > resumed + 4; }));
  ASSERT_TRUE(WaitFor([&] { return host.SamplesElapsed() >= 8 * 512; }));

  // A stop while the stream runs, then a normal close.
  host.CloseAudio();
  EXPECT_FALSE(host.IsStreamRunning());
  EXPECT_TRUE(host.IsFadeOutDone());
}

TEST_F(JackHostTest, MidiPortsThroughJackMidi) {
  ASSERT_TRUE(server.Start(512));
  TestClient peer("coral-midi", 0, 0, true, true);
  ASSERT_TRUE(peer.IsOpen());

  StandaloneHost& host = MakeProbeHost(true);
  ASSERT_TRUE(host.Init());
  ASSERT_TRUE(host.RestartAudio());
  ASSERT_TRUE(host.HasMidiInput());
  ASSERT_TRUE(host.HasMidiOutput());
  const std::vector<std::string>& inputs = host.MidiInputNames();
  const std::vector<std::string>& outputs = host.MidiOutputNames();
  ASSERT_FALSE(inputs.empty());
  EXPECT_EQ(inputs[0], "off");
  EXPECT_EQ(outputs[0], "off");
  const int inputPort = host.FindMidiPort(iplug::kInput, peer.MidiOutput());
  const int outputPort = host.FindMidiPort(iplug::kOutput, peer.MidiInput());
  ASSERT_GT(inputPort, 0);
  ASSERT_GT(outputPort, 0);
  ASSERT_TRUE(host.SelectMidiPort(iplug::kInput, peer.MidiOutput()));
  ASSERT_TRUE(host.SelectMidiPort(iplug::kOutput, peer.MidiInput()));

  std::vector<std::uint8_t> accepted(512, 0x33);
  accepted.front() = 0xF0;
  accepted.back() = 0xF7;
  std::vector<std::uint8_t> tooLong(513, 0x44);
  tooLong.front() = 0xF0;
  tooLong.back() = 0xF7;
  peer.SendMidi({{0x90, 61, 101}, accepted, tooLong, {0x80, 61, 0}});

  ProbePlug& probe = static_cast<ProbePlug&>(host.Plug());
  std::vector<iplug::IMidiMsg> shortMessages;
  std::vector<iplug::ISysExRecord> records;
  const auto drain = [&] {
    iplug::IMidiMsg msg;
    while (probe.PopMidiMsgForEditor(msg)) shortMessages.push_back(msg);
    iplug::ISysExRecord record;
    while (probe.PopSysExForEditor(record)) records.push_back(record);
  };
  ASSERT_TRUE(WaitFor([&] {
    drain();
    return shortMessages.size() >= 2;
  }));
  // Two more blocks, so that anything queued with the last message has been handed on.
  const std::uint32_t seen = host.SamplesElapsed();
  ASSERT_TRUE(WaitFor([&] { return host.SamplesElapsed() >= seen + 1024; }));
  drain();

  ASSERT_EQ(shortMessages.size(), 2u);
  EXPECT_EQ(shortMessages[0].status, 0x90);
  EXPECT_EQ(shortMessages[0].data1, 61);
  EXPECT_EQ(shortMessages[0].data2, 101);
  EXPECT_EQ(shortMessages[1].status, 0x80);
  ASSERT_EQ(records.size(), 1u);
  ASSERT_EQ(records[0].size, 512);
  EXPECT_TRUE(std::equal(accepted.begin(), accepted.end(), records[0].bytes.begin()));
  EXPECT_EQ(probe.sysExCount.load(), 1);

  // The plug-in's MIDI output reaches the selected port.
  ASSERT_TRUE(probe.SendMidiMsg({0, 0xB0, 7, 99}));
  const std::uint8_t sysEx[4] = {0xF0, 0x7D, 0x01, 0xF7};
  ASSERT_TRUE(probe.SendSysEx({0, sysEx, 4}));
  ASSERT_TRUE(WaitFor([&] { return peer.MidiReceivedCount() >= 2; }));
  EXPECT_EQ(peer.MidiReceived(0), (std::vector<std::uint8_t>{0xB0, 7, 99}));
  EXPECT_EQ(peer.MidiReceived(1), (std::vector<std::uint8_t>{0xF0, 0x7D, 0x01, 0xF7}));

  // "off" closes the port: nothing more arrives from the peer.
  ASSERT_TRUE(host.SelectMidiPort(iplug::kInput, "off"));
  peer.SendMidi({{0x90, 62, 1}});
  ASSERT_TRUE(WaitFor([&] { return peer.MidiSent(); }));
  const std::uint32_t after = host.SamplesElapsed();
  ASSERT_TRUE(WaitFor([&] { return host.SamplesElapsed() >= after + 1024; }));
  drain();
  EXPECT_EQ(shortMessages.size(), 2u);
}

} // namespace
} // namespace coral
