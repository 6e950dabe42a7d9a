#pragma once
// For gui tests whose windows run in the test's own process: the GTK main loop, lookups of what
// it shows, and real X input. Threads: the test's thread, which runs the main loop.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

#include <gtk/gtk.h>

namespace coral::test {

// Runs the main loop until `done` or for `milliseconds`; false when `done` never held.
inline bool PumpUntil(const std::function<bool()>& done, int milliseconds = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  return true;
}

inline void Pump(int milliseconds) {
  PumpUntil([] { return false; }, milliseconds);
}

// Real X input through xdotool ("mousemove 10 20 click 1", "key ctrl+c"), then the main loop
// runs for a while.
inline void Xdo(const std::string& command) {
  EXPECT_EQ(std::system(("xdotool " + command).c_str()), 0) << command;
  Pump(50);
}

// The visible top-level window titled `title`, or nullptr.
inline GtkWidget* FindWindow(const std::string& title) {
  GList* windows = gtk_window_list_toplevels();
  GtkWidget* found = nullptr;
  for (GList* w = windows; w && !found; w = w->next) {
    const char* shown = gtk_window_get_title(GTK_WINDOW(w->data));
    if (shown && title == shown && gtk_widget_get_visible(GTK_WIDGET(w->data))) {
      found = GTK_WIDGET(w->data);
    }
  }
  g_list_free(windows);
  return found;
}

// The first widget under `widget` (itself included) named `name`, or nullptr.
inline GtkWidget* FindByName(GtkWidget* widget, const std::string& name) {
  if (gtk_widget_get_name(widget) == name) return widget;
  GtkWidget* found = nullptr;
  if (GTK_IS_CONTAINER(widget)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* child = children; child && !found; child = child->next) {
      found = FindByName(GTK_WIDGET(child->data), name);
    }
    g_list_free(children);
  }
  return found;
}

} // namespace coral::test
