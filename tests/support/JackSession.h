#pragma once
// A JACK server of a test's own and two clients that play into and record from the program
// under test.
//
// The server runs jackd's dummy back end under the name of this process's own
// (UsePrivateJackServer), so no audio hardware or running server is needed. A server name does
// not keep JACK servers apart, though: every server and client of one user shares the
// shared-memory registry and a metadata database in /dev/shm. Every jack_client_open opens that
// database and every server deletes it when it stops, so a client of another server that dies
// holding the database's lock blocks every later client, and a server that stops pulls the
// database from under the others. A test process that links this file therefore moves, before
// main, into a mount namespace of its own with an empty /dev/shm, which its server, its clients
// and the program under test share with nothing else on the machine. The server is stopped by
// its process id, and gets SIGTERM from the kernel if the test process dies first.

#include <sys/types.h>

#include <unistd.h>

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include <jack/jack.h>

namespace coral::test {

using Bytes = std::vector<std::uint8_t>;
using Channels = std::vector<std::vector<float>>;

// Points every JACK client of this process at a server named "coral-test-PID" and keeps clients
// from starting a server themselves. Answers the name. Idempotent.
std::string UsePrivateJackServer();

// What kept this process from its private /dev/shm; empty when it has one.
const std::string& PrivateShmError();

// Polls for up to a minute: only a stalled server comes near that.
template <typename Condition>
bool WaitFor(Condition condition) {
  for (int i = 0; i < 12000 && !condition(); ++i) usleep(5000);
  return condition();
}

class JackTestServer {
public:
  JackTestServer() : name_(UsePrivateJackServer()) {}
  ~JackTestServer();
  JackTestServer(const JackTestServer&) = delete;
  JackTestServer& operator=(const JackTestServer&) = delete;

  // Starts the server at 48000 Hz with 2 capture and 2 playback ports and `period` frames per
  // cycle; true once clients can connect. False without a private /dev/shm. A separate process (jack_wait) waits for that, so no
  // client of this process has to open before the caller wants one.
  bool Start(unsigned period);
  // SIGTERM, and SIGKILL when the server is still there after ten seconds.
  void Stop();

private:
  std::string name_;
  pid_t server_ = -1;
};

// Two clients, so that the program under test sits between them within one cycle:
// "coral-source" plays a burst on out_1 and out_2 from a chosen frame on and sends queued
// messages on midi_out, one per cycle; "coral-sink" records in_1 and in_2 from the same frame
// on and offers midi_in. The test thread and the process threads share the state under a mutex.
class JackPeer {
public:
  JackPeer();
  ~JackPeer();
  JackPeer(const JackPeer&) = delete;
  JackPeer& operator=(const JackPeer&) = delete;

  bool IsOpen() const { return clients_[0] && clients_[1]; }
  jack_client_t* Client() const { return clients_[0]; }

  // Connects out_1/out_2 to `inputs` and `outputs` to in_1/in_2, plays `burst` a few cycles
  // from now and records `frames` frames from its first frame on; empty when the server stopped
  // delivering cycles.
  Channels PlayThrough(const Channels& burst, std::size_t frames,
                       const std::array<std::string, 2>& inputs,
                       const std::array<std::string, 2>& outputs);
  void Send(const std::vector<Bytes>& messages);

private:
  template <int side>
  static int Process(jack_nframes_t n, void* self);

  jack_client_t* clients_[2] = {};
  jack_port_t* ports_[6] = {};
  std::mutex mutex_;
  Channels play_;
  Channels recorded_ = Channels(2);
  std::uint32_t start_ = 0;
  bool done_ = true;
  std::deque<Bytes> toSend_;
};

} // namespace coral::test
