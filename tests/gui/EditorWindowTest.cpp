// The product's editor in a real GTK window drawn by OpenGL (llvmpipe, on the private X server
// of tests/support/with-xvfb): a redraw of any area comes out exactly as a whole redraw, and
// the tabs, selection and a loaded recipe show in their palette colours. With
// CORAL_EDITOR_SCREENSHOTS=folder the views are kept there as PNG files for a look.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <epoxy/gl.h>
#include <gtk/gtk.h>

#include "core/CoralSieve.h"
#include "editor/EditorLayout.h"
#include "editor/EditorOperations.h"
#include "editor/Palette.h"
#include "ui/ICanvasGtk.h"

namespace coral {
namespace {

using reef::ui::IColor;
using reef::ui::IRect;

// The window canvas with its off-screen buffer readable.
class ReadableCanvas : public reef::ui::ICanvasGtk {
public:
  using ICanvasGtk::ICanvasGtk;
  using ICanvasNanoVG::ReadPixels;
};

struct Image {
  std::vector<unsigned char> rgba;
  int width = 0;
  int height = 0;
  IColor At(int x, int y) const {
    const unsigned char* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
    return IColor(p[3], p[0], p[1], p[2]);
  }
};

void Pump(int milliseconds) {
  const gint64 end = g_get_monotonic_time() + milliseconds * 1000;
  while (g_get_monotonic_time() < end) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
}

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
    if (areas.empty()) {
      canvas->DrawAll();
    } else {
      reef::ui::IRectList list;
      for (const IRect& area : areas) list.Add(area);
      canvas->Draw(list);
    }
    Image image;
    EXPECT_TRUE(canvas->ReadPixels(image.rgba, image.width, image.height));
    return image;
  }
  // The whole editor after the frame cycle has caught up; kept when asked for.
  Image View(const char* name) {
    Pump(200);
    Image image = Draw();
    if (const char* folder = std::getenv("CORAL_EDITOR_SCREENSHOTS")) {
      canvas->SaveScreenshot(std::string(folder) + "/" + name + ".png");
    }
    return image;
  }

  std::unique_ptr<CoralSieve> plug;
  ReadableCanvas* canvas = nullptr;
  std::shared_ptr<ViewState> view;
  GtkWidget* window = nullptr;
};

// Whether pixel (x, y) lies on the outermost ring of whole pixels that `area` touches, where
// the drawing's clip edge is soft.
bool OnBorder(const IRect& area, int x, int y) {
  const int left = static_cast<int>(std::floor(area.left));
  const int top = static_cast<int>(std::floor(area.top));
  const int right = static_cast<int>(std::ceil(area.right)) - 1;
  const int bottom = static_cast<int>(std::ceil(area.bottom)) - 1;
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
      {{35.25f, 464.25f, 108.75f, 508.75f}, {500.25f, 700.25f, 700.75f, 760.75f}},
  };
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
  constexpr IColor kLitFill{255, 36, 65, 65};
  constexpr IColor kTrough{255, 16, 25, 29};
  const auto expectNear = [](const Image& image, int x, int y, const IColor& color,
                             const char* what) {
    EXPECT_LE(Distance(image.At(x, y), color), 2)
        << what << " at " << x << ", " << y << " is " << image.At(x, y).red << ", "
        << image.At(x, y).green << ", " << image.At(x, y).blue;
  };
  Image shape = View("shape");
  expectNear(shape, 40, 640, kPanel, "lower panel");
  expectNear(shape, 100, 470, kLitFill, "selected band slot");
  expectNear(shape, 180, 470, kPanel, "band slot 2");
  expectNear(shape, 48, 479, kTeal, "band 1 dot");
  expectNear(shape, 364, 479, kTextDim, "disabled band 5 dot");
  expectNear(shape, 900, 540, kLitFill, "SHAPE tab");
  expectNear(shape, 1076, 250, kTrough, "silent meter");
  expectNear(shape, 1060, 20, kBackTop, "background near the top");

  SelectTab(*view, *canvas, kDynamicsTab);
  Image dynamics = View("dynamics");
  expectNear(dynamics, 1020, 540, kLitFill, "DYNAMICS tab");
  expectNear(dynamics, 900, 540, kPanel, "SHAPE tab");

  SelectTab(*view, *canvas, kGlobalTab);
  Image global = View("global");
  expectNear(global, 1127, 540, kLitFill, "GLOBAL tab");
  // MIX at 100 %: the value arc ends at +138 degrees, in teal.
  const float cx = 46 + 184 * 2 + 87, cy = 578 + 62;
  expectNear(global, int(cx + 36 * std::sin(2.2)), int(cy - 36 * std::cos(2.2)), kTeal, "MIX arc");

  plug->ApplyRecipe(21);
  SelectBand(*view, *canvas, 11);
  Image recipe = View("recipe");
  expectNear(recipe, 917, 479, BandColor(11), "band 12 dot");
  expectNear(recipe, 910, 470, kLitFill, "selected band 12");
}

} // namespace
} // namespace coral
