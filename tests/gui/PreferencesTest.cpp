// The Preferences dialog of the application against a JACK server of the test's own, in the
// test's process: the host, the main window and the dialog, driven by real X input (keys on
// the focused lists, clicks on the buttons).

#include <optional>

#include <gtest/gtest.h>
#include <jack/jack.h>

#include "app/MainWindow.h"
#include "tests/app/ProbeHost.h"
#include "tests/gui/InProcessGui.h"
#include "tests/support/JackSession.h"

namespace coral {
namespace {

using test::FindByName;
using test::Pump;
using test::PumpUntil;
using test::Xdo;

std::vector<std::string> Entries(GtkWidget* list) {
  std::vector<std::string> entries;
  GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(list));
  GtkTreeIter iter;
  for (bool more = gtk_tree_model_get_iter_first(model, &iter); more;
       more = gtk_tree_model_iter_next(model, &iter)) {
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, 0, &text, -1);
    entries.emplace_back(text ? text : "");
    g_free(text);
  }
  return entries;
}

class PreferencesTest : public ::testing::Test {
protected:
  void SetUp() override {
    test::gConfigHome.ClearSettings();
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    ASSERT_TRUE(server.Start(512));
    peer.emplace();
    ASSERT_TRUE(peer->IsOpen());
    host = &test::ProbePlug::CreateHost();
    window.emplace(*host, "", [] {});
    host->SetReporter(&*window);
    ASSERT_TRUE(host->Init());
    ASSERT_TRUE(host->RestartAudio());
    window->Open();
  }
  void TearDown() override {
    window.reset();
    StandaloneHost::Destroy();
    peer.reset();
    server.Stop();
    Pump(50);
  }

  GtkWidget* OpenPreferences() {
    window->Run(ECommand::Preferences);
    PreferencesDialog* preferences = window->Preferences();
    if (!preferences) return nullptr;
    GtkWidget* dialog = preferences->Widget();
    gtk_window_present(GTK_WINDOW(dialog));
    PumpUntil(
        [&] { return gtk_widget_get_mapped(dialog) && gtk_window_is_active(GTK_WINDOW(dialog)); });
    return dialog;
  }
  // Moves the focused list towards `entry` with the arrow keys; answers what it then shows.
  std::string Choose(GtkWidget* dialog, const char* name, const std::string& entry) {
    GtkWidget* list = FindByName(dialog, name);
    const std::vector<std::string> entries = Entries(list);
    const auto target = std::find(entries.begin(), entries.end(), entry);
    if (target == entries.end()) return "(no entry " + entry + ")";
    gtk_widget_grab_focus(list);
    Pump(30);
    const int steps =
        static_cast<int>(target - entries.begin()) - gtk_combo_box_get_active(GTK_COMBO_BOX(list));
    for (int i = 0; i < std::abs(steps); ++i) Xdo(steps > 0 ? "key Down" : "key Up");
    return Active(dialog, name);
  }
  std::string Active(GtkWidget* dialog, const char* name) {
    gchar* text = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(FindByName(dialog, name)));
    std::string result = text ? text : "";
    g_free(text);
    return result;
  }
  void Click(GtkWidget* dialog, const char* name) {
    GtkWidget* button = FindByName(dialog, name);
    ASSERT_NE(button, nullptr) << name;
    GtkAllocation box;
    gtk_widget_get_allocation(button, &box);
    gint x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(button), &x, &y);
    Xdo("mousemove " + std::to_string(x + box.x + box.width / 2) + " " +
        std::to_string(y + box.y + box.height / 2) + " click 1");
  }
  // Whether the JACK port `from` feeds `to`.
  bool Connected(const std::string& from, const std::string& to) {
    jack_port_t* port = jack_port_by_name(peer->Client(), from.c_str());
    return port && jack_port_connected_to(port, to.c_str());
  }
  bool StreamRuns() {
    const std::uint32_t served = host->CallbacksServed();
    return host->IsStreamRunning() &&
           PumpUntil([&] { return host->CallbacksServed() > served + 2; });
  }

  test::JackTestServer server;
  std::optional<test::JackPeer> peer;
  StandaloneHost* host = nullptr;
  std::optional<MainWindow> window;
};

TEST_F(PreferencesTest, OkRestartsTheStreamWithTheChosenDeviceAndRateAndSavesThem) {
  GtkWidget* dialog = OpenPreferences();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(Active(dialog, "driver-type"), "Jack");
  EXPECT_EQ(Active(dialog, "input-device"), "system");
  EXPECT_EQ(Choose(dialog, "input-device", "coral-source"), "coral-source");
  EXPECT_EQ(Choose(dialog, "sampling-rate", "48000"), "48000");
  // A right channel follows its left one: chosen on its own, it snaps back.
  EXPECT_EQ(Active(dialog, "input-right"), "2");
  EXPECT_EQ(Choose(dialog, "input-right", "1"), "2");
  EXPECT_EQ(host->Current().inputChannelRight, 2u);

  Click(dialog, "ok");
  ASSERT_TRUE(PumpUntil([&] { return !window->Preferences(); }));
  EXPECT_EQ(host->Active().audioInputDevice, "coral-source");
  EXPECT_EQ(host->SampleRate(), 48000.0);
  EXPECT_TRUE(StreamRuns());
  EXPECT_TRUE(Connected("coral-source:out_1", "RtApiJack:inport 0"));
  EXPECT_FALSE(Connected("system:capture_1", "RtApiJack:inport 0"));
  EXPECT_NE(test::gConfigHome.ReadSettingsFile().find("indev=coral-source\noutdev=system\n"),
            std::string::npos);
}

TEST_F(PreferencesTest, CancelChangesNothing) {
  const DeviceSettings before = host->Current();
  const std::string saved = test::gConfigHome.ReadSettingsFile();
  GtkWidget* dialog = OpenPreferences();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(Choose(dialog, "output-device", "coral-sink"), "coral-sink");
  EXPECT_EQ(Choose(dialog, "buffer-size", "2048"), "2048");
  EXPECT_EQ(Choose(dialog, "midi-input-channel", "3"), "3");
  // Another driver is probed at once: its devices replace JACK's.
  const std::vector<std::string> drivers = Entries(FindByName(dialog, "driver-type"));
  ASSERT_GE(drivers.size(), 2u);
  EXPECT_EQ(Choose(dialog, "driver-type", drivers.back()), drivers.back());
  const std::vector<std::string> devices = Entries(FindByName(dialog, "output-device"));
  EXPECT_EQ(std::count(devices.begin(), devices.end(), "coral-sink"), 0);
  EXPECT_FALSE(host->IsStreamRunning());

  Click(dialog, "cancel");
  ASSERT_TRUE(PumpUntil([&] { return !window->Preferences(); }));
  EXPECT_TRUE(host->Current().SameAs(before));
  EXPECT_TRUE(StreamRuns());
  EXPECT_TRUE(Connected("RtApiJack:outport 0", "system:playback_1"));
  EXPECT_EQ(test::gConfigHome.ReadSettingsFile(), saved);
}

} // namespace
} // namespace coral
