#include "engine/EqEngine.h"

#include <algorithm>
#include <cmath>

#include "engine/BandDynamics.h"
#include "engine/Denormals.h"
#include "engine/EngineState.h"
#include "engine/ParamView.h"

namespace coral {

namespace {

// Rounds halfway cases away from zero, as std::round does.
float RoundDiscrete(float v) {
  return std::round(v);
}

// One-pole ramp towards `target` by `coef`, snapped to the target within `epsilon`.
void Ramp(double& value, double target, double coef, double epsilon) {
  if (value == target) return; // a settled ramp stays where it is
  value += (target - value) * coef;
  if (std::abs(target - value) <= epsilon) value = target;
}

float FiniteOrZero(float v) {
  return std::isfinite(v) ? v : 0.0f;
}

constexpr int kGainComputerFields[] = {kThreshold, kRatio, kKnee, kRange};

} // namespace

void SanitizeSnapshot(ParamSnapshot& snapshot) noexcept {
  for (int i = 0; i < kNumParams; ++i) {
    const ParamInfo& def = GetParamInfo(i);
    float v = snapshot[i];
    if (!std::isfinite(v)) v = def.defaultValue;
    v = std::clamp(v, def.minimum, def.maximum);
    if (def.kind != ParamKind::Double) v = RoundDiscrete(v);
    snapshot[i] = v;
  }
}

EqEngine::EqEngine() : state_(std::make_unique<EngineState>()) {
  state_->target = DefaultSnapshot();
  for (auto& v : state_->staticWetEq) v.store(0.0f);
  for (auto& v : state_->currentWetEq) v.store(0.0f);
  for (auto& v : state_->detectorLevel) v.store(-120.0f);
}

EqEngine::~EqEngine() = default;

void EqEngine::SetParams(const ParamSnapshot& snapshot) noexcept {
  EngineState& s = *state_;
  ParamSnapshot next = snapshot;
  SanitizeSnapshot(next);
  if (next == s.target) return; // the usual case: nothing moved since the last block
  s.target = next;
  // A moving value whose new target is where it stands leaves the list here: it has settled.
  for (int k = 0; k < s.movingCount; ++k)
    if (s.smoothed[s.moving[k]] == double(s.target[s.moving[k]])) ++s.settledStamp;
  // Discrete values take their targets at the next frame; continuous ones join the
  // parameters still moving.
  s.movingCount = 0;
  for (int i = 0; i < kNumParams; ++i) {
    if (s.smoothed[i] == double(s.target[i])) continue;
    if (s.discrete[i])
      s.discretePending = true;
    else
      s.moving[s.movingCount++] = std::int16_t(i);
  }
  s.fir.SetTarget(s.target.data());
}

bool EqEngine::IsPrepared() const noexcept {
  return state_->prepared;
}

double EqEngine::SampleRate() const noexcept {
  return state_->publishedSampleRate.load();
}

const float* EqEngine::DisplayGrid() const noexcept {
  return state_->displayGrid.data();
}

namespace {

// The bands whose design reads parameter `index`, when it reads the fields `fields` (a bit per
// band field) of its own band, and Scale when `scale` is set.
std::uint32_t BandsReading(int index, std::uint32_t fields, bool scale) noexcept {
  if (index < kNumGlobalParams) return scale && index == kScale ? kAllBands : 0u;
  const int field = (index - kNumGlobalParams) % kBandFields;
  return fields >> field & 1u ? 1u << ((index - kNumGlobalParams) / kBandFields) : 0u;
}
constexpr std::uint32_t kEveryField = (1u << kBandFields) - 1;
// A band's live dynamic filter: its Type, Frequency and Q with the delayed gain and Scale.
constexpr std::uint32_t kDynamicDesignFields = 1u << kFrequency | 1u << kQ;
// A band's detector: its band pass from Frequency and Q, its ballistics from Attack and Release.
constexpr std::uint32_t kDetectorFields =
    1u << kFrequency | 1u << kQ | 1u << kAttack | 1u << kRelease;

// `frames` frames (0 .. kChunkFrames) of smoothing of the continuous values still moving.
// Frame by frame each value moves s <- s + (target - s) c20, which leaves (1 - c20)^n of its
// distance to the target after n frames; so the frames are taken in one step,
// s <- target - (target - s) (1 - c20)^n, equal to the frame-by-frame values within a few
// units in the last place of the double. A value snaps to its target once within
// max(|target|, 1) 1e-10, which ends its moving.
void SmoothContinuous(EngineState& s, int frames) noexcept {
  if (frames == 0) return;
  const double remains = s.smoothingRemains[frames];
  for (int k = 0; k < s.movingCount; ++k) {
    const int i = s.moving[k];
    s.changedBands |= BandsReading(i, kEveryField, true);
    s.changedDynamicBands |= BandsReading(i, kDynamicDesignFields, true);
    s.changedDetectorBands |= BandsReading(i, kDetectorFields, false);
    const double target = s.target[i];
    double v = target - (target - s.smoothed[i]) * remains;
    if (std::abs(target - v) <= std::max(std::abs(target), 1.0) * 1e-10) v = target;
    s.smoothed[i] = v;
    s.smoothedF[i] = float(v);
    if (v == target) s.moving[k--] = s.moving[--s.movingCount], ++s.settledStamp;
  }
}

// Parameter smoothing of one frame: discrete values jump to their targets, continuous ones
// take one step.
void Smooth(EngineState& s) noexcept {
  if (s.discretePending) {
    s.changedBands = s.changedDynamicBands = kAllBands;
    ++s.settledStamp;
    for (int i = 0; i < kNumParams; ++i) {
      if (!s.discrete[i]) continue;
      s.smoothed[i] = s.target[i];
      s.smoothedF[i] = s.target[i];
    }
    s.discretePending = false;
  }
  SmoothContinuous(s, 1);
}

bool GainComputerMoving(const EngineState& s) noexcept {
  for (int k = 0; k < s.movingCount; ++k) {
    const int i = s.moving[k];
    if (i < kNumGlobalParams) continue;
    const int field = (i - kNumGlobalParams) % kBandFields;
    for (int f : kGainComputerFields)
      if (field == f) return true;
  }
  return false;
}

// The detector lanes' gain computer settings from the smoothed parameters.
void SetGainComputer(EngineState& s) noexcept {
  DetectorLanes& d = s.detectors;
  const ParamView params(s.smoothedF.data());
  for (int b = 0; b < kNumBands; ++b) {
    const BandView band = params.Band(b);
    d.threshold.SetBand(b, band.Threshold());
    d.ratioFactor.SetBand(b, 1.0f - 1.0f / band.Ratio());
    d.range.SetBand(b, band.Range());
    d.knee.SetBand(b, band.Knee());
  }
}

// The detector lanes' routing for a chunk, from the (chunk-constant) discrete parameters.
// Answers whether any gain computer runs.
bool ConfigureDetectors(EngineState& s, bool sidechainPresent) noexcept {
  DetectorLanes& d = s.detectors;
  const ParamView params(s.smoothedF.data());
  bool dynamics = false;
  for (int b = 0; b < kNumBands; ++b) {
    const BandView band = params.Band(b);
    const bool external = band.Enabled() && band.External() && sidechainPresent;
    s.chunk.externalInUse = s.chunk.externalInUse || external;
    const bool active = band.Enabled() && band.Dynamic() && HasDynamicStage(band.Type());
    dynamics = dynamics || active;
    d.external.SetBand(b, external);
    d.mid.SetBand(b, band.Channel() == kMid);
    d.side.SetBand(b, band.Channel() == kSide);
    d.active.SetBand(b, active);
    d.upward.SetBand(b, band.Upward());
  }
  SetGainComputer(s);
  return dynamics;
}

// The detector band pass and the ballistic coefficients of every band whose inputs changed,
// among the bands `changedBands` marks.
void DesignDetectors(EngineState& s, std::uint32_t changedBands) noexcept {
  if (changedBands == 0) return;
  const ParamView params(s.smoothedF.data());
  for (int b = 0; b < kNumBands; ++b) {
    if (!(changedBands >> b & 1u)) continue;
    const BandView band = params.Band(b);
    BandRuntime& r = s.bands[b];
    DetectorLanes& d = s.detectors;
    if (r.ballisticInputs.Changed({band.Attack(), band.Release(), 0, 0, 0})) {
      d.attack.SetBand(b, BallisticCoefficient(band.Attack(), s.sampleRate));
      d.release.SetBand(b, BallisticCoefficient(band.Release(), s.sampleRate));
    }
    if (!r.detectorInputs.Changed({band.Frequency(), band.Q(), 0, 0, 0})) continue;
    const BiquadCoefficients bp =
        DesignSection(kBandPass, band.Frequency(), 0.0, band.Q(), s.sampleRate);
    SectionLanes& f = d.filter;
    f.b0.SetBand(b, bp.b0), f.b1.SetBand(b, bp.b1), f.b2.SetBand(b, bp.b2);
    f.a1.SetBand(b, bp.a1), f.a2.SetBand(b, bp.a2);
  }
}

// A coefficient update outside Process (Prepare, ResetRuntime): records each band's Type,
// Channel and Slope and puts every design in force at once, without crossfades.
void UpdateCoefficientsNow(EngineState& s) noexcept {
  s.changedBands = s.changedDynamicBands = s.changedDetectorBands = 0;
  int types[kNumBands], channels[kNumBands];
  const ParamView params(s.smoothedF.data());
  for (int b = 0; b < kNumBands; ++b) {
    const BandView band = params.Band(b);
    BandRuntime& r = s.bands[b];
    r.type = types[b] = band.Type();
    r.channel = channels[b] = band.Channel();
    r.slope = band.Slope();
  }
  DesignDetectors(s, kAllBands);
  const ChainContext context = s.Chains();
  s.staticChain.DesignNow(context, s.smoothedF.data(), s.detectors.delayedGain.v, types, channels);
  s.dynamicChain.DesignNow(context, s.smoothedF.data(), s.detectors.delayedGain.v, types, channels);
}

// The coefficient update at frame `frame` of the chunk: the detectors are redesigned at once;
// for the chains it records what they need to redesign when their lanes reach the frame, and
// the structural changes (a Type, Channel or Slope different from the recorded one).
void RecordUpdate(EngineState& s, int frame) noexcept {
  ChunkBuffers& c = s.chunk;
  const int k = c.updateCount++;
  UpdatePoint& u = c.updates[k];
  u.frame = frame;
  u.changedBands = s.changedBands;
  u.changedDynamicBands = s.changedDynamicBands;
  s.changedBands = s.changedDynamicBands = 0;
  if (s.movingCount > 0) {
    ParamSnapshot& kept = c.updateParams[k];
    if (c.updateParamsStamp[k] != s.settledStamp) {
      kept = s.smoothedF;
      c.updateParamsStamp[k] = s.settledStamp;
    } else {
      for (int j = 0; j < s.movingCount; ++j) kept[s.moving[j]] = s.smoothedF[s.moving[j]];
    }
    u.params = kept.data();
  } else {
    u.params = s.smoothedF.data(); // no longer changes in this chunk
  }
  std::copy(s.detectors.delayedGain.v, s.detectors.delayedGain.v + kLanes, u.delayedGain.begin());
  u.structural = false;
  const ParamView params(s.smoothedF.data());
  for (int b = 0; b < kNumBands; ++b) {
    const BandView band = params.Band(b);
    BandRuntime& r = s.bands[b];
    BandChange change;
    const int type = band.Type(), channel = band.Channel(), slope = band.Slope();
    if (type != r.type || channel != r.channel || slope != r.slope) {
      change.structural = true;
      change.type = type, change.channel = channel;
      // The dynamic chain's previous pair is the stage that was running: the band's own, or
      // one still fading out, which stays in place.
      const bool fading = r.fadeWeight > 0;
      change.keepPrevious = fading;
      if (!fading) r.previousDynamicType = r.type;
      if (HasDynamicStage(type)) {
        change.previousUsed = HasDynamicStage(r.previousDynamicType);
        change.restartWeight = true;
        r.fadeWeight = 0, r.fadeDelay = 0; // the new stage takes over by the crossfade
      } else if (HasDynamicStage(r.type)) {
        // Leaving the gain types: the old stage keeps running on the delayed audio and fades
        // out with the static crossfade when it comes out of the delay line.
        change.previousUsed = change.restartWeight = true;
        change.fadeDelay = r.fadeDelay = kFixedLatency;
        r.fadeWeight = 1.0f;
      } else {
        change.previousUsed = fading;
      }
      r.type = type, r.channel = channel, r.slope = slope;
      u.structural = true;
    }
    u.change[b] = change;
    u.fading[b] = r.fadeWeight > 0;
    u.fadingType[b] = r.previousDynamicType;
  }
  DesignDetectors(s, s.changedDetectorBands);
  s.changedDetectorBands = 0;
}

// Frame-aligned ramps of one frame: a fading dynamic stage's delay and weight, and the
// listen ramps. Answers whether anything still moves.
bool AdvanceBandRamps(EngineState& s) noexcept {
  const ParamView params(s.smoothedF.data());
  const double step = 1.0 / (0.005 * s.sampleRate);
  bool moving = false;
  for (int b = 0; b < kNumBands; ++b) {
    BandRuntime& r = s.bands[b];
    if (r.fadeDelay > 0)
      --r.fadeDelay;
    else if (r.fadeWeight > 0)
      r.fadeWeight = float(std::max(double(r.fadeWeight) - step, 0.0));
    const BandView band = params.Band(b);
    const double listen = band.Enabled() && band.Listen() ? 1.0 : 0.0;
    Ramp(r.listenRamp, listen, s.c5, 1e-9);
    moving = moving || r.fadeWeight > 0 || r.listenRamp != listen;
  }
  return moving;
}

bool Listening(const EngineState& s) noexcept {
  const ParamView params(s.smoothedF.data());
  for (int b = 0; b < kNumBands; ++b) {
    const BandView band = params.Band(b);
    if (s.bands[b].listenRamp != 0.0 || (band.Enabled() && band.Listen())) return true;
  }
  return false;
}

// The listen signal of frame `n`: each band's band-limited detector signal routed by its
// Channel, weighted by its listen ramp, summed in slot order and normalised by the sum of the
// ramps (when above 1).
void MixListen(EngineState& s, int n) noexcept {
  ChunkBuffers& c = s.chunk;
  const ParamView params(s.smoothedF.data());
  const LaneValues& d = s.detectors.detected;
  double left = 0, right = 0, sum = 0;
  for (int b = 0; b < kNumBands; ++b) {
    double routedL = d[LaneOf(b, 0)], routedR = d[LaneOf(b, 1)];
    switch (params.Band(b).Channel()) {
    case kLeft:
      routedR = 0;
      break;
    case kRight:
      routedL = 0;
      break;
    case kMid:
      routedR = routedL;
      break;
    case kSide:
      routedR = -routedL;
      break;
    default:
      break;
    }
    const double ramp = s.bands[b].listenRamp;
    left += ramp * routedL;
    right += ramp * routedR;
    sum += ramp;
  }
  const double norm = std::max(sum, 1.0);
  const bool listening = sum > 1e-6;
  c.listen[2 * n] = listening ? float(left / norm) : 0.0f;
  c.listen[2 * n + 1] = listening ? float(right / norm) : 0.0f;
  c.listenMix[2 * n] = c.listenMix[2 * n + 1] = std::clamp(sum, 0.0, 1.0);
}

void RunDetectorFrames(EngineState& s, const LaneKernels& kernels, int begin, int end,
                       bool dynamics) noexcept {
  if (begin >= end) return;
  const ChunkBuffers& c = s.chunk;
  DetectorRun run{};
  run.programme = c.programme.data();
  run.sidechain = c.sidechain.data();
  run.sidechainGain = c.sidechainGain.data();
  run.link = c.link.data();
  run.gainDelay = s.gainDelay.data();
  run.delayPosition = (s.writePos + begin) % kFixedLatency;
  run.delayRows = kFixedLatency;
  run.begin = begin, run.end = end;
  run.average = s.a10;
  run.dynamics = dynamics;
  kernels.runDetectors(s.detectors, run);
}

// --- The stages of Process, in order -------------------------------------------------------

// Sanitized input and sidechain samples of the chunk as pairs (a missing left channel is
// silent, a missing right one repeats the left, non-finite samples become 0), and the input
// peak (untrimmed).
template <typename Sample>
void ReadPairs(const float* const* channels, int frames, Sample* pairs) noexcept {
  const float* left = channels ? channels[0] : nullptr;
  const float* right = channels ? channels[1] : nullptr;
  for (int n = 0; n < frames; ++n) pairs[2 * n] = left ? FiniteOrZero(left[n]) : 0.0f;
  for (int n = 0; n < frames; ++n) pairs[2 * n + 1] = right ? FiniteOrZero(right[n]) : pairs[2 * n];
}

void ReadInputs(EngineState& s, const float* const* inputs, const float* const* sidechain,
                int frames) noexcept {
  ChunkBuffers& c = s.chunk;
  ReadPairs(inputs, frames, c.input.data());
  ReadPairs(sidechain, frames, c.sidechain.data());
  float peak = 0;
  for (int i = 0; i < 2 * frames; ++i) peak = std::max(peak, std::abs(c.input[i]));
  c.inputPeak = peak;
}

// The per-frame values of frames [from, to) from the smoothed parameters: the trimmed
// programme, the sidechain trim, the link factor, and the mix and output gain (as pairs, one
// value per channel).
void SetFrameValues(EngineState& s, int from, int to) noexcept {
  ChunkBuffers& c = s.chunk;
  const float* p = s.smoothedF.data();
  const double gIn = s.inputGain.Get(p[kInput]);
  const double gSc = s.sidechainGain.Get(p[kScTrim]);
  const double link = p[kStereoLink] * 0.01;
  const double mix = p[kMix] * 0.01;
  const double gOut = s.outputGain.Get(p[kOutput]);
  for (int i = 2 * from; i < 2 * to; ++i) {
    c.programme[i] = c.input[i] * gIn;
    c.mix[i] = mix;
    c.outputGain[i] = gOut;
  }
  for (int n = from; n < to; ++n) c.sidechainGain[n] = gSc, c.link[n] = link;
}

// The frame clock: parameter smoothing, trims and per-frame gains, the coefficient updates
// (every 16 frames), the frame-aligned band ramps, every band's detector and gain computer
// (in runs between updates, or frame by frame while listening or while a gain computer
// setting moves), and the listen signal. While no parameter moves and no ramp runs, it goes
// from update to update.
void RunFrameClock(EngineState& s, const LaneKernels& kernels, bool sidechainPresent,
                   int frames) noexcept {
  ChunkBuffers& c = s.chunk;
  c.updateCount = 0;
  c.externalInUse = false;
  Smooth(s); // frame 0
  // While no trim, link or mix moves, every frame of the chunk has the same per-frame values;
  // while nothing moves, the same parameters.
  bool constant = true;
  for (int k = 0; k < s.movingCount && constant; ++k)
    for (int global : {kInput, kScTrim, kStereoLink, kMix, kOutput})
      constant = constant && s.moving[k] != global;
  const bool still = s.movingCount == 0;
  // Discrete values (routing, Listen, Enabled) hold for the whole chunk from here on.
  const bool dynamics = ConfigureDetectors(s, sidechainPresent);
  const bool listening = Listening(s);
  const bool frameByFrame = listening || GainComputerMoving(s);
  if (constant) SetFrameValues(s, 0, frames);
  bool ramps = true;
  int detected = 0; // frames before this one have run through the detectors
  const int firstUpdate =
      int((kCoefficientInterval - s.updateCounter % kCoefficientInterval) % kCoefficientInterval);
  bool smoothedAhead = false; // this frame's smoothing was taken with the frames before it
  for (int n = 0; n < frames; ++n) {
    if (n > 0 && !still && !smoothedAhead) Smooth(s);
    smoothedAhead = false;
    if (!constant) SetFrameValues(s, n, n + 1);
    if ((n - firstUpdate) % kCoefficientInterval == 0 && n >= firstUpdate) {
      // The update reads the gains the detectors delayed up to the previous frame.
      RunDetectorFrames(s, kernels, detected, n, dynamics);
      detected = n;
      RecordUpdate(s, n);
      ramps = true;
    }
    if (ramps) ramps = AdvanceBandRamps(s);
    if (frameByFrame) {
      if (s.movingCount > 0) SetGainComputer(s);
      RunDetectorFrames(s, kernels, n, n + 1, dynamics);
      detected = n + 1;
      MixListen(s, n);
    }
    if (n == c.analysisFrame) c.curve.params = s.smoothedF;
    if (ramps || frameByFrame || !constant) continue;
    const int next = n < firstUpdate
                         ? firstUpdate
                         : n + kCoefficientInterval - (n - firstUpdate) % kCoefficientInterval;
    if (still) {
      // Nothing changes before the next update: go there.
      if (c.analysisFrame > n && c.analysisFrame < next) c.curve.params = s.smoothedF;
      n = std::min(next, frames) - 1;
    } else {
      // Only values that nothing reads between updates move (no trim, link, mix or gain
      // computer setting): smooth the frames up to and including the next update, or the
      // analysis frame, in one run.
      int until = std::min(next, frames);
      if (c.analysisFrame > n && c.analysisFrame < until) until = c.analysisFrame;
      smoothedAhead = until < frames;
      SmoothContinuous(s, until - n - (smoothedAhead ? 0 : 1));
      n = until - 1;
    }
  }
  RunDetectorFrames(s, kernels, detected, frames, dynamics);
  if (!listening) {
    std::fill(c.listen.begin(), c.listen.begin() + 2 * frames, 0.0f);
    std::fill(c.listenMix.begin(), c.listenMix.begin() + 2 * frames, 0.0);
  }
}

// The static minimum-phase chain, from the trimmed input to the static delay line's input.
void RunStaticChain(EngineState& s, const LaneKernels& kernels, int frames) noexcept {
  ChunkBuffers& c = s.chunk;
  s.staticChain.Run(kernels, s.Chains(), s.smoothedF.data(), c.updates.data(), c.updateCount,
                    c.programme.data(), c.chain.data(), frames, -1, nullptr);
}

// The aligned signals: dry (untrimmed input), static chain and listen, each written now and
// read kFixedLatency frames later.
void ExchangeDelays(EngineState& s, int frames) noexcept {
  ChunkBuffers& c = s.chunk;
  int pos = s.writePos;
  for (int n = 0; n < frames;) {
    const int count = std::min(frames - n, kFixedLatency - pos);
    const int from = 2 * n, at = 2 * pos, end = 2 * (n + count);
    for (int i = from, j = at; i < end; ++i, ++j) {
      c.dry[i] = s.dryDelay[j];
      s.dryDelay[j] = c.input[i];
      c.eq[i] = s.staticDelay[j];
      s.staticDelay[j] = FiniteOrZero(float(c.chain[i]));
      c.heard[i] = s.listenDelay[j];
      s.listenDelay[j] = c.listen[i];
    }
    n += count;
    pos = (pos + count) % kFixedLatency;
  }
}

// The linear-phase path and the phase blend: the FIR exchanges frames with its blocks, the
// 20 ms blend mixes it with the delayed static chain, and the kernel designer takes one step
// per frame (after the block step when a frame ends a block). Runs one FIR block at a time;
// while the blend rests at its target the block's frames are exchanged and blended together.
void RunPhasePath(EngineState& s, const LaneKernels& kernels, int frames) noexcept {
  ChunkBuffers& c = s.chunk;
  int q = s.firPos;
  for (int n = 0; n < frames;) {
    const int count = std::min(frames - n, kFirBlock - q);
    const double target = s.target[kPhase];
    if (s.phaseBlend == target) {
      if (s.phaseBlend != 0.0 && s.fir.OutputStale()) s.fir.EnsureOutput();
      s.fir.ExchangeBlock(q, count, c.programme.data() + 2 * n, c.firOut.data() + 2 * n);
      kernels.blendPhase(s.phaseBlend, c.firOut.data() + 2 * n, c.eq.data() + 2 * n,
                         c.wet.data() + 2 * n, 2 * count);
    } else {
      for (int i = n; i < n + count; ++i) {
        Ramp(s.phaseBlend, target, s.c20, 0.0002);
        // The FIR output is computed lazily while the phase blend does not hear it.
        if (s.phaseBlend != 0.0 && s.fir.OutputStale()) s.fir.EnsureOutput();
        s.fir.ExchangeBlock(q + i - n, 1, c.programme.data() + 2 * i, c.firOut.data() + 2 * i);
        kernels.blendPhase(s.phaseBlend, c.firOut.data() + 2 * i, c.eq.data() + 2 * i,
                           c.wet.data() + 2 * i, 2);
        if (i == c.analysisFrame) c.curve.phaseBlend = s.phaseBlend;
      }
    }
    if (c.analysisFrame >= n && c.analysisFrame < n + count) {
      if (s.phaseBlend == target) c.curve.phaseBlend = s.phaseBlend;
      c.curve.crossfadeProgress = s.fir.CrossfadeProgress(q + c.analysisFrame - n);
      c.curve.firSwaps = s.fir.SwapCount();
      c.curve.firActive = s.fir.ActiveSet();
    }
    n += count;
    q += count;
    if (q == kFirBlock) {
      q = 0;
      s.fir.DesignerSteps(count - 1);
      s.fir.BlockStep(s.phaseBlend != 0.0 || s.target[kPhase] != 0.0f);
      s.fir.DesignerSteps(1);
    } else {
      s.fir.DesignerSteps(count);
    }
  }
  s.firPos = q;
}

// The dynamic chain: each gain-type band's live dynamic filter, minimum phase, after either
// static path.
void RunDynamicChain(EngineState& s, const LaneKernels& kernels, int frames) noexcept {
  ChunkBuffers& c = s.chunk;
  s.dynamicChain.Run(kernels, s.Chains(), s.smoothedF.data(), c.updates.data(), c.updateCount,
                     c.wet.data(), c.wet.data(), frames, c.analysisFrame,
                     c.analysisFrame >= 0 ? c.curve.dynamic : nullptr);
}

// Mix, Delta, Listen, Output trim and Bypass per channel:
// m = (1 - mix) d + mix w; t = m (1 - delta) + (d - w) delta; u = t (1 - L) + l L;
// out = u gOut (1 - bypass) + d bypass. Writes the outputs (and keeps them as pairs for the
// analyzer) and returns the wet and output peaks through `wetPeak` and `outputPeak`.
void MixOutputs(EngineState& s, const LaneKernels& kernels, float* const* outputs, int frames,
                float& wetPeak, float& outputPeak) noexcept {
  ChunkBuffers& c = s.chunk;
  const double bypass = s.target[kBypass] > 0.5f ? 1.0 : 0.0;
  const double delta = s.target[kDelta];
  MixRun run{c.dry.data(),
             c.wet.data(),
             c.heard.data(),
             c.mix.data(),
             c.outputGain.data(),
             c.listenMix.data(),
             0,
             0,
             c.out.data(),
             0};
  if (s.bypassBlend == bypass && s.deltaBlend == delta) {
    // The ramps rest: every frame mixes alike.
    run.bypass = bypass, run.delta = delta, run.count = 2 * frames;
    kernels.mixOutputs(run);
  } else {
    for (int n = 0; n < frames; ++n) {
      Ramp(s.bypassBlend, bypass, s.c3, 1e-9);
      Ramp(s.deltaBlend, delta, s.c5, 1e-9);
      MixRun frame = run;
      for (const double** p : {&frame.wet, &frame.mix, &frame.gain, &frame.listenMix}) *p += 2 * n;
      frame.dry += 2 * n, frame.heard += 2 * n, frame.out += 2 * n;
      frame.bypass = s.bypassBlend, frame.delta = s.deltaBlend, frame.count = 2;
      kernels.mixOutputs(frame);
    }
  }
  for (int i = 0; i < 2 * frames; ++i) {
    wetPeak = std::max(wetPeak, float(std::abs(c.wet[i])));
    outputPeak = std::max(outputPeak, std::abs(c.out[i]));
  }
  for (int ch = 0; ch < 2; ++ch)
    if (outputs[ch])
      for (int n = 0; n < frames; ++n) outputs[ch][n] = c.out[2 * n + ch];
}

// The analyzer taps (aligned dry and final output), and every 1024 frames the analysis and
// the applied wet-EQ curves, as they stood at that frame.
void FeedAnalyzer(EngineState& s, int frames) noexcept {
  ChunkBuffers& c = s.chunk;
  for (int n = 0; n < frames;) {
    const int count = std::min(frames - n, kAnalyzerHop - s.analyzerCountdown);
    s.analyzer.WriteBlock(c.dry.data() + 2 * n, c.out.data() + 2 * n, count);
    n += count;
    s.analyzerCountdown += count;
    if (s.analyzerCountdown == kAnalyzerHop) {
      s.analyzerCountdown = 0;
      const ParamView target(s.target.data());
      s.analyzer.Analyze(target.AnalyzerOn(), target.AnalyzerSpeed());
      s.curves.Update(c.curve, s.fir, s.staticWetEq, s.currentWetEq);
    }
  }
}

// Band readouts as they stand after the chunk's last frame, then the chunk's peaks and flags.
void PublishReadouts(EngineState& s, const LaneKernels& kernels, float wetPeak, float outputPeak,
                     bool sidechainPresent) noexcept {
  const ParamView params(s.smoothedF.data());
  // The levels as the gain computers see them: 10 log10(max(ms, 1e-12)) dB.
  LaneValues meanSquare, levels;
  for (int lane = 0; lane < kLanes; ++lane)
    meanSquare[lane] = std::max(s.detectors.linked[lane], 1e-12);
  kernels.log10Values(meanSquare.v, levels.v, kLanes);
  for (int b = 0; b < kNumBands; ++b) {
    const int lane = LaneOf(b, params.Band(b).Channel() == kRight ? 1 : 0);
    s.detectorLevel[b].exchange(float(10.0 * levels[lane]), std::memory_order_relaxed);
    s.liveBandGain[b].exchange(float(ScaledGainDb(s.detectors.delayedGain[lane], params.Scale())),
                               std::memory_order_relaxed);
  }
  s.inputPeak.exchange(s.chunk.inputPeak);
  s.wetPeak.exchange(wetPeak);
  s.outputPeak.exchange(outputPeak);
  s.sidechainPresent.exchange(sidechainPresent ? 1 : 0);
  s.externalInUse.exchange(s.chunk.externalInUse ? 1 : 0);
}

} // namespace

void EqEngine::Prepare(double sampleRate) {
  EngineState& s = *state_;
  s.prepared = false;
  if (!std::isfinite(sampleRate)) sampleRate = 48000.0;
  s.sampleRate = std::clamp(sampleRate, 22050.0, 192000.0);
  const double sr = s.sampleRate;
  s.c20 = 1.0 - std::exp(-1.0 / (0.020 * sr));
  s.a10 = std::exp(-1.0 / (0.010 * sr));
  s.c5 = 1.0 - std::exp(-1.0 / (0.005 * sr));
  s.c3 = 1.0 - std::exp(-1.0 / (0.003 * sr));
  s.smoothingRemains[0] = 1.0;
  for (int n = 1; n <= kChunkFrames; ++n)
    s.smoothingRemains[n] = s.smoothingRemains[n - 1] * (1.0 - s.c20);
  for (int i = 0; i < kNumParams; ++i) s.discrete[i] = IsDiscreteParam(i) ? 1 : 0;

  for (StereoDelay* line : {&s.dryDelay, &s.staticDelay, &s.listenDelay})
    line->assign(std::size_t(2) * kFixedLatency, 0.0f);
  s.gainDelay.assign(std::size_t(kLanes) * kFixedLatency, 0.0f);
  ChunkBuffers& c = s.chunk;
  constexpr std::size_t kPairs = 2 * std::size_t(kChunkFrames);
  for (std::vector<float>* b : {&c.input, &c.listen, &c.dry, &c.eq, &c.heard, &c.firOut, &c.out})
    b->assign(kPairs, 0);
  for (std::vector<double>* b :
       {&c.programme, &c.sidechain, &c.chain, &c.wet, &c.mix, &c.outputGain, &c.listenMix})
    b->assign(kPairs, 0);
  for (std::vector<double>* b : {&c.sidechainGain, &c.link}) b->assign(kChunkFrames, 0);

  const double top = std::min(0.49 * sr, 20000.0);
  for (int k = 0; k < kDisplayPoints; ++k)
    s.displayGrid[k] = float(20.0 * std::pow(top / 20.0, k / 255.0));
  s.analyzer.Prepare(sr, s.displayGrid.data());

  for (int i = 0; i < kNumParams; ++i) {
    s.smoothed[i] = s.target[i];
    s.smoothedF[i] = s.target[i];
  }
  s.movingCount = 0;
  ++s.settledStamp;
  s.discretePending = false;
  s.fir.Prepare(sr, s.displayGrid.data(), s.target.data());

  for (BandRuntime& band : s.bands) band = BandRuntime{}; // designs depend on the rate
  s.staticChain.ForgetDesigns();
  s.dynamicChain.ForgetDesigns();
  s.curves.Prepare(sr, s.displayGrid.data()); // and so do the display grid and curves

  UpdateCoefficientsNow(s);
  s.prepared = true;
  s.publishedSampleRate.exchange(sr);
  ResetRuntime();
}

void EqEngine::ResetRuntime() noexcept {
  EngineState& s = *state_;
  s.fir.ResetRuntime();
  s.firstBlockDone = false;
  for (int i = 0; i < kNumParams; ++i) {
    s.smoothed[i] = s.target[i];
    s.smoothedF[i] = s.target[i];
  }
  s.movingCount = 0;
  ++s.settledStamp;
  s.discretePending = false;

  DetectorLanes& d = s.detectors;
  for (LaneValues* v :
       {&d.state.s1, &d.state.s2, &d.envelope, &d.gain, &d.delayedGain, &d.linked, &d.detected})
    v->Fill(0.0);
  d.quietRows = kFixedLatency; // the gain delay is zeroed below
  UpdateCoefficientsNow(s);
  s.staticChain.ResetRuntime(s.smoothedF.data());
  s.dynamicChain.ResetRuntime(s.smoothedF.data());

  const ParamView params(s.smoothedF.data());
  for (int b = 0; b < kNumBands; ++b) {
    BandRuntime& band = s.bands[b];
    band.fadeWeight = 0;
    band.fadeDelay = 0;
    band.previousDynamicType = band.type;
    band.listenRamp = params.Band(b).Enabled() && params.Band(b).Listen() ? 1.0 : 0.0;
    s.detectorLevel[b].exchange(-120.0f);
    s.liveBandGain[b].exchange(0.0f);
  }
  for (StereoDelay* line : {&s.dryDelay, &s.staticDelay, &s.listenDelay})
    std::fill(line->begin(), line->end(), 0.0f);
  std::fill(s.gainDelay.begin(), s.gainDelay.end(), 0.0f);
  s.writePos = 0;
  s.updateCounter = 0;
  s.firPos = 0;
  s.analyzerCountdown = 0;
  s.analyzer.Reset();
  s.phaseBlend = s.target[kPhase];
  s.bypassBlend = s.target[kBypass];
  s.deltaBlend = s.target[kDelta];
  s.inputPeak.exchange(0.0f);
  s.wetPeak.exchange(0.0f);
  s.outputPeak.exchange(0.0f);
}

void EqEngine::Process(const float* const* inputs, float* const* outputs, int frames,
                       const float* const* sidechain, bool sidechainPresent) noexcept {
  if (!outputs) return;
  const ScopedFlushDenormals noDenormals;
  EngineState& s = *state_;
  if (!s.prepared) {
    for (int ch = 0; ch < 2; ++ch)
      if (outputs[ch]) std::fill(outputs[ch], outputs[ch] + frames, 0.0f);
    return;
  }
  if (!s.firstBlockDone) {
    s.bypassBlend = s.target[kBypass] > 0.5f ? 1.0 : 0.0;
    s.firstBlockDone = true;
  }
  const LaneKernels& kernels = ActiveKernels();
  const int untilAnalysis = kAnalyzerHop - 1 - s.analyzerCountdown;
  s.chunk.analysisFrame = untilAnalysis < frames ? untilAnalysis : -1;

  float wetPeak = 0, outputPeak = 0;
  ReadInputs(s, inputs, sidechain, frames);
  RunFrameClock(s, kernels, sidechainPresent, frames);
  RunStaticChain(s, kernels, frames);
  ExchangeDelays(s, frames);
  RunPhasePath(s, kernels, frames);
  RunDynamicChain(s, kernels, frames);
  MixOutputs(s, kernels, outputs, frames, wetPeak, outputPeak);
  FeedAnalyzer(s, frames);
  PublishReadouts(s, kernels, wetPeak, outputPeak, sidechainPresent);

  s.writePos = (s.writePos + frames) % kFixedLatency;
  s.updateCounter += std::uint32_t(frames);
}

EngineReadout EqEngine::GetReadout() const noexcept {
  const EngineState& s = *state_;
  return {s.inputPeak.load(), s.wetPeak.load(), s.outputPeak.load(), s.sidechainPresent.load(),
          s.externalInUse.load()};
}

void EqEngine::GetDisplaySnapshot(DisplaySnapshot& out) const noexcept {
  const EngineState& s = *state_;
  s.analyzer.CopyInput(out.inputSpectrum);
  s.analyzer.CopyOutput(out.outputSpectrum);
  for (int i = 0; i < kDisplayPoints; ++i) {
    out.staticWetEq[i] = s.staticWetEq[i].load(std::memory_order_relaxed);
    out.currentWetEq[i] = s.currentWetEq[i].load(std::memory_order_relaxed);
  }
  for (int b = 0; b < kNumBands; ++b) {
    out.liveBandGain[b] = s.liveBandGain[b].load(std::memory_order_relaxed);
    out.detectorLevel[b] = s.detectorLevel[b].load(std::memory_order_relaxed);
  }
  out.sidechainPresent = s.sidechainPresent.load();
  out.externalInUse = s.externalInUse.load();
  out.sampleRate = s.publishedSampleRate.load();
}

} // namespace coral
