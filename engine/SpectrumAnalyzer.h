#pragma once
// Input and output spectra for the editor's graph: four 8192-sample rings (aligned dry
// left/right, final output left/right), Hann-windowed 8192-point spectra every 1024 frames
// (left and right of a side from one complex transform), peak picking per display point,
// speed-dependent smoothing and publication in dBFS.
//
// Threads: Write and Analyze run on the audio thread; the published arrays are read from
// any thread with atomic loads. Prepare allocates; nothing else does.

#include <array>
#include <atomic>
#include <vector>

#include "engine/EngineConstants.h"
#include "engine/FftPlan.h"

namespace coral {

inline constexpr int kAnalyzerSize = 8192;
inline constexpr int kAnalyzerHop = 1024;

class SpectrumAnalyzer {
public:
  SpectrumAnalyzer();

  // Allocates the rings, the plan and the work buffer, and computes each display point's
  // bin range for `grid` (256 Hz values) at `sampleRate`.
  void Prepare(double sampleRate, const float* grid);

  // Zeroes the rings and the write position; publishes -120 dB everywhere. Smoothing
  // states are kept.
  void Reset() noexcept;

  // Writes `count` frames of dry and output pairs (left, right) into the rings.
  void WriteBlock(const float* dry, const float* out, int count) noexcept {
    for (int i = 0; i < count; ++i) {
      rings_[0][position_] = dry[2 * i];
      rings_[1][position_] = dry[2 * i + 1];
      rings_[2][position_] = out[2 * i];
      rings_[3][position_] = out[2 * i + 1];
      position_ = (position_ + 1) & (kAnalyzerSize - 1);
    }
  }

  // One analysis of both spectra. `enabled` and `speed` are the unsmoothed Analyzer and
  // Analyzer Speed values (0 Fast, 1 Medium, 2 Slow).
  void Analyze(bool enabled, int speed) noexcept;

  // Copies the published spectra (dBFS).
  void CopyInput(std::array<float, kDisplayPoints>& out) const noexcept;
  void CopyOutput(std::array<float, kDisplayPoints>& out) const noexcept;

  // First and last FFT bin read for display point i (for tests).
  int FirstBin(int i) const noexcept { return firstBin_[i]; }
  int LastBin(int i) const noexcept { return lastBin_[i]; }

private:
  void PublishFloor() noexcept;
  void AnalyzePair(int leftRing, float* leftPower, float* rightPower) noexcept;

  double sampleRate_ = 48000;
  FftPlan plan_;
  std::array<std::vector<float>, 4> rings_;
  std::vector<ComplexF> work_;
  std::vector<double> leftNorms_, rightNorms_; // squared magnitudes of bins 0 .. 4095
  std::vector<float> window_;                  // Hann
  int position_ = 0;
  std::array<int, kDisplayPoints> firstBin_{};
  std::array<int, kDisplayPoints> lastBin_{};
  std::array<float, kDisplayPoints> leftPower_{};
  std::array<float, kDisplayPoints> inputState_{};
  std::array<float, kDisplayPoints> outputState_{};
  std::array<std::atomic<float>, kDisplayPoints> inputSpectrum_;
  std::array<std::atomic<float>, kDisplayPoints> outputSpectrum_;
  bool floorPublished_ = true; // both spectra hold the floor at every point
};

} // namespace coral
