#pragma once
// Runs the real coral-render binary in a scratch folder and reads and writes the audio files
// it works on, with libsndfile directly.

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

namespace coral::render::test {

// A fresh folder under the system's temporary folder, removed with its content.
class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> Entries() const;

private:
  std::string path_;
};

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs coral-render with `args`, capturing its standard output and error.
RunResult RunRender(const std::vector<std::string>& args);

// Audio as interleaved values. For 16- and 24-bit PCM formats `samples` hold integer sample values
// of the file's width (a 16-bit file holds -32768..32767); otherwise full-scale floats.
struct Audio {
  int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  int channels = 2;
  int sampleRate = 48000;
  std::vector<double> samples;

  std::int64_t Frames() const { return static_cast<std::int64_t>(samples.size()) / channels; }
  double At(std::int64_t frame, int channel) const { return samples[frame * channels + channel]; }
};

void WriteAudio(const std::string& path, const Audio& audio);
Audio ReadAudio(const std::string& path);

// Uniform random samples over the whole range of the format (full scale for float).
Audio Noise(int format, int channels, int sampleRate, std::int64_t frames, unsigned seed);

// A float file of `channels` identical channels holding `mono`.
Audio FloatAudio(const std::vector<double>& mono, int channels, int sampleRate);

// Amplitude of the component at `frequency` Hz in channel `channel` over frames
// [from, to), by least squares against a sine and a cosine.
double SineAmplitude(const Audio& audio, int channel, double frequency, std::int64_t from,
                     std::int64_t to);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

} // namespace coral::render::test
