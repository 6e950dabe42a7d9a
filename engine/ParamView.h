#pragma once
// Typed read access to a sanitized parameter array (216 plain values in index order): the
// engine reads band settings through BandView rather than by raw index, and every on/off
// setting answers the same "> 0.5" test in one place.

#include "engine/ParamTable.h"

namespace coral {

// A gain in dB scaled by the Scale parameter (in %): gainDb x scale x 0.01. The one formula
// for a band's static gain (its Gain) and its live dynamic gain (the delayed detector gain).
constexpr double ScaledGainDb(double gainDb, double scalePercent) {
  return gainDb * scalePercent * 0.01;
}

class BandView {
public:
  BandView(const float* params, int band) : p_(params + BandParamIndex(band, 0)) {}

  bool Enabled() const { return p_[kEnabled] > 0.5f; }
  int Type() const { return int(p_[kType]); }
  float Frequency() const { return p_[kFrequency]; }
  float Gain() const { return p_[kGain]; }
  float Q() const { return p_[kQ]; }
  int Slope() const { return int(p_[kSlope]); }
  bool Dynamic() const { return p_[kDynamic] > 0.5f; }
  float Threshold() const { return p_[kThreshold]; }
  float Ratio() const { return p_[kRatio]; }
  float Knee() const { return p_[kKnee]; }
  float Attack() const { return p_[kAttack]; }
  float Release() const { return p_[kRelease]; }
  float Range() const { return p_[kRange]; }
  bool Upward() const { return p_[kDirection] > 0.5f; }
  bool External() const { return p_[kDetector] > 0.5f; }
  int Channel() const { return int(p_[kChannel]); }
  bool Listen() const { return p_[kListen] > 0.5f; }

private:
  const float* p_;
};

class ParamView {
public:
  explicit ParamView(const float* params) : p_(params) {}

  BandView Band(int band) const { return BandView(p_, band); }
  bool LinearPhase() const { return p_[kPhase] > 0.5f; }
  float Scale() const { return p_[kScale]; }
  bool Bypass() const { return p_[kBypass] > 0.5f; }
  bool AnalyzerOn() const { return p_[kAnalyzer] >= 0.5f; }
  int AnalyzerSpeed() const { return int(p_[kAnalyzerSpeed]); }

  // A band's static gain in dB: Gain x Scale x 0.01.
  double StaticGainDb(int band) const { return ScaledGainDb(Band(band).Gain(), Scale()); }

private:
  const float* p_;
};

} // namespace coral
