#include "app/Application.h"

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

#include <glib-unix.h>
#include <gtk/gtk.h>

#include "app/CommandLine.h"
#include "app/EditorHooks.h"
#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "app/StandaloneHost.h"
#include "app/StateFile.h"
#include "core/CoralSieve.h"

namespace coral {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitBadRequest = 2;
// How long a second start waits for the running instance to answer; it may still be starting.
constexpr int kRequestTimeoutMs = 10000;

int gExitStatus = 0;

std::string SettingsFile() {
  return std::string(g_get_user_config_dir()) + "/CoralSieve/settings.ini";
}

std::string VersionText() {
  const int version = CoralSieve::kVersion;
  return std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xFF) + "." +
         std::to_string(version & 0xFF);
}

std::string AbsolutePath(const std::string& path) {
  gchar* absolute = g_canonicalize_filename(path.c_str(), nullptr);
  std::string result = absolute;
  g_free(absolute);
  return result;
}

// Sends a state request to the running instance; the exit status.
int AskForState(const std::string& verb, const std::string& path) {
  const std::optional<std::string> reply =
      AskRunningInstance(verb + " " + AbsolutePath(path), kRequestTimeoutMs);
  if (!reply) {
    std::fprintf(stderr, "coral-sieve: no running CORAL SIEVE answered\n");
    return kExitBadRequest;
  }
  if (*reply == "ok") return 0;
  const std::string prefix = "error ";
  std::fprintf(stderr, "coral-sieve: %s\n",
               reply->rfind(prefix, 0) == 0 ? reply->substr(prefix.size()).c_str()
                                            : reply->c_str());
  return kExitBadRequest;
}

// The running instance's answer to one request from a later start.
std::string Serve(const std::string& request, MainWindow& window) {
  const std::size_t blank = request.find(' ');
  const std::string verb = request.substr(0, blank);
  const std::string path = blank == std::string::npos ? "" : request.substr(blank + 1);
  StandaloneHost* host = StandaloneHost::Get();
  if (!host || !window.IsOpen()) return "error CORAL SIEVE is closing";
  std::string error;
  if (verb == "present" && path.empty()) {
    window.Present();
    return "ok";
  }
  if (verb == "status" && path.empty()) return "ok " + window.EditorStatus();
  if (verb == "save-state" && g_path_is_absolute(path.c_str())) {
    return SaveStateFile(host->Plug(), path, error) ? "ok" : "error " + error;
  }
  if (verb == "load-state" && g_path_is_absolute(path.c_str())) {
    return LoadStateFile(host->Plug(), path, error) ? "ok" : "error " + error;
  }
  return "error unknown request '" + request + "'";
}

gboolean OnEndSignal(gpointer data) {
  Guarded([&] { static_cast<MainWindow*>(data)->Close(); });
  return G_SOURCE_CONTINUE;
}

} // namespace

void EndWithException(const std::exception& exception) {
  std::fprintf(stderr, "coral-sieve: %s\n", exception.what());
  gExitStatus = kExitFailure;
  if (gtk_main_level() > 0) gtk_main_quit();
}

int RunApplication(const std::vector<std::string>& args) {
  const CommandLine line = ParseCommandLine(args);
  if (!line.error.empty()) {
    std::fprintf(stderr, "coral-sieve: %s (see --help)\n", line.error.c_str());
    return kExitBadRequest;
  }
  if (line.help) {
    std::fputs(HelpText(SettingsFile()).c_str(), stdout);
    return 0;
  }
  if (line.version) {
    std::printf("coral-sieve %s\n", VersionText().c_str());
    return 0;
  }
  for (const std::string& token : line.ignored) {
    std::fprintf(stderr, "coral-sieve: ignoring '%s' (see --help)\n", token.c_str());
  }
  std::string error;
  SingleInstance instance;
  if (!line.saveStatePath.empty()) {
    if (instance.Acquire(error)) {
      std::fprintf(stderr, "coral-sieve: CORAL SIEVE is not running\n");
      return kExitBadRequest;
    }
    return AskForState("save-state", line.saveStatePath);
  }

  // A state to start with is checked before anything starts.
  if (!line.loadStatePath.empty() && !ReadStateFile(line.loadStatePath, error)) {
    std::fprintf(stderr, "coral-sieve: %s\n", error.c_str());
    return kExitBadRequest;
  }

  if (!instance.Acquire(error)) {
    if (!error.empty()) {
      std::fprintf(stderr, "coral-sieve: %s\n", error.c_str());
      return kExitFailure;
    }
    if (!line.loadStatePath.empty()) return AskForState("load-state", line.loadStatePath);
    if (!line.screenshotPath.empty()) {
      std::fprintf(stderr, "coral-sieve: CORAL SIEVE is already running; no screenshot was "
                           "written (use Ctrl+Shift+S in its window)\n");
    }
    AskRunningInstance("present", kRequestTimeoutMs);
    return 0;
  }

  g_set_prgname("coral-sieve");
  g_set_application_name("CORAL SIEVE");
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "coral-sieve: cannot open the display (DISPLAY is unset or unusable)\n");
    return kExitFailure;
  }
  gtk_window_set_default_icon_name("coral-sieve");

  gExitStatus = 0;
  StandaloneHost& host = StandaloneHost::Create([](const reef::InstanceInfo& info) {
    return std::unique_ptr<reef::IPluginApp>(MakePlugin(info, MakeEditorHooks()));
  });
  MainWindow window(host, line.screenshotPath, [] {
    StandaloneHost::Destroy();
    if (gtk_main_level() > 0) gtk_main_quit();
  });
  host.SetReporter(&window);
  host.SetNoIO(line.noIO);
  host.SetScreenshotPath(line.screenshotPath);
  host.Init();
  if (!line.loadStatePath.empty() && !LoadStateFile(host.Plug(), line.loadStatePath, error)) {
    std::fprintf(stderr, "coral-sieve: %s\n", error.c_str());
  }
  host.RestartAudio();
  window.Open();

  if (!instance.Listen([&window](const std::string& request) { return Serve(request, window); },
                       error)) {
    std::fprintf(stderr, "coral-sieve: %s; a second start cannot reach this one\n", error.c_str());
  }
  const guint signals[] = {g_unix_signal_add(SIGTERM, OnEndSignal, &window),
                           g_unix_signal_add(SIGINT, OnEndSignal, &window),
                           g_unix_signal_add(SIGHUP, OnEndSignal, &window)};
  if (window.IsOpen()) gtk_main();
  for (const guint source : signals) g_source_remove(source);
  window.Close();
  StandaloneHost::Destroy();
  instance.Release();
  return gExitStatus;
}

} // namespace coral
