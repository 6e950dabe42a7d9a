#include "tests/app/JackHarness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <jack/midiport.h>

namespace coral::test {
namespace {

using namespace std::chrono_literals;

// Runs `argv` with stdout and stderr sent to /dev/null (stderr kept when `keepErrors`);
// the child gets `deathSignal` when this thread ends. Returns the child's id or -1.
pid_t Spawn(const std::vector<std::string>& args, bool keepErrors) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(127);
  const int devNull = open("/dev/null", O_WRONLY);
  dup2(devNull, STDOUT_FILENO);
  if (!keepErrors) dup2(devNull, STDERR_FILENO);
  execvp(argv[0], argv.data());
  _exit(127);
}

// Waits up to `timeout` for `pid` to end; true when it ended (and was reaped).
bool Reap(pid_t pid, std::chrono::milliseconds timeout, int* status = nullptr) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int local = 0;
  while (true) {
    const pid_t done = waitpid(pid, status ? status : &local, WNOHANG);
    if (done == pid || done < 0) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
}

} // namespace

JackServer::JackServer() : name_("coral-test-" + std::to_string(getpid())) {
  setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
  setenv("JACK_NO_START_SERVER", "1", 1);
  setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
}

JackServer::~JackServer() {
  Stop();
  if (lockFd_ >= 0) close(lockFd_);
}

bool JackServer::Start(unsigned period) {
  Stop();
  if (lockFd_ < 0) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "coral-jack-tests.lock").string();
    lockFd_ = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (lockFd_ < 0 || flock(lockFd_, LOCK_EX) != 0) return false;
  }
  pid_ = Spawn({"jackd", "--no-realtime", "-S", "-t", "10000", "-n", name_, "-d", "dummy", "-r",
                std::to_string(kSampleRate), "-p", std::to_string(period), "-C", "2", "-P", "2"},
               false);
  if (pid_ < 0) return false;
  const pid_t waiter = Spawn({"jack_wait", "-w", "-t", "20", "-s", name_}, false);
  int status = -1;
  if (waiter < 0 || !Reap(waiter, 30s, &status)) {
    if (waiter > 0) {
      kill(waiter, SIGKILL);
      Reap(waiter, 5s);
    }
    Stop();
    return false;
  }
  const bool serverAlive = waitpid(pid_, nullptr, WNOHANG) == 0;
  if (!serverAlive) pid_ = -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !serverAlive) {
    Stop();
    return false;
  }
  return true;
}

void JackServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  if (!Reap(pid_, 10s)) {
    kill(pid_, SIGKILL);
    Reap(pid_, 10s);
  }
  pid_ = -1;
}

TestClient::TestClient(const std::string& name, int audioOutputs, int audioInputs, bool midiOutput,
                       bool midiInput)
    : name_(name) {
  client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
  if (!client_) return;
  for (int n = 1; n <= audioOutputs; ++n) {
    outputs_.push_back(jack_port_register(client_, ("out_" + std::to_string(n)).c_str(),
                                          JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0));
  }
  for (int n = 1; n <= audioInputs; ++n) {
    inputs_.push_back(jack_port_register(client_, ("in_" + std::to_string(n)).c_str(),
                                         JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0));
  }
  if (midiOutput) {
    midiOut_ = jack_port_register(client_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  }
  if (midiInput) {
    midiIn_ = jack_port_register(client_, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  }
  recorded_.resize(inputs_.size());
  jack_set_process_callback(client_, &TestClient::ProcessCallback, this);
  if (jack_activate(client_) != 0) {
    jack_client_close(client_);
    client_ = nullptr;
  }
}

TestClient::~TestClient() {
  if (!client_) return;
  jack_deactivate(client_);
  jack_client_close(client_);
}

std::string TestClient::AudioOutput(int n) const {
  return name_ + ":out_" + std::to_string(n);
}
std::string TestClient::AudioInput(int n) const {
  return name_ + ":in_" + std::to_string(n);
}
std::string TestClient::MidiOutput() const {
  return name_ + ":midi_out";
}
std::string TestClient::MidiInput() const {
  return name_ + ":midi_in";
}

bool TestClient::Connect(const std::string& source, const std::string& destination) {
  return client_ && jack_connect(client_, source.c_str(), destination.c_str()) == 0;
}

std::uint32_t TestClient::FrameTime() const {
  return jack_frame_time(client_);
}

void TestClient::Play(std::vector<std::vector<float>> signal, std::uint32_t start) {
  playing_.store(false);
  signal_ = std::move(signal);
  playStart_ = start;
  playing_.store(true);
}

void TestClient::Record(std::uint32_t start, std::size_t frames) {
  recording_.store(false);
  recordingDone_.store(false);
  for (std::vector<float>& channel : recorded_) channel.assign(frames, 0.f);
  recordStart_ = start;
  recording_.store(true);
}

bool TestClient::WaitForRecording(int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!recordingDone_.load()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

void TestClient::SendMidi(std::vector<std::vector<std::uint8_t>> messages) {
  midiArmed_.store(false);
  midiToSend_ = std::move(messages);
  midiSent_.store(0);
  midiArmed_.store(true);
}

std::vector<std::uint8_t> TestClient::MidiReceived(int index) const {
  const std::uint8_t* bytes = midiEvents_[index].data();
  return {bytes, bytes + midiEventSizes_[index]};
}

int TestClient::ProcessCallback(jack_nframes_t frames, void* arg) {
  static_cast<TestClient*>(arg)->Process(frames);
  return 0;
}

void TestClient::Process(jack_nframes_t frames) {
  const std::uint32_t cycleStart = jack_last_frame_time(client_);

  const bool playing = playing_.load();
  for (std::size_t c = 0; c < outputs_.size(); ++c) {
    auto* out = static_cast<float*>(jack_port_get_buffer(outputs_[c], frames));
    for (jack_nframes_t i = 0; i < frames; ++i) {
      const auto k = static_cast<std::int32_t>(cycleStart + i - playStart_);
      const bool inside = playing && c < signal_.size() && k >= 0 &&
                          static_cast<std::size_t>(k) < signal_[c].size();
      out[i] = inside ? signal_[c][k] : 0.f;
    }
  }

  if (recording_.load() && !recordingDone_.load()) {
    const std::size_t length = recorded_.empty() ? 0 : recorded_[0].size();
    for (std::size_t c = 0; c < inputs_.size(); ++c) {
      const auto* in = static_cast<const float*>(jack_port_get_buffer(inputs_[c], frames));
      for (jack_nframes_t i = 0; i < frames; ++i) {
        const auto k = static_cast<std::int32_t>(cycleStart + i - recordStart_);
        if (k >= 0 && static_cast<std::size_t>(k) < length) recorded_[c][k] = in[i];
      }
    }
    const auto end = static_cast<std::int32_t>(cycleStart + frames - recordStart_);
    if (end >= 0 && static_cast<std::size_t>(end) >= length) recordingDone_.store(true);
  }

  if (midiOut_) {
    void* buffer = jack_port_get_buffer(midiOut_, frames);
    jack_midi_clear_buffer(buffer);
    const int sent = midiSent_.load();
    if (midiArmed_.load() && sent < static_cast<int>(midiToSend_.size())) {
      const std::vector<std::uint8_t>& message = midiToSend_[sent];
      if (jack_midi_event_write(buffer, 0, message.data(), message.size()) == 0) {
        midiSent_.store(sent + 1);
      }
    }
  }

  if (midiIn_) {
    void* buffer = jack_port_get_buffer(midiIn_, frames);
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    for (jack_nframes_t e = 0; e < count; ++e) {
      jack_midi_event_t event;
      const int received = midiReceived_.load();
      if (jack_midi_event_get(&event, buffer, e) != 0 || received >= kMaxMidiEvents) continue;
      const std::size_t size = std::min<std::size_t>(event.size, kMaxMidiBytes);
      std::copy_n(event.buffer, size, midiEvents_[received].begin());
      midiEventSizes_[received] = static_cast<int>(size);
      midiReceived_.store(received + 1);
    }
  }
}

} // namespace coral::test
