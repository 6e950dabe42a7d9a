#include "tools/coral-render/AudioFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sndfile.h>

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

} // namespace

struct SoundFileReader::Handle {
  SNDFILE* file = nullptr;
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
  if (handle_->file) sf_close(handle_->file);
}

bool SoundFileReader::Open(const std::string& path, std::string& error) {
  if (std::FILE* probe = std::fopen(path.c_str(), "rb")) {
    std::fclose(probe);
  } else {
    error = "cannot read '" + path + "': " + std::strerror(errno);
    return false;
  }
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) {
    error = "cannot read '" + path + "': " + LibraryError(nullptr);
    return false;
  }
  if (handle_->file) sf_close(handle_->file);
  handle_->file = file;
  path_ = path;
  info_ = {info.format, info.channels, info.samplerate, static_cast<std::int64_t>(info.frames)};
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
    if (got <= 0) break;
    done += got;
  }
  if (sf_error(file) != SF_ERR_NO_ERROR) {
    error = "cannot read '" + path_ + "': " + LibraryError(file);
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
