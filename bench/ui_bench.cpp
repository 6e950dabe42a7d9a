// Editor framework costs on the real GTK window with OpenGL (run under an X server; `make
// bench` starts a private Xvfb, where Mesa's llvmpipe draws):
//  - CPU time per frame when every one of about 200 editor-like controls on a 1180 x 800
//    canvas is redrawn every frame, through the frame cycle and presentation, and for the
//    drawing alone;
//  - the process's CPU load over 10 s of an idle editor (nothing dirty), and the frames it
//    drew meanwhile (none).
// CPU time is the whole process's, so llvmpipe's rasteriser threads are counted.

#include <epoxy/gl.h>
#include <gtk/gtk.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "core/IEditorDelegate.h"
#include "ui/ICanvasGtk.h"

namespace {

using namespace reef::ui;

constexpr int kWidth = 1180;
constexpr int kHeight = 800;
constexpr IColor kText{255, 240, 236, 226};
constexpr IColor kTextDim{255, 151, 163, 169};
constexpr IColor kCopper{255, 215, 165, 109};
constexpr IColor kTeal{255, 105, 204, 194};
constexpr IColor kLine{255, 54, 67, 73};
constexpr IColor kPanel{255, 27, 35, 40};
const char* const kFont = "KESTRILAB";

struct BenchDelegate : reef::IEditorDelegate {
  BenchDelegate() : IEditorDelegate(1) {}
  void SendParameterValueFromDelegate(int, double, bool) override {}
  void BeginInformHostOfParamChangeFromUI(int) override {}
  void EndInformHostOfParamChangeFromUI(int) override {}
};

// Dirty every frame while `busy` is set.
class BenchControl : public IControl {
public:
  explicit BenchControl(const IRect& bounds, const bool& busy) : IControl(bounds), busy_(busy) {}
  bool IsDirty() override { return busy_ || IControl::IsDirty(); }
  void Draw(ICanvas& g) override {
    ++draws;
    DrawShapes(g);
  }
  virtual void DrawShapes(ICanvas& g) = 0;

  int draws = 0;

private:
  const bool& busy_;
};

class Backdrop : public BenchControl {
public:
  using BenchControl::BenchControl;
  void DrawShapes(ICanvas& g) override {
    g.PathRect(GetRect());
    g.PathFill(
        IPattern::Linear(0.f, 0.f, 0.f, kHeight, IColor(255, 35, 44, 49), IColor(255, 17, 24, 29)));
    for (int y = 0; y < kHeight; y += 4) {
      g.DrawLine(IColor(y % 12 == 0 ? 3 : 1, 255, 255, 255), 0.f, y, kWidth, y);
    }
    g.DrawText(IText(36.f, kText, kFont, EAlign::Near), "CORAL SIEVE",
               IRect(36.f, 38.f, 475.f, 87.f));
  }
};

class Graph : public BenchControl {
public:
  using BenchControl::BenchControl;
  void DrawShapes(ICanvas& g) override {
    const IRect& r = GetRect();
    g.FillRoundRect(IColor(255, 17, 26, 31), r, 8.f);
    for (int curve = 0; curve < 3; ++curve) {
      g.PathClear();
      g.PathMoveTo(r.left, r.bottom);
      for (int i = 0; i < 256; ++i) {
        const float x = r.left + r.W() * i / 255.f;
        g.PathLineTo(x, r.MidY() + 0.3f * r.H() * std::sin(0.05f * i + curve + phase_));
      }
      g.PathLineTo(r.right, r.bottom);
      g.PathFill(IColor(40, 126, 162, 210));
      for (int i = 1; i < 256; ++i) {
        const float x0 = r.left + r.W() * (i - 1) / 255.f;
        const float x1 = r.left + r.W() * i / 255.f;
        g.DrawLine(curve == 0 ? kCopper : kTeal, x0,
                   r.MidY() + 0.3f * r.H() * std::sin(0.05f * (i - 1) + curve + phase_), x1,
                   r.MidY() + 0.3f * r.H() * std::sin(0.05f * i + curve + phase_), 1.5f);
      }
    }
    phase_ += 0.05f;
  }

private:
  float phase_ = 0.f;
};

class Knob : public BenchControl {
public:
  using BenchControl::BenchControl;
  void DrawShapes(ICanvas& g) override {
    const IRect& r = GetRect();
    const float cx = r.MidX();
    const float cy = r.top + 0.45f * r.H();
    const float radius = 0.3f * r.H();
    value_ = std::fmod(value_ + 0.01f, 1.f);
    g.DrawText(IText(11.f, kText, kFont), "FREQUENCY", IRect(r.left, r.top, r.right, r.top + 14));
    g.DrawArc(kLine, cx, cy, radius, -138.f, 138.f, 3.f);
    g.DrawArc(kTeal, cx, cy, radius, -138.f, value_ * 276.f - 138.f, 3.f);
    g.PathClear();
    g.PathArc(cx, cy, radius - 5.f, 0.f, 360.f);
    g.PathFill(IPattern::Linear(cx, cy - radius, cx, cy + radius, IColor(255, 72, 87, 94),
                                IColor(255, 22, 32, 38)));
    g.DrawCircle(IColor(255, 87, 108, 115), cx, cy, radius - 5.f);
    g.DrawText(IText(12.f, kText, kFont), std::to_string(static_cast<int>(value_ * 20000)) + " Hz",
               IRect(r.left, r.bottom - 16.f, r.right, r.bottom));
  }

private:
  float value_ = 0.f;
};

class Button : public BenchControl {
public:
  using BenchControl::BenchControl;
  void DrawShapes(ICanvas& g) override {
    const IRect& r = GetRect();
    g.FillRoundRect(kPanel, r, 5.f);
    g.DrawRoundRect(kLine, r, 5.f);
    g.FillCircle(lit_ ? kTeal : kTextDim, r.left + 12.f, r.MidY(), 3.f);
    g.DrawText(IText(13.f, lit_ ? kText : kTextDim, kFont, EAlign::Near), "ENABLE",
               IRect(r.left + 23.f, r.top, r.right - 4.f, r.bottom));
    lit_ = !lit_;
  }

private:
  bool lit_ = false;
};

double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec * 1e-9;
}

double WallSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec + now.tv_nsec * 1e-9;
}

// Runs the main loop for `seconds`.
void RunFor(double seconds) {
  const double end = WallSeconds() + seconds;
  // The timeout wakes the loop when the time is up, even with nothing else to do.
  g_timeout_add(
      static_cast<guint>(seconds * 1000.0), [](gpointer) { return G_SOURCE_REMOVE; }, nullptr);
  while (WallSeconds() < end) g_main_context_iteration(nullptr, TRUE);
}

} // namespace

int main() {
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "ui_bench: no display (run it under tests/support/with-xvfb)\n");
    return 1;
  }
  BenchDelegate delegate;
  bool busy = false;
  ICanvasGtk canvas(delegate, kWidth, kHeight, 30, 1.f);
  canvas.LoadFont(kFont, "Roboto-Regular.ttf");
  int controls = 0;
  const auto attach = [&](auto control) {
    canvas.Attach(std::move(control));
    ++controls;
  };
  auto* backdrop =
      canvas.Attach(std::make_unique<Backdrop>(IRect(0.f, 0.f, kWidth, kHeight), busy));
  ++controls;
  attach(std::make_unique<Graph>(IRect(36.f, 147.f, 1050.f, 451.f), busy));
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 24; ++column) {
      const float left = 36.f + 46.f * column;
      const float top = 465.f + 80.f * row;
      attach(std::make_unique<Knob>(IRect(left, top, left + 44.f, top + 78.f), busy));
    }
  }
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 26; ++column) {
      const float left = 36.f + 42.f * column;
      const float top = 20.f + 30.f * row;
      attach(std::make_unique<Button>(IRect(left, top, left + 40.f, top + 26.f), busy));
    }
  }

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(window), box);
  canvas.OpenWindow(box);
  gtk_widget_show_all(window);
  RunFor(2.0);

  // Every control dirty every frame: the frame cycle redraws the whole canvas at its rate.
  // Frames are counted by the backdrop's redraws: it lies under every dirty area.
  busy = true;
  RunFor(1.0);
  const int framesBefore = backdrop->draws;
  const double cpuBefore = ProcessCpuSeconds();
  RunFor(5.0);
  const double busyCpu = ProcessCpuSeconds() - cpuBefore;
  const int frames = backdrop->draws - framesBefore;

  // The drawing alone: whole frames into the off-screen buffer, finished by the GPU (here
  // the rasteriser threads), without presentation.
  GtkGLArea* area = GTK_GL_AREA(canvas.GetWidget());
  gtk_gl_area_make_current(area);
  constexpr int kDrawnFrames = 20;
  const double cpuDrawing = ProcessCpuSeconds();
  for (int i = 0; i < kDrawnFrames; ++i) {
    canvas.DrawAll();
    glFinish();
  }
  const double drawingCpu = (ProcessCpuSeconds() - cpuDrawing) / kDrawnFrames;

  busy = false;
  RunFor(1.0);
  const double cpuIdle = ProcessCpuSeconds();
  const int framesIdle = backdrop->draws;
  RunFor(10.0);
  const double idleCpu = ProcessCpuSeconds() - cpuIdle;
  const int idleFrames = backdrop->draws - framesIdle;

  std::printf("controls: %d on a %d x %d canvas\n", controls, kWidth, kHeight);
  std::printf("full redraw every frame: %d frames in 5 s, %.1f ms CPU per frame\n", frames,
              frames > 0 ? 1000.0 * busyCpu / frames : 0.0);
  std::printf("full redraw into the off-screen buffer alone: %.1f ms CPU per frame\n",
              1000.0 * drawingCpu);
  std::printf("idle editor: %.3f s CPU in 10 s (%.2f %% of one core), %d frames drawn\n", idleCpu,
              idleCpu * 10.0, idleFrames);
  canvas.CloseWindow();
  gtk_widget_destroy(window);
  return 0;
}
