// The EQ graph on the real GTK window with OpenGL while the plug-in processes noise on a
// second thread in real time (512-frame blocks at 48 kHz), as the standalone host does. Run
// it under an X server (`make bench` starts a private Xvfb, where Mesa's llvmpipe draws).
//
// Phases of 6 s each, the editor holding only the graph on its panel:
//  1. audio alone (the user-interface thread idle): the audio thread's per-block time;
//  2. audio with the analyzer on and the graph redrawn every frame (minimum phase);
//  3. Linear Phase FIR with band 1's gain moved every frame, as by a drag, without the graph;
//  4. the same with the graph, whose target cache rebuilds at most every 100 ms;
//  5. idle: no audio, nothing moving: frames drawn (none are expected).
// CPU per graph frame = (process CPU - audio thread CPU) / frames drawn, so llvmpipe's
// rasteriser threads count. The audio thread shares nothing with the graph but atomics, so
// its per-block time must not change while the graph draws.
//
//   graph_bench [--screenshot FILE.png]   also saves the graph as drawn after phase 2

#include <epoxy/gl.h>
#include <gtk/gtk.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/CoralSieve.h"
#include "editor/EQGraph.h"
#include "editor/EditorLayout.h"
#include "editor/EditorOperations.h"
#include "editor/Palette.h"
#include "editor/TargetCurves.h"
#include "ui/ICanvasGtk.h"

namespace {

using namespace coral;
using reef::ui::ICanvas;
using reef::ui::IControl;
using reef::ui::IRect;

constexpr double kSampleRate = 48000.0;
constexpr int kBlock = 512;
constexpr double kPhaseSeconds = 6.0;
const IRect kGraphBounds{36.f, 147.f, 1050.f, 451.f};

double Seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return now.tv_sec + now.tv_nsec * 1e-9;
}

// The graph panel under the graph, counting the frames that drew it.
class Panel : public IControl {
public:
  Panel() : IControl(kGraphBounds) {}
  void Draw(ICanvas& g) override {
    ++draws;
    g.FillRoundRect(kGraphPanel, GetRect(), 8.f);
    g.DrawRoundRect(kLine, GetRect(), 8.f);
  }
  int draws = 0;
};

// The host's audio thread: blocks of noise through ProcessBlock, paced in real time, at a
// real-time priority when the system grants one. Each block's processing time (wall clock and
// the thread's CPU time) is stored in a buffer allocated beforehand.
class AudioThread {
public:
  explicit AudioThread(CoralSieve& plug) : plug_(plug), blocks_(1 << 16) {
    thread_ = std::thread([this] { Run(); });
  }
  ~AudioThread() {
    stop_ = true;
    thread_.join();
  }
  int Blocks() const { return count_.load(); }
  double CpuSeconds() const { return cpuNs_.load() * 1e-9; }
  bool RealTime() const { return realTime_.load(); }
  // Mean, 99th percentile and maximum of the blocks [from, to): wall-clock time, and the
  // thread's CPU time; wall time beyond CPU time is time the thread did not run.
  void Report(const char* what, int from, int to) const {
    std::vector<double> wall, cpu;
    for (int n = from; n < to; ++n) {
      wall.push_back(blocks_[n].wallMs);
      cpu.push_back(blocks_[n].cpuMs);
    }
    if (wall.empty()) return;
    const auto summary = [](std::vector<double>& times, const char* name) {
      std::sort(times.begin(), times.end());
      double sum = 0;
      for (double t : times) sum += t;
      std::printf("    %s per block: mean %.3f ms, p99 %.3f ms, max %.3f ms\n", name,
                  sum / times.size(), times[times.size() * 99 / 100], times.back());
    };
    std::printf("  audio thread, %s: %zu blocks (budget %.2f ms each)\n", what, wall.size(),
                1000.0 * kBlock / kSampleRate);
    summary(wall, "wall time");
    summary(cpu, "CPU time ");
  }

private:
  struct BlockTime {
    double wallMs;
    double cpuMs;
  };

  void Run() {
    sched_param priority{};
    priority.sched_priority = 70;
    realTime_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority) == 0;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-0.25, 0.25);
    std::vector<double> in[2], out[2];
    for (int c = 0; c < 2; ++c) in[c].resize(kBlock), out[c].resize(kBlock);
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(kBlock / kSampleRate));
    auto deadline = std::chrono::steady_clock::now();
    while (!stop_) {
      for (int c = 0; c < 2; ++c)
        for (double& sample : in[c]) sample = noise(random);
      double* inputs[] = {in[0].data(), in[1].data(), nullptr, nullptr};
      double* outputs[] = {out[0].data(), out[1].data()};
      const double wallStart = Seconds(CLOCK_MONOTONIC);
      const double cpuStart = Seconds(CLOCK_THREAD_CPUTIME_ID);
      plug_.ProcessBlock(inputs, outputs, kBlock);
      const double cpuEnd = Seconds(CLOCK_THREAD_CPUTIME_ID);
      const double wallEnd = Seconds(CLOCK_MONOTONIC);
      const int n = count_.load();
      if (n < static_cast<int>(blocks_.size())) {
        blocks_[n] = {1000.0 * (wallEnd - wallStart), 1000.0 * (cpuEnd - cpuStart)};
        count_.store(n + 1);
      }
      cpuNs_.store(static_cast<long long>(cpuEnd * 1e9));
      deadline += period;
      std::this_thread::sleep_until(deadline);
    }
  }

  CoralSieve& plug_;
  std::vector<BlockTime> blocks_;
  std::atomic<int> count_{0};
  std::atomic<long long> cpuNs_{0};
  std::atomic<bool> stop_{false};
  std::atomic<bool> realTime_{false};
  std::thread thread_;
};

// Band 1's gain as a slow drag would move it.
void MoveGain(CoralSieve& plug) {
  SetParamFromUI(plug, BandParamIndex(0, kGain), 6.0 * std::sin(2.0 * Seconds(CLOCK_MONOTONIC)),
                 false);
}

// Runs the main loop for `seconds`; with `move` band 1's gain moves once per frame time.
void RunFor(double seconds, CoralSieve* move) {
  const double end = Seconds(CLOCK_MONOTONIC) + seconds;
  guint sweep = 0;
  if (move) {
    sweep = g_timeout_add(
        33,
        [](gpointer plug) -> gboolean {
          MoveGain(*static_cast<CoralSieve*>(plug));
          return G_SOURCE_CONTINUE;
        },
        move);
  }
  g_timeout_add(
      static_cast<guint>(seconds * 1000.0), [](gpointer) { return G_SOURCE_REMOVE; }, nullptr);
  while (Seconds(CLOCK_MONOTONIC) < end) g_main_context_iteration(nullptr, TRUE);
  if (sweep) g_source_remove(sweep);
}

// The user-interface thread without the editor: only the gain sweep, if any.
void SleepFor(double seconds, CoralSieve* move) {
  const double end = Seconds(CLOCK_MONOTONIC) + seconds;
  while (Seconds(CLOCK_MONOTONIC) < end) {
    if (move) MoveGain(*move);
    g_usleep(33000);
  }
}

// A demonstration set: shelves, bells, one dynamic band, a high pass.
void SetUpBands(CoralSieve& plug) {
  const auto set = [&](int band, int field, double value) {
    plug.GetParam(BandParamIndex(band, field))->SetValue(value);
  };
  const double bands[][5] = {// type, frequency, gain, Q, dynamic
                             {kHighPass, 35, 0, 0.7071, 0},
                             {kLowShelf, 110, 3, 0.7071, 0},
                             {kBell, 320, -4, 1.4, 0},
                             {kBell, 2500, 5, 2, 1},
                             {kHighShelf, 9000, 2.5, 0.7071, 0}};
  for (int band = 0; band < 5; ++band) {
    set(band, kEnabled, 1);
    set(band, kType, bands[band][0]);
    set(band, kFrequency, bands[band][1]);
    set(band, kGain, bands[band][2]);
    set(band, kQ, bands[band][3]);
    set(band, kDynamic, bands[band][4]);
  }
  set(3, kThreshold, -40);
  set(3, kRange, 9);
}

} // namespace

int main(int argc, char** argv) {
  std::string screenshot;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) screenshot = argv[++i];
  }
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "graph_bench: no display (run it under tests/support/with-xvfb)\n");
    return 1;
  }
  CoralSieve plug{reef::InstanceInfo{}};
  plug.SetSampleRate(kSampleRate);
  plug.OnReset();
  SetUpBands(plug);

  // The cost of one linear-phase target computation with a changed key: the FIR response
  // cache rebuilt and 256 points of 4 x 8193-tap sums.
  {
    ParamSnapshot values = plug.CurrentValues();
    values[kPhase] = 1;
    TargetCurve target;
    const int runs = 5;
    const double start = Seconds(CLOCK_THREAD_CPUTIME_ID);
    for (int run = 0; run < runs; ++run) {
      values[BandParamIndex(0, kGain)] = static_cast<float>(run);
      target.Refresh(values, kSampleRate, true, TargetCurve::Clock::now());
    }
    std::printf("linear-phase target with a cache rebuild: %.1f ms CPU each\n",
                1000.0 * (Seconds(CLOCK_THREAD_CPUTIME_ID) - start) / runs);
  }

  reef::ui::ICanvasGtk canvas(plug, CoralSieve::kEditorWidth, CoralSieve::kEditorHeight,
                              kEditorFrameRate, 1.f);
  canvas.LoadFont(kFontId, kFontResource);
  auto view = std::make_shared<ViewState>();
  view->SetSelectedBand(3);
  auto* panel = canvas.Attach(std::make_unique<Panel>());
  canvas.Attach(std::make_unique<EQGraph>(kGraphBounds, plug, view));
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(window), box);
  canvas.OpenWindow(box);
  gtk_widget_show_all(window);
  RunFor(2.0, nullptr);

  {
    AudioThread audio(plug);
    const auto phase = [&](const char* what, bool graph, CoralSieve* move) {
      (graph ? RunFor : SleepFor)(1.0, move); // settle
      const int blocks = audio.Blocks();
      const int frames = panel->draws;
      const double cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID);
      const double audioCpu = audio.CpuSeconds();
      (graph ? RunFor : SleepFor)(kPhaseSeconds, move);
      const double uiCpu =
          (Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu) - (audio.CpuSeconds() - audioCpu);
      const int drawn = panel->draws - frames;
      std::printf("%s:\n", what);
      if (graph) {
        std::printf("  graph: %d frames in %.0f s, %.1f ms CPU per frame besides the audio "
                    "thread\n",
                    drawn, kPhaseSeconds, drawn > 0 ? 1000.0 * uiCpu / drawn : 0.0);
      }
      audio.Report(graph ? "graph drawing" : "no editor work", blocks, audio.Blocks());
    };

    phase("1. audio alone, analyzer on", false, nullptr);
    std::printf("  (audio thread scheduling: %s)\n",
                audio.RealTime() ? "SCHED_FIFO, priority 70" : "normal, no real-time priority");
    phase("2. audio, analyzer on, graph redrawn (minimum phase)", true, nullptr);
    if (!screenshot.empty()) {
      std::printf("screenshot %s: %s\n", screenshot.c_str(),
                  canvas.SaveScreenshot(screenshot) ? "saved" : "FAILED");
    }
    plug.GetParam(kPhase)->SetValue(1);
    phase("3. Linear Phase FIR, band 1 gain moving, no graph", false, &plug);
    phase("4. Linear Phase FIR, band 1 gain moving, graph redrawn (target cache rebuilding)", true,
          &plug);

    // The drawing alone: whole graph frames into the off-screen buffer, finished by the
    // rasteriser, without presentation; with the spectra and without.
    gtk_gl_area_make_current(GTK_GL_AREA(canvas.GetWidget()));
    const auto drawingMs = [&] {
      constexpr int kDrawn = 30;
      const double cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID);
      const double audioCpu = audio.CpuSeconds();
      for (int i = 0; i < kDrawn; ++i) {
        canvas.DrawAll();
        glFinish();
      }
      return 1000.0 *
             ((Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu) - (audio.CpuSeconds() - audioCpu)) / kDrawn;
    };
    const double withSpectra = drawingMs();
    plug.GetParam(kAnalyzer)->SetValue(0);
    const double withoutSpectra = drawingMs();
    std::printf("graph drawn into the off-screen buffer alone: %.1f ms CPU per frame, %.1f ms "
                "without the spectra\n",
                withSpectra, withoutSpectra);
  }

  // 5. Idle: no audio, analyzer off, nothing moving: the graph polls but draws nothing.
  RunFor(1.0, nullptr);
  const int frames = panel->draws;
  const double cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID);
  RunFor(kPhaseSeconds, nullptr);
  const double idleCpu = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu;
  std::printf("5. idle: %d frames drawn in %.0f s, %.2f %% of one core\n", panel->draws - frames,
              kPhaseSeconds, 100.0 * idleCpu / kPhaseSeconds);
  canvas.CloseWindow();
  gtk_widget_destroy(window);
  return 0;
}
