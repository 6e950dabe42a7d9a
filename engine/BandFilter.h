#pragma once
// Second-order sections for the twelve band slots. One designer serves the running
// static and dynamic chains, the detectors, the linear-phase kernel design and the
// display curves. All coefficients and states are double precision.

#include <cmath>
#include <complex>
#include <cstdint>

namespace coral {

// Normalised biquad coefficients (b0, b1, b2, a1, a2, all divided by a0).
struct BiquadCoefficients {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

// One section in transposed direct form II: coefficients followed by its two states.
struct BiquadSection {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
  double s1 = 0, s2 = 0;

  void SetCoefficients(const BiquadCoefficients& c) noexcept {
    b0 = c.b0, b1 = c.b1, b2 = c.b2, a1 = c.a1, a2 = c.a2;
  }
  void ClearState() noexcept { s1 = s2 = 0; }
};

inline constexpr int kMaxSections = 4;

// Up to four sections run in order; only the first `count` are used.
struct BiquadCascade {
  BiquadSection sections[kMaxSections];
  std::int32_t count = 1;
  // Every used section passes its input unchanged (b0 = 1, b1 = a1, b2 = a2), as a 0 dB bell,
  // shelf or tilt does. Set by DesignBandCascade.
  bool identity = false;

  void ClearState() noexcept {
    for (auto& s : sections) s.ClearState();
  }
};

// Copies the coefficients, section count and identity flag of `from`; states are kept.
inline void CopyCoefficients(const BiquadCascade& from, BiquadCascade& to) noexcept {
  for (int i = 0; i < kMaxSections; ++i) {
    const BiquadSection& s = from.sections[i];
    to.sections[i].SetCoefficients({s.b0, s.b1, s.b2, s.a1, s.a2});
  }
  to.count = from.count;
  to.identity = from.identity;
}

// Cascade 0 processes the left (or the single mid/side) signal, cascade 1 the right.
struct BandFilterPair {
  BiquadCascade cascade[2];

  void ClearState() noexcept {
    cascade[0].ClearState();
    cascade[1].ClearState();
  }
};

// Cookbook second-order section of `type` (FilterType; any other value gives the identity).
// Q is clamped to [0.15, 30] and the frequency to [5, 0.475 * sampleRate] before design.
BiquadCoefficients DesignSection(int type, double frequency, double gainDb, double q,
                                 double sampleRate) noexcept;

// Writes the coefficients and section count of a band into `dest`; states are kept.
// Tilt: low shelf -gain/2 then high shelf +gain/2. High/Low Pass: slope + 1 sections with
// Butterworth-spaced Qs scaled by q / 0.7071. Every other type: one section.
void DesignBandCascade(BiquadCascade& dest, int type, double frequency, double gainDb, double q,
                       int slope, double sampleRate) noexcept;

// One sample through one section. A non-finite output or state zeroes both states and
// yields 0; finite states below 1e-28 in magnitude are flushed to 0.
inline double RunSection(BiquadSection& s, double x) noexcept {
  const double y = s.b0 * x + s.s1;
  const double n1 = s.b1 * x - s.a1 * y + s.s2;
  const double n2 = s.b2 * x - s.a2 * y;
  // v - v is 0 for a finite v and NaN otherwise: one test covers all three values.
  if (!((y - y) + (n1 - n1) + (n2 - n2) == 0.0)) {
    s.s1 = s.s2 = 0;
    return 0.0;
  }
  s.s1 = std::abs(n1) < 1e-28 ? 0.0 : n1;
  s.s2 = std::abs(n2) < 1e-28 ? 0.0 : n2;
  return y;
}

inline double RunCascade(BiquadCascade& c, double x) noexcept {
  if (c.identity && std::isfinite(x)) {
    // With zero states an identity section computes x + 0 and keeps its states at zero.
    bool rest = true;
    for (int i = 0; i < c.count; ++i)
      rest = rest && c.sections[i].s1 == 0.0 && c.sections[i].s2 == 0.0;
    if (rest) return x + 0.0;
  }
  for (int i = 0; i < c.count; ++i) x = RunSection(c.sections[i], x);
  return x;
}

// A stereo sample through a band pair in Channel mode `channel` (ChannelMode).
inline void ApplyBand(BandFilterPair& pair, int channel, double& left, double& right) noexcept {
  switch (channel) {
  case 1: // Left
    left = RunCascade(pair.cascade[0], left);
    break;
  case 2: // Right
    right = RunCascade(pair.cascade[1], right);
    break;
  case 3: { // Mid
    const double m = (left + right) / 2, s = (left - right) / 2;
    const double mf = RunCascade(pair.cascade[0], m);
    left = mf + s, right = mf - s;
    break;
  }
  case 4: { // Side
    const double m = (left + right) / 2, s = (left - right) / 2;
    const double sf = RunCascade(pair.cascade[1], s);
    left = m + sf, right = m - sf;
    break;
  }
  default: // Stereo
    left = RunCascade(pair.cascade[0], left);
    right = RunCascade(pair.cascade[1], right);
    break;
  }
}

// e^{-j omega} and e^{-j 2 omega} for one normalised angular frequency (rad/sample), shared
// by every section evaluated there.
struct UnitDelay {
  std::complex<double> z1, z2;
  explicit UnitDelay(double omega) : z1(std::polar(1.0, -omega)), z2(z1 * z1) {}
};

// Complex response of one section, (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2) with
// z = e^{j omega}.
inline std::complex<double> SectionResponse(const BiquadSection& s, const UnitDelay& d) noexcept {
  return (s.b0 + s.b1 * d.z1 + s.b2 * d.z2) / (1.0 + s.a1 * d.z1 + s.a2 * d.z2);
}

// Product of the responses of the cascade's first `count` sections.
std::complex<double> CascadeResponse(const BiquadCascade& c, const UnitDelay& d) noexcept;
inline std::complex<double> CascadeResponse(const BiquadCascade& c, double omega) noexcept {
  return CascadeResponse(c, UnitDelay(omega));
}

// |CascadeResponse| computed in real arithmetic: the square root of the product of the
// numerators' squared magnitudes over the product of the denominators'.
double CascadeMagnitude(const BiquadCascade& c, const UnitDelay& d) noexcept;

} // namespace coral
