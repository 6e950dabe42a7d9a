#pragma once
// Drives the real coral-sieve executable for gui tests. The test process runs on a private X
// server (tests/support/with-xvfb); the application runs as a child process with a
// temporary folder of its own for its runtime folder (the single-instance socket), its
// configuration ("CoralSieve/settings.ini") and its temporary files (screenshots), and gets
// real X input through xdotool. JACK clients of the application reach only a JACK server of the
// test's own (UsePrivateJackServer), so it finds no audio device unless the test starts one.
//
// Coordinates given to the input operations are editor canvas coordinates (the 1180 x 800
// design at draw scale 1); the driver turns them into screen pixels with the editor's
// position and draw scale, which it asks the application for.
//
//   test::AppDriver app;
//   ASSERT_TRUE(app.Start());                 // --no-io; waits for the editor's first frame
//   app.Click(600, 300);
//   app.WaitFrames(2);
//   EXPECT_EQ(app.State().current[kMix], 100.f);
//
// Threads: the test's thread only.

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/StateChunk.h"

namespace coral::test {

// The content of the file at `path` (empty when it cannot be read).
std::string ReadFile(const std::string& path);

struct AppOptions {
  // Open audio and MIDI devices; without it the application starts with --no-io.
  bool io = false;
  // Further arguments.
  std::vector<std::string> args;
  // The content of "settings.ini" before the start; none when empty.
  std::string settings;
  // Wait until the main window is mapped and the editor has drawn its first frame.
  bool waitForEditor = true;
};

// The editor's area of the screen, top row first.
struct Image {
  int width = 0;
  int height = 0;
  float scale = 1.f; // screen pixels per canvas pixel
  std::vector<std::array<std::uint8_t, 3>> pixels;

  // The red, green and blue of the pixel at canvas point (x, y).
  std::array<std::uint8_t, 3> Pixel(float x, float y) const;
};

class AppDriver {
public:
  AppDriver();
  // Stops a running application (SIGTERM, then waits) and removes the temporary folder.
  ~AppDriver();
  AppDriver(const AppDriver&) = delete;
  AppDriver& operator=(const AppDriver&) = delete;

  // Starts build/app/coral-sieve; false (with a test failure that says why) when it does not
  // start or, when waited for, its editor does not draw within 30 s.
  bool Start(const AppOptions& options = {});
  bool Running();
  // The exit status once the application has ended, or nullopt when it still runs after
  // `timeoutMs`. A death by signal reports 128 + the signal number.
  std::optional<int> WaitForExit(int timeoutMs = 30000);
  // SIGTERM, and answers the exit status (-1: still running after 30 s, then killed).
  int Stop();
  // Runs coral-sieve once more with the same folders and the given arguments, waits for it
  // and answers its exit status; its standard error goes to `standardError` when given.
  int RunAnother(const std::vector<std::string>& args, std::string* standardError = nullptr);

  // The folder the application takes as its temporary folder, its settings file, and what it
  // printed on its standard error so far.
  const std::string& TempDir() const { return tempDir_; }
  std::string SettingsFile() const { return root_ + "/config/CoralSieve/settings.ini"; }
  std::string Stderr() const { return ReadFile(root_ + "/app.err"); }

  // Real X input at canvas coordinates. `modifiers` names held keys joined by '+' ("shift",
  // "ctrl"; "" for none). Wheel clicks are positive upwards.
  void Click(float x, float y, int button = 1, int count = 1, const std::string& modifiers = "");
  void DoubleClick(float x, float y) { Click(x, y, 1, 2); }
  void Wheel(float x, float y, int clicks) { Click(x, y, clicks > 0 ? 4 : 5, std::abs(clicks)); }
  void Drag(float x0, float y0, float x1, float y1, const std::string& modifiers = "",
            int steps = 20);
  // A key with modifiers, by X key names joined by '+': "ctrl+shift+s", "Return", "comma".
  void Key(const std::string& keys);
  // Types `text` (printable ASCII).
  void Type(const std::string& text);

  // The application's current settings, read through `coral-sieve --save-state`.
  StateContent State();
  // Loads, through `coral-sieve --load-state`, the current state with its current values
  // replaced by `values`; true when it was accepted.
  bool ApplyValues(const ParamSnapshot& values);

  Image Screenshot();

  // Waits until the editor has run `frames` more frame cycles; false after 10 s.
  bool WaitFrames(int frames);
  // Polls `done` every 10 ms; false when it is still false after `timeoutMs`.
  bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

  // Top-level windows of the application by title (main window "CORAL SIEVE", message
  // boxes by their caption, "Preferences").
  bool WindowShown(const std::string& title);
  bool WaitForWindow(const std::string& title, int timeoutMs = 10000);
  // Gives the window the keyboard focus and raises it; false when it is not shown.
  bool FocusWindow(const std::string& title);

private:
  // The editor's frame counters, position on the screen and draw scale, as the application
  // reports them.
  struct EditorStatus {
    long frames = 0, cycles = 0;
    int x = 0, y = 0;
    float scale = 1.f;
  };
  std::optional<EditorStatus> QueryEditor();
  pid_t Spawn(const std::vector<std::string>& args, const std::string& errorFile);
  // xdotool's "mousemove X Y" for canvas point (x, y).
  std::string MoveTo(float x, float y);

  std::string root_;
  std::string tempDir_;
  pid_t pid_ = -1;
  std::optional<int> exitStatus_;
  int stateFiles_ = 0;
};

} // namespace coral::test
