#pragma once
// Sizes that the whole engine and its users share.

namespace coral {

inline constexpr int kFixedLatency = 4352; // samples: 4096 kernel centre + one 256-frame FIR block
inline constexpr int kChunkFrames = 512;   // frames of the largest Process call
inline constexpr int kDisplayPoints = 256; // points of DisplayGrid, spectra and curves

} // namespace coral
