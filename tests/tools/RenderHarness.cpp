#include "tests/tools/RenderHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace coral::render::test {

namespace fs = std::filesystem;

namespace {

// Bits of the integer PCM formats the tests use, else 0.
int PcmBits(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
  case SF_FORMAT_PCM_16:
    return 16;
  case SF_FORMAT_PCM_24:
    return 24;
  default:
    return 0;
  }
}

} // namespace

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "coral-render-test-XXXXXX").string();
  path_ = ::mkdtemp(pattern.data());
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

RunResult RunRender(const std::vector<std::string>& args) {
  const ScratchDir capture;
  const std::string outPath = capture.Path("stdout"), errPath = capture.Path("stderr");
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!std::freopen(outPath.c_str(), "w", stdout) || !std::freopen(errPath.c_str(), "w", stderr))
      ::_exit(127);
    std::vector<char*> argv;
    std::string program = CORAL_RENDER_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  return result;
}

void WriteAudio(const std::string& path, const Audio& audio) {
  SF_INFO info{};
  info.format = audio.format;
  info.channels = audio.channels;
  info.samplerate = audio.sampleRate;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  const int bits = PcmBits(audio.format);
  if (bits > 0) {
    std::vector<int> words(audio.samples.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
      words[i] = static_cast<int>(static_cast<std::uint32_t>(std::int64_t(audio.samples[i]))
                                  << (32 - bits));
    }
    EXPECT_EQ(sf_writef_int(file, words.data(), audio.Frames()), audio.Frames());
  } else {
    std::vector<float> values(audio.samples.begin(), audio.samples.end());
    EXPECT_EQ(sf_writef_float(file, values.data(), audio.Frames()), audio.Frames());
  }
  sf_close(file);
}

Audio ReadAudio(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  Audio audio;
  EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
  if (!file) return audio;
  audio.format = info.format;
  audio.channels = info.channels;
  audio.sampleRate = info.samplerate;
  audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
  const int bits = PcmBits(info.format);
  if (bits > 0) {
    std::vector<int> words(audio.samples.size());
    EXPECT_EQ(sf_readf_int(file, words.data(), info.frames), info.frames);
    for (std::size_t i = 0; i < words.size(); ++i) audio.samples[i] = words[i] >> (32 - bits);
  } else {
    std::vector<float> values(audio.samples.size());
    EXPECT_EQ(sf_readf_float(file, values.data(), info.frames), info.frames);
    std::copy(values.begin(), values.end(), audio.samples.begin());
  }
  sf_close(file);
  return audio;
}

Audio Noise(int format, int channels, int sampleRate, std::int64_t frames, unsigned seed) {
  Audio audio{format, channels, sampleRate, {}};
  std::mt19937 random(seed);
  const int bits = PcmBits(format);
  audio.samples.resize(static_cast<std::size_t>(frames * channels));
  if (bits > 0) {
    const std::int64_t top = std::int64_t(1) << (bits - 1);
    std::uniform_int_distribution<std::int64_t> value(-top, top - 1);
    for (double& s : audio.samples) s = double(value(random));
    // Both extremes appear.
    audio.samples[0] = double(-top);
    audio.samples[1] = double(top - 1);
  } else {
    std::uniform_real_distribution<float> value(-1.f, 1.f);
    for (double& s : audio.samples) s = value(random);
  }
  return audio;
}

Audio FloatAudio(const std::vector<double>& mono, int channels, int sampleRate) {
  Audio audio{SF_FORMAT_WAV | SF_FORMAT_FLOAT, channels, sampleRate, {}};
  for (double x : mono) {
    for (int c = 0; c < channels; ++c) audio.samples.push_back(float(x));
  }
  return audio;
}

double SineAmplitude(const Audio& audio, int channel, double frequency, std::int64_t from,
                     std::int64_t to) {
  // Normal equations of x ~ a sin + b cos over the window.
  double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0;
  for (std::int64_t n = from; n < to; ++n) {
    const double w = 2 * M_PI * frequency * double(n) / audio.sampleRate;
    const double s = std::sin(w), c = std::cos(w), x = audio.At(n, channel);
    ss += s * s, cc += c * c, sc += s * c, xs += x * s, xc += x * c;
  }
  const double det = ss * cc - sc * sc;
  const double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
  return std::hypot(a, b);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

} // namespace coral::render::test
