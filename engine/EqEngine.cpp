#include "engine/EqEngine.h"

#include <algorithm>
#include <cmath>

#include "engine/Denormals.h"
#include "engine/EngineState.h"
#include "engine/ResponseCurves.h"

namespace coral {

namespace {

constexpr int kCoefficientInterval = 16;

// Rounds halfway cases away from zero, as std::round does.
float RoundDiscrete(float v) {
  return std::round(v);
}

// Mean-square detector level in dB, floored at -120 dB.
double DetectorLevelDb(double meanSquare) {
  return 10.0 * std::log10(std::max(meanSquare, 1e-12));
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

// Reads the frame's sample of one channel of a possibly missing pair: a missing left is 0,
// a missing right repeats the left; non-finite samples become 0.
void ReadPair(const float* const* pair, int n, float& left, float& right) {
  const float* l = pair ? pair[0] : nullptr;
  const float* r = pair ? pair[1] : nullptr;
  left = l ? FiniteOrZero(l[n]) : 0.0f;
  right = r ? FiniteOrZero(r[n]) : left;
}

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
  s.smoothing = true;
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

// True when both cascades pass their input unchanged and all their states are zero: until
// the next coefficient update such a pair leaves every finite sample as it is (plus 0).
bool Resting(const BandFilterPair& pair) noexcept {
  for (const BiquadCascade& c : pair.cascade) {
    if (!c.identity) return false;
    for (int i = 0; i < c.count; ++i)
      if (c.sections[i].s1 != 0.0 || c.sections[i].s2 != 0.0) return false;
  }
  return true;
}

// Every 16 frames (and once in Prepare and ResetRuntime): redesigns the static, dynamic and
// detector sets of every band from the smoothed parameters. A change of Type, Channel or
// Slope while prepared moves the running sets to the previous copies and starts a 5 ms
// structural crossfade, unless `recordOnly` is set.
void UpdateCoefficients(EngineState& s, bool recordOnly) noexcept {
  const double sr = s.sampleRate;
  const double scale = s.smoothedF[kScale];
  for (int b = 0; b < kNumBands; ++b) {
    const float* p = s.Band(b);
    BandRuntime& band = s.bands[b];
    const int type = int(p[kType]);
    const int channel = int(p[kChannel]);
    const int slope = int(p[kSlope]);
    if (s.prepared && !recordOnly &&
        (type != band.type || channel != band.channel || slope != band.slope)) {
      s.previousStatic[b] = s.staticSet[b];
      band.previousChannel = band.channel;
      // The dynamic stage that was running: the band's own, or one still fading out.
      const bool fading = band.fadeWeight > 0;
      s.previousDynamic[b] = fading ? s.fadingDynamic[b] : s.dynamicSet[b];
      band.previousDynamicType = fading ? band.fadingType : band.type;
      band.previousDynamicChannel = fading ? band.fadingChannel : band.channel;
      if (HasDynamicStage(band.type) && !HasDynamicStage(type)) {
        s.fadingDynamic[b] = s.dynamicSet[b];
        band.fadingType = band.type;
        band.fadingChannel = band.channel;
        band.fadeDelay = kFixedLatency;
        band.fadeWeight = 1.0f;
      } else if (HasDynamicStage(type)) {
        band.fadeWeight = 0; // the new stage takes over by the structural crossfade
      }
      band.crossfadeWeight = 1.0f;
      s.staticSet[b].ClearState();
      s.dynamicSet[b].ClearState();
    }
    band.type = type, band.channel = channel, band.slope = slope;

    BandDetector& det = s.detectors[b];
    if (band.ballisticInputs.Changed({p[kAttack], p[kRelease], 0, 0, 0})) {
      det.attackCoef = BallisticCoefficient(p[kAttack], sr);
      det.releaseCoef = BallisticCoefficient(p[kRelease], sr);
    }

    const double gain = double(p[kGain]) * scale * 0.01;
    if (band.staticInputs.Changed({double(type), p[kFrequency], gain, p[kQ], double(slope)})) {
      BiquadCascade(&st)[2] = s.staticSet[b].cascade;
      DesignBandCascade(st[0], type, p[kFrequency], gain, p[kQ], slope, sr);
      CopyCoefficients(st[0], st[1]);
    }

    if (HasDynamicStage(type)) {
      BiquadCascade(&dyn)[2] = s.dynamicSet[b].cascade;
      for (int c = 0; c < 2; ++c) {
        const double g = scale * double(det.delayedGain[c]) * 0.01;
        if (!band.dynamicInputs[c].Changed({double(type), p[kFrequency], g, p[kQ], 0})) continue;
        // Linked channels usually carry the same gain: equal inputs, equal coefficients.
        if (c == 1 && band.dynamicInputs[1].values == band.dynamicInputs[0].values)
          CopyCoefficients(dyn[0], dyn[1]);
        else
          DesignBandCascade(dyn[c], type, p[kFrequency], g, p[kQ], 0, sr);
      }
    }

    if (band.fadeWeight > 0) {
      for (int c = 0; c < 2; ++c) {
        const double g = scale * double(det.delayedGain[c]) * 0.01;
        DesignBandCascade(s.fadingDynamic[b].cascade[c], band.fadingType, p[kFrequency], g, p[kQ],
                          0, sr);
      }
    }

    const bool plainChannel = channel != kMid && channel != kSide;
    band.staticResting = plainChannel && Resting(s.staticSet[b]);
    band.dynamicResting = plainChannel && Resting(s.dynamicSet[b]);

    if (!band.detectorInputs.Changed({p[kFrequency], p[kQ], 0, 0, 0})) continue;
    const BiquadCoefficients bp = DesignSection(kBandPass, p[kFrequency], 0.0, p[kQ], sr);
    for (auto& cascade : s.detectorSet[b].cascade) {
      cascade.count = 1;
      cascade.sections[0].SetCoefficients(bp);
    }
  }
}

void Smooth(EngineState& s) noexcept {
  if (!s.smoothing) return;
  bool moving = false;
  for (int i = 0; i < kNumParams; ++i) {
    const double target = s.target[i];
    double v = s.smoothed[i];
    if (s.discrete[i]) {
      v = target;
    } else if (v != target) {
      v += (target - v) * s.c20;
      if (std::abs(target - v) <= std::max(std::abs(target), 1.0) * 1e-10) v = target;
      moving |= v != target;
    }
    s.smoothed[i] = v;
    s.smoothedF[i] = float(v);
  }
  s.smoothing = moving;
}

// Result of the detector side of one frame.
struct DetectorFrame {
  double listenL = 0, listenR = 0; // sum of listen ramp x routed detector signal
  double listenSum = 0;            // sum of listen ramps
  bool externalInUse = false;
};

// Step 5 of the frame for every band: source selection, ramps, band-limited detector,
// envelopes, stereo link, gain computer, ballistics, gain delay and listen.
DetectorFrame RunDetectors(EngineState& s, double xL, double xR, double scL, double scR,
                           bool sidechainPresent, double gSc) noexcept {
  DetectorFrame out;
  const double crossfadeStep = 1.0 / (0.005 * s.sampleRate);
  const double link = s.smoothedF[kStereoLink] * 0.01;
  const int p = s.writePos;
  for (int b = 0; b < kNumBands; ++b) {
    const float* bp = s.Band(b);
    BandRuntime& band = s.bands[b];
    BandDetector& det = s.detectors[b];
    const bool enabled = bp[kEnabled] > 0.5f;

    double src[2] = {xL, xR};
    if (enabled && bp[kDetector] > 0.5f && sidechainPresent) {
      src[0] = scL, src[1] = scR;
      out.externalInUse = true;
    }
    src[0] *= gSc, src[1] *= gSc;

    if (band.crossfadeWeight > 0)
      band.crossfadeWeight = float(std::max(double(band.crossfadeWeight) - crossfadeStep, 0.0));
    if (band.fadeDelay > 0)
      --band.fadeDelay;
    else if (band.fadeWeight > 0)
      band.fadeWeight = float(std::max(double(band.fadeWeight) - crossfadeStep, 0.0));
    const double e = enabled ? 1.0 : 0.0;
    Ramp(band.enableRamp, e, s.c5, 1e-9);
    Ramp(band.listenRamp, e * (bp[kListen] > 0.5f ? 1.0 : 0.0), s.c5, 1e-9);

    const int channel = int(bp[kChannel]);
    if (channel == kMid) src[0] = src[1] = (src[0] + src[1]) / 2;
    if (channel == kSide) src[0] = src[1] = (src[0] - src[1]) / 2;

    double d[2];
    for (int c = 0; c < 2; ++c) {
      d[c] = RunCascade(s.detectorSet[b].cascade[c], src[c]);
      det.envelope[c] = s.a10 * det.envelope[c] + (1 - s.a10) * d[c] * d[c];
    }
    const double loudest = std::max(det.envelope[0], det.envelope[1]);
    const bool active = enabled && bp[kDynamic] > 0.5f && HasDynamicStage(int(bp[kType]));
    band.readoutChannel = channel == kRight ? 1 : 0;
    double linked[2], target[2] = {0.0, 0.0};
    for (int c = 0; c < 2; ++c) linked[c] = (1 - link) * det.envelope[c] + link * loudest;
    band.readoutEnvelope = linked[band.readoutChannel];
    if (active) {
      // Fully linked channels see the same level, and so the same target.
      target[0] = DynamicTargetGain(DetectorLevelDb(linked[0]), bp);
      target[1] =
          linked[1] == linked[0] ? target[0] : DynamicTargetGain(DetectorLevelDb(linked[1]), bp);
    }
    for (int c = 0; c < 2; ++c) {
      // An inactive band asks for 0 dB whatever its level: its level is only needed for the
      // readout, and a gain already at 0 dB stays there.
      if (active || det.gain[c] != 0.0) det.Follow(c, target[c]);
      float& slot = s.GainDelayFrame(p)[b * 2 + c];
      det.delayedGain[c] = slot;
      slot = float(det.gain[c]);
    }

    double routedL = d[0], routedR = d[1];
    switch (channel) {
    case kLeft:
      routedR = 0;
      break;
    case kRight:
      routedL = 0;
      break;
    case kMid:
      routedR = d[0];
      break;
    case kSide:
      routedR = -d[0];
      break;
    default:
      break;
    }
    out.listenL += band.listenRamp * routedL;
    out.listenR += band.listenRamp * routedR;
    out.listenSum += band.listenRamp;
  }
  return out;
}

// Runs `current` (and, while the band's structural crossfade runs, `previous`) on the stereo
// sample and blends the band's output with its input by the enable ramp. `resting`: the
// current pair is Resting and the band is neither crossfading nor in Mid/Side mode, so the
// stage computes l + 0 and r + 0, as the full computation would.
inline void ApplyBandStage(BandFilterPair& current, BandFilterPair* previous, int previousChannel,
                           const BandRuntime& band, bool resting, double& l, double& r) noexcept {
  if (resting && !previous && std::isfinite(l) && std::isfinite(r)) {
    l += 0.0;
    r += 0.0;
    return;
  }
  double yL = l, yR = r;
  ApplyBand(current, band.channel, yL, yR);
  if (previous) {
    const double w = band.crossfadeWeight;
    double pL = l, pR = r;
    ApplyBand(*previous, previousChannel, pL, pR);
    yL = (1 - w) * yL + w * pL;
    yR = (1 - w) * yR + w * pR;
  }
  l += band.enableRamp * (yL - l);
  r += band.enableRamp * (yR - r);
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
  for (int i = 0; i < kNumParams; ++i) s.discrete[i] = IsDiscreteParam(i) ? 1 : 0;

  s.delays.assign(std::size_t(kDelayLines) * kFixedLatency, 0.0f);
  s.gainDelay.assign(std::size_t(kNumBands) * 2 * kFixedLatency, 0.0f);

  const double top = std::min(0.49 * sr, 20000.0);
  for (int k = 0; k < kDisplayPoints; ++k)
    s.displayGrid[k] = float(20.0 * std::pow(top / 20.0, k / 255.0));
  s.analyzer.Prepare(sr, s.displayGrid.data());

  for (int i = 0; i < kNumParams; ++i) {
    s.smoothed[i] = s.target[i];
    s.smoothedF[i] = s.target[i];
  }
  s.fir.Prepare(sr, s.displayGrid.data(), s.target.data());

  for (BandRuntime& band : s.bands) band = BandRuntime{}; // designs depend on the rate
  s.curveInputs.valid = false;                            // and so does the display grid

  UpdateCoefficients(s, false);
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
  s.smoothing = false;
  UpdateCoefficients(s, true);
  for (int b = 0; b < kNumBands; ++b) {
    for (auto* set : {&s.staticSet, &s.dynamicSet, &s.detectorSet, &s.previousStatic,
                      &s.previousDynamic, &s.fadingDynamic})
      (*set)[b].ClearState();
    BandDetector& det = s.detectors[b];
    det.envelope[0] = det.envelope[1] = 0;
    det.gain[0] = det.gain[1] = 0;
    det.delayedGain[0] = det.delayedGain[1] = 0;
    BandRuntime& band = s.bands[b];
    const float* p = s.Band(b);
    band.crossfadeWeight = 0;
    band.fadeWeight = 0;
    band.fadeDelay = 0;
    band.enableRamp = p[kEnabled] > 0.5f ? 1.0 : 0.0;
    band.listenRamp = band.enableRamp * (p[kListen] > 0.5f ? 1.0 : 0.0);
    s.detectorLevel[b].exchange(-120.0f);
    s.liveBandGain[b].exchange(0.0f);
  }
  std::fill(s.delays.begin(), s.delays.end(), 0.0f);
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
  float* outPtr[2] = {outputs[0], outputs[1]};
  if (!s.prepared) {
    for (float* o : outPtr)
      if (o) std::fill(o, o + frames, 0.0f);
    return;
  }
  if (!s.firstBlockDone) {
    s.bypassBlend = s.target[kBypass] > 0.5f ? 1.0 : 0.0;
    s.firstBlockDone = true;
  }

  float inputPeak = 0, wetPeak = 0, outputPeak = 0;
  bool externalInUse = false;
  const float* p = s.smoothedF.data();

  for (int n = 0; n < frames; ++n) {
    Smooth(s);

    float inL, inR, scL, scR;
    ReadPair(inputs, n, inL, inR);
    ReadPair(sidechain, n, scL, scR);

    const double gIn = s.inputGain.Get(p[kInput]);
    const double gSc = s.sidechainGain.Get(p[kScTrim]);
    const double xL = inL * gIn, xR = inR * gIn;
    inputPeak = std::max({inputPeak, std::abs(inL), std::abs(inR)});

    if (s.updateCounter % kCoefficientInterval == 0) UpdateCoefficients(s, false);
    ++s.updateCounter;

    const DetectorFrame det = RunDetectors(s, xL, xR, scL, scR, sidechainPresent, gSc);
    externalInUse |= det.externalInUse;

    // Static minimum-phase chain.
    double cL = xL, cR = xR;
    for (int b = 0; b < kNumBands; ++b) {
      BandRuntime& band = s.bands[b];
      ApplyBandStage(s.staticSet[b], band.crossfadeWeight > 0 ? &s.previousStatic[b] : nullptr,
                     band.previousChannel, band, band.staticResting, cL, cR);
    }

    // Aligned dry, static chain and listen signals, each delayed by kFixedLatency.
    const int pos = s.writePos;
    const double listenNorm = std::max(det.listenSum, 1.0);
    const bool listening = det.listenSum > 1e-6;
    const float written[kDelayLines] = {
        inL,
        inR,
        FiniteOrZero(float(cL)),
        FiniteOrZero(float(cR)),
        listening ? float(det.listenL / listenNorm) : 0.0f,
        listening ? float(det.listenR / listenNorm) : 0.0f,
    };
    float delayed[kDelayLines];
    float* frame = s.DelayFrame(pos);
    for (int line = 0; line < kDelayLines; ++line) {
      delayed[line] = frame[line];
      frame[line] = written[line];
    }

    Ramp(s.phaseBlend, s.target[kPhase], s.c20, 0.0002);

    // The FIR output is computed lazily while the phase blend does not hear it.
    if (s.phaseBlend != 0.0 && s.fir.OutputStale()) s.fir.EnsureOutput();
    float firL, firR;
    s.fir.Exchange(s.firPos, FiniteOrZero(float(xL)), FiniteOrZero(float(xR)), firL, firR);

    const double phi = s.phaseBlend;
    double wL = phi * firL + (1 - phi) * delayed[kStaticL];
    double wR = phi * firR + (1 - phi) * delayed[kStaticR];

    // Dynamic chain: minimum phase after either static path.
    for (int b = 0; b < kNumBands; ++b) {
      BandRuntime& band = s.bands[b];
      if (HasDynamicStage(band.type)) {
        const bool fade = band.crossfadeWeight > 0 && HasDynamicStage(band.previousDynamicType);
        ApplyBandStage(s.dynamicSet[b], fade ? &s.previousDynamic[b] : nullptr,
                       band.previousDynamicChannel, band, band.dynamicResting, wL, wR);
      } else if (band.fadeWeight > 0) {
        // The stage left behind by a change to a Type without one, faded towards no stage.
        double yL = wL, yR = wR;
        ApplyBand(s.fadingDynamic[b], band.fadingChannel, yL, yR);
        const double w = band.fadeWeight;
        yL = (1 - w) * wL + w * yL;
        yR = (1 - w) * wR + w * yR;
        wL += band.enableRamp * (yL - wL);
        wR += band.enableRamp * (yR - wR);
      }
    }

    const double mix = p[kMix] * 0.01;
    const double gOut = s.outputGain.Get(p[kOutput]);
    Ramp(s.bypassBlend, s.target[kBypass] > 0.5f ? 1.0 : 0.0, s.c3, 1e-9);
    Ramp(s.deltaBlend, s.target[kDelta], s.c5, 1e-9);
    const double listenMix = std::clamp(det.listenSum, 0.0, 1.0);
    const double beta = s.bypassBlend, delta = s.deltaBlend;

    wetPeak = std::max({wetPeak, float(std::abs(wL)), float(std::abs(wR))});

    const double dry[2] = {delayed[kDryL], delayed[kDryR]};
    const double wet[2] = {wL, wR};
    const double listen[2] = {delayed[kListenL], delayed[kListenR]};
    float out[2];
    for (int c = 0; c < 2; ++c) {
      const double m = (1 - mix) * dry[c] + mix * wet[c];
      const double t = m * (1 - delta) + (dry[c] - wet[c]) * delta;
      const double u = t * (1 - listenMix) + listen[c] * listenMix;
      out[c] = FiniteOrZero(float(u * gOut * (1 - beta) + dry[c] * beta));
      if (outPtr[c]) outPtr[c][n] = out[c];
    }
    outputPeak = std::max({outputPeak, std::abs(out[0]), std::abs(out[1])});

    s.analyzer.Write(delayed[kDryL], delayed[kDryR], out[0], out[1]);
    if (++s.analyzerCountdown == kAnalyzerHop) {
      s.analyzerCountdown = 0;
      s.analyzer.Analyze(s.target[kAnalyzer] >= 0.5f, int(s.target[kAnalyzerSpeed]));
      UpdateWetEqCurves(s);
    }

    s.writePos = pos + 1 == kFixedLatency ? 0 : pos + 1;
    if (++s.firPos == kFirBlock) {
      s.firPos = 0;
      s.fir.BlockStep(s.phaseBlend != 0.0 || s.target[kPhase] != 0.0f);
    }
    s.fir.DesignerStep();
  }

  // Band readouts as they stand after the chunk's last frame.
  for (int b = 0; b < kNumBands; ++b) {
    const BandRuntime& band = s.bands[b];
    s.detectorLevel[b].exchange(float(DetectorLevelDb(band.readoutEnvelope)),
                                std::memory_order_relaxed);
    s.liveBandGain[b].exchange(
        float(double(p[kScale]) * s.detectors[b].delayedGain[band.readoutChannel] * 0.01),
        std::memory_order_relaxed);
  }
  s.inputPeak.exchange(inputPeak);
  s.wetPeak.exchange(wetPeak);
  s.outputPeak.exchange(outputPeak);
  s.sidechainPresent.exchange(sidechainPresent ? 1 : 0);
  s.externalInUse.exchange(externalInUse ? 1 : 0);
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
