// The host against a real audio server: a JACK server of the test's own (dummy back end, the
// name private to this process that JACK_DEFAULT_SERVER gives) and JACK clients of the test's
// own that play a burst into the host's input ports, record its output ports and send MIDI to
// its MIDI input.
//
// A server name does not keep JACK servers apart: every server and client of one user shares
// the shared-memory registry and a metadata database in /dev/shm. Every jack_client_open opens
// that database and every server deletes it when it stops, so a client of another server that
// dies holding the database's lock blocks every later client, and a server that stops pulls
// the database from under the others. The test process therefore runs in a mount namespace of
// its own with an empty /dev/shm, which its server, its clients and the host share with
// nothing else on the machine. The server is stopped by its process id, and gets SIGTERM from
// the kernel if this process dies first.

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include "core/CoralSieve.h"
#include "tests/app/ProbeHost.h"

namespace coral {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Channels = std::vector<std::vector<float>>;
constexpr int kBurstFrames = 6000;

// Writes `text` to the file at `path`; false when it cannot.
bool WriteProcFile(const char* path, const std::string& text) {
  std::ofstream file(path);
  return static_cast<bool>(file << text << std::flush);
}

// Moves this process into a new mount namespace whose /dev/shm is an empty tmpfs; where the
// process may not do that by itself (not root), inside a new user namespace that maps its own
// user and group. Must run while the process has one thread. Answers "" or what failed.
std::string EnterPrivateShm() {
  const uid_t uid = geteuid();
  const gid_t gid = getegid();
  if (unshare(CLONE_NEWNS) != 0) {
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
      return std::string("cannot create a user and mount namespace: ") + std::strerror(errno);
    }
    if (!WriteProcFile("/proc/self/setgroups", "deny") ||
        !WriteProcFile("/proc/self/uid_map",
                       std::to_string(uid) + " " + std::to_string(uid) + " 1") ||
        !WriteProcFile("/proc/self/gid_map",
                       std::to_string(gid) + " " + std::to_string(gid) + " 1")) {
      return "cannot map the user into the new user namespace";
    }
  }
  // Private first, so that the new /dev/shm does not propagate back to the machine's.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("tmpfs", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0) {
    return std::string("cannot mount a private /dev/shm: ") + std::strerror(errno);
  }
  return {};
}

// Before main, while the process has one thread.
const std::string gPrivateShmError = EnterPrivateShm();

// Polls for up to a minute: only a stalled server comes near that.
template <typename Condition>
bool WaitFor(Condition condition) {
  for (int i = 0; i < 12000 && !condition(); ++i) usleep(5000);
  return condition();
}

// Two clients, so that the host sits between them within one cycle: "coral-source" plays a
// burst on out_1 and out_2 from a chosen frame on and sends queued messages on midi_out, one per
// cycle; "coral-sink" records in_1 and in_2 from the same frame on and offers midi_in. The test
// thread and the process threads share the state under a mutex.
class Peer {
public:
  Peer() {
    const char* names[6] = {"out_1", "out_2", "midi_out", "in_1", "in_2", "midi_in"};
    for (int side = 0; side < 2; ++side) {
      clients_[side] =
          jack_client_open(side ? "coral-sink" : "coral-source", JackNoStartServer, nullptr);
      if (!clients_[side]) return;
      for (int p = 3 * side; p < 3 * side + 3; ++p) {
        ports_[p] = jack_port_register(clients_[side], names[p],
                                       p % 3 < 2 ? JACK_DEFAULT_AUDIO_TYPE : JACK_DEFAULT_MIDI_TYPE,
                                       side ? JackPortIsInput : JackPortIsOutput, 0);
      }
      jack_set_process_callback(clients_[side], side ? &Process<1> : &Process<0>, this);
      jack_activate(clients_[side]);
    }
  }
  ~Peer() {
    for (jack_client_t* client : clients_) {
      if (client) jack_client_close(client);
    }
  }
  bool IsOpen() const { return clients_[0] && clients_[1]; }
  jack_client_t* Client() const { return clients_[0]; }

  // Connects the host's stream, plays `burst` a few cycles from now and records `frames` frames
  // from its first frame on; empty when the server stopped delivering cycles.
  Channels PlayThroughHost(const Channels& burst, std::size_t frames) {
    for (int c = 0; c < 2; ++c) {
      const std::string n = std::to_string(c);
      jack_connect(clients_[0], jack_port_name(ports_[c]), ("RtApiJack:inport " + n).c_str());
      jack_connect(clients_[0], ("RtApiJack:outport " + n).c_str(), jack_port_name(ports_[3 + c]));
    }
    std::unique_lock lock(mutex_);
    play_ = burst;
    recorded_.assign(2, std::vector<float>(frames, 0.f));
    start_ = jack_frame_time(clients_[0]) + 8192;
    done_ = false;
    lock.unlock();
    const bool done = WaitFor([&] {
      std::lock_guard guard(mutex_);
      return done_;
    });
    lock.lock();
    return done ? recorded_ : Channels{};
  }
  void Send(const std::vector<Bytes>& messages) {
    std::lock_guard lock(mutex_);
    toSend_.assign(messages.begin(), messages.end());
  }

private:
  template <int side>
  static int Process(jack_nframes_t n, void* self) {
    Peer& peer = *static_cast<Peer*>(self);
    std::lock_guard lock(peer.mutex_);
    const std::uint32_t now = jack_last_frame_time(peer.clients_[side]);
    for (int c = 0; c < 2; ++c) {
      auto* buffer = static_cast<float*>(jack_port_get_buffer(peer.ports_[3 * side + c], n));
      for (jack_nframes_t i = 0; i < n; ++i) {
        // Frames before the start become huge indices.
        const std::size_t k = static_cast<std::int32_t>(now + i - peer.start_);
        if (side == 0) {
          buffer[i] = !peer.done_ && k < peer.play_[c].size() ? peer.play_[c][k] : 0.f;
        } else if (!peer.done_ && k < peer.recorded_[c].size()) {
          peer.recorded_[c][k] = buffer[i];
          peer.done_ = c == 1 && k + 1 == peer.recorded_[1].size();
        }
      }
    }
    if (side == 1) return 0;
    void* midi = jack_port_get_buffer(peer.ports_[2], n);
    jack_midi_clear_buffer(midi);
    std::deque<Bytes>& queue = peer.toSend_;
    if (!queue.empty() && !jack_midi_event_write(midi, 0, queue[0].data(), queue[0].size())) {
      queue.pop_front();
    }
    return 0;
  }

  jack_client_t* clients_[2] = {};
  jack_port_t* ports_[6] = {};
  std::mutex mutex_;
  Channels play_;
  Channels recorded_ = Channels(2);
  std::uint32_t start_ = 0;
  bool done_ = true;
  std::deque<Bytes> toSend_;
};

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
void ExpectDelayedOutput(Peer& peer, reef::IPluginApp& plug, int delay, int firstSound, int tail) {
  const Channels burst = Burst();
  const Channels recorded = peer.PlayThroughHost(burst, kBurstFrames + tail);
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
  std::string last;
};

class JackHostTest : public ::testing::Test {
protected:
  void SetUp() override { test::gConfigHome.ClearSettings(); }
  // The host goes first, then the test's own clients, then the server.
  void TearDown() override {
    StandaloneHost::Destroy();
    peer.reset();
    StopServer();
  }

  // True once clients can connect. A separate process waits for that: a client opened here
  // would have to come after the host dropped its clients of a stopped server.
  bool StartServer(unsigned period) {
    const std::string frames = std::to_string(period);
    const pid_t parent = getpid();
    if ((server = fork()) == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(127);
      const int devNull = open("/dev/null", O_WRONLY);
      dup2(devNull, STDOUT_FILENO);
      dup2(devNull, STDERR_FILENO);
      execlp("jackd", "jackd", "--no-realtime", "-S", "-t", "10000", "-n", name.c_str(), "-d",
             "dummy", "-r", "48000", "-p", frames.c_str(), "-C", "2", "-P", "2", nullptr);
      _exit(127);
    }
    const bool ready =
        std::system(("jack_wait -w -t 20 -s " + name + " >/dev/null 2>&1").c_str()) == 0;
    if (waitpid(server, nullptr, WNOHANG) != 0) server = -1; // it ended on its own
    if (!ready) StopServer();
    return ready && server > 0;
  }
  // SIGTERM, and SIGKILL when the server is still there after ten seconds.
  void StopServer() {
    if (server <= 0) return;
    kill(server, SIGTERM);
    for (int i = 0; waitpid(server, nullptr, WNOHANG) == 0; ++i) {
      if (i == 1000) kill(server, SIGKILL);
      usleep(10000);
    }
    server = -1;
  }

  const std::string name = std::getenv("JACK_DEFAULT_SERVER");
  pid_t server = -1;
  std::optional<Peer> peer;
  LastMessage reporter;
};

TEST_F(JackHostTest, SignalEveryPeriodMidiAndAServerRestart) {
  ASSERT_EQ(gPrivateShmError, "");
  ASSERT_TRUE(StartServer(512)) << "jackd did not start";
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
  StopServer();
  ASSERT_TRUE(WaitFor([&] { return !host.IsStreamRunning(); }));
  EXPECT_FALSE(host.RestartAudio());
  EXPECT_EQ(reporter.last, "Please check the audio settings");
  ASSERT_TRUE(StartServer(512));
  ASSERT_TRUE(host.RestartAudio());
  EXPECT_TRUE(host.HasMidiInput() && host.HasMidiOutput());
  const std::uint32_t served = host.CallbacksServed();
  ASSERT_TRUE(WaitFor([&] { return host.CallbacksServed() > served + 4; }));
  host.CloseAudio();
  EXPECT_TRUE(host.IsFadeOutDone());
}

} // namespace
} // namespace coral
