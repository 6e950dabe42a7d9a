#include "engine/PartitionedConvolver.h"
#include "tests/engine/EngineHarness.h"

namespace coral::test {

TEST(PartitionedConvolver, MatchesDirectConvolutionIncludingCrossTerms) {
  // A full-length kernel, one of 300 taps, one that lives only in the middle partitions, and
  // an all-zero one (every partition skipped).
  std::vector<float> kernels[kKernelEntries];
  for (int e = 0; e < kKernelEntries; ++e) kernels[e] = Noise(kKernelTaps, e + 1);
  for (int n = 0; n < kKernelTaps; ++n) {
    kernels[0][n] *= 0.02f, kernels[1][n] *= n < 300 ? 0.1f : 0, kernels[3][n] = 0;
    kernels[2][n] *= n >= 5000 && n < 5100 ? 0.1f : 0;
  }
  PartitionedConvolver convolver;
  convolver.Prepare();
  // Partition spectra of the kernels, computed with full transforms.
  KernelSet set;
  set.Allocate();
  for (int entry = 0; entry < kKernelEntries; ++entry)
    for (int p = 0; p < kPartitions; ++p) {
      ComplexF* bins = set.Partition(entry, p);
      std::fill_n(bins, kConvFftSize, 0.0f);
      std::copy_n(&kernels[entry][p * kFirBlock], std::min(kFirBlock, kKernelTaps - p * kFirBlock),
                  bins);
      set.nonZero[entry * kPartitions + p] =
          std::any_of(bins, bins + kFirBlock, [](ComplexF v) { return v != 0.0f; });
      convolver.Plan().Forward(bins);
    }

  constexpr int kBlocks = 40;
  const std::vector<float> input[2] = {Noise(kBlocks * kFirBlock, 7),
                                       Noise(kBlocks * kFirBlock, 8)};
  std::vector<float> output[2];
  BlockPair in, out, overlap;
  for (BlockPair* b : {&in, &out, &overlap}) (*b)[0].resize(kFirBlock), (*b)[1].resize(kFirBlock);
  for (int block = 0; block < kBlocks; ++block) {
    for (int c = 0; c < 2; ++c) std::copy_n(&input[c][block * kFirBlock], kFirBlock, in[c].begin());
    convolver.PushBlock(in);
    convolver.Convolve(set, out, overlap);
    for (int c = 0; c < 2; ++c) output[c].insert(output[c].end(), out[c].begin(), out[c].end());
  }
  // Direct convolution over the whole run, past the wrap of the history slots.
  for (int o = 0; o < 2; ++o)
    for (int n = 0; n < kBlocks * kFirBlock; n += 7) {
      double direct = 0;
      for (int i = 0; i < 2; ++i)
        for (int m = 0; m < kKernelTaps && m <= n; ++m)
          direct += double(kernels[2 * o + i][m]) * input[i][n - m];
      ASSERT_NEAR(output[o][n], direct, 1e-5) << "o=" << o << " n=" << n;
    }
}

} // namespace coral::test
