#pragma once
// What the host tests start from. The user's configuration folder is a private temporary folder
// (removed at exit), and JACK clients reach only a server of this process's own name and never
// start one themselves. The probe plug-in's output is a closed-form function of its input:
// output channel c is input channel c times kGain[c] (silence for a null input). It counts its
// blocks, and the blocks that break the host's promises: not 512 frames, or auxiliary inputs
// missing or not silent. Its channel configurations are the product's, so the host treats it
// the same way.

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "app/StandaloneHost.h"
#include "tests/support/JackSession.h"

namespace coral::test {

struct ConfigHome {
  ConfigHome() : path((std::filesystem::temp_directory_path() / "coral-app-XXXXXX").string()) {
    if (!mkdtemp(path.data())) std::abort();
    setenv("XDG_CONFIG_HOME", path.c_str(), 1);
    UsePrivateJackServer();
  }
  ~ConfigHome() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string SettingsFolder() const { return path + "/CoralSieve"; }
  std::string SettingsFile() const { return SettingsFolder() + "/settings.ini"; }
  std::string ReadSettingsFile() const {
    std::ifstream in(SettingsFile(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // The next start-up is a first run.
  void ClearSettings() const { std::filesystem::remove_all(SettingsFolder()); }

  std::string path;
};
inline const ConfigHome gConfigHome;

class ProbePlug final : public reef::IPluginApp {
public:
  static constexpr double kGain[2] = {2.0, 3.0};

  explicit ProbePlug(const reef::InstanceInfo& info)
      : IPluginApp({.channelIOStr = "1-1 2-2 1.1-1 1.2-1 2.1-2 2.2-2"}, info) {}
  // Replaces the process-wide host by one around a probe.
  static StandaloneHost& CreateHost() {
    return StandaloneHost::Create(
        [](const auto& info) { return std::make_unique<ProbePlug>(info); });
  }
  static ProbePlug& Of(StandaloneHost& host) { return static_cast<ProbePlug&>(host.Plug()); }

  void ProcessBlock(reef::sample** inputs, reef::sample** outputs, int nFrames) override {
    bool bad = nFrames != 512 || !inputs[2] || !inputs[3];
    for (int c = 0; c < 2; ++c) {
      for (int i = 0; i < nFrames; ++i) {
        bad = bad || (inputs[2 + c] && inputs[2 + c][i] != 0.0);
        if (outputs[c]) outputs[c][i] = inputs[c] ? kGain[c] * inputs[c][i] : 0.0;
      }
    }
    blocks.fetch_add(1);
    if (bad) badBlocks.fetch_add(1);
  }
  bool SerializeState(reef::IByteChunk&) const override { return true; }
  int UnserializeState(const reef::IByteChunk&, int startPos) override { return startPos; }

  std::atomic<int> blocks{0};
  std::atomic<int> badBlocks{0};
};

} // namespace coral::test
