#include "tests/support/JackSession.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <jack/midiport.h>

namespace coral::test {

namespace {

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

} // namespace

const std::string& PrivateShmError() {
  return gPrivateShmError;
}

std::string UsePrivateJackServer() {
  const std::string name = "coral-test-" + std::to_string(getpid());
  setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
  return name;
}

JackTestServer::~JackTestServer() {
  Stop();
}

bool JackTestServer::Start(unsigned period) {
  if (!PrivateShmError().empty()) return false;
  const std::string frames = std::to_string(period);
  const pid_t parent = getpid();
  if ((server_ = fork()) == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    execlp("jackd", "jackd", "--no-realtime", "-S", "-t", "10000", "-n", name_.c_str(), "-d",
           "dummy", "-r", "48000", "-p", frames.c_str(), "-C", "2", "-P", "2", nullptr);
    _exit(127);
  }
  const bool ready =
      std::system(("jack_wait -w -t 20 -s " + name_ + " >/dev/null 2>&1").c_str()) == 0;
  if (waitpid(server_, nullptr, WNOHANG) != 0) server_ = -1; // it ended on its own
  if (!ready) Stop();
  return ready && server_ > 0;
}

void JackTestServer::Stop() {
  if (server_ <= 0) return;
  kill(server_, SIGTERM);
  for (int i = 0; waitpid(server_, nullptr, WNOHANG) == 0; ++i) {
    if (i == 1000) kill(server_, SIGKILL);
    usleep(10000);
  }
  server_ = -1;
}

JackPeer::JackPeer() {
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

JackPeer::~JackPeer() {
  for (jack_client_t* client : clients_) {
    if (client) jack_client_close(client);
  }
}

Channels JackPeer::PlayThrough(const Channels& burst, std::size_t frames,
                               const std::array<std::string, 2>& inputs,
                               const std::array<std::string, 2>& outputs) {
  for (int c = 0; c < 2; ++c) {
    jack_connect(clients_[0], jack_port_name(ports_[c]), inputs[c].c_str());
    jack_connect(clients_[0], outputs[c].c_str(), jack_port_name(ports_[3 + c]));
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

void JackPeer::Send(const std::vector<Bytes>& messages) {
  std::lock_guard lock(mutex_);
  toSend_.assign(messages.begin(), messages.end());
}

template <int side>
int JackPeer::Process(jack_nframes_t n, void* self) {
  JackPeer& peer = *static_cast<JackPeer*>(self);
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

} // namespace coral::test
