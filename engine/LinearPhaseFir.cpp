#include "engine/LinearPhaseFir.h"

#include <algorithm>

namespace coral {

namespace {

void Zero(BlockPair& block) noexcept {
  for (auto& channel : block) std::fill(channel.begin(), channel.end(), 0.0f);
}

} // namespace

void LinearPhaseFir::Prepare(double sampleRate, const float* displayGrid, const float* target) {
  designer_.Prepare(sampleRate, displayGrid);
  convolver_.Prepare();
  for (auto& set : sets_) set.Allocate();
  for (BlockPair* block : {&inBlock_, &outBlock_, &overlap_, &incomingOverlap_, &scratch_}) {
    for (auto& channel : *block) channel.assign(kFirBlock, 0.0f);
  }
  std::copy(target, target + kNumParams, lastDesigned_.begin());
  kernelReady_ = false;
  crossfade_ = 0;

  designer_.Start(target);
  while (designer_.CurrentState() != KernelDesigner::kIdle) AdvanceDesign();
  active_ = 1 - active_;
  kernelReady_ = false;
  ResetRuntime();
}

void LinearPhaseFir::ResetRuntime() noexcept {
  if (kernelReady_ || crossfade_ > 0) active_ = 1 - active_;
  kernelReady_ = false;
  crossfade_ = 0;
  for (BlockPair* block : {&inBlock_, &outBlock_, &overlap_, &incomingOverlap_, &scratch_}) {
    Zero(*block);
  }
  convolver_.Reset();
}

void LinearPhaseFir::BlockStep() noexcept {
  convolver_.PushBlock(inBlock_);
  KernelSet& incoming = sets_[1 - active_];

  if (kernelReady_ && crossfade_ == 0) {
    // Prime the incoming set's overlap with the tail it would have left one block ago.
    crossfade_ = kKernelCrossfade;
    Zero(incomingOverlap_);
    convolver_.Convolve(incoming, scratch_, incomingOverlap_, 1);
    kernelReady_ = false;
  }

  convolver_.Convolve(sets_[active_], outBlock_, overlap_);

  if (crossfade_ > 0) {
    convolver_.Convolve(incoming, scratch_, incomingOverlap_);
    const double start = 1.0 - static_cast<double>(crossfade_) / kKernelCrossfade;
    for (int channel = 0; channel < 2; ++channel) {
      float* out = outBlock_[channel].data();
      const float* in = scratch_[channel].data();
      for (int i = 0; i < kFirBlock; ++i) {
        const double w = std::min(1.0, start + static_cast<double>(i) / kKernelCrossfade);
        out[i] = static_cast<float>(w * in[i] + (1.0 - w) * out[i]);
      }
    }
    crossfade_ -= kFirBlock;
    if (crossfade_ == 0) {
      active_ = 1 - active_;
      for (int channel = 0; channel < 2; ++channel) {
        std::copy(incomingOverlap_[channel].begin(), incomingOverlap_[channel].end(),
                  overlap_[channel].begin());
      }
    }
  }

  convolver_.Advance();
}

void LinearPhaseFir::DesignerStep(const float* target) noexcept {
  if (designer_.CurrentState() == KernelDesigner::kIdle) {
    if (!kernelReady_ && crossfade_ == 0 && DesignRelevantDiffers(target, lastDesigned_.data())) {
      designer_.Start(target);
    }
    return;
  }
  AdvanceDesign();
}

void LinearPhaseFir::AdvanceDesign() noexcept {
  if (designer_.Step(sets_[1 - active_], convolver_.Plan())) {
    lastDesigned_ = designer_.DesignParams();
    kernelReady_ = true;
  }
}

double LinearPhaseFir::CrossfadeProgress(int q) const noexcept {
  if (crossfade_ <= 0) return 0.0;
  return std::clamp(1.0 - static_cast<double>(crossfade_ - q + kFirBlock) / kKernelCrossfade, 0.0,
                    1.0);
}

} // namespace coral
