#include "tests/support/AppDriver.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include "app/SingleInstance.h"
#include "tests/support/JackSession.h"

extern char** environ;

namespace coral::test {
namespace {

// Decodes a wait status: the exit status, or 128 + the signal.
int ExitStatus(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs xdotool with `command`; true when it succeeded.
bool Xdo(const std::string& command) {
  return std::system(("xdotool " + command + " 2>/dev/null").c_str()) == 0;
}

// xdotool's search for the visible top-level window titled `title`.
std::string Search(const std::string& title) {
  return "search --onlyvisible --name '^" + title + "$'";
}

// xdotool's presses ("keydown") or releases ("keyup") of `modifiers` ("shift+ctrl").
std::string Modifiers(const std::string& action, const std::string& modifiers) {
  std::string command;
  std::stringstream names(modifiers);
  for (std::string name; std::getline(names, name, '+');) command += " " + action + " " + name;
  return command;
}

} // namespace

std::string ReadFile(const std::string& path) {
  std::ostringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  return content.str();
}

std::array<std::uint8_t, 3> Image::Pixel(float x, float y) const {
  const int column = std::clamp(int(std::floor(x * scale)), 0, width - 1);
  const int row = std::clamp(int(std::floor(y * scale)), 0, height - 1);
  return pixels[std::size_t(row) * width + column];
}

AppDriver::AppDriver() {
  // JACK clients of the application reach only a server of the test's own.
  UsePrivateJackServer();
  root_ = (std::filesystem::temp_directory_path() / "coral-app-XXXXXX").string();
  if (!mkdtemp(root_.data())) ADD_FAILURE() << "cannot make a temporary folder";
  tempDir_ = root_ + "/tmp";
  for (const char* folder : {"/run", "/config", "/tmp"}) {
    std::filesystem::create_directory(root_ + folder);
    std::filesystem::permissions(root_ + folder, std::filesystem::perms::owner_all);
  }
}

AppDriver::~AppDriver() {
  if (Running()) Stop();
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

pid_t AppDriver::Spawn(const std::vector<std::string>& args, const std::string& errorFile) {
  std::vector<std::string> strings = {CORAL_SIEVE_EXECUTABLE}, env;
  strings.insert(strings.end(), args.begin(), args.end());
  for (char** entry = environ; *entry; ++entry) {
    const std::string name = std::string(*entry).substr(0, std::string(*entry).find('='));
    if (name != "XDG_RUNTIME_DIR" && name != "XDG_CONFIG_HOME" && name != "TMPDIR") {
      env.push_back(*entry);
    }
  }
  env.insert(env.end(), {"XDG_RUNTIME_DIR=" + root_ + "/run",
                         "XDG_CONFIG_HOME=" + root_ + "/config", "TMPDIR=" + tempDir_});
  std::vector<char*> argv, envp;
  for (std::string& arg : strings) argv.push_back(arg.data());
  for (std::string& variable : env) envp.push_back(variable.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child == 0) {
    // An application left behind by a test that died ends with it.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
    dup2(open(errorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600), STDERR_FILENO);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return child;
}

bool AppDriver::Start(const AppOptions& options) {
  if (!options.settings.empty()) {
    std::filesystem::create_directories(root_ + "/config/CoralSieve");
    std::ofstream(SettingsFile(), std::ios::binary) << options.settings;
  }
  std::vector<std::string> args;
  if (!options.io) args.push_back("--no-io");
  args.insert(args.end(), options.args.begin(), options.args.end());
  exitStatus_.reset();
  pid_ = Spawn(args, root_ + "/app.err");
  if (!options.waitForEditor) return pid_ > 0;
  const bool drawn = WaitUntil(
      [&] {
        const std::optional<EditorStatus> status = QueryEditor();
        return (status && status->frames > 0) || !Running();
      },
      30000);
  if (!drawn || !Running()) {
    ADD_FAILURE() << "the editor did not appear; standard error:\n" << Stderr();
    return false;
  }
  FocusWindow("CORAL SIEVE");
  return true;
}

bool AppDriver::Running() {
  int status = 0;
  if (pid_ <= 0 || exitStatus_) return false;
  if (waitpid(pid_, &status, WNOHANG) == pid_) exitStatus_ = ExitStatus(status);
  return !exitStatus_;
}

std::optional<int> AppDriver::WaitForExit(int timeoutMs) {
  WaitUntil([&] { return !Running(); }, timeoutMs);
  return exitStatus_;
}

int AppDriver::Stop() {
  if (!Running()) return exitStatus_.value_or(-1);
  kill(pid_, SIGTERM);
  if (const std::optional<int> status = WaitForExit()) return *status;
  kill(pid_, SIGKILL);
  WaitForExit();
  return -1;
}

int AppDriver::RunAnother(const std::vector<std::string>& args, std::string* standardError) {
  const std::string errorFile = root_ + "/another.err";
  std::filesystem::remove(errorFile);
  const pid_t child = Spawn(args, errorFile);
  int status = 0;
  if (child <= 0 || waitpid(child, &status, 0) != child) return -1;
  if (standardError) *standardError = ReadFile(errorFile);
  return ExitStatus(status);
}

std::optional<AppDriver::EditorStatus> AppDriver::QueryEditor() {
  const std::optional<std::string> reply =
      AskInstanceAt(root_ + "/run/CoralSieve.sock", "status", 2000);
  EditorStatus s;
  if (!reply || std::sscanf(reply->c_str(), "ok frames=%ld cycles=%ld x=%d y=%d scale=%f",
                            &s.frames, &s.cycles, &s.x, &s.y, &s.scale) != 5) {
    return std::nullopt;
  }
  return s;
}

std::string AppDriver::MoveTo(float x, float y) {
  const EditorStatus status = QueryEditor().value_or(EditorStatus{});
  return " mousemove " + std::to_string(status.x + std::lround(x * status.scale)) + " " +
         std::to_string(status.y + std::lround(y * status.scale));
}

void AppDriver::Click(float x, float y, int button, int count, const std::string& modifiers) {
  Xdo(MoveTo(x, y) + Modifiers("keydown", modifiers) + " click --repeat " + std::to_string(count) +
      " --delay 30 " + std::to_string(button) + Modifiers("keyup", modifiers));
}

void AppDriver::Drag(float x0, float y0, float x1, float y1, const std::string& modifiers,
                     int steps) {
  std::string command = MoveTo(x0, y0) + Modifiers("keydown", modifiers) + " mousedown 1";
  for (int step = 1; step <= steps; ++step) {
    const float t = float(step) / float(steps);
    command += MoveTo(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t) + " sleep 0.01";
  }
  Xdo(command + " mouseup 1" + Modifiers("keyup", modifiers));
}

void AppDriver::Key(const std::string& keys) {
  Xdo("key " + keys);
}

void AppDriver::Type(const std::string& text) {
  Xdo("type '" + text + "'");
}

StateContent AppDriver::State() {
  const std::string path = root_ + "/state-" + std::to_string(stateFiles_++) + ".bin";
  std::string error;
  StateContent content;
  if (RunAnother({"--save-state", path}, &error) != 0) {
    ADD_FAILURE() << "--save-state failed: " << error;
    return content;
  }
  const std::string bytes = ReadFile(path);
  reef::IByteChunk chunk;
  chunk.PutBytes(bytes.data(), int(bytes.size()));
  const StateVerdict verdict = CheckStateChunk(chunk, 0, content);
  if (!verdict.accepted) ADD_FAILURE() << "the saved state was rejected: " << verdict.reason;
  return content;
}

bool AppDriver::ApplyValues(const ParamSnapshot& values) {
  const StateContent state = State();
  reef::IByteChunk chunk;
  BuildStateChunk(chunk, values, state.stored, state.recipeIndex, state.abFlag);
  const std::string path = root_ + "/state-" + std::to_string(stateFiles_++) + ".bin";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(chunk.GetData()), chunk.Size());
  return RunAnother({"--load-state", path}) == 0;
}

Image AppDriver::Screenshot() {
  const std::optional<EditorStatus> status = QueryEditor();
  if (!status || !(gdk_display_get_default() || gdk_init_check(nullptr, nullptr))) return {};
  Image image{int(std::lround(1180 * status->scale)),
              int(std::lround(800 * status->scale)),
              status->scale,
              {}};
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), status->x, status->y,
                                               image.width, image.height);
  if (!shot) return {};
  const int channels = gdk_pixbuf_get_n_channels(shot), stride = gdk_pixbuf_get_rowstride(shot);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const guchar* p = gdk_pixbuf_read_pixels(shot) + y * stride + x * channels;
      image.pixels.push_back({p[0], p[1], p[2]});
    }
  }
  g_object_unref(shot);
  return image;
}

bool AppDriver::WaitFrames(int frames) {
  const std::optional<EditorStatus> start = QueryEditor();
  return start && WaitUntil([&] {
           const std::optional<EditorStatus> now = QueryEditor();
           return now && now->cycles >= start->cycles + frames;
         });
}

bool AppDriver::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool AppDriver::WindowShown(const std::string& title) {
  return Xdo(Search(title) + " >/dev/null");
}

bool AppDriver::WaitForWindow(const std::string& title, int timeoutMs) {
  return WaitUntil([&] { return WindowShown(title); }, timeoutMs);
}

bool AppDriver::FocusWindow(const std::string& title) {
  return Xdo(Search(title) + " windowraise windowfocus");
}

} // namespace coral::test
