// What the editor's platform window adds to the canvas, end to end: a real GtkWindow on a private
// X server, the canvas drawn by OpenGL (llvmpipe), driven by real X input through xdotool, read
// back as PNG. The canvas's own logic is proved without a display (tests/ui); keys, typed
// values, menus, the wheel and double clicks through the window in the application's gui tests.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/IEditorDelegate.h"
#include "tests/gui/InProcessGui.h"
#include "ui/ICanvasGtk.h"
#include "ui/IKnobControlBase.h"
#include <glib/gstdio.h>

namespace reef::ui {
namespace {

using coral::test::Pump;
using coral::test::PumpUntil;
using coral::test::Xdo;

constexpr int kWidth = 480;
constexpr int kHeight = 320;
constexpr IColor kBackground{255, 24, 28, 32};
constexpr IColor kRed{255, 200, 40, 40};
constexpr IColor kBlue{255, 40, 60, 210};
const char* const kFont = "Roboto";

struct TestDelegate : IEditorDelegate {
  TestDelegate() : IEditorDelegate(1) {}
  void SendParameterValueFromDelegate(int, double, bool) override {}
  void BeginInformHostOfParamChangeFromUI(int) override {}
  void EndInformHostOfParamChangeFromUI(int) override {}
};

struct Event {
  std::string kind;
  float x, y;
};

// A filled rectangle that records its mouse input.
class Probe : public IControl {
public:
  Probe(const IRect& bounds, const IColor& fill) : IControl(bounds), color(fill) {}
  void Draw(ICanvas& g) override {
    ++draws;
    g.FillRect(color, GetRect());
  }
  bool IsDirty() override { return animate || IControl::IsDirty(); }
  void OnMouseDown(float x, float y, const IMouseMod&) override {
    events.push_back({"down", x, y});
  }
  void OnMouseUp(float x, float y, const IMouseMod&) override { events.push_back({"up", x, y}); }
  void OnMouseDrag(float x, float y, float, float, const IMouseMod&) override {
    events.push_back({"drag", x, y});
  }
  int Count(const std::string& kind) const {
    return int(
        std::count_if(events.begin(), events.end(), [&](auto& e) { return e.kind == kind; }));
  }

  IColor color;
  bool animate = false;
  int draws = 0;
  std::vector<Event> events;
};

class Knob : public IKnobControlBase {
public:
  using IKnobControlBase::IKnobControlBase;
  void Draw(ICanvas& g) override { g.FillCircle(kBlue, GetRect().MidX(), GetRect().MidY(), 30.f); }
};

// Known shapes for pixel probes: a gradient, a capital H at 36 px, the logo.
class Artwork : public IControl {
public:
  Artwork() : IControl(IRect(140.f, 100.f, 460.f, 290.f)) {}
  void Draw(ICanvas& g) override {
    g.PathRect(IRect(140.f, 100.f, 340.f, 140.f));
    g.PathFill(IPattern::Linear(140.f, 0.f, 340.f, 0.f, kRed, kBlue));
    g.DrawText(IText(36.f, kColorWhite, kFont, EAlign::Near), "H", IRect(140, 150, 300, 210));
    g.DrawSVG(logo, IRect(250.f, 240.f, 460.f, 282.f));
  }
  ISVG logo = ISVG::FromResource("KESTRILAB_LOGO.SVG");
};

struct Image {
  int width = 0, height = 0;
  std::vector<std::array<int, 4>> pixels;
  const std::array<int, 4>& At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
  bool Near(int x, int y, const IColor& color, int tolerance = 0) const {
    const auto& p = At(x, y);
    return std::abs(p[0] - color.red) <= tolerance && std::abs(p[1] - color.green) <= tolerance &&
           std::abs(p[2] - color.blue) <= tolerance && p[3] == 255;
  }
};

Image FromPixbuf(GdkPixbuf* pixbuf) {
  Image image;
  if (!pixbuf) return image;
  image.width = gdk_pixbuf_get_width(pixbuf);
  image.height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf), stride = gdk_pixbuf_get_rowstride(pixbuf);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const guchar* p = gdk_pixbuf_read_pixels(pixbuf) + y * stride + x * channels;
      image.pixels.push_back({p[0], p[1], p[2], channels == 4 ? p[3] : 255});
    }
  }
  g_object_unref(pixbuf);
  return image;
}

// The editor's input window: where GTK delivers its events and sets its cursor.
GdkWindow* InputWindow(GtkWidget* area) {
  for (GList* child = gdk_window_peek_children(gtk_widget_get_window(area)); child;
       child = child->next) {
    gpointer owner = nullptr;
    gdk_window_get_user_data(GDK_WINDOW(child->data), &owner);
    if (owner == area) return GDK_WINDOW(child->data);
  }
  return nullptr;
}

class CanvasGtkTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (screenScale != 1) {
      // GDK takes the screen scale once per process, when it opens the display.
      if (gdk_display_get_default()) GTEST_SKIP() << "needs a process of its own";
      g_setenv("GDK_SCALE", std::to_string(screenScale).c_str(), TRUE);
    }
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window), box);

    canvas = std::make_unique<ICanvasGtk>(delegate, kWidth, kHeight, 30, 1.f);
    ASSERT_TRUE(canvas->LoadFont(kFont, "Roboto-Regular.ttf"));
    background = canvas->Attach(std::make_unique<Probe>(IRect(0, 0, kWidth, kHeight), kBackground));
    probe = canvas->Attach(std::make_unique<Probe>(IRect(20, 20, 120, 80), kRed));
    knob = canvas->Attach(std::make_unique<Knob>(IRect(20.f, 100.f, 100.f, 180.f)));
    canvas->Attach(std::make_unique<Artwork>());
    ASSERT_TRUE(canvas->OpenWindow(box));
    area = static_cast<GtkWidget*>(canvas->GetWidget());
    gtk_widget_show_all(window);
    gtk_window_move(GTK_WINDOW(window), 0, 0);
    gtk_window_present(GTK_WINDOW(window));
    ASSERT_TRUE(PumpUntil([&] { return background->draws > 0; }, 10000)) << "never drawn";
    Pump(100);
  }

  void TearDown() override {
    if (canvas) canvas->CloseWindow();
    canvas.reset();
    if (window) gtk_widget_destroy(window);
    Pump(50);
  }

  void MoveToScreen(long x, long y) {
    Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y));
  }
  // Moves the pointer to canvas point (x, y).
  void MoveTo(float x, float y) {
    gint originX = 0, originY = 0;
    gdk_window_get_origin(InputWindow(area), &originX, &originY);
    const float scale = canvas->GetDrawScale();
    MoveToScreen(std::lround((originX + x * scale) * screenScale),
                 std::lround((originY + y * scale) * screenScale));
  }
  std::pair<int, int> Pointer() {
    int x = 0, y = 0;
    GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
    gdk_device_get_position(gdk_seat_get_pointer(seat), nullptr, &x, &y);
    return {x, y};
  }
  Image Screenshot() {
    const std::string path =
        std::string(g_get_tmp_dir()) + "/coral-gui-" + std::to_string(getpid()) + ".png";
    EXPECT_TRUE(canvas->SaveScreenshot(path));
    Image image = FromPixbuf(gdk_pixbuf_new_from_file(path.c_str(), nullptr));
    g_remove(path.c_str());
    return image;
  }

  int screenScale = 1; // GDK's scale factor for the process
  TestDelegate delegate;
  GtkWidget* window = nullptr;
  GtkWidget* area = nullptr;
  std::unique_ptr<ICanvasGtk> canvas;
  Probe *background = nullptr, *probe = nullptr;
  Knob* knob = nullptr;
};

TEST_F(CanvasGtkTest, ScreenshotShowsShapesTextAndLogo) {
  const Image image = Screenshot();
  ASSERT_EQ(std::pair(image.width, image.height), std::pair(kWidth, kHeight));
  EXPECT_TRUE(image.Near(70, 50, kRed) && image.Near(5, 300, kBackground));
  EXPECT_TRUE(image.Near(60, 140, kBlue));
  // The gradient runs from red at its left edge to blue at its right edge.
  EXPECT_TRUE(image.Near(141, 120, kRed, 3) && image.Near(338, 120, kBlue, 3));
  EXPECT_TRUE(image.Near(240, 120, IColor(255, 120, 50, 125), 6));

  // Roboto's capital H is 1456/2048 of the em size tall: 25.6 pixels at 36.
  int top = kHeight, bottom = -1;
  for (int y = 150; y < 210; ++y) {
    for (int x = 140; x < 300; ++x) {
      if (image.At(x, y)[1] > 128) top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  EXPECT_NEAR(bottom - top + 1, 0.711 * 36, 1.5);
  // The logo's copper and teal.
  int copper = 0, teal = 0;
  for (int y = 240; y < 282; ++y) {
    for (int x = 250; x < 460; ++x) {
      copper += image.Near(x, y, IColor(255, 215, 165, 109), 12);
      teal += image.Near(x, y, IColor(255, 105, 204, 194), 12);
    }
  }
  EXPECT_GT(copper, 150);
  EXPECT_GT(teal, 20);
}

TEST_F(CanvasGtkTest, DirtyAreaRedrawMatchesFullRedraw) {
  // Nothing dirty: no frame is rendered.
  const int idleFrames = background->draws, idleDraws = probe->draws;
  Pump(400);
  EXPECT_EQ(background->draws, idleFrames);

  probe->color = kBlue;
  probe->SetDirty(false);
  ASSERT_TRUE(PumpUntil([&] { return background->draws > idleFrames; }));
  Pump(100);
  EXPECT_EQ(probe->draws, idleDraws + 1);
  // What the window shows after the partial redraw, against a full redraw of the canvas.
  GtkAllocation allocation;
  gtk_widget_get_allocation(area, &allocation);
  const Image shown = FromPixbuf(gdk_pixbuf_get_from_window(
      gtk_widget_get_window(area), allocation.x, allocation.y, kWidth, kHeight));
  const Image full = Screenshot();
  ASSERT_EQ(shown.pixels.size(), full.pixels.size());
  int different = 0;
  for (std::size_t i = 0; i < full.pixels.size(); ++i) {
    for (int c = 0; c < 3; ++c) different += std::abs(shown.pixels[i][c] - full.pixels[i][c]) > 1;
  }
  EXPECT_EQ(different, 0);
  EXPECT_TRUE(shown.Near(70, 50, kBlue));

  // A control that is dirty every frame is drawn at most at the frame rate.
  probe->animate = true;
  Pump(200);
  const int before = probe->draws;
  Pump(1000);
  EXPECT_GT(probe->draws - before, 0);
  EXPECT_LE(probe->draws - before, 31);
}

// Input arrives in canvas pixels and the picture has the backing size, at a draw scale of
// 1.5 and at a screen scale of 2.
class ScaledCanvasGtkTest : public CanvasGtkTest, public ::testing::WithParamInterface<int> {
protected:
  ScaledCanvasGtkTest() { screenScale = GetParam(); }
};

TEST_P(ScaledCanvasGtkTest, InputIsInCanvasPixelsAndPixelsAtTheBackingSize) {
  const float drawScale = screenScale == 1 ? 1.5f : 1.f, scale = drawScale * screenScale;
  EXPECT_EQ(canvas->GetScreenScale(), float(screenScale));
  canvas->Resize(kWidth, kHeight, drawScale, true);
  ASSERT_TRUE(
      PumpUntil([&] { return gtk_widget_get_allocated_width(area) == int(kWidth * drawScale); }));
  Pump(200);
  MoveTo(70.f, 50.f);
  Xdo("click 1");
  ASSERT_EQ(probe->Count("down"), 1);
  EXPECT_NEAR(probe->events[0].x, 70.f, 1.f);
  EXPECT_NEAR(probe->events[0].y, 50.f, 1.f);
  EXPECT_EQ(probe->Count("up"), 1);
  const Image image = Screenshot();
  ASSERT_EQ(image.width, int(kWidth * scale));
  ASSERT_EQ(image.height, int(kHeight * scale));
  EXPECT_TRUE(image.Near(int(70 * scale), int(50 * scale), kRed));
  EXPECT_TRUE(image.Near(int(15 * scale), int(15 * scale), kBackground));
}

INSTANTIATE_TEST_SUITE_P(DrawAndScreenScale, ScaledCanvasGtkTest, ::testing::Values(1, 2));

TEST_F(CanvasGtkTest, DragKeepsGoingToTheCapturedControlOutsideTheEditor) {
  MoveTo(70.f, 50.f);
  Xdo("mousedown 1");
  for (int step = 1; step <= 5; ++step) MoveTo(70.f + 100.f * step, 50.f + 60.f * step);
  Xdo("mouseup 1");
  ASSERT_GE(probe->Count("drag"), 3);
  EXPECT_EQ(probe->events.back().kind, "up");
  EXPECT_GT(probe->events.back().x, kWidth);
  EXPECT_NEAR(probe->events.back().y, 350.f, 1.f);
}

TEST_F(CanvasGtkTest, KnobDragHidesAndHoldsThePointer) {
  MoveTo(60.f, 140.f);
  const auto start = Pointer();
  Xdo("mousedown 1");
  GdkCursor* cursor = gdk_window_get_cursor(InputWindow(area));
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(gdk_cursor_get_cursor_type(cursor), GDK_BLANK_CURSOR);
  // Four moves of 10 pixels up; the pointer is put back after each.
  for (int step = 0; step < 4; ++step) {
    MoveToScreen(start.first, start.second - 10);
    ASSERT_TRUE(PumpUntil([&] { return Pointer() == start; }));
    Pump(20);
  }
  // 40 pixels of an 80-pixel knob with gearing 4.
  EXPECT_NEAR(knob->GetValue(), 40.0 / (80.0 * 4.0), 1e-6);
  Xdo("mouseup 1");
  EXPECT_EQ(gdk_window_get_cursor(InputWindow(area)), nullptr);
  EXPECT_EQ(Pointer(), start);
}

// The mapped label under `widget`, or nullptr.
GtkLabel* ShownLabel(GtkWidget* widget) {
  if (GTK_IS_LABEL(widget) && gtk_widget_get_mapped(widget)) return GTK_LABEL(widget);
  GtkLabel* found = nullptr;
  if (GTK_IS_CONTAINER(widget)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* child = children; child && !found; child = child->next) {
      found = ShownLabel(GTK_WIDGET(child->data));
    }
    g_list_free(children);
  }
  return found;
}

TEST_F(CanvasGtkTest, TooltipShowsTheControlsTextWrapped) {
  const std::string text = "Set frequency from 20 Hz to 22 kHz. Enter Hz or kHz. Graph nodes use "
                           "a logarithmic frequency axis.";
  probe->SetTooltip(text);
  canvas->EnableTooltips(true);
  MoveTo(60.f, 40.f);
  MoveTo(70.f, 50.f);
  GtkLabel* label = nullptr;
  ASSERT_TRUE(PumpUntil(
      [&] {
        GList* windows = gtk_window_list_toplevels();
        label = nullptr;
        for (GList* w = windows; w && !label; w = w->next) {
          if (gtk_window_get_window_type(GTK_WINDOW(w->data)) == GTK_WINDOW_POPUP) {
            label = ShownLabel(GTK_WIDGET(w->data));
          }
        }
        g_list_free(windows);
        return label != nullptr;
      },
      5000));
  EXPECT_EQ(gtk_label_get_text(label), text);
  EXPECT_LE(gtk_widget_get_allocated_width(GTK_WIDGET(label)), 250);
  EXPECT_GE(pango_layout_get_line_count(gtk_label_get_layout(label)), 2);
}

TEST(CanvasGtkWithoutGl, SaysSoAndKeepsTheWindow) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // A display whose OpenGL stops at 3.0.
        g_setenv("MESA_GL_VERSION_OVERRIDE", "3.0", TRUE);
        if (!gtk_init_check(nullptr, nullptr)) std::exit(2);
        TestDelegate delegate;
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        gtk_container_add(GTK_CONTAINER(window), box);
        ICanvasGtk canvas(delegate, kWidth, kHeight, 30, 1.f);
        canvas.OpenWindow(box);
        gtk_widget_show_all(window);
        const bool reported = PumpUntil(
            [] {
              GtkWidget* dialog = coral::test::FindWindow("Error");
              return dialog && GTK_IS_MESSAGE_DIALOG(dialog);
            },
            5000);
        Pump(300);
        const bool kept =
            gtk_widget_get_visible(window) && !canvas.SaveScreenshot("/tmp/coral-gui-no-gl.png");
        canvas.CloseWindow();
        std::exit(reported && kept ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "needs OpenGL 3.2 or newer");
}

} // namespace
} // namespace reef::ui
