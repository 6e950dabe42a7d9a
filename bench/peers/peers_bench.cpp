// CORAL SIEVE against peer equalisers, in one process, on one noise buffer.
//
// Every contender processes the same stereo 48 kHz white-noise buffer (60 s by default) in
// 512-frame blocks. Only the processing call is timed, on the monotonic clock: for CORAL SIEVE
// SetParams followed by EqEngine::Process, as the plug-in's block entry does; for a peer its
// LV2 run(). Binding buffers and checking outputs happen between the timed calls.
//
// Rounds alternate the contenders (A B C A B C ...); each round gives every contender one full
// pass over the buffer. The table shows, per scenario and peer, the median time per second of
// audio of each side and the median of the per-round ratios CORAL/peer, so that a noisy machine
// disturbs both sides of a ratio alike. Every contender is activated and run for a few seconds
// before the first round. The whole run uses flush-to-zero, as a host's audio thread does.
//
// Usage: peers_bench [--rounds N] [--seconds S]
// Exit status 0, also when a peer is not installed (its column is skipped); 1 when an output
// was non-finite or silent, or on a usage error.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
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

// The engine driven as the plug-in drives it: one snapshot per block, then Process.
class CoralContender final : public Contender {
public:
  CoralContender(std::string name, const ParamSnapshot& settings)
      : name_(std::move(name)), settings_(settings) {
    for (auto& out : outputs_) out.assign(kBlockFrames, 0.0f);
    engine_.SetParams(settings_);
    engine_.Prepare(kBenchRate);
  }

  const std::string& Name() const override { return name_; }

  void Bind(const float* inL, const float* inR, int frames) override {
    inputs_[0] = inL;
    inputs_[1] = inR;
    frames_ = frames;
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

struct PeerEntry {
  std::string name;
  const char* uri;
  std::optional<std::vector<ControlValue>> controls;
};

struct Scenario {
  std::string name;
  std::vector<Band> bands;
  int coralPhase;
  std::vector<PeerEntry> peers;
};

std::vector<Scenario> Scenarios() {
  const std::vector<Band> six = SixBandSetting();
  const std::vector<Band> twelve = TwelveBellSetting();
  return {
      {"6 bands, minimum phase",
       six,
       0,
       {{"LSP x16 IIR", kLspUri, LspSettings(six, 0)}, {"x42-eq", kFil4Uri, Fil4Settings(six)}}},
      {"6 bands, linear phase", six, 1, {{"LSP x16 FIR", kLspUri, LspSettings(six, 1)}}},
      {"12 bells, minimum phase", twelve, 0, {{"LSP x16 IIR", kLspUri, LspSettings(twelve, 0)}}},
  };
}

struct Row {
  std::string scenario, peer;
  double peerUs = 0, coralUs = 0, ratio = 0, coralAnalyzerUs = 0, ratioAnalyzer = 0;
  bool hasPeer = false;
};

// The per-round ratios a/b of two contenders, then their median.
double MedianRatio(const Tally& a, const Tally& b) {
  std::vector<double> r;
  for (std::size_t i = 0; i < a.microsPerSecond.size(); ++i)
    r.push_back(a.microsPerSecond[i] / b.microsPerSecond[i]);
  return Median(r);
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
  const ScopedFlushDenormals noDenormals;
  const int frames = int(std::lround(seconds * kBenchRate));
  const int warmupFrames = std::min(frames, int(kWarmupSeconds * kBenchRate));
  const double audioSeconds = frames / kBenchRate;
  const Source source = MakeNoise(frames);
  Lv2World world;

  std::printf("%.0f s stereo white noise at %.0f Hz in %d-frame blocks, %d rounds, medians\n",
              audioSeconds, kBenchRate, kBlockFrames, rounds);
  std::vector<Row> rows;
  std::vector<std::string> sanity;
  bool sane = true;
  for (const Scenario& scenario : Scenarios()) {
    std::vector<Tally> tallies;
    for (bool analyzer : {false, true}) {
      const std::string name = std::string("CORAL SIEVE") + (analyzer ? " + analyzer" : "");
      tallies.emplace_back(std::make_unique<CoralContender>(
          name, CoralSettings(scenario.bands, scenario.coralPhase, analyzer)));
    }
    for (const PeerEntry& def : scenario.peers) {
      const LilvPlugin* plugin = world.Find(def.uri);
      std::string error;
      if (!plugin) {
        error = std::string("not installed (") + def.uri + ")";
      } else if (!def.controls) {
        error = "cannot express this setting";
      } else if (auto peer = Lv2Peer::Create(world, plugin, def.name, *def.controls, error)) {
        tallies.emplace_back(std::move(peer));
        continue;
      }
      std::printf("%s: %s skipped: %s\n", scenario.name.c_str(), def.name.c_str(), error.c_str());
    }

    for (Tally& t : tallies) RunPass(*t.contender, source, warmupFrames, nullptr);
    for (int r = 0; r < rounds; ++r) {
      for (Tally& t : tallies) {
        const double busy = RunPass(*t.contender, source, frames, &t);
        t.microsPerSecond.push_back(busy * 1e6 / audioSeconds);
      }
    }

    // The settings aim at one response on every side, so equal output levels on the same
    // noise confirm that the contenders do comparable work.
    const double coralDb = tallies[0].LevelDb(source.rms);
    for (const Tally& t : tallies) {
      const double db = t.LevelDb(source.rms);
      const bool silent = !(db > -120.0);
      char line[256];
      std::snprintf(line, sizeof line, "  %-24s %-24s %s, RMS %+.2f dB re input%s",
                    scenario.name.c_str(), t.contender->Name().c_str(),
                    !t.finite ? "NON-FINITE OUTPUT"
                    : silent  ? "SILENT OUTPUT"
                              : "finite",
                    db, std::fabs(db - coralDb) > kLevelTolerance ? ", UNLIKE CORAL SIEVE" : "");
      sanity.emplace_back(line);
      if (!t.finite || silent) sane = false;
    }

    const Tally& coral = tallies[0];
    const Tally& coralAnalyzer = tallies[1];
    Row base{scenario.name, "(none)"};
    base.coralUs = Median(coral.microsPerSecond);
    base.coralAnalyzerUs = Median(coralAnalyzer.microsPerSecond);
    if (tallies.size() == 2) rows.push_back(base);
    for (std::size_t i = 2; i < tallies.size(); ++i) {
      Row row = base;
      row.peer = tallies[i].contender->Name();
      row.hasPeer = true;
      row.peerUs = Median(tallies[i].microsPerSecond);
      row.ratio = MedianRatio(coral, tallies[i]);
      row.ratioAnalyzer = MedianRatio(coralAnalyzer, tallies[i]);
      rows.push_back(row);
    }
  }

  std::printf("\nMicroseconds of processing per second of audio (lower is faster); ratios are "
              "medians of per-round ratios.\n\n");
  std::printf("%-24s %-13s %10s %10s %11s %13s %13s\n", "scenario", "peer", "peer us/s",
              "CORAL us/s", "CORAL/peer", "CORAL+an us/s", "CORAL+an/peer");
  for (const Row& r : rows) {
    if (r.hasPeer) {
      std::printf("%-24s %-13s %10.0f %10.0f %11.2f %13.0f %13.2f\n", r.scenario.c_str(),
                  r.peer.c_str(), r.peerUs, r.coralUs, r.ratio, r.coralAnalyzerUs, r.ratioAnalyzer);
    } else {
      std::printf("%-24s %-13s %10s %10.0f %11s %13.0f %13s\n", r.scenario.c_str(), r.peer.c_str(),
                  "-", r.coralUs, "-", r.coralAnalyzerUs, "-");
    }
  }
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
