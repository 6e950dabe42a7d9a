#pragma once
// Hosting of installed LV2 equalisers through lilv, just far enough to run them as a
// benchmark peer: URID mapping, block-length options, stereo audio, control inputs set once,
// atom ports with empty host buffers. Everything runs on one thread.

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/peers/Contender.h"

namespace coral::peers {

// A control input port by symbol and the value to give it.
struct ControlValue {
  std::string symbol;
  float value;
};

// Every LV2 bundle installed on the machine, discovered once, and the process's URID map.
class Lv2World {
public:
  Lv2World();
  ~Lv2World();
  Lv2World(const Lv2World&) = delete;
  Lv2World& operator=(const Lv2World&) = delete;

  // The plug-in with `uri`, or nullptr when no installed bundle provides it.
  const LilvPlugin* Find(const std::string& uri) const;

  LilvWorld* World() const { return world_; }
  LV2_URID_Map* UridMap() { return &map_; }
  LV2_URID Map(const char* uri);

private:
  static LV2_URID MapCallback(LV2_URID_Map_Handle handle, const char* uri);

  LilvWorld* world_;
  LV2_URID_Map map_;
  std::vector<std::string> uris_; // URID n names uris_[n - 1]
};

// One activated instance of a stereo LV2 plug-in.
class Lv2Peer final : public Contender {
public:
  // Instantiates `plugin` at kBenchRate for blocks of at most kBlockFrames, gives every control
  // input its default and then the values of `controls`, and activates it. Returns nullptr and
  // fills `error` when the plug-in is not stereo, does not instantiate, names an unknown
  // symbol or a value outside a port's declared range.
  static std::unique_ptr<Lv2Peer> Create(Lv2World& world, const LilvPlugin* plugin,
                                         std::string name,
                                         const std::vector<ControlValue>& controls,
                                         std::string& error);
  ~Lv2Peer() override;

  const std::string& Name() const override { return name_; }
  void Bind(const float* inL, const float* inR, int frames) override;
  void Process() override;
  const float* Output(int channel) const override { return outputs_[channel].data(); }

private:
  explicit Lv2Peer(std::string name);

  static constexpr std::size_t kAtomWords = 1024; // 8 KiB per atom port buffer

  struct AtomPort {
    int index;
    bool output;
    std::vector<std::uint64_t> buffer; // an LV2_Atom_Sequence, 8-byte aligned
  };

  std::string name_;
  LilvInstance* instance_ = nullptr;
  std::vector<int> audioIn_;    // port indices, left then right
  std::vector<int> audioOut_;   // port indices, left then right
  std::vector<float> controls_; // one value per port index (inputs and outputs)
  std::vector<float> silence_;  // inputs until the first Bind
  std::vector<AtomPort> atoms_; // emptied before every run
  LV2_URID atomSequence_ = 0;
  LV2_URID atomChunk_ = 0;
  std::array<std::vector<float>, 2> outputs_;
  int frames_ = 0;

  // Storage behind the options feature; must outlive the instance.
  std::int32_t minBlock_ = 1;
  std::int32_t maxBlock_ = kBlockFrames;
  std::int32_t nominalBlock_ = kBlockFrames;
  float sampleRate_ = float(kBenchRate);
  std::vector<LV2_Options_Option> options_;
};

} // namespace coral::peers
