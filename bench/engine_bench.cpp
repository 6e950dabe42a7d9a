// EqEngine::Process at 48 kHz stereo in 512-frame chunks. Reports frames per second and the
// real-time factor (seconds of audio processed per second of CPU).

#include <benchmark/benchmark.h>

#include <cfloat>
#include <cmath>
#include <numbers>
#include <vector>

#include "engine/EqEngine.h"
#include "engine/InstructionSet.h"

namespace coral {
namespace {

constexpr double kRate = 48000;
constexpr int kFrames = 512;

enum Scenario { kDefaults, kStaticBells, kDynamicBells, kFirBells, kAutomatedGain };

ParamSnapshot Settings(Scenario scenario, bool analyzer) {
  ParamSnapshot p = DefaultSnapshot();
  p[kAnalyzer] = analyzer ? 1.0f : 0.0f;
  if (scenario == kDefaults) return p;
  for (int b = 0; b < kNumBands; ++b) {
    p[BandParamIndex(b, kEnabled)] = 1;
    p[BandParamIndex(b, kType)] = kBell;
    p[BandParamIndex(b, kFrequency)] = 40.0f * float(1 << (b / 2)) * (b % 2 ? 1.5f : 1.0f);
    p[BandParamIndex(b, kGain)] = b % 2 ? 3.0f : -3.0f;
    p[BandParamIndex(b, kQ)] = 1.0f;
    if (scenario == kDynamicBells) {
      p[BandParamIndex(b, kDynamic)] = 1;
      p[BandParamIndex(b, kThreshold)] = -40;
    }
  }
  if (scenario == kFirBells) p[kPhase] = 1;
  return p;
}

// Stereo uniform noise at about -6 dBFS, long enough (701 blocks of 512 frames, a prime
// number of them) that the detectors never settle into a repeating cycle.
struct Noise {
  static constexpr int kBlocks = 701;
  std::vector<float> left = std::vector<float>(kBlocks * kFrames);
  std::vector<float> right = std::vector<float>(kBlocks * kFrames);
  explicit Noise(unsigned seed) {
    for (std::size_t i = 0; i < left.size(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      left[i] = float(seed >> 8) / float(1 << 24) - 0.5f;
      right[i] = -left[i] * 0.7f;
    }
  }
};

// Processes one block of `in` per benchmark iteration (cycling through it), calling
// `beforeBlock(block)` first; reports frames per second and the real-time factor.
template <typename BeforeBlock>
void Measure(benchmark::State& state, EqEngine& engine, const Noise& in, BeforeBlock beforeBlock) {
  std::vector<float> outL(kFrames), outR(kFrames);
  float* outs[2] = {outL.data(), outR.data()};
  int block = 0;
  for (auto _ : state) {
    const std::size_t at = std::size_t(block % Noise::kBlocks) * kFrames;
    const float* ins[2] = {in.left.data() + at, in.right.data() + at};
    beforeBlock(block++);
    engine.Process(ins, outs, kFrames, nullptr, false);
    benchmark::DoNotOptimize(outL.data());
  }
  const double frames = double(state.iterations()) * kFrames;
  state.SetItemsProcessed(std::int64_t(frames));
  state.counters["realtime"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
}

void Run(benchmark::State& state, Scenario scenario, bool analyzer) {
  ParamSnapshot p = Settings(scenario, analyzer);
  EqEngine engine;
  engine.SetParams(p);
  engine.Prepare(kRate);
  const Noise noise(12345);
  Measure(state, engine, noise, [&](int block) {
    // In FIR mode Gain is automated every block so that the kernel designer never rests.
    if (scenario == kFirBells) p[BandParamIndex(0, kGain)] = float(block % 100) * 0.1f - 5.0f;
    // The first band's Gain follows a 0.25 Hz sine of +-3 dB, set every block as a host would.
    if (scenario == kAutomatedGain)
      p[BandParamIndex(0, kGain)] =
          -3.0f + 3.0f * float(std::sin(2 * std::numbers::pi * 0.25 * block * kFrames / kRate));
    engine.SetParams(p);
  });
}

// Silent (or ±FLT_MIN) blocks after two seconds of loud noise through the dynamic bells:
// the cost of decaying states, which must not turn subnormal.
void RunAfterLoud(benchmark::State& state, float level) {
  const ParamSnapshot p = Settings(kDynamicBells, true);
  EqEngine engine;
  engine.SetParams(p);
  engine.Prepare(kRate);
  const Noise loud(777);
  Noise quiet(1);
  for (std::size_t i = 0; i < quiet.left.size(); ++i)
    quiet.left[i] = quiet.right[i] = i % 2 ? level : -level;
  std::vector<float> out(kFrames);
  float* outs[2] = {out.data(), out.data()};
  for (int b = 0; b < int(2 * kRate) / kFrames; ++b) {
    const float* loudIn[2] = {loud.left.data() + b * kFrames, loud.right.data() + b * kFrames};
    engine.SetParams(p);
    engine.Process(loudIn, outs, kFrames, nullptr, false);
  }
  Measure(state, engine, quiet, [&](int) { engine.SetParams(p); });
}

void BM_Defaults(benchmark::State& s) {
  Run(s, kDefaults, true);
}
void BM_DynamicBellsSilenceAfterLoud(benchmark::State& s) {
  RunAfterLoud(s, 0.0f);
}
void BM_DynamicBellsTinyInputAfterLoud(benchmark::State& s) {
  RunAfterLoud(s, FLT_MIN);
}
void BM_StaticBells(benchmark::State& s) {
  Run(s, kStaticBells, true);
}
void BM_DynamicBells(benchmark::State& s) {
  Run(s, kDynamicBells, true);
}
void BM_FirBellsDesigning(benchmark::State& s) {
  Run(s, kFirBells, true);
}
void BM_StaticBellsAnalyzerOff(benchmark::State& s) {
  Run(s, kStaticBells, false);
}
void BM_AutomatedGainAnalyzerOff(benchmark::State& s) {
  Run(s, kAutomatedGain, false);
}

// The same scenarios on each instruction set the machine offers (the results are identical).
void OnInstructionSet(benchmark::State& s, Scenario scenario, bool analyzer) {
  const InstructionSet set = InstructionSet(s.range(0));
  if (!IsSupported(set)) {
    s.SkipWithError("not supported here");
    return;
  }
  ForceInstructionSet(set);
  s.SetLabel(InstructionSetName(set));
  Run(s, scenario, analyzer);
  ClearForcedInstructionSet();
}
void BM_StaticBellsAnalyzerOffOn(benchmark::State& s) {
  OnInstructionSet(s, kStaticBells, false);
}
void BM_DynamicBellsOn(benchmark::State& s) {
  OnInstructionSet(s, kDynamicBells, true);
}

BENCHMARK(BM_Defaults);
BENCHMARK(BM_StaticBells);
BENCHMARK(BM_DynamicBells);
BENCHMARK(BM_DynamicBellsSilenceAfterLoud)->Iterations(10 * 48000 / 512);
BENCHMARK(BM_DynamicBellsTinyInputAfterLoud)->Iterations(10 * 48000 / 512);
BENCHMARK(BM_FirBellsDesigning);
BENCHMARK(BM_StaticBellsAnalyzerOff);
BENCHMARK(BM_AutomatedGainAnalyzerOff);
BENCHMARK(BM_StaticBellsAnalyzerOffOn)->DenseRange(0, int(InstructionSet::kAvx512));
BENCHMARK(BM_DynamicBellsOn)->DenseRange(0, int(InstructionSet::kAvx512));

} // namespace
} // namespace coral

BENCHMARK_MAIN();
