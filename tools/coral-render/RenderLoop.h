#pragma once
// The renderer's host: drives the plug-in object over a whole file exactly as an audio host
// would drive it over a stream.

#include <cstdint>
#include <functional>
#include <string>

namespace coral {
class CoralSieve;
}

namespace coral::render {

class SoundFileReader;
class SoundFileWriter;

struct RenderSettings {
  int blockSize = 512;    // host block in frames, 1..8192
  bool compensate = true; // drop the latency so OUTPUT lines up with INPUT
};

// Called after every host block with the frames processed so far (including the silence
// fed after the end of INPUT) and the expected total (0 when INPUT's length is unknown).
// Answers false to stop the render.
using ProgressFn = std::function<bool(std::int64_t done, std::int64_t total)>;

enum class RenderOutcome { Done, Failed, Stopped };

// Sets sample rate (INPUT's), block size and channel connections on `plug` (INPUT's channel
// count in and out; input channels 2 and 3 and the sidechain flag when `sidechain` is given),
// resets it, then calls the block entry in blocks of settings.blockSize frames until INPUT is
// used up. With compensation, latency-many frames of silence follow INPUT and the first
// latency-many output frames are dropped; without it output frame n is the block entry's
// frame n. OUTPUT always gets as many frames as INPUT had. The sidechain is cut or padded
// with silence to INPUT's length; a mono sidechain feeds both auxiliary channels.
// The caller has applied every setting and checked that the files match (1 or 2 channels,
// equal sample rates). Failed sets `error`.
RenderOutcome Render(CoralSieve& plug, SoundFileReader& input, SoundFileReader* sidechain,
                     SoundFileWriter& output, const RenderSettings& settings,
                     const ProgressFn& progress, std::string& error);

} // namespace coral::render
