// The product's editor in a real GTK window drawn by OpenGL (llvmpipe, on the private X server
// of tests/support/with-xvfb): a redraw of any area comes out exactly as a whole redraw, and
// the tabs, selection and a loaded recipe show in their palette colours. With
// CORAL_EDITOR_SCREENSHOTS=folder the views are kept there as PNG files for a look.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <epoxy/gl.h>
#include <gtk/gtk.h>

#include "core/CoralSieve.h"
#include "editor/EditorLayout.h"
#include "editor/EditorOperations.h"
#include "editor/Palette.h"
#include "tests/gui/InProcessGui.h"
#include "ui/ICanvasGtk.h"

namespace coral {
namespace {

using reef::ui::IColor;
using reef::ui::IRect;
using test::Pump;

// The window canvas with its off-screen buffer readable.
class ReadableCanvas : public reef::ui::ICanvasGtk {
public:
  using ICanvasGtk::ICanvasGtk;
  using ICanvasNanoVG::ReadPixels;
};

struct Image {
  std::vector<unsigned char> rgba;
  int width = 0, height = 0;
  IColor At(int x, int y) const {
    const unsigned char* p = &rgba[(std::size_t(y) * width + x) * 4];
    return IColor(p[3], p[0], p[1], p[2]);
  }
};

int Distance(const IColor& a, const IColor& b) {
  return std::max(
      {std::abs(a.red - b.red), std::abs(a.green - b.green), std::abs(a.blue - b.blue)});
}

class EditorWindow : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    reef::IEditorHooks hooks{[this](reef::ICanvasEditorDelegate& delegate) {
                               auto made = std::make_unique<ReadableCanvas>(
                                   delegate, CoralSieve::kEditorWidth, CoralSieve::kEditorHeight,
                                   kEditorFrameRate, 1.f);
                               canvas = made.get();
                               return std::unique_ptr<reef::IEditorCanvas>(std::move(made));
                             },
                             [this](reef::IEditorCanvas& made) {
                               view = LayoutEditor(static_cast<reef::ui::ICanvas&>(made), *plug);
                             }};
    plug = std::make_unique<CoralSieve>(reef::InstanceInfo{}, std::move(hooks));
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    plug->OpenWindow(box);
    gtk_widget_show_all(window);
    Pump(1500);
  }
  void TearDown() override {
    if (plug) plug->CloseWindow();
    if (window) gtk_widget_destroy(window);
    Pump(50);
  }

  // The buffer after drawing `areas` (the whole canvas when empty).
  Image Draw(const std::vector<IRect>& areas = {}) {
    gtk_gl_area_make_current(GTK_GL_AREA(canvas->GetWidget()));
    reef::ui::IRectList list;
    for (const IRect& area : areas) list.Add(area);
    areas.empty() ? canvas->DrawAll() : canvas->Draw(list);
    Image image;
    EXPECT_TRUE(canvas->ReadPixels(image.rgba, image.width, image.height));
    return image;
  }
  // The whole editor after the frame cycle has caught up; kept when asked for.
  Image View(const char* name) {
    Pump(200);
    if (const char* folder = std::getenv("CORAL_EDITOR_SCREENSHOTS")) {
      canvas->SaveScreenshot(std::string(folder) + "/" + name + ".png");
    }
    return Draw();
  }

  std::unique_ptr<CoralSieve> plug;
  ReadableCanvas* canvas = nullptr;
  std::shared_ptr<ViewState> view;
  GtkWidget* window = nullptr;
};

// Whether pixel (x, y) lies on the outermost ring of whole pixels that `area` touches, where
// the drawing's clip edge is soft.
bool OnBorder(const IRect& area, int x, int y) {
  const int left = int(std::floor(area.left)), right = int(std::ceil(area.right)) - 1;
  const int top = int(std::floor(area.top)), bottom = int(std::ceil(area.bottom)) - 1;
  const bool inside = x >= left && x <= right && y >= top && y <= bottom;
  return inside && (x == left || x == right || y == top || y == bottom);
}

TEST_F(EditorWindow, ARedrawOfAnyAreaEqualsAWholeRedraw) {
  const Image whole = Draw();
  ASSERT_EQ(whole.width, 1180);
  // Dirty areas as the frame cycle makes them (rectangles grown by 0.75 pixel): a meter, a
  // knob and a value box inside the lower panel, areas across the panels' edges and corners, the
  // separators, the title, and the band strip with part of the footer at once.
  const std::vector<std::vector<IRect>> cases = {
      {{1062.25f, 146.25f, 1144.75f, 451.75f}},
      {{229.25f, 577.25f, 404.75f, 711.75f}},
      {{30.25f, 140.25f, 60.75f, 160.75f}},
      {{1040.25f, 440.25f, 1070.75f, 530.75f}},
      {{0.25f, 90.25f, 1180.f, 101.75f}},
      {{100.25f, 50.25f, 300.75f, 75.75f}},
      {{263.25f, 680.25f, 402.75f, 707.75f}},
      {{35.25f, 464.25f, 108.75f, 508.75f}, {500.25f, 700.25f, 700.75f, 760.75f}}};
  for (const auto& areas : cases) {
    const Image partial = Draw(areas);
    int differing = 0;
    for (int y = 0; y < whole.height; ++y) {
      for (int x = 0; x < whole.width; ++x) {
        bool border = false;
        for (const IRect& area : areas) border = border || OnBorder(area, x, y);
        // The clip edge may leave a border pixel one level off; every other pixel is exact.
        differing += Distance(whole.At(x, y), partial.At(x, y)) > (border ? 1 : 0);
      }
    }
    EXPECT_EQ(differing, 0) << "area from " << areas[0].left << ", " << areas[0].top;
    Draw(); // back to the whole picture for the next case
  }
}

TEST_F(EditorWindow, TabsSelectionAndRecipesShowInThePaletteColours) {
  constexpr IColor kLit{255, 36, 65, 65}, kTrough{255, 16, 25, 29};
  // MIX at 100 %: the value arc ends at +138 degrees, in teal.
  const int arcX = int(46 + 184 * 2 + 87 + 36 * std::sin(2.2)),
            arcY = int(578 + 62 - 36 * std::cos(2.2));
  using Probes = std::vector<std::tuple<int, int, IColor>>;
  const std::tuple<const char*, std::function<void()>, Probes> views[] = {
      // The lower panel, the selected and another band slot, band 1's dot and disabled band 5's,
      // the SHAPE tab, a silent meter and the background near the top.
      {"shape",
       [] {},
       {{40, 640, kPanel},
        {100, 470, kLit},
        {180, 470, kPanel},
        {48, 479, kTeal},
        {364, 479, kTextDim},
        {900, 540, kLit},
        {1076, 250, kTrough},
        {1060, 20, kBackTop}}},
      {"dynamics",
       [&] { SelectTab(*view, *canvas, kDynamicsTab); },
       {{1020, 540, kLit}, {900, 540, kPanel}}},
      {"global",
       [&] { SelectTab(*view, *canvas, kGlobalTab); },
       {{1127, 540, kLit}, {arcX, arcY, kTeal}}},
      // Band 12's dot and its slot, selected.
      {"recipe",
       [&] { plug->ApplyRecipe(21), SelectBand(*view, *canvas, 11); },
       {{917, 479, BandColor(11)}, {910, 470, kLit}}}};
  for (const auto& [name, change, probes] : views) {
    change();
    const Image image = View(name);
    for (const auto& [x, y, color] : probes) {
      EXPECT_LE(Distance(image.At(x, y), color), 2) << name << " at " << x << ", " << y;
    }
  }
}

} // namespace
} // namespace coral
