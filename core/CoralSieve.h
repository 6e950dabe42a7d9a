#pragma once
// The equaliser plug-in object: owns the 216 parameters (through its bases), the signal
// engine and the A/B comparison state; the host's audio thread enters it once per block.
//
// Threads: the user-interface thread constructs the object and runs the parameter writes,
// the A/B switch, COPY, recipes and the state operations. The audio thread runs
// ProcessBlock and reads every parameter atomically at the start of each block. OnReset and
// OnActivate run on the host's reset path, never concurrently with ProcessBlock. No lock is
// taken: parameter values, the stored A/B slot, the recipe index and the flags are atomics
// written element by element, so a block that begins during a multi-parameter update may see
// part of the old and part of the new settings.
//
// Parameter-change notifications need no override: the engine takes all 216 values at the
// start of every block.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "core/IPluginApp.h"
#include "engine/EqEngine.h"

namespace coral {

class CoralSieve final : public reef::IPluginApp {
public:
  // The editor's logical size and the range of its draw scale.
  static constexpr int kEditorWidth = 1180;
  static constexpr int kEditorHeight = 800;
  static constexpr float kMinEditorScale = 0.85f;
  static constexpr float kMaxEditorScale = 1.5f;
  // The product's version: major << 16 | minor << 8 | patch (0.1.0).
  static constexpr int kVersion = 0x00000100;

  // `editor` gives the plug-in its editor (graphics factory and layout); without it the
  // plug-in has none (the offline renderer, tests).
  explicit CoralSieve(const reef::InstanceInfo& info, reef::IEditorHooks editor = {});
  ~CoralSieve() override;

  // A genuine auxiliary input (channels 2 and 3) is attached: the block entry then passes it
  // to the engine as the sidechain. The standalone application never sets it.
  void SetSidechainConnected(bool connected) { sidechainConnected_.store(connected); }

  // Host sample rate (48000 when not finite or not positive) → engine prepared, latency
  // 4352 reported, plug-in active. Allocates.
  void OnReset() override;
  // Activation as OnReset; deactivation only clears the active mark.
  void OnActivate(bool active) override;
  bool IsActive() const { return active_.load() != 0; }

  // The block entry: parameters to the engine, then the block in chunks of at most 512
  // frames. One connected input feeds both engine inputs, none feeds silence; one connected
  // output receives the average of the engine's two outputs, otherwise outputs 0 and 1 get
  // left and right and every further output silence. While not active every connected
  // output is silent. Null channel pointers count as unconnected. Allocates nothing.
  void ProcessBlock(reef::sample** inputs, reef::sample** outputs, int nFrames) override;

  const EqEngine& Engine() const { return engine_; }

  // The window holding the editor is `width` x `height` pixels: the editor keeps its
  // 1180 x 800 logical size and takes the draw scale that fits, kept within 0.85..1.5; when
  // the fit lies outside that range the platform window is resized to the clamped size.
  // Ignored while a rescale is in progress, without an editor holding controls, for a
  // non-positive size or an unusable screen scale.
  void OnParentWindowResize(int width, int height) override;

  // State chunk for hosts that keep plug-in state, and the factory presets' content.
  bool SerializeState(reef::IByteChunk& chunk) const override;
  int UnserializeState(const reef::IByteChunk& chunk, int startPos) override;

  // The A/B button: shown and stored settings change places and the A/B flag inverts.
  void SwitchAB();
  // The COPY button: the stored slot takes the shown settings.
  void CopyToStoredSlot();
  // Every parameter takes recipe `index` (ignored outside 0..31); the stored slot and the
  // A/B flag are untouched.
  void ApplyRecipe(int index);
  // The first recipe that the shown settings equal, or -1 ("Custom").
  int FindMatchingRecipe() const;

  // The shown settings: each parameter's value in single precision.
  ParamSnapshot CurrentValues() const;
  // A copy of the stored A/B slot.
  ParamSnapshot StoredValues() const;
  int GetSelectedRecipe() const { return static_cast<int>(recipeIndex_.load()); }
  // 0 while slot A is shown, 1 while slot B is shown.
  int GetABFlag() const { return abFlag_.load(); }

private:
  void Activate();
  // Sets every parameter from `values` (SetValue) and sends each normalized value to the
  // editor, in index order.
  void ShowValues(const ParamSnapshot& values);

  using WorkBuffer = std::array<float, kChunkFrames>;

  EqEngine engine_;
  std::array<std::atomic<float>, kNumParams> stored_;
  std::atomic<std::uint32_t> recipeIndex_{0};
  std::atomic<std::uint8_t> abFlag_{0};
  std::atomic<std::uint8_t> active_{0};
  std::atomic<bool> sidechainConnected_{false};
  bool resizing_ = false; // the editor-resize guard

  // Audio-thread scratch of the block entry.
  ParamSnapshot blockParams_{};
  std::array<WorkBuffer, 4> work_{}; // input left, input right, sidechain left, sidechain right
  std::array<WorkBuffer, 2> engineOut_{};
};

// Creates the plug-in object under the one process-wide lock.
std::unique_ptr<CoralSieve> MakePlugin(const reef::InstanceInfo& info,
                                       reef::IEditorHooks editor = {});

} // namespace coral
