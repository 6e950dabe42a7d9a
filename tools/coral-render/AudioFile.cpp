#include "tools/coral-render/AudioFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sndfile.h>
#include <string_view>
#include <unistd.h>

#include "tools/coral-render/AtomicFile.h"

namespace coral::render {
namespace {

std::string LibraryError(SNDFILE* file) {
  return sf_strerror(file);
}

std::string FormatPartName(int format, int command) {
  SF_FORMAT_INFO info{};
  info.format = format;
  if (sf_command(nullptr, command, &info, sizeof info) != 0 || !info.name) return "unknown";
  return info.name;
}

// Bytes per sample of encodings whose samples all have one size, else 0.
int FixedSampleBytes(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
  case SF_FORMAT_PCM_S8:
  case SF_FORMAT_PCM_U8:
  case SF_FORMAT_ULAW:
  case SF_FORMAT_ALAW:
    return 1;
  case SF_FORMAT_PCM_16:
    return 2;
  case SF_FORMAT_PCM_24:
    return 3;
  case SF_FORMAT_PCM_32:
  case SF_FORMAT_FLOAT:
    return 4;
  case SF_FORMAT_DOUBLE:
    return 8;
  default:
    return 0;
  }
}

// Reads `size` bytes at `offset` of `fd` without moving its position; false when the file
// ends first or cannot be read.
bool ReadAt(int fd, std::int64_t offset, unsigned char* out, std::size_t size) {
  while (size > 0) {
    const ssize_t got = ::pread(fd, out, size, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    offset += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

// Unsigned integer of `bytes` bytes at `at`.
std::uint64_t Word(const unsigned char* at, int bytes, bool bigEndian) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i)
    value |= std::uint64_t(at[i]) << 8 * (bigEndian ? bytes - 1 - i : i);
  return value;
}

// Data sizes that programs writing to a pipe put in a header they cannot come back to.
bool IsUnknownDataSize(std::uint64_t size) {
  return size == 0 || size == 0xFFFFFFFF || size == 0x7FFFF000;
}

// Size in bytes of the sample data that a WAV (RIFF, RIFX, RF64), AIFF or AU header
// declares; -1 for other containers or when the header does not say.
std::int64_t DeclaredDataBytes(int fd) {
  unsigned char head[12];
  if (!ReadAt(fd, 0, head, sizeof head)) return -1;
  const std::string_view container(reinterpret_cast<const char*>(head), 4);
  if (container == ".snd") { // AU: magic, data offset, data size, all big-endian
    const std::uint64_t size = Word(head + 8, 4, true);
    return IsUnknownDataSize(size) ? -1 : std::int64_t(size);
  }
  const bool littleEndian = container == "RIFF" || container == "RF64";
  if (!littleEndian && container != "RIFX" && container != "FORM") return -1;
  std::int64_t ds64DataBytes = -1; // RF64: the real size of a data chunk marked 0xFFFFFFFF
  std::int64_t at = 12;
  unsigned char chunk[8];
  while (ReadAt(fd, at, chunk, sizeof chunk)) {
    const std::string_view id(reinterpret_cast<const char*>(chunk), 4);
    const std::uint64_t size = Word(chunk + 4, 4, !littleEndian);
    unsigned char fields[16];
    if (id == "ds64" && ReadAt(fd, at + 8, fields, 16)) {
      ds64DataBytes = std::int64_t(Word(fields + 8, 8, false)); // after the RIFF size
    } else if (id == "data") {
      if (size == 0xFFFFFFFF && ds64DataBytes > 0) return ds64DataBytes;
      return IsUnknownDataSize(size) ? -1 : std::int64_t(size);
    } else if (id == "SSND") { // AIFF: offset and block size come first, then the samples
      if (IsUnknownDataSize(size) || !ReadAt(fd, at + 8, fields, 4)) return -1;
      const std::uint64_t skipped = 8 + Word(fields, 4, true);
      return size > skipped ? std::int64_t(size - skipped) : -1;
    }
    at += 8 + std::int64_t(size) + std::int64_t(size & 1);
  }
  return -1;
}

// See SoundFileReader::DeclaredFrames.
std::int64_t HeaderFrames(int fd, const SF_INFO& info) {
  const int sampleBytes = FixedSampleBytes(info.format);
  const std::int64_t dataBytes = sampleBytes > 0 ? DeclaredDataBytes(fd) : -1;
  if (dataBytes >= 0) return dataBytes / (std::int64_t(sampleBytes) * info.channels);
  const int container = info.format & SF_FORMAT_TYPEMASK;
  const bool exact = container != SF_FORMAT_MPEG && info.frames > 0 && info.frames < SF_COUNT_MAX;
  return exact ? std::int64_t(info.frames) : -1;
}

} // namespace

struct SoundFileReader::Handle {
  SNDFILE* file = nullptr;
  int fd = -1; // the file's descriptor, closed after the file

  void Close() {
    if (file) sf_close(file);
    if (fd >= 0) ::close(fd);
    file = nullptr;
    fd = -1;
  }
};

struct SoundFileWriter::Handle {
  SNDFILE* file = nullptr;
};

std::string FormatName(int format) {
  return FormatPartName(format & SF_FORMAT_TYPEMASK, SFC_GET_FORMAT_INFO) + ", " +
         FormatPartName(format & SF_FORMAT_SUBMASK, SFC_GET_FORMAT_INFO);
}

int IntegerPcmBits(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
  case SF_FORMAT_PCM_S8:
  case SF_FORMAT_PCM_U8:
    return 8;
  case SF_FORMAT_PCM_16:
  case SF_FORMAT_ALAC_16:
    return 16;
  case SF_FORMAT_ALAC_20:
    return 20;
  case SF_FORMAT_PCM_24:
  case SF_FORMAT_ALAC_24:
    return 24;
  case SF_FORMAT_PCM_32:
  case SF_FORMAT_ALAC_32:
    return 32;
  default:
    return 0;
  }
}

SoundFileReader::SoundFileReader() : handle_(std::make_unique<Handle>()) {}

SoundFileReader::~SoundFileReader() {
  handle_->Close();
}

bool SoundFileReader::Open(const std::string& path, std::string& error) {
  name_ = "'" + path + "'";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot read " + name_ + ": " + std::strerror(errno);
    return false;
  }
  return OpenDescriptor(fd, error);
}

bool SoundFileReader::OpenStandardInput(std::string& error) {
  name_ = "standard input";
  const int fd = CreateUnnamedTemporaryFile(error);
  if (fd < 0) return false;
  if (!CopyToEnd(STDIN_FILENO, fd) || ::lseek(fd, 0, SEEK_SET) != 0) {
    error = "cannot read standard input: " + std::string(std::strerror(errno));
    ::close(fd);
    return false;
  }
  return OpenDescriptor(fd, error);
}

bool SoundFileReader::OpenDescriptor(int fd, std::string& error) {
  SF_INFO info{};
  SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
  if (!file) {
    error = "cannot read " + name_ + ": " + LibraryError(nullptr);
    ::close(fd);
    return false;
  }
  handle_->Close();
  handle_->file = file;
  handle_->fd = fd;
  info_ = {info.format, info.channels, info.samplerate, static_cast<std::int64_t>(info.frames)};
  declaredFrames_ = HeaderFrames(fd, info);
  framesRead_ = 0;
  endReached_ = false;
  return true;
}

std::int64_t SoundFileReader::Read(double* interleaved, std::int64_t frames, std::string& error) {
  SNDFILE* file = handle_->file;
  const int bits = IntegerPcmBits(info_.format);
  std::int64_t done = 0;
  while (done < frames) {
    const sf_count_t want = frames - done;
    double* target = interleaved + done * info_.channels;
    sf_count_t got = 0;
    if (bits > 0) {
      // Left-justified 32-bit words; v / 2^31 is exact in double.
      scratch_.resize(static_cast<std::size_t>(want * info_.channels));
      got = sf_readf_int(file, scratch_.data(), want);
      for (sf_count_t i = 0; i < got * info_.channels; ++i) {
        target[i] = std::ldexp(static_cast<double>(scratch_[i]), -31);
      }
    } else {
      got = sf_readf_double(file, target, want);
    }
    if (got <= 0) {
      endReached_ = true;
      break;
    }
    done += got;
  }
  framesRead_ += done;
  if (sf_error(file) != SF_ERR_NO_ERROR) {
    // A decoder that fails before the declared end (a FLAC stream losing sync where the file
    // was cut) has read the prefix that is there.
    if (declaredFrames_ > framesRead_) {
      endReached_ = true;
      return done;
    }
    error = "cannot read " + name_ + ": " + LibraryError(file);
    return -1;
  }
  return done;
}

SoundFileWriter::SoundFileWriter() : handle_(std::make_unique<Handle>()) {}

SoundFileWriter::~SoundFileWriter() {
  if (handle_->file) sf_close(handle_->file);
}

bool SoundFileWriter::Open(int fd, const std::string& name, const AudioInfo& format,
                           std::string& error) {
  SF_INFO info{};
  info.format = format.format;
  info.channels = format.channels;
  info.samplerate = format.sampleRate;
  if (!sf_format_check(&info)) {
    error = "cannot write '" + name + "': libsndfile does not write " + FormatName(format.format) +
            " files";
    return false;
  }
  SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
  if (!file) {
    error = "cannot write '" + name + "': " + LibraryError(nullptr);
    return false;
  }
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  handle_->file = file;
  info_ = format;
  name_ = name;
  clipped_ = 0;
  return true;
}

bool SoundFileWriter::Write(const double* interleaved, std::int64_t frames, std::string& error) {
  SNDFILE* file = handle_->file;
  const std::size_t count = static_cast<std::size_t>(frames * info_.channels);
  const int bits = IntegerPcmBits(info_.format);
  sf_count_t written = 0;
  if (bits > 0) {
    const double scale = std::ldexp(1.0, bits - 1);
    const double lowest = -scale;
    const double highest = scale - 1.0;
    const int shift = 32 - bits;
    scratch_.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      const double x = std::isfinite(interleaved[i]) ? interleaved[i] : 0.0;
      double q = std::round(x * scale);
      if (q < lowest || q > highest) {
        q = q < lowest ? lowest : highest;
        ++clipped_;
      }
      // Left-justify in 32 bits; libsndfile shifts back down for the file's width.
      scratch_[i] =
          static_cast<int>(static_cast<std::uint32_t>(static_cast<std::int64_t>(q)) << shift);
    }
    written = sf_writef_int(file, scratch_.data(), frames);
  } else {
    bool finite = true;
    for (std::size_t i = 0; i < count && finite; ++i) finite = std::isfinite(interleaved[i]);
    if (finite) {
      written = sf_writef_double(file, interleaved, frames);
    } else {
      std::vector<double> cleaned(interleaved, interleaved + count);
      for (double& x : cleaned) x = std::isfinite(x) ? x : 0.0;
      written = sf_writef_double(file, cleaned.data(), frames);
    }
  }
  if (written != frames) {
    error = "cannot write '" + name_ + "': " + LibraryError(file);
    return false;
  }
  return true;
}

bool SoundFileWriter::Close(std::string& error) {
  SNDFILE* file = handle_->file;
  handle_->file = nullptr;
  if (!file) return true;
  const int result = sf_close(file);
  if (result != 0) {
    error = "cannot write '" + name_ + "': " + sf_error_number(result);
    return false;
  }
  return true;
}

} // namespace coral::render
