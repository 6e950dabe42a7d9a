#pragma once
// The two band chains of the engine: the static chain (each band's EQ at its static gain)
// before the delay lines, and the dynamic chain (each gain-type band's live dynamic filter)
// after the phase blend. A chain runs a whole chunk through the lane kernel's skewed
// wavefront; the coefficient updates of the chunk reach each band exactly at the update's
// frame, with their structural crossfades.
//
// Audio thread; no allocation after construction.

#include <array>
#include <cstdint>

#include "engine/LaneKernels.h"

namespace coral {

// What a coefficient update does to one band's running pairs.
struct BandChange {
  bool structural = false; // Type, Channel or Slope changed: the previous pairs take over
  int type = 0, channel = 0;
  // The dynamic chain after the change: whether its previous pair (a stage still fading out)
  // stays as it is, whether that pair blends in, and whether its weight restarts at 1 with a
  // delay of `fadeDelay` frames.
  bool keepPrevious = false;
  bool previousUsed = false;
  bool restartWeight = false;
  int fadeDelay = 0;
};

// A coefficient update at one frame of a chunk, as the chains need it.
struct UpdatePoint {
  int frame = 0;                                 // within the chunk
  const float* params = nullptr;                 // smoothed parameters at that frame
  std::uint32_t changedBands = kAllBands;        // bit b: band b's parameters (or Scale) changed
  std::uint32_t changedDynamicBands = kAllBands; // bit b: what band b's dynamic filter reads
  std::array<double, kLanes> delayedGain{};      // dynamic gains read back before that frame, dB
  std::array<BandChange, kNumBands> change{};
  std::array<bool, kNumBands> fading{}; // the band's dynamic stage is fading out
  std::array<int, kNumBands> fadingType{};
  bool structural = false; // some band changes structurally
};

// The design parameters common to a chunk.
struct ChainContext {
  double sampleRate = 48000;
  double enableCoef = 0; // c5
  double weightStep = 0; // 1 / (0.005 sampleRate)
};

class BandChain {
public:
  enum class Kind { kStatic, kDynamic };
  explicit BandChain(Kind kind) : kind_(kind) {}

  // Forgets every cached design (the sample rate changed).
  void ForgetDesigns() noexcept;

  // Designs every band from `params` (and, for the dynamic chain, the delayed gains) and puts
  // the coefficients in force at once, with the routing of `types` and `channels`. No
  // crossfade starts.
  void DesignNow(const ChainContext& context, const float* params, const double* delayedGain,
                 const int* types, const int* channels) noexcept;

  // Zeroes every state and the pipeline, ends crossfades and fades, and sets each enable ramp
  // to its band's Enabled value.
  void ResetRuntime(const float* params) noexcept;

  // Runs `frames` frames of `input` (pairs) into `output` (may be `input`), applying the
  // chunk's coefficient updates at their frames; `params` holds the chunk's Enabled values.
  // `curveFrame` >= 0: the designs in force at that frame are copied to `curveCascades`.
  void Run(const LaneKernels& kernels, const ChainContext& context, const float* params,
           const UpdatePoint* updates, int updateCount, const double* input, double* output,
           int frames, int curveFrame, BiquadCascade (*curveCascades)[2]) noexcept;

  // The latest designs per band and channel (frame-aligned), for the display curves.
  const BiquadCascade (&Designed() const noexcept)[kNumBands][2] { return designed_; }

  const ChainLanes& Lanes() const noexcept { return lanes_; }

private:
  // Designs the bands whose inputs changed into the pending coefficients of switch slot
  // `slot`, to be switched in when the lanes reach the update's frame; answers whether any
  // band switches.
  bool Design(const ChainContext& context, const UpdatePoint& update, int slot) noexcept;
  void ApplyChange(int band, const BandChange& change) noexcept;

  // Where the designs in force at one frame go for the display curves.
  struct Curve {
    int frame;
    BiquadCascade (*cascades)[2];
  };
  void CopyCurve(const Curve& curve) noexcept;
  // Copies the designs if update `k` is the last one at or before the curve's frame.
  void CopyCurveAfter(const Curve& curve, const UpdatePoint* updates, int count, int k) noexcept;

  // True when the band's current cascades in both lanes pass their input unchanged.
  bool IdentityLanes(const CascadeLanes& pair, int band) const noexcept;
  // True when every lane passes its input as x + 0: no ramp, crossfade or fade moves, no band
  // runs in Mid/Side, and every band's cascades are identities with zero states.
  bool AtRest() const noexcept;

  // Runs `frames` frames through the lanes from the chunk's frame `offset` on; the updates'
  // frames count from the chunk's start. `firstDesigned`: the first update's design is done
  // and waits in switch slot 0.
  void RunLanes(const LaneKernels& kernels, const ChainContext& context, const UpdatePoint* updates,
                int updateCount, const double* input, double* output, int frames, int offset,
                bool firstDesigned, const Curve& curve) noexcept;
  int MostSections(const PairLanes& pair) const noexcept;

  // The design angle of `band` at `frequency`, kept while the frequency stays (a moving gain
  // redesigns the band at every update).
  const SectionAngle& AngleOf(int band, double frequency, double sampleRate) noexcept;
  struct BandAngle {
    bool valid = false;
    double frequency = 0;
    SectionAngle angle;
  };

  Kind kind_;
  ChainLanes lanes_;
  BiquadCascade designed_[kNumBands][2]{};
  BiquadCascade designedPrevious_[kNumBands][2]{};
  DesignInputs inputs_[kNumBands][2];
  BandAngle angles_[kNumBands];
  // The dynamic gains the last design was made from.
  std::array<double, kLanes> designedGains_{};
  bool designedValid_ = false;
};

} // namespace coral
