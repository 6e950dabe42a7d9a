#include "core/IPluginBase.h"

#include <algorithm>

namespace reef {

IPluginBase::IPluginBase(const IPluginConfig& config)
    : ICanvasEditorDelegate(config.nParams), config_(config),
      presets_(static_cast<std::size_t>(std::max(config.nPresets, 0))) {
  SetEditorSize(config.plugWidth, config.plugHeight);
  SetSizeConstraints(config.plugMinWidth, config.plugMaxWidth, config.plugMinHeight,
                     config.plugMaxHeight);
}

IPluginBase::~IPluginBase() = default;

int IPluginBase::GetPluginVersion(bool decimal) const {
  const int packed = config_.vendorVersion;
  if (!decimal) return packed;
  const int major = (packed >> 16) & 0xFFFF;
  const int minor = (packed >> 8) & 0xFF;
  const int patch = packed & 0xFF;
  return major * 10000 + minor * 100 + patch;
}

void IPluginBase::SetHost(std::string_view name, int version) {
  hostName_ = name;
  hostVersion_ = version;
}

void IPluginBase::OnParamChange(int paramIdx, EParamSource, int) {
  OnParamChange(paramIdx);
}

void IPluginBase::OnParamChange(int) {}

void IPluginBase::OnParamReset(EParamSource source) {
  for (int i = 0; i < NParams(); ++i) OnParamChange(i, source, -1);
}

bool IPluginBase::OnHostRequestingAboutBox() {
  return false;
}

bool IPluginBase::OnHostRequestingProductHelp() {
  return false;
}

const char* IPluginBase::GetPresetName(int idx) const {
  if (idx < 0 || idx >= NPresets() || !presets_[idx].initialized) return "";
  return presets_[idx].name.c_str();
}

const IByteChunk* IPluginBase::GetPresetChunk(int idx) const {
  if (idx < 0 || idx >= NPresets() || !presets_[idx].initialized) return nullptr;
  return &presets_[idx].chunk;
}

bool IPluginBase::MakePresetFromChunk(std::string_view name, const IByteChunk& chunk) {
  for (Preset& preset : presets_) {
    if (preset.initialized) continue;
    preset.initialized = true;
    preset.name = name;
    preset.chunk = chunk;
    return true;
  }
  return false;
}

bool IPluginBase::RestorePreset(int idx) {
  const IByteChunk* chunk = GetPresetChunk(idx);
  return chunk && UnserializeState(*chunk, 0) >= 0;
}

} // namespace reef
