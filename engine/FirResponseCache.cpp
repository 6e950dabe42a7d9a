#include "engine/FirResponseCache.h"

#include <algorithm>
#include <complex>
#include <numbers>

namespace coral {

double FirResponseCache::RowEnergyAt(double frequency, const ParamSnapshot& sanitized,
                                     double sampleRate, int row) {
  if (!built_ || sampleRate != sampleRate_ ||
      DesignRelevantDiffers(sanitized.data(), key_.data())) {
    Rebuild(sanitized, sampleRate);
  }
  return RowEnergy(Response(frequency), row);
}

void FirResponseCache::Rebuild(const ParamSnapshot& sanitized, double sampleRate) {
  if (!built_) {
    plan_.Build(kDesignFftSize / 2);
    for (auto& b : buffers_) b.assign(kDesignFftSize / 2, ComplexF{});
    magnitudes_.Allocate();
    for (auto& r : response_) r.assign(kDesignBins, 0.0f);
    for (auto& k : kernels_) k.assign(kKernelTaps, 0.0f);
  }
  BiquadCascade cascades[kNumBands];
  DesignKernelCascades(cascades, sanitized.data(), sampleRate);
  magnitudes_.Begin(cascades, sanitized.data());
  SampleZeroPhaseBins(response_, magnitudes_, sanitized.data(), 0, kDesignBins);
  magnitudes_.Complete();
  for (int j = 0; j < kKernelEntries; ++j) {
    PackEvenResponse(response_[j].data(), plan_, buffers_[j].data());
    plan_.InverseBitReversed(buffers_[j].data());
  }
  // The half-size inverse divides by 8192; the kernels' inverse DFT by 16384.
  for (int n = 0; n < kKernelTaps; ++n) WindowKernelTap(buffers_, kernels_, n, 0.5);

  key_ = sanitized;
  sampleRate_ = sampleRate;
  built_ = true;
  ++rebuilds_;
}

Matrix2 FirResponseCache::Response(double frequency) const noexcept {
  const double f = std::clamp(frequency, 0.0, sampleRate_ / 2);
  const double omega = 2.0 * std::numbers::pi * f / sampleRate_;
  // sum over n of kernel[n] e^{j omega (n - 4096)}, by a running rotation.
  const std::complex<double> advance = std::polar(1.0, omega);
  std::complex<double> rotation = std::polar(1.0, -omega * kKernelCentre);
  std::complex<double> sum[kKernelEntries];
  for (int n = 0; n < kKernelTaps; ++n) {
    for (int j = 0; j < kKernelEntries; ++j)
      sum[j] += static_cast<double>(kernels_[j][n]) * rotation;
    rotation *= advance;
  }
  return {sum[0], sum[1], sum[2], sum[3]};
}

} // namespace coral
