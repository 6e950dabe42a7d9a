#pragma once
// The twelve bands laid out as 24 lanes for the vector kernels: band b's left (or mid) signal
// in lane 2b, its right (or side) signal in lane 2b + 1. Coefficients, filter states and ramps
// are kept as structures of arrays, one value per lane, so one vector operation advances
// several bands at once. Coefficients and states are separate arrays: a coefficient update
// never touches a state, and a structural change moves states without redesigning.
//
// All values are double precision. Audio thread only.

#include <array>
#include <cstdint>

#include "engine/BandFilter.h"
#include "engine/ParamTable.h"

namespace coral {

inline constexpr int kLanes = 2 * kNumBands;
inline constexpr std::uint32_t kAllBands = (1u << kNumBands) - 1; // a bit per band

constexpr int LaneOf(int band, int channel) {
  return 2 * band + channel;
}

struct alignas(64) LaneValues {
  double v[kLanes] = {};
  double& operator[](int lane) { return v[lane]; }
  double operator[](int lane) const { return v[lane]; }
  void Fill(double x) {
    for (double& d : v) d = x;
  }
  // Sets both lanes of `band`.
  void SetBand(int band, double x) { v[2 * band] = v[2 * band + 1] = x; }
};

// The coefficients of one section slot in every lane.
struct SectionLanes {
  LaneValues b0, b1, b2, a1, a2;
};

// The transposed direct form II states of one section slot in every lane.
struct StateLanes {
  LaneValues s1, s2;
};

// One cascade per lane: the coefficients of its section slots and how many it uses.
struct CascadeLanes {
  SectionLanes coefficients[kMaxSections];
  LaneValues count; // sections in use

  // Writes `cascade`'s section count and the coefficients of its sections into `lane` (the
  // lane never reads sections beyond its count).
  void SetCascade(int lane, const BiquadCascade& cascade) noexcept;
};

// One cascade per lane, how it is routed, and its states: a band's pair of cascades.
struct PairLanes : CascadeLanes {
  StateLanes states[kMaxSections];
  LaneValues
      filtered; // 1 where the lane's cascade runs (Stereo: both; Left, Mid: 0; Right, Side: 1)
  LaneValues midSide; // 1 in both lanes of a Mid or Side band: the pair runs on (mid, side)
  LaneValues present; // 1 where the band has this pair at all

  // Routes band `band` by Channel mode `channel` (ChannelMode).
  void SetRouting(int band, int channel) noexcept;
  void ClearStates(int band) noexcept;
  // Copies coefficients, states and routing of `band` from `from`.
  void CopyBand(const PairLanes& from, int band) noexcept;
  // Copies the section count of `band` from `from`, and the coefficients of the sections it
  // uses (a lane never reads a section beyond its count); answers whether the count changed.
  bool CopyCoefficients(const CascadeLanes& from, int band) noexcept;
};

// Detector, envelope and gain computer of every band, one lane per band and channel.
struct DetectorLanes {
  SectionLanes filter; // one band pass section
  StateLanes state;
  LaneValues envelope; // mean square
  LaneValues gain;     // current dynamic gain, dB
  LaneValues attack, release;
  LaneValues external; // 1 where the band detects the sidechain in this chunk
  LaneValues mid;      // 1 in both lanes of a Mid band: both detect (L + R) / 2
  LaneValues side;     // 1 in both lanes of a Side band: both detect (L - R) / 2
  LaneValues active;   // 1 where the band's gain computer runs
  LaneValues upward;   // 1 for Direction Upward Boost
  LaneValues threshold, ratioFactor, range, knee; // r = 1 - 1 / Ratio in single precision
  LaneValues detected;                            // band-limited detector signal of the last frame
  LaneValues linked;                              // linked mean square of the last frame
  LaneValues delayedGain; // gain read back from the gain delay at the last frame, dB
  // Rows of the gain delay, counted back from the next one to write, that hold +0 in every
  // lane (up to the delay's length): once all of them do, a run whose gains stay +0 need not
  // touch the delay at all.
  int quietRows = 0;
};

} // namespace coral
