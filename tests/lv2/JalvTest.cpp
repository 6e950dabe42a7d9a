// The LV2 plug-in in jalv on a JACK server of the test's own: jalv finds the bundle, tells JACK
// the plug-in's latency, and a burst played through it comes out 4352 frames later, unchanged
// at the default settings.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "engine/EngineConstants.h"
#include "lv2/Lv2Layout.h"
#include "tests/support/JackSession.h"

namespace coral::lv2 {
namespace {

constexpr int kBurstFrames = 6000;

// jalv under the JACK client name "coral-jalv", finding the bundle through LV2_PATH. It runs
// until its standard input closes: on pclose.
std::unique_ptr<FILE, int (*)(FILE*)> StartJalv() {
  const std::string bundles =
      std::filesystem::path(CORAL_LV2_BUNDLE).parent_path().parent_path().string();
  const std::string command = "env LV2_PATH=" + bundles +
                              " " CORAL_LV2_HOST_ENV " jalv -n coral-jalv -x " + kPluginUri +
                              " >/dev/null 2>&1";
  return {popen(command.c_str(), "w"), &pclose};
}

TEST(Jalv, RunsThePlugInWithItsLatencyOnAJackServer) {
  test::JackTestServer server;
  ASSERT_EQ(test::PrivateShmError(), "");
  ASSERT_TRUE(server.Start(512)) << "jackd did not start";
  test::JackPeer peer;
  ASSERT_TRUE(peer.IsOpen());
  const auto jalv = StartJalv();
  ASSERT_TRUE(jalv);
  // jalv tells JACK the latency that the plug-in's latency port reported after a run.
  const auto latency = [&] {
    jack_latency_range_t range{};
    if (jack_port_t* out = jack_port_by_name(peer.Client(), "coral-jalv:out_l")) {
      jack_port_get_latency_range(out, JackPlaybackLatency, &range);
    }
    return range;
  };
  ASSERT_TRUE(test::WaitFor([&] { return latency().min == jack_nframes_t(kFixedLatency); }))
      << "jalv did not report the plug-in's latency";
  EXPECT_EQ(latency().max, jack_nframes_t(kFixedLatency));
  for (const char* port :
       {"coral-jalv:in_r", "coral-jalv:out_r", "coral-jalv:sc_l", "coral-jalv:sc_r"}) {
    EXPECT_TRUE(jack_port_by_name(peer.Client(), port)) << port;
  }

  std::mt19937 random(5);
  std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
  test::Channels burst(2, std::vector<float>(kBurstFrames));
  for (auto& channel : burst) {
    for (float& x : channel) x = noise(random);
  }
  const test::Channels recorded =
      peer.PlayThrough(burst, kFixedLatency + kBurstFrames, {"coral-jalv:in_l", "coral-jalv:in_r"},
                       {"coral-jalv:out_l", "coral-jalv:out_r"});
  ASSERT_EQ(recorded.size(), 2u) << "the server stopped";
  for (int c = 0; c < 2; ++c) {
    const std::vector<float> delayed(recorded[c].begin() + kFixedLatency, recorded[c].end());
    EXPECT_TRUE(std::all_of(recorded[c].begin(), recorded[c].begin() + kFixedLatency,
                            [](float x) { return x == 0.f; }));
    EXPECT_EQ(delayed, burst[c]) << "channel " << c;
  }
}

} // namespace
} // namespace coral::lv2
