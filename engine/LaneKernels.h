#pragma once
// The engine's vector kernels, compiled once per instruction set (LaneKernels.cpp) and chosen
// at run time (InstructionSet.h). Each kernel gives bit-identical results on every set.
//
// Audio thread (the FFT kernels also on the editor thread); no allocation, no locks.

#include <complex>
#include <cstdint>

#include "engine/BandLanes.h"
#include "engine/EngineConstants.h"
#include "engine/InstructionSet.h"

namespace coral {

// A coefficient update in transit: band b takes `pending` where current[b] is set (and
// `pendingPrevious` into its previous pair where previous[b] is) when its lanes reach frame
// `frame`, that is at step frame + b.
struct CoefficientSwitch {
  CascadeLanes pending, pendingPrevious;
  std::array<bool, kNumBands> current{}, previous{};
  int mostSections = 0, mostPreviousSections = 0; // the most any switching lane runs
  int frame = -kNumBands;                         // none in transit
};
inline constexpr int kSwitchSlots = 16;

// A band chain (static or dynamic) as a skewed wavefront: at step m, the lanes of band b work
// on frame m - b, so every lane runs the same operations at once while each band still sees
// exactly its predecessor's output of the same frame. A chunk of F frames takes F + 11 steps.
struct ChainLanes {
  PairLanes current, previous;
  LaneValues previousUsed; // 1 where the previous pair blends in while its weight is positive
  LaneValues weight;       // the previous pair's weight (single-precision values), 1 down to 0
  LaneValues fadeDelay;    // frames before the weight starts to fall
  LaneValues enable;       // enable ramp
  LaneValues enableTarget;
  LaneValues pipeline; // each lane's last output: the next band's next input

  // Coefficient updates in transit, up to kSwitchSlots of them, so that several updates of a
  // chunk can be designed before the lanes reach them.
  std::array<CoefficientSwitch, kSwitchSlots> switches;
};

// The coefficient switches a chain kernel call meets, in step order. The slots in transit
// hold increasing frames (updates lie kCoefficientInterval > kNumBands frames apart), unused
// slots hold a frame before every step, so at step m only the first slot whose window
// [frame, frame + kNumBands) has not passed can switch.
struct SwitchCursor {
  int next = 0;
  // The slot switching a band's coefficients at step m, with the band in `band`; -1 when
  // none does. Steps must not decrease between calls.
  int At(const ChainLanes& lanes, int m, int& band) noexcept {
    while (next < kSwitchSlots && lanes.switches[next].frame + kNumBands <= m) ++next;
    if (next == kSwitchSlots) return -1;
    band = m - lanes.switches[next].frame;
    return band >= 0 ? next : -1;
  }
};

// One run of the chain kernel over steps [begin, end) of a chunk.
struct ChainRun {
  const double* input; // frames x (left, right)
  double* output;      // frames x (left, right); may be `input`
  int frames;
  int begin, end;
  int currentSections, previousSections; // the most sections any lane runs
  bool previous;                         // some lane may blend its previous pair
  bool ramps;                            // some lane's weight, fade delay or enable may move
  double enableCoef;                     // per-frame coefficient of the enable ramp
  double weightStep;                     // per-frame fall of the weight
};

// One run of the detector kernel over frames [begin, end) of a chunk.
struct DetectorRun {
  const double* programme;     // frames x (left, right), trimmed input
  const double* sidechain;     // frames x (left, right)
  const double* sidechainGain; // per frame
  const double* link;          // per frame: Stereo Link x 0.01
  float* gainDelay;            // delay rows of kLanes floats
  int delayPosition;           // row of frame `begin`
  int delayRows;
  int begin, end;
  double average; // a10, the envelope's decay per frame
  bool dynamics;  // some lane's gain computer runs
};

// The output mix of `count` values (frames x 2, left and right alternating): per value
// m = (1 - mix) dry + mix wet; t = m (1 - delta) + (dry - wet) delta;
// u = t (1 - listenMix) + heard listenMix; out = float(u gain (1 - bypass) + dry bypass),
// non-finite results 0.
struct MixRun {
  const float* dry;
  const double* wet;
  const float* heard;
  const double* mix;
  const double* gain;
  const double* listenMix;
  double bypass, delta;
  float* out;
  int count;
};

using ComplexF = std::complex<float>;

// Values of a transform that run through their first stages together (16 KB).
inline constexpr int kFftBlock = 2048;

// Where an incremental radix-2 transform stands between calls. The butterflies run as in the
// full transform: blocks of up to 2048 values through their first stages one block after
// another, then the remaining stages over the whole transform.
struct FftCursor {
  int block = 0;      // first index of the current block; the transform's size once past them
  int span = 2;       // current butterfly span (2 .. N)
  int groupStart = 0; // first index of the current group, within the block while in one
  int index = 0;      // butterfly index within the group (0 .. span/2 - 1)
};

// The twiddles of a transform of `size` points, per stage: for span s, entries s/2 - 1 ..
// s - 2 of `re` and `im` (each value twice, for the real and imaginary lanes) hold
// W_(i N/s) = cos - j sin for i = 0 .. s/2 - 1.
struct FftStages {
  int size;
  const float* re;
  const float* im;
};

// Values of log10Values run in vectors of this many (the widest vector of doubles).
inline constexpr int kLog10Block = 8;
static_assert(kLanes % kLog10Block == 0 && kDisplayPoints % kLog10Block == 0);

inline constexpr int kDesignBins = 8193;       // bins 0 .. 8192 of the 16384-point design grid
inline constexpr int kDesignBinsPadded = 8200; // a whole number of vectors of any width

// e^{-j omega} and e^{-j 2 omega} at the design bins, omega = 2 pi k / 16384, as the real
// and imaginary parts of each (UnitDelay), padded with bin 0's values.
struct DesignDelays {
  double c1[kDesignBinsPadded], s1[kDesignBinsPadded];
  double c2[kDesignBinsPadded], s2[kDesignBinsPadded];
};

// The enabled bands of a linear-phase design in slot order: the magnitudes |H| of their
// cascades at the design bins (kDesignBinsPadded values each) and their Channel modes.
struct ZeroPhaseBands {
  int count = 0;
  const double* magnitude[kNumBands] = {};
  int channel[kNumBands] = {};
};

// z^-1 = c1 + j s1 and z^-2 = c2 + j s2 on the unit circle at each display point, as
// UnitDelay holds them.
struct DisplayDelays {
  alignas(64) double c1[kDisplayPoints], s1[kDisplayPoints];
  alignas(64) double c2[kDisplayPoints], s2[kDisplayPoints];
};

// 2x2 complex matrices at the 256 display points, each part of each entry as an array.
struct CurveMatrices {
  alignas(64) double re00[kDisplayPoints], im00[kDisplayPoints];
  alignas(64) double re01[kDisplayPoints], im01[kDisplayPoints];
  alignas(64) double re10[kDisplayPoints], im10[kDisplayPoints];
  alignas(64) double re11[kDisplayPoints], im11[kDisplayPoints];
};

// One band's response at the display points for the curves: h, and for a Stereo dynamic band
// whose channels differ, the right channel's as well (`right` null otherwise).
struct CurveBand {
  const double* re;
  const double* im;
  const double* rightRe;
  const double* rightIm;
  int channel;
};

struct LaneKernels {
  void (*runChain)(ChainLanes& lanes, const ChainRun& run) noexcept;
  void (*runDetectors)(DetectorLanes& lanes, const DetectorRun& run) noexcept;
  void (*mixOutputs)(const MixRun& run) noexcept;
  // wet[i] = phase fir[i] + (1 - phase) eq[i] for i < count.
  void (*blendPhase)(double phase, const float* fir, const float* eq, double* wet,
                     int count) noexcept;
  // The butterflies of a radix-2 decimation-in-time transform whose input is in bit-reversed
  // order, spans 2 .. N (conjugate twiddles for the inverse; no scaling).
  void (*fftButterflies)(ComplexF* data, const FftStages& stages, bool inverse) noexcept;
  // Up to `count` of those butterflies in the same order, from `cursor` on; true once the
  // last one is done.
  bool (*fftSteps)(ComplexF* data, const FftStages& stages, FftCursor& cursor, int count,
                   bool inverse) noexcept;
  // |H| of `cascade` as CascadeMagnitude at the design bins [first, last), `first` a multiple
  // of kLog10Block, into magnitude[k]; whole vectors, so up to the next multiple of
  // kLog10Block (at most kDesignBinsPadded).
  void (*cascadeMagnitudes)(const BiquadCascade& cascade, const DesignDelays& delays, int first,
                            int last, double* magnitude) noexcept;
  // Bins [first, last) of a design's zero-phase matrix: from the identity, each band
  // left-multiplies ChannelMatrix(|H|, Channel), in complex arithmetic; the real parts of
  // entries 00, 01, 10, 11, rounded to single precision, go to response[0..3][k].
  void (*sampleZeroPhase)(float* const* response, const ZeroPhaseBands& bands, int first,
                          int last) noexcept;
  // log10x[i] = log10 x[i] for i < count (a multiple of kLog10Block), the one the gain
  // computers use, within 0.73 units in the last place of the exact value (positive normal
  // values; infinities and NaN pass through).
  void (*log10Values)(const double* x, double* log10x, int count) noexcept;
  // CascadeResponse of `cascade` at every display point into (re[i], im[i]): the same values
  // (finite coefficients).
  void (*cascadeResponses)(const BiquadCascade& cascade, const DisplayDelays& delays, double* re,
                           double* im) noexcept;
  // From the identity, each band left-multiplies its ChannelMatrix (for a band with a right
  // response, diag(h, hRight)) at every display point: the values of std::complex arithmetic
  // up to the signs of zero parts (diagonal matrices scale rows while the values stay finite).
  void (*bandProduct)(CurveMatrices& product, const CurveBand* bands, int count) noexcept;
  // out = a b at every display point, in std::complex arithmetic.
  void (*matrixProduct)(const CurveMatrices& a, const CurveMatrices& b,
                        CurveMatrices& out) noexcept;
  // The forward transform (without scaling) of two windowed rings (size a power of two >= 64)
  // as real and imaginary part: the transform of x[s] = (left[i] window[s], right[i]
  // window[s]) with i = (position + s) & (size - 1), `order` being the plan's bit-reversed
  // order.
  void (*windowedTransform)(const float* left, const float* right, const float* window,
                            const std::uint32_t* order, int position, const FftStages& stages,
                            ComplexF* out) noexcept;
  // The spectra of two real signals transformed together as real and imaginary part (size
  // points): for bins k = 1 .. size/2 - 1, the squared magnitudes (exact, in double) of
  // L[k] = (X[k] + conj X[size-k]) / 2 and R[k] = (X[k] - conj X[size-k]) / 2j, each part
  // rounded to single precision.
  void (*untangleSpectra)(const ComplexF* x, int size, double* leftNorm,
                          double* rightNorm) noexcept;
  // peak[i] = the largest of -1 and values[first[i] .. last[i]] for i < count.
  void (*rangePeaks)(const double* values, const int* first, const int* last, int count,
                     double* peak) noexcept;
};

// The kernels of ActiveInstructionSet().
const LaneKernels& ActiveKernels() noexcept;

} // namespace coral
