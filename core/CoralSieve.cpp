#include "core/CoralSieve.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "core/Recipes.h"
#include "core/StateChunk.h"

namespace coral {

using reef::IByteChunk;
using reef::IParam;
using reef::sample;

namespace {

constexpr double kFallbackSampleRate = 48000.0;

reef::IPluginConfig MakeConfig() {
  reef::IPluginConfig config;
  config.nParams = kNumParams;
  config.nPresets = kNumRecipes;
  config.channelIOStr = "1-1 2-2 1.1-1 1.2-1 2.1-2 2.2-2";
  config.pluginName = "CORAL SIEVE";
  config.productName = "CORAL SIEVE";
  config.mfrName = "KESTRILAB";
  config.vendorVersion = CoralSieve::kVersion;
  config.uniqueID = reef::FourCharCode("CrSv");
  config.mfrID = reef::FourCharCode("Kstl");
  config.latency = kFixedLatency;
  config.plugDoesMidiIn = false;
  config.plugDoesMidiOut = false;
  config.plugDoesMPE = false;
  config.plugDoesChunks = true;
  config.plugType = reef::kEffect;
  config.plugHasUI = true;
  config.plugWidth = CoralSieve::kEditorWidth;
  config.plugHeight = CoralSieve::kEditorHeight;
  config.plugMinWidth = 393;
  config.plugMinHeight = 266;
  config.plugMaxWidth = 3540;
  config.plugMaxHeight = 2400;
  config.plugHostResize = true;
  config.bundleID = "";
  config.appGroupID = "";
  return config;
}

// Initialises `param` from its row of the parameter table.
void SetupFromTable(IParam& param, const ParamInfo& def) {
  switch (def.kind) {
  case ParamKind::Enum:
    param.SetupEnum(def.name, static_cast<int>(def.defaultValue),
                    {def.displayTexts, static_cast<std::size_t>(def.displayTextCount)});
    break;
  case ParamKind::Bool:
    param.SetupBool(def.name, def.defaultValue != 0.f, def.label, IParam::kFlagsNone, "",
                    def.displayTexts[0], def.displayTexts[1]);
    break;
  case ParamKind::Double:
    if (def.exponential) {
      param.SetupDouble(def.name, def.defaultValue, def.minimum, def.maximum, def.step, def.label,
                        IParam::kFlagsNone, "", reef::ShapeExp());
    } else {
      param.SetupDouble(def.name, def.defaultValue, def.minimum, def.maximum, def.step, def.label,
                        IParam::kFlagsNone, "", reef::ShapeLinear());
    }
    break;
  }
}

// Fills an engine input pair from `count` (0, 1 or 2) host channels at frame `start`: none
// gives silence, one feeds both sides.
void FillPair(const sample* const* channels, int count, int start, int frames, float* left,
              float* right) {
  if (count == 0) {
    std::fill_n(left, frames, 0.f);
    std::fill_n(right, frames, 0.f);
    return;
  }
  const sample* second = channels[count == 2 ? 1 : 0];
  for (int i = 0; i < frames; ++i) {
    left[i] = static_cast<float>(channels[0][start + i]);
    right[i] = static_cast<float>(second[start + i]);
  }
}

} // namespace

CoralSieve::CoralSieve(const reef::InstanceInfo& info, reef::IEditorHooks editor)
    : IPluginApp(MakeConfig(), info) {
  for (std::atomic<float>& value : stored_) value.store(0.f);
  recipeIndex_.store(0);
  abFlag_.store(0);
  active_.store(0);
  resizing_ = false;

  for (int i = 0; i < kNumParams; ++i) SetupFromTable(*GetParam(i), GetParamInfo(i));

  MakeRecipePresets(*this);

  const ParamSnapshot current = CurrentValues();
  for (int i = 0; i < kNumParams; ++i) stored_[i].store(current[i]);

  SetEditorHooks(std::move(editor));
}

void CoralSieve::OnParentWindowResize(int width, int height) {
  if (resizing_) return;
  reef::IEditorCanvas* canvas = GetCanvas();
  if (!canvas || canvas->NControls() == 0 || width <= 0 || height <= 0) return;
  const float screenScale = canvas->GetScreenScale();
  if (!std::isfinite(screenScale) || screenScale <= 0.f) return;
  resizing_ = true;
  const float fit = std::min(static_cast<float>(height) / (screenScale * kEditorHeight),
                             static_cast<float>(width) / (screenScale * kEditorWidth));
  const float scale = std::clamp(fit, kMinEditorScale, kMaxEditorScale);
  const bool clamped = fit < kMinEditorScale || fit > kMaxEditorScale;
  canvas->Resize(kEditorWidth, kEditorHeight, scale, clamped);
  resizing_ = false;
}

CoralSieve::~CoralSieve() {
  CloseWindow();
}

void CoralSieve::OnReset() {
  Activate();
}

void CoralSieve::OnActivate(bool active) {
  if (active) {
    Activate();
  } else {
    active_.store(0);
  }
}

void CoralSieve::Activate() {
  double sampleRate = GetSampleRate();
  if (!std::isfinite(sampleRate) || sampleRate <= 0.0) sampleRate = kFallbackSampleRate;
  blockParams_ = CurrentValues();
  engine_.SetParams(blockParams_);
  engine_.Prepare(sampleRate);
  SetLatency(kFixedLatency);
  active_.store(1);
}

void CoralSieve::ProcessBlock(sample** inputs, sample** outputs, int nFrames) {
  if (nFrames < 1) return;

  const auto usable = [this](sample** buffers, reef::ERoute direction, int channel) {
    return buffers && IsChannelConnected(direction, channel) && buffers[channel];
  };
  const int nInputs =
      usable(inputs, reef::kInput, 0) ? (usable(inputs, reef::kInput, 1) ? 2 : 1) : 0;
  const bool sidechain = sidechainConnected_.load() && usable(inputs, reef::kInput, 2);
  const int nSidechain = sidechain ? (usable(inputs, reef::kInput, 3) ? 2 : 1) : 0;
  const int maxOutputs = MaxNChannels(reef::kOutput);
  int nOutputs = 0;
  for (int c = 0; c < maxOutputs; ++c) nOutputs += usable(outputs, reef::kOutput, c) ? 1 : 0;

  if (!IsActive()) {
    for (int c = 0; c < maxOutputs; ++c) {
      if (usable(outputs, reef::kOutput, c)) std::fill_n(outputs[c], nFrames, 0.0);
    }
    return;
  }

  for (int i = 0; i < kNumParams; ++i) {
    blockParams_[i] = static_cast<float>(GetParam(i)->Value());
  }
  engine_.SetParams(blockParams_);

  const float* engineIn[2] = {work_[0].data(), work_[1].data()};
  const float* engineSidechain[2] = {work_[2].data(), work_[3].data()};
  float* engineOut[2] = {engineOut_[0].data(), engineOut_[1].data()};
  for (int start = 0; start < nFrames; start += kChunkFrames) {
    const int frames = std::min(kChunkFrames, nFrames - start);
    FillPair(inputs, nInputs, start, frames, work_[0].data(), work_[1].data());
    FillPair(inputs ? inputs + 2 : nullptr, nSidechain, start, frames, work_[2].data(),
             work_[3].data());
    engine_.Process(engineIn, engineOut, frames, engineSidechain, sidechain);

    for (int c = 0; c < maxOutputs; ++c) {
      if (!usable(outputs, reef::kOutput, c)) continue;
      sample* out = outputs[c] + start;
      if (nOutputs == 1) {
        for (int i = 0; i < frames; ++i)
          out[i] = 0.5 * (double(engineOut_[0][i]) + engineOut_[1][i]);
      } else if (c < 2) {
        std::copy_n(engineOut_[c].data(), frames, out);
      } else {
        std::fill_n(out, frames, 0.0);
      }
    }
  }
}

ParamSnapshot CoralSieve::CurrentValues() const {
  ParamSnapshot values;
  for (int i = 0; i < kNumParams; ++i) values[i] = static_cast<float>(GetParam(i)->Value());
  return values;
}

ParamSnapshot CoralSieve::StoredValues() const {
  ParamSnapshot values;
  for (int i = 0; i < kNumParams; ++i) values[i] = stored_[i].load();
  return values;
}

void CoralSieve::ShowValues(const ParamSnapshot& values) {
  for (int i = 0; i < kNumParams; ++i) {
    IParam* param = GetParam(i);
    param->SetValue(values[i]);
    SendParameterValueFromDelegate(i, param->GetNormalized(), true);
  }
}

bool CoralSieve::SerializeState(IByteChunk& chunk) const {
  BuildStateChunk(chunk, CurrentValues(), StoredValues(), recipeIndex_.load(), abFlag_.load());
  return true;
}

int CoralSieve::UnserializeState(const IByteChunk& chunk, int startPos) {
  StateContent content;
  if (!CheckStateChunk(chunk, startPos, content).accepted) return -1;
  ShowValues(content.current);
  for (int i = 0; i < kNumParams; ++i) stored_[i].exchange(content.stored[i]);
  recipeIndex_.exchange(content.recipeIndex);
  abFlag_.exchange(content.abFlag != 0 ? 1 : 0);
  return startPos + kStateChunkSize;
}

void CoralSieve::SwitchAB() {
  const ParamSnapshot current = CurrentValues();
  ParamSnapshot kept;
  for (int i = 0; i < kNumParams; ++i) kept[i] = stored_[i].exchange(current[i]);
  ShowValues(kept);
  abFlag_.exchange(abFlag_.load() != 0 ? 0 : 1);
}

void CoralSieve::CopyToStoredSlot() {
  const ParamSnapshot current = CurrentValues();
  for (int i = 0; i < kNumParams; ++i) stored_[i].exchange(current[i]);
}

void CoralSieve::ApplyRecipe(int index) {
  if (index < 0 || index >= kNumRecipes) return;
  ShowValues(GetRecipes()[index].values);
  recipeIndex_.exchange(static_cast<std::uint32_t>(index));
}

int CoralSieve::FindMatchingRecipe() const {
  return coral::FindMatchingRecipe(CurrentValues());
}

std::unique_ptr<CoralSieve> MakePlugin(const reef::InstanceInfo& info, reef::IEditorHooks editor) {
  static std::mutex creationLock;
  const std::lock_guard<std::mutex> guard(creationLock);
  return std::make_unique<CoralSieve>(info, std::move(editor));
}

} // namespace coral
