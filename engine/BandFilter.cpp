#include "engine/BandFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/ParamTable.h"

namespace coral {

SectionAngle SectionAngleOf(double frequency, double sampleRate) noexcept {
  frequency = std::clamp(frequency, 5.0, 0.475 * sampleRate);
  const double w0 = 2.0 * std::numbers::pi * frequency / sampleRate;
  return {std::cos(w0), std::sin(w0)};
}

BiquadCoefficients DesignSection(int type, double frequency, double gainDb, double q,
                                 double sampleRate) noexcept {
  return DesignSection(type, SectionAngleOf(frequency, sampleRate), gainDb, q);
}

BiquadCoefficients DesignSection(int type, const SectionAngle& angle, double gainDb,
                                 double q) noexcept {
  q = std::clamp(q, 0.15, 30.0);
  const double c = angle.cos;
  const double s = angle.sin;
  const double alpha = s / (2.0 * q);
  const double A = std::pow(10.0, gainDb / 40.0);
  const auto shelfTerm = [&] { return 2.0 * std::sqrt(A) * alpha; }; // the shelves' 2 sqrt(A) alpha

  double b0, b1, b2, a0, a1, a2;
  switch (type) {
  case kBell:
    b0 = 1 + alpha * A, b1 = -2 * c, b2 = 1 - alpha * A;
    a0 = 1 + alpha / A, a1 = -2 * c, a2 = 1 - alpha / A;
    break;
  case kLowShelf: {
    const double k = shelfTerm();
    b0 = A * ((A + 1) - (A - 1) * c + k);
    b1 = 2 * A * ((A - 1) - (A + 1) * c);
    b2 = A * ((A + 1) - (A - 1) * c - k);
    a0 = (A + 1) + (A - 1) * c + k;
    a1 = -2 * ((A - 1) + (A + 1) * c);
    a2 = (A + 1) + (A - 1) * c - k;
    break;
  }
  case kHighShelf: {
    const double k = shelfTerm();
    b0 = A * ((A + 1) + (A - 1) * c + k);
    b1 = -2 * A * ((A - 1) + (A + 1) * c);
    b2 = A * ((A + 1) + (A - 1) * c - k);
    a0 = (A + 1) - (A - 1) * c + k;
    a1 = 2 * ((A - 1) - (A + 1) * c);
    a2 = (A + 1) - (A - 1) * c - k;
    break;
  }
  case kHighPass:
    b0 = (1 + c) / 2, b1 = -(1 + c), b2 = (1 + c) / 2;
    a0 = 1 + alpha, a1 = -2 * c, a2 = 1 - alpha;
    break;
  case kLowPass:
    b0 = (1 - c) / 2, b1 = 1 - c, b2 = (1 - c) / 2;
    a0 = 1 + alpha, a1 = -2 * c, a2 = 1 - alpha;
    break;
  case kNotch:
    b0 = 1, b1 = -2 * c, b2 = 1;
    a0 = 1 + alpha, a1 = -2 * c, a2 = 1 - alpha;
    break;
  case kBandPass:
    b0 = alpha, b1 = 0, b2 = -alpha;
    a0 = 1 + alpha, a1 = -2 * c, a2 = 1 - alpha;
    break;
  default:
    return {};
  }
  return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

namespace {

bool IsIdentity(const BiquadCascade& c) noexcept {
  for (int i = 0; i < c.count; ++i) {
    const BiquadCoefficients& s = c.sections[i];
    if (s.b0 != 1.0 || s.b1 != s.a1 || s.b2 != s.a2) return false;
  }
  return true;
}

void DesignCascadeSections(BiquadCascade& dest, int type, const SectionAngle& angle, double gainDb,
                           double q, int slope) noexcept {
  if (type == kTilt) {
    dest.count = 2;
    dest.sections[0] = DesignSection(kLowShelf, angle, -gainDb / 2, q);
    dest.sections[1] = DesignSection(kHighShelf, angle, gainDb / 2, q);
    return;
  }
  if (type == kHighPass || type == kLowPass) {
    const int n = std::clamp(slope, 0, 3) + 1;
    dest.count = n;
    for (int i = 1; i <= n; ++i) {
      // Butterworth stage Qs of order 2n, scaled by q relative to the default 0.7071.
      const double stageQ = std::clamp(
          q / 0.7071 * (1.0 / (2.0 * std::cos((2 * i - 1) * std::numbers::pi / (4 * n)))), 0.15,
          30.0);
      dest.sections[i - 1] = DesignSection(type, angle, 0.0, stageQ);
    }
    return;
  }
  dest.count = 1;
  dest.sections[0] = DesignSection(type, angle, gainDb, q);
}

} // namespace

void DesignBandCascade(BiquadCascade& dest, int type, const SectionAngle& angle, double gainDb,
                       double q, int slope) noexcept {
  DesignCascadeSections(dest, type, angle, gainDb, q, slope);
  dest.identity = IsIdentity(dest);
}

void DesignBandCascade(BiquadCascade& dest, int type, double frequency, double gainDb, double q,
                       int slope, double sampleRate) noexcept {
  DesignBandCascade(dest, type, SectionAngleOf(frequency, sampleRate), gainDb, q, slope);
}

bool SameCoefficients(const BiquadCascade& a, const BiquadCascade& b) noexcept {
  if (a.count != b.count) return false;
  for (int i = 0; i < a.count; ++i) {
    const BiquadCoefficients &x = a.sections[i], &y = b.sections[i];
    if (!(x.b0 == y.b0 && x.b1 == y.b1 && x.b2 == y.b2 && x.a1 == y.a1 && x.a2 == y.a2))
      return false;
  }
  return true;
}

std::complex<double> CascadeResponse(const BiquadCascade& c, const UnitDelay& d) noexcept {
  std::complex<double> h = 1.0;
  for (int i = 0; i < c.count; ++i) h *= SectionResponse(c.sections[i], d);
  return h;
}

double CascadeMagnitude(const BiquadCascade& c, const UnitDelay& d) noexcept {
  double numerator = 1.0, denominator = 1.0;
  for (int i = 0; i < c.count; ++i) {
    const SectionTerms t = SectionTermsAt(c.sections[i], d);
    numerator *= t.nr * t.nr + t.ni * t.ni;
    denominator *= t.dr * t.dr + t.di * t.di;
  }
  return std::sqrt(numerator / denominator);
}

} // namespace coral
