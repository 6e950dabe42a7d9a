#include "engine/SpectrumAnalyzer.h"

#include "engine/LaneKernels.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace coral {

namespace {
constexpr float kFloorDb = -120.0f;
}

SpectrumAnalyzer::SpectrumAnalyzer() {
  for (auto& v : inputSpectrum_) v.store(kFloorDb);
  for (auto& v : outputSpectrum_) v.store(kFloorDb);
}

void SpectrumAnalyzer::Prepare(double sampleRate, const float* grid) {
  sampleRate_ = sampleRate;
  plan_.Build(kAnalyzerSize);
  for (auto& ring : rings_) ring.assign(kAnalyzerSize, 0.0f);
  work_.assign(kAnalyzerSize, ComplexF{});
  leftNorms_.assign(kAnalyzerSize / 2, 0.0);
  rightNorms_.assign(kAnalyzerSize / 2, 0.0);
  window_.resize(kAnalyzerSize);
  for (int i = 0; i < kAnalyzerSize; ++i)
    window_[i] = float(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kAnalyzerSize));

  // Each point reads the bins between the geometric midpoints to its neighbours: at least
  // one bin, never DC, never above 4095.
  const double binsPerHz = kAnalyzerSize / sampleRate;
  for (int i = 0; i < kDisplayPoints; ++i) {
    const double f = grid[i];
    const double lower = i == 0 ? f : std::sqrt(double(grid[i - 1]) * f);
    const double upper = i == kDisplayPoints - 1 ? f : std::sqrt(f * double(grid[i + 1]));
    int first = int(std::floor(lower * binsPerHz));
    if (first <= 0) first = 1;
    if (first >= kAnalyzerSize / 2) first = kAnalyzerSize / 2 - 1;
    int last = int(std::ceil(upper * binsPerHz));
    if (last < first) last = first;
    if (last >= kAnalyzerSize / 2) last = kAnalyzerSize / 2 - 1;
    firstBin_[i] = first;
    lastBin_[i] = last;
  }
  inputState_.fill(0.0f);
  outputState_.fill(0.0f);
  Reset();
}

void SpectrumAnalyzer::Reset() noexcept {
  for (auto& ring : rings_) std::fill(ring.begin(), ring.end(), 0.0f);
  position_ = 0;
  PublishFloor();
}

void SpectrumAnalyzer::PublishFloor() noexcept {
  if (floorPublished_) return; // every point already holds it
  for (auto& v : inputSpectrum_) v.exchange(kFloorDb);
  for (auto& v : outputSpectrum_) v.exchange(kFloorDb);
  floorPublished_ = true;
}

// Windowed FFT of a left and a right ring (oldest sample first) together: the left signal
// as the real part and the right one as the imaginary part of one transform, whose bins
// untangle into both spectra (UntangleSpectra). Then the peak sine power per point of each.
void SpectrumAnalyzer::AnalyzePair(int leftRing, float* leftPower, float* rightPower) noexcept {
  const float* left = rings_[leftRing].data();
  const float* right = rings_[leftRing + 1].data();
  const LaneKernels& kernels = ActiveKernels();
  kernels.windowedTransform(left, right, window_.data(), plan_.BitReversedOrder(), position_,
                            plan_.Stages(), work_.data());
  kernels.untangleSpectra(work_.data(), kAnalyzerSize, leftNorms_.data(), rightNorms_.data());
  for (const auto& [norms, power] :
       {std::pair{leftNorms_.data(), leftPower}, std::pair{rightNorms_.data(), rightPower}}) {
    // The loudest bin of each point by squared magnitude (exact in double for float parts);
    // its magnitude |X| rounded to single precision.
    alignas(64) double loudest[kDisplayPoints];
    kernels.rangePeaks(norms, firstBin_.data(), lastBin_.data(), kDisplayPoints, loudest);
    for (int i = 0; i < kDisplayPoints; ++i) {
      const float peak = float(std::sqrt(loudest[i]));
      const float amplitude = peak * 4.0f / kAnalyzerSize; // Hann window gain 0.5
      power[i] = amplitude * amplitude * 0.5f;
    }
  }
}

void SpectrumAnalyzer::Analyze(bool enabled, int speed) noexcept {
  if (!enabled) {
    PublishFloor();
    return;
  }
  const double tau = speed == 0 ? 0.05 : speed == 1 ? 0.2 : 0.8;
  const float alpha = float(std::exp(-kAnalyzerHop / (tau * sampleRate_)));
  std::array<float, kDisplayPoints> rightPower;
  alignas(64) double levels[kDisplayPoints];
  for (int side = 0; side < 2; ++side) {
    auto& state = side == 0 ? inputState_ : outputState_;
    auto& published = side == 0 ? inputSpectrum_ : outputSpectrum_;
    AnalyzePair(2 * side, leftPower_.data(), rightPower.data());
    for (int i = 0; i < kDisplayPoints; ++i) {
      const float s = std::sqrt(leftPower_[i] + rightPower[i]);
      state[i] = s * (1.0f - alpha) + state[i] * alpha;
      levels[i] = std::max(std::abs(double(state[i])), 1e-6);
    }
    ActiveKernels().log10Values(levels, levels, kDisplayPoints);
    for (int i = 0; i < kDisplayPoints; ++i)
      published[i].store(float(20.0 * levels[i]), std::memory_order_relaxed);
  }
  floorPublished_ = false;
}

void SpectrumAnalyzer::CopyInput(std::array<float, kDisplayPoints>& out) const noexcept {
  for (int i = 0; i < kDisplayPoints; ++i)
    out[i] = inputSpectrum_[i].load(std::memory_order_relaxed);
}

void SpectrumAnalyzer::CopyOutput(std::array<float, kDisplayPoints>& out) const noexcept {
  for (int i = 0; i < kDisplayPoints; ++i)
    out[i] = outputSpectrum_[i].load(std::memory_order_relaxed);
}

} // namespace coral
