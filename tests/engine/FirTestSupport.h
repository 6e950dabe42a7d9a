#pragma once
// Drives a LinearPhaseFir frame by frame the way the engine does: Exchange at FIR position
// q, q + 1, BlockStep when q wraps to 0, then one designer step.

#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "engine/EqEngine.h"
#include "engine/LinearPhaseFir.h"
#include "engine/ParamTable.h"

namespace coral::test {

inline ParamSnapshot BandsOff() {
  ParamSnapshot p = DefaultSnapshot();
  for (int b = 0; b < kNumBands; ++b) p[BandParamIndex(b, kEnabled)] = 0.0f;
  return p;
}

// Enables band slot `band` with the given settings.
inline void SetBand(ParamSnapshot& p, int band, int type, float frequency, float gain, float q,
                    int channel = kStereo) {
  p[BandParamIndex(band, kEnabled)] = 1.0f;
  p[BandParamIndex(band, kType)] = static_cast<float>(type);
  p[BandParamIndex(band, kFrequency)] = frequency;
  p[BandParamIndex(band, kGain)] = gain;
  p[BandParamIndex(band, kQ)] = q;
  p[BandParamIndex(band, kChannel)] = static_cast<float>(channel);
}

// n samples of uniform noise in [-1, 1).
inline std::vector<float> Noise(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::vector<float> v(static_cast<std::size_t>(n));
  for (auto& x : v) x = dist(rng);
  return v;
}

// The 256 logarithmic display frequencies of a sample rate.
inline std::array<float, kDisplayPoints> DisplayFrequencies(double sampleRate) {
  std::array<float, kDisplayPoints> grid{};
  const double top = std::min(0.49 * sampleRate, 20000.0);
  for (int k = 0; k < kDisplayPoints; ++k) {
    grid[k] = static_cast<float>(20.0 * std::pow(top / 20.0, k / 255.0));
  }
  return grid;
}

// Sum over taps of kernel[n] e^{j omega (n - 4096)}, each phase computed directly.
inline std::complex<double> KernelResponse(const float* kernel, double omega) {
  std::complex<double> sum = 0;
  for (int n = 0; n < kKernelTaps; ++n) {
    sum += static_cast<double>(kernel[n]) * std::polar(1.0, omega * (n - kKernelCentre));
  }
  return sum;
}

struct FirRunner {
  double sampleRate = 48000;
  std::array<float, kDisplayPoints> grid{};
  ParamSnapshot target{};
  LinearPhaseFir fir;
  int q = 0;

  FirRunner(const ParamSnapshot& params, double rate = 48000) : sampleRate(rate), target(params) {
    grid = DisplayFrequencies(rate);
    fir.Prepare(rate, grid.data(), target.data());
  }

  // One frame; returns the FIR output of that frame.
  std::array<float, 2> Frame(float left, float right) {
    std::array<float, 2> out{};
    fir.Exchange(q, left, right, out[0], out[1]);
    if (++q == kFirBlock) {
      q = 0;
      fir.BlockStep();
    }
    fir.SetTarget(target.data());
    fir.DesignerStep();
    return out;
  }
};

} // namespace coral::test
