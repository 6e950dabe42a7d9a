#pragma once
// Watches the JACK server: notices that it has gone away, and its period. After a server
// stops, every JACK client this process still holds must be closed before the process opens
// a client of a newly started server: libjack keeps process-wide state from the old server,
// and closing an old client after a new one was opened crashes. The host therefore watches
// the server while it has JACK clients (the audio stream, MIDI ports) and replaces them once
// the watch reports the server lost.
//
// Threads: Open, Close and the queries on the user-interface thread; the server's shutdown
// and period notices arrive on a libjack thread and only set atomics.

#include <atomic>

#include <jack/jack.h>

namespace coral {

class JackServerWatch {
public:
  JackServerWatch() = default;
  ~JackServerWatch();
  JackServerWatch(const JackServerWatch&) = delete;
  JackServerWatch& operator=(const JackServerWatch&) = delete;

  // Connects to the running server without starting one; false when none runs.
  bool Open();
  // Closes the watch's own client (also after the server went away).
  void Close();
  bool IsOpen() const { return client_ != nullptr; }
  // True unless the watch is connected to a server that is still running.
  bool IsLost() const { return lost_.load(); }
  // The server's period in frames (0 while not connected).
  unsigned Period() const { return period_.load(); }

private:
  static void OnShutdown(void* watch);
  static int OnPeriod(jack_nframes_t frames, void* watch);

  jack_client_t* client_ = nullptr;
  std::atomic<bool> lost_{true};
  std::atomic<unsigned> period_{0};
};

} // namespace coral
