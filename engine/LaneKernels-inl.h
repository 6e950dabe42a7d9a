// The lane kernels for one instruction set, written once over VecD (SimdVector-inl.h).
// Included by LaneKernels.cpp once per instruction set, inside a region compiled for it, in
// namespace coral::simd::CORAL_SIMD_NS; deliberately without an include guard.
//
// Each kernel performs, per lane, exactly the operations of the scalar formulas in the same
// order (noted at each step), so the results are bit-identical on every instruction set.

namespace coral::simd::CORAL_SIMD_NS {

constexpr int kVectors = kLanes / VecD::kLanes;

// Per lane: its band index, and whether it is the band's first lane.
struct LaneIndex {
  alignas(64) double band[kLanes];
  alignas(64) double second[kLanes];
  constexpr LaneIndex() : band(), second() {
    for (int lane = 0; lane < kLanes; ++lane) band[lane] = lane / 2, second[lane] = lane % 2;
  }
};
constexpr LaneIndex kLaneIndex;

inline VecD LoadLanes(const LaneValues& values, int vector) {
  return VecD::Load(values.v + vector * VecD::kLanes);
}
inline void StoreLanes(LaneValues& values, int vector, VecD x) {
  x.Store(values.v + vector * VecD::kLanes);
}
inline MaskD IsSet(const LaneValues& flags, int vector) {
  return LoadLanes(flags, vector) > VecD::Splat(0.5);
}
inline MaskD FirstLanes(int vector) {
  return VecD::Load(kLaneIndex.second + vector * VecD::kLanes) < VecD::Splat(0.5);
}

// One transposed direct form II section on `x` in the lanes of `run`; other lanes keep their
// states and pass `x`. y = b0 x + s1; s1 <- (b1 x - a1 y) + s2; s2 <- b2 x - a2 y. A
// non-finite y, s1 or s2 zeroes both states and the output; states below 1e-28 in magnitude
// are flushed to 0.
inline VecD RunSection(const SectionLanes& c, StateLanes& st, int vector, VecD x, MaskD run) {
  const VecD zero = VecD::Splat(0.0);
  const VecD s1 = LoadLanes(st.s1, vector), s2 = LoadLanes(st.s2, vector);
  const VecD y = LoadLanes(c.b0, vector) * x + s1;
  const VecD n1 = (LoadLanes(c.b1, vector) * x - LoadLanes(c.a1, vector) * y) + s2;
  const VecD n2 = LoadLanes(c.b2, vector) * x - LoadLanes(c.a2, vector) * y;
  const MaskD finite = (((y - y) + (n1 - n1)) + (n2 - n2)) == zero;
  const VecD tiny = VecD::Splat(1e-28);
  const VecD kept1 = Select(finite & ~(Abs(n1) < tiny), n1, zero);
  const VecD kept2 = Select(finite & ~(Abs(n2) < tiny), n2, zero);
  StoreLanes(st.s1, vector, Select(run, kept1, s1));
  StoreLanes(st.s2, vector, Select(run, kept2, s2));
  return Select(run, Select(finite, y, zero), x);
}

// A stereo sample through a band pair in the lanes of `run`: Mid and Side bands run on
// m = (L + R) / 2 and s = (L - R) / 2 and return (m + s, m - s); the routing decides which
// lane's cascade runs. Lanes outside `run` keep their states.
inline VecD RunPair(PairLanes& pair, int vector, VecD x, MaskD run, int sections) {
  const VecD half = VecD::Splat(0.5);
  const MaskD first = FirstLanes(vector);
  const MaskD midSide = IsSet(pair.midSide, vector);
  const VecD other = PairSwap(x);
  VecD y = Select(midSide, Select(first, (x + other) * half, (other - x) * half), x);
  const MaskD filtered = run & IsSet(pair.filtered, vector);
  const VecD count = LoadLanes(pair.count, vector);
  for (int k = 0; k < sections; ++k) {
    const MaskD active = filtered & (VecD::Splat(double(k)) < count);
    if (active.Any()) y = RunSection(pair.coefficients[k], pair.states[k], vector, y, active);
  }
  const VecD swapped = PairSwap(y);
  return Select(midSide, Select(first, y + swapped, swapped - y), y);
}

inline void CopyBandCoefficients(const PairLanes& from, PairLanes& to, int band) {
  for (int lane = 2 * band; lane < 2 * band + 2; ++lane) {
    for (int k = 0; k < kMaxSections; ++k) {
      const SectionLanes& f = from.coefficients[k];
      SectionLanes& t = to.coefficients[k];
      t.b0[lane] = f.b0[lane], t.b1[lane] = f.b1[lane], t.b2[lane] = f.b2[lane];
      t.a1[lane] = f.a1[lane], t.a2[lane] = f.a2[lane];
    }
    to.count[lane] = from.count[lane];
  }
}

// Steps [run.begin, run.end) of the skewed chain. Per lane and frame, in order: the ramps
// (fade delay counts down, else a positive weight falls by weightStep, rounded to single
// precision; the enable ramp moves by enableCoef and snaps within 1e-9), the current pair,
// the blend (1 - w) current + w previous while the previous pair runs, and the enable blend
// x + e (y - x). A lane whose band has neither pair passes its input untouched.
inline void RunChain(ChainLanes& lanes, const ChainRun& run) noexcept {
  const VecD zero = VecD::Splat(0.0), one = VecD::Splat(1.0);
  const VecD step = VecD::Splat(run.weightStep), coef = VecD::Splat(run.enableCoef);
  const VecD snap = VecD::Splat(1e-9);
  VecD x[kVectors];
  for (int v = 0; v < kVectors; ++v) x[v] = LoadLanes(lanes.pipeline, v);

  for (int m = run.begin; m < run.end; ++m) {
    const int switching = m - lanes.switchFrame;
    if (switching >= 0 && switching < kNumBands) {
      if (lanes.switchCurrent[switching])
        CopyBandCoefficients(lanes.pending, lanes.current, switching);
      if (lanes.switchPrevious[switching])
        CopyBandCoefficients(lanes.pendingPrevious, lanes.previous, switching);
    }
    const bool feeding = m < run.frames;
    ShiftPairIn(x, feeding ? run.input[2 * m] : 0.0, feeding ? run.input[2 * m + 1] : 0.0);
    // Band b works on frame m - b, which must lie in [0, frames).
    const VecD lowest = VecD::Splat(double(m - run.frames + 1)), highest = VecD::Splat(double(m));

    for (int v = 0; v < kVectors; ++v) {
      const VecD band = VecD::Load(kLaneIndex.band + v * VecD::kLanes);
      const MaskD live = (band >= lowest) & (band <= highest);
      const VecD in = x[v];
      VecD w = LoadLanes(lanes.weight, v);
      VecD e = LoadLanes(lanes.enable, v);
      if (run.ramps) {
        const VecD delay = LoadLanes(lanes.fadeDelay, v);
        const MaskD waiting = delay > zero;
        const MaskD falling = ~waiting & (w > zero);
        const VecD target = LoadLanes(lanes.enableTarget, v);
        VecD moved = e + (target - e) * coef;
        moved = Select(Abs(target - moved) <= snap, target, moved);
        const MaskD ramping = live & (e != target);
        StoreLanes(lanes.fadeDelay, v, Select(live & waiting, delay - one, delay));
        w = Select(live & falling, RoundToFloat(Max(w - step, zero)), w);
        e = Select(ramping, moved, e);
        StoreLanes(lanes.weight, v, w);
        StoreLanes(lanes.enable, v, e);
      }
      MaskD present = IsSet(lanes.current.present, v);
      VecD y = Select(present, RunPair(lanes.current, v, in, live, run.currentSections), in);
      if (run.previous) {
        const MaskD blending = live & IsSet(lanes.previousUsed, v) & (w > zero);
        if (blending.Any()) {
          const VecD old = RunPair(lanes.previous, v, in, blending, run.previousSections);
          y = Select(blending, (one - w) * y + w * old, y);
          present = present | blending;
        }
      }
      x[v] = Select(present, in + e * (y - in), in);
    }

    const int done = m - (kNumBands - 1);
    if (done >= 0 && done < run.frames) {
      alignas(64) double top[VecD::kLanes];
      x[kVectors - 1].Store(top);
      run.output[2 * done] = top[VecD::kLanes - 2];
      run.output[2 * done + 1] = top[VecD::kLanes - 1];
    }
  }
  for (int v = 0; v < kVectors; ++v) StoreLanes(lanes.pipeline, v, x[v]);
}

// Level in dB of a mean square: 10 log10(max(ms, 1e-12)).
inline VecD LevelDb(VecD meanSquare) {
  alignas(64) double lanes[VecD::kLanes];
  Max(meanSquare, VecD::Splat(1e-12)).Store(lanes);
  for (double& v : lanes) v = 10.0 * std::log10(v);
  return VecD::Load(lanes);
}

// The gain a band's gain computer asks for at `level` (dB), before ballistics. Downward:
// -min(r K(over), Range); upward: +min(r K(-over), Range) x clamp((level + 100) / 10, 0, 1);
// over = level - Threshold; K is the soft knee: 0 for v <= -h, v for v >= h, else
// (v + h)^2 / (2 Knee) when Knee > 0, else max(v, 0), with h = Knee / 2.
inline VecD TargetGain(const DetectorLanes& d, int vector, VecD level) {
  const VecD zero = VecD::Splat(0.0), one = VecD::Splat(1.0);
  const MaskD upward = IsSet(d.upward, vector);
  const VecD over = level - LoadLanes(d.threshold, vector);
  const VecD v = Select(upward, -over, over);
  const VecD knee = LoadLanes(d.knee, vector);
  const VecD h = knee / VecD::Splat(2.0);
  const VecD soft = ((v + h) * (v + h)) / (VecD::Splat(2.0) * knee);
  const VecD bent =
      Select(v <= -h, zero, Select(v >= h, v, Select(knee > zero, soft, Max(v, zero))));
  const VecD limited = Min(LoadLanes(d.ratioFactor, vector) * bent, LoadLanes(d.range, vector));
  const VecD rise = (level + VecD::Splat(100.0)) / VecD::Splat(10.0);
  const VecD fade = Select(rise < zero, zero, Select(one < rise, one, rise));
  return Select(upward, limited * fade, -limited);
}

// Frames [run.begin, run.end) of every band's detector: source (programme or sidechain) times
// the sidechain gain, Mid/Side sum, band pass, 10 ms mean square
// env <- a10 env + ((1 - a10) d) d, stereo link (1 - k) env + k max(envL, envR), gain computer
// where active, ballistics g <- c g + (1 - c) target with c the attack coefficient when
// |target| > |g|, else the release one (only where active or g != 0), and the gain delay.
inline void RunDetectors(DetectorLanes& d, const DetectorRun& run) noexcept {
  const VecD zero = VecD::Splat(0.0), one = VecD::Splat(1.0), half = VecD::Splat(0.5);
  const VecD average = VecD::Splat(run.average), rest = VecD::Splat(1 - run.average);
  const MaskD all = zero == zero;
  int position = run.delayPosition;
  for (int n = run.begin; n < run.end; ++n) {
    const VecD programme = VecD::Pairs(run.programme[2 * n], run.programme[2 * n + 1]);
    const VecD sidechain = VecD::Pairs(run.sidechain[2 * n], run.sidechain[2 * n + 1]);
    const VecD trim = VecD::Splat(run.sidechainGain[n]);
    const VecD link = VecD::Splat(run.link[n]);
    float* row = run.gainDelay + std::size_t(position) * kLanes;
    for (int v = 0; v < kVectors; ++v) {
      VecD source = Select(IsSet(d.external, v), sidechain, programme) * trim;
      const VecD other = PairSwap(source);
      const MaskD first = FirstLanes(v);
      source = Select(
          IsSet(d.mid, v), (source + other) * half,
          Select(IsSet(d.side, v), Select(first, source - other, other - source) * half, source));
      const VecD detected = RunSection(d.filter, d.state, v, source, all);
      const VecD envelope = average * LoadLanes(d.envelope, v) + (rest * detected) * detected;
      const VecD loudest = Max(envelope, PairSwap(envelope));
      const VecD linked = (one - link) * envelope + link * loudest;
      StoreLanes(d.envelope, v, envelope);
      StoreLanes(d.detected, v, detected);
      StoreLanes(d.linked, v, linked);

      const MaskD active = IsSet(d.active, v);
      VecD target = zero;
      if (run.dynamics && active.Any())
        target = Select(active, TargetGain(d, v, LevelDb(linked)), zero);
      const VecD gain = LoadLanes(d.gain, v);
      const MaskD follow = active | (gain != zero);
      const VecD coefficient =
          Select(Abs(target) > Abs(gain), LoadLanes(d.attack, v), LoadLanes(d.release, v));
      const VecD next = Select(follow, coefficient * gain + (one - coefficient) * target, gain);
      StoreLanes(d.gain, v, next);
      StoreLanes(d.delayedGain, v, VecD::LoadFloats(row + v * VecD::kLanes));
      next.StoreFloats(row + v * VecD::kLanes);
    }
    if (++position == run.delayRows) position = 0;
  }
}

inline constexpr LaneKernels kKernels = {&RunChain, &RunDetectors};

} // namespace coral::simd::CORAL_SIMD_NS
