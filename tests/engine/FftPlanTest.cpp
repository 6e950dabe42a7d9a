#include <cstring>

#include "engine/FftPlan.h"
#include "tests/engine/EngineHarness.h"

namespace coral::test {

std::vector<ComplexF> RandomSignal(int n) {
  const std::vector<float> re = Noise(n, n), im = Noise(n, ~n);
  std::vector<ComplexF> x;
  for (int i = 0; i < n; ++i) x.emplace_back(re[i], im[i]);
  return x;
}

void CheckTransforms() {
  std::mt19937 rng(7);
  for (int n : {512, 8192, 16384}) {
    FftPlan plan;
    plan.Build(n);
    const auto x = RandomSignal(n);
    auto spectrum = x;
    plan.Forward(spectrum.data());
    // X[k] = sum x[i] e^{-j 2 pi k i / N} summed directly in double: every bin for the small
    // size, a spread of bins otherwise.
    const double tolerance = 1e-6 * std::sqrt(double(n)) * std::log2(n);
    for (int k = 0; k < n; k += n == 512 ? 1 : 97) {
      std::complex<double> want = 0;
      for (long i = 0; i < n; ++i)
        want += std::complex<double>(x[i]) * std::polar(1.0, -2 * kPi * (k * i % n) / n);
      ASSERT_LT(std::abs(std::complex<double>(spectrum[k]) - want), tolerance) << n << " " << k;
    }
    plan.Inverse(spectrum.data());
    for (int i = 0; i < n; ++i) ASSERT_LT(std::abs(spectrum[i] - x[i]), 1e-5f) << n << " " << i;

    // Bounded steps of random size, in both directions, end bit-identical to the full transform
    // and report completion with the last butterfly.
    const long butterflies = n / 2 * long(std::log2(n));
    for (bool inverse : {false, true}) {
      auto full = x, stepped = x;
      inverse ? plan.Inverse(full.data()) : plan.Forward(full.data());
      plan.BitReverse(stepped.data());
      FftPlan::Cursor cursor;
      long done = 0;
      for (bool finished = false; !finished;) {
        ASSERT_LT(done, butterflies) << "completion reported late";
        const int count = 1 + int(rng() % 300);
        finished = plan.Step(stepped.data(), cursor, count, inverse);
        done += count;
      }
      EXPECT_GE(done, butterflies) << "completion reported early";
      // The incremental inverse never scales; the full one divides by N.
      if (inverse)
        for (auto& v : stepped) v /= float(n);
      EXPECT_EQ(0, std::memcmp(full.data(), stepped.data(), sizeof(ComplexF) * n)) << n << inverse;
    }

    // Two windowed rings read from any position, wrapping inside a vector or not, transform
    // bit-identically to Forward on the windowed samples in order.
    const std::vector<float> left = Noise(n, 1), right = Noise(n, 2), window = Noise(n, 3);
    for (int position : {0, 3, 8, n - 5, n - 1}) {
      std::vector<ComplexF> want(n), got(n);
      for (int s = 0; s < n; ++s) {
        const int i = (position + s) & (n - 1);
        want[s] = ComplexF(left[i] * window[s], right[i] * window[s]);
      }
      plan.Forward(want.data());
      ActiveKernels().windowedTransform(left.data(), right.data(), window.data(),
                                        plan.BitReversedOrder(), position, plan.Stages(),
                                        got.data());
      EXPECT_EQ(0, std::memcmp(want.data(), got.data(), sizeof(ComplexF) * n)) << n << position;
    }
  }
}

TEST(FftPlan, TransformsMatchDirectDftAndEveryOtherPathIsBitIdentical) {
  OnEveryInstructionSet([] { CheckTransforms(); });
}

} // namespace coral::test
