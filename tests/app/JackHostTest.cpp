// The host against a real audio server: a JACK server of the test's own and JACK clients of the
// test's own that play a burst into the host's input ports, record its output ports and send
// MIDI to its MIDI input.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>

#include <gtest/gtest.h>
#include <jack/jack.h>

#include "core/CoralSieve.h"
#include "tests/app/ProbeHost.h"
#include "tests/support/JackSession.h"

namespace coral {
namespace {

using test::Bytes;
using test::Channels;
using test::JackPeer;
using test::WaitFor;
constexpr int kBurstFrames = 6000;

// A lone impulse, so that the first sound shows the delay, then noise; the channels differ.
Channels Burst() {
  std::mt19937 random(20240611);
  std::uniform_real_distribution<float> noise(-0.25f, 0.25f);
  Channels burst(2, std::vector<float>(kBurstFrames, 0.f));
  burst[0][0] = 0.5f;
  burst[1][0] = -0.375f;
  for (int t = 8; t < kBurstFrames; ++t) burst[0][t] = noise(random), burst[1][t] = noise(random);
  return burst;
}

// Plays the burst through the host and expects `plug`'s own output for it (processed offline in
// 512-frame blocks) delayed by `delay` frames, the first sound `firstSound` frames after the
// burst starts, and `tail` frames beyond the burst.
void ExpectDelayedOutput(JackPeer& peer, reef::IPluginApp& plug, int delay, int firstSound,
                         int tail) {
  const Channels burst = Burst();
  const Channels recorded =
      peer.PlayThrough(burst, kBurstFrames + tail, {"RtApiJack:inport 0", "RtApiJack:inport 1"},
                       {"RtApiJack:outport 0", "RtApiJack:outport 1"});
  ASSERT_EQ(recorded.size(), 2u) << "the server stopped";
  const std::size_t length = recorded[0].size();
  std::vector<std::vector<double>> in(4, std::vector<double>(length + 512, 0.0));
  std::vector<std::vector<double>> out(2, std::vector<double>(length + 512, 0.0));
  for (int c = 0; c < 2; ++c) std::copy(burst[c].begin(), burst[c].end(), in[c].begin());
  plug.SetSampleRate(48000.0);
  plug.OnReset();
  for (std::size_t start = 0; start < length; start += 512) {
    reef::sample* inputs[4] = {&in[0][start], &in[1][start], &in[2][start], &in[3][start]};
    reef::sample* outputs[2] = {&out[0][start], &out[1][start]};
    plug.ProcessBlock(inputs, outputs, 512);
  }
  for (int c = 0; c < 2; ++c) {
    const auto first =
        std::find_if(recorded[c].begin(), recorded[c].end(), [](float x) { return x != 0.f; });
    EXPECT_EQ(first - recorded[c].begin(), firstSound) << "channel " << c;
    for (std::size_t k = delay; k < length; ++k) {
      ASSERT_NEAR(recorded[c][k], out[c][k - delay], 1e-6) << "channel " << c << " frame " << k;
    }
  }
}

struct LastMessage final : MessageReporter {
  void ShowError(const std::string& text, const std::string&) override { last = text; }
  void ShowAudioStatus(const std::string& text, bool problem) override {
    status = text;
    statusIsProblem = problem;
  }
  std::string last;
  std::string status;
  bool statusIsProblem = false;
};

class JackHostTest : public ::testing::Test {
protected:
  void SetUp() override { test::gConfigHome.ClearSettings(); }
  // The host goes first, then the test's own clients, then the server.
  void TearDown() override {
    StandaloneHost::Destroy();
    peer.reset();
    server.Stop();
  }

  test::JackTestServer server;
  std::optional<JackPeer> peer;
  LastMessage reporter;
};

TEST_F(JackHostTest, SignalEveryPeriodMidiAndAServerRestart) {
  ASSERT_EQ(test::PrivateShmError(), "");
  ASSERT_TRUE(server.Start(512)) << "jackd did not start";
  peer.emplace();
  ASSERT_TRUE(peer->IsOpen());

  // A first run finds JACK's one device at the server's rate and saves it. The product's output
  // comes out after its latency of 4352 frames plus the one period the device layer buffers
  // (each callback gets the input of the previous cycle).
  StandaloneHost& product = StandaloneHost::Create();
  CoralSieve reference{reef::InstanceInfo{}};
  for (reef::IPluginApp* plug : {&product.Plug(), static_cast<reef::IPluginApp*>(&reference)}) {
    plug->GetParam(kOutput)->SetValue(-6.0);
    plug->GetParam(BandParamIndex(0, kEnabled))->SetValue(1);
    plug->GetParam(BandParamIndex(0, kGain))->SetValue(8.0);
    plug->GetParam(BandParamIndex(0, kFrequency))->SetValue(2500.0);
  }
  ASSERT_TRUE(product.Init());
  ASSERT_TRUE(product.RestartAudio());
  EXPECT_EQ(StandaloneHost::DriverNames().at(product.Current().driverType), "Jack");
  EXPECT_EQ(product.BufferFrames(), 512u);
  const std::string saved = test::gConfigHome.ReadSettingsFile();
  EXPECT_NE(saved.find("indev=system\noutdev=system\nin1=1\nin2=2\nout1=1\nout2=2\nbuffer=512\n"
                       "sr=48000\n"),
            std::string::npos)
      << saved;
  ExpectDelayedOutput(*peer, reference, 512, 4352 + 512, 4352 + 2048);

  // Every period gives the plug-in 512-frame blocks, through the FIFO (512 frames more) when
  // the period is not a whole multiple of 512.
  StandaloneHost& host = test::ProbePlug::CreateHost();
  ASSERT_TRUE(host.Init());
  for (const int period : {256, 1024, 512}) {
    host.CloseAudio();
    ASSERT_EQ(jack_set_buffer_size(peer->Client(), period), 0);
    ASSERT_TRUE(host.RestartAudio());
    EXPECT_EQ(host.BufferFrames(), unsigned(period));
    test::ProbePlug offline{reef::InstanceInfo{}};
    const int delay = period + (period % 512 ? 512 : 0);
    ExpectDelayedOutput(*peer, offline, delay, delay, 4096);
  }
  test::ProbePlug& probe = test::ProbePlug::Of(host);
  EXPECT_EQ(probe.badBlocks.load(), 0);

  // JACK MIDI ports are listed after "off" and open; 1 to 3 bytes reach the plug-in as short
  // messages, 4 to 512 bytes as system-exclusive records, longer ones are dropped.
  ASSERT_EQ(host.MidiInputNames().at(0), "off");
  ASSERT_GT(host.FindMidiPort(reef::kInput, "coral-source:midi_out"), 0);
  ASSERT_GT(host.FindMidiPort(reef::kOutput, "coral-sink:midi_in"), 0);
  ASSERT_TRUE(host.SelectMidiPort(reef::kInput, "coral-source:midi_out"));
  ASSERT_TRUE(host.SelectMidiPort(reef::kOutput, "coral-sink:midi_in"));
  const auto sysEx = [](std::size_t n) {
    Bytes message(n, 0x33);
    message.front() = 0xF0;
    message.back() = 0xF7;
    return message;
  };
  peer->Send({{0x90, 61, 101}, {0xC3, 7}, {0xFA}, sysEx(4), sysEx(512), sysEx(513), {0x80, 61, 0}});
  std::vector<Bytes> shorts;
  std::vector<Bytes> records;
  const auto drain = [&] {
    reef::IMidiMsg m;
    while (probe.PopMidiMsgForEditor(m)) shorts.push_back({m.status, m.data1, m.data2});
    reef::ISysExRecord r;
    while (probe.PopSysExForEditor(r)) records.emplace_back(r.bytes.data(), &r.bytes[r.size]);
    return shorts.size();
  };
  ASSERT_TRUE(WaitFor([&] { return drain() >= 4; }));
  const std::uint32_t seen = host.SamplesElapsed(); // two more blocks: nothing else follows
  ASSERT_TRUE(WaitFor([&] { return host.SamplesElapsed() >= seen + 1024; }));
  drain();
  EXPECT_EQ(shorts,
            (std::vector<Bytes>{{0x90, 61, 101}, {0xC3, 7, 0}, {0xFA, 0, 0}, {0x80, 61, 0}}));
  EXPECT_EQ(records, (std::vector<Bytes>{sysEx(4), sysEx(512)}));

  // The server stops mid-stream: the host keeps going, reports that no device can be found,
  // and recovers once a server runs again, with MIDI clients of the new server. The test's own
  // clients go first: libjack cannot close them after a client of a new server opened.
  host.SetReporter(&reporter);
  peer.reset();
  server.Stop();
  ASSERT_TRUE(WaitFor([&] { return !host.IsStreamRunning(); }));
  EXPECT_FALSE(host.RestartAudio());
  EXPECT_EQ(reporter.last, "Please check the audio settings");
  ASSERT_TRUE(server.Start(512));
  ASSERT_TRUE(host.RestartAudio());
  EXPECT_TRUE(host.HasMidiInput() && host.HasMidiOutput());
  const std::uint32_t served = host.CallbacksServed();
  ASSERT_TRUE(WaitFor([&] { return host.CallbacksServed() > served + 4; }));
  host.CloseAudio();
  EXPECT_TRUE(host.IsFadeOutDone());
}

// The application's audio watch, called as its window does: every fault is told, and the
// host follows the JACK server wherever it goes.
TEST_F(JackHostTest, FaultsAreToldAndRecoveredFrom) {
  // Keeps watching until `done`, for at most 10 s.
  const auto watchUntil = [](StandaloneHost& host, const auto& done) {
    return WaitFor([&] {
      host.WatchAudio();
      return done();
    });
  };
  const auto flows = [](StandaloneHost& host) {
    const std::uint32_t served = host.CallbacksServed();
    return host.IsStreamRunning() && WaitFor([&] { return host.CallbacksServed() > served + 4; });
  };

  // No server yet, and settings left by a run without one: 44100 Hz, a buffer of 1024.
  std::filesystem::create_directories(test::gConfigHome.SettingsFolder());
  std::ofstream(test::gConfigHome.SettingsFile())
      << "[audio]\ndriver=0\nindev=system\noutdev=system\nin1=1\nin2=2\nout1=1\nout2=2\n"
         "buffer=1024\nsr=44100\n";
  StandaloneHost& host = test::ProbePlug::CreateHost();
  host.SetReporter(&reporter);
  ASSERT_TRUE(host.Init());
  EXPECT_FALSE(host.RestartAudio());
  EXPECT_EQ(reporter.last, "Please check the audio settings");
  EXPECT_TRUE(reporter.statusIsProblem);
  EXPECT_NE(reporter.status.find("JACK server is not running"), std::string::npos);

  // The server starts: the host connects by itself at the server's rate and period, keeps
  // them and says so.
  ASSERT_TRUE(server.Start(512));
  ASSERT_TRUE(watchUntil(host, [&] { return host.IsStreamRunning(); }));
  EXPECT_EQ(host.SampleRate(), 48000.0);
  EXPECT_FALSE(reporter.statusIsProblem);
  EXPECT_NE(reporter.status.find("runs at 48000 Hz"), std::string::npos) << reporter.status;
  EXPECT_NE(reporter.status.find("buffer size to 512 frames"), std::string::npos);
  EXPECT_NE(test::gConfigHome.ReadSettingsFile().find("buffer=512\nsr=48000\n"), std::string::npos);
  EXPECT_TRUE(flows(host));

  // The server changes its period: the stream, silenced by the server, restarts with it.
  peer.emplace();
  ASSERT_EQ(jack_set_buffer_size(peer->Client(), 256), 0);
  ASSERT_TRUE(watchUntil(host, [&] { return host.BufferFrames() == 256u; }));
  EXPECT_TRUE(flows(host));
  EXPECT_NE(reporter.status.find("changed its period from 512 to 256 frames"), std::string::npos)
      << reporter.status;

  // The server goes away: that is shown; it comes back: the host reconnects by itself.
  peer.reset();
  server.Stop();
  ASSERT_TRUE(watchUntil(host, [&] { return reporter.statusIsProblem; }));
  EXPECT_NE(reporter.status.find("JACK server has stopped"), std::string::npos);
  ASSERT_TRUE(server.Start(512));
  ASSERT_TRUE(watchUntil(host, [&] { return host.IsStreamRunning(); }));
  EXPECT_FALSE(reporter.statusIsProblem);
  EXPECT_TRUE(flows(host));
}

} // namespace
} // namespace coral
