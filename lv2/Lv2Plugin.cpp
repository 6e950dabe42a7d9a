#include "lv2/Lv2Plugin.h"

#include <lv2/atom/atom.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/StateChunk.h"

namespace coral::lv2 {
namespace {

constexpr int kInputChannels = 4; // main left, right, sidechain left, right
constexpr int kOutputChannels = 2;
constexpr int kSidechainFirst = 2;

const LV2_URID_Map* FindUridMap(const LV2_Feature* const* features) {
  for (; features && *features; ++features) {
    if (std::strcmp((*features)->URI, LV2_URID__map) == 0) {
      return static_cast<const LV2_URID_Map*>((*features)->data);
    }
  }
  return nullptr;
}

bool SameBits(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

} // namespace

Lv2Plugin::Lv2Plugin(double sampleRate, const LV2_Feature* const* features)
    : plug_(MakePlugin(reef::InstanceInfo{})),
      pieces_(std::size_t(kInputChannels + kOutputChannels) * kMaxPieceFrames, 0.0) {
  if (const LV2_URID_Map* map = FindUridMap(features)) {
    stateKey_ = map->map(map->handle, kStateKeyUri);
    chunkType_ = map->map(map->handle, LV2_ATOM__Chunk);
  }
  plug_->SetSampleRate(sampleRate);
  plug_->SetBlockSize(kMaxPieceFrames);
  plug_->SetChannelConnections(reef::kOutput, 0, kOutputChannels, true);
  for (int i = 0; i < kNumParams; ++i) {
    lastControls_[i] = static_cast<float>(plug_->GetParam(i)->Value());
  }
}

void Lv2Plugin::ConnectPort(std::uint32_t port, void* data) noexcept {
  if (port < kNumParams) {
    controls_[port] = static_cast<const float*>(data);
  } else if (port <= kPortInRight) {
    audioIn_[port - kPortInLeft] = static_cast<const float*>(data);
  } else if (port <= kPortOutRight) {
    audioOut_[port - kPortOutLeft] = static_cast<float*>(data);
  } else if (port <= kPortSidechainRight) {
    audioIn_[kSidechainFirst + port - kPortSidechainLeft] = static_cast<const float*>(data);
  } else if (port == kPortLatency) {
    latency_ = static_cast<float*>(data);
  }
}

void Lv2Plugin::ApplyControlPorts() noexcept {
  for (int i = 0; i < kNumParams; ++i) {
    if (!controls_[i]) continue;
    const float value = *controls_[i];
    if (SameBits(value, lastControls_[i])) continue;
    lastControls_[i] = value;
    plug_->GetParam(i)->SetValue(value);
  }
}

void Lv2Plugin::Activate() {
  ApplyControlPorts();
  plug_->OnActivate(true);
}

void Lv2Plugin::Deactivate() {
  plug_->OnActivate(false);
}

void Lv2Plugin::Run(std::uint32_t frames) noexcept {
  if (latency_) *latency_ = static_cast<float>(plug_->GetLatency());
  ApplyControlPorts();

  for (int c = 0; c < kInputChannels; ++c) {
    plug_->SetChannelConnections(reef::kInput, c, 1, audioIn_[c] != nullptr);
  }
  plug_->SetSidechainConnected(audioIn_[kSidechainFirst] != nullptr);

  std::array<reef::sample*, kInputChannels> inputs{};
  std::array<reef::sample*, kOutputChannels> outputs{};
  for (int c = 0; c < kInputChannels; ++c) {
    inputs[c] = audioIn_[c] ? &pieces_[std::size_t(c) * kMaxPieceFrames] : nullptr;
  }
  for (int c = 0; c < kOutputChannels; ++c) {
    outputs[c] =
        audioOut_[c] ? &pieces_[std::size_t(kInputChannels + c) * kMaxPieceFrames] : nullptr;
  }

  // All inputs of a piece are read before any output is written, so a host may process in
  // place.
  for (std::uint32_t start = 0; start < frames; start += kMaxPieceFrames) {
    const int piece = static_cast<int>(std::min<std::uint32_t>(frames - start, kMaxPieceFrames));
    for (int c = 0; c < kInputChannels; ++c) {
      if (inputs[c]) std::copy_n(audioIn_[c] + start, piece, inputs[c]);
    }
    plug_->ProcessBlock(inputs.data(), outputs.data(), piece);
    for (int c = 0; c < kOutputChannels; ++c) {
      if (!outputs[c]) continue;
      float* out = audioOut_[c] + start;
      for (int i = 0; i < piece; ++i) out[i] = static_cast<float>(outputs[c][i]);
    }
  }
}

LV2_State_Status Lv2Plugin::Save(LV2_State_Store_Function store, LV2_State_Handle handle) const {
  reef::IByteChunk chunk;
  plug_->SerializeState(chunk);
  return store(handle, stateKey_, chunk.GetData(), std::size_t(chunk.Size()), chunkType_,
               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Lv2Plugin::Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
  std::size_t size = 0;
  std::uint32_t type = 0;
  std::uint32_t flags = 0;
  const void* data = retrieve(handle, stateKey_, &size, &type, &flags);
  reef::IByteChunk chunk;
  if (!data) {
    BuildStateChunk(chunk, DefaultSnapshot(), DefaultSnapshot(), 0, 0);
  } else if (type != chunkType_) {
    return LV2_STATE_ERR_BAD_TYPE;
  } else if (size != std::size_t(kStateChunkSize)) {
    return LV2_STATE_ERR_UNKNOWN;
  } else {
    chunk.PutBytes(data, kStateChunkSize);
  }
  return plug_->UnserializeState(chunk, 0) >= 0 ? LV2_STATE_SUCCESS : LV2_STATE_ERR_UNKNOWN;
}

} // namespace coral::lv2
