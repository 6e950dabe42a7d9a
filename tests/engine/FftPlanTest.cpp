#include "engine/FftPlan.h"

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace coral {
namespace {

std::vector<ComplexF> RandomSignal(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<float> dist;
  std::vector<ComplexF> x(static_cast<std::size_t>(n));
  for (auto& v : x) v = ComplexF(dist(rng), dist(rng));
  return x;
}

// Direct evaluation of X[k] = sum x[n] e^{-j 2 pi k n / N} in double precision.
std::complex<double> NaiveDftBin(const std::vector<ComplexF>& x, int k) {
  const int n = static_cast<int>(x.size());
  std::complex<double> sum = 0;
  for (int i = 0; i < n; ++i) {
    const double phi =
        -2.0 * std::numbers::pi * static_cast<double>((static_cast<long>(k) * i) % n) / n;
    sum += std::complex<double>(x[i]) * std::polar(1.0, phi);
  }
  return sum;
}

TEST(FftPlan, ForwardMatchesDirectDftAndInverseRestoresInput) {
  for (int n : {512, 8192, 16384}) {
    FftPlan plan;
    plan.Build(n);
    ASSERT_EQ(plan.Size(), n);
    const auto x = RandomSignal(n, static_cast<unsigned>(n));
    auto spectrum = x;
    plan.Forward(spectrum.data());

    // Every bin for the small size; a spread of bins otherwise.
    const double tolerance = 1e-6 * std::sqrt(static_cast<double>(n)) * std::log2(n);
    const int stride = n == 512 ? 1 : 97;
    for (int k = 0; k < n; k += stride) {
      const auto expected = NaiveDftBin(x, k);
      EXPECT_NEAR(spectrum[k].real(), expected.real(), tolerance) << "n=" << n << " k=" << k;
      EXPECT_NEAR(spectrum[k].imag(), expected.imag(), tolerance) << "n=" << n << " k=" << k;
    }

    plan.Inverse(spectrum.data());
    for (int i = 0; i < n; ++i) {
      ASSERT_NEAR(spectrum[i].real(), x[i].real(), 1e-5) << "n=" << n << " i=" << i;
      ASSERT_NEAR(spectrum[i].imag(), x[i].imag(), 1e-5) << "n=" << n << " i=" << i;
    }
  }
}

TEST(FftPlan, IncrementalStepsAreBitIdenticalToFullTransform) {
  std::mt19937 rng(7);
  for (int n : {512, 16384}) {
    FftPlan plan;
    plan.Build(n);
    const auto x = RandomSignal(n, 11u * static_cast<unsigned>(n));
    const long butterflies = static_cast<long>(n / 2) * static_cast<long>(std::log2(n));
    for (bool inverse : {false, true}) {
      auto full = x;
      inverse ? plan.Inverse(full.data()) : plan.Forward(full.data());

      auto stepped = x;
      plan.BitReverse(stepped.data());
      FftPlan::Cursor cursor;
      std::uniform_int_distribution<int> chunk(1, 300);
      long done = 0;
      bool finished = false;
      while (!finished) {
        const int count = chunk(rng);
        finished = plan.Step(stepped.data(), cursor, count, inverse);
        done += count;
        ASSERT_LT(done - count, butterflies) << "completion reported late";
      }
      EXPECT_GE(done, butterflies) << "completion reported early";
      // The incremental inverse never scales; the full one divides by N.
      if (inverse) {
        for (auto& v : stepped) v /= static_cast<float>(n);
      }
      EXPECT_EQ(0, std::memcmp(full.data(), stepped.data(), sizeof(ComplexF) * full.size()))
          << "n=" << n << " inverse=" << inverse;
    }
  }
}

} // namespace
} // namespace coral
