#pragma once
// The EQ graph's plot and its three axes as pure functions: the logarithmic frequency axis
// from 20 Hz to the graph limit, the transfer axis of +/- the display range in dB, and the
// fixed spectrum axis from -96 dBFS (plot bottom) to 0 dBFS (plot top). Coordinates are
// logical canvas pixels of the 1180 x 800 editor.
//
// Threads: any (no state).

namespace coral {

// The plot area inside the graph panel.
inline constexpr double kPlotLeft = 70.0;
inline constexpr double kPlotTop = 169.0;
inline constexpr double kPlotRight = 1013.0;
inline constexpr double kPlotBottom = 423.0;
inline constexpr double kPlotWidth = kPlotRight - kPlotLeft; // 943
inline constexpr double kPlotCentreY = 296.0;
inline constexpr double kPlotHalfHeight = 127.0;

inline constexpr double kGraphLowestHz = 20.0;
inline constexpr double kGraphHighestHz = 20000.0;
inline constexpr double kSpectrumFloorDbfs = -96.0;

// The sample rate the graph works with: `sampleRate` when finite and at least 8000 Hz, else
// 48000 (also before the engine has published one).
double EffectiveSampleRate(double sampleRate);
// The graph limit in Hz at an effective sample rate: min(0.49 x rate, 20000).
double GraphLimit(double effectiveSampleRate);
// The display range R in dB from the Graph Range value: rounded toward zero, clamped to 0..2,
// giving 12, 24 or 36 dB.
double DisplayRangeDb(double graphRange);

// x of display point `point` (0..255): the points lie evenly across the plot.
double PointX(int point);
// y of a spectrum level in dBFS, clamped to the plot.
double SpectrumToY(double dbfs);

// The two settings the frequency and transfer axes depend on.
struct GraphAxes {
  double graphLimitHz = 20000.0; // fmax
  double rangeDb = 12.0;         // R

  // The axes for a sample rate as the engine publishes it and a Graph Range value.
  static GraphAxes For(double sampleRate, double graphRange);

  // Frequencies below 20 Hz sit on the left edge, above the graph limit on the right edge.
  double FrequencyToX(double hz) const;
  // x clamped to the plot, mapped back onto 20 Hz .. graph limit.
  double XToFrequency(double x) const;
  // The frequency of display point `point` (0..255): the same axis sampled at point / 255.
  double PointFrequency(int point) const;
  // dB clamped to +/- R, mapped onto the plot height.
  double DbToY(double db) const;
  double YToDb(double y) const;

private:
  double FrequencyAt(double t) const;
};

} // namespace coral
