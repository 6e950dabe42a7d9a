#pragma once
// Design of the linear-phase kernel matrix: the zero-phase response of the enabled bands is
// sampled on a 16384-point grid, inverse transformed, Kaiser windowed to four 8193-tap
// kernels (entries 00, 01, 10, 11 of the 2x2 channel matrix), cut into 33 partition spectra
// for the convolver and analysed at the 256 display frequencies.
//
// KernelDesigner spreads this over about 12,150 bounded steps so it can run one step per
// audio frame. The free functions are shared with the editor-thread target caches.

#include <array>
#include <cstdint>
#include <vector>

#include "engine/BandFilter.h"
#include "engine/ChannelMatrix.h"
#include "engine/EngineConstants.h"
#include "engine/FftPlan.h"
#include "engine/LaneKernels.h"
#include "engine/ParamTable.h"

namespace coral {

inline constexpr int kKernelTaps = 8193;
inline constexpr int kKernelCentre = 4096;
inline constexpr int kDesignFftSize = 16384;
inline constexpr int kFirBlock = 256;
inline constexpr int kConvFftSize = 512;
inline constexpr int kPartitions = 33;
inline constexpr int kKernelCrossfade = 2048;
inline constexpr double kKaiserBeta = 8.6;
inline constexpr int kKernelEntries = 4; // 00, 01, 10, 11: entry 2 * output + input

// Four complex buffers of kDesignFftSize / 2 values, one per matrix entry: the designer's
// transforms of real signals run at half size on packed pairs of samples (real part: sample
// 2n, imaginary part: sample 2n + 1).
using DesignBuffers = std::array<std::vector<ComplexF>, kKernelEntries>;
// The sampled zero-phase response, bins 0 .. 8192, one array per matrix entry.
using ZeroPhaseResponse = std::array<std::vector<float>, kKernelEntries>;
// Four kernels of kKernelTaps floats, one per matrix entry; tap kKernelCentre is time zero.
using KernelTaps = std::array<std::vector<float>, kKernelEntries>;

// True when a and b (216-value parameter arrays) differ in Scale or in any band's Enabled,
// Type, Frequency, Gain, Q, Slope or Channel. Unequal or NaN counts as different.
bool DesignRelevantDiffers(const float* a, const float* b) noexcept;

// Designs the twelve band cascades of a sanitized parameter array:
// DesignBandCascade(Type, Frequency, Gain * Scale * 0.01, Q, Slope, sampleRate).
void DesignKernelCascades(BiquadCascade (&cascades)[kNumBands], const float* params,
                          double sampleRate) noexcept;

// Kaiser window (beta 8.6) at tap n = 0..8192, centred on tap 4096. I0 is the power series
// sum (x^2/4)^k / (k!)^2 until a term falls below 1e-15 of the running sum or 30 terms.
double KaiserWindow(int n) noexcept;

// The design grid's unit delays (computed once; any thread).
const DesignDelays& DesignGridDelays() noexcept;

// The magnitudes |H| (CascadeMagnitude) of the twelve band cascades at the design bins, kept
// from design to design: a band's are computed again only when its coefficients change.
// Allocate allocates; everything else is allocation-free.
class DesignMagnitudes {
public:
  void Allocate();
  // Takes the cascades of a new design and marks for computing each band among those with
  // Enabled > 0.5 in `params` whose kept magnitudes belong to other coefficients or are
  // incomplete.
  void Begin(const BiquadCascade (&cascades)[kNumBands], const float* params) noexcept;
  // The marked bands' magnitudes at bins [first, last), `first` a multiple of kLog10Block.
  void Compute(int first, int last) noexcept;
  // After the last bin: the marked bands' magnitudes are complete.
  void Complete() noexcept;
  const double* Band(int band) const noexcept {
    return values_.data() + static_cast<std::size_t>(band) * kDesignBinsPadded;
  }

private:
  std::vector<double> values_; // [band][bin]
  BiquadCascade cascades_[kNumBands]{};
  std::array<bool, kNumBands> valid_{};     // complete, for cascades_
  std::array<bool, kNumBands> computing_{}; // marked by Begin
};

// Samples bins [first, last) (within 0..8192, `first` a multiple of kLog10Block) of the
// zero-phase matrix: the real parts of its four entries at omega = 2 pi k / 16384, where from
// the identity each band with Enabled > 0.5 left-multiplies ChannelMatrix(|H(omega)|,
// Channel). Computes the marked magnitudes of those bins first (Complete is the caller's).
// An inverse transform of bins 0..8192 mirrored into 16384 - k is real and even.
void SampleZeroPhaseBins(ZeroPhaseResponse& response, DesignMagnitudes& magnitudes,
                         const float* params, int first, int last) noexcept;

// Fills `buffer` (8192 values, in the bit-reversed order of `halfPlan`, an 8192-point plan)
// so that the unscaled inverse transform of `halfPlan` turns it into 16384 x (x[2n] + j
// x[2n + 1]), x being the inverse 16384-point DFT of the real even spectrum whose bins
// 0 .. 8192 are `response` (bin 16384 - k holds bin k). With X[k + 8192] = X[8192 - k]:
// Z[k] = (X[k] + X[8192 - k]) + j e^{j 2 pi k / 16384} (X[k] - X[8192 - k]), in double
// precision, rounded to single precision.
void PackEvenResponse(const float* response, const FftPlan& halfPlan, ComplexF* buffer) noexcept;

// Taps [first, last) (within 0..8192) of one kernel from the real signal its inverse transform
// gave (kDesignFftSize samples): kernel[n] = samples[(n - 4096) mod 16384] * scale *
// KaiserWindow(n), rounded to single precision.
void WindowTaps(const float* samples, float* kernel, int first, int last, double scale) noexcept;

// Tap n of the four kernels: WindowTaps of each buffer's packed samples.
void WindowKernelTap(const DesignBuffers& buffers, KernelTaps& kernels, int n,
                     double scale) noexcept;

// What one design produces and the convolver and display read: for each matrix entry the
// 512-point spectra of its 33 zero-padded 256-tap partitions with a flag per partition that
// is set when the partition holds a non-zero tap, and the kernel matrix at the 256 display
// frequencies with the kernel delay removed. An entry equal to another one bit for bit uses
// that entry's spectra instead of a copy.
struct KernelSet {
  std::vector<ComplexF> spectra; // [entry][partition][bin], allocated by Allocate
  std::array<std::uint8_t, kKernelEntries * kPartitions> nonZero{};
  std::array<std::uint8_t, kKernelEntries> spectraOf{0, 1, 2, 3}; // whose spectra each uses
  std::array<Matrix2, kDisplayPoints> display{};

  void Allocate();
  // Entry `entry`'s own slot for partition p (where a design writes its spectrum).
  ComplexF* Partition(int entry, int p) noexcept {
    return spectra.data() + (entry * kPartitions + p) * kConvFftSize;
  }
  // The spectrum entry `entry` convolves partition p with.
  const ComplexF* Spectrum(int entry, int p) const noexcept {
    return spectra.data() + (spectraOf[std::size_t(entry)] * kPartitions + p) * kConvFftSize;
  }
  bool NonZero(int entry, int p) const noexcept { return nonZero[entry * kPartitions + p] != 0; }
};

// The eight-state incremental designer. State 0 is idle; Start enters state 1; each step
// stands for one bounded piece of work:
//   1 sample the zero-phase response, 4 bins;   2 inverse transforms, 128 butterflies;
//   3 window, 32 taps;                          4 partition spectra, 128 butterflies;
//   5 zero-pad the kernels for analysis, 64 bins; 6 forward transforms, 128 butterflies;
//   7 display matrices, 8 points; then idle.
// The steps keep this schedule whatever a design holds, so a design always completes at the
// same step. Work whose result is known is left out of them: an entry whose sampled response
// is all zeros has zero kernel, partitions and display values (its transforms are not run),
// an entry whose response equals an earlier entry's bit for bit takes that entry's kernel,
// partition spectra and display values (the same operations on the same values), and a
// partition without a non-zero tap, which the convolver skips, is not transformed.
// Audio thread; Prepare allocates, everything else is allocation-free.
class KernelDesigner {
public:
  enum State : int {
    kIdle = 0,
    kSampleResponse,
    kInverseTransform,
    kWindow,
    kPartitionSpectra,
    kZeroPad,
    kForwardTransform,
    kDisplayResponse,
  };

  // Builds the 8192-point plan and allocates the design buffers and kernels. `displayGrid`
  // (256 frequencies in Hz) must stay valid while the designer is used.
  void Prepare(double sampleRate, const float* displayGrid);

  // Copies `params` (216 sanitized values) as the design array, designs the band cascades
  // and enters state 1, abandoning any design in progress.
  void Start(const float* params) noexcept;

  // Up to `steps` bounded steps, done together (the same work as one step after another),
  // writing partition spectra and display matrices into `out`; the partition transforms use
  // `partitionPlan` (512 points). `holdWrites`: a step that would write `out` (the last
  // window step, which loads the first partition, the partition spectra and the display
  // matrices) is not taken, and neither is any later one of the call. Returns the steps
  // taken (those held count as taken); fewer only when the design completes, which sets
  // `completed` (the designer is then idle). Does nothing when idle.
  int Run(KernelSet& out, const FftPlan& partitionPlan, int steps, bool holdWrites,
          bool& completed) noexcept;

  int CurrentState() const noexcept { return state_; }
  const float* Kernel(int entry) const noexcept { return kernels_[entry].data(); }
  const ParamSnapshot& DesignParams() const noexcept { return design_; }

private:
  // How an entry's kernel comes about (decided once its response is sampled).
  enum class EntryRole : std::uint8_t {
    kOwn,  // transformed, windowed and analysed
    kZero, // all-zero response: zero kernel, no partition marked non-zero, zero display values
    kCopy, // the response of entry source_[entry], bit for bit: that entry's results
  };

  // Notes, for bins [first, last) just sampled, which entries hold a non-zero value there and
  // which pairs of entries differ there.
  void CompareEntries(int first, int last) noexcept;
  // The entries' roles from the comparisons of the whole response.
  void AssignRoles() noexcept;
  bool NextStepWritesSet() const noexcept;
  // Fills the current buffer with the sampled response for its inverse transform.
  void LoadInverseInput() noexcept;
  // Taps [first, last) of the four kernels, each as its role says.
  void WindowEntries(int first, int last) noexcept;
  // Brings the current transform's butterflies up to the steps taken (butterflies_).
  // `scheduled`: the butterflies the steps of the transform stand for (the steps' share of
  // the plan's butterflies is done).
  void Transform(const FftPlan& plan, ComplexF* data, bool inverse, int scheduled) noexcept;
  void LoadPartition(KernelSet& out, const FftPlan& partitionPlan) noexcept;
  Matrix2 DisplayPoint(int point) const noexcept;

  double sampleRate_ = 48000;
  const float* displayGrid_ = nullptr;
  FftPlan halfPlan_; // 8192 points: every design transform runs on packed pairs of samples
  DesignBuffers buffers_;
  DesignMagnitudes magnitudes_;
  ZeroPhaseResponse response_;
  KernelTaps kernels_;
  ParamSnapshot design_{};
  BiquadCascade cascades_[kNumBands]{};

  int state_ = kIdle;
  int index_ = 0;             // next bin, tap or display point
  int sampled_ = 0;           // bins sampled so far in state 1 (up to a batch ahead of index_)
  int compared_ = 0;          // sampled bins compared between the entries
  int entry_ = 0;             // current matrix entry (buffer or kernel)
  int partition_ = 0;         // current partition in state 4
  int butterflies_ = 0;       // of the current transform, covered by the steps taken
  int done_ = 0;              // of the current transform, done
  bool transforming_ = false; // the current transform's butterflies are performed
  bool paired_ = false;       // the current partition has a partner in state 4
  FftPlan::Cursor cursor_;
  std::array<bool, kKernelEntries> nonZero_{};
  std::array<std::array<bool, kKernelEntries>, kKernelEntries> differs_{}; // [later][earlier]
  std::array<EntryRole, kKernelEntries> role_{};
  std::array<int, kKernelEntries> source_{};
};

} // namespace coral
