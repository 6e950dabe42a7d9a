#include "engine/BandChain.h"

#include <algorithm>

#include "engine/BandDynamics.h"
#include "engine/ParamView.h"

namespace coral {

void PairLanes::SetCascade(int lane, const BiquadCascade& cascade) noexcept {
  for (int k = 0; k < kMaxSections; ++k) {
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
  for (int lane = LaneOf(band, 0); lane <= LaneOf(band, 1); ++lane) {
    for (int k = 0; k < kMaxSections; ++k) {
      const SectionLanes& f = from.coefficients[k];
      SectionLanes& t = coefficients[k];
      t.b0[lane] = f.b0[lane], t.b1[lane] = f.b1[lane], t.b2[lane] = f.b2[lane];
      t.a1[lane] = f.a1[lane], t.a2[lane] = f.a2[lane];
      states[k].s1[lane] = from.states[k].s1[lane];
      states[k].s2[lane] = from.states[k].s2[lane];
    }
    for (LaneValues PairLanes::*field :
         {&PairLanes::count, &PairLanes::filtered, &PairLanes::midSide, &PairLanes::present})
      (this->*field)[lane] = (from.*field)[lane];
  }
}

void BandChain::ForgetDesigns() noexcept {
  for (auto& band : inputs_)
    for (DesignInputs& channel : band) channel.valid = false;
}

namespace {

bool AnyLane(const LaneValues& values, bool (*test)(double)) {
  for (double v : values.v)
    if (test(v)) return true;
  return false;
}

} // namespace

void BandChain::Design(const ChainContext& context, const UpdatePoint& update) noexcept {
  const ParamView params(update.params);
  const double scale = params.Scale();
  for (int b = 0; b < kNumBands; ++b) {
    const BandView band = params.Band(b);
    const int type = band.Type();
    lanes_.switchCurrent[b] = lanes_.switchPrevious[b] = false;
    if (kind_ == Kind::kStatic) {
      const double gain = params.StaticGainDb(b);
      if (inputs_[b][0].Changed(
              {double(type), band.Frequency(), gain, band.Q(), double(band.Slope())})) {
        DesignBandCascade(designed_[b][0], type, band.Frequency(), gain, band.Q(), band.Slope(),
                          context.sampleRate);
        designed_[b][1] = designed_[b][0];
        lanes_.pending.SetCascade(LaneOf(b, 0), designed_[b][0]);
        lanes_.pending.SetCascade(LaneOf(b, 1), designed_[b][0]);
        lanes_.switchCurrent[b] = true;
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
          DesignBandCascade(designed_[b][c], type, band.Frequency(), g, band.Q(), 0,
                            context.sampleRate);
        lanes_.pending.SetCascade(LaneOf(b, c), designed_[b][c]);
        lanes_.switchCurrent[b] = true;
      }
      // A band switching gets both lanes from `pending`: bring the unchanged one up to date.
      if (lanes_.switchCurrent[b])
        for (int c = 0; c < 2; ++c) lanes_.pending.SetCascade(LaneOf(b, c), designed_[b][c]);
    }
    if (update.fading[b]) {
      // The stage left behind by a change to a Type without one keeps following the delayed
      // gains until it has faded out.
      for (int c = 0; c < 2; ++c) {
        const double g = ScaledGainDb(update.delayedGain[LaneOf(b, c)], scale);
        DesignBandCascade(designedPrevious_[b][c], update.fadingType[b], band.Frequency(), g,
                          band.Q(), 0, context.sampleRate);
        lanes_.pendingPrevious.SetCascade(LaneOf(b, c), designedPrevious_[b][c]);
      }
      lanes_.switchPrevious[b] = true;
    }
  }
  lanes_.switchFrame = update.frame;
}

void BandChain::DesignNow(const ChainContext& context, const float* params,
                          const double* delayedGain, const int* types,
                          const int* channels) noexcept {
  UpdatePoint update;
  update.params = params;
  std::copy(delayedGain, delayedGain + kLanes, update.delayedGain.begin());
  Design(context, update);
  for (int b = 0; b < kNumBands; ++b) {
    PairLanes& current = lanes_.current;
    for (int c = 0; c < 2; ++c) current.SetCascade(LaneOf(b, c), designed_[b][c]);
    current.SetRouting(b, channels[b]);
    current.present.SetBand(b, kind_ == Kind::kStatic || HasDynamicStage(types[b]));
    lanes_.previousUsed.SetBand(b, kind_ == Kind::kStatic);
    lanes_.switchCurrent[b] = lanes_.switchPrevious[b] = false;
  }
  lanes_.switchFrame = -kNumBands;
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

void BandChain::Run(const LaneKernels& kernels, const ChainContext& context, const float* params,
                    const UpdatePoint* updates, int updateCount, const double* input,
                    double* output, int frames, int curveFrame,
                    BiquadCascade (*curveCascades)[2]) noexcept {
  const ParamView view(params);
  for (int b = 0; b < kNumBands; ++b)
    lanes_.enableTarget.SetBand(b, view.Band(b).Enabled() ? 1.0 : 0.0);
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

  auto copyCurve = [&] {
    if (curveCascades)
      for (int b = 0; b < kNumBands; ++b)
        for (int c = 0; c < 2; ++c) curveCascades[b][c] = designed_[b][c];
  };
  if (curveFrame >= 0 && (updateCount == 0 || updates[0].frame > curveFrame)) copyCurve();

  lanes_.switchFrame = -kNumBands;
  int step = 0;
  auto runTo = [&](int end) {
    if (end <= step) return;
    run.begin = step, run.end = end;
    kernels.runChain(lanes_, run);
    step = end;
  };
  for (int k = 0; k < updateCount; ++k) {
    const UpdatePoint& update = updates[k];
    runTo(update.frame);
    Design(context, update);
    run.currentSections = std::max(run.currentSections, MostSections(lanes_.pending));
    run.previousSections = std::max(run.previousSections, MostSections(lanes_.pendingPrevious));
    if (curveFrame >= update.frame && (k + 1 == updateCount || updates[k + 1].frame > curveFrame))
      copyCurve();
    if (!update.structural) continue;
    for (int b = 0; b < kNumBands; ++b) {
      if (!update.change[b].structural) continue;
      runTo(update.frame + b);
      ApplyChange(b, update.change[b]);
      run.previousSections = std::max(run.previousSections, MostSections(lanes_.previous));
      run.currentSections = std::max(run.currentSections, MostSections(lanes_.current));
    }
  }
  runTo(frames + kNumBands - 1);
}

} // namespace coral
