#include "tools/coral-render/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace coral::render {
namespace {

std::string SystemError(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Writes all of `size` bytes to `fd`; false with errno set on failure.
bool WriteFully(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

constexpr std::size_t kCopyBytes = 1 << 16;

} // namespace

bool CopyToEnd(int from, int to) {
  std::vector<char> buffer(kCopyBytes);
  while (true) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!WriteFully(to, buffer.data(), static_cast<std::size_t>(got))) return false;
  }
}

int CreateUnnamedTemporaryFile(std::string& error) {
  std::error_code ignored;
  std::string pattern =
      (std::filesystem::temp_directory_path(ignored) / "coral-render-XXXXXX").string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    error = SystemError("cannot create a temporary file in '" + pattern + "'");
    return -1;
  }
  ::unlink(pattern.c_str());
  return fd;
}

AtomicFile::~AtomicFile() {
  Discard();
}

bool AtomicFile::Create(const std::string& destination, std::string& error) {
  Discard();
  struct stat existing {};
  const bool exists = ::stat(destination.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) {
    error = "cannot write '" + destination + "': it is a folder";
    return false;
  }

  const std::size_t slash = destination.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : destination.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? destination : destination.substr(slash + 1);
  if (name.empty()) {
    error = "cannot write '" + destination + "': no file name";
    return false;
  }
  std::string pattern = folder + "." + name + ".tmp-XXXXXX";
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  const int fd = ::mkstemp(path.data());
  if (fd < 0) {
    error = SystemError("cannot write '" + destination + "'");
    return false;
  }
  const mode_t mode = exists ? (existing.st_mode & 07777) : NewFileMode();
  ::fchmod(fd, mode);
  fd_ = fd;
  temporary_ = path.data();
  destination_ = destination;
  return true;
}

bool AtomicFile::CreateForStandardOutput(std::string& error) {
  Discard();
  fd_ = CreateUnnamedTemporaryFile(error);
  if (fd_ < 0) return false;
  destination_.clear();
  standardOutput_ = true;
  return true;
}

bool AtomicFile::WriteAll(const void* data, std::size_t size, std::string& error) {
  if (!WriteFully(fd_, static_cast<const char*>(data), size)) {
    error = SystemError(standardOutput_ ? "cannot write a temporary file"
                                        : "cannot write '" + destination_ + "'");
    return false;
  }
  return true;
}

bool AtomicFile::Commit(std::string& error) {
  if (fd_ < 0) {
    error = "cannot write '" + destination_ + "': no file open";
    return false;
  }
  if (standardOutput_) {
    const bool copied = ::lseek(fd_, 0, SEEK_SET) == 0 && CopyToEnd(fd_, STDOUT_FILENO);
    if (!copied) error = SystemError("cannot write to standard output");
    Discard();
    return copied;
  }
  const bool synced = ::fsync(fd_) == 0;
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (!synced || !closed) {
    error = SystemError("cannot write '" + destination_ + "'");
    Discard();
    return false;
  }
  if (::rename(temporary_.c_str(), destination_.c_str()) != 0) {
    error = SystemError("cannot replace '" + destination_ + "'");
    Discard();
    return false;
  }
  temporary_.clear();
  return true;
}

void AtomicFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  standardOutput_ = false;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

} // namespace coral::render
