#pragma once
// Audio files and scratch folders for the tests that run the renderer and stock hosts on real
// files. Samples go through libsndfile unnormalized: PCM samples are integers of the file's
// width (a 16-bit file holds -32768..32767), float samples full scale 1; every sample of a PCM
// file up to 24 bits and of a float file is exact in a float.

#include <sndfile.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace coral::test {

using Channels = std::vector<std::vector<float>>;

struct AudioFile {
  int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  int sampleRate = 48000;
  Channels channels;

  std::int64_t Frames() const { return channels.empty() ? 0 : std::int64_t(channels[0].size()); }
};

// Writes `audio` to `path`; failing to is a test failure.
void WriteAudio(const std::string& path, const AudioFile& audio);
// Reads the file at `path`; no channels (and a test failure) when it cannot be read.
AudioFile ReadAudio(const std::string& path);

// The first frame at which `a` and `b` differ bit for bit (0 when their shapes differ), or -1.
long FirstDifference(const Channels& a, const Channels& b);

// A fresh folder under the system's temporary folder, removed with its content.
struct ScratchDir {
  ScratchDir();
  ~ScratchDir();

  std::string Path(const std::string& name) const { return path + "/" + name; }
  std::set<std::string> Entries() const;

  std::string path;
};

} // namespace coral::test
