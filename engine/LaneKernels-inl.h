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

// One transposed direct form II section on every lane, its states held by the caller:
// y = b0 x + s1; s1 <- (b1 x - a1 y) + s2; s2 <- b2 x - a2 y. A non-finite y, s1 or s2
// zeroes both states and the output; states below 1e-28 in magnitude are flushed to 0. The
// finiteness test rarely fails, so it only guards a branch and stays off the dependency chain
// of y.
inline VecD SectionStep(VecD b0, VecD b1, VecD b2, VecD a1, VecD a2, VecD x, VecD& s1, VecD& s2) {
  const VecD zero = VecD::Splat(0.0), tiny = VecD::Splat(1e-28);
  const VecD y = b0 * x + s1;
  const VecD n1 = (b1 * x - a1 * y) + s2;
  const VecD n2 = b2 * x - a2 * y;
  s1 = Select(Abs(n1) < tiny, zero, n1);
  s2 = Select(Abs(n2) < tiny, zero, n2);
  const MaskD finite = (((y - y) + (n1 - n1)) + (n2 - n2)) == zero;
  if (finite.All()) return y;
  s1 = Select(finite, s1, zero);
  s2 = Select(finite, s2, zero);
  return Select(finite, y, zero);
}

// SectionStep with the coefficients of one section slot.
inline VecD RunSectionHeld(const SectionLanes& c, int vector, VecD x, VecD& s1, VecD& s2) {
  return SectionStep(LoadLanes(c.b0, vector), LoadLanes(c.b1, vector), LoadLanes(c.b2, vector),
                     LoadLanes(c.a1, vector), LoadLanes(c.a2, vector), x, s1, s2);
}

// SectionStep with states in memory, in the lanes of `run` (every lane when `run` is null);
// other lanes keep their states and pass `x`.
inline VecD RunSection(const SectionLanes& c, StateLanes& st, int vector, VecD x,
                       const MaskD* run) {
  const VecD s1 = LoadLanes(st.s1, vector), s2 = LoadLanes(st.s2, vector);
  VecD kept1 = s1, kept2 = s2;
  const VecD y = RunSectionHeld(c, vector, x, kept1, kept2);
  if (!run) {
    StoreLanes(st.s1, vector, kept1);
    StoreLanes(st.s2, vector, kept2);
    return y;
  }
  StoreLanes(st.s1, vector, Select(*run, kept1, s1));
  StoreLanes(st.s2, vector, Select(*run, kept2, s2));
  return Select(*run, y, x);
}

// What holds for every lane of one vector of a pair during a kernel call, so the common case
// runs without masks: no Mid/Side band, every lane's cascade runs, every band has the pair;
// and how many sections every lane runs and the most any lane runs.
struct PairShape {
  bool plain = false;
  int common = 0;
  int most = 0;
};

inline PairShape ShapeOf(const PairLanes& pair, int vector) {
  PairShape shape;
  shape.plain = true;
  shape.common = kMaxSections;
  for (int lane = vector * VecD::kLanes; lane < (vector + 1) * VecD::kLanes; ++lane) {
    shape.plain = shape.plain && pair.midSide[lane] == 0 && pair.filtered[lane] == 1 &&
                  pair.present[lane] == 1;
    shape.common = std::min(shape.common, int(pair.count[lane]));
    shape.most = std::max(shape.most, int(pair.count[lane]));
  }
  return shape;
}

// A stereo sample through a band pair in the lanes of `run`: Mid and Side bands run on
// m = (L + R) / 2 and s = (L - R) / 2 and return (m + s, m - s); the routing decides which
// lane's cascade runs. Lanes outside `run` keep their states.
inline VecD RunPair(PairLanes& pair, int vector, VecD x, MaskD run, int sections) {
  const VecD half = VecD::Splat(0.5);
  const MaskD first = FirstLanes(vector);
  const MaskD midSide = IsSet(pair.midSide, vector);
  const bool anyMidSide = midSide.Any();
  VecD y = x;
  if (anyMidSide) {
    const VecD other = PairSwap(x);
    y = Select(midSide, Select(first, (x + other) * half, (other - x) * half), x);
  }
  const MaskD filtered = run & IsSet(pair.filtered, vector);
  const VecD count = LoadLanes(pair.count, vector);
  for (int k = 0; k < sections; ++k) {
    const MaskD active = filtered & (VecD::Splat(double(k)) < count);
    if (active.Any()) y = RunSection(pair.coefficients[k], pair.states[k], vector, y, &active);
  }
  if (!anyMidSide) return y;
  const VecD swapped = PairSwap(y);
  return Select(midSide, Select(first, y + swapped, swapped - y), y);
}

// RunPair for a vector whose shape is plain and whose lanes all run.
inline VecD RunPlainPair(PairLanes& pair, int vector, VecD x, const PairShape& shape) {
  VecD y = x;
  for (int k = 0; k < shape.most; ++k) {
    if (k < shape.common) {
      y = RunSection(pair.coefficients[k], pair.states[k], vector, y, nullptr);
    } else {
      const MaskD active = VecD::Splat(double(k)) < LoadLanes(pair.count, vector);
      y = RunSection(pair.coefficients[k], pair.states[k], vector, y, &active);
    }
  }
  return y;
}

// True when every vector runs the same number of sections in every lane, with plain routing.
inline bool Steady(const PairShape (&shape)[kVectors]) {
  for (const PairShape& p : shape)
    if (!p.plain || p.common != p.most || p.most != shape[0].most) return false;
  return true;
}

// Steps [m, end) of the chain while every lane works on a frame of the chunk, nothing ramps or
// blends its previous pair, and the shapes are Steady: the filter states stay in registers.
// Returns the first step not done (a coefficient switch that breaks the shape stops early).
inline int RunSteadySteps(ChainLanes& lanes, const ChainRun& run, VecD (&x)[kVectors],
                          PairShape (&shape)[kVectors], SwitchCursor& switches, int m, int end) {
  const int sections = shape[0].most;
  PairLanes& pair = lanes.current;
  VecD e[kVectors], s1[kMaxSections][kVectors], s2[kMaxSections][kVectors];
  for (int v = 0; v < kVectors; ++v) {
    e[v] = LoadLanes(lanes.enable, v);
    for (int k = 0; k < sections; ++k)
      s1[k][v] = LoadLanes(pair.states[k].s1, v), s2[k][v] = LoadLanes(pair.states[k].s2, v);
  }
  for (; m < end; ++m) {
    int switching;
    const int slot = switches.At(lanes, m, switching);
    // Only a changed section count can change the vector's shape.
    if (slot >= 0 && lanes.switches[slot].current[switching] &&
        pair.CopyCoefficients(lanes.switches[slot].pending, switching)) {
      const int v = 2 * switching / VecD::kLanes;
      shape[v] = ShapeOf(pair, v);
      if (!Steady(shape) || shape[0].most != sections) break;
    }
    ShiftPairIn(x, run.input + 2 * m);
    for (int v = 0; v < kVectors; ++v) {
      const VecD in = x[v];
      VecD y = in;
      for (int k = 0; k < sections; ++k)
        y = RunSectionHeld(pair.coefficients[k], v, y, s1[k][v], s2[k][v]);
      x[v] = in + e[v] * (y - in);
    }
    x[kVectors - 1].StoreTopPair(run.output + 2 * (m - (kNumBands - 1)));
  }
  for (int v = 0; v < kVectors; ++v)
    for (int k = 0; k < sections; ++k)
      StoreLanes(pair.states[k].s1, v, s1[k][v]), StoreLanes(pair.states[k].s2, v, s2[k][v]);
  return m;
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
  const double none[2] = {0.0, 0.0};
  PairShape shape[kVectors];
  for (int v = 0; v < kVectors; ++v) shape[v] = ShapeOf(lanes.current, v);
  VecD x[kVectors];
  for (int v = 0; v < kVectors; ++v) x[v] = LoadLanes(lanes.pipeline, v);
  SwitchCursor switches;

  const int steadyEnd = std::min(run.end, run.frames);
  for (int m = run.begin; m < run.end; ++m) {
    if (!run.ramps && !run.previous && m >= kNumBands - 1 && m < steadyEnd && Steady(shape)) {
      m = RunSteadySteps(lanes, run, x, shape, switches, m, steadyEnd);
      if (m == run.end) break;
    }
    int switching;
    if (const int slot = switches.At(lanes, m, switching); slot >= 0) {
      const CoefficientSwitch& update = lanes.switches[slot];
      if (update.current[switching] && lanes.current.CopyCoefficients(update.pending, switching)) {
        const int v = 2 * switching / VecD::kLanes;
        shape[v] = ShapeOf(lanes.current, v);
      }
      if (update.previous[switching])
        lanes.previous.CopyCoefficients(update.pendingPrevious, switching);
    }
    ShiftPairIn(x, m < run.frames ? run.input + 2 * m : none);
    // Band b works on frame m - b, which must lie in [0, frames).
    const bool allLive = m >= kNumBands - 1 && m < run.frames;
    const VecD lowest = VecD::Splat(double(m - run.frames + 1)), highest = VecD::Splat(double(m));

    for (int v = 0; v < kVectors; ++v) {
      const VecD band = VecD::Load(kLaneIndex.band + v * VecD::kLanes);
      const MaskD live = allLive ? (zero == zero) : (band >= lowest) & (band <= highest);
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
      const MaskD blending =
          run.previous ? live & IsSet(lanes.previousUsed, v) & (w > zero) : zero != zero;
      if (allLive && shape[v].plain && !blending.Any()) {
        x[v] = in + e * (RunPlainPair(lanes.current, v, in, shape[v]) - in);
        continue;
      }
      MaskD present = IsSet(lanes.current.present, v);
      VecD y = Select(present, RunPair(lanes.current, v, in, live, run.currentSections), in);
      if (blending.Any()) {
        const VecD old = RunPair(lanes.previous, v, in, blending, run.previousSections);
        y = Select(blending, (one - w) * y + w * old, y);
        present = present | blending;
      }
      x[v] = Select(present, in + e * (y - in), in);
    }

    const int done = m - (kNumBands - 1);
    if (done >= 0 && done < run.frames) x[kVectors - 1].StoreTopPair(run.output + 2 * done);
  }
  for (int v = 0; v < kVectors; ++v) StoreLanes(lanes.pipeline, v, x[v]);
}

// log10 of positive normal doubles, within 0.73 units in the last place of the exact value
// (measured against extended precision over 3e7 arguments; the system library's log10 is
// within 1.6). Plain multiplies and adds in a fixed order, so every instruction set gives the
// same bits. x = 2^k m with m in [sqrt(1/2), sqrt(2)), f = m - 1, s = f / (2 + f):
// ln(1 + f) = f - (f^2/2 - s (f^2/2 + R)) with R = sum over i >= 1 of 2 s^(2i) / (2i + 1)
// (eleven terms), and log10 x = k log10 2 + ln(1 + f) / ln 10, the leading parts of
// f - f^2/2, 1/ln 10 and log10 2 split off so that their products are exact. Infinities and
// NaN pass through.
inline VecD Log10(VecD x) {
  const VecD one = VecD::Splat(1.0), half = VecD::Splat(0.5);
  // The biased exponent as a double: its 11 bits placed in the mantissa of 2^52.
  const VecD exponent =
      OrBits(ShiftBitsRight(x, 52), 0x4330000000000000ull) - VecD::Splat(4503599627370496.0);
  VecD m = OrBits(AndBits(x, 0x000FFFFFFFFFFFFFull), 0x3FF0000000000000ull); // in [1, 2)
  const MaskD high = m > VecD::Splat(1.4142135623730951);
  m = Select(high, m * half, m);
  const VecD k = (exponent - VecD::Splat(1023.0)) + Select(high, one, VecD::Splat(0.0));
  const VecD f = m - one;
  const VecD halfSquare = (half * f) * f;
  const VecD s = f / (VecD::Splat(2.0) + f);
  const VecD z = s * s;
  constexpr double kSeries[] = {0.6666666666666666,  0.4,
                                0.2857142857142857,  0.2222222222222222,
                                0.18181818181818182, 0.15384615384615385,
                                0.13333333333333333, 0.11764705882352941,
                                0.10526315789473684, 0.09523809523809523,
                                0.08695652173913043}; // 2 / (2i + 1), i = 1 .. 11
  VecD series = VecD::Splat(kSeries[10]);
  for (int i = 9; i >= 0; --i) series = VecD::Splat(kSeries[i]) + z * series;
  const VecD r = z * series;
  const VecD hi = AndBits(f - halfSquare, 0xFFFFFFFF00000000ull);
  const VecD lo = ((f - hi) - halfSquare) + s * (halfSquare + r);
  const VecD invLn10Hi = VecD::Splat(0.4342944622039795);     // 0x3fdbcb7b00000000
  const VecD invLn10Lo = VecD::Splat(1.9699272335463627e-08); // 1/ln 10 - invLn10Hi
  const VecD log2Hi = VecD::Splat(0.30102999566383914);       // 0x3fd34413509f7000
  const VecD log2Lo = VecD::Splat(1.42050232272661e-13);      // log10 2 - log2Hi
  const VecD productHi = hi * invLn10Hi;
  const VecD exponentPart = k * log2Hi;
  VecD rest = (k * log2Lo + (lo + hi) * invLn10Lo) + lo * invLn10Hi;
  const VecD sum = exponentPart + productHi;
  rest = rest + ((exponentPart - sum) + productHi);
  return Select(x <= VecD::Splat(1.7976931348623157e308), rest + sum, x);
}

// Level in dB of a mean square: 10 log10(max(ms, 1e-12)).
inline VecD LevelDb(VecD meanSquare) {
  return VecD::Splat(10.0) * Log10(Max(meanSquare, VecD::Splat(1e-12)));
}

inline void Log10Values(const double* x, double* log10x, int count) noexcept {
  for (int i = 0; i < count; i += VecD::kLanes) Log10(VecD::Load(x + i)).Store(log10x + i);
}

// Stereo link: (1 - k) env + k max(env, env of the band's other channel).
inline VecD Linked(VecD envelope, VecD link) {
  return (VecD::Splat(1.0) - link) * envelope + link * Max(envelope, PairSwap(envelope));
}

// The gain a band's gain computer asks for at `level` (dB), before ballistics. Downward:
// -min(r K(over), Range); upward: +min(r K(-over), Range) x clamp((level + 100) / 10, 0, 1);
// over = level - Threshold; K is the soft knee: 0 for v <= -h, v for v >= h, else
// (v + h)^2 / (2 Knee) when Knee > 0, else max(v, 0), with h = Knee / 2. The divisions run
// only when a lane uses their result (`anyUpward`: some lane of the vector is upward).
inline VecD TargetGain(const DetectorLanes& d, int vector, VecD level, bool anyUpward) {
  const VecD zero = VecD::Splat(0.0), one = VecD::Splat(1.0);
  const MaskD upward = IsSet(d.upward, vector);
  const VecD over = level - LoadLanes(d.threshold, vector);
  const VecD v = Select(upward, -over, over);
  const VecD knee = LoadLanes(d.knee, vector);
  const VecD h = knee / VecD::Splat(2.0);
  const MaskD below = v <= -h, above = v >= h, softKnee = knee > zero;
  VecD soft = zero;
  if ((~below & ~above & softKnee).Any()) soft = ((v + h) * (v + h)) / (VecD::Splat(2.0) * knee);
  const VecD bent = Select(below, zero, Select(above, v, Select(softKnee, soft, Max(v, zero))));
  const VecD limited = Min(LoadLanes(d.ratioFactor, vector) * bent, LoadLanes(d.range, vector));
  if (!anyUpward) return -limited;
  const VecD rise = (level + VecD::Splat(100.0)) / VecD::Splat(10.0);
  const VecD fade = Select(rise < zero, zero, Select(one < rise, one, rise));
  return Select(upward, limited * fade, -limited);
}

// Frames [run.begin, run.end) of every band's detector: source (programme or sidechain) times
// the sidechain gain, Mid/Side sum, band pass (the section of RunSection, its states held in
// registers), 10 ms mean square env <- a10 env + ((1 - a10) d) d, stereo link
// (1 - k) env + k max(envL, envR), gain computer where active, ballistics
// g <- c g + (1 - c) target with c the attack coefficient when |target| > |g|, else the
// release one (only where active or g != 0), and the gain delay. Without any active gain
// computer the link is only formed for the last frame, which is all the readout needs.
inline void RunDetectors(DetectorLanes& d, const DetectorRun& run) noexcept {
  if (run.begin >= run.end) return;
  const VecD zero = VecD::Splat(0.0), one = VecD::Splat(1.0), half = VecD::Splat(0.5);
  const VecD average = VecD::Splat(run.average), rest = VecD::Splat(1 - run.average);

  // Per vector, what holds for the whole run.
  MaskD external[kVectors], mid[kVectors], side[kVectors], first[kVectors], active[kVectors];
  bool routed[kVectors], follows[kVectors];
  VecD b0[kVectors], b1[kVectors], b2[kVectors], a1[kVectors], a2[kVectors];
  VecD s1[kVectors], s2[kVectors], envelope[kVectors], gain[kVectors], delayed[kVectors];
  VecD detected[kVectors];
  for (int v = 0; v < kVectors; ++v) {
    external[v] = IsSet(d.external, v), mid[v] = IsSet(d.mid, v), side[v] = IsSet(d.side, v);
    first[v] = FirstLanes(v), active[v] = IsSet(d.active, v);
    routed[v] = external[v].Any() || mid[v].Any() || side[v].Any();
    b0[v] = LoadLanes(d.filter.b0, v), b1[v] = LoadLanes(d.filter.b1, v);
    b2[v] = LoadLanes(d.filter.b2, v), a1[v] = LoadLanes(d.filter.a1, v);
    a2[v] = LoadLanes(d.filter.a2, v);
    s1[v] = LoadLanes(d.state.s1, v), s2[v] = LoadLanes(d.state.s2, v);
    envelope[v] = LoadLanes(d.envelope, v), gain[v] = LoadLanes(d.gain, v);
    follows[v] = (run.dynamics && active[v].Any()) || (gain[v] != zero).Any();
    detected[v] = LoadLanes(d.detected, v), delayed[v] = LoadLanes(d.delayedGain, v);
  }

  // Gains that are +0 in every lane and cannot move write +0 rows; once the whole delay holds
  // them, reading it back gives +0 and writing changes nothing.
  bool still = true;
  for (int v = 0; v < kVectors; ++v) still = still && !follows[v];
  for (int lane = 0; lane < kLanes && still; ++lane)
    still = d.gain[lane] == 0.0 && !std::signbit(d.gain[lane]);
  const bool quiet = still && d.quietRows >= run.delayRows;
  const int frames = run.end - run.begin;
  d.quietRows = still ? std::min(d.quietRows + frames, run.delayRows) : 0;
  if (quiet)
    for (int v = 0; v < kVectors; ++v) delayed[v] = zero;

  // Blocks of frames in three passes, so that the long computation in the middle, which
  // depends on no earlier frame, overlaps between frames: the recursive filter and envelope,
  // then the gain computers, then the recursive ballistics and the delay.
  constexpr int kBlock = 16;
  bool computes[kVectors], anyUpward[kVectors];
  for (int v = 0; v < kVectors; ++v) {
    computes[v] = follows[v] && run.dynamics && active[v].Any();
    anyUpward[v] = IsSet(d.upward, v).Any();
  }
  VecD envelopes[kBlock][kVectors], targets[kBlock][kVectors];
  int position = run.delayPosition;
  for (int start = run.begin; start < run.end; start += kBlock) {
    const int count = std::min(kBlock, run.end - start);
    for (int f = 0; f < count; ++f) {
      const int n = start + f;
      const VecD programme = VecD::Pairs(run.programme[2 * n], run.programme[2 * n + 1]);
      const VecD trim = VecD::Splat(run.sidechainGain[n]);
      const VecD trimmed = programme * trim;
      for (int v = 0; v < kVectors; ++v) {
        VecD source = trimmed;
        if (routed[v]) {
          const VecD sidechain = VecD::Pairs(run.sidechain[2 * n], run.sidechain[2 * n + 1]);
          source = Select(external[v], sidechain, programme) * trim;
          const VecD other = PairSwap(source);
          source = Select(
              mid[v], (source + other) * half,
              Select(side[v], Select(first[v], source - other, other - source) * half, source));
        }
        const VecD out = SectionStep(b0[v], b1[v], b2[v], a1[v], a2[v], source, s1[v], s2[v]);
        detected[v] = out;
        envelope[v] = average * envelope[v] + (rest * out) * out;
        envelopes[f][v] = envelope[v];
      }
    }
    for (int v = 0; v < kVectors; ++v) {
      if (!follows[v]) continue;
      for (int f = 0; f < count; ++f) {
        VecD target = zero;
        if (computes[v]) {
          const VecD linked = Linked(envelopes[f][v], VecD::Splat(run.link[start + f]));
          target = Select(active[v], TargetGain(d, v, LevelDb(linked), anyUpward[v]), zero);
        }
        targets[f][v] = target;
      }
    }
    for (int f = 0; f < count; ++f) {
      float* row = run.gainDelay + std::size_t(position) * kLanes;
      for (int v = 0; v < kVectors; ++v) {
        if (follows[v]) {
          const VecD target = targets[f][v];
          const MaskD follow = active[v] | (gain[v] != zero);
          const VecD coefficient =
              Select(Abs(target) > Abs(gain[v]), LoadLanes(d.attack, v), LoadLanes(d.release, v));
          gain[v] = Select(follow, coefficient * gain[v] + (one - coefficient) * target, gain[v]);
        }
        if (!quiet) {
          delayed[v] = VecD::LoadFloats(row + v * VecD::kLanes);
          gain[v].StoreFloats(row + v * VecD::kLanes);
        }
      }
      if (++position == run.delayRows) position = 0;
    }
  }

  const VecD link = VecD::Splat(run.link[run.end - 1]);
  for (int v = 0; v < kVectors; ++v) {
    StoreLanes(d.state.s1, v, s1[v]), StoreLanes(d.state.s2, v, s2[v]);
    StoreLanes(d.envelope, v, envelope[v]), StoreLanes(d.gain, v, gain[v]);
    StoreLanes(d.detected, v, detected[v]), StoreLanes(d.delayedGain, v, delayed[v]);
    StoreLanes(d.linked, v, Linked(envelope[v], link));
  }
}

// Plain loops: the compiler vectorises them for the instruction set, with the same operations
// per value.
inline void MixOutputs(const MixRun& run) noexcept {
  const double beta = run.bypass, delta = run.delta;
  for (int i = 0; i < run.count; ++i) {
    const double dry = run.dry[i], wet = run.wet[i], heard = run.heard[i];
    const double mix = run.mix[i], listenMix = run.listenMix[i];
    const double m = (1 - mix) * dry + mix * wet;
    const double t = m * (1 - delta) + (dry - wet) * delta;
    const double u = t * (1 - listenMix) + heard * listenMix;
    const float out = float(u * run.gain[i] * (1 - beta) + dry * beta);
    run.out[i] = std::isfinite(out) ? out : 0.0f;
  }
}

inline void BlendPhase(double phase, const float* fir, const float* eq, double* wet,
                       int count) noexcept {
  for (int i = 0; i < count; ++i) wet[i] = phase * fir[i] + (1 - phase) * eq[i];
}

// One radix-2 butterfly on data[top] and data[top + half] with twiddle (wr, wi) (already
// conjugated for the inverse): b' = b w, then a + b' and a - b'. The vector forms compute the
// real part as br wr + (-(bi wi)) and the imaginary part as bi wr + br wi: the same products
// and sums (negation is exact, addition commutes), so every width gives the same bits.
inline void Butterfly(ComplexF* data, int top, int half, float wr, float wi) {
  const ComplexF a = data[top];
  const ComplexF b = data[top + half];
  const float br = b.real() * wr - b.imag() * wi;
  const float bi = b.real() * wi + b.imag() * wr;
  data[top] = ComplexF(a.real() + br, a.imag() + bi);
  data[top + half] = ComplexF(a.real() - br, a.imag() - bi);
}

template <typename V>
inline void ButterflyVector(float* a, float* b, const float* re, const float* im, V flip) {
  const V x = V::Load(a), y = V::Load(b);
  const V w = y * V::Load(re) + NegateReal(SwapParts(y) * (V::Load(im) * flip));
  (x + w).Store(a);
  (x - w).Store(b);
}

// Butterflies i = first .. last - 1 of the group at `group` (half-span `half`), whole
// vectors first, then the rest one by one.
template <typename V>
inline int ButterflyVectors(ComplexF* data, int group, int half, int i, int last, const float* re,
                            const float* im, float imSign) {
  constexpr int kComplex = V::kFloats / 2;
  if (last - i < kComplex) return i;
  const V flip = V::Splat(imSign);
  for (; i + kComplex <= last; i += kComplex)
    ButterflyVector(reinterpret_cast<float*>(data + group + i),
                    reinterpret_cast<float*>(data + group + i + half), re + 2 * i, im + 2 * i,
                    flip);
  return i;
}

inline void ButterflyRange(ComplexF* data, int group, int half, int first, int last,
                           const float* re, const float* im, float imSign) {
  int i = ButterflyVectors<VecF>(data, group, half, first, last, re, im, imSign);
  i = ButterflyVectors<VecF4>(data, group, half, i, last, re, im, imSign);
  for (; i < last; ++i) Butterfly(data, group + i, half, re[2 * i], im[2 * i] * imSign);
}

// The first stage (span 2, twiddle W_0 for every butterfly): two groups per vector, as
// ButterflyVector does for one group.
inline void SpanTwoStage(ComplexF* data, int size, float wr, float wi) {
#if defined(CORAL_SIMD_PORTABLE)
  for (int group = 0; group < size; group += 2) Butterfly(data, group, 1, wr, wi);
#else
  const __m128 re = _mm_set1_ps(wr), im = _mm_set1_ps(wi);
  const __m128 sign = _mm_castsi128_ps(_mm_set_epi32(0, int(0x80000000u), 0, int(0x80000000u)));
  int group = 0;
  for (; group + 4 <= size; group += 4) {
    float* p = reinterpret_cast<float*>(data + group);
    const __m128 v0 = _mm_loadu_ps(p);                                // x0 x1
    const __m128 v1 = _mm_loadu_ps(p + 4);                            // x2 x3
    const __m128 a = _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(1, 0, 1, 0)); // x0 x2
    const __m128 b = _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(3, 2, 3, 2)); // x1 x3
    const __m128 swapped = _mm_shuffle_ps(b, b, _MM_SHUFFLE(2, 3, 0, 1));
    const __m128 w = _mm_add_ps(_mm_mul_ps(b, re), _mm_xor_ps(_mm_mul_ps(swapped, im), sign));
    const __m128 top = _mm_add_ps(a, w), bottom = _mm_sub_ps(a, w);
    _mm_storeu_ps(p, _mm_shuffle_ps(top, bottom, _MM_SHUFFLE(1, 0, 1, 0)));
    _mm_storeu_ps(p + 4, _mm_shuffle_ps(top, bottom, _MM_SHUFFLE(3, 2, 3, 2)));
  }
  for (; group < size; group += 2) Butterfly(data, group, 1, wr, wi);
#endif
}

// a <- a + b w, b <- a - b w in registers, with the operations of ButterflyVector.
template <typename V>
inline void ButterflyPair(V& a, V& b, V re, V im) {
  const V w = b * re + NegateReal(SwapParts(b) * im);
  b = a - w;
  a = a + w;
}

// Stages `span` and 2 span over data[0..length) in one pass: for each group of 2 span, the
// butterflies (i, i + h) and (i + span, i + span + h) of the first stage (h = span / 2), then
// (i, i + span) and (i + h, i + span + h) of the second, the same butterflies as two passes.
// Needs h >= the complex values of a VecF.
inline void TwoStages(ComplexF* data, int length, int span, const FftStages& stages, float imSign) {
  constexpr int kComplex = VecF::kFloats / 2;
  const int half = span / 2;
  const float* re1 = stages.re + 2 * (half - 1);
  const float* im1 = stages.im + 2 * (half - 1);
  const float* re2 = stages.re + 2 * (span - 1);
  const float* im2 = stages.im + 2 * (span - 1);
  const VecF flip = VecF::Splat(imSign);
  for (int group = 0; group < length; group += 2 * span) {
    for (int i = 0; i < half; i += kComplex) {
      float* pa = reinterpret_cast<float*>(data + group + i);
      float* pb = pa + 2 * half;
      float* pc = pa + 2 * span;
      float* pd = pc + 2 * half;
      VecF a = VecF::Load(pa), b = VecF::Load(pb), c = VecF::Load(pc), d = VecF::Load(pd);
      const VecF w1re = VecF::Load(re1 + 2 * i), w1im = VecF::Load(im1 + 2 * i) * flip;
      ButterflyPair(a, b, w1re, w1im);
      ButterflyPair(c, d, w1re, w1im);
      ButterflyPair(a, c, VecF::Load(re2 + 2 * i), VecF::Load(im2 + 2 * i) * flip);
      ButterflyPair(b, d, VecF::Load(re2 + 2 * (i + half)),
                    VecF::Load(im2 + 2 * (i + half)) * flip);
      a.Store(pa), b.Store(pb), c.Store(pc), d.Store(pd);
    }
  }
}

#if defined(CORAL_SIMD_AVX512) || defined(CORAL_SIMD_AVX2)
// Four rows of four complex values become their columns: r[k] <- value k of every row.
inline void TransposeComplex(__m256 (&r)[4]) {
  const __m256d t0 = _mm256_unpacklo_pd(_mm256_castps_pd(r[0]), _mm256_castps_pd(r[1]));
  const __m256d t1 = _mm256_unpackhi_pd(_mm256_castps_pd(r[0]), _mm256_castps_pd(r[1]));
  const __m256d t2 = _mm256_unpacklo_pd(_mm256_castps_pd(r[2]), _mm256_castps_pd(r[3]));
  const __m256d t3 = _mm256_unpackhi_pd(_mm256_castps_pd(r[2]), _mm256_castps_pd(r[3]));
  r[0] = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x20));
  r[1] = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x20));
  r[2] = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x31));
  r[3] = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x31));
}

// ButterflyPair on four complex values, one twiddle for all.
inline void ButterflyColumns(__m256& a, __m256& b, __m256 re, __m256 im) {
  const __m256 negateReal = _mm256_castsi256_ps(_mm256_set1_epi64x(0x80000000ll));
  const __m256 w =
      _mm256_add_ps(_mm256_mul_ps(b, re),
                    _mm256_xor_ps(_mm256_mul_ps(_mm256_permute_ps(b, 0xB1), im), negateReal));
  b = _mm256_sub_ps(a, w);
  a = _mm256_add_ps(a, w);
}

// The stages of spans 2, 4 and 8 over data[0..length) (length a multiple of 32), four groups
// of eight values at a time: transposed, each register holds one position of the four groups
// and the butterflies run between registers.
inline void FirstThreeStages(ComplexF* data, int length, const FftStages& stages, float imSign) {
  __m256 re[7], im[7]; // twiddle i of span 2 h at [h - 1 + i]
  for (int t = 0; t < 7; ++t) {
    re[t] = _mm256_set1_ps(stages.re[2 * t]);
    im[t] = _mm256_set1_ps(stages.im[2 * t] * imSign);
  }
  for (int group = 0; group < length; group += 32) {
    float* p = reinterpret_cast<float*>(data + group);
    __m256 low[4], high[4]; // positions 0 .. 3 and 4 .. 7
    for (int k = 0; k < 4; ++k) {
      low[k] = _mm256_loadu_ps(p + 16 * k);
      high[k] = _mm256_loadu_ps(p + 16 * k + 8);
    }
    TransposeComplex(low);
    TransposeComplex(high);
    __m256(&x)[4] = low;
    __m256(&y)[4] = high;
    ButterflyColumns(x[0], x[1], re[0], im[0]), ButterflyColumns(x[2], x[3], re[0], im[0]);
    ButterflyColumns(y[0], y[1], re[0], im[0]), ButterflyColumns(y[2], y[3], re[0], im[0]);
    ButterflyColumns(x[0], x[2], re[1], im[1]), ButterflyColumns(x[1], x[3], re[2], im[2]);
    ButterflyColumns(y[0], y[2], re[1], im[1]), ButterflyColumns(y[1], y[3], re[2], im[2]);
    for (int k = 0; k < 4; ++k) ButterflyColumns(x[k], y[k], re[3 + k], im[3 + k]);
    TransposeComplex(low);
    TransposeComplex(high);
    for (int k = 0; k < 4; ++k) {
      _mm256_storeu_ps(p + 16 * k, low[k]);
      _mm256_storeu_ps(p + 16 * k + 8, high[k]);
    }
  }
}
#endif

// The stages of spans firstSpan .. lastSpan over data[0..length) (length a multiple of
// lastSpan).
inline void RunStages(ComplexF* data, int length, int firstSpan, int lastSpan,
                      const FftStages& stages, float imSign) {
  constexpr int kComplex = VecF::kFloats / 2;
  int span = firstSpan;
#if defined(CORAL_SIMD_AVX512) || defined(CORAL_SIMD_AVX2)
  if (span == 2 && lastSpan >= 8 && length % 32 == 0) {
    FirstThreeStages(data, length, stages, imSign);
    span = 16;
  }
#endif
  while (span <= lastSpan) {
    const int half = span / 2;
    if (half >= kComplex && 2 * span <= lastSpan) {
      TwoStages(data, length, span, stages, imSign);
      span *= 4;
      continue;
    }
    const float* re = stages.re + 2 * (half - 1);
    const float* im = stages.im + 2 * (half - 1);
    if (half == 1)
      SpanTwoStage(data, length, re[0], im[0] * imSign);
    else
      for (int group = 0; group < length; group += span)
        ButterflyRange(data, group, half, 0, half, re, im, imSign);
    span *= 2;
  }
}

// Blocks of kFftBlock values (16 KB) run through their first stages while they stay in the
// nearest cache; the remaining stages then pass over the whole transform, two at a time.
inline void RunButterflies(ComplexF* data, const FftStages& stages, int firstSpan, bool inverse) {
  const float imSign = inverse ? -1.0f : 1.0f;
  const int block = std::min(stages.size, kFftBlock);
  for (int start = 0; start < stages.size; start += block)
    RunStages(data + start, block, firstSpan, block, stages, imSign);
  RunStages(data, stages.size, 2 * block, stages.size, stages, imSign);
}

inline void FftButterflies(ComplexF* data, const FftStages& stages, bool inverse) noexcept {
  RunButterflies(data, stages, 2, inverse);
}

// Up to `count` butterflies of the stages up to `lastSpan` over data[0..length), continuing
// from the cursor's span, group and index; answers false when the budget ran out first.
inline bool StepStages(ComplexF* data, int length, int lastSpan, const FftStages& stages,
                       FftCursor& cursor, int& count, float imSign) {
  while (cursor.span <= lastSpan) {
    const int half = cursor.span / 2;
    const float* re = stages.re + 2 * (half - 1);
    const float* im = stages.im + 2 * (half - 1);
    while (cursor.groupStart < length) {
      if (cursor.index == 0 && half <= count) {
        // Whole groups at once, in the same order.
        const int groups = std::min(count / half, (length - cursor.groupStart) / cursor.span);
        if (half == 1)
          SpanTwoStage(data + cursor.groupStart, 2 * groups, re[0], im[0] * imSign);
        else
          for (int g = 0; g < groups; ++g)
            ButterflyRange(data, cursor.groupStart + g * cursor.span, half, 0, half, re, im,
                           imSign);
        cursor.groupStart += groups * cursor.span;
        count -= groups * half;
        continue;
      }
      const int end = std::min(half, cursor.index + count);
      ButterflyRange(data, cursor.groupStart, half, cursor.index, end, re, im, imSign);
      count -= end - cursor.index;
      cursor.index = end;
      if (cursor.index < half) return false;
      cursor.index = 0;
      cursor.groupStart += cursor.span;
    }
    cursor.groupStart = 0;
    cursor.span *= 2;
  }
  return true;
}

// The butterflies of FftButterflies in its order (blocks first), at most `count` per call.
// Whole blocks, and whole pairs of the remaining stages, that fit the budget run as the full
// transform runs them.
inline bool FftSteps(ComplexF* data, const FftStages& stages, FftCursor& cursor, int count,
                     bool inverse) noexcept {
  constexpr int kComplex = VecF::kFloats / 2;
  const float imSign = inverse ? -1.0f : 1.0f;
  const int block = std::min(stages.size, kFftBlock);
  int blockStages = 0;
  while ((1 << blockStages) < block) ++blockStages;
  const int blockButterflies = block / 2 * blockStages;
  while (cursor.block < stages.size) {
    const bool atStart = cursor.span == 2 && cursor.groupStart == 0 && cursor.index == 0;
    if (atStart && count >= blockButterflies) {
      RunStages(data + cursor.block, block, 2, block, stages, imSign);
      count -= blockButterflies;
    } else if (!StepStages(data + cursor.block, block, block, stages, cursor, count, imSign)) {
      return false;
    }
    cursor.block += block;
    cursor.span = cursor.block < stages.size ? 2 : 2 * block;
  }
  while (cursor.span * 2 <= stages.size && cursor.span / 2 >= kComplex && cursor.groupStart == 0 &&
         cursor.index == 0 && count >= stages.size) {
    TwoStages(data, stages.size, cursor.span, stages, imSign);
    count -= stages.size;
    cursor.span *= 4;
  }
  return StepStages(data, stages.size, stages.size, stages, cursor, count, imSign);
}

// A complex value as two vectors (real and imaginary parts), multiplied and added exactly as
// std::complex<double> does: (a + jb)(c + jd) = (ac - bd) + j(ad + bc).
struct ComplexD {
  VecD re, im;
};
inline ComplexD Times(ComplexD x, ComplexD y) {
  return {x.re * y.re - x.im * y.im, x.re * y.im + x.im * y.re};
}
inline ComplexD Plus(ComplexD x, ComplexD y) {
  return {x.re + y.re, x.im + y.im};
}

struct MatrixD {
  ComplexD m00, m01, m10, m11;
};
inline MatrixD LoadMatrix(const CurveMatrices& m, int i) {
  return {{VecD::Load(m.re00 + i), VecD::Load(m.im00 + i)},
          {VecD::Load(m.re01 + i), VecD::Load(m.im01 + i)},
          {VecD::Load(m.re10 + i), VecD::Load(m.im10 + i)},
          {VecD::Load(m.re11 + i), VecD::Load(m.im11 + i)}};
}
inline void StoreMatrix(CurveMatrices& m, int i, const MatrixD& x) {
  x.m00.re.Store(m.re00 + i), x.m00.im.Store(m.im00 + i);
  x.m01.re.Store(m.re01 + i), x.m01.im.Store(m.im01 + i);
  x.m10.re.Store(m.re10 + i), x.m10.im.Store(m.im10 + i);
  x.m11.re.Store(m.re11 + i), x.m11.im.Store(m.im11 + i);
}
// a b as Matrix2's operator* computes it.
inline MatrixD Multiply(const MatrixD& a, const MatrixD& b) {
  return {Plus(Times(a.m00, b.m00), Times(a.m01, b.m10)),
          Plus(Times(a.m00, b.m01), Times(a.m01, b.m11)),
          Plus(Times(a.m10, b.m00), Times(a.m11, b.m10)),
          Plus(Times(a.m10, b.m01), Times(a.m11, b.m11))};
}

// ChannelMatrix(h, channel) as std::complex arithmetic computes it: Stereo diag(h, h);
// Left diag(h, 1); Right diag(1, h); Mid 0.5 [[h + 1, h - 1], [h - 1, h + 1]];
// Side 0.5 [[h + 1, 1 - h], [1 - h, h + 1]].
inline MatrixD BandMatrix(ComplexD h, int channel) {
  const VecD zero = VecD::Splat(0.0), one = VecD::Splat(1.0), half = VecD::Splat(0.5);
  const ComplexD unit{one, zero}, none{zero, zero};
  switch (channel) {
  case kLeft:
    return {h, none, none, unit};
  case kRight:
    return {unit, none, none, h};
  case kMid:
  case kSide: {
    const ComplexD sum{half * (h.re + one), half * h.im};
    const ComplexD difference = channel == kMid
                                    ? ComplexD{half * (h.re - one), half * h.im}
                                    : ComplexD{half * (one - h.re), half * (zero - h.im)};
    return {sum, difference, difference, sum};
  }
  default:
    return {h, none, none, h};
  }
}

// SectionTermsAt in vectors: N = nr + j ni and D = dr + j di of one section at
// z^-1 = c1 + j s1 and z^-2 = c2 + j s2.
struct SectionTermsD {
  VecD nr, ni, dr, di;
};
inline SectionTermsD SectionTermsAt(const BiquadCoefficients& c, VecD c1, VecD s1, VecD c2,
                                    VecD s2) {
  const VecD b1 = VecD::Splat(c.b1), b2 = VecD::Splat(c.b2);
  const VecD a1 = VecD::Splat(c.a1), a2 = VecD::Splat(c.a2);
  return {(VecD::Splat(c.b0) + b1 * c1) + b2 * c2, b1 * s1 + b2 * s2,
          (VecD::Splat(1.0) + a1 * c1) + a2 * c2, a1 * s1 + a2 * s2};
}

// |H| by CascadeMagnitude: sqrt(prod |num|^2 / prod |den|^2), at the bins of (c1, s1, c2, s2).
inline VecD CascadeMagnitudes(const BiquadCascade& cascade, VecD c1, VecD s1, VecD c2, VecD s2) {
  const VecD one = VecD::Splat(1.0);
  VecD numerator = one, denominator = one;
  for (int i = 0; i < cascade.count; ++i) {
    const auto [nr, ni, dr, di] = SectionTermsAt(cascade.sections[i], c1, s1, c2, s2);
    numerator = numerator * (nr * nr + ni * ni);
    denominator = denominator * (dr * dr + di * di);
  }
  return Sqrt(numerator / denominator);
}

inline void CascadeMagnitudesAt(const BiquadCascade& cascade, const DesignDelays& delays, int first,
                                int last, double* magnitude) noexcept {
  for (int k0 = first; k0 < last; k0 += VecD::kLanes) {
    const VecD c1 = VecD::Load(delays.c1 + k0), s1 = VecD::Load(delays.s1 + k0);
    const VecD c2 = VecD::Load(delays.c2 + k0), s2 = VecD::Load(delays.s2 + k0);
    CascadeMagnitudes(cascade, c1, s1, c2, s2).Store(magnitude + k0);
  }
}

// The zero-phase matrix at the bins of the vector at k0: from the identity, the ChannelMatrix
// of each band's (real) magnitude left-multiplied in complex arithmetic.
inline MatrixD ZeroPhaseMatrixAt(const ZeroPhaseBands& bands, int k0) {
  const VecD zero = VecD::Splat(0.0), one = VecD::Splat(1.0);
  MatrixD m{{one, zero}, {zero, zero}, {zero, zero}, {one, zero}};
  for (int b = 0; b < bands.count; ++b)
    m = Multiply(BandMatrix({VecD::Load(bands.magnitude[b] + k0), zero}, bands.channel[b]), m);
  return m;
}

// The real parts of m's entries 00, 01, 10, 11 at bins k0 .. min(k0 + lanes, last) - 1,
// rounded to single precision, into response[0..3].
inline void StoreZeroPhase(float* const* response, int k0, int last, const MatrixD& m) {
  const VecD* entries[4] = {&m.m00.re, &m.m01.re, &m.m10.re, &m.m11.re};
  if (k0 + VecD::kLanes <= last) {
    for (int j = 0; j < 4; ++j) entries[j]->StoreFloats(response[j] + k0);
    return;
  }
  for (int j = 0; j < 4; ++j) {
    alignas(64) double lanes[VecD::kLanes];
    entries[j]->Store(lanes);
    for (int lane = 0; k0 + lane < last; ++lane)
      response[j][k0 + lane] = static_cast<float>(lanes[lane]);
  }
}

inline void SampleZeroPhase(float* const* response, const ZeroPhaseBands& bands, int first,
                            int last) noexcept {
  bool allStereo = true;
  for (int b = 0; b < bands.count; ++b) allStereo = allStereo && bands.channel[b] == kStereo;
  if (!allStereo) {
    for (int k0 = first; k0 < last; k0 += VecD::kLanes)
      StoreZeroPhase(response, k0, last, ZeroPhaseMatrixAt(bands, k0));
    return;
  }
  // Products of diag(|H|, |H|) with |H| >= 0: while they stay finite, the complex arithmetic
  // gives diag(p, p) with p the product of the magnitudes in band order and +0 in every other
  // part. A few vectors at a time, so that their products do not wait on one another.
  const VecD zero = VecD::Splat(0.0), one = VecD::Splat(1.0);
  const VecD largest = VecD::Splat(1.7976931348623157e308);
  constexpr int kGroup = 4;
  for (int k0 = first; k0 < last; k0 += kGroup * VecD::kLanes) {
    const int vectors = std::min(kGroup, (last - k0 + VecD::kLanes - 1) / VecD::kLanes);
    VecD product[kGroup];
    for (VecD& p : product) p = one;
    for (int b = 0; b < bands.count; ++b)
      for (int g = 0; g < vectors; ++g)
        product[g] = VecD::Load(bands.magnitude[b] + k0 + g * VecD::kLanes) * product[g];
    for (int g = 0; g < vectors; ++g) {
      const int at = k0 + g * VecD::kLanes;
      const bool finite = !((largest < product[g]) | (product[g] != product[g])).Any();
      StoreZeroPhase(
          response, at, last,
          finite ? MatrixD{{product[g], zero}, {zero, zero}, {zero, zero}, {product[g], zero}}
                 : ZeroPhaseMatrixAt(bands, at));
    }
  }
}

// True when every part of every entry of m is finite, lane by lane.
inline bool AllFinite(const MatrixD& m) {
  const VecD largest = VecD::Splat(1.7976931348623157e308);
  MaskD finite = largest == largest;
  for (const ComplexD* x : {&m.m00, &m.m01, &m.m10, &m.m11})
    finite = finite & (Abs(x->re) <= largest) & (Abs(x->im) <= largest);
  return !(~finite).Any();
}

// The band matrices left-multiplied from the identity at display points [i, i + lanes).
// Bands on Stereo, Left or Right have diagonal matrices: their product scales the rows, row 0
// by the left factor (h, or 1 on Right) and row 1 by the right one (h, the right response, or
// 1 on Left). While every value stays finite that gives what Multiply gives (its products with
// the zero entries only add zeros), so the energies are the same; otherwise the vector is
// multiplied out in full.
inline MatrixD BandProductAt(const CurveBand* bands, int count, int i) {
  const VecD zero = VecD::Splat(0.0), one = VecD::Splat(1.0);
  const MatrixD identity{{one, zero}, {zero, zero}, {zero, zero}, {one, zero}};
  MatrixD m = identity;
  bool diagonal = true;
  for (int b = 0; b < count && diagonal; ++b) {
    const CurveBand& band = bands[b];
    const ComplexD h{VecD::Load(band.re + i), VecD::Load(band.im + i)};
    switch (band.channel) {
    case kStereo: {
      const ComplexD right =
          band.rightRe ? ComplexD{VecD::Load(band.rightRe + i), VecD::Load(band.rightIm + i)} : h;
      m = {Times(h, m.m00), Times(h, m.m01), Times(right, m.m10), Times(right, m.m11)};
      break;
    }
    case kLeft:
      m.m00 = Times(h, m.m00), m.m01 = Times(h, m.m01);
      break;
    case kRight:
      m.m10 = Times(h, m.m10), m.m11 = Times(h, m.m11);
      break;
    default:
      diagonal = false;
      break;
    }
  }
  if (diagonal && AllFinite(m)) return m;
  m = identity;
  for (int b = 0; b < count; ++b) {
    const CurveBand& band = bands[b];
    const ComplexD h{VecD::Load(band.re + i), VecD::Load(band.im + i)};
    MatrixD bm = BandMatrix(h, band.channel);
    if (band.rightRe) bm.m11 = {VecD::Load(band.rightRe + i), VecD::Load(band.rightIm + i)};
    m = Multiply(bm, m);
  }
  return m;
}

// CascadeResponse in vectors: per section N conj(D) / |D|^2 (SectionResponse), multiplied
// into the product from 1 as std::complex does, (a c - b d) + j (a d + b c).
inline void CascadeResponses(const BiquadCascade& cascade, const DisplayDelays& delays, double* re,
                             double* im) noexcept {
  const VecD one = VecD::Splat(1.0);
  for (int i = 0; i < kDisplayPoints; i += VecD::kLanes) {
    const VecD c1 = VecD::Load(delays.c1 + i), s1 = VecD::Load(delays.s1 + i);
    const VecD c2 = VecD::Load(delays.c2 + i), s2 = VecD::Load(delays.s2 + i);
    VecD hr = one, hi = VecD::Splat(0.0);
    for (int k = 0; k < cascade.count; ++k) {
      const auto [nr, ni, dr, di] = SectionTermsAt(cascade.sections[k], c1, s1, c2, s2);
      const VecD q = dr * dr + di * di;
      const VecD sr = (nr * dr + ni * di) / q, si = (ni * dr - nr * di) / q;
      const VecD pr = hr * sr - hi * si;
      hi = hr * si + hi * sr;
      hr = pr;
    }
    hr.Store(re + i);
    hi.Store(im + i);
  }
}

inline void BandProduct(CurveMatrices& product, const CurveBand* bands, int count) noexcept {
  bool plainStereo = true;
  for (int b = 0; b < count; ++b)
    plainStereo = plainStereo && bands[b].channel == kStereo && !bands[b].rightRe;
  if (!plainStereo) {
    for (int i = 0; i < kDisplayPoints; i += VecD::kLanes)
      StoreMatrix(product, i, BandProductAt(bands, count, i));
    return;
  }
  // Every band Stereo with one response: the product is diag(p, p) with p the product of the
  // responses in band order (+0 off the diagonal) while it stays finite. The points are
  // multiplied side by side, band after band, so that no product waits on the one before.
  const VecD zero = VecD::Splat(0.0), one = VecD::Splat(1.0);
  constexpr int kVectorsPerCurve = kDisplayPoints / VecD::kLanes;
  ComplexD p[kVectorsPerCurve];
  for (ComplexD& point : p) point = {one, zero};
  for (int b = 0; b < count; ++b)
    for (int v = 0; v < kVectorsPerCurve; ++v) {
      const int i = v * VecD::kLanes;
      p[v] = Times({VecD::Load(bands[b].re + i), VecD::Load(bands[b].im + i)}, p[v]);
    }
  for (int v = 0; v < kVectorsPerCurve; ++v) {
    const int i = v * VecD::kLanes;
    const MatrixD m{p[v], {zero, zero}, {zero, zero}, p[v]};
    StoreMatrix(product, i, AllFinite(m) ? m : BandProductAt(bands, count, i));
  }
}

inline void MatrixProduct(const CurveMatrices& a, const CurveMatrices& b,
                          CurveMatrices& out) noexcept {
  for (int i = 0; i < kDisplayPoints; i += VecD::kLanes)
    StoreMatrix(out, i, Multiply(LoadMatrix(a, i), LoadMatrix(b, i)));
}

#if !defined(CORAL_SIMD_PORTABLE)
// The butterfly of Butterfly on values c and c + half of split vectors (real and imaginary
// parts of one value per lane), lane by lane.
template <typename V, int N>
inline void SplitButterfly(V (&re)[N], V (&im)[N], int c, int half, V wr, V wi) {
  const V yr = re[c + half], yi = im[c + half];
  const V tr = yr * wr - yi * wi;
  const V ti = yi * wr + yr * wi;
  re[c + half] = re[c] - tr;
  im[c + half] = im[c] - ti;
  re[c] = re[c] + tr;
  im[c] = im[c] + ti;
}

// `Width` consecutive ring values from `at` on (wrapping at mask + 1).
template <typename V, int Width>
inline V LoadRing(const float* ring, int at, int mask) {
  V x;
  if (at + Width <= mask + 1) {
    std::memcpy(&x, ring + at, sizeof x);
  } else {
    for (int i = 0; i < Width; ++i) x[i] = ring[(at + i) & mask];
  }
  return x;
}

// Rows r[0..n) become their columns: r[k] lane c <- old r[c] lane k.
inline void Transpose(__m128 (&r)[4]) {
  _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
}
#endif
#if defined(CORAL_SIMD_AVX512) || defined(CORAL_SIMD_AVX2)
inline void Transpose(__m256 (&r)[8]) {
  __m256 t[8], u[8];
#pragma GCC unroll 4
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_ps(r[i], r[i + 1]);
    t[i + 1] = _mm256_unpackhi_ps(r[i], r[i + 1]);
  }
#pragma GCC unroll 2
  for (int i = 0; i < 8; i += 4) {
    u[i] = _mm256_shuffle_ps(t[i], t[i + 2], 0x44);
    u[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], 0xEE);
    u[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], 0x44);
    u[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], 0xEE);
  }
#pragma GCC unroll 4
  for (int i = 0; i < 4; ++i) {
    r[i] = _mm256_permute2f128_ps(u[i], u[i + 4], 0x20);
    r[i + 4] = _mm256_permute2f128_ps(u[i], u[i + 4], 0x31);
  }
}

// Stores the row (re, im) as eight interleaved complex values.
inline void StoreComplex(float* p, __m256 re, __m256 im) {
  const __m256 lo = _mm256_unpacklo_ps(re, im), hi = _mm256_unpackhi_ps(re, im);
  _mm256_storeu_ps(p, _mm256_permute2f128_ps(lo, hi, 0x20));
  _mm256_storeu_ps(p + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
}
#elif defined(CORAL_SIMD_SSE2)
inline void StoreComplex(float* p, __m128 re, __m128 im) {
  _mm_storeu_ps(p, _mm_unpacklo_ps(re, im));
  _mm_storeu_ps(p + 4, _mm_unpackhi_ps(re, im));
}
#endif

// With W lanes (W = 2^t): output index j = a (size / W) + W b + c (a, c < W) reads sample
// rev(c) (size / W) + rev(W b) + rev(a), rev being the bit reversal of the transform's
// order. For each b, ring vectors c = 0 .. W - 1 hold samples rev(c) (size / W) + rev(W b) +
// 0 .. W - 1: lane e belongs to output a = rev(e). The first t stages combine outputs that
// differ in c only, so they run between whole vectors, lane by lane; a transpose then makes
// each output row of W contiguous. The b run in the order of rev(W b), reading the samples in
// order. Returns the first span still to run.
template <typename V, int W>
inline int WindowedTiles(const float* left, const float* right, const float* window,
                         const std::uint32_t* order, int position, const FftStages& stages,
                         ComplexF* out) {
  const int size = stages.size, mask = size - 1;
  V twiddleRe[W - 1], twiddleIm[W - 1]; // twiddle i of span 2 h at [h - 1 + i]
  for (int t = 0; t < W - 1; ++t) {
    for (int lane = 0; lane < W; ++lane) {
      twiddleRe[t][lane] = stages.re[2 * t];
      twiddleIm[t][lane] = stages.im[2 * t];
    }
  }
  for (int middle = 0; middle < size / W; middle += W) {
    const int b = int(order[middle]) / W;
    V re[W], im[W];
#pragma GCC unroll 8
    for (int c = 0; c < W; ++c) {
      const int source = int(order[c]) + middle;
      const int at = (position + source) & mask;
      V w;
      std::memcpy(&w, window + source, sizeof w);
      re[c] = LoadRing<V, W>(left, at, mask) * w;
      im[c] = LoadRing<V, W>(right, at, mask) * w;
    }
#pragma GCC unroll 3
    for (int half = 1; half < W; half *= 2) {
#pragma GCC unroll 8
      for (int c = 0; c < W; ++c)
        if ((c & half) == 0) {
          const int t = half - 1 + (c & (half - 1));
          SplitButterfly(re, im, c, half, twiddleRe[t], twiddleIm[t]);
        }
    }
    Transpose(re);
    Transpose(im);
#pragma GCC unroll 8
    for (int e = 0; e < W; ++e)
      StoreComplex(reinterpret_cast<float*>(out + int(order[e]) + W * b), re[e], im[e]);
  }
  return 2 * W;
}

inline void WindowedTransform(const float* left, const float* right, const float* window,
                              const std::uint32_t* order, int position, const FftStages& stages,
                              ComplexF* out) noexcept {
#if defined(CORAL_SIMD_AVX512) || defined(CORAL_SIMD_AVX2)
  const int firstSpan = WindowedTiles<__m256, 8>(left, right, window, order, position, stages, out);
#elif defined(CORAL_SIMD_SSE2)
  const int firstSpan = WindowedTiles<__m128, 4>(left, right, window, order, position, stages, out);
#else
  const int mask = stages.size - 1;
  for (int j = 0; j < stages.size; ++j) {
    const int source = int(order[j]);
    const int i = (position + source) & mask;
    out[j] = ComplexF(left[i] * window[source], right[i] * window[source]);
  }
  const int firstSpan = 2;
#endif
  RunButterflies(out, stages, firstSpan, false);
}

inline void UntangleSpectra(const ComplexF* x, int size, double* leftNorm,
                            double* rightNorm) noexcept {
  const float* in = reinterpret_cast<const float*>(x);
  const int half = size / 2;
  int k = 1;
#if defined(CORAL_SIMD_AVX512) || defined(CORAL_SIMD_AVX2)
  // Vectors of 4 bins k .. k + 3 and their mirrors size - k .. size - k - 3 (loaded from
  // size - k - 3 and reversed by complex value).
  for (; k + 4 <= half; k += 4) {
    const __m256 a = _mm256_loadu_ps(in + 2 * k);
    const __m256 m = _mm256_loadu_ps(in + 2 * (size - k - 3));
    const __m256 b = _mm256_permutevar8x32_ps(m, _mm256_set_epi32(1, 0, 3, 2, 5, 4, 7, 6));
    const __m256 sum =
        _mm256_mul_ps(_mm256_add_ps(a, b), _mm256_set1_ps(0.5f)); // (xr + yr, xi + yi) / 2
    const __m256 diff =
        _mm256_mul_ps(_mm256_sub_ps(a, b), _mm256_set1_ps(0.5f)); // (xr - yr, xi - yi) / 2
    // L = (sum.re, diff.im); R = (sum.im, -diff.re): exact, as yr - xr = -(xr - yr).
    const __m256 l = _mm256_blend_ps(sum, diff, 0xAA);
    const __m256 r =
        _mm256_xor_ps(_mm256_permute_ps(_mm256_blend_ps(diff, sum, 0xAA), 0xB1),
                      _mm256_castsi256_ps(_mm256_set1_epi64x(std::int64_t(0x8000000000000000ull))));
    for (const auto& [v, norm] : {std::pair{l, leftNorm}, std::pair{r, rightNorm}}) {
      const __m256d lo = _mm256_cvtps_pd(_mm256_castps256_ps128(v));
      const __m256d hi = _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1));
      const __m256d squaresLo = _mm256_mul_pd(lo, lo), squaresHi = _mm256_mul_pd(hi, hi);
      // re^2 + im^2 of each value: horizontal sums of neighbouring lanes.
      const __m256d sums = _mm256_hadd_pd(squaresLo, squaresHi); // (s0, s2, s1, s3)
      _mm256_storeu_pd(norm + k, _mm256_permute4x64_pd(sums, 0xD8));
    }
  }
#endif
  for (; k < half; ++k) {
    const float xr = in[2 * k], xi = in[2 * k + 1];
    const float yr = in[2 * (size - k)], yi = in[2 * (size - k) + 1];
    const float lr = (xr + yr) * 0.5f, li = (xi - yi) * 0.5f;
    const float rr = (xi + yi) * 0.5f, ri = (yr - xr) * 0.5f;
    leftNorm[k] = double(lr) * lr + double(li) * li;
    rightNorm[k] = double(rr) * rr + double(ri) * ri;
  }
}

inline void RangePeaks(const double* values, const int* first, const int* last, int count,
                       double* peak) noexcept {
  constexpr int kWidth = VecD::kLanes;
  for (int i = 0; i < count; ++i) {
    double largest = -1.0;
    int k = first[i];
    const int end = last[i] + 1;
    if (end - k >= kWidth) {
      VecD m = VecD::Load(values + k);
      for (k += kWidth; k + kWidth <= end; k += kWidth) m = Max(m, VecD::Load(values + k));
      m = Max(m, VecD::Load(values + end - kWidth)); // the last values, some a second time
      alignas(64) double lanes[kWidth];
      m.Store(lanes);
      for (double v : lanes) largest = std::max(largest, v);
      k = end;
    }
    for (; k < end; ++k) largest = std::max(largest, values[k]);
    peak[i] = largest;
  }
}

inline constexpr LaneKernels kKernels = {
    &RunChain,    &RunDetectors,        &MixOutputs,        &BlendPhase,      &FftButterflies,
    &FftSteps,    &CascadeMagnitudesAt, &SampleZeroPhase,   &Log10Values,     &CascadeResponses,
    &BandProduct, &MatrixProduct,       &WindowedTransform, &UntangleSpectra, &RangePeaks};

} // namespace coral::simd::CORAL_SIMD_NS
