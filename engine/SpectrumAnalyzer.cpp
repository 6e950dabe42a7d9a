#include "engine/SpectrumAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

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

// Windowed FFT of one ring (oldest sample first), then the peak sine power per point.
void SpectrumAnalyzer::AnalyzeRing(int ring, float* power) noexcept {
  const float* samples = rings_[ring].data();
  // Each bin of the bit-reversed order fetches its windowed sample (the reversal is its own
  // inverse), so the work buffer is written in order.
  for (int j = 0; j < kAnalyzerSize; ++j) {
    const int i = plan_.BitReversedIndex(j);
    work_[j] = ComplexF(samples[(position_ + i) & (kAnalyzerSize - 1)] * window_[i], 0.0f);
  }
  plan_.ForwardBitReversed(work_.data());
  for (int i = 0; i < kDisplayPoints; ++i) {
    // The loudest bin by squared magnitude (exact in double for float parts) is the bin with
    // the largest |X|; only its magnitude is taken.
    int loudest = firstBin_[i];
    double loudestNorm = -1.0;
    for (int k = firstBin_[i]; k <= lastBin_[i]; ++k) {
      const double re = work_[k].real(), im = work_[k].imag();
      const double norm = re * re + im * im;
      if (norm > loudestNorm) loudestNorm = norm, loudest = k;
    }
    const float peak = std::abs(work_[loudest]);
    const float amplitude = peak * 4.0f / kAnalyzerSize; // Hann window gain 0.5
    power[i] = amplitude * amplitude * 0.5f;
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
  for (int side = 0; side < 2; ++side) {
    auto& state = side == 0 ? inputState_ : outputState_;
    auto& published = side == 0 ? inputSpectrum_ : outputSpectrum_;
    AnalyzeRing(2 * side, leftPower_.data());
    AnalyzeRing(2 * side + 1, rightPower.data());
    for (int i = 0; i < kDisplayPoints; ++i) {
      const float s = std::sqrt(leftPower_[i] + rightPower[i]);
      state[i] = s * (1.0f - alpha) + state[i] * alpha;
      published[i].store(float(20.0 * std::log10(std::max(std::abs(double(state[i])), 1e-6))),
                         std::memory_order_relaxed);
    }
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
