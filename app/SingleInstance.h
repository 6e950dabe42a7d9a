#pragma once
// One running CORAL SIEVE per user session. The first instance takes an exclusive lock on
// "CoralSieve.lock" and listens on the socket "CoralSieve.sock", both in the user's runtime
// folder. A later start that cannot take the lock sends its request to the socket instead.
//
// Protocol: one request line per connection, answered by one reply line; "ok" or "ok ..." for
// success, "error REASON" otherwise. Requests: "present" (bring the window forward),
// "save-state PATH", "load-state PATH" (absolute paths), and "status" (the editor's frame
// counters and position, for tools that drive the window).
//
// Threads: user-interface thread; requests are served on the GLib main loop.

#include <functional>
#include <optional>
#include <string>

#include <glib.h>

namespace coral {

class SingleInstance {
public:
  // Answers the reply line (without its newline) to one request line.
  using Handler = std::function<std::string(const std::string& request)>;

  SingleInstance() = default;
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  static std::string LockPath();
  static std::string SocketPath();

  // Takes the lock (creating the runtime folder when it is missing); false when another
  // instance holds it or the lock file cannot be opened (`error` then says why).
  bool Acquire(std::string& error);
  // Serves requests through `handler` on the default main context. False, with `error`,
  // when the socket cannot be set up; the instance still holds its lock.
  bool Listen(Handler handler, std::string& error);
  // Stops serving, removes the socket and releases the lock.
  void Release();

private:
  static gboolean OnConnection(gint fd, GIOCondition condition, gpointer data);

  int lockFd_ = -1;
  int listenFd_ = -1;
  guint source_ = 0;
  Handler handler_;
};

// Sends `request` to the running instance and answers its reply line; nullopt when none
// answers within `timeoutMs` (an instance that is starting gets that long to listen).
std::optional<std::string> AskRunningInstance(const std::string& request, int timeoutMs);
// The same through the socket at `socketPath`.
std::optional<std::string> AskInstanceAt(const std::string& socketPath, const std::string& request,
                                         int timeoutMs);

} // namespace coral
