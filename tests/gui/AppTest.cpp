// The coral-sieve executable end to end on a private X server: screenshots, the single
// instance and its state requests, the screenshot key, Quit, and a start with a broken
// settings file and no usable audio device.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include "core/CoralSieve.h"
#include "tests/support/AppDriver.h"

namespace coral {
namespace {

using test::AppDriver;
using test::AppOptions;
using test::ReadFile;

// Width and height of a PNG file; 0 x 0 for anything else.
std::pair<int, int> PngSize(const std::string& path) {
  int width = 0, height = 0;
  GdkPixbufFormat* format = gdk_pixbuf_get_file_info(path.c_str(), &width, &height);
  if (!format) return {0, 0};
  gchar* name = gdk_pixbuf_format_get_name(format);
  const bool png = std::string(name) == "png";
  g_free(name);
  return png ? std::pair(width, height) : std::pair(0, 0);
}

TEST(App, ScreenshotOptionWritesTheEditorAndEndsWithoutOpeningAudio) {
  AppDriver app;
  // Audio is not switched off: only the screenshot path keeps the devices closed, which
  // would otherwise report that there is no device.
  const std::string path = app.TempDir() + "/editor.png";
  AppOptions options;
  options.io = true;
  options.args = {"--screenshot", path};
  options.waitForEditor = false;
  ASSERT_TRUE(app.Start(options));
  bool errorShown = false;
  app.WaitUntil(
      [&] { return (errorShown = errorShown || app.WindowShown("Error"), !app.Running()); }, 30000);
  EXPECT_EQ(app.WaitForExit(0), 0) << app.Stderr();
  EXPECT_FALSE(errorShown);
  EXPECT_EQ(PngSize(path), std::pair(1180, 800));
}

TEST(App, SecondStartPresentsTheFirstAndStateTravelsThroughTheRunningInstance) {
  AppDriver app;
  ASSERT_TRUE(app.Start());
  EXPECT_EQ(app.RunAnother({"--no-io"}), 0);
  EXPECT_TRUE(app.Running());
  EXPECT_TRUE(app.WaitFrames(2));

  // A state saved by the running instance, changed and loaded back, is what it then shows.
  StateContent state = app.State();
  EXPECT_EQ(state.current[kMix], 100.f);
  state.current[kMix] = 37.f;
  state.current[BandParamIndex(2, kGain)] = -4.5f;
  ASSERT_TRUE(app.ApplyValues(state.current));
  EXPECT_EQ(app.State().current, state.current);

  // A rejected file changes nothing and says why; so does a save without a running instance.
  const std::string bad = app.TempDir() + "/short.state";
  std::ofstream(bad) << "RVEQ";
  std::string error;
  EXPECT_EQ(app.RunAnother({"--load-state", bad}, &error), 2);
  EXPECT_NE(error.find("rejected: size: 4 bytes"), std::string::npos) << error;
  EXPECT_EQ(app.State().current, state.current);

  EXPECT_EQ(app.Stop(), 0);
  EXPECT_EQ(app.RunAnother({"--save-state", app.TempDir() + "/none.state"}, &error), 2);
  EXPECT_NE(error.find("not running"), std::string::npos) << error;
}

TEST(App, KeysOpenPreferencesAndWriteTheNamedScreenshotInTheTemporaryFolder) {
  AppDriver app;
  ASSERT_TRUE(app.Start());
  app.Key("ctrl+comma");
  ASSERT_TRUE(app.WaitForWindow("Preferences"));
  app.FocusWindow("Preferences");
  app.Key("Escape");
  ASSERT_TRUE(app.WaitUntil([&] { return !app.WindowShown("Preferences"); }));

  app.FocusWindow("CORAL SIEVE");
  app.Key("ctrl+shift+s");
  ASSERT_TRUE(app.WaitForWindow("Screenshot Saved"));
  const std::regex name(R"(CORAL SIEVE_screenshot_20\d{6}_\d{6}\.png)");
  std::vector<std::string> shots;
  for (const auto& entry : std::filesystem::directory_iterator(app.TempDir())) {
    if (std::regex_match(entry.path().filename().string(), name)) shots.push_back(entry.path());
  }
  ASSERT_EQ(shots.size(), 1u);
  EXPECT_EQ(PngSize(shots[0]), std::pair(1180, 800));
  // No leaves the file alone.
  app.FocusWindow("Screenshot Saved");
  app.Key("Escape");
  EXPECT_TRUE(app.WaitUntil([&] { return !app.WindowShown("Screenshot Saved"); }));
  EXPECT_TRUE(std::filesystem::exists(shots[0]));
}

TEST(App, QuitThroughTheMenuEndsWithZeroAndKeepsTheSettings) {
  const std::string settings =
      "[audio]\ndriver=2\nindev=Studio In\noutdev=Studio Out\nin1=3\nin2=4\nout1=1\nout2=2\n"
      "buffer=1024\nsr=96000\n[midi]\nindev=Keys MIDI 1\noutdev=Synth MIDI 1\ninchan=2\n"
      "outchan=0\n";
  AppDriver app;
  AppOptions options;
  options.settings = settings;
  ASSERT_TRUE(app.Start(options));
  // On a busy machine the menu may open after "q" was typed: close it and try again.
  for (int attempt = 0; attempt < 5 && app.Running(); ++attempt) {
    app.Key("alt+f");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    app.Key("q");
    if (!app.WaitForExit(5000)) app.Key("Escape");
  }
  EXPECT_EQ(app.WaitForExit(), 0);
  EXPECT_EQ(ReadFile(app.SettingsFile()), settings);
}

TEST(App, BrokenSettingsAndNoUsableDeviceStillOpenTheWindowWithTheError) {
  AppDriver app;
  // Unreadable values take their fallbacks: the first back end (JACK), whose server does not
  // run, so there is no device.
  AppOptions options;
  options.io = true;
  options.settings = std::string("\x00\xff[audio\ndriver=x\n", 16);
  ASSERT_TRUE(app.Start(options));
  EXPECT_TRUE(app.WindowShown("CORAL SIEVE"));
  ASSERT_TRUE(app.WaitForWindow("Error"));
  app.FocusWindow("Error");
  app.Key("Return");
  EXPECT_TRUE(app.WaitUntil([&] { return !app.WindowShown("Error"); }));
  EXPECT_NE(ReadFile(app.SettingsFile()).find("[audio]\ndriver=0\n"), std::string::npos);
  EXPECT_EQ(app.Stop(), 0);
}

} // namespace
} // namespace coral
