#pragma once
// Drives an EqEngine over whole signals the way the plug-in's block entry does, and a
// LinearPhaseFir frame by frame the way the engine does.

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include <array>
#include <complex>

#include "engine/EqEngine.h"
#include "engine/LinearPhaseFir.h"

namespace coral::test {

struct Stereo {
  std::vector<float> l, r;
  explicit Stereo(std::size_t n = 0) : l(n, 0.0f), r(n, 0.0f) {}
  std::size_t size() const { return l.size(); }
};

inline ParamSnapshot Defaults() {
  return DefaultSnapshot();
}

// Snapshot with every band slot disabled.
inline ParamSnapshot AllBandsOff() {
  ParamSnapshot p = DefaultSnapshot();
  for (int b = 0; b < kNumBands; ++b) p[BandParamIndex(b, kEnabled)] = 0;
  return p;
}

inline void SetBand(ParamSnapshot& p, int band, int field, float value) {
  p[BandParamIndex(band, field)] = value;
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

inline void Prepare(EqEngine& engine, const ParamSnapshot& params, double sampleRate) {
  engine.SetParams(params);
  engine.Prepare(sampleRate);
}

// Processes `in` in chunks of `chunk` frames (at most kChunkFrames); `sidechain` optional.
inline Stereo Run(EqEngine& engine, const Stereo& in, int chunk = kChunkFrames,
                  const Stereo* sidechain = nullptr, bool sidechainPresent = false) {
  Stereo out(in.size());
  for (std::size_t pos = 0; pos < in.size(); pos += chunk) {
    const int n = int(std::min<std::size_t>(chunk, in.size() - pos));
    const float* ins[2] = {in.l.data() + pos, in.r.data() + pos};
    float* outs[2] = {out.l.data() + pos, out.r.data() + pos};
    const float* scs[2] = {sidechain ? sidechain->l.data() + pos : nullptr,
                           sidechain ? sidechain->r.data() + pos : nullptr};
    engine.Process(ins, outs, n, sidechain ? scs : nullptr, sidechainPresent);
  }
  return out;
}

inline std::vector<float> Sine(std::size_t n, double frequency, double sampleRate,
                               double amplitude = 1.0) {
  std::vector<float> s(n);
  for (std::size_t i = 0; i < n; ++i)
    s[i] = float(amplitude * std::sin(2 * std::numbers::pi * frequency * double(i) / sampleRate));
  return s;
}

inline std::vector<float> Noise(std::size_t n, unsigned seed, float amplitude = 1.0f) {
  std::vector<float> s(n);
  unsigned x = seed * 2654435761u + 1;
  for (auto& v : s) {
    x = x * 1664525u + 1013904223u;
    v = amplitude * (float(x >> 8) / float(1 << 24) * 2.0f - 1.0f);
  }
  return s;
}

// RMS of samples [from, to).
inline double Rms(const std::vector<float>& s, std::size_t from, std::size_t to) {
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
  return std::sqrt(sum / double(to - from));
}

inline double Db(double ratio) {
  return 20.0 * std::log10(ratio);
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
