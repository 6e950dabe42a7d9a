#include "tests/support/AudioFiles.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

namespace coral::test {

void WriteAudio(const std::string& path, const AudioFile& audio) {
  SF_INFO info{0, audio.sampleRate, int(audio.channels.size()), audio.format, 0, 0};
  std::vector<float> interleaved(audio.Frames() * audio.channels.size());
  for (std::size_t i = 0; i < interleaved.size(); ++i)
    interleaved[i] = audio.channels[i % info.channels][i / info.channels];
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
  sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
  EXPECT_EQ(sf_writef_float(file, interleaved.data(), sf_count_t(audio.Frames())),
            sf_count_t(audio.Frames()));
  sf_close(file);
}

AudioFile ReadAudio(const std::string& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
  if (!file) return {};
  std::vector<float> interleaved(std::size_t(info.frames * info.channels));
  sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
  EXPECT_EQ(sf_readf_float(file, interleaved.data(), info.frames), info.frames);
  sf_close(file);
  AudioFile audio{info.format, info.samplerate,
                  Channels(std::size_t(info.channels), std::vector<float>(info.frames))};
  for (std::size_t i = 0; i < interleaved.size(); ++i)
    audio.channels[i % info.channels][i / info.channels] = interleaved[i];
  return audio;
}

long FirstDifference(const Channels& a, const Channels& b) {
  if (a.size() != b.size()) return 0;
  for (std::size_t c = 0; c < a.size(); ++c) {
    if (a[c].size() != b[c].size()) return 0;
    const auto m = std::mismatch(a[c].begin(), a[c].end(), b[c].begin(),
                                 [](float x, float y) { return std::memcmp(&x, &y, 4) == 0; });
    if (m.first != a[c].end()) return m.first - a[c].begin();
  }
  return -1;
}

ScratchDir::ScratchDir()
    : path((std::filesystem::temp_directory_path() / "coral-test-XXXXXX").string()) {
  EXPECT_NE(::mkdtemp(path.data()), nullptr) << path;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

std::set<std::string> ScratchDir::Entries() const {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path))
    names.insert(entry.path().filename());
  return names;
}

} // namespace coral::test
