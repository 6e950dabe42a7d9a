#pragma once
// A file that appears at its destination only when complete: it is written to a temporary
// file in the destination's folder and renamed over the destination by Commit. Until then
// the destination (if any) is untouched; an uncommitted temporary is removed when the object
// is destroyed.
//
// Threads: one owner.

#include <cstddef>
#include <string>

namespace coral::render {

class AtomicFile {
public:
  AtomicFile() = default;
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file for `destination`, with the destination's permissions when it
  // exists and the usual ones (0666 less the umask) otherwise. False with `error` set when
  // the folder is not writable or `destination` is a folder.
  bool Create(const std::string& destination, std::string& error);

  // Descriptor of the open temporary file, -1 when none is open.
  int Descriptor() const { return fd_; }
  const std::string& Destination() const { return destination_; }

  // Writes all of `data` at the current position.
  bool WriteAll(const void* data, std::size_t size, std::string& error);

  // Flushes, closes and renames the temporary file over the destination.
  bool Commit(std::string& error);

  // Closes and removes the temporary file; the destination stays as it was.
  void Discard();

private:
  std::string destination_;
  std::string temporary_;
  int fd_ = -1;
};

} // namespace coral::render
