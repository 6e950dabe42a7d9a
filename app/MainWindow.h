#pragma once
// The application's one top-level window: "CORAL SIEVE", sized to the editor and not
// resizable by its border (the editor's corner grip scales the editor, and the window
// follows). A menu bar with File (Preferences..., Quit) and Help (About, Read Manual); the
// keys Ctrl+, (Preferences) and Ctrl+Shift+S (Save Screenshot) work while the editor has the
// keyboard focus. The window runs the framework's idle timer while it is open, and shows the
// host's messages as modal message boxes over itself.
//
// Threads: user-interface thread.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "app/PreferencesDialog.h"
#include "app/StandaloneHost.h"

namespace reef::ui {
class ICanvasGtk;
}

namespace coral {

// The menu and key commands, by their command numbers.
enum class ECommand {
  About = 40005,
  Preferences = 40006,
  Quit = 40007,
  ReadManual = 40008,
  SaveScreenshot = 40029,
};

class MainWindow final : public MessageReporter {
public:
  // Half a second after the window appears, a window given a screenshot path writes the
  // editor there as a PNG and closes itself.
  static constexpr int kScreenshotDelayMs = 500;

  // `onClosed` runs once the window has gone (editor closed); the host must outlive the
  // window until then.
  MainWindow(StandaloneHost& host, std::string screenshotPath, std::function<void()> onClosed);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window, opens the editor in it, shows it centred on the screen, starts the
  // idle timer and shows the messages that arrived before.
  void Open();
  bool IsOpen() const { return window_ != nullptr; }
  // Brings the window to the front.
  void Present();
  // Closes the editor and the window, then runs `onClosed`.
  void Close();
  void Run(ECommand command);

  GtkWindow* Window() const { return window_ ? GTK_WINDOW(window_) : nullptr; }
  // The open editor, or nullptr.
  reef::ui::ICanvasGtk* Editor() const;
  // The Preferences dialog while it is open, or nullptr.
  PreferencesDialog* Preferences() const;
  // The editor's frame counters and its top-left corner on the screen, as
  // "frames=N cycles=N x=X y=Y scale=S" (N, X, Y whole numbers; S the draw scale).
  std::string EditorStatus() const;

  // A modal message box over the window ("Error" boxes as errors); before the window exists
  // the box waits until it opens.
  void ShowError(const std::string& text, const std::string& caption) override;

private:
  struct PendingMessage {
    std::string text;
    std::string caption;
  };

  void BuildMenu(GtkWidget* box);
  void SaveScreenshot();
  void ScreenshotAndClose();
  void StopTimers();

  static gboolean OnIdleTimer(gpointer data);
  static gboolean OnScreenshotTimer(gpointer data);
  static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer data);

  StandaloneHost& host_;
  std::string screenshotPath_;
  std::function<void()> onClosed_;
  GtkWidget* window_ = nullptr;
  GtkWidget* editorBox_ = nullptr;
  GtkAccelGroup* accelerators_ = nullptr;
  std::unique_ptr<PreferencesDialog> preferences_;
  guint idleTimer_ = 0;
  guint screenshotTimer_ = 0;
  int screenshotWaits_ = 0;
  bool closing_ = false;
  std::vector<PendingMessage> pending_;
};

} // namespace coral
