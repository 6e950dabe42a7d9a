#pragma once
// The engine's one heap record: parameters and their smoothing, the three filter sets with
// their previous copies, band ramps and detectors, delay lines, counters, the FIR path, the
// analyzer and the published readouts. Owned by EqEngine; allocated when the engine is
// constructed, its buffers sized in Prepare.

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/BandDynamics.h"
#include "engine/BandFilter.h"
#include "engine/EqEngine.h"
#include "engine/LinearPhaseFir.h"
#include "engine/SpectrumAnalyzer.h"

namespace coral {

// Delay lines sharing the write position: dry, static chain and listen, left and right.
enum DelayLine : int { kDryL = 0, kDryR, kStaticL, kStaticR, kListenL, kListenR, kDelayLines };

// The inputs of one filter design. Designing again from equal inputs gives equal
// coefficients, so a coefficient update skips designs whose inputs have not changed.
struct DesignInputs {
  std::array<double, 5> values{};
  bool valid = false;

  // Stores `next`; answers true when a design is needed (the inputs changed or none yet).
  bool Changed(const std::array<double, 5>& next) {
    if (valid && next == values) return false;
    values = next;
    valid = true;
    return true;
  }
};

// Everything the applied wet-EQ curves are computed from. When it is unchanged since the
// last update, the published curves already hold the result.
struct WetEqCurveInputs {
  ParamSnapshot params{};
  double phaseBlend = 0;
  double crossfadeProgress = 0;
  std::uint32_t firSwaps = 0;
  BiquadCoefficients dynamic[kNumBands][2][kMaxSections]{};
  bool valid = false;
};

// Per-band runtime state outside the filter sets.
struct BandRuntime {
  double enableRamp = 0;                // 0..1, follows Enabled over 5 ms
  double listenRamp = 0;                // 0..1, follows Enabled x Listen over 5 ms
  float crossfadeWeight = 0;            // structural crossfade, 1 down to 0 over 5 ms
  int type = 0, channel = 0, slope = 0; // recorded at the last coefficient update
  int previousChannel = 0;              // of the previous static pair
  // The dynamic stage that ran before the last structural change: its Type and Channel.
  int previousDynamicType = 0, previousDynamicChannel = 0;
  // A dynamic stage left behind when the band changed to a Type without one: it keeps
  // running on the delayed audio for kFixedLatency frames, then fades out over 5 ms, in step
  // with the static crossfade coming out of the delay line.
  int fadingType = 0, fadingChannel = 0;
  int fadeDelay = 0;          // frames until the fade starts
  float fadeWeight = 0;       // 1 while waiting, then down to 0; 0 when no stage is fading
  bool staticResting = false; // the static / dynamic pair passes its input (see Resting)
  bool dynamicResting = false;
  int readoutChannel = 0;     // detector channel shown in the band readout
  double readoutEnvelope = 0; // its linked mean-square envelope at the last frame
  DesignInputs staticInputs, dynamicInputs[2], detectorInputs, ballisticInputs;
};

// A gain in dB from a (smoothed, single-precision) level, recomputed only when it changes.
struct CachedGain {
  float db = 0;
  double gain = 1;
  double Get(float levelDb) {
    if (levelDb != db) {
      db = levelDb;
      gain = std::pow(10.0, double(levelDb) / 20.0);
    }
    return gain;
  }
};

struct EngineState {
  double sampleRate = 48000;
  double c20 = 0, a10 = 0, c5 = 0, c3 = 0; // smoothing 20 ms, detector 10 ms, ramps 5 and 3 ms
  std::array<std::uint8_t, kNumParams> discrete{};

  ParamSnapshot target{}; // last sanitized snapshot
  std::array<double, kNumParams> smoothed{};
  ParamSnapshot smoothedF{}; // float copy read by all processing
  bool smoothing = false;    // some continuous value has not reached its target

  std::array<BandFilterPair, kNumBands> staticSet{};
  std::array<BandFilterPair, kNumBands> dynamicSet{};
  std::array<BandFilterPair, kNumBands> detectorSet{};
  std::array<BandFilterPair, kNumBands> previousStatic{};
  std::array<BandFilterPair, kNumBands> previousDynamic{};
  std::array<BandFilterPair, kNumBands> fadingDynamic{};
  std::array<BandRuntime, kNumBands> bands{};
  std::array<BandDetector, kNumBands> detectors{};

  double phaseBlend = 0, bypassBlend = 0, deltaBlend = 0;
  CachedGain inputGain, outputGain, sidechainGain;

  std::vector<float> delays;    // kFixedLatency frames x kDelayLines
  std::vector<float> gainDelay; // kFixedLatency frames x (kNumBands x 2), band-major
  int writePos = 0;             // shared position p, 0..4351

  std::uint32_t updateCounter = 0; // coefficient update when a multiple of 16
  int firPos = 0;                  // q, 0..255
  int analyzerCountdown = 0;       // frames since the last analysis, 0..1023

  LinearPhaseFir fir;
  SpectrumAnalyzer analyzer;
  std::array<float, kDisplayPoints> displayGrid{};
  WetEqCurveInputs curveInputs;

  bool prepared = false;
  bool firstBlockDone = false;

  // Published to the editor; every value written by atomic exchange.
  std::atomic<float> inputPeak{0}, wetPeak{0}, outputPeak{0};
  std::atomic<std::uint8_t> sidechainPresent{0}, externalInUse{0};
  std::array<std::atomic<float>, kNumBands> detectorLevel{};
  std::array<std::atomic<float>, kNumBands> liveBandGain{};
  std::array<std::atomic<float>, kDisplayPoints> staticWetEq{};
  std::array<std::atomic<float>, kDisplayPoints> currentWetEq{};
  std::atomic<double> publishedSampleRate{0};

  // The lines are interleaved: all values of one position lie together, so a frame touches
  // one place in memory rather than one per line.
  float* DelayFrame(int position) { return delays.data() + position * kDelayLines; }
  float* GainDelayFrame(int position) { return gainDelay.data() + position * kNumBands * 2; }
  const float* Band(int band) const { return smoothedF.data() + BandParamIndex(band, 0); }
};

} // namespace coral
