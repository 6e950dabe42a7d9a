// The editor's own cost on the real GTK window with OpenGL (run under an X server; `make bench`
// starts a private Xvfb, where Mesa's llvmpipe draws), with the spectrum analyzer off:
//  - an idle editor: CPU load over 10 s and the frames drawn (none), and the CPU time of one
//    frame's dirty queries over all controls;
//  - the meters moving while audio plays: a second thread runs the plug-in's block entry on
//    noise at 48 kHz in real time, as an audio thread would; CPU of the editor (the process
//    minus the audio thread) over 10 s, frames drawn and CPU per frame;
//  - a full redraw of the editor into the off-screen buffer, for comparison.
// CPU time is the whole process's, so llvmpipe's rasteriser threads are counted.

#include <epoxy/gl.h>
#include <gtk/gtk.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "core/CoralSieve.h"
#include "editor/EditorLayout.h"
#include "ui/ICanvasGtk.h"

namespace {

using namespace reef::ui;

constexpr double kSampleRate = 48000.0;
constexpr int kBlockFrames = 512;
constexpr float kNoiseAmplitude = 0.5f;

// The editor's window canvas, counting the frames it draws.
class CountingCanvas : public ICanvasGtk {
public:
  using ICanvasGtk::ICanvasGtk;
  int frames = 0;

protected:
  void BeginFrame() override {
    ++frames;
    ICanvasGtk::BeginFrame();
  }
};

double CpuSeconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return now.tv_sec + now.tv_nsec * 1e-9;
}

double WallSeconds() {
  return CpuSeconds(CLOCK_MONOTONIC);
}

// Runs the main loop for `seconds`.
void RunFor(double seconds) {
  const double end = WallSeconds() + seconds;
  g_timeout_add(
      static_cast<guint>(seconds * 1000.0), [](gpointer) { return G_SOURCE_REMOVE; }, nullptr);
  while (WallSeconds() < end) g_main_context_iteration(nullptr, TRUE);
}

// Plays noise through the plug-in's block entry in real time while `playing` is set, and
// keeps its own CPU time in `cpuSeconds`.
class AudioThread {
public:
  explicit AudioThread(coral::CoralSieve& plug) : plug_(plug), thread_([this] { Run(); }) {}
  ~AudioThread() {
    stop_ = true;
    thread_.join();
  }
  std::atomic<bool> playing{false};
  std::atomic<double> cpuSeconds{0.0};

private:
  void Run() {
    std::minstd_rand noise(1);
    std::uniform_real_distribution<double> sample(-kNoiseAmplitude, kNoiseAmplitude);
    std::vector<reef::sample> in[2], out[2];
    for (auto* channels : {in, out}) {
      for (int c = 0; c < 2; ++c) channels[c].assign(kBlockFrames, 0.0);
    }
    const auto period = std::chrono::duration<double>(kBlockFrames / kSampleRate);
    auto next = std::chrono::steady_clock::now();
    while (!stop_) {
      if (playing) {
        for (auto& channel : in) {
          for (auto& value : channel) value = sample(noise);
        }
        reef::sample* inputs[2] = {in[0].data(), in[1].data()};
        reef::sample* outputs[2] = {out[0].data(), out[1].data()};
        plug_.ProcessBlock(inputs, outputs, kBlockFrames);
      }
      cpuSeconds = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
      next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
      std::this_thread::sleep_until(next);
    }
  }

  coral::CoralSieve& plug_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct Measurement {
  double editorCpu = 0.0; // seconds, the process minus the audio thread
  int frames = 0;
};

Measurement Measure(CountingCanvas& canvas, AudioThread& audio, double seconds) {
  const double processBefore = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  const double audioBefore = audio.cpuSeconds;
  const int framesBefore = canvas.frames;
  RunFor(seconds);
  return {CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processBefore - (audio.cpuSeconds - audioBefore),
          canvas.frames - framesBefore};
}

} // namespace

int main() {
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "editor_bench: no display (run it under tests/support/with-xvfb)\n");
    return 1;
  }
  CountingCanvas* canvas = nullptr;
  std::unique_ptr<coral::CoralSieve> plug;
  reef::IEditorHooks hooks{[&canvas](reef::ICanvasEditorDelegate& delegate) {
                             auto made = std::make_unique<CountingCanvas>(
                                 delegate, coral::CoralSieve::kEditorWidth,
                                 coral::CoralSieve::kEditorHeight, coral::kEditorFrameRate, 1.f);
                             canvas = made.get();
                             return std::unique_ptr<reef::IEditorCanvas>(std::move(made));
                           },
                           [&plug](reef::IEditorCanvas& made) {
                             coral::LayoutEditor(static_cast<ICanvas&>(made), *plug);
                           }};
  plug = std::make_unique<coral::CoralSieve>(reef::InstanceInfo{}, std::move(hooks));
  plug->SetSampleRate(kSampleRate);
  plug->GetParam(coral::kAnalyzer)->SetValue(0);
  plug->OnReset();

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(window), box);
  plug->OpenWindow(box);
  gtk_widget_show_all(window);
  AudioThread audio(*plug);
  RunFor(2.0);

  constexpr double kSeconds = 10.0;
  const Measurement idle = Measure(*canvas, audio, kSeconds);

  constexpr int kPolls = 2000;
  IRectList area;
  const double pollBefore = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  for (int i = 0; i < kPolls; ++i) canvas->IsDirty(area);
  const double pollCpu = (CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - pollBefore) / kPolls;

  audio.playing = true;
  RunFor(1.0);
  const Measurement playing = Measure(*canvas, audio, kSeconds);
  audio.playing = false;
  RunFor(0.5);

  gtk_gl_area_make_current(GTK_GL_AREA(canvas->GetWidget()));
  constexpr int kFullFrames = 20;
  const double fullBefore = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  for (int i = 0; i < kFullFrames; ++i) {
    canvas->DrawAll();
    glFinish();
  }
  const double fullCpu = (CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - fullBefore) / kFullFrames;

  std::printf("editor: %d controls, analyzer off\n", canvas->NControls());
  std::printf("idle: %.3f s CPU in %.0f s (%.2f %% of one core), %d frames drawn\n", idle.editorCpu,
              kSeconds, 100.0 * idle.editorCpu / kSeconds, idle.frames);
  std::printf("dirty queries of all controls: %.1f us CPU per frame\n", 1e6 * pollCpu);
  std::printf("audio playing, meters moving: %.3f s CPU in %.0f s (%.2f %% of one core), "
              "%d frames drawn, %.2f ms CPU per frame\n",
              playing.editorCpu, kSeconds, 100.0 * playing.editorCpu / kSeconds, playing.frames,
              playing.frames > 0 ? 1000.0 * playing.editorCpu / playing.frames : 0.0);
  std::printf("full redraw into the off-screen buffer: %.1f ms CPU per frame\n", 1000.0 * fullCpu);
  plug->CloseWindow();
  gtk_widget_destroy(window);
  return 0;
}
