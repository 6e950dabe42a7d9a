// Audio devices that cannot be found: the host reports through its reporter, opens nothing
// and keeps going; a back-end index outside the list falls back to the first back end.

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/StandaloneHost.h"
#include "tests/app/ProbePlug.h"
#include "tests/app/TestEnvironment.h"

namespace coral {
namespace {

struct RecordingReporter final : MessageReporter {
  void ShowError(const std::string& text, const std::string& caption) override {
    messages.push_back(caption + "|" + text);
  }
  std::vector<std::string> messages;
};

class DeviceFallbackTest : public ::testing::Test {
protected:
  void SetUp() override {
    test::ClearSettings();
    // A server name that no server has: the JACK back end lists no device.
    setenv("JACK_DEFAULT_SERVER", ("coral-absent-" + std::to_string(getpid())).c_str(), 1);
  }
  void TearDown() override { StandaloneHost::Destroy(); }
};

TEST_F(DeviceFallbackTest, NoDeviceOnEitherSideIsReportedAndOpensNothing) {
  const std::vector<std::string> drivers = StandaloneHost::DriverNames();
  const auto jack = std::find(drivers.begin(), drivers.end(), "Jack");
  ASSERT_NE(jack, drivers.end());

  StandaloneHost& host = StandaloneHost::Create(
      [](const iplug::InstanceInfo& info) { return std::make_unique<test::ProbePlug>(info); });
  RecordingReporter reporter;
  host.SetReporter(&reporter);
  ASSERT_TRUE(host.ReadSettings());
  host.Current().driverType = static_cast<std::uint32_t>(jack - drivers.begin());
  host.CreateAudioSystem();
  host.ProbeAudioDevices();
  ASSERT_TRUE(host.HasAudioSystem());
  EXPECT_TRUE(host.InputDeviceIds().empty());
  EXPECT_FALSE(host.DefaultOutputDevice().has_value());
  EXPECT_FALSE(host.FindAudioDevice("system").has_value());
  EXPECT_EQ(host.DeviceName(0), "");

  EXPECT_FALSE(host.RestartAudio());
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_EQ(reporter.messages[0], "Error|Please check the audio settings");
  EXPECT_FALSE(host.IsStreamRunning());
  // The stored names stay as they were: nothing replaced them.
  EXPECT_EQ(host.Current().audioInputDevice, "Default Device");
  EXPECT_FALSE(host.OpenAudioStream(0, 0, 48000, 512));
  EXPECT_EQ(reporter.messages.size(), 1u); // a refused stream shows no message

  host.Current().driverType = 99;
  host.CreateAudioSystem();
  EXPECT_EQ(host.Current().driverType, 0u);
  EXPECT_TRUE(host.HasAudioSystem());
}

} // namespace
} // namespace coral
