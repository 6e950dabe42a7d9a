#pragma once
// One equaliser setting written once as band list, and its translation into the controls of
// CORAL SIEVE and of each peer. The translations aim at the same magnitude response on every
// side, so that each product does comparable work; see BandSettings.cpp for the mapping.

#include <optional>
#include <span>
#include <vector>

#include "bench/peers/Lv2Peer.h"
#include "engine/ParamTable.h"

namespace coral::peers {

// A band in CORAL SIEVE's own terms: Bell, Low Shelf or High Shelf, centre or corner frequency
// in Hz, gain in dB, and the Q of the cookbook second-order forms.
struct Band {
  FilterType type;
  float frequency;
  float gainDb;
  float q;
};

// Low shelf, four bells and a high shelf, inside every peer's frequency and gain ranges.
std::vector<Band> SixBandSetting();

// Twelve bells spread over the audio band with alternating cut and boost.
std::vector<Band> TwelveBellSetting();

// CORAL SIEVE: the bands in slots 1.. in order, every other slot disabled, static (no
// dynamics), Phase 0 "Minimum Phase" or 1 "Linear Phase FIR", Analyzer off or on.
ParamSnapshot CoralSettings(std::span<const Band> bands, int phase, bool analyzer);

// The 16-band stereo parametric equaliser of the LSP peer in `mode` (0 IIR, 1 FIR), analysis
// off, at most 16 bands.
std::vector<ControlValue> LspSettings(std::span<const Band> bands, int mode);

// The x42 peer's fixed layout (at most one low shelf, four bells and one high shelf, both pass
// filters off); nullopt when the bands do not fit that layout or use a shelf Q other than
// 0.7071, the only one mapped.
std::optional<std::vector<ControlValue>> Fil4Settings(std::span<const Band> bands);

} // namespace coral::peers
