#include "app/MainWindow.h"

#include <ctime>
#include <utility>

#include "app/Application.h"
#include "app/MessageBox.h"
#include "ui/ICanvasGtk.h"

namespace coral {
namespace {

constexpr const char* kTitle = "CORAL SIEVE";
constexpr const char* kCommandKey = "coral-command";
constexpr int kScreenshotRetryMs = 50;
constexpr int kScreenshotMaxRetries = 400; // the editor gets 20 s more to draw its first frame

// "Mmm d yyyy" from the compiler's build date "Mmm dd yyyy".
std::string BuildDate() {
  const std::string date = __DATE__;
  const std::string day = date.substr(4, 2);
  return date.substr(0, 3) + " " + (day[0] == ' ' ? day.substr(1) : day) + " " + date.substr(7);
}

std::string BuildYear() {
  return std::string(__DATE__).substr(7);
}

} // namespace

MainWindow::MainWindow(StandaloneHost& host, std::string screenshotPath,
                       std::function<void()> onClosed)
    : host_(host), screenshotPath_(std::move(screenshotPath)), onClosed_(std::move(onClosed)) {}

MainWindow::~MainWindow() {
  Close();
}

void MainWindow::Open() {
  if (window_) return;
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), kTitle);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);

  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(window_), box);
  BuildMenu(box);
  editorBox_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_pack_start(GTK_BOX(box), editorBox_, FALSE, FALSE, 0);
  host_.Plug().OpenWindow(editorBox_);
  gtk_widget_show_all(window_);

  idleTimer_ = g_timeout_add(reef::IPluginApp::kIdleTimerMs, OnIdleTimer, this);
  if (!screenshotPath_.empty()) {
    screenshotTimer_ = g_timeout_add(kScreenshotDelayMs, OnScreenshotTimer, this);
  }
  for (const PendingMessage& message : std::exchange(pending_, {})) {
    ShowError(message.text, message.caption);
  }
}

void MainWindow::BuildMenu(GtkWidget* box) {
  accelerators_ = gtk_accel_group_new();
  gtk_window_add_accel_group(GTK_WINDOW(window_), accelerators_);
  GtkWidget* bar = gtk_menu_bar_new();
  const auto addMenu = [&](const char* label) {
    GtkWidget* top = gtk_menu_item_new_with_mnemonic(label);
    GtkWidget* menu = gtk_menu_new();
    gtk_menu_set_accel_group(GTK_MENU(menu), accelerators_);
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), top);
    return menu;
  };
  const auto addItem = [&](GtkWidget* menu, const char* label, ECommand command) {
    GtkWidget* item = gtk_menu_item_new_with_mnemonic(label);
    g_object_set_data(G_OBJECT(item), kCommandKey, GINT_TO_POINTER(static_cast<int>(command)));
    g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem* activated, gpointer data) {
                       const auto command = static_cast<ECommand>(
                           GPOINTER_TO_INT(g_object_get_data(G_OBJECT(activated), kCommandKey)));
                       Guarded([&] { static_cast<MainWindow*>(data)->Run(command); });
                     }),
                     this);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    return item;
  };

  GtkWidget* file = addMenu("_File");
  gtk_widget_add_accelerator(addItem(file, "_Preferences...", ECommand::Preferences), "activate",
                             accelerators_, GDK_KEY_comma, GDK_CONTROL_MASK, GTK_ACCEL_VISIBLE);
  addItem(file, "_Quit", ECommand::Quit);
  GtkWidget* help = addMenu("_Help");
  addItem(help, "_About", ECommand::About);
  addItem(help, "_Read Manual", ECommand::ReadManual);

  // Save Screenshot has a key but no menu entry.
  gtk_accel_group_connect(accelerators_, GDK_KEY_s,
                          GdkModifierType(GDK_CONTROL_MASK | GDK_SHIFT_MASK), GtkAccelFlags(0),
                          g_cclosure_new_swap(G_CALLBACK(+[](gpointer data) {
                                                Guarded([&] {
                                                  static_cast<MainWindow*>(data)->Run(
                                                      ECommand::SaveScreenshot);
                                                });
                                                return TRUE;
                                              }),
                                              this, nullptr));
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
}

void MainWindow::Present() {
  if (window_) gtk_window_present(GTK_WINDOW(window_));
}

void MainWindow::Close() {
  if (closing_ || !window_) return;
  closing_ = true;
  StopTimers();
  preferences_.reset();
  host_.Plug().CloseWindow();
  GtkWidget* closed = std::exchange(window_, nullptr);
  editorBox_ = nullptr;
  gtk_widget_destroy(closed);
  g_object_unref(std::exchange(accelerators_, nullptr));
  closing_ = false;
  if (onClosed_) onClosed_();
}

void MainWindow::StopTimers() {
  if (idleTimer_) g_source_remove(idleTimer_);
  if (screenshotTimer_) g_source_remove(screenshotTimer_);
  idleTimer_ = screenshotTimer_ = 0;
}

void MainWindow::Run(ECommand command) {
  if (!window_) return;
  switch (command) {
  case ECommand::About:
    if (!host_.Plug().OnHostRequestingAboutBox()) {
      ShowMessageBox(Window(),
                     "\u00a9 " + BuildYear() + " " + host_.Plug().GetMfrName() + "\nBuilt on " +
                         BuildDate(),
                     kTitle, EMessageButtons::Ok);
    }
    break;
  case ECommand::Preferences:
    if (PreferencesDialog* open = Preferences()) {
      gtk_window_present(GTK_WINDOW(open->Widget()));
      break;
    }
    // OK keeps the settings; the dialog object stays until the next one replaces it.
    preferences_ = std::make_unique<PreferencesDialog>(host_, Window(), [this](bool ok) {
      if (ok) host_.WriteSettings();
    });
    break;
  case ECommand::Quit:
    Close();
    break;
  case ECommand::ReadManual:
    if (!host_.Plug().OnHostRequestingProductHelp()) {
      ShowMessageBox(Window(), "See the manual", kTitle, EMessageButtons::Ok);
    }
    break;
  case ECommand::SaveScreenshot:
    SaveScreenshot();
    break;
  }
}

PreferencesDialog* MainWindow::Preferences() const {
  return preferences_ && preferences_->IsOpen() ? preferences_.get() : nullptr;
}

reef::ui::ICanvasGtk* MainWindow::Editor() const {
  if (!window_) return nullptr;
  return dynamic_cast<reef::ui::ICanvasGtk*>(host_.Plug().GetCanvas());
}

std::string MainWindow::EditorStatus() const {
  reef::ui::ICanvasGtk* editor = Editor();
  if (!editor || !editor->GetWidget()) return "frames=0 cycles=0 x=0 y=0 scale=1";
  auto* area = static_cast<GtkWidget*>(editor->GetWidget());
  gint x = 0;
  gint y = 0;
  if (GdkWindow* window = gtk_widget_get_window(area)) {
    gdk_window_get_origin(window, &x, &y);
    GtkAllocation allocation;
    gtk_widget_get_allocation(area, &allocation);
    if (!gtk_widget_get_has_window(area)) {
      x += allocation.x;
      y += allocation.y;
    }
  }
  return "frames=" + std::to_string(editor->FramesRendered()) +
         " cycles=" + std::to_string(editor->FrameCycles()) + " x=" + std::to_string(x) +
         " y=" + std::to_string(y) + " scale=" + std::to_string(editor->GetDrawScale());
}

void MainWindow::ShowError(const std::string& text, const std::string& caption) {
  if (!window_) {
    pending_.push_back({text, caption});
    return;
  }
  ShowMessageBox(Window(), text, caption, EMessageButtons::Ok);
}

void MainWindow::SaveScreenshot() {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &local);
  const std::string folder = std::string(g_get_tmp_dir()) + "/";
  const std::string path = folder + kTitle + "_screenshot_" + stamp + ".png";

  reef::ui::ICanvasGtk* editor = Editor();
  if (!editor || !editor->SaveScreenshot(path)) {
    ShowMessageBox(Window(), "Failed to save screenshot", "Error", EMessageButtons::Ok);
    return;
  }
  ShowMessageBox(Window(), "Screenshot saved to:\n" + path + "\n\nOpen it?", "Screenshot Saved",
                 EMessageButtons::YesNo, [this, path](bool yes) {
                   if (!yes || !window_) return;
                   gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
                   if (uri) gtk_show_uri_on_window(Window(), uri, GDK_CURRENT_TIME, nullptr);
                   g_free(uri);
                 });
}

void MainWindow::ScreenshotAndClose() {
  reef::ui::ICanvasGtk* editor = Editor();
  // The first frame of an editor can take longer than the delay on a slow display.
  if (editor && editor->FramesRendered() == 0 && screenshotWaits_++ < kScreenshotMaxRetries) {
    screenshotTimer_ = g_timeout_add(kScreenshotRetryMs, OnScreenshotTimer, this);
    return;
  }
  if (!editor || !editor->SaveScreenshot(screenshotPath_)) {
    // No message box in screenshot mode: the program ends either way.
    g_printerr("coral-sieve: the screenshot could not be written to %s\n", screenshotPath_.c_str());
  }
  Close();
}

gboolean MainWindow::OnIdleTimer(gpointer data) {
  Guarded([&] { static_cast<MainWindow*>(data)->host_.Plug().OnIdleTimer(); });
  return G_SOURCE_CONTINUE;
}

gboolean MainWindow::OnScreenshotTimer(gpointer data) {
  auto* self = static_cast<MainWindow*>(data);
  self->screenshotTimer_ = 0;
  Guarded([&] { self->ScreenshotAndClose(); });
  return G_SOURCE_REMOVE;
}

gboolean MainWindow::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  Guarded([&] { static_cast<MainWindow*>(data)->Close(); });
  return TRUE;
}

} // namespace coral
