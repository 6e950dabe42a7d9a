#pragma once
// Drives an EqEngine over whole signals the way the plug-in's block entry does and a
// LinearPhaseFir frame by frame the way the engine does, and provides the closed forms the
// engine tests compare against.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "engine/EqEngine.h"
#include "engine/LaneKernels.h"
#include "engine/LinearPhaseFir.h"

namespace coral::test {

inline constexpr double kPi = std::numbers::pi;

// A stereo signal: `n` frames of silence, one signal in both channels, or two channels.
struct Stereo {
  std::vector<float> l, r;
  explicit Stereo(std::size_t n) : l(n), r(n) {}
  explicit Stereo(const std::vector<float>& both) : l(both), r(both) {}
  Stereo(const std::vector<float>& left, const std::vector<float>& right) : l(left), r(right) {}
  std::size_t size() const { return l.size(); }
};

// Runs `check` once on every instruction set this machine supports, forcing each in turn.
template <typename Check>
void OnEveryInstructionSet(Check check) {
  for (InstructionSet set : kInstructionSets) {
    if (!IsSupported(set)) continue;
    ForceInstructionSet(set);
    SCOPED_TRACE(InstructionSetName(set));
    check();
  }
  ClearForcedInstructionSet();
}

// `p` with parameters set by index: With(DefaultSnapshot(), kInput, 6, kOutput, -6).
template <typename... More>
ParamSnapshot With(ParamSnapshot p, int index, double value, More... more) {
  p[index] = float(value);
  if constexpr (sizeof...(more) > 0) return With(p, more...);
  return p;
}
// Writes fields of band slot `band`: SetBand(p, 0, kGain, 6, kDynamic, 1).
template <typename... More>
void SetBand(ParamSnapshot& p, int band, int field, double value, More... more) {
  p[BandParamIndex(band, field)] = float(value);
  if constexpr (sizeof...(more) > 0) SetBand(p, band, more...);
}
// `p` with band slot `band` enabled with the given settings.
inline ParamSnapshot WithBand(ParamSnapshot p, int band, int type, double frequency, double gain,
                              double q, int channel = kStereo) {
  SetBand(p, band, kEnabled, 1, kType, type, kFrequency, frequency, kGain, gain, kQ, q, kChannel,
          channel);
  return p;
}
inline ParamSnapshot AllBandsOff() {
  ParamSnapshot p = DefaultSnapshot();
  for (int b = 0; b < kNumBands; ++b) SetBand(p, b, kEnabled, 0);
  return p;
}

// An engine prepared with `params` at `rate`, fed whole signals in chunks of `chunk` frames;
// `after` is called with the end position of each chunk.
struct Engine : EqEngine {
  explicit Engine(const ParamSnapshot& params, double rate = 48000) {
    SetParams(params);
    Prepare(rate);
  }
  Stereo Run(const Stereo& in, int chunk = kChunkFrames,
             const std::function<void(std::size_t)>& after = nullptr) {
    Stereo out(in.size());
    for (std::size_t pos = 0; pos < in.size(); pos += chunk) {
      const float* ins[2] = {in.l.data() + pos, in.r.data() + pos};
      float* outs[2] = {out.l.data() + pos, out.r.data() + pos};
      const std::size_t n = std::min<std::size_t>(chunk, in.size() - pos);
      Process(ins, outs, int(n), nullptr, false);
      if (after) after(pos + n);
    }
    return out;
  }
  DisplaySnapshot Snap() const {
    DisplaySnapshot s;
    GetDisplaySnapshot(s);
    return s;
  }
};

inline std::vector<float> Sine(std::size_t n, double frequency, double rate, double amp = 1) {
  std::vector<float> s(n);
  for (std::size_t i = 0; i < n; ++i) s[i] = float(amp * std::sin(2 * kPi * frequency * i / rate));
  return s;
}
// Uniform noise in [-1, 1).
inline std::vector<float> Noise(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<float> s(n);
  for (auto& v : s) v = std::uniform_real_distribution<float>(-1, 1)(rng);
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

// |Ha(jw)| of the analog prototype of a band type at w = tan(pi f / fs) / tan(pi f0 / fs):
// the bilinear transform maps it onto the digital response at f.
inline double AnalogMagnitude(int type, double f, double f0, double fs, double gainDb, double q) {
  if (type == kTilt)
    return AnalogMagnitude(kLowShelf, f, f0, fs, -gainDb / 2, q) *
           AnalogMagnitude(kHighShelf, f, f0, fs, gainDb / 2, q);
  const double A = std::pow(10.0, gainDb / 40), r = std::sqrt(A) / q;
  const std::complex<double> s(0, std::tan(kPi * f / fs) / std::tan(kPi * f0 / fs));
  // Numerator then denominator coefficients of s^2, s and 1, in FilterType order.
  const double c[][6] = {{1, A / q, 1, 1, 1 / (A * q), 1}, {A, A * r, A * A, A, r, 1},
                         {A * A, A * r, A, 1, r, A},       {1, 0, 0, 1, 1 / q, 1},
                         {0, 0, 1, 1, 1 / q, 1},           {1, 0, 1, 1, 1 / q, 1},
                         {0, 1 / q, 0, 1, 1 / q, 1}};
  const double* k = c[type];
  return std::abs((k[0] * s * s + k[1] * s + k[2]) / (k[3] * s * s + k[4] * s + k[5]));
}

// Sum over taps of kernel[n] e^{j omega (n - 4096)}, each phase computed directly.
inline std::complex<double> KernelResponse(const float* kernel, double omega) {
  std::complex<double> sum = 0;
  for (int n = 0; n < kKernelTaps; ++n)
    sum += double(kernel[n]) * std::polar(1.0, omega * (n - kKernelCentre));
  return sum;
}

// A LinearPhaseFir at 48 kHz on the display grid, stepped one frame at a time.
struct FirRunner {
  std::array<float, kDisplayPoints> grid{};
  ParamSnapshot target{};
  LinearPhaseFir fir;
  int q = 0;

  explicit FirRunner(const ParamSnapshot& params) : target(params) {
    for (int k = 0; k < kDisplayPoints; ++k) grid[k] = float(20 * std::pow(1000.0, k / 255.0));
    fir.Prepare(48000, grid.data(), target.data());
  }
  // One frame; returns the FIR output of that frame. `outputNeeded` goes to the block step.
  std::array<float, 2> Frame(float left, float right, bool outputNeeded = true) {
    std::array<float, 2> out{};
    fir.Exchange(q, left, right, out[0], out[1]);
    if (++q == kFirBlock) q = 0, fir.BlockStep(outputNeeded);
    fir.SetTarget(target.data());
    fir.DesignerStep();
    return out;
  }
};

} // namespace coral::test
