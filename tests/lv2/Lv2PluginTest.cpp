// The LV2 plug-in as hosts see it. Through lilv: the bundle's ports against the parameter table,
// audio against the offline renderer bit for bit, state through a host's save and restore, and
// the presets. Through lv2apply: a file rendered by a stock host.

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/units/units.h>
#include <lv2/urid/urid.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>

#include <gtest/gtest.h>

#include "core/CoralSieve.h"
#include "core/Recipes.h"
#include "lv2/Lv2Layout.h"
#include "tests/support/AllocationTrap.h"
#include "tests/support/AudioFiles.h"

namespace coral::lv2 {
namespace {

using test::Channels;
using test::FirstDifference;
using Bytes = std::vector<std::uint8_t>;
constexpr int kRate = 48000;
constexpr int kFrames = 24000;

const test::ScratchDir kScratch;

// Sines, noise and a burst that sweeps the spectrum; the two channels differ. The sidechain is
// loud noise in alternating bursts.
Channels TestSignal(bool sidechain) {
  std::mt19937 random(sidechain ? 7 : 11);
  std::uniform_real_distribution<float> noise(-1.f, 1.f);
  Channels signal(2, std::vector<float>(kFrames));
  for (int i = 0; i < kFrames; ++i) {
    const double t = double(i) / kRate;
    if (sidechain) {
      const float gate = (i / 3000) % 2 ? 0.5f : 0.f;
      signal[0][i] = gate * noise(random);
      signal[1][i] = gate * noise(random);
    } else {
      signal[0][i] = float(0.3 * std::sin(2 * M_PI * 220 * t) + 0.1 * noise(random));
      signal[1][i] = float(0.25 * std::sin(2 * M_PI * (300 + 8000 * t) * t) + 0.05 * noise(random));
    }
  }
  return signal;
}

// The test host: the bundle alone in a lilv world, and a URID map.
struct Host {
  Host() : world(lilv_world_new()) {
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, CORAL_LV2_BUNDLE);
    lilv_world_load_bundle(world, bundle);
    lilv_node_free(bundle);
    plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), Node(kPluginUri));
  }
  ~Host() {
    for (LilvNode* node : nodes) lilv_node_free(node);
    lilv_world_free(world);
  }
  const LilvNode* Node(const char* uri) { return nodes.emplace_back(lilv_new_uri(world, uri)); }
  LV2_URID Map(const char* uri) {
    const auto found = std::find(uris.begin(), uris.end(), uri);
    if (found != uris.end()) return LV2_URID(found - uris.begin() + 1);
    uris.emplace_back(uri);
    return LV2_URID(uris.size());
  }

  LilvWorld* world;
  const LilvPlugin* plugin = nullptr;
  std::vector<LilvNode*> nodes;
  std::vector<std::string> uris; // URID n is uris[n - 1]
  LV2_URID_Map map{this,
                   [](void* self, const char* uri) { return static_cast<Host*>(self)->Map(uri); }};
  LV2_URID_Unmap unmap{this, [](void* self, LV2_URID urid) {
                         return static_cast<Host*>(self)->uris.at(urid - 1).c_str();
                       }};
  LV2_Feature mapFeature{LV2_URID__map, &map};
  LV2_Feature unmapFeature{LV2_URID__unmap, &unmap};
  const LV2_Feature* features[3] = {&mapFeature, &unmapFeature, nullptr};
};

Host& TheHost() {
  static Host host;
  return host;
}

// One instance with its control ports on host buffers that start at the ports' defaults.
class Instance {
public:
  explicit Instance(bool withUridMap = true)
      : instance_(lilv_plugin_instantiate(TheHost().plugin, kRate,
                                          withUridMap ? TheHost().features : nullptr)),
        controls_(kNumPorts, 0.f) {
    lilv_plugin_get_port_ranges_float(TheHost().plugin, nullptr, nullptr, controls_.data());
    std::fill(controls_.begin() + kNumParams, controls_.end(), 0.f);
    for (std::uint32_t p = 0; p < kNumPorts; ++p) {
      if (p < kNumParams || p == kPortLatency)
        lilv_instance_connect_port(instance_, p, &controls_[p]);
    }
    state_ = static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(instance_, LV2_STATE__interface));
  }
  ~Instance() {
    if (active_) lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
  }

  void Activate() {
    lilv_instance_activate(instance_);
    active_ = true;
  }
  void Deactivate() {
    lilv_instance_deactivate(instance_);
    active_ = false;
  }

  // A host's restore: the plug-in's state, then the control ports.
  void Restore(const LilvState* state) {
    lilv_state_restore(state, instance_, &SetPortValue, this, 0, TheHost().features);
  }
  // A host's save of the plug-in's state and its control ports.
  LilvState* Capture() {
    return lilv_state_new_from_instance(TheHost().plugin, instance_, &TheHost().map, nullptr,
                                        nullptr, nullptr, nullptr, &GetPortValue, this, 0,
                                        TheHost().features);
  }

  // The state chunk as the plug-in stores it; empty when it stores nothing.
  Bytes Save(LV2_State_Status* status = nullptr) {
    Bytes chunk;
    const auto store = [](LV2_State_Handle handle, std::uint32_t key, const void* value,
                          std::size_t size, std::uint32_t type, std::uint32_t) {
      EXPECT_EQ(key, TheHost().Map(kStateKeyUri));
      EXPECT_EQ(type, TheHost().Map(LV2_ATOM__Chunk));
      auto* bytes = static_cast<const std::uint8_t*>(value);
      static_cast<Bytes*>(handle)->assign(bytes, bytes + size);
      return LV2_STATE_SUCCESS;
    };
    const LV2_State_Status result = state_->save(instance_->lv2_handle, store, &chunk, 0, nullptr);
    if (status) *status = result;
    return chunk;
  }
  // Restores a stored value of `type` (none when `value` is null).
  LV2_State_Status RestoreValue(const void* value, std::size_t size, const char* type) {
    struct Stored {
      const void* value;
      std::size_t size;
      LV2_URID type;
    } stored{value, size, TheHost().Map(type)};
    const auto retrieve = [](LV2_State_Handle handle, std::uint32_t, std::size_t* size,
                             std::uint32_t* type, std::uint32_t* flags) {
      const auto& s = *static_cast<const Stored*>(handle);
      *size = s.size, *type = s.type, *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
      return s.value;
    };
    return state_->restore(instance_->lv2_handle, retrieve, &stored, 0, nullptr);
  }

  // Runs `in` (and the sidechain, when given) in host blocks of `block` frames, the allocation
  // trap armed around every run; in place writes the output over a copy of the input.
  Channels Process(const Channels& in, const Channels* sidechain, int block, bool inPlace = false) {
    Channels out = inPlace ? in : Channels(2, std::vector<float>(in[0].size()));
    test::ResetTrappedCalls();
    for (std::size_t start = 0; start < in[0].size(); start += block) {
      const auto frames = std::uint32_t(std::min<std::size_t>(block, in[0].size() - start));
      for (int c = 0; c < 2; ++c) {
        float* input = inPlace ? out[c].data() : const_cast<float*>(in[c].data());
        lilv_instance_connect_port(instance_, kPortInLeft + c, input + start);
        lilv_instance_connect_port(instance_, kPortOutLeft + c, out[c].data() + start);
        lilv_instance_connect_port(instance_, kPortSidechainLeft + c,
                                   sidechain ? const_cast<float*>((*sidechain)[c].data()) + start
                                             : nullptr);
      }
      const test::RealtimeScope realtime;
      lilv_instance_run(instance_, frames);
    }
    EXPECT_EQ(test::TrappedCalls(), 0u) << "run allocated";
    EXPECT_EQ(controls_[kPortLatency], float(kFixedLatency));
    return out;
  }

  std::vector<float>& Controls() { return controls_; }

private:
  // Preset values come as the atom type of their literal, which the host converts.
  static void SetPortValue(const char* symbol, void* self, const void* value, std::uint32_t,
                           std::uint32_t type) {
    LilvNode* node = lilv_new_string(TheHost().world, symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(TheHost().plugin, node);
    lilv_node_free(node);
    ASSERT_TRUE(port) << symbol;
    float& control =
        static_cast<Instance*>(self)->controls_.at(lilv_port_get_index(TheHost().plugin, port));
    Host& host = TheHost();
    if (type == host.Map(LV2_ATOM__Float)) {
      control = *static_cast<const float*>(value);
    } else if (type == host.Map(LV2_ATOM__Double)) {
      control = float(*static_cast<const double*>(value));
    } else if (type == host.Map(LV2_ATOM__Int)) {
      control = float(*static_cast<const std::int32_t*>(value));
    } else {
      ASSERT_EQ(type, host.Map(LV2_ATOM__Long)) << symbol;
      control = float(*static_cast<const std::int64_t*>(value));
    }
  }
  static const void* GetPortValue(const char* symbol, void* self, std::uint32_t* size,
                                  std::uint32_t* type) {
    for (int i = 0; i < kNumParams; ++i) {
      if (ControlPortSymbol(i) != symbol) continue;
      *size = sizeof(float), *type = TheHost().Map(LV2_ATOM__Float);
      return &static_cast<Instance*>(self)->controls_[i];
    }
    return nullptr;
  }

  LilvInstance* instance_;
  std::vector<float> controls_;
  const LV2_State_Interface* state_ = nullptr;
  bool active_ = false;
};

// The factory preset named `name`, from the bundle.
LilvState* LoadPreset(const std::string& name) {
  Host& host = TheHost();
  LilvNodes* presets = lilv_plugin_get_related(host.plugin, host.Node(LV2_PRESETS__Preset));
  LilvState* found = nullptr;
  LILV_FOREACH(nodes, i, presets) {
    const LilvNode* preset = lilv_nodes_get(presets, i);
    lilv_world_load_resource(host.world, preset);
    LilvState* state = lilv_state_new_from_world(host.world, &host.map, preset);
    if (!found && state && name == lilv_state_get_label(state)) {
      found = state;
    } else {
      lilv_state_free(state);
    }
  }
  lilv_nodes_free(presets);
  return found;
}

// What coral-render --no-compensate writes for `args` and the test signal.
Channels RendererOutput(const std::string& args) {
  const std::string out = kScratch.Path("renderer.wav");
  const std::string command = std::string(CORAL_RENDER_BINARY) + " --quiet --no-compensate " +
                              args + " " + kScratch.Path("in.wav") + " " + out;
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return test::ReadAudio(out).channels;
}

class Lv2Test : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    test::WriteAudio(kScratch.Path("in.wav"), {.channels = in});
    test::WriteAudio(kScratch.Path("sidechain.wav"), {.channels = sidechain});
    test::WriteAudio(kScratch.Path("in4.wav"),
                     {.channels = {in[0], in[1], sidechain[0], sidechain[1]}});
  }
  static inline const Channels in = TestSignal(false);
  static inline const Channels sidechain = TestSignal(true);
};

TEST_F(Lv2Test, PortsDescribeTheParameterTable) {
  Host& host = TheHost();
  ASSERT_TRUE(host.plugin) << "bundle not loaded from " << CORAL_LV2_BUNDLE;
  const LilvPlugin* plugin = host.plugin;
  ASSERT_EQ(lilv_plugin_get_num_ports(plugin), std::uint32_t(kNumPorts));
  EXPECT_TRUE(lilv_plugin_has_latency(plugin));
  EXPECT_EQ(lilv_plugin_get_latency_port_index(plugin), std::uint32_t(kPortLatency));

  const auto is = [&](const LilvPort* port, const char* uri) {
    return lilv_port_is_a(plugin, port, host.Node(uri)) ||
           lilv_port_has_property(plugin, port, host.Node(uri));
  };
  const std::map<std::string_view, std::string> kUnits = {{"", ""},
                                                          {"dB", LV2_UNITS__db},
                                                          {"Hz", LV2_UNITS__hz},
                                                          {"%", LV2_UNITS__pc},
                                                          {"ms", LV2_UNITS__ms}};
  for (int i = 0; i < kNumParams; ++i) {
    const ParamInfo& info = GetParamInfo(i);
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, std::uint32_t(i));
    std::string symbol(info.key);
    std::replace(symbol.begin(), symbol.end(), '-', '_');
    EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(plugin, port)), symbol.c_str());
    LilvNode* name = lilv_port_get_name(plugin, port);
    EXPECT_EQ(lilv_node_as_string(name), info.name);
    lilv_node_free(name);
    LilvNode *def, *min, *max;
    lilv_port_get_range(plugin, port, &def, &min, &max);
    EXPECT_EQ(lilv_node_as_float(def), info.defaultValue) << info.key;
    EXPECT_EQ(lilv_node_as_float(min), info.minimum) << info.key;
    EXPECT_EQ(lilv_node_as_float(max), info.maximum) << info.key;
    for (LilvNode* n : {def, min, max}) lilv_node_free(n);
    EXPECT_TRUE(is(port, LV2_CORE__ControlPort) && is(port, LV2_CORE__InputPort));
    EXPECT_EQ(is(port, LV2_CORE__integer), info.kind != ParamKind::Double) << info.key;
    EXPECT_EQ(is(port, LV2_CORE__toggled), info.kind == ParamKind::Bool) << info.key;
    EXPECT_EQ(is(port, LV2_CORE__enumeration), info.kind == ParamKind::Enum) << info.key;
    EXPECT_EQ(is(port, "http://lv2plug.in/ns/ext/port-props#logarithmic"), info.exponential);
    LilvNode* unit = lilv_port_get(plugin, port, host.Node(LV2_UNITS__unit));
    EXPECT_EQ(unit ? lilv_node_as_uri(unit) : "", kUnits.at(info.label)) << info.key;
    lilv_node_free(unit);
    LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
    std::vector<std::string> texts(info.kind == ParamKind::Enum ? info.displayTextCount : 0);
    LILV_FOREACH(scale_points, p, points) {
      const LilvScalePoint* point = lilv_scale_points_get(points, p);
      texts.at(std::size_t(lilv_node_as_float(lilv_scale_point_get_value(point)))) =
          lilv_node_as_string(lilv_scale_point_get_label(point));
    }
    lilv_scale_points_free(points);
    for (std::size_t t = 0; t < texts.size(); ++t) EXPECT_EQ(texts[t], info.displayTexts[t]);
  }

  for (const AudioPortInfo& audio : kAudioPorts) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, audio.port);
    EXPECT_TRUE(is(port, LV2_CORE__AudioPort));
    EXPECT_EQ(is(port, LV2_CORE__OutputPort), audio.role == AudioRole::MainOutput);
    EXPECT_EQ(is(port, LV2_CORE_PREFIX "isSideChain"), audio.role == AudioRole::Sidechain);
    EXPECT_EQ(is(port, LV2_CORE__connectionOptional), audio.role == AudioRole::Sidechain);
  }
}

// Each preset puts its recipe on the control ports and, through the state, into the plug-in:
// the chunk equals the factory preset of the plug-in object (recipe in both slots, its index).
TEST_F(Lv2Test, EachPresetAppliesItsRecipe) {
  LilvNodes* presets =
      lilv_plugin_get_related(TheHost().plugin, TheHost().Node(LV2_PRESETS__Preset));
  EXPECT_EQ(lilv_nodes_size(presets), unsigned(kNumRecipes));
  lilv_nodes_free(presets);
  const CoralSieve reference{reef::InstanceInfo{}};
  for (int r = 0; r < kNumRecipes; ++r) {
    LilvState* preset = LoadPreset(GetRecipes()[r].name);
    ASSERT_TRUE(preset) << GetRecipes()[r].name;
    Instance instance;
    instance.Restore(preset);
    lilv_state_free(preset);
    const reef::IByteChunk& chunk = *reference.GetPresetChunk(r);
    EXPECT_EQ(instance.Save(), Bytes(chunk.GetData(), chunk.GetData() + chunk.Size()));
    for (int i = 0; i < kNumParams; ++i) {
      ASSERT_EQ(std::memcmp(&instance.Controls()[i], &GetRecipes()[r].values[i], 4), 0)
          << GetRecipes()[r].name << " " << GetParamInfo(i).key;
    }
  }
}

// The plug-in played by a host in blocks of any size, also in place and after a reactivation,
// writes what the renderer writes, bit for bit, and its run never allocates.
TEST_F(Lv2Test, OutputEqualsTheRendererBitForBit) {
  struct Case {
    const char* recipe;
    bool sidechain;
  };
  for (const Case& c : {Case{"External Sidechain Duck", true}, Case{"Master FIR", false}}) {
    const Channels expected =
        RendererOutput(std::string("--recipe \"") + c.recipe + "\"" +
                       (c.sidechain ? " --sidechain " + kScratch.Path("sidechain.wav") : ""));
    ASSERT_EQ(expected.size(), 2u);
    LilvState* preset = LoadPreset(c.recipe);
    for (const int block : {1, 64, 512, 4096, 10000}) {
      Instance instance;
      instance.Restore(preset);
      instance.Activate();
      const Channels* sc = c.sidechain ? &sidechain : nullptr;
      EXPECT_EQ(FirstDifference(instance.Process(in, sc, block), expected), -1)
          << c.recipe << ", block " << block;
      if (block != 512) continue;
      instance.Deactivate();
      instance.Activate();
      EXPECT_EQ(FirstDifference(instance.Process(in, sc, block, true), expected), -1)
          << c.recipe << ", reactivated, in place";
    }
    lilv_state_free(preset);
  }
}

// A session saved by a host and reopened restores the state chunk byte for byte; a chunk the
// plug-in rejects changes nothing, and an empty state returns it to a new instance's state.
TEST_F(Lv2Test, StateRoundTripsAndRejectedChunksChangeNothing) {
  CoralSieve reference{reef::InstanceInfo{}};
  reference.RestorePreset(5);
  reference.GetParam(BandParamIndex(1, kGain))->SetValue(3.5);
  reef::IByteChunk chunk;
  reference.SerializeState(chunk);
  const Bytes expected(chunk.GetData(), chunk.GetData() + chunk.Size());

  Instance saved;
  LilvState* preset = LoadPreset(GetRecipes()[5].name);
  saved.Restore(preset);
  lilv_state_free(preset);
  saved.Controls()[BandParamIndex(1, kGain)] = 3.5f;
  saved.Activate();
  ASSERT_EQ(saved.Save(), expected);

  LilvState* session = saved.Capture();
  char* text = lilv_state_to_string(TheHost().world, &TheHost().map, &TheHost().unmap, session,
                                    "urn:test:session", nullptr);
  lilv_state_free(session);
  LilvState* reopened = lilv_state_new_from_string(TheHost().world, &TheHost().map, text);
  lilv_free(text);
  Instance restored;
  restored.Restore(reopened);
  lilv_state_free(reopened);
  EXPECT_EQ(restored.Save(), expected);
  EXPECT_EQ(restored.Controls(), saved.Controls());

  const auto corrupt = [&](std::size_t offset, std::uint32_t word) {
    Bytes bytes = expected;
    std::memcpy(&bytes[offset], &word, 4);
    return bytes;
  };
  Bytes longer = expected;
  longer.push_back(0);
  const float nan = std::nanf("");
  const std::pair<Bytes, const char*> bad[] = {
      {Bytes(expected.begin(), expected.end() - 1), LV2_ATOM__Chunk},
      {longer, LV2_ATOM__Chunk},
      {corrupt(0, 0x58455652), LV2_ATOM__Chunk},                                   // magic "RVEX"
      {corrupt(1740, 32), LV2_ATOM__Chunk},                                        // recipe index
      {corrupt(876 + 4 * 13, std::bit_cast<std::uint32_t>(nan)), LV2_ATOM__Chunk}, // stored Type
      {expected, LV2_ATOM__String},
  };
  for (const auto& [bytes, type] : bad) {
    EXPECT_NE(restored.RestoreValue(bytes.data(), bytes.size(), type), LV2_STATE_SUCCESS);
    EXPECT_EQ(restored.Save(), expected);
  }

  EXPECT_EQ(restored.RestoreValue(nullptr, 0, LV2_ATOM__Chunk), LV2_STATE_SUCCESS);
  EXPECT_EQ(restored.Save(), Instance().Save());

  LV2_State_Status status = LV2_STATE_SUCCESS;
  EXPECT_TRUE(Instance(false).Save(&status).empty());
  EXPECT_EQ(status, LV2_STATE_ERR_NO_FEATURE);
}

// lv2apply feeds its four-channel input to the main and sidechain ports and sets controls by
// symbol: the file it writes equals the renderer's with the same settings.
TEST_F(Lv2Test, Lv2ApplyRendersLikeTheRenderer) {
  const std::string out = kScratch.Path("lv2apply.wav");
  const std::string bundles = std::filesystem::path(CORAL_LV2_BUNDLE).parent_path().parent_path();
  const std::string command = "env LV2_PATH=" + bundles + " " CORAL_LV2_HOST_ENV " lv2apply -i " +
                              kScratch.Path("in4.wav") + " -o " + out +
                              " -c phase 1 -c b01_frequency 1800 -c b01_dynamic 1" +
                              " -c b01_detector 1 -c b01_threshold -30 -c b01_range 9 " +
                              kPluginUri;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const Channels expected = RendererOutput(
      "--set phase=\"Linear Phase FIR\" --set b01-frequency=1800 --set b01-dynamic=on"
      " --set b01-detector=External --set b01-threshold=-30 --set b01-range=9 --sidechain " +
      kScratch.Path("sidechain.wav"));
  EXPECT_EQ(FirstDifference(test::ReadAudio(out).channels, expected), -1);
}

} // namespace
} // namespace coral::lv2
