#include "engine/KernelDesigner.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace coral {

namespace {

constexpr int kHalfBins = kDesignFftSize / 2; // 8192
// The butterflies of one 16384-point transform: the steps of states 2 and 6 are scheduled as
// 128 of them a step, whatever transform runs in them.
constexpr int kDesignButterflies = kDesignFftSize / 2 * 14;
constexpr int kSampleBinsPerStep = 4;
constexpr int kSampleBatch = 8;
constexpr int kCompareBatch = 256; // sampled bins compared between the entries at a time
constexpr int kButterfliesPerStep = 128;
constexpr int kWindowTapsPerStep = 32;
constexpr int kZeroPadBinsPerStep = 64;
constexpr int kDisplayPointsPerStep = 8;

constexpr int kDesignRelevantBandFields[] = {kEnabled, kType,  kFrequency, kGain,
                                             kQ,       kSlope, kChannel};

// Modified Bessel function of the first kind, order 0, by its power series.
double BesselI0(double x) noexcept {
  const double q = x * x / 4.0;
  double term = 1.0;
  double sum = 1.0;
  for (int k = 1; k < 30; ++k) {
    term *= q / (static_cast<double>(k) * k);
    sum += term;
    if (term < 1e-15 * sum) break;
  }
  return sum;
}

// v * e^{j pi k / 2}, exact for every integer k >= 0.
std::complex<double> RotateQuarterTurns(std::complex<double> v, int k) noexcept {
  switch (k & 3) {
  case 1:
    return {-v.imag(), v.real()};
  case 2:
    return -v;
  case 3:
    return {v.imag(), -v.real()};
  default:
    return v;
  }
}

// The spectra A and B of two real signals a and b from the transform Z of a + j b (`size`
// points, in `first`): A[k] = (Z[k] + conj Z[size - k]) / 2 into `first`, B[k] = (Z[k] -
// conj Z[size - k]) / 2j into `second` (indices modulo size).
void SplitPair(ComplexF* first, ComplexF* second, int size) noexcept {
  for (int k = 0; k <= size / 2; ++k) {
    const int mirror = (size - k) & (size - 1);
    const ComplexF z = first[k], w = first[mirror];
    const ComplexF a(0.5f * (z.real() + w.real()), 0.5f * (z.imag() - w.imag()));
    const ComplexF b(0.5f * (z.imag() + w.imag()), 0.5f * (w.real() - z.real()));
    first[k] = a, first[mirror] = std::conj(a);
    second[k] = b, second[mirror] = std::conj(b);
  }
}

// The samples of a buffer of packed pairs in order (complex values are laid out as real,
// imaginary).
const float* PackedSamples(const std::vector<ComplexF>& buffer) noexcept {
  return reinterpret_cast<const float*>(buffer.data());
}

// Bin k (0 .. 8192) of the 16384-point transform X of a real signal x from the 8192-point
// transform Z of its packed pairs z[n] = x[2n] + j x[2n + 1]: with E and O the transforms of
// the even and odd samples, E[k] = (Z[k] + conj Z[8192 - k]) / 2, O[k] = (Z[k] - conj
// Z[8192 - k]) / 2j and X[k] = E[k] + e^{-j 2 pi k / 16384} O[k] (indices of Z modulo 8192).
// Double precision.
std::complex<double> UnpackBin(const ComplexF* packed, int k) noexcept {
  constexpr int kMask = kHalfBins - 1;
  const std::complex<double> z(packed[k & kMask]);
  const std::complex<double> mirror =
      std::conj(std::complex<double>(packed[(kHalfBins - k) & kMask]));
  const DesignDelays& delays = DesignGridDelays();
  const std::complex<double> twiddle(delays.c1[k], delays.s1[k]); // e^{-j 2 pi k / 16384}
  const std::complex<double> even = 0.5 * (z + mirror);
  const std::complex<double> odd = std::complex<double>(0.0, -0.5) * (z - mirror);
  return even + twiddle * odd;
}

} // namespace

bool DesignRelevantDiffers(const float* a, const float* b) noexcept {
  if (!(a[kScale] == b[kScale])) return true;
  for (int band = 0; band < kNumBands; ++band) {
    for (int field : kDesignRelevantBandFields) {
      const int i = BandParamIndex(band, field);
      if (!(a[i] == b[i])) return true;
    }
  }
  return false;
}

void DesignKernelCascades(BiquadCascade (&cascades)[kNumBands], const float* params,
                          double sampleRate) noexcept {
  const double scale = params[kScale];
  for (int band = 0; band < kNumBands; ++band) {
    const float* p = params + BandParamIndex(band, 0);
    DesignBandCascade(cascades[band], static_cast<int>(p[kType]), p[kFrequency],
                      static_cast<double>(p[kGain]) * scale * 0.01, p[kQ],
                      static_cast<int>(p[kSlope]), sampleRate);
  }
}

double KaiserWindow(int n) noexcept {
  const double m = static_cast<double>(n - kKernelCentre) / kKernelCentre;
  return BesselI0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - m * m))) / BesselI0(kKaiserBeta);
}

const DesignDelays& DesignGridDelays() noexcept {
  static const DesignDelays table = [] {
    DesignDelays d{};
    for (int k = 0; k < kDesignBinsPadded; ++k) {
      const int bin = k < kDesignBins ? k : 0;
      const UnitDelay delay(2.0 * std::numbers::pi * bin / kDesignFftSize);
      d.c1[k] = delay.z1.real(), d.s1[k] = delay.z1.imag();
      d.c2[k] = delay.z2.real(), d.s2[k] = delay.z2.imag();
    }
    return d;
  }();
  return table;
}

void DesignMagnitudes::Allocate() {
  values_.assign(static_cast<std::size_t>(kNumBands) * kDesignBinsPadded, 0.0);
  valid_.fill(false);
  computing_.fill(false);
}

void DesignMagnitudes::Begin(const BiquadCascade (&cascades)[kNumBands],
                             const float* params) noexcept {
  for (int band = 0; band < kNumBands; ++band) {
    if (!SameCoefficients(cascades_[band], cascades[band])) {
      cascades_[band] = cascades[band];
      valid_[band] = false;
    }
    computing_[band] = params[BandParamIndex(band, kEnabled)] > 0.5f && !valid_[band];
  }
}

void DesignMagnitudes::Compute(int first, int last) noexcept {
  const LaneKernels& kernels = ActiveKernels();
  for (int band = 0; band < kNumBands; ++band) {
    if (!computing_[band]) continue;
    kernels.cascadeMagnitudes(cascades_[band], DesignGridDelays(), first, last,
                              values_.data() + static_cast<std::size_t>(band) * kDesignBinsPadded);
  }
}

void DesignMagnitudes::Complete() noexcept {
  for (int band = 0; band < kNumBands; ++band) valid_[band] = valid_[band] || computing_[band];
}

void SampleZeroPhaseBins(ZeroPhaseResponse& response, DesignMagnitudes& magnitudes,
                         const float* params, int first, int last) noexcept {
  magnitudes.Compute(first, last);
  ZeroPhaseBands bands;
  for (int band = 0; band < kNumBands; ++band) {
    const float* p = params + BandParamIndex(band, 0);
    if (!(p[kEnabled] > 0.5f)) continue;
    bands.magnitude[bands.count] = magnitudes.Band(band);
    bands.channel[bands.count++] = static_cast<int>(p[kChannel]);
  }
  float* const data[kKernelEntries] = {response[0].data(), response[1].data(), response[2].data(),
                                       response[3].data()};
  ActiveKernels().sampleZeroPhase(data, bands, first, last);
}

namespace {

// For position i of the half-size transform's bit-reversed order: its bin k and the packing
// twiddle j e^{j 2 pi k / 16384} = -sin + j cos = s1 + j c1 of the design grid, read in
// position order (the grid's tables in bit-reversed order would be read all over memory).
struct PackingStep {
  double s1, c1;
  int bin;
};

using PackingTable = std::array<PackingStep, kHalfBins>;

// Built on first use (every 8192-point plan has the same order); any thread.
const PackingTable& PackingSteps(const FftPlan& halfPlan) {
  static const PackingTable steps = [&halfPlan] {
    const DesignDelays& delays = DesignGridDelays(); // e^{-j 2 pi k / 16384} = c1 + j s1
    PackingTable table{};
    for (int i = 0; i < kHalfBins; ++i) {
      const int k = halfPlan.BitReversedIndex(i);
      table[std::size_t(i)] = {delays.s1[k], delays.c1[k], k};
    }
    return table;
  }();
  return steps;
}

} // namespace

void PackEvenResponse(const float* response, const FftPlan& halfPlan, ComplexF* buffer) noexcept {
  const PackingStep* steps = PackingSteps(halfPlan).data();
  for (int i = 0; i < kHalfBins; ++i) {
    const int k = steps[i].bin;
    const double low = response[k], high = response[kHalfBins - k];
    const double sum = low + high, difference = low - high;
    buffer[i] = ComplexF(static_cast<float>(sum + steps[i].s1 * difference),
                         static_cast<float>(steps[i].c1 * difference));
  }
}

void WindowTaps(const float* samples, float* kernel, int first, int last, double scale) noexcept {
  static const std::array<double, kKernelTaps> window = [] {
    std::array<double, kKernelTaps> w{};
    for (int tap = 0; tap < kKernelTaps; ++tap) w[std::size_t(tap)] = KaiserWindow(tap);
    return w;
  }();
  for (int n = first; n < last; ++n) {
    const int m = n - kKernelCentre;
    const int source = m >= 0 ? m : m + kDesignFftSize;
    kernel[n] =
        static_cast<float>(static_cast<double>(samples[source]) * scale * window[std::size_t(n)]);
  }
}

void WindowKernelTap(const DesignBuffers& buffers, KernelTaps& kernels, int n,
                     double scale) noexcept {
  for (int j = 0; j < kKernelEntries; ++j)
    WindowTaps(PackedSamples(buffers[j]), kernels[j].data(), n, n + 1, scale);
}

void KernelSet::Allocate() {
  spectra.assign(static_cast<std::size_t>(kKernelEntries * kPartitions * kConvFftSize), ComplexF{});
  nonZero.fill(0);
  spectraOf = {0, 1, 2, 3};
  display.fill(Matrix2::Identity());
}

void KernelDesigner::Prepare(double sampleRate, const float* displayGrid) {
  sampleRate_ = sampleRate;
  displayGrid_ = displayGrid;
  halfPlan_.Build(kHalfBins);
  for (auto& b : buffers_) b.assign(kHalfBins, ComplexF{});
  magnitudes_.Allocate();
  for (auto& r : response_) r.assign(kDesignBins, 0.0f);
  for (auto& k : kernels_) k.assign(kKernelTaps, 0.0f);
  state_ = kIdle;
}

void KernelDesigner::Start(const float* params) noexcept {
  std::copy(params, params + kNumParams, design_.begin());
  DesignKernelCascades(cascades_, design_.data(), sampleRate_);
  magnitudes_.Begin(cascades_, design_.data());
  index_ = 0;
  sampled_ = 0;
  compared_ = 0;
  entry_ = 0;
  partition_ = 0;
  cursor_ = {};
  nonZero_.fill(false);
  for (auto& row : differs_) row.fill(false);
  state_ = kSampleResponse;
}

void KernelDesigner::CompareEntries(int first, int last) noexcept {
  const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(last - first);
  for (int j = 0; j < kKernelEntries; ++j) {
    const float* values = response_[j].data() + first;
    if (!nonZero_[j]) {
      int any = 0; // an OR over the range, which vectorises
      for (int k = 0; k < last - first; ++k) any |= values[k] != 0.0f;
      nonZero_[j] = any != 0;
    }
    for (int i = 0; i < j; ++i)
      differs_[j][i] =
          differs_[j][i] || std::memcmp(values, response_[i].data() + first, bytes) != 0;
  }
}

void KernelDesigner::AssignRoles() noexcept {
  for (int j = 0; j < kKernelEntries; ++j) {
    source_[j] = j;
    role_[j] = nonZero_[j] ? EntryRole::kOwn : EntryRole::kZero;
    if (role_[j] == EntryRole::kZero) continue;
    for (int i = 0; i < j; ++i) {
      if (role_[i] != EntryRole::kOwn || differs_[j][i]) continue;
      source_[j] = i;
      role_[j] = EntryRole::kCopy;
      break;
    }
  }
}

namespace {

// Steps that `work` units take at `perStep` units a step.
int StepsFor(int work, int perStep) {
  return (work + perStep - 1) / perStep;
}

} // namespace

int KernelDesigner::Run(KernelSet& out, const FftPlan& partitionPlan, int steps, bool holdWrites,
                        bool& completed) noexcept {
  completed = false;
  int taken = 0;
  while (taken < steps && state_ != kIdle) {
    // A step that would write `out` waits, and so does every later step of this call.
    if (holdWrites && NextStepWritesSet()) return steps;
    const int budget = steps - taken;
    switch (state_) {
    case kSampleResponse: {
      // 4 bins a step, sampled a batch ahead at a time, as wide as a vector may be.
      const int n = std::min(budget, StepsFor(kDesignBins - index_, kSampleBinsPerStep));
      index_ = std::min(index_ + n * kSampleBinsPerStep, kDesignBins);
      if (sampled_ < index_) {
        const int end =
            std::min((index_ + kSampleBatch - 1) / kSampleBatch * kSampleBatch, kDesignBins);
        SampleZeroPhaseBins(response_, magnitudes_, design_.data(), sampled_, end);
        sampled_ = end;
        if (sampled_ - compared_ >= kCompareBatch || sampled_ == kDesignBins) {
          CompareEntries(compared_, sampled_);
          compared_ = sampled_;
        }
      }
      taken += n;
      if (index_ == kDesignBins) {
        magnitudes_.Complete();
        AssignRoles();
        entry_ = 0;
        LoadInverseInput();
        state_ = kInverseTransform;
      }
      break;
    }
    case kInverseTransform:
    case kForwardTransform: {
      // 128 butterflies a step; a buffer's last step does the rest, the next buffer starts
      // with the next step.
      const bool inverse = state_ == kInverseTransform;
      const int remaining = kDesignButterflies - butterflies_;
      const int n = std::min(budget, StepsFor(remaining, kButterfliesPerStep));
      butterflies_ += std::min(n * kButterfliesPerStep, remaining);
      taken += n;
      if (transforming_) Transform(halfPlan_, buffers_[entry_].data(), inverse, kDesignButterflies);
      if (butterflies_ < kDesignButterflies) break;
      if (++entry_ < kKernelEntries) {
        if (inverse) {
          LoadInverseInput();
        } else {
          cursor_ = {};
          butterflies_ = done_ = 0;
          transforming_ = role_[entry_] == EntryRole::kOwn;
        }
      } else {
        entry_ = 0;
        index_ = 0;
        state_ = inverse ? kWindow : kDisplayResponse;
      }
      break;
    }
    case kWindow: {
      // 32 taps a step; the last one loads the first partition into `out`.
      int n = std::min(budget, StepsFor(kKernelTaps - index_, kWindowTapsPerStep));
      const int end = std::min(index_ + n * kWindowTapsPerStep, kKernelTaps);
      if (holdWrites && end == kKernelTaps) {
        if (--n == 0) return steps;
        index_ += n * kWindowTapsPerStep;
        WindowEntries(index_ - n * kWindowTapsPerStep, index_);
        return steps;
      }
      WindowEntries(index_, end);
      index_ = end;
      taken += n;
      if (index_ == kKernelTaps) {
        entry_ = 0;
        partition_ = 0;
        LoadPartition(out, partitionPlan);
        state_ = kPartitionSpectra;
      }
      break;
    }
    case kPartitionSpectra: {
      // 128 butterflies a step; a partition's last step loads the next one.
      const int remaining = partitionPlan.ButterflyCount() - butterflies_;
      const int n = std::min(budget, StepsFor(remaining, kButterfliesPerStep));
      butterflies_ += std::min(n * kButterfliesPerStep, remaining);
      taken += n;
      if (transforming_)
        Transform(partitionPlan, out.Partition(entry_, partition_), false,
                  partitionPlan.ButterflyCount());
      if (butterflies_ < partitionPlan.ButterflyCount()) break;
      if (transforming_ && paired_)
        SplitPair(out.Partition(entry_, partition_), out.Partition(entry_, partition_ + 1),
                  kConvFftSize);
      if (++partition_ == kPartitions) {
        partition_ = 0;
        ++entry_;
      }
      if (entry_ < kKernelEntries) {
        LoadPartition(out, partitionPlan);
      } else {
        index_ = 0;
        state_ = kZeroPad;
      }
      break;
    }
    case kZeroPad: {
      // 64 values a step of the zero-padded kernels, packed in pairs (tap 2i as real, tap
      // 2i + 1 as imaginary part) in the half-size forward transforms' bit-reversed order:
      // each position fetches its pair.
      const int n = std::min(budget, (kDesignFftSize - index_) / kZeroPadBinsPerStep);
      const int end = index_ + n * kZeroPadBinsPerStep;
      for (int j = 0; j < kKernelEntries; ++j) {
        if (role_[j] != EntryRole::kOwn) continue;
        const float* kernel = kernels_[j].data();
        ComplexF* buffer = buffers_[j].data();
        const auto tap = [kernel](int t) { return t < kKernelTaps ? kernel[t] : 0.0f; };
        for (int i = index_ / 2; i < end / 2; ++i) {
          const int pair = halfPlan_.BitReversedIndex(i);
          buffer[i] = ComplexF(tap(2 * pair), tap(2 * pair + 1));
        }
      }
      index_ = end;
      taken += n;
      if (index_ == kDesignFftSize) {
        entry_ = 0;
        cursor_ = {};
        butterflies_ = done_ = 0;
        transforming_ = role_[0] == EntryRole::kOwn;
        state_ = kForwardTransform;
      }
      break;
    }
    case kDisplayResponse: {
      const int n = std::min(budget, (kDisplayPoints - index_) / kDisplayPointsPerStep);
      const int end = index_ + n * kDisplayPointsPerStep;
      for (; index_ < end; ++index_) out.display[index_] = DisplayPoint(index_);
      taken += n;
      if (index_ == kDisplayPoints) {
        state_ = kIdle;
        completed = true;
        return taken;
      }
      break;
    }
    default:
      return steps;
    }
  }
  return taken;
}

void KernelDesigner::LoadInverseInput() noexcept {
  cursor_ = {};
  butterflies_ = done_ = 0;
  transforming_ = role_[entry_] == EntryRole::kOwn;
  if (!transforming_) return;
  PackEvenResponse(response_[entry_].data(), halfPlan_, buffers_[entry_].data());
}

void KernelDesigner::WindowEntries(int first, int last) noexcept {
  for (int j = 0; j < kKernelEntries; ++j) {
    float* kernel = kernels_[j].data();
    switch (role_[j]) {
    case EntryRole::kOwn:
      WindowTaps(PackedSamples(buffers_[j]), kernel, first, last, 1.0 / kDesignFftSize);
      break;
    case EntryRole::kZero:
      std::fill(kernel + first, kernel + last, 0.0f);
      break;
    case EntryRole::kCopy:
      std::copy(kernels_[source_[j]].data() + first, kernels_[source_[j]].data() + last,
                kernel + first);
      break;
    }
  }
}

void KernelDesigner::Transform(const FftPlan& plan, ComplexF* data, bool inverse,
                               int scheduled) noexcept {
  // The butterflies are done in whole pieces as soon as the steps taken cover their share of
  // the schedule, and all of them by the step that covers its end: the same butterflies,
  // finished at the same step, as an even spread over the scheduled steps.
  const int total = plan.ButterflyCount();
  if (butterflies_ == scheduled) {
    plan.Step(data, cursor_, total - done_, inverse);
    done_ = total;
    return;
  }
  const auto covered =
      static_cast<int>(static_cast<std::int64_t>(butterflies_) * total / scheduled);
  for (int piece = plan.WholePiece(cursor_); done_ + piece <= covered;
       piece = plan.WholePiece(cursor_)) {
    plan.Step(data, cursor_, piece, inverse);
    done_ += piece;
  }
}

bool KernelDesigner::NextStepWritesSet() const noexcept {
  return state_ == kPartitionSpectra || state_ == kDisplayResponse ||
         (state_ == kWindow && index_ + kWindowTapsPerStep >= kKernelTaps);
}

void KernelDesigner::LoadPartition(KernelSet& out, const FftPlan& partitionPlan) noexcept {
  cursor_ = {};
  butterflies_ = done_ = 0;
  transforming_ = false;
  const int flag = entry_ * kPartitions + partition_;
  out.spectraOf[std::size_t(entry_)] = std::uint8_t(entry_);
  switch (role_[entry_]) {
  case EntryRole::kZero:
    out.nonZero[flag] = 0; // the convolver never reads the spectrum
    return;
  case EntryRole::kCopy: {
    // The source entry's spectra, already transformed, serve this entry too.
    const int source = source_[entry_];
    out.nonZero[flag] = out.nonZero[source * kPartitions + partition_];
    out.spectraOf[std::size_t(entry_)] = std::uint8_t(source);
    return;
  }
  case EntryRole::kOwn:
    break;
  }
  // Partitions are transformed in pairs (2q, 2q + 1) as the real and imaginary part of one
  // transform in the first one's slot, split into both slots after its last butterfly; the
  // last partition, without a partner, alone. The second of a pair has nothing left to do.
  paired_ = partition_ + 1 < kPartitions;
  if (partition_ % 2 != 0) return;
  const auto tapsIn = [](int p) { return std::clamp(kKernelTaps - kFirBlock * p, 0, kFirBlock); };
  const float* first = kernels_[entry_].data() + kFirBlock * partition_;
  const float* second = first + kFirBlock;
  const int count = tapsIn(partition_), secondCount = paired_ ? tapsIn(partition_ + 1) : 0;
  bool nonZero = false, secondNonZero = false;
  for (int i = 0; i < count; ++i) nonZero |= first[i] != 0.0f;
  for (int i = 0; i < secondCount; ++i) secondNonZero |= second[i] != 0.0f;
  out.nonZero[flag] = nonZero ? 1 : 0;
  if (paired_) out.nonZero[flag + 1] = secondNonZero ? 1 : 0;
  if (!nonZero && !secondNonZero) return; // the convolver never reads the spectra
  // Straight into the transform's bit-reversed order (its own inverse): the taps, then zeros.
  // An odd position's bit-reversed index has its top bit set, so it lies in the zeros.
  static_assert(kConvFftSize == 2 * kFirBlock);
  ComplexF* slot = out.Partition(entry_, partition_);
  const std::uint32_t* order = partitionPlan.BitReversedOrder();
  for (int j = 0; j < kConvFftSize; j += 2) {
    const int i = static_cast<int>(order[j]);
    slot[j] = ComplexF(i < count ? first[i] : 0.0f, i < secondCount ? second[i] : 0.0f);
    slot[j + 1] = ComplexF();
  }
  transforming_ = true;
}

Matrix2 KernelDesigner::DisplayPoint(int point) const noexcept {
  const double x = static_cast<double>(displayGrid_[point]) * kDesignFftSize / sampleRate_;
  const int k = std::clamp(static_cast<int>(x), 0, kHalfBins - 1);
  const double t = x - k;
  std::complex<double> v[kKernelEntries];
  for (int j = 0; j < kKernelEntries; ++j) {
    if (role_[j] != EntryRole::kOwn) {
      v[j] = role_[j] == EntryRole::kCopy ? v[source_[j]] : std::complex<double>();
      continue;
    }
    const ComplexF* packed = buffers_[j].data();
    v[j] = (1.0 - t) * RotateQuarterTurns(UnpackBin(packed, k), k) +
           t * RotateQuarterTurns(UnpackBin(packed, k + 1), k + 1);
  }
  return {v[0], v[1], v[2], v[3]};
}

} // namespace coral
