#pragma once
// The engine's one heap record: parameters and their smoothing, the frame-aligned band
// bookkeeping, the detector lanes and the two band chains, delay lines, counters, the FIR
// path, the analyzer, the per-chunk work buffers and the published readouts. Owned by
// EqEngine; allocated when the engine is constructed, its buffers sized in Prepare.

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/AppliedCurves.h"
#include "engine/BandChain.h"
#include "engine/EqEngine.h"
#include "engine/LinearPhaseFir.h"
#include "engine/SpectrumAnalyzer.h"

namespace coral {

inline constexpr int kCoefficientInterval = 16; // frames between coefficient updates
inline constexpr int kMaxUpdatesPerChunk = kChunkFrames / kCoefficientInterval;

// A stereo delay line of kFixedLatency frames, left and right interleaved.
using StereoDelay = std::vector<float>;

// Per band, what the frame clock keeps in step with the frames: the Type, Channel and Slope
// the chains run (recorded at the last coefficient update), the state of a dynamic stage
// fading out, the listen ramp, and the detector's cached design inputs.
struct BandRuntime {
  int type = 0, channel = 0, slope = 0;
  int previousDynamicType = 0; // Type of the dynamic chain's previous pair
  int fadeDelay = 0;           // frames before a fading dynamic stage starts to fall
  float fadeWeight = 0;        // 1 while waiting, then down to 0; 0 when nothing fades
  double listenRamp = 0;       // 0..1, follows Enabled x Listen over 5 ms
  DesignInputs detectorInputs, ballisticInputs;
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

// Values given "per frame" are one per frame; all others are pairs (left, right) per frame.
struct ChunkBuffers {
  std::vector<float> input;          // sanitized input
  std::vector<double> programme;     // trimmed input: the chains', FIR's and detectors'
  std::vector<double> sidechain;     // sanitized sidechain
  std::vector<double> sidechainGain; // per frame
  std::vector<double> link;          // per frame, Stereo Link x 0.01
  std::vector<double> mix;           // Mix x 0.01, the same in both channels
  std::vector<double> outputGain;    // the same in both channels
  std::vector<float> listen;         // listen signal entering the listen delay
  std::vector<double> listenMix;     // the listen sum clamped to 0..1, the same in both channels
  std::vector<double> chain;         // static chain output
  std::vector<float> dry, eq, heard; // delayed dry, static chain and listen
  std::vector<float> firOut;         // FIR output
  std::vector<double> wet;           // phase blend, then the dynamic chain
  std::vector<float> out;            // final output
  std::array<UpdatePoint, kMaxUpdatesPerChunk + 1> updates;
  // The smoothed parameters at each update. An array whose stamp equals the engine's settled
  // stamp differs from the smoothed values only in those on the moving list.
  std::array<ParamSnapshot, kMaxUpdatesPerChunk + 1> updateParams;
  std::array<std::uint32_t, kMaxUpdatesPerChunk + 1> updateParamsStamp{};
  int updateCount = 0;
  int analysisFrame = -1; // frame of the chunk after which the analyzer runs, or -1
  WetEqCurveInputs curve; // gathered at the analysis frame
  bool externalInUse = false;
  float inputPeak = 0;
};

struct EngineState {
  double sampleRate = 48000;
  double c20 = 0, a10 = 0, c5 = 0, c3 = 0; // smoothing 20 ms, detector 10 ms, ramps 5 and 3 ms
  // (1 - c20)^n for n = 0 .. kChunkFrames: the part of a smoothed value's distance to its
  // target that n frames of smoothing leave (products of the factor, the same on every machine).
  std::array<double, kChunkFrames + 1> smoothingRemains{};
  std::array<std::uint8_t, kNumParams> discrete{};

  ParamSnapshot target{}; // last sanitized snapshot
  std::array<double, kNumParams> smoothed{};
  ParamSnapshot smoothedF{}; // float copy read by all processing
  // Continuous parameters still moving towards their targets, and whether the discrete ones
  // still have to take theirs (at the next frame).
  std::array<std::int16_t, kNumParams> moving{};
  int movingCount = 0;
  bool discretePending = false;
  // Changes whenever a smoothed value changes other than while it is on the moving list: a
  // discrete value takes its target, a value settles or leaves the list, everything is reset.
  std::uint32_t settledStamp = 1;
  // Bit b: some parameter a design of band b reads (one of its own, or Scale) changed since the
  // last coefficient update. Designs look only at the bands marked.
  std::uint32_t changedBands = 0;
  // Bit b: band b's Frequency or Q, Scale or a discrete value changed since the last coefficient
  // update: the band's live dynamic filter may need a new design.
  std::uint32_t changedDynamicBands = 0;
  // Bit b: band b's Frequency, Q, Attack or Release changed since the last coefficient update.
  std::uint32_t changedDetectorBands = 0;

  std::array<BandRuntime, kNumBands> bands{};
  DetectorLanes detectors;
  BandChain staticChain{BandChain::Kind::kStatic};
  BandChain dynamicChain{BandChain::Kind::kDynamic};

  double phaseBlend = 0, bypassBlend = 0, deltaBlend = 0;
  CachedGain inputGain, outputGain, sidechainGain;

  StereoDelay dryDelay, staticDelay, listenDelay;
  std::vector<float> gainDelay; // kFixedLatency rows of kLanes dynamic gains
  int writePos = 0;             // shared position p, 0..4351

  std::uint32_t updateCounter = 0; // coefficient update when a multiple of 16
  int firPos = 0;                  // q, 0..255
  int analyzerCountdown = 0;       // frames since the last analysis, 0..1023

  LinearPhaseFir fir;
  SpectrumAnalyzer analyzer;
  std::array<float, kDisplayPoints> displayGrid{};
  AppliedCurves curves;

  ChunkBuffers chunk;

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

  ChainContext Chains() const { return {sampleRate, c5, 1.0 / (0.005 * sampleRate)}; }
};

} // namespace coral
