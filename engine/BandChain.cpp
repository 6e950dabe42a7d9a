#include "engine/BandChain.h"

#include <algorithm>

#include "engine/BandDynamics.h"
#include "engine/ParamView.h"

namespace coral {

void CascadeLanes::SetCascade(int lane, const BiquadCascade& cascade) noexcept {
  for (int k = 0; k < cascade.count; ++k) {
    const BiquadCoefficients& s = cascade.sections[k];
    SectionLanes& c = coefficients[k];
    c.b0[lane] = s.b0, c.b1[lane] = s.b1, c.b2[lane] = s.b2, c.a1[lane] = s.a1, c.a2[lane] = s.a2;
  }
  count[lane] = cascade.count;
}

void PairLanes::SetRouting(int band, int channel) noexcept {
  filtered[LaneOf(band, 0)] = channel == kStereo || channel == kLeft || channel == kMid;
  filtered[LaneOf(band, 1)] = channel == kStereo || channel == kRight || channel == kSide;
  midSide.SetBand(band, channel == kMid || channel == kSide);
}

void PairLanes::ClearStates(int band) noexcept {
  for (StateLanes& s : states) s.s1.SetBand(band, 0.0), s.s2.SetBand(band, 0.0);
}

void PairLanes::CopyBand(const PairLanes& from, int band) noexcept {
  CopyCoefficients(from, band);
  for (int lane = LaneOf(band, 0); lane <= LaneOf(band, 1); ++lane) {
    for (int k = 0; k < kMaxSections; ++k) {
      states[k].s1[lane] = from.states[k].s1[lane];
      states[k].s2[lane] = from.states[k].s2[lane];
    }
    for (LaneValues PairLanes::*field :
         {&PairLanes::filtered, &PairLanes::midSide, &PairLanes::present})
      (this->*field)[lane] = (from.*field)[lane];
  }
}

bool PairLanes::CopyCoefficients(const CascadeLanes& from, int band) noexcept {
  bool countChanges = false;
  for (int lane = LaneOf(band, 0); lane <= LaneOf(band, 1); ++lane) {
    for (int k = 0; k < int(from.count[lane]); ++k) {
      const SectionLanes& f = from.coefficients[k];
      SectionLanes& t = coefficients[k];
      t.b0[lane] = f.b0[lane], t.b1[lane] = f.b1[lane], t.b2[lane] = f.b2[lane];
      t.a1[lane] = f.a1[lane], t.a2[lane] = f.a2[lane];
    }
    countChanges = countChanges || count[lane] != from.count[lane];
    count[lane] = from.count[lane];
  }
  return countChanges;
}

void BandChain::ForgetDesigns() noexcept {
  for (auto& band : inputs_)
    for (DesignInputs& channel : band) channel.valid = false;
  for (BandAngle& angle : angles_) angle.valid = false;
  designedValid_ = false;
}

const SectionAngle& BandChain::AngleOf(int band, double frequency, double sampleRate) noexcept {
  BandAngle& kept = angles_[band];
  if (!kept.valid || kept.frequency != frequency) {
    kept.angle = SectionAngleOf(frequency, sampleRate);
    kept.frequency = frequency;
    kept.valid = true;
  }
  return kept.angle;
}

namespace {

bool AnyLane(const LaneValues& values, bool (*test)(double)) {
  for (double v : values.v)
    if (test(v)) return true;
  return false;
}

} // namespace

bool BandChain::Design(const ChainContext& context, const UpdatePoint& update, int slot) noexcept {
  CoefficientSwitch& to = lanes_.switches[slot];
  bool fading = false;
  for (bool f : update.fading) fading = fading || f;
  // The bands whose design inputs may have changed since the last update: those whose
  // parameters the design reads changed, and for the dynamic chain those whose delayed gains
  // changed or whose stage fades out.
  const std::uint32_t changed =
      kind_ == Kind::kStatic ? update.changedBands : update.changedDynamicBands;
  if (designedValid_ && changed == 0 && !fading &&
      (kind_ == Kind::kStatic || update.delayedGain == designedGains_))
    return false;
  std::uint32_t examine = designedValid_ ? changed : kAllBands;
  if (kind_ == Kind::kDynamic) {
    for (int b = 0; b < kNumBands; ++b) {
      const int left = LaneOf(b, 0), right = LaneOf(b, 1);
      if (update.fading[b] || update.delayedGain[left] != designedGains_[left] ||
          update.delayedGain[right] != designedGains_[right])
        examine |= 1u << b;
    }
  }
  designedValid_ = true;
  if (kind_ == Kind::kDynamic) designedGains_ = update.delayedGain;
  to.current.fill(false);
  to.previous.fill(false);
  to.mostSections = to.mostPreviousSections = 0;
  auto setPending = [&to](int lane, const BiquadCascade& cascade) {
    to.pending.SetCascade(lane, cascade);
    to.mostSections = std::max(to.mostSections, int(cascade.count));
  };
  bool switches = false;
  const ParamView params(update.params);
  const double scale = params.Scale();
  for (int b = 0; b < kNumBands; ++b) {
    if (!(examine >> b & 1u)) continue;
    const BandView band = params.Band(b);
    const int type = band.Type();
    if (kind_ == Kind::kStatic) {
      const double gain = params.StaticGainDb(b);
      if (inputs_[b][0].Changed(
              {double(type), band.Frequency(), gain, band.Q(), double(band.Slope())})) {
        DesignBandCascade(designed_[b][0], type, AngleOf(b, band.Frequency(), context.sampleRate),
                          gain, band.Q(), band.Slope());
        designed_[b][1] = designed_[b][0];
        setPending(LaneOf(b, 0), designed_[b][0]);
        setPending(LaneOf(b, 1), designed_[b][0]);
        to.current[b] = true;
        switches = true;
      }
      continue;
    }
    if (HasDynamicStage(type)) {
      for (int c = 0; c < 2; ++c) {
        const double g = ScaledGainDb(update.delayedGain[LaneOf(b, c)], scale);
        if (!inputs_[b][c].Changed({double(type), band.Frequency(), g, band.Q(), 0})) continue;
        // Linked channels usually carry the same gain: equal inputs, equal coefficients.
        if (c == 1 && inputs_[b][1].values == inputs_[b][0].values)
          designed_[b][1] = designed_[b][0];
        else
          DesignBandCascade(designed_[b][c], type, AngleOf(b, band.Frequency(), context.sampleRate),
                            g, band.Q(), 0);
        setPending(LaneOf(b, c), designed_[b][c]);
        to.current[b] = true;
      }
      // A band switching gets both lanes from `pending`: bring the unchanged one up to date.
      if (to.current[b])
        for (int c = 0; c < 2; ++c) setPending(LaneOf(b, c), designed_[b][c]);
    }
    if (update.fading[b]) {
      // The stage left behind by a change to a Type without one keeps following the delayed
      // gains until it has faded out.
      for (int c = 0; c < 2; ++c) {
        const double g = ScaledGainDb(update.delayedGain[LaneOf(b, c)], scale);
        DesignBandCascade(designedPrevious_[b][c], update.fadingType[b],
                          AngleOf(b, band.Frequency(), context.sampleRate), g, band.Q(), 0);
        to.pendingPrevious.SetCascade(LaneOf(b, c), designedPrevious_[b][c]);
        to.mostPreviousSections =
            std::max(to.mostPreviousSections, int(designedPrevious_[b][c].count));
      }
      to.previous[b] = true;
    }
    switches = switches || to.current[b] || to.previous[b];
  }
  return switches;
}

void BandChain::DesignNow(const ChainContext& context, const float* params,
                          const double* delayedGain, const int* types,
                          const int* channels) noexcept {
  UpdatePoint update;
  update.params = params;
  std::copy(delayedGain, delayedGain + kLanes, update.delayedGain.begin());
  designedValid_ = false;
  Design(context, update, 0);
  for (int b = 0; b < kNumBands; ++b) {
    PairLanes& current = lanes_.current;
    for (int c = 0; c < 2; ++c) current.SetCascade(LaneOf(b, c), designed_[b][c]);
    current.SetRouting(b, channels[b]);
    current.present.SetBand(b, kind_ == Kind::kStatic || HasDynamicStage(types[b]));
    lanes_.previousUsed.SetBand(b, kind_ == Kind::kStatic);
  }
  for (CoefficientSwitch& pending : lanes_.switches) {
    pending.current.fill(false), pending.previous.fill(false);
    pending.frame = -kNumBands;
  }
}

void BandChain::ResetRuntime(const float* params) noexcept {
  const ParamView view(params);
  for (int b = 0; b < kNumBands; ++b) {
    lanes_.current.ClearStates(b);
    lanes_.previous.ClearStates(b);
    lanes_.enable.SetBand(b, view.Band(b).Enabled() ? 1.0 : 0.0);
  }
  lanes_.weight.Fill(0.0);
  lanes_.fadeDelay.Fill(0.0);
  lanes_.pipeline.Fill(0.0);
}

void BandChain::ApplyChange(int band, const BandChange& change) noexcept {
  PairLanes& current = lanes_.current;
  if (kind_ == Kind::kStatic || !change.keepPrevious) lanes_.previous.CopyBand(current, band);
  current.ClearStates(band);
  current.SetRouting(band, change.channel);
  if (kind_ == Kind::kStatic) {
    lanes_.weight.SetBand(band, 1.0);
    lanes_.fadeDelay.SetBand(band, 0.0);
    return;
  }
  current.present.SetBand(band, HasDynamicStage(change.type));
  lanes_.previousUsed.SetBand(band, change.previousUsed);
  if (change.restartWeight) {
    lanes_.weight.SetBand(band, 1.0);
    lanes_.fadeDelay.SetBand(band, change.fadeDelay);
  }
}

int BandChain::MostSections(const PairLanes& pair) const noexcept {
  double most = 0;
  for (double v : pair.count.v) most = std::max(most, v);
  return int(most);
}

bool BandChain::IdentityLanes(const CascadeLanes& pair, int band) const noexcept {
  for (int lane = LaneOf(band, 0); lane <= LaneOf(band, 1); ++lane) {
    for (int k = 0; k < int(pair.count[lane]); ++k) {
      const SectionLanes& c = pair.coefficients[k];
      if (!(c.b0[lane] == 1.0 && c.b1[lane] == c.a1[lane] && c.b2[lane] == c.a2[lane]))
        return false;
    }
  }
  return true;
}

bool BandChain::AtRest() const noexcept {
  for (int lane = 0; lane < kLanes; ++lane)
    if (lanes_.enable[lane] != lanes_.enableTarget[lane] || lanes_.weight[lane] != 0 ||
        lanes_.fadeDelay[lane] != 0)
      return false;
  const PairLanes& current = lanes_.current;
  for (int b = 0; b < kNumBands; ++b) {
    if (current.present[LaneOf(b, 0)] == 0) continue;
    if (current.midSide[LaneOf(b, 0)] != 0 || !IdentityLanes(current, b)) return false;
    for (const StateLanes& st : current.states)
      for (int lane = LaneOf(b, 0); lane <= LaneOf(b, 1); ++lane)
        if (st.s1[lane] != 0 || st.s2[lane] != 0) return false;
  }
  return true;
}

void BandChain::Run(const LaneKernels& kernels, const ChainContext& context, const float* params,
                    const UpdatePoint* updates, int updateCount, const double* input,
                    double* output, int frames, int curveFrame,
                    BiquadCascade (*curveCascades)[2]) noexcept {
  const ParamView view(params);
  for (int b = 0; b < kNumBands; ++b)
    lanes_.enableTarget.SetBand(b, view.Band(b).Enabled() ? 1.0 : 0.0);
  Curve curve{curveFrame, curveCascades};
  if (curveFrame >= 0 && (updateCount == 0 || updates[0].frame > curveFrame)) CopyCurve(curve);
  if (!AtRest()) {
    RunLanes(kernels, context, updates, updateCount, input, output, frames, 0, false, curve);
    return;
  }
  // At rest every band passes x + 0 (or, without any band, x) until an update designs
  // something other than an identity or changes structure; from there the lanes run.
  int k = 0;
  bool designed = false;
  for (; k < updateCount; ++k) {
    const UpdatePoint& update = updates[k];
    bool fading = false;
    for (bool f : update.fading) fading = fading || f;
    if (update.structural || fading) break;
    designed = Design(context, update, 0);
    CopyCurveAfter(curve, updates, updateCount, k);
    if (!designed) continue;
    const CoefficientSwitch& pending = lanes_.switches[0];
    bool identity = true;
    for (int b = 0; b < kNumBands && identity; ++b)
      identity = !pending.current[b] || lanes_.current.present[LaneOf(b, 0)] == 0 ||
                 IdentityLanes(pending.pending, b);
    if (!identity) break;
    for (int b = 0; b < kNumBands; ++b)
      if (pending.current[b]) lanes_.current.CopyCoefficients(pending.pending, b);
    designed = false;
  }
  const int restEnd = k < updateCount ? updates[k].frame : frames;
  bool anyPresent = false;
  for (double p : lanes_.current.present.v) anyPresent = anyPresent || p != 0;
  for (int i = 0; i < 2 * restEnd; ++i) output[i] = anyPresent ? input[i] + 0.0 : input[i];
  if (restEnd == frames) return;
  RunLanes(kernels, context, updates + k, updateCount - k, input + 2 * restEnd,
           output + 2 * restEnd, frames - restEnd, restEnd, designed, curve);
}

void BandChain::CopyCurve(const Curve& curve) noexcept {
  if (!curve.cascades) return;
  for (int b = 0; b < kNumBands; ++b)
    for (int c = 0; c < 2; ++c) curve.cascades[b][c] = designed_[b][c];
}

void BandChain::CopyCurveAfter(const Curve& curve, const UpdatePoint* updates, int count,
                               int k) noexcept {
  if (curve.frame >= updates[k].frame && (k + 1 == count || updates[k + 1].frame > curve.frame))
    CopyCurve(curve);
}

void BandChain::RunLanes(const LaneKernels& kernels, const ChainContext& context,
                         const UpdatePoint* updates, int updateCount, const double* input,
                         double* output, int frames, int offset, bool firstDesigned,
                         const Curve& curve) noexcept {
  bool structural = false;
  for (int k = 0; k < updateCount; ++k) structural = structural || updates[k].structural;

  ChainRun run{};
  run.input = input;
  run.output = output;
  run.frames = frames;
  run.enableCoef = context.enableCoef;
  run.weightStep = context.weightStep;
  run.currentSections = MostSections(lanes_.current);
  run.previousSections = MostSections(lanes_.previous);
  bool ramps = structural || AnyLane(lanes_.weight, [](double w) { return w > 0; }) ||
               AnyLane(lanes_.fadeDelay, [](double d) { return d > 0; });
  for (int lane = 0; lane < kLanes && !ramps; ++lane)
    ramps = lanes_.enable[lane] != lanes_.enableTarget[lane];
  run.ramps = ramps;
  bool previous = structural;
  for (int lane = 0; lane < kLanes && !previous; ++lane)
    previous = lanes_.previousUsed[lane] > 0.5 && lanes_.weight[lane] > 0;
  run.previous = previous;

  int step = 0;
  auto runTo = [&](int end) {
    if (end <= step) return;
    run.begin = step, run.end = end;
    kernels.runChain(lanes_, run);
    step = end;
  };
  // Updates that switch coefficients take the switch slots in turn, designed ahead of the
  // lanes; when every slot is in transit, the lanes run until the last switch is complete,
  // which frees them all.
  int slot = 0, lastSwitch = 0;
  for (CoefficientSwitch& pending : lanes_.switches) pending.frame = -kNumBands;
  for (int k = 0; k < updateCount; ++k) {
    const UpdatePoint& update = updates[k];
    const int frame = update.frame - offset;
    bool switching = k == 0 && firstDesigned; // designed into slot 0 already
    if (!switching) {
      if (slot == kSwitchSlots) {
        runTo(lastSwitch + kNumBands);
        for (CoefficientSwitch& pending : lanes_.switches) pending.frame = -kNumBands;
        slot = 0;
      }
      switching = Design(context, update, slot);
      CopyCurveAfter(curve, updates, updateCount, k);
    }
    if (switching) {
      const CoefficientSwitch& pending = lanes_.switches[slot++];
      lanes_.switches[slot - 1].frame = lastSwitch = frame;
      run.currentSections = std::max(run.currentSections, pending.mostSections);
      run.previousSections = std::max(run.previousSections, pending.mostPreviousSections);
    }
    if (!update.structural) continue;
    for (int b = 0; b < kNumBands; ++b) {
      if (!update.change[b].structural) continue;
      runTo(frame + b);
      ApplyChange(b, update.change[b]);
      run.previousSections = std::max(run.previousSections, MostSections(lanes_.previous));
      run.currentSections = std::max(run.currentSections, MostSections(lanes_.current));
    }
  }
  runTo(frames + kNumBands - 1);
}

} // namespace coral
