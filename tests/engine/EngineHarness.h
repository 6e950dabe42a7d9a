#pragma once
// Drives an EqEngine over whole signals the way the plug-in's block entry does.

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "engine/EqEngine.h"

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

inline std::vector<float> Noise(std::size_t n, unsigned seed, float amplitude = 0.5f) {
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

} // namespace coral::test
