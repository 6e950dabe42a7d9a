#include "tools/coral-render/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

} // namespace

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

bool AtomicFile::WriteAll(const void* data, std::size_t size, std::string& error) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd_, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      error = SystemError("cannot write '" + destination_ + "'");
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool AtomicFile::Commit(std::string& error) {
  if (fd_ < 0) {
    error = "cannot write '" + destination_ + "': no file open";
    return false;
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
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

} // namespace coral::render
