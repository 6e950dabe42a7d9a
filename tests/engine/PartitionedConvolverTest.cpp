#include "engine/PartitionedConvolver.h"

#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace coral {
namespace {

// Partition spectra of arbitrary kernels, computed with full transforms.
KernelSet SetFromKernels(const std::vector<float> (&kernels)[kKernelEntries], const FftPlan& plan) {
  KernelSet set;
  set.Allocate();
  for (int entry = 0; entry < kKernelEntries; ++entry) {
    for (int p = 0; p < kPartitions; ++p) {
      ComplexF* bins = set.Partition(entry, p);
      bool nonZero = false;
      for (int i = 0; i < kFirBlock; ++i) {
        const int tap = p * kFirBlock + i;
        const float v = tap < static_cast<int>(kernels[entry].size()) ? kernels[entry][tap] : 0.0f;
        bins[i] = v;
        nonZero = nonZero || v != 0.0f;
      }
      set.nonZero[entry * kPartitions + p] = nonZero;
      plan.Forward(bins);
    }
  }
  return set;
}

TEST(PartitionedConvolver, MatchesDirectConvolutionIncludingCrossTerms) {
  std::mt19937 rng(42);
  std::normal_distribution<float> noise;
  // A full-length kernel, a short one, one that lives only in the middle partitions, and an
  // all-zero one (every partition skipped).
  std::vector<float> kernels[kKernelEntries] = {
      std::vector<float>(kKernelTaps), std::vector<float>(300),
      std::vector<float>(kKernelTaps, 0.0f), std::vector<float>(kKernelTaps, 0.0f)};
  for (auto& v : kernels[0]) v = noise(rng) * 0.02f;
  for (auto& v : kernels[1]) v = noise(rng) * 0.1f;
  for (int n = 5000; n < 5100; ++n) kernels[2][n] = noise(rng) * 0.1f;

  PartitionedConvolver convolver;
  convolver.Prepare();
  const KernelSet set = SetFromKernels(kernels, convolver.Plan());

  constexpr int kBlocks = 40;
  std::vector<float> input[2];
  for (auto& ch : input) {
    ch.resize(kBlocks * kFirBlock);
    for (auto& v : ch) v = noise(rng);
  }

  BlockPair in, out, overlap;
  for (BlockPair* b : {&in, &out, &overlap}) {
    for (auto& ch : *b) ch.assign(kFirBlock, 0.0f);
  }
  std::vector<float> output[2] = {std::vector<float>(input[0].size()),
                                  std::vector<float>(input[0].size())};
  for (int block = 0; block < kBlocks; ++block) {
    for (int c = 0; c < 2; ++c) {
      std::copy_n(input[c].begin() + block * kFirBlock, kFirBlock, in[c].begin());
    }
    convolver.PushBlock(in);
    convolver.Convolve(set, out, overlap);
    convolver.Advance();
    for (int c = 0; c < 2; ++c)
      std::copy(out[c].begin(), out[c].end(), output[c].begin() + block * kFirBlock);
  }

  // Direct convolution at the edges of the history (first blocks, the wrap of the 33 slots)
  // and at a spread of other samples.
  auto direct = [&](int o, int n) {
    double sum = 0;
    for (int i = 0; i < 2; ++i) {
      const auto& k = kernels[2 * o + i];
      for (int m = 0; m < static_cast<int>(k.size()) && m <= n; ++m)
        sum += double(k[m]) * input[i][n - m];
    }
    return sum;
  };
  std::vector<int> samples;
  for (int block : {0, 1, 32, 33, 34, 39}) {
    for (int i = 0; i < kFirBlock; i += 5) samples.push_back(block * kFirBlock + i);
  }
  for (int n = 3; n < kBlocks * kFirBlock; n += 61) samples.push_back(n);
  for (int o = 0; o < 2; ++o) {
    for (int n : samples) ASSERT_NEAR(output[o][n], direct(o, n), 1e-5) << "o=" << o << " n=" << n;
  }
}

} // namespace
} // namespace coral
