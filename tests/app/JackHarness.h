#pragma once
// A private JACK server for one test process and JACK clients that play and record signals
// and MIDI against the host under test.
//
// The server is `jackd --no-realtime -S -t 10000 -n <name> -d dummy -r 48000 -p <period>
// -C 2 -P 2` with a name private to this process, which every client of this process reaches
// through JACK_DEFAULT_SERVER. The server is stopped by its process id when the JackServer
// object goes, and it receives SIGTERM from the kernel if this process dies first, so a
// crashing or killed test leaves no server behind.
//
// JACK servers running side by side disturb each other's clients (connections fail while
// another server starts or stops), so test processes take turns: a JackServer holds an
// exclusive lock on a file in the temporary folder from its first Start until it goes.

#include <sys/types.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <jack/jack.h>

namespace coral::test {

class JackServer {
public:
  static constexpr unsigned kSampleRate = 48000;

  JackServer();
  ~JackServer();
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  // Starts the server with `period` frames per cycle and waits until clients can connect.
  bool Start(unsigned period);
  // Stops the server (SIGTERM, SIGKILL if it has not ended after a while) and reaps it.
  void Stop();
  bool IsRunning() const { return pid_ > 0; }
  const std::string& Name() const { return name_; }

private:
  std::string name_;
  pid_t pid_ = -1;
  int lockFd_ = -1;
};

// One JACK client with audio and MIDI ports on either side. Output ports play a signal that
// starts at a given absolute frame (silence elsewhere) and a list of MIDI messages, one per
// cycle; input ports record audio from a given absolute frame and every MIDI event.
class TestClient {
public:
  static constexpr int kMaxMidiEvents = 64;
  static constexpr int kMaxMidiBytes = 1024;

  TestClient(const std::string& name, int audioOutputs, int audioInputs, bool midiOutput,
             bool midiInput);
  ~TestClient();
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool IsOpen() const { return client_ != nullptr; }
  // Full port names: "<client>:out_<n>", "<client>:in_<n>", "<client>:midi_out",
  // "<client>:midi_in" (n from 1).
  std::string AudioOutput(int n) const;
  std::string AudioInput(int n) const;
  std::string MidiOutput() const;
  std::string MidiInput() const;
  bool Connect(const std::string& source, const std::string& destination);
  // The server's current frame time.
  std::uint32_t FrameTime() const;

  // Plays `signal[c]` on output c from absolute frame `start` on.
  void Play(std::vector<std::vector<float>> signal, std::uint32_t start);
  // Records `frames` frames of every input from absolute frame `start` on.
  void Record(std::uint32_t start, std::size_t frames);
  // Waits until the recording is complete; false when the server stops delivering cycles.
  bool WaitForRecording(int timeoutMs) const;
  const std::vector<float>& Recorded(int input) const { return recorded_[input]; }

  // Sends each message in its own cycle, in order.
  void SendMidi(std::vector<std::vector<std::uint8_t>> messages);
  bool MidiSent() const { return midiSent_.load() == static_cast<int>(midiToSend_.size()); }
  int MidiReceivedCount() const { return midiReceived_.load(); }
  std::vector<std::uint8_t> MidiReceived(int index) const;

private:
  static int ProcessCallback(jack_nframes_t frames, void* arg);
  void Process(jack_nframes_t frames);

  jack_client_t* client_ = nullptr;
  std::string name_;
  std::vector<jack_port_t*> outputs_;
  std::vector<jack_port_t*> inputs_;
  jack_port_t* midiOut_ = nullptr;
  jack_port_t* midiIn_ = nullptr;

  std::vector<std::vector<float>> signal_;
  std::uint32_t playStart_ = 0;
  std::atomic<bool> playing_{false};

  std::vector<std::vector<float>> recorded_;
  std::uint32_t recordStart_ = 0;
  std::atomic<bool> recording_{false};
  std::atomic<bool> recordingDone_{false};

  std::vector<std::vector<std::uint8_t>> midiToSend_;
  std::atomic<int> midiSent_{0};
  std::atomic<bool> midiArmed_{false};
  std::array<std::array<std::uint8_t, kMaxMidiBytes>, kMaxMidiEvents> midiEvents_{};
  std::array<int, kMaxMidiEvents> midiEventSizes_{};
  std::atomic<int> midiReceived_{0};
};

} // namespace coral::test
