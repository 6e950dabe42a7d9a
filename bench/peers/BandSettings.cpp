#include "bench/peers/BandSettings.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

namespace coral::peers {

namespace {

float LinearGain(float db) {
  return std::pow(10.0f, db / 20.0f);
}

// The x42 bandwidth controls do not follow the cookbook's octave definition. The mapping was
// found by fitting the plug-in's measured impulse response at 48 kHz to our sections: a bell
// control of kFil4BellFactor * sin(w0) / (w0 * Q), w0 = 2 pi f / 48000, matches our bell of
// quality Q within 0.002 dB (fitted at 1, 2.5 and 6 kHz, Q 0.5 to 4); a shelf control of
// kFil4ShelfAtButterworth matches our shelf at Q 0.7071 within 0.02 dB for gains up to +-12 dB.
// The shelf control has no simple relation to Q, so only that Q is mapped.
constexpr double kFil4BellFactor = 0.4488;
constexpr float kFil4ShelfAtButterworth = 1.115f;
constexpr float kButterworthQ = 0.7071f;

} // namespace

std::vector<Band> SixBandSetting() {
  return {
      {kLowShelf, 100, 3.0f, kButterworthQ},
      {kBell, 250, -4.0f, 1.0f},
      {kBell, 800, 2.5f, 1.4f},
      {kBell, 2500, -3.0f, 2.0f},
      {kBell, 6000, 4.0f, 1.0f},
      {kHighShelf, 10000, -2.0f, kButterworthQ},
  };
}

std::vector<Band> TwelveBellSetting() {
  static constexpr float kGains[] = {-3, 4, -2, 3, -4, 2};
  static constexpr float kQs[] = {1.0f, 1.4f, 0.7f, 2.0f};
  std::vector<Band> bands;
  for (int i = 0; i < kNumBands; ++i) {
    const float f = 40.0f * std::pow(16000.0f / 40.0f, float(i) / float(kNumBands - 1));
    bands.push_back({kBell, std::round(f), kGains[i % 6], kQs[i % 4]});
  }
  return bands;
}

ParamSnapshot CoralSettings(std::span<const Band> bands, int phase, bool analyzer) {
  ParamSnapshot p = DefaultSnapshot();
  p[kPhase] = float(phase);
  p[kAnalyzer] = analyzer ? 1.0f : 0.0f;
  for (int b = 0; b < kNumBands; ++b) {
    const bool used = std::size_t(b) < bands.size();
    p[BandParamIndex(b, kEnabled)] = used ? 1.0f : 0.0f;
    if (!used) continue;
    p[BandParamIndex(b, kType)] = float(bands[b].type);
    p[BandParamIndex(b, kFrequency)] = bands[b].frequency;
    p[BandParamIndex(b, kGain)] = bands[b].gainDb;
    p[BandParamIndex(b, kQ)] = bands[b].q;
  }
  return p;
}

// LSP port mapping, band k = 0..15:
//   ft_k  filter type: 1 "Bell", 5 "Lo-shelf", 3 "Hi-shelf"; unused bands stay 0 "Off";
//   fm_k  filter mode 6 "APO (DR)": the cookbook second-order forms, whose Q means what ours
//         does for bells and shelves alike (its measured response at 48 kHz equals our
//         sections' within 0.001 dB);
//   s_k   slope 0 "x1": one second-order section, as ours;
//   f_k   frequency in Hz as is; g_k linear amplitude factor 10^(dB/20); q_k our Q as is.
// Globals: mode (0 IIR, 1 FIR) and fft 0 "Off"; gains, balance and shift at their defaults.
std::vector<ControlValue> LspSettings(std::span<const Band> bands, int mode) {
  std::vector<ControlValue> c{{"mode", float(mode)}, {"fft", 0.0f}};
  for (std::size_t k = 0; k < bands.size() && k < 16; ++k) {
    const Band& b = bands[k];
    const std::string n = std::to_string(k);
    const float type = b.type == kLowShelf ? 5.0f : b.type == kHighShelf ? 3.0f : 1.0f;
    c.push_back({"ft_" + n, type});
    c.push_back({"fm_" + n, 6.0f});
    c.push_back({"s_" + n, 0.0f});
    c.push_back({"f_" + n, b.frequency});
    c.push_back({"g_" + n, LinearGain(b.gainDb)});
    c.push_back({"q_" + n, b.q});
  }
  return c;
}

// x42 port mapping: the low shelf to LSsec/LSfreq/LSgain, the bells in ascending frequency to
// sections 1..4 (secN/freqN/gainN), the high shelf to HSsec/HSfreq/HSgain; gains in dB as is.
// Bandwidths: q1..q4 from kFil4BellFactor as above, LSq and HSq = kFil4ShelfAtButterworth (Q 0.7071
// only). High and low pass off, overall gain 0 dB, plug-in enabled. Frequencies and gains
// outside a section's range are rejected when the plug-in is created.
std::optional<std::vector<ControlValue>> Fil4Settings(std::span<const Band> bands) {
  std::vector<Band> bells;
  const Band* low = nullptr;
  const Band* high = nullptr;
  for (const Band& b : bands) {
    if (b.type == kBell) {
      bells.push_back(b);
    } else if (b.type == kLowShelf && !low && b.q == kButterworthQ) {
      low = &b;
    } else if (b.type == kHighShelf && !high && b.q == kButterworthQ) {
      high = &b;
    } else {
      return std::nullopt;
    }
  }
  if (bells.size() > 4) return std::nullopt;
  std::sort(bells.begin(), bells.end(),
            [](const Band& a, const Band& b) { return a.frequency < b.frequency; });

  std::vector<ControlValue> c{{"enable", 1.0f},
                              {"gain", 0.0f},
                              {"HighPass", 0.0f},
                              {"LowPass", 0.0f},
                              {"LSsec", low ? 1.0f : 0.0f},
                              {"HSsec", high ? 1.0f : 0.0f}};
  if (low) {
    c.push_back({"LSfreq", low->frequency});
    c.push_back({"LSgain", low->gainDb});
    c.push_back({"LSq", kFil4ShelfAtButterworth});
  }
  if (high) {
    c.push_back({"HSfreq", high->frequency});
    c.push_back({"HSgain", high->gainDb});
    c.push_back({"HSq", kFil4ShelfAtButterworth});
  }
  for (std::size_t i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i + 1);
    c.push_back({"sec" + n, i < bells.size() ? 1.0f : 0.0f});
    if (i >= bells.size()) continue;
    c.push_back({"freq" + n, bells[i].frequency});
    c.push_back({"gain" + n, bells[i].gainDb});
    const double w0 = 2.0 * std::numbers::pi * bells[i].frequency / kBenchRate;
    c.push_back({"q" + n, float(kFil4BellFactor * std::sin(w0) / (w0 * bells[i].q))});
  }
  return c;
}

} // namespace coral::peers
