#include "tools/coral-render/RenderLoop.h"

#include <algorithm>
#include <array>
#include <vector>

#include "core/CoralSieve.h"
#include "tools/coral-render/AudioFile.h"

namespace coral::render {
namespace {

constexpr int kMainChannels = 2;
constexpr int kSidechainFirst = 2; // auxiliary input channels 2 and 3

// Host-side channel buffers of one block.
struct ChannelBuffers {
  std::array<std::vector<reef::sample>, 2> channels;

  explicit ChannelBuffers(int frames) {
    for (auto& channel : channels) channel.assign(static_cast<std::size_t>(frames), 0.0);
  }

  // Copies `frames` interleaved frames of `count` channels into the channels, then zeroes
  // the channels up to `blockFrames`.
  void Fill(const std::vector<double>& interleaved, int count, int frames, int blockFrames) {
    for (int c = 0; c < count; ++c) {
      reef::sample* channel = channels[c].data();
      for (int i = 0; i < frames; ++i) channel[i] = interleaved[std::size_t(i) * count + c];
      std::fill(channel + frames, channel + blockFrames, 0.0);
    }
  }
};

} // namespace

RenderOutcome Render(CoralSieve& plug, SoundFileReader& input, SoundFileReader* sidechain,
                     SoundFileWriter& output, const RenderSettings& settings,
                     const ProgressFn& progress, std::string& error) {
  const int channels = input.Info().channels;
  const int sidechainChannels = sidechain ? sidechain->Info().channels : 0;
  const int block = settings.blockSize;
  const std::int64_t latency = settings.compensate ? kFixedLatency : 0;

  plug.SetSampleRate(input.Info().sampleRate);
  plug.SetBlockSize(block);
  plug.SetChannelConnections(reef::kInput, 0, plug.MaxNChannels(reef::kInput), false);
  plug.SetChannelConnections(reef::kOutput, 0, plug.MaxNChannels(reef::kOutput), false);
  plug.SetChannelConnections(reef::kInput, 0, channels, true);
  plug.SetChannelConnections(reef::kOutput, 0, channels, true);
  plug.SetChannelConnections(reef::kInput, kSidechainFirst, 2, sidechain != nullptr);
  plug.SetSidechainConnected(sidechain != nullptr);
  plug.OnReset();

  ChannelBuffers main(block), aux(block), out(block);
  std::vector<double> inInterleaved(std::size_t(block) * channels);
  std::vector<double> auxInterleaved(std::size_t(block) * std::max(sidechainChannels, 1));
  std::vector<double> outInterleaved(std::size_t(block) * channels);

  std::array<reef::sample*, 4> inputs{};
  inputs[0] = main.channels[0].data();
  inputs[1] = channels == kMainChannels ? main.channels[1].data() : nullptr;
  if (sidechain) {
    inputs[kSidechainFirst] = aux.channels[0].data();
    inputs[kSidechainFirst + 1] = aux.channels[sidechainChannels == 2 ? 1 : 0].data();
  }
  std::array<reef::sample*, 2> outputs{
      out.channels[0].data(), channels == kMainChannels ? out.channels[1].data() : nullptr};

  const std::int64_t expected = input.Info().frames > 0 ? input.Info().frames + latency : 0;
  bool inputEnded = false;
  bool sidechainEnded = sidechain == nullptr;
  std::int64_t tailLeft = latency;
  std::int64_t processed = 0;
  while (true) {
    int frames = 0;
    if (!inputEnded) {
      const std::int64_t got = input.Read(inInterleaved.data(), block, error);
      if (got < 0) return RenderOutcome::Failed;
      frames = static_cast<int>(got);
      inputEnded = frames < block;
    }
    int auxFrames = 0;
    if (!sidechainEnded && frames > 0) {
      const std::int64_t got = sidechain->Read(auxInterleaved.data(), frames, error);
      if (got < 0) return RenderOutcome::Failed;
      auxFrames = static_cast<int>(got);
      sidechainEnded = auxFrames < frames;
    }
    const int silence = static_cast<int>(std::min<std::int64_t>(block - frames, tailLeft));
    tailLeft -= silence;
    const int blockFrames = frames + silence;
    if (blockFrames == 0) break;

    main.Fill(inInterleaved, channels, frames, blockFrames);
    if (sidechain) aux.Fill(auxInterleaved, sidechainChannels, auxFrames, blockFrames);
    plug.ProcessBlock(inputs.data(), outputs.data(), blockFrames);

    const int skip =
        static_cast<int>(std::clamp<std::int64_t>(latency - processed, 0, blockFrames));
    const int keep = blockFrames - skip;
    for (int i = 0; i < keep; ++i) {
      for (int c = 0; c < channels; ++c) {
        outInterleaved[std::size_t(i) * channels + c] = out.channels[c][std::size_t(skip + i)];
      }
    }
    if (keep > 0 && !output.Write(outInterleaved.data(), keep, error)) return RenderOutcome::Failed;
    processed += blockFrames;
    if (progress && !progress(processed, std::max(expected, processed))) {
      return RenderOutcome::Stopped;
    }
  }
  return RenderOutcome::Done;
}

} // namespace coral::render
