#include "app/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <glib-unix.h>
#include <glib/gstdio.h>

namespace coral {
namespace {

constexpr std::size_t kMaxLineBytes = 8192;
constexpr int kServeTimeoutMs = 2000; // a client that sends no line in time is dropped

std::string RuntimePath(const char* name) {
  return std::string(g_get_user_runtime_dir()) + "/" + name;
}

bool SocketAddress(const std::string& path, sockaddr_un& address, std::string& error) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    error = "the socket path " + path + " is too long";
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

void SetTimeouts(int fd, int milliseconds) {
  const timeval timeout{milliseconds / 1000, (milliseconds % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// One line without its newline; nullopt on a closed connection, a timeout or an overlong line.
std::optional<std::string> ReadLine(int fd) {
  std::string line;
  char buffer[512];
  while (line.size() <= kMaxLineBytes) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    line.append(buffer, static_cast<std::size_t>(n));
    const std::size_t end = line.find('\n');
    if (end != std::string::npos) return line.substr(0, end);
  }
  return std::nullopt;
}

} // namespace

SingleInstance::~SingleInstance() {
  Release();
}

std::string SingleInstance::LockPath() {
  return RuntimePath("CoralSieve.lock");
}

std::string SingleInstance::SocketPath() {
  return RuntimePath("CoralSieve.sock");
}

bool SingleInstance::Acquire(std::string& error) {
  if (lockFd_ >= 0) return true;
  g_mkdir_with_parents(g_get_user_runtime_dir(), 0700);
  const std::string path = LockPath();
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return false;
  }
  lockFd_ = fd;
  return true;
}

bool SingleInstance::Listen(Handler handler, std::string& error) {
  sockaddr_un address;
  if (lockFd_ < 0 || !SocketAddress(SocketPath(), address, error)) return false;
  // Holding the lock, this instance owns the socket path: a socket left by an instance that
  // ended abruptly is replaced.
  unlink(address.sun_path);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      chmod(address.sun_path, 0600) != 0 || listen(fd, 8) != 0) {
    error = "cannot listen on " + SocketPath() + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  listenFd_ = fd;
  handler_ = std::move(handler);
  source_ = g_unix_fd_add(fd, G_IO_IN, &SingleInstance::OnConnection, this);
  return true;
}

void SingleInstance::Release() {
  if (source_) g_source_remove(source_);
  source_ = 0;
  if (listenFd_ >= 0) {
    close(listenFd_);
    unlink(SocketPath().c_str());
  }
  listenFd_ = -1;
  if (lockFd_ >= 0) close(lockFd_); // closing the descriptor releases the lock
  lockFd_ = -1;
}

gboolean SingleInstance::OnConnection(gint fd, GIOCondition, gpointer data) {
  auto* self = static_cast<SingleInstance*>(data);
  const int client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) return G_SOURCE_CONTINUE;
  SetTimeouts(client, kServeTimeoutMs);
  if (const std::optional<std::string> request = ReadLine(client)) {
    WriteAll(client, self->handler_(*request) + "\n");
  }
  close(client);
  return G_SOURCE_CONTINUE;
}

std::optional<std::string> AskRunningInstance(const std::string& request, int timeoutMs) {
  return AskInstanceAt(SingleInstance::SocketPath(), request, timeoutMs);
}

std::optional<std::string> AskInstanceAt(const std::string& socketPath, const std::string& request,
                                         int timeoutMs) {
  sockaddr_un address;
  std::string error;
  if (!SocketAddress(socketPath, address, error) || request.find('\n') != std::string::npos) {
    return std::nullopt;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      SetTimeouts(fd, timeoutMs);
      std::optional<std::string> reply;
      if (WriteAll(fd, request + "\n")) reply = ReadLine(fd);
      close(fd);
      return reply;
    }
    close(fd);
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

} // namespace coral
