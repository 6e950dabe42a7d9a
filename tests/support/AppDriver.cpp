#include "tests/support/AppDriver.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <stb/stb_image_write.h>

#include "app/SingleInstance.h"
#include "tests/support/JackSession.h"

// X11's macros (None, Bool, Status) come after every other header.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

extern char** environ;

namespace coral::test {
namespace {

constexpr int kStartTimeoutMs = 30000;
constexpr int kRequestTimeoutMs = 2000;
constexpr auto kPoll = std::chrono::milliseconds(10);

// The application's windows come and go while the driver looks at them: requests about a
// window that has just gone fail, and the driver takes that as "not shown".
int IgnoreXErrors(Display*, XErrorEvent*) {
  return 0;
}

Display* X(void* display) {
  return static_cast<Display*>(display);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Decodes a wait status: the exit status, or 128 + the signal.
int ExitStatus(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string WindowTitle(Display* display, Window window) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  std::string title;
  if (XGetWindowProperty(display, window, name, 0, 1024, False, utf8, &type, &format, &count,
                         &after, &data) == Success &&
      data) {
    title.assign(reinterpret_cast<char*>(data), count);
  }
  if (data) XFree(data);
  return title;
}

// The shown top-level window titled `title` (without a window manager, top-level windows are
// children of the root window).
Window FindWindow(Display* display, const std::string& title) {
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  Window found = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
    return 0;
  }
  for (unsigned i = 0; i < count && !found; ++i) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, children[i], &attributes) &&
        attributes.map_state == IsViewable && WindowTitle(display, children[i]) == title) {
      found = children[i];
    }
  }
  if (children) XFree(children);
  return found;
}

KeySym KeySymFor(const std::string& name) {
  if (name == "ctrl") return XK_Control_L;
  if (name == "shift") return XK_Shift_L;
  if (name == "alt") return XK_Alt_L;
  if (name.size() == 1) return static_cast<KeySym>(static_cast<unsigned char>(name[0]));
  return XStringToKeysym(name.c_str());
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, separator);) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

} // namespace

std::array<std::uint8_t, 4> Image::Pixel(float x, float y) const {
  const int column = std::clamp(static_cast<int>(std::floor(x * scale)), 0, width - 1);
  const int row = std::clamp(static_cast<int>(std::floor(y * scale)), 0, height - 1);
  return pixels[static_cast<std::size_t>(row) * width + column];
}

bool Image::Save(const std::string& path) const {
  return width > 0 && stbi_write_png(path.c_str(), width, height, 4, pixels.data(), width * 4);
}

AppDriver::AppDriver() {
  // JACK clients of the application reach only a server of the test's own.
  UsePrivateJackServer();
  root_ = (std::filesystem::temp_directory_path() / "coral-app-XXXXXX").string();
  if (!mkdtemp(root_.data())) {
    ADD_FAILURE() << "cannot make a temporary folder";
    return;
  }
  runtimeDir_ = root_ + "/run";
  configDir_ = root_ + "/config";
  tempDir_ = root_ + "/tmp";
  mkdir(runtimeDir_.c_str(), 0700);
  mkdir(configDir_.c_str(), 0700);
  mkdir(tempDir_.c_str(), 0700);
  display_ = XOpenDisplay(nullptr);
  if (!display_) ADD_FAILURE() << "cannot open the X display";
  previousErrorHandler_ = reinterpret_cast<void*>(XSetErrorHandler(IgnoreXErrors));
}

AppDriver::~AppDriver() {
  if (pid_ > 0 && Running()) Stop();
  if (display_) XCloseDisplay(X(display_));
  XSetErrorHandler(reinterpret_cast<XErrorHandler>(previousErrorHandler_));
  std::error_code ignored;
  if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
}

std::vector<std::string> AppDriver::Environment() const {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry; ++entry) {
    const std::string variable = *entry;
    const std::string name = variable.substr(0, variable.find('='));
    if (name != "XDG_RUNTIME_DIR" && name != "XDG_CONFIG_HOME" && name != "TMPDIR") {
      variables.push_back(variable);
    }
  }
  variables.push_back("XDG_RUNTIME_DIR=" + runtimeDir_);
  variables.push_back("XDG_CONFIG_HOME=" + configDir_);
  variables.push_back("TMPDIR=" + tempDir_);
  return variables;
}

pid_t AppDriver::Spawn(const std::vector<std::string>& args, const std::string& errorFile) {
  std::vector<std::string> argv = {CORAL_SIEVE_EXECUTABLE};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::vector<std::string> env = Environment();
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child == 0) {
    // An application left behind by a test that died ends with it.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    const int err = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    const int out = open("/dev/null", O_WRONLY);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    std::vector<char*> argp;
    for (const std::string& arg : argv) argp.push_back(const_cast<char*>(arg.c_str()));
    argp.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& variable : env) envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  return child;
}

bool AppDriver::Start(const AppOptions& options) {
  if (!display_) return false;
  if (!options.settings.empty()) {
    std::filesystem::create_directories(configDir_ + "/CoralSieve");
    std::ofstream(SettingsFile(), std::ios::binary) << options.settings;
  }
  std::vector<std::string> args;
  if (!options.io) args.push_back("--no-io");
  args.insert(args.end(), options.args.begin(), options.args.end());
  exitStatus_.reset();
  pid_ = Spawn(args, root_ + "/app.err");
  if (pid_ <= 0) {
    ADD_FAILURE() << "cannot start " << CORAL_SIEVE_EXECUTABLE;
    return false;
  }
  if (!options.waitForEditor) return true;
  const bool drawn = WaitUntil(
      [&] {
        const std::optional<EditorStatus> status = QueryEditor();
        return (status && status->frames > 0) || !Running();
      },
      kStartTimeoutMs);
  if (!drawn || !Running()) {
    ADD_FAILURE() << "the editor did not appear; standard error:\n" << Stderr();
    return false;
  }
  FocusWindow("CORAL SIEVE");
  return true;
}

bool AppDriver::Running() {
  if (pid_ <= 0 || exitStatus_) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    exitStatus_ = ExitStatus(status);
    return false;
  }
  return true;
}

std::optional<int> AppDriver::WaitForExit(int timeoutMs) {
  WaitUntil([&] { return !Running(); }, timeoutMs);
  return exitStatus_;
}

int AppDriver::QuitThroughMenu() {
  FocusWindow("CORAL SIEVE");
  Key("alt+f");
  Key("q");
  return WaitForExit().value_or(-1);
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
  std::remove(errorFile.c_str());
  const pid_t child = Spawn(args, errorFile);
  int status = 0;
  if (child <= 0 || waitpid(child, &status, 0) != child) return -1;
  if (standardError) *standardError = ReadFile(errorFile);
  return ExitStatus(status);
}

std::string AppDriver::Stderr() const {
  return ReadFile(root_ + "/app.err");
}

std::optional<AppDriver::EditorStatus> AppDriver::QueryEditor() {
  const std::optional<std::string> reply =
      AskInstanceAt(runtimeDir_ + "/CoralSieve.sock", "status", kRequestTimeoutMs);
  if (!reply || reply->rfind("ok ", 0) != 0) return std::nullopt;
  EditorStatus status;
  if (std::sscanf(reply->c_str(), "ok frames=%ld cycles=%ld x=%d y=%d scale=%f", &status.frames,
                  &status.cycles, &status.x, &status.y, &status.scale) != 5) {
    return std::nullopt;
  }
  return status;
}

std::pair<int, int> AppDriver::EditorOrigin() {
  const std::optional<EditorStatus> status = QueryEditor();
  return status ? std::pair{status->x, status->y} : std::pair{0, 0};
}

float AppDriver::Scale() {
  const std::optional<EditorStatus> status = QueryEditor();
  return status ? status->scale : 1.f;
}

std::pair<int, int> AppDriver::OnScreen(float x, float y) {
  const std::optional<EditorStatus> status = QueryEditor();
  if (!status) return {0, 0};
  return {status->x + static_cast<int>(std::lround(x * status->scale)),
          status->y + static_cast<int>(std::lround(y * status->scale))};
}

void AppDriver::Sync() {
  XSync(X(display_), False);
}

void AppDriver::MoveTo(float x, float y) {
  const auto [screenX, screenY] = OnScreen(x, y);
  XTestFakeMotionEvent(X(display_), -1, screenX, screenY, CurrentTime);
  Sync();
}

void AppDriver::Modifiers(const std::string& modifiers, bool press) {
  std::vector<std::string> names = Split(modifiers, '+');
  if (!press) std::reverse(names.begin(), names.end());
  for (const std::string& name : names) {
    XTestFakeKeyEvent(X(display_), XKeysymToKeycode(X(display_), KeySymFor(name)), press,
                      CurrentTime);
  }
  Sync();
}

void AppDriver::Button(int button, bool press) {
  XTestFakeButtonEvent(X(display_), static_cast<unsigned>(button), press, CurrentTime);
  Sync();
}

void AppDriver::Click(float x, float y, int button, const std::string& modifiers) {
  MoveTo(x, y);
  Modifiers(modifiers, true);
  Button(button, true);
  Button(button, false);
  Modifiers(modifiers, false);
}

void AppDriver::DoubleClick(float x, float y, const std::string& modifiers) {
  MoveTo(x, y);
  Modifiers(modifiers, true);
  for (int click = 0; click < 2; ++click) {
    Button(1, true);
    Button(1, false);
  }
  Modifiers(modifiers, false);
}

void AppDriver::Drag(float x0, float y0, float x1, float y1, const std::string& modifiers,
                     int steps) {
  MoveTo(x0, y0);
  Modifiers(modifiers, true);
  Button(1, true);
  for (int step = 1; step <= steps; ++step) {
    const float t = static_cast<float>(step) / static_cast<float>(steps);
    MoveTo(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t);
    std::this_thread::sleep_for(kPoll);
  }
  Button(1, false);
  Modifiers(modifiers, false);
}

void AppDriver::Wheel(float x, float y, int clicks) {
  MoveTo(x, y);
  const int button = clicks > 0 ? 4 : 5;
  for (int click = 0; click < std::abs(clicks); ++click) {
    Button(button, true);
    Button(button, false);
  }
}

void AppDriver::Key(const std::string& keys) {
  const std::vector<std::string> names = Split(keys, '+');
  for (const std::string& name : names) {
    XTestFakeKeyEvent(X(display_), XKeysymToKeycode(X(display_), KeySymFor(name)), True,
                      CurrentTime);
  }
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    XTestFakeKeyEvent(X(display_), XKeysymToKeycode(X(display_), KeySymFor(*name)), False,
                      CurrentTime);
  }
  Sync();
}

void AppDriver::Type(const std::string& text) {
  Display* display = X(display_);
  const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
  for (const char character : text) {
    const KeySym symbol =
        character == '\n' ? XK_Return : static_cast<KeySym>(static_cast<unsigned char>(character));
    const KeyCode code = XKeysymToKeycode(display, symbol);
    const bool shifted = XkbKeycodeToKeysym(display, code, 0, 0) != symbol;
    if (shifted) XTestFakeKeyEvent(display, shift, True, CurrentTime);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    if (shifted) XTestFakeKeyEvent(display, shift, False, CurrentTime);
  }
  Sync();
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
  chunk.PutBytes(bytes.data(), static_cast<int>(bytes.size()));
  const StateVerdict verdict = CheckStateChunk(chunk, 0, content);
  if (!verdict.accepted) ADD_FAILURE() << "the saved state was rejected: " << verdict.reason;
  return content;
}

bool AppDriver::LoadState(const std::string& path) {
  return RunAnother({"--load-state", path}) == 0;
}

bool AppDriver::ApplyValues(const ParamSnapshot& values) {
  const StateContent state = State();
  reef::IByteChunk chunk;
  BuildStateChunk(chunk, values, state.stored, state.recipeIndex, state.abFlag);
  const std::string path = root_ + "/state-" + std::to_string(stateFiles_++) + ".bin";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(chunk.GetData()), chunk.Size());
  return LoadState(path);
}

Image AppDriver::Screenshot() {
  Image image;
  const std::optional<EditorStatus> status = QueryEditor();
  if (!status) return image;
  image.scale = status->scale;
  image.width = static_cast<int>(std::lround(1180 * status->scale));
  image.height = static_cast<int>(std::lround(800 * status->scale));
  Display* display = X(display_);
  XImage* shot = XGetImage(display, DefaultRootWindow(display), status->x, status->y,
                           static_cast<unsigned>(image.width), static_cast<unsigned>(image.height),
                           AllPlanes, ZPixmap);
  if (!shot) return {};
  image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const unsigned long pixel = XGetPixel(shot, x, y);
      image.pixels[static_cast<std::size_t>(y) * image.width + x] = {
          static_cast<std::uint8_t>((pixel & shot->red_mask) >> 16),
          static_cast<std::uint8_t>((pixel & shot->green_mask) >> 8),
          static_cast<std::uint8_t>(pixel & shot->blue_mask), 255};
    }
  }
  XDestroyImage(shot);
  return image;
}

bool AppDriver::WaitFrames(int frames) {
  const std::optional<EditorStatus> start = QueryEditor();
  if (!start) return false;
  return WaitUntil([&] {
    const std::optional<EditorStatus> now = QueryEditor();
    return now && now->cycles >= start->cycles + frames;
  });
}

bool AppDriver::WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

bool AppDriver::WindowShown(const std::string& title) {
  return FindWindow(X(display_), title) != 0;
}

bool AppDriver::WaitForWindow(const std::string& title, int timeoutMs) {
  return WaitUntil([&] { return WindowShown(title); }, timeoutMs);
}

bool AppDriver::FocusWindow(const std::string& title) {
  const Window window = FindWindow(X(display_), title);
  if (!window) return false;
  XRaiseWindow(X(display_), window);
  XSetInputFocus(X(display_), window, RevertToParent, CurrentTime);
  Sync();
  return true;
}

} // namespace coral::test
