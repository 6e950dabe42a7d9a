#include "engine/LinearPhaseFir.h"

#include <algorithm>
#include <cmath>

namespace coral {

namespace {

void Zero(BlockPair& block) noexcept {
  for (auto& channel : block) std::fill(channel.begin(), channel.end(), 0.0f);
}

void Copy(const BlockPair& from, BlockPair& to) noexcept {
  for (int channel = 0; channel < 2; ++channel)
    std::copy(from[channel].begin(), from[channel].end(), to[channel].begin());
}

} // namespace

void LinearPhaseFir::Prepare(double sampleRate, const float* displayGrid, const float* target) {
  designer_.Prepare(sampleRate, displayGrid);
  convolver_.Prepare();
  for (auto& set : sets_) set.Allocate();
  for (BlockPair* block : {&inBlock_, &outBlock_, &overlap_, &incomingOverlap_, &scratch_}) {
    for (auto& channel : *block) channel.assign(kFirBlock, 0.0f);
  }
  std::copy(target, target + kNumParams, target_.begin());
  std::copy(target, target + kNumParams, lastDesigned_.begin());
  kernelReady_ = false;
  crossfade_ = 0;

  designer_.Start(target);
  constexpr int kWholeDesign = 1 << 20; // more steps than any design takes
  AdvanceDesign(kWholeDesign);
  active_ = 1 - active_;
  ++swaps_;
  kernelReady_ = false;
  ResetRuntime();
}

void LinearPhaseFir::ResetRuntime() noexcept {
  if (kernelReady_ || crossfade_ > 0) active_ = 1 - active_, ++swaps_;
  kernelReady_ = false;
  crossfade_ = 0;
  recheck_ = true;
  stale_ = overlapsStale_ = false;
  for (BlockPair* block : {&inBlock_, &outBlock_, &overlap_, &incomingOverlap_, &scratch_}) {
    Zero(*block);
  }
  convolver_.Reset();
}

void LinearPhaseFir::SetTarget(const float* target) noexcept {
  std::copy(target, target + kNumParams, target_.begin());
  recheck_ = true;
}

void LinearPhaseFir::Convolve(const BlockJob& job) noexcept {
  convolver_.Convolve(sets_[job.active], outBlock_, overlap_);
  if (job.crossfade == 0) return;
  convolver_.Convolve(sets_[1 - job.active], scratch_, incomingOverlap_);
  const double start = 1.0 - static_cast<double>(job.crossfade) / kKernelCrossfade;
  for (int channel = 0; channel < 2; ++channel) {
    float* out = outBlock_[channel].data();
    const float* in = scratch_[channel].data();
    for (int i = 0; i < kFirBlock; ++i) {
      const double w = std::min(1.0, start + static_cast<double>(i) / kKernelCrossfade);
      out[i] = static_cast<float>(w * in[i] + (1.0 - w) * out[i]);
    }
  }
}

void LinearPhaseFir::PrimeOverlaps(const BlockJob& job) noexcept {
  Zero(overlap_);
  convolver_.Convolve(sets_[job.active], scratch_, overlap_, 1);
  if (job.crossfade == 0) return;
  // In the crossfade's first block the tail is the one the block step primes it with.
  PrimeIncomingOverlap(1 - job.active, job.crossfade == kKernelCrossfade
                                           ? PartitionedConvolver::Reach::kNewestBlock
                                           : PartitionedConvolver::Reach::kKeptBlock);
}

void LinearPhaseFir::PrimeIncomingOverlap(int incoming,
                                          PartitionedConvolver::Reach reach) noexcept {
  Zero(incomingOverlap_);
  convolver_.Convolve(sets_[incoming], scratch_, incomingOverlap_, 1, reach);
}

void LinearPhaseFir::BlockStep(bool outputNeeded) noexcept {
  convolver_.PushBlock(inBlock_);

  if (kernelReady_ && crossfade_ == 0) {
    // The incoming set starts with the tail it would have left one block ago, taken from the
    // 33 most recent blocks.
    crossfade_ = kKernelCrossfade;
    kernelReady_ = false;
    if (!overlapsStale_)
      PrimeIncomingOverlap(1 - active_, PartitionedConvolver::Reach::kNewestBlock);
  }
  pending_ = {active_, crossfade_};

  if (outputNeeded) {
    if (overlapsStale_) PrimeOverlaps(pending_);
    Convolve(pending_);
    stale_ = overlapsStale_ = false;
  } else {
    stale_ = overlapsStale_ = true;
  }

  if (crossfade_ > 0) {
    crossfade_ -= kFirBlock;
    if (crossfade_ == 0) {
      active_ = 1 - active_;
      ++swaps_;
      if (!overlapsStale_) Copy(incomingOverlap_, overlap_);
      recheck_ = true;
    }
  }
}

void LinearPhaseFir::EnsureOutput() noexcept {
  if (!stale_) return;
  // No block has been pushed since the skipped step: its input is still the newest.
  PrimeOverlaps(pending_);
  Convolve(pending_);
  // The overlap the next step continues from belongs to the set active from now on.
  if (pending_.crossfade == kFirBlock) Copy(incomingOverlap_, overlap_);
  stale_ = overlapsStale_ = false;
}

void LinearPhaseFir::DesignerStep() noexcept {
  DesignerSteps(1);
}

void LinearPhaseFir::DesignerSteps(int count) noexcept {
  while (count > 0) {
    if (designer_.CurrentState() == KernelDesigner::kIdle) {
      // Nothing can start before the next block step or target once this step declines.
      if (!recheck_ || crossfade_ > 0) return;
      recheck_ = false;
      --count;
      if (DesignRelevantDiffers(target_.data(), lastDesigned_.data()))
        designer_.Start(target_.data());
      continue;
    }
    count -= AdvanceDesign(count);
  }
}

void LinearPhaseFir::ExchangeBlock(int q, int count, const double* input, float* output) noexcept {
  for (int i = 0; i < count; ++i) {
    for (int channel = 0; channel < 2; ++channel) {
      const float x = static_cast<float>(input[2 * i + channel]);
      inBlock_[channel][q + i] = std::isfinite(x) ? x : 0.0f;
      output[2 * i + channel] = outBlock_[channel][q + i];
    }
  }
}

int LinearPhaseFir::AdvanceDesign(int steps) noexcept {
  // A design may begin while the previous set still waits for its swap or crossfades in, but
  // it never writes that set: the steps that fill the inactive set wait until it is free.
  bool completed = false;
  const int taken = designer_.Run(sets_[1 - active_], convolver_.Plan(), steps,
                                  kernelReady_ || crossfade_ > 0, completed);
  if (completed) {
    lastDesigned_ = designer_.DesignParams();
    kernelReady_ = true;
    recheck_ = true;
  }
  return taken;
}

double LinearPhaseFir::CrossfadeProgress(int q) const noexcept {
  if (crossfade_ <= 0) return 0.0;
  return std::clamp(1.0 - static_cast<double>(crossfade_ - q + kFirBlock) / kKernelCrossfade, 0.0,
                    1.0);
}

} // namespace coral
