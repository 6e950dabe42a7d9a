#pragma once
// A file that appears at its destination only when complete: it is written to a temporary
// file in the destination's folder and renamed over the destination by Commit. Until then
// the destination (if any) is untouched; an uncommitted temporary is removed when the object
// is destroyed. Standard output works the same way: the content is collected in an unnamed
// temporary file and copied to standard output by Commit.
//
// Threads: one owner.

#include <cstddef>
#include <string>

namespace coral::render {

// Descriptor of a new, empty, seekable file in the temporary folder that has no name (it is
// gone when closed), or -1 with `error` set.
int CreateUnnamedTemporaryFile(std::string& error);

// Copies everything from the position of `from` to its end to `to`; false with errno set
// when reading or writing fails.
bool CopyToEnd(int from, int to);

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
  // Creates the temporary file for standard output; Destination() is then "".
  bool CreateForStandardOutput(std::string& error);

  // Descriptor of the open temporary file, -1 when none is open.
  int Descriptor() const { return fd_; }
  const std::string& Destination() const { return destination_; }

  // Writes all of `data` at the current position.
  bool WriteAll(const void* data, std::size_t size, std::string& error);

  // Flushes, closes and renames the temporary file over the destination, or copies it to
  // standard output.
  bool Commit(std::string& error);

  // Closes and removes the temporary file; the destination stays as it was.
  void Discard();

private:
  std::string destination_;
  std::string temporary_;
  int fd_ = -1;
  bool standardOutput_ = false;
};

} // namespace coral::render
