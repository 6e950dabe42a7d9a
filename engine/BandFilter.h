#pragma once
// Second-order sections for the twelve band slots. One designer serves the running
// static and dynamic chains, the detectors, the linear-phase kernel design and the
// display curves. All coefficients are double precision (as are the running filters' states,
// kept with the chains).

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>

namespace coral {

// Normalised biquad coefficients (b0, b1, b2, a1, a2, all divided by a0).
struct BiquadCoefficients {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

inline constexpr int kMaxSections = 4;

// The designed sections of one band: up to four run in order; only the first `count` are
// used. Coefficients only: the running filters keep their states apart (BandLanes.h).
struct BiquadCascade {
  BiquadCoefficients sections[kMaxSections];
  std::int32_t count = 1;
  // Every used section passes its input unchanged (b0 = 1, b1 = a1, b2 = a2), as a 0 dB bell,
  // shelf or tilt does. Set by DesignBandCascade.
  bool identity = false;
};

// True when a and b run the same sections with equal coefficients (so respond alike).
bool SameCoefficients(const BiquadCascade& a, const BiquadCascade& b) noexcept;

// cos and sin of the normalised angular frequency 2 pi f / sampleRate of a section, with the
// frequency clamped to [5, 0.475 * sampleRate]: what a design needs of frequency and rate.
struct SectionAngle {
  double cos = 1, sin = 0;
};
SectionAngle SectionAngleOf(double frequency, double sampleRate) noexcept;

// Cookbook second-order section of `type` (FilterType; any other value gives the identity).
// Q is clamped to [0.15, 30] and the frequency to [5, 0.475 * sampleRate] before design.
BiquadCoefficients DesignSection(int type, double frequency, double gainDb, double q,
                                 double sampleRate) noexcept;
// The same at the angle SectionAngleOf(frequency, sampleRate).
BiquadCoefficients DesignSection(int type, const SectionAngle& angle, double gainDb,
                                 double q) noexcept;

// Writes the coefficients and section count of a band into `dest`; states are kept.
// Tilt: low shelf -gain/2 then high shelf +gain/2. High/Low Pass: slope + 1 sections with
// Butterworth-spaced Qs scaled by q / 0.7071. Every other type: one section.
void DesignBandCascade(BiquadCascade& dest, int type, double frequency, double gainDb, double q,
                       int slope, double sampleRate) noexcept;
// The same at the angle SectionAngleOf(frequency, sampleRate): a caller designing one band
// again and again at one frequency (a moving gain) keeps the angle.
void DesignBandCascade(BiquadCascade& dest, int type, const SectionAngle& angle, double gainDb,
                       double q, int slope) noexcept;

// The inputs of one filter design. Designing again from equal inputs gives equal
// coefficients, so an update skips designs whose inputs have not changed.
struct DesignInputs {
  std::array<double, 5> values{};
  bool valid = false;

  // Stores `next`; answers true when a design is needed (the inputs changed or none yet).
  bool Changed(const std::array<double, 5>& next) {
    if (valid && next == values) return false;
    values = next;
    valid = true;
    return true;
  }
};

// e^{-j omega} and e^{-j 2 omega} for one normalised angular frequency (rad/sample), shared
// by every section evaluated there.
struct UnitDelay {
  std::complex<double> z1 = 1, z2 = 1;
  UnitDelay() = default; // omega = 0
  explicit UnitDelay(double omega) : z1(std::polar(1.0, -omega)), z2(z1 * z1) {}
};

// Numerator N = b0 + b1 z^-1 + b2 z^-2 = nr + j ni and denominator D = 1 + a1 z^-1 + a2 z^-2 =
// dr + j di of one section at z = e^{j omega}.
struct SectionTerms {
  double nr, ni, dr, di;
};
inline SectionTerms SectionTermsAt(const BiquadCoefficients& s, const UnitDelay& d) noexcept {
  const double c1 = d.z1.real(), s1 = d.z1.imag(), c2 = d.z2.real(), s2 = d.z2.imag();
  return {s.b0 + s.b1 * c1 + s.b2 * c2, s.b1 * s1 + s.b2 * s2, 1.0 + s.a1 * c1 + s.a2 * c2,
          s.a1 * s1 + s.a2 * s2};
}

// Complex response of one section, N / D = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2)
// with z = e^{j omega}, as N conj(D) / |D|^2 in real arithmetic. A designed section's poles lie
// inside the unit circle, so D neither vanishes nor overflows there and the division needs
// none of the scaling of a general complex division.
inline std::complex<double> SectionResponse(const BiquadCoefficients& s,
                                            const UnitDelay& d) noexcept {
  const SectionTerms t = SectionTermsAt(s, d);
  const double q = t.dr * t.dr + t.di * t.di;
  return {(t.nr * t.dr + t.ni * t.di) / q, (t.ni * t.dr - t.nr * t.di) / q};
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
