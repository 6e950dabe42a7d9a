#pragma once
// The analysis graph as a PNG image: the measured input and output spectra on a -96..0 dBFS
// axis (right) and the static and current EQ curves on the Graph Range axis (left,
// +-12/24/36 dB), over the editor graph's logarithmic frequency axis from 20 Hz to
// min(0.49 x sample rate, 20 kHz). The static EQ is computed from the band designs at every
// pixel column and at each band's frequency; the current EQ adds the live dynamic gain that
// the engine publishes.

#include <string>
#include <vector>

#include "tools/coral-render/Report.h"

namespace coral::render {

inline constexpr int kPlotWidth = 1200;
inline constexpr int kPlotHeight = 700;

// PNG bytes of the graph of `data`, captioned `title`; empty with `error` set when Cairo
// fails.
std::vector<unsigned char> PlotPng(const PublishedData& data, const std::string& title,
                                   std::string& error);

} // namespace coral::render
