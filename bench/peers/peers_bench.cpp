// CORAL SIEVE against peer equalisers, in one process, on one noise buffer.
//
// Every contender processes the same stereo 48 kHz white-noise buffer (60 s by default) in
// 512-frame blocks. Only the processing call is timed, on the monotonic clock: for CORAL SIEVE
// SetParams followed by EqEngine::Process, as the plug-in's block entry does; for a peer its
// LV2 run(). Binding buffers and checking outputs happen between the timed calls.
//
// Rounds alternate the contenders of a scenario (A B C A B C ...); each round gives every
// contender one full pass over the buffer. Each reported figure is the median of per-round
// ratios (CORAL/peer, CORAL automated/CORAL static, or the analyzer's extra time over a peer's),
// so that a noisy machine disturbs both sides of a ratio alike; the median times follow. Every
// contender is activated and run for a few seconds before the first round. The whole run uses
// flush-to-zero, as a host's audio thread does.
//
// Usage: peers_bench [--rounds N] [--seconds S]
// Exit status 0, also when a peer is not installed (its column is skipped); 1 when an output
// was non-finite or silent, or on a usage error.

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "bench/peers/BandSettings.h"
#include "bench/peers/Contender.h"
#include "bench/peers/Lv2Peer.h"
#include "engine/Denormals.h"
#include "engine/EqEngine.h"

namespace coral::peers {
namespace {

constexpr double kWarmupSeconds = 3;
constexpr double kLevelTolerance = 0.1; // dB between a peer's output level and CORAL SIEVE's
constexpr const char* kLspUri = "http://lsp-plug.in/plugins/lv2/para_equalizer_x16_stereo";
constexpr const char* kFil4Uri = "http://gareus.org/oss/lv2/fil4#stereo";

// The engine driven as the plug-in drives it: one snapshot per block, then Process. With an
// automated parameter, that value follows a 0.25 Hz sine of +-3 dB around its setting and
// changes every block, as host automation does.
class CoralContender final : public Contender {
public:
  CoralContender(std::string name, const ParamSnapshot& settings, int automatedIndex = -1)
      : name_(std::move(name)), settings_(settings), automatedIndex_(automatedIndex) {
    for (auto& out : outputs_) out.assign(kBlockFrames, 0.0f);
    if (automatedIndex_ >= 0) automatedBase_ = settings_[automatedIndex_];
    engine_.SetParams(settings_);
    engine_.Prepare(kBenchRate);
  }

  const std::string& Name() const override { return name_; }

  void Bind(const float* inL, const float* inR, int frames) override {
    inputs_[0] = inL;
    inputs_[1] = inR;
    frames_ = frames;
    if (automatedIndex_ < 0) return;
    const double seconds = double(block_++) * kBlockFrames / kBenchRate;
    settings_[automatedIndex_] =
        automatedBase_ + float(3.0 * std::sin(2.0 * std::numbers::pi * 0.25 * seconds));
  }

  void Process() override {
    float* outs[2] = {outputs_[0].data(), outputs_[1].data()};
    engine_.SetParams(settings_);
    engine_.Process(inputs_, outs, frames_, nullptr, false);
  }

  const float* Output(int channel) const override { return outputs_[channel].data(); }

private:
  std::string name_;
  ParamSnapshot settings_;
  int automatedIndex_;
  float automatedBase_ = 0;
  long block_ = 0;
  EqEngine engine_;
  const float* inputs_[2] = {nullptr, nullptr};
  std::vector<float> outputs_[2];
  int frames_ = 0;
};

// Stereo white noise, uniform in [-0.5, 0.5), independent channels, fixed seed.
struct Source {
  std::vector<float> left, right;
  double rms = 0;
  int Frames() const { return int(left.size()); }
};

Source MakeNoise(int frames) {
  Source s;
  s.left.resize(std::size_t(frames));
  s.right.resize(std::size_t(frames));
  std::uint32_t x = 0x2545F491u;
  double energy = 0;
  for (int i = 0; i < frames; ++i) {
    for (std::vector<float>* ch : {&s.left, &s.right}) {
      x = x * 1664525u + 1013904223u;
      const float v = float(x >> 8) / float(1 << 24) - 0.5f;
      (*ch)[std::size_t(i)] = v;
      energy += double(v) * v;
    }
  }
  s.rms = std::sqrt(energy / (2.0 * frames));
  return s;
}

// What one contender has produced and cost over all timed rounds.
struct Tally {
  explicit Tally(std::unique_ptr<Contender> c) : contender(std::move(c)) {}

  std::unique_ptr<Contender> contender;
  std::vector<double> microsPerSecond; // one per round
  bool finite = true;
  double energy = 0;
  double samples = 0;

  // RMS of the finite output samples of all rounds in dB relative to `reference`.
  double LevelDb(double reference) const {
    return 20.0 * std::log10(std::sqrt(energy / std::max(samples, 1.0)) / reference);
  }
};

// Runs frames [0, frames) of `source` through `c` block by block. Returns the seconds spent in
// Process calls; with a tally, also checks and accumulates the outputs.
double RunPass(Contender& c, const Source& source, int frames, Tally* tally) {
  using Clock = std::chrono::steady_clock;
  Clock::duration busy{};
  for (int start = 0; start < frames; start += kBlockFrames) {
    const int n = std::min(kBlockFrames, frames - start);
    c.Bind(source.left.data() + start, source.right.data() + start, n);
    const Clock::time_point t0 = Clock::now();
    c.Process();
    busy += Clock::now() - t0;
    if (!tally) continue;
    for (int ch = 0; ch < 2; ++ch) {
      const float* out = c.Output(ch);
      for (int i = 0; i < n; ++i) {
        if (!std::isfinite(out[i]))
          tally->finite = false;
        else
          tally->energy += double(out[i]) * out[i];
      }
    }
    tally->samples += 2.0 * n;
  }
  return std::chrono::duration<double>(busy).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// One contender of a scenario: CORAL SIEVE with its settings (and an automated parameter), or
// a peer plug-in by URI with its controls (nullopt when the peer cannot express the setting).
// `sameResponse`: its output level must match the scenario's first contender.
struct Entry {
  std::string name;
  std::optional<ParamSnapshot> coral;
  int automatedIndex = -1;
  const char* uri = nullptr;
  std::optional<std::vector<ControlValue>> controls;
  bool sameResponse = true;
};

// A reported figure: the median over rounds of (time[a] - time[minus]) / time[over], contenders
// named by index within the scenario (minus < 0: nothing subtracted).
struct Figure {
  std::string what;
  int a, minus, over;
};

struct Scenario {
  std::string name;
  std::vector<Entry> entries;
  std::vector<Figure> figures;
};

Entry Coral(std::string name, const ParamSnapshot& settings, bool sameResponse = true,
            int automatedIndex = -1) {
  return {std::move(name), settings, automatedIndex, nullptr, std::nullopt, sameResponse};
}
Entry Peer(std::string name, const char* uri, std::optional<std::vector<ControlValue>> controls) {
  return {std::move(name), std::nullopt, -1, uri, std::move(controls), true};
}

// Every band of `p` that is enabled gets Dynamic on at a threshold the noise exceeds.
ParamSnapshot WithDynamics(ParamSnapshot p) {
  for (int b = 0; b < kNumBands; ++b) {
    if (p[BandParamIndex(b, kEnabled)] < 0.5f) continue;
    p[BandParamIndex(b, kDynamic)] = 1;
    p[BandParamIndex(b, kThreshold)] = -40;
  }
  return p;
}

std::vector<Scenario> Scenarios() {
  const std::vector<Band> six = SixBandSetting();
  const std::vector<Band> twelve = TwelveBellSetting();
  const ParamSnapshot bells = CoralSettings(twelve, 0, false);
  return {
      {"12 bells",
       {Coral("CORAL SIEVE", bells), Peer("LSP x16 IIR", kLspUri, LspSettings(twelve, 0)),
        Coral("CORAL + analyzer", CoralSettings(twelve, 0, true)),
        Coral("CORAL dynamic", WithDynamics(bells), false),
        Coral("CORAL automated", bells, false, BandParamIndex(0, kGain))},
       {{"12 static Bells, analyzer off, vs LSP x16 IIR", 0, -1, 1},
        {"12 dynamic Bells, stereo link, analyzer off, vs LSP x16 IIR", 3, -1, 1},
        {"analyzer on, extra cost over analyzer off, vs LSP x16 IIR", 2, 0, 1},
        {"one Gain automated every block, vs the same without automation", 4, -1, 0}}},
      {"6 bands",
       {Coral("CORAL SIEVE", CoralSettings(six, 0, false)),
        Peer("x42-eq", kFil4Uri, Fil4Settings(six)),
        Peer("LSP x16 IIR", kLspUri, LspSettings(six, 0))},
       {{"6 bands as x42-eq can, analyzer off, vs x42-eq", 0, -1, 1},
        {"6 bands, analyzer off, vs LSP x16 IIR", 0, -1, 2}}},
      {"6 bands linear phase",
       {Coral("CORAL SIEVE", CoralSettings(six, 1, false)),
        Peer("LSP x16 FIR", kLspUri, LspSettings(six, 1))},
       {{"6 bands linear phase, analyzer off, vs LSP x16 FIR", 0, -1, 1}}},
  };
}

bool ParseArgs(int argc, char** argv, int& rounds, double& seconds) {
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--rounds") == 0 && hasValue) {
      rounds = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--seconds") == 0 && hasValue) {
      seconds = std::atof(argv[++i]);
    } else {
      return false;
    }
  }
  return rounds >= 1 && seconds >= 1 && seconds <= 600;
}

int Run(int argc, char** argv) {
  int rounds = 7;
  double seconds = 60;
  if (!ParseArgs(argc, argv, rounds, seconds)) {
    std::fprintf(stderr, "usage: peers_bench [--rounds N>=1] [--seconds 1..600]\n");
    return 1;
  }
  // The contenders alternate on one CPU: a move to the other CPU in the middle of a round
  // would charge one of them for refilling its caches.
  if (const int cpu = sched_getcpu(); cpu >= 0) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    sched_setaffinity(0, sizeof set, &set);
  }
  const ScopedFlushDenormals noDenormals;
  const int frames = int(std::lround(seconds * kBenchRate));
  const int warmupFrames = std::min(frames, int(kWarmupSeconds * kBenchRate));
  const double audioSeconds = frames / kBenchRate;
  const Source source = MakeNoise(frames);
  Lv2World world;

  std::printf("%.0f s stereo white noise at %.0f Hz in %d-frame blocks, %d rounds, medians\n",
              audioSeconds, kBenchRate, kBlockFrames, rounds);
  std::vector<std::string> table, times, sanity;
  bool sane = true;
  for (const Scenario& scenario : Scenarios()) {
    // Slot i holds entry i, or nothing when that peer is missing.
    std::vector<std::optional<Tally>> tallies;
    for (const Entry& e : scenario.entries) {
      tallies.emplace_back();
      if (e.coral) {
        tallies.back().emplace(
            std::make_unique<CoralContender>(e.name, *e.coral, e.automatedIndex));
        continue;
      }
      const LilvPlugin* plugin = world.Find(e.uri);
      std::string error;
      if (!plugin) {
        error = std::string("not installed (") + e.uri + ")";
      } else if (!e.controls) {
        error = "cannot express this setting";
      } else if (auto peer = Lv2Peer::Create(world, plugin, e.name, *e.controls, error)) {
        tallies.back().emplace(std::move(peer));
        continue;
      }
      std::printf("%s: %s skipped: %s\n", scenario.name.c_str(), e.name.c_str(), error.c_str());
    }

    for (auto& t : tallies)
      if (t) RunPass(*t->contender, source, warmupFrames, nullptr);
    for (int r = 0; r < rounds; ++r) {
      for (auto& t : tallies) {
        if (!t) continue;
        const double busy = RunPass(*t->contender, source, frames, &*t);
        t->microsPerSecond.push_back(busy * 1e6 / audioSeconds);
      }
    }

    // Settings that aim at one response give equal output levels on the same noise, which
    // confirms that the contenders do comparable work.
    const double referenceDb = tallies[0]->LevelDb(source.rms);
    for (std::size_t i = 0; i < tallies.size(); ++i) {
      if (!tallies[i]) continue;
      const Tally& t = *tallies[i];
      const double db = t.LevelDb(source.rms);
      const bool silent = !(db > -120.0);
      const bool unlike =
          scenario.entries[i].sameResponse && std::fabs(db - referenceDb) > kLevelTolerance;
      char line[256];
      std::snprintf(line, sizeof line, "  %-22s %-18s %s, RMS %+.2f dB re input%s",
                    scenario.name.c_str(), t.contender->Name().c_str(),
                    !t.finite ? "NON-FINITE OUTPUT"
                    : silent  ? "SILENT OUTPUT"
                              : "finite",
                    db, unlike ? ", UNLIKE CORAL SIEVE" : "");
      sanity.emplace_back(line);
      std::snprintf(line, sizeof line, "  %-22s %-18s %8.0f", scenario.name.c_str(),
                    t.contender->Name().c_str(), Median(t.microsPerSecond));
      times.emplace_back(line);
      if (!t.finite || silent) sane = false;
    }

    for (const Figure& f : scenario.figures) {
      if (!tallies[f.a] || !tallies[f.over] || (f.minus >= 0 && !tallies[f.minus])) continue;
      std::vector<double> ratios;
      for (int r = 0; r < rounds; ++r) {
        const double base = f.minus >= 0 ? tallies[f.minus]->microsPerSecond[r] : 0.0;
        ratios.push_back((tallies[f.a]->microsPerSecond[r] - base) /
                         tallies[f.over]->microsPerSecond[r]);
      }
      char line[256];
      std::snprintf(line, sizeof line, "  %-66s %6.2f", f.what.c_str(), Median(ratios));
      table.emplace_back(line);
    }
  }

  std::printf("\nRatios (medians of per-round ratios; lower is faster):\n");
  for (const std::string& s : table) std::printf("%s\n", s.c_str());
  std::printf("\nMicroseconds of processing per second of audio (medians):\n");
  for (const std::string& s : times) std::printf("%s\n", s.c_str());
  std::printf("\nOutput check (all rounds):\n");
  for (const std::string& s : sanity) std::printf("%s\n", s.c_str());
  if (!sane) std::printf("FAILED: a contender produced non-finite or silent output\n");
  return sane ? 0 : 1;
}

} // namespace
} // namespace coral::peers

int main(int argc, char** argv) {
  return coral::peers::Run(argc, argv);
}
