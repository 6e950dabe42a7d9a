#pragma once
// One instance of the equaliser as an LV2 host runs it: the plug-in object behind LV2's ports,
// activation and state interface.
//
// Ports: control input p carries parameter p; a port's value is applied to its parameter
// (SetValue: clamped, discrete values rounded, NaN gives the default) whenever it differs from
// the value last seen on that port, at activation and at the start of every run. So a value the
// host leaves alone never overwrites what a state restore set, and every control the host moves
// takes effect. Audio arrives as 32-bit floats and runs through the plug-in's block entry in
// pieces of at most kMaxPieceFrames frames.
//
// Threads (LV2's classes): construction, Activate, Deactivate and Restore belong to the
// instantiation class and may allocate; ConnectPort and Run to the audio class, which
// allocates nothing, takes no lock and does no I/O; Save may run concurrently with Run (it only
// reads atomics and allocates on its own thread).

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/CoralSieve.h"
#include "lv2/Lv2Layout.h"

namespace coral::lv2 {

class Lv2Plugin {
public:
  // Frames handed to the block entry per call; a longer host block is split.
  static constexpr int kMaxPieceFrames = 8192;

  // `features` may hold urid:map, which the state interface needs.
  Lv2Plugin(double sampleRate, const LV2_Feature* const* features);
  Lv2Plugin(const Lv2Plugin&) = delete;
  Lv2Plugin& operator=(const Lv2Plugin&) = delete;

  void ConnectPort(std::uint32_t port, void* data) noexcept;
  // Applies the control ports, then resets the plug-in object as a host reset does (engine
  // prepared at the instance's sample rate, latency 4352). Allocates.
  void Activate();
  // The plug-in object outputs silence until the next activation.
  void Deactivate();
  // One host block of `frames` frames (any count). Allocates nothing.
  void Run(std::uint32_t frames) noexcept;

  // False when the host gave no urid:map, which the state calls need.
  bool HasStateSupport() const { return stateKey_ != 0; }
  // Stores the state chunk under kStateKeyUri as a portable atom:Chunk.
  LV2_State_Status Save(LV2_State_Store_Function store, LV2_State_Handle handle) const;
  // Reads the chunk back. A chunk of another type, size or content is rejected and changes
  // nothing; with no chunk at all (a host resetting through an empty state) the instance returns
  // to the state of a new one.
  LV2_State_Status Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

private:
  void ApplyControlPorts() noexcept;

  std::unique_ptr<CoralSieve> plug_;
  LV2_URID stateKey_ = 0;
  LV2_URID chunkType_ = 0;

  std::array<const float*, kNumParams> controls_{};
  std::array<float, kNumParams> lastControls_{}; // value last applied from each port
  std::array<const float*, 4> audioIn_{};        // main left, right, sidechain left, right
  std::array<float*, 2> audioOut_{};
  float* latency_ = nullptr;

  // Host-format channels of one piece: 4 inputs then 2 outputs, kMaxPieceFrames each.
  std::vector<reef::sample> pieces_;
};

} // namespace coral::lv2
