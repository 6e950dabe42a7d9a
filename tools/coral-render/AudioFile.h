#pragma once
// Audio files through libsndfile, with sample values as doubles at full scale +-1.
//
// Integer PCM (8, 16, 20, 24 and 32 bits) is converted here rather than by libsndfile, whose
// integer scaling is not symmetric (it reads 16-bit samples as v / 32768 but writes x * 32767):
// a sample v of b bits reads as exactly v / 2^(b-1) and a value x writes as x * 2^(b-1)
// rounded to nearest, halfway away from zero, and clipped to the b-bit range. A file read and
// written back unchanged is therefore identical sample for sample. Floating-point files pass
// through unscaled; other encodings (Vorbis, Opus, ADPCM, u-law, ...) use libsndfile's own
// conversion with clipping on.
//
// Threads: one owner per object.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace coral::render {

struct AudioInfo {
  int format = 0; // libsndfile format word: container | encoding | byte order
  int channels = 0;
  int sampleRate = 0;
  std::int64_t frames = 0; // from the file's header; approximate for some compressed files
};

// Text such as "WAV (Microsoft), Signed 16 bit PCM" for a format word.
std::string FormatName(int format);

// Bits of an integer PCM encoding handled exactly (8, 16, 20, 24, 32), else 0.
int IntegerPcmBits(int format);

class SoundFileReader {
public:
  SoundFileReader();
  ~SoundFileReader();
  SoundFileReader(const SoundFileReader&) = delete;
  SoundFileReader& operator=(const SoundFileReader&) = delete;

  // False with `error` set when libsndfile cannot open or decode the file.
  bool Open(const std::string& path, std::string& error);
  // Reads all of standard input into an unnamed temporary file first (any format that
  // libsndfile reads from a file, also one that needs seeking), then opens that.
  bool OpenStandardInput(std::string& error);
  const AudioInfo& Info() const { return info_; }
  // "'PATH'" or "standard input", for messages.
  const std::string& Name() const { return name_; }

  // Reads up to `frames` frames into `interleaved` (frames x channels values). Answers the
  // frames read, fewer than asked only at the end of the data, or -1 with `error` set. A
  // decoding error before the declared end counts as the end of the data (see EndedEarly).
  std::int64_t Read(double* interleaved, std::int64_t frames, std::string& error);

  // Frames the file's header declares, -1 where unknown: from the data size in the header
  // of WAV (RIFF, RIFX, RF64), AIFF and AU files with fixed-size samples, otherwise
  // libsndfile's frame count (MPEG excluded, whose count is an estimate). libsndfile itself
  // shortens the count of a WAV, AIFF or AU file to the data present.
  std::int64_t DeclaredFrames() const { return declaredFrames_; }
  // Frames read so far, and whether a read reached the end of the data.
  std::int64_t FramesRead() const { return framesRead_; }
  bool EndReached() const { return endReached_; }
  // True when the end of the data was reached before the frames the header declares: the
  // file was cut short.
  bool EndedEarly() const { return endReached_ && declaredFrames_ > framesRead_; }

private:
  bool OpenDescriptor(int fd, std::string& error);

  struct Handle;
  std::unique_ptr<Handle> handle_;
  AudioInfo info_;
  std::string name_;
  std::vector<int> scratch_;
  std::int64_t declaredFrames_ = -1;
  std::int64_t framesRead_ = 0;
  bool endReached_ = false;
};

class SoundFileWriter {
public:
  SoundFileWriter();
  ~SoundFileWriter();
  SoundFileWriter(const SoundFileWriter&) = delete;
  SoundFileWriter& operator=(const SoundFileWriter&) = delete;

  // Starts a file of `format` (its format, channels and sample rate) on the open, seekable
  // descriptor `fd`, which stays owned by the caller. `name` is used in messages.
  bool Open(int fd, const std::string& name, const AudioInfo& format, std::string& error);

  // Appends `frames` frames from `interleaved`. Non-finite values write as 0.
  bool Write(const double* interleaved, std::int64_t frames, std::string& error);

  // Completes the file (header sizes and so on).
  bool Close(std::string& error);

  // Integer PCM samples that were clipped to the format's range so far.
  std::int64_t ClippedSamples() const { return clipped_; }

private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
  AudioInfo info_;
  std::string name_;
  std::vector<int> scratch_;
  std::int64_t clipped_ = 0;
};

} // namespace coral::render
