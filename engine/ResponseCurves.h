#pragma once
// Transfer curves for display. Applied curves are computed by the engine on the audio
// thread from what is running (AppliedCurves.h); target curves are computed on the editor
// thread from a parameter snapshot. Every curve is a RowEnergy of a 2x2 response matrix, in dB.

#include "engine/BandFilter.h"
#include "engine/ChannelMatrix.h"
#include "engine/ParamTable.h"

namespace coral {

// Response matrix at `frequency` Hz (clamped to 0..sampleRate/2) of the enabled bands of
// `params`, given their designed cascades: each band left-multiplies its ChannelMatrix in
// slot order. `onlyBand` >= 0 restricts the product to that band; `magnitudeOnly` replaces
// each band's H by |H|.
Matrix2 AnalyticResponse(const BiquadCascade (&cascades)[kNumBands], const float* params,
                         double frequency, double sampleRate, int onlyBand = -1,
                         bool magnitudeOnly = false) noexcept;

// Target curve of the whole static EQ at `frequency` Hz for output `row` (0 left, 1 right),
// in dB. Minimum-phase snapshots use the analytic biquads; linear-phase snapshots use the
// finite-window kernels of a per-thread cache rebuilt only when its key changes.
// Editor thread; the first linear-phase call on a thread allocates its cache.
double TargetCurvePoint(double frequency, const ParamSnapshot& snapshot, double sampleRate,
                        int row);

// The same for band `band` (0..11) alone; any other band index gives 0 dB.
double BandCurvePoint(int band, double frequency, const ParamSnapshot& snapshot, double sampleRate,
                      int row);

} // namespace coral
