// The editor's platform window end to end: a real GtkWindow on a private X server, the canvas
// drawn by OpenGL (llvmpipe), driven by real X input through XTest, read back as PNG.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/IEditorDelegate.h"
#include "ui/ICanvasGtk.h"
#include "ui/IKnobControlBase.h"
#include "ui/ITextEntryControl.h"

// X11's macros (None, Bool, Status) come after every other header.
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>

namespace reef::ui {
namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 320;
constexpr IColor kBackground{255, 24, 28, 32};
constexpr IColor kRed{255, 200, 40, 40};
constexpr IColor kBlue{255, 40, 60, 210};
constexpr IColor kCopper{255, 215, 165, 109};
constexpr IColor kTeal{255, 105, 204, 194};
const char* const kFont = "Roboto";

struct TestDelegate : IEditorDelegate {
  TestDelegate() : IEditorDelegate(1) {}
  void SendParameterValueFromDelegate(int, double, bool) override {}
  void BeginInformHostOfParamChangeFromUI(int) override {}
  void EndInformHostOfParamChangeFromUI(int) override {}
};

struct Event {
  std::string kind;
  float x = 0.f;
  float y = 0.f;
  float amount = 0.f; // drag dY or wheel delta
};

// A filled rectangle that records the mouse input it receives.
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
  void OnMouseDrag(float x, float y, float, float dY, const IMouseMod&) override {
    events.push_back({"drag", x, y, dY});
  }
  void OnMouseDblClick(float x, float y, const IMouseMod&) override {
    events.push_back({"double", x, y});
  }
  void OnMouseWheel(float x, float y, const IMouseMod&, float delta) override {
    events.push_back({"wheel", x, y, delta});
  }
  int Count(const std::string& kind) const {
    return static_cast<int>(std::count_if(events.begin(), events.end(),
                                          [&](const Event& e) { return e.kind == kind; }));
  }

  IColor color;
  std::vector<Event> events;
  int draws = 0;
  bool animate = false;
};

// Opens a pop-up menu or the text entry over itself when pressed.
class Requester : public IControl {
public:
  enum class EAsk { Menu, Entry };
  Requester(const IRect& bounds, EAsk what) : IControl(bounds), ask(what) {}
  void Draw(ICanvas& g) override { g.FillRect(IColor(255, 60, 70, 80), GetRect()); }
  void OnMouseDown(float, float, const IMouseMod&) override {
    if (ask == EAsk::Menu) {
      GetUI()->CreatePopupMenu(*this, menu, GetRect());
    } else {
      const IText style(16.f, kColorWhite, kFont, EAlign::Near);
      GetUI()->CreateTextEntry(*this, style, GetRect(), "12.5", 0);
    }
  }
  void OnPopupMenuSelection(const IPopupMenu& shown, int) override {
    chosen.push_back(shown.GetChosenItemIdx());
  }
  void OnTextEntryCompletion(const std::string& text, int) override { texts.push_back(text); }

  EAsk ask;
  IPopupMenu menu{{"Low", "Mid", "High"}};
  std::vector<int> chosen;
  std::vector<std::string> texts;
};

class Knob : public IKnobControlBase {
public:
  using IKnobControlBase::IKnobControlBase;
  void Draw(ICanvas& g) override { g.FillCircle(kBlue, GetRect().MidX(), GetRect().MidY(), 30.f); }
};

// Known shapes for pixel probes: a gradient, a capital H at 36 px, the logo.
class Artwork : public IControl {
public:
  static constexpr IRect kGradient{140.f, 100.f, 340.f, 140.f};
  static constexpr IRect kText{140.f, 150.f, 300.f, 210.f};
  static constexpr IRect kLogo{250.f, 240.f, 460.f, 282.f};

  Artwork() : IControl(IRect(140.f, 100.f, 460.f, 290.f)) {
    logo = ISVG::FromResource("KESTRILAB_LOGO.SVG");
  }
  void Draw(ICanvas& g) override {
    g.PathRect(kGradient);
    g.PathFill(IPattern::Linear(kGradient.left, 0.f, kGradient.right, 0.f, kRed, kBlue));
    g.DrawText(IText(36.f, kColorWhite, kFont, EAlign::Near), "H", kText);
    g.DrawSVG(logo, kLogo);
  }
  ISVG logo;
};

using Pixel = std::array<int, 4>;

struct Image {
  int width = 0;
  int height = 0;
  std::vector<Pixel> pixels;
  Pixel At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

Image FromPixbuf(GdkPixbuf* pixbuf) {
  Image image;
  if (!pixbuf) return image;
  image.width = gdk_pixbuf_get_width(pixbuf);
  image.height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guchar* data = gdk_pixbuf_read_pixels(pixbuf);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const guchar* p = data + y * stride + x * channels;
      image.pixels.push_back({p[0], p[1], p[2], channels == 4 ? p[3] : 255});
    }
  }
  g_object_unref(pixbuf);
  return image;
}

bool Near(const Pixel& pixel, const IColor& color, int tolerance) {
  return std::abs(pixel[0] - color.red) <= tolerance &&
         std::abs(pixel[1] - color.green) <= tolerance &&
         std::abs(pixel[2] - color.blue) <= tolerance && pixel[3] == 255;
}

void Pump(int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < end) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
}

bool PumpUntil(const std::function<bool()>& done, int milliseconds = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  return true;
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
    display = gdk_x11_display_get_xdisplay(gdk_display_get_default());
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window), box);

    canvas = std::make_unique<ICanvasGtk>(delegate, kWidth, kHeight, 30, 1.f);
    ASSERT_TRUE(canvas->LoadFont(kFont, "Roboto-Regular.ttf"));
    canvas->EnableMouseOver(true);
    background =
        canvas->Attach(std::make_unique<Probe>(IRect(0.f, 0.f, kWidth, kHeight), kBackground));
    probe = canvas->Attach(std::make_unique<Probe>(IRect(20.f, 20.f, 120.f, 80.f), kRed));
    menu = canvas->Attach(
        std::make_unique<Requester>(IRect(140.f, 20.f, 240.f, 80.f), Requester::EAsk::Menu));
    entry = canvas->Attach(
        std::make_unique<Requester>(IRect(260.f, 20.f, 460.f, 60.f), Requester::EAsk::Entry));
    knob = canvas->Attach(std::make_unique<Knob>(IRect(20.f, 100.f, 100.f, 180.f)));
    canvas->Attach(std::make_unique<Artwork>());
    canvas->AttachTextEntryControl();
    canvas->SetKeyHandlerFunc([this](float, float, const IKeyPress& key) {
      keys.push_back(key);
      return key.vk == 'A';
    });

    // The window's own key handling, after the canvas had its chance.
    accelerators = gtk_accel_group_new();
    gtk_window_add_accel_group(GTK_WINDOW(window), accelerators);
    gtk_accel_group_connect(accelerators, GDK_KEY_comma, GDK_CONTROL_MASK, GtkAccelFlags(0),
                            g_cclosure_new_swap(G_CALLBACK(+[](gpointer count) {
                                                  ++*static_cast<int*>(count);
                                                  return TRUE;
                                                }),
                                                &acceleratorRuns, nullptr));
    g_signal_connect_after(window, "key-press-event",
                           G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, gpointer keyvals) {
                             static_cast<std::vector<guint>*>(keyvals)->push_back(event->keyval);
                             return FALSE;
                           }),
                           &propagated);

    ASSERT_TRUE(canvas->OpenWindow(box));
    area = static_cast<GtkWidget*>(canvas->GetWidget());
    gtk_widget_show_all(window);
    gtk_window_move(GTK_WINDOW(window), 0, 0);
    gtk_window_present(GTK_WINDOW(window));
    ASSERT_TRUE(PumpUntil([&] { return Frames() > 0; }, 10000)) << "the editor never drew";
    Pump(100);
  }

  void TearDown() override {
    if (canvas) canvas->CloseWindow();
    canvas.reset();
    if (window) gtk_widget_destroy(window);
    if (accelerators) g_object_unref(accelerators);
    Pump(50);
  }

  // Screen position (X pixels) of canvas point (x, y).
  std::pair<int, int> OnScreen(float x, float y) const {
    gint originX = 0;
    gint originY = 0;
    gdk_window_get_origin(InputWindow(area), &originX, &originY);
    const float scale = canvas->GetDrawScale();
    return {static_cast<int>(std::lround((originX + x * scale) * screenScale)),
            static_cast<int>(std::lround((originY + y * scale) * screenScale))};
  }
  void MoveToScreen(int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XSync(display, False);
    Pump(30);
  }
  void MoveTo(float x, float y) {
    const auto [screenX, screenY] = OnScreen(x, y);
    MoveToScreen(screenX, screenY);
  }
  void Button(unsigned button, bool press) {
    XTestFakeButtonEvent(display, button, press, CurrentTime);
    XSync(display, False);
    Pump(30);
  }
  void Click(unsigned button = 1) {
    Button(button, true);
    Button(button, false);
  }
  void Key(KeySym symbol, bool ctrl = false) {
    const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
    if (ctrl) XTestFakeKeyEvent(display, control, True, CurrentTime);
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, symbol), True, CurrentTime);
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, symbol), False, CurrentTime);
    if (ctrl) XTestFakeKeyEvent(display, control, False, CurrentTime);
    XSync(display, False);
    Pump(40);
  }
  std::pair<int, int> Pointer() const {
    Window root = 0;
    Window child = 0;
    int x = 0;
    int y = 0;
    int winX = 0;
    int winY = 0;
    unsigned mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &winX, &winY, &mask);
    return {x, y};
  }
  Image Screenshot() {
    char folder[] = "/tmp/coral-gui-XXXXXX";
    EXPECT_NE(g_mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/editor.png";
    EXPECT_TRUE(canvas->SaveScreenshot(path));
    Image image = FromPixbuf(gdk_pixbuf_new_from_file(path.c_str(), nullptr));
    if (const char* keep = std::getenv("CORAL_GUI_SCREENSHOT")) g_rename(path.c_str(), keep);
    g_remove(path.c_str());
    g_rmdir(folder);
    return image;
  }

  int screenScale = 1; // GDK's scale factor for the process
  TestDelegate delegate;
  Display* display = nullptr;
  GtkWidget* window = nullptr;
  GtkWidget* area = nullptr;
  GtkAccelGroup* accelerators = nullptr;
  std::unique_ptr<ICanvasGtk> canvas;
  // Frames drawn: every frame draws the background, which lies under everything.
  int Frames() const { return background->draws; }

  Probe* background = nullptr;
  Probe* probe = nullptr;
  Requester* menu = nullptr;
  Requester* entry = nullptr;
  Knob* knob = nullptr;
  std::vector<IKeyPress> keys;
  std::vector<guint> propagated;
  int acceleratorRuns = 0;
};

TEST_F(CanvasGtkTest, ScreenshotShowsShapesTextAndLogo) {
  const Image image = Screenshot();
  ASSERT_EQ(image.width, kWidth);
  ASSERT_EQ(image.height, kHeight);
  EXPECT_TRUE(Near(image.At(70, 50), kRed, 0));
  EXPECT_TRUE(Near(image.At(5, 300), kBackground, 0));
  EXPECT_TRUE(Near(image.At(60, 140), kBlue, 0));
  // The gradient runs from red at its left edge to blue at its right edge.
  EXPECT_TRUE(Near(image.At(141, 120), kRed, 3));
  EXPECT_TRUE(Near(image.At(338, 120), kBlue, 3));
  EXPECT_TRUE(Near(image.At(240, 120), IColor(255, 120, 50, 125), 6));

  // Roboto's capital H is 1456/2048 of the em size tall: 25.6 pixels at 36.
  int top = kHeight;
  int bottom = -1;
  for (int y = 150; y < 210; ++y) {
    for (int x = 140; x < 300; ++x) {
      if (image.At(x, y)[1] > 128) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
  }
  EXPECT_NEAR(bottom - top + 1, 0.711 * 36, 1.5);

  int copper = 0;
  int teal = 0;
  for (int y = 240; y < 282; ++y) {
    for (int x = 250; x < 460; ++x) {
      copper += Near(image.At(x, y), kCopper, 12);
      teal += Near(image.At(x, y), kTeal, 12);
    }
  }
  EXPECT_GT(copper, 150);
  EXPECT_GT(teal, 20);
}

TEST_F(CanvasGtkTest, DirtyAreaRedrawMatchesFullRedraw) {
  // Nothing dirty: no frame is rendered.
  const int idleFrames = Frames();
  const int idleDraws = probe->draws;
  Pump(400);
  EXPECT_EQ(Frames(), idleFrames);

  probe->color = kBlue;
  probe->SetDirty(false);
  ASSERT_TRUE(PumpUntil([&] { return Frames() > idleFrames; }));
  Pump(100);
  EXPECT_EQ(probe->draws, idleDraws + 1);
  EXPECT_EQ(knob->GetValue(), 0.0);

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
  EXPECT_TRUE(Near(shown.At(70, 50), kBlue, 0));

  // A control that is dirty every frame is drawn at most at the frame rate.
  probe->animate = true;
  Pump(200);
  const int before = probe->draws;
  Pump(1000);
  EXPECT_GT(probe->draws - before, 0);
  EXPECT_LE(probe->draws - before, 31);
}

TEST_F(CanvasGtkTest, InputIsInCanvasPixelsAtAnyDrawScale) {
  canvas->Resize(kWidth, kHeight, 1.5f, true);
  ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_allocated_width(area) == 720; }));
  Pump(200);
  MoveTo(70.f, 50.f);
  Click();
  ASSERT_EQ(probe->Count("down"), 1);
  EXPECT_NEAR(probe->events[0].x, 70.f, 1.f);
  EXPECT_NEAR(probe->events[0].y, 50.f, 1.f);
  EXPECT_EQ(probe->Count("up"), 1);

  const Image image = Screenshot();
  ASSERT_EQ(image.width, 720);
  ASSERT_EQ(image.height, 480);
  EXPECT_TRUE(Near(image.At(105, 75), kRed, 0));
  EXPECT_TRUE(Near(image.At(25, 25), kBackground, 0));
}

class HiDpiCanvasGtkTest : public CanvasGtkTest {
protected:
  HiDpiCanvasGtkTest() { screenScale = 2; }
};

TEST_F(HiDpiCanvasGtkTest, DrawsAtTheScreenScaleAndTakesInputInCanvasPixels) {
  EXPECT_EQ(canvas->GetScreenScale(), 2.f);
  MoveTo(70.f, 50.f);
  Click();
  ASSERT_EQ(probe->Count("down"), 1);
  EXPECT_NEAR(probe->events[0].x, 70.f, 1.f);
  EXPECT_NEAR(probe->events[0].y, 50.f, 1.f);
  const Image image = Screenshot();
  ASSERT_EQ(image.width, 2 * kWidth);
  ASSERT_EQ(image.height, 2 * kHeight);
  EXPECT_TRUE(Near(image.At(140, 100), kRed, 0));
  EXPECT_TRUE(Near(image.At(30, 30), kBackground, 0));
}

TEST_F(CanvasGtkTest, DragKeepsGoingToTheCapturedControlOutsideTheEditor) {
  MoveTo(70.f, 50.f);
  Button(1, true);
  for (int step = 1; step <= 5; ++step) MoveTo(70.f + 100.f * step, 50.f + 60.f * step);
  Button(1, false);
  ASSERT_GE(probe->Count("drag"), 3);
  EXPECT_GT(probe->events.back().x, kWidth);
  EXPECT_EQ(probe->events.back().kind, "up");
  EXPECT_NEAR(probe->events.back().y, 350.f, 1.f);
}

TEST_F(CanvasGtkTest, KnobDragHidesAndHoldsThePointer) {
  MoveTo(60.f, 140.f);
  const auto start = Pointer();
  Button(1, true);
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
  Button(1, false);
  EXPECT_EQ(gdk_window_get_cursor(InputWindow(area)), nullptr);
  EXPECT_EQ(Pointer(), start);
}

TEST_F(CanvasGtkTest, WheelAndDoubleClick) {
  MoveTo(70.f, 50.f);
  Click(4);
  ASSERT_EQ(probe->Count("wheel"), 1);
  EXPECT_EQ(probe->events.back().amount, 1.f);
  Click(5);
  ASSERT_EQ(probe->Count("wheel"), 2);
  EXPECT_EQ(probe->events.back().amount, -1.f);

  probe->events.clear();
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XSync(display, False);
  Pump(200);
  EXPECT_EQ(probe->Count("down"), 1);
  EXPECT_EQ(probe->Count("double"), 1);
  // A third press is a press again.
  Click();
  EXPECT_EQ(probe->Count("down"), 2);
  EXPECT_EQ(probe->Count("double"), 1);
}

TEST_F(CanvasGtkTest, TextEntryCommitsOnEnterAndCancelsOnEscape) {
  ITextEntryControl* textEntry = canvas->GetTextEntryControl();
  MoveTo(300.f, 40.f);
  Click();
  ASSERT_TRUE(textEntry->IsShowing());
  EXPECT_EQ(textEntry->GetEditText(), "12.5");
  Key(XK_c, true);
  EXPECT_EQ(canvas->GetClipboardText(), "12.5");
  Key(XK_4);
  Key(XK_2);
  EXPECT_EQ(textEntry->GetEditText(), "42");
  Key(XK_Return);
  EXPECT_FALSE(textEntry->IsShowing());
  EXPECT_EQ(entry->texts, std::vector<std::string>{"42"});

  Pump(500); // not a double click
  Click();
  ASSERT_TRUE(textEntry->IsShowing());
  Key(XK_7);
  Key(XK_Escape);
  EXPECT_FALSE(textEntry->IsShowing());
  EXPECT_EQ(entry->texts.size(), 1u);
}

TEST_F(CanvasGtkTest, PopupMenuDeliversTheChosenItemOrDismissal) {
  const auto openMenu = [&]() -> GtkWidget* {
    MoveTo(190.f, 50.f);
    Click();
    GtkWidget* shown = nullptr;
    PumpUntil([&] {
      GList* menus = gtk_menu_get_for_attach_widget(area);
      shown = menus && gtk_widget_get_mapped(GTK_WIDGET(menus->data)) ? GTK_WIDGET(menus->data)
                                                                      : nullptr;
      return shown != nullptr;
    });
    Pump(100);
    return shown;
  };
  GtkWidget* shown = openMenu();
  ASSERT_NE(shown, nullptr);
  GList* items = gtk_container_get_children(GTK_CONTAINER(shown));
  ASSERT_EQ(g_list_length(items), 3u);
  GtkWidget* high = GTK_WIDGET(g_list_nth_data(items, 2));
  g_list_free(items);
  EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(high)), "High");
  GtkAllocation allocation;
  gtk_widget_get_allocation(high, &allocation);
  gint originX = 0;
  gint originY = 0;
  gdk_window_get_origin(gtk_widget_get_window(high), &originX, &originY);
  MoveToScreen(originX + allocation.x + allocation.width / 2,
               originY + allocation.y + allocation.height / 2);
  Click();
  ASSERT_TRUE(PumpUntil([&] { return !menu->chosen.empty(); }));
  EXPECT_EQ(menu->chosen, std::vector<int>{2});

  ASSERT_NE(openMenu(), nullptr);
  Key(XK_Escape);
  ASSERT_TRUE(PumpUntil([&] { return menu->chosen.size() == 2; }));
  EXPECT_EQ(menu->chosen.back(), -1);
  EXPECT_FALSE(canvas->IsPopupMenuOpen());
}

TEST_F(CanvasGtkTest, KeysTheCanvasLeavesReachTheWindow) {
  MoveTo(400.f, 200.f);
  Key(XK_a);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].vk, 'A');
  EXPECT_EQ(keys[0].utf8, "a");
  EXPECT_TRUE(propagated.empty());

  Key(XK_b);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[1].vk, 'B');
  EXPECT_EQ(propagated, std::vector<guint>{GDK_KEY_b});

  Key(XK_comma, true);
  EXPECT_EQ(acceleratorRuns, 1);
}

// The shown tooltip's label, or nullptr.
GtkLabel* ShownTooltip(GtkWidget* widget) {
  if (GTK_IS_LABEL(widget) && gtk_widget_get_mapped(widget)) return GTK_LABEL(widget);
  GtkLabel* found = nullptr;
  if (GTK_IS_CONTAINER(widget)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* child = children; child && !found; child = child->next) {
      found = ShownTooltip(GTK_WIDGET(child->data));
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
            label = ShownTooltip(GTK_WIDGET(w->data));
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
        canvas.Attach(std::make_unique<Probe>(IRect(0.f, 0.f, kWidth, kHeight), kBackground));
        canvas.OpenWindow(box);
        gtk_widget_show_all(window);
        const auto errorDialog = [] {
          bool found = false;
          GList* windows = gtk_window_list_toplevels();
          for (GList* w = windows; w; w = w->next) {
            found = found || (GTK_IS_MESSAGE_DIALOG(w->data) &&
                              gtk_widget_get_visible(GTK_WIDGET(w->data)) &&
                              g_strcmp0(gtk_window_get_title(GTK_WINDOW(w->data)), "Error") == 0);
          }
          g_list_free(windows);
          return found;
        };
        const bool reported = PumpUntil(errorDialog, 5000);
        Pump(300);
        const bool windowStays = gtk_widget_get_visible(window);
        const bool noScreenshot = !canvas.SaveScreenshot("/tmp/coral-gui-no-gl.png");
        canvas.CloseWindow();
        gtk_widget_destroy(window);
        std::exit(reported && windowStays && noScreenshot ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "needs OpenGL 3.2 or newer");
}

} // namespace
} // namespace reef::ui
