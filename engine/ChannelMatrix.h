#pragma once
// 2x2 complex transfer matrices mapping (input left, input right) to (output left, output
// right), as used by the linear-phase kernel design and by every display curve.

#include <algorithm>
#include <cmath>
#include <complex>

namespace coral {

struct Matrix2 {
  std::complex<double> m00 = 1, m01 = 0, m10 = 0, m11 = 1;

  static Matrix2 Identity() { return {}; }
};

inline Matrix2 operator*(const Matrix2& a, const Matrix2& b) {
  return {a.m00 * b.m00 + a.m01 * b.m10, a.m00 * b.m01 + a.m01 * b.m11,
          a.m10 * b.m00 + a.m11 * b.m10, a.m10 * b.m01 + a.m11 * b.m11};
}

inline Matrix2 operator+(const Matrix2& a, const Matrix2& b) {
  return {a.m00 + b.m00, a.m01 + b.m01, a.m10 + b.m10, a.m11 + b.m11};
}

inline Matrix2 operator*(double k, const Matrix2& a) {
  return {k * a.m00, k * a.m01, k * a.m10, k * a.m11};
}

// The matrix of one band with response h in Channel mode `channel` (ChannelMode):
// Stereo diag(h, h); Left diag(h, 1); Right diag(1, h); Mid and Side through M/S.
inline Matrix2 ChannelMatrix(std::complex<double> h, int channel) {
  switch (channel) {
  case 1:
    return {h, 0.0, 0.0, 1.0};
  case 2:
    return {1.0, 0.0, 0.0, h};
  case 3:
    return {0.5 * (h + 1.0), 0.5 * (h - 1.0), 0.5 * (h - 1.0), 0.5 * (h + 1.0)};
  case 4:
    return {0.5 * (h + 1.0), 0.5 * (1.0 - h), 0.5 * (1.0 - h), 0.5 * (h + 1.0)};
  default:
    return {h, 0.0, 0.0, h};
  }
}

// Energy reaching output `row` (0 left, 1 right) for uncorrelated equal-power inputs, in dB,
// floored at -120 dB.
inline double RowEnergy(const Matrix2& m, int row) {
  const double e =
      row == 1 ? std::norm(m.m10) + std::norm(m.m11) : std::norm(m.m00) + std::norm(m.m01);
  return 10.0 * std::log10(std::max(e, 1e-12));
}

} // namespace coral
