#include "bench/peers/Lv2Peer.h"

#include <lv2/buf-size/buf-size.h>
#include <lv2/parameters/parameters.h>

#include <cmath>
#include <cstring>

namespace coral::peers {

Lv2World::Lv2World() : world_(lilv_world_new()) {
  lilv_world_load_all(world_);
  map_.handle = this;
  map_.map = &Lv2World::MapCallback;
}

Lv2World::~Lv2World() {
  lilv_world_free(world_);
}

const LilvPlugin* Lv2World::Find(const std::string& uri) const {
  LilvNode* node = lilv_new_uri(world_, uri.c_str());
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), node);
  lilv_node_free(node);
  return plugin;
}

LV2_URID Lv2World::Map(const char* uri) {
  for (std::size_t i = 0; i < uris_.size(); ++i)
    if (uris_[i] == uri) return LV2_URID(i + 1);
  uris_.emplace_back(uri);
  return LV2_URID(uris_.size());
}

LV2_URID Lv2World::MapCallback(LV2_URID_Map_Handle handle, const char* uri) {
  return static_cast<Lv2World*>(handle)->Map(uri);
}

namespace {

// The port classes a stereo equaliser uses; freed with the object.
class PortClasses {
public:
  explicit PortClasses(LilvWorld* world)
      : audio(lilv_new_uri(world, LV2_CORE__AudioPort)),
        control(lilv_new_uri(world, LV2_CORE__ControlPort)),
        atom(lilv_new_uri(world, LV2_ATOM__AtomPort)),
        input(lilv_new_uri(world, LV2_CORE__InputPort)),
        optional(lilv_new_uri(world, LV2_CORE__connectionOptional)) {}
  ~PortClasses() {
    for (LilvNode* n : {audio, control, atom, input, optional}) lilv_node_free(n);
  }
  PortClasses(const PortClasses&) = delete;
  PortClasses& operator=(const PortClasses&) = delete;

  LilvNode* audio;
  LilvNode* control;
  LilvNode* atom;
  LilvNode* input;
  LilvNode* optional;
};

} // namespace

Lv2Peer::Lv2Peer(std::string name) : name_(std::move(name)) {
  for (auto& out : outputs_) out.assign(kBlockFrames, 0.0f);
  silence_.assign(kBlockFrames, 0.0f);
}

Lv2Peer::~Lv2Peer() {
  if (instance_) {
    lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
  }
}

std::unique_ptr<Lv2Peer> Lv2Peer::Create(Lv2World& world, const LilvPlugin* plugin,
                                         std::string name,
                                         const std::vector<ControlValue>& controls,
                                         std::string& error) {
  std::unique_ptr<Lv2Peer> peer(new Lv2Peer(std::move(name)));
  LilvWorld* lw = world.World();
  const PortClasses classes(lw);
  const std::uint32_t numPorts = lilv_plugin_get_num_ports(plugin);

  std::vector<float> minimum(numPorts), maximum(numPorts), defaults(numPorts);
  lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());
  peer->controls_.assign(numPorts, 0.0f);
  std::vector<int> audioIn, audioOut;
  for (std::uint32_t i = 0; i < numPorts; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    const bool input = lilv_port_is_a(plugin, port, classes.input);
    if (lilv_port_is_a(plugin, port, classes.audio)) {
      (input ? audioIn : audioOut).push_back(int(i));
    } else if (lilv_port_is_a(plugin, port, classes.control)) {
      const float d = defaults[i];
      peer->controls_[i] = std::isnan(d) ? (std::isnan(minimum[i]) ? 0.0f : minimum[i]) : d;
    } else if (lilv_port_is_a(plugin, port, classes.atom)) {
      peer->atoms_.push_back({int(i), !input, std::vector<std::uint64_t>(kAtomWords)});
    } else if (!lilv_port_has_property(plugin, port, classes.optional)) {
      error = "port " + std::to_string(i) + " is of a kind this benchmark does not host";
      return nullptr;
    }
  }
  if (audioIn.size() != 2 || audioOut.size() != 2) {
    error = "not a stereo plug-in (" + std::to_string(audioIn.size()) + " in, " +
            std::to_string(audioOut.size()) + " out)";
    return nullptr;
  }
  peer->audioIn_ = audioIn;
  peer->audioOut_ = audioOut;

  for (const ControlValue& c : controls) {
    LilvNode* symbol = lilv_new_string(lw, c.symbol.c_str());
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, symbol);
    lilv_node_free(symbol);
    if (!port || !lilv_port_is_a(plugin, port, classes.control)) {
      error = "no control port \"" + c.symbol + "\"";
      return nullptr;
    }
    const std::uint32_t i = lilv_port_get_index(plugin, port);
    if (!(c.value >= minimum[i] && c.value <= maximum[i])) {
      error = "\"" + c.symbol + "\" = " + std::to_string(c.value) + " is outside [" +
              std::to_string(minimum[i]) + ", " + std::to_string(maximum[i]) + "]";
      return nullptr;
    }
    peer->controls_[i] = c.value;
  }

  peer->atomSequence_ = world.Map(LV2_ATOM__Sequence);
  peer->atomChunk_ = world.Map(LV2_ATOM__Chunk);
  const LV2_URID atomInt = world.Map(LV2_ATOM__Int);
  const LV2_URID atomFloat = world.Map(LV2_ATOM__Float);
  peer->options_ = {
      {LV2_OPTIONS_INSTANCE, 0, world.Map(LV2_BUF_SIZE__minBlockLength), sizeof(std::int32_t),
       atomInt, &peer->minBlock_},
      {LV2_OPTIONS_INSTANCE, 0, world.Map(LV2_BUF_SIZE__maxBlockLength), sizeof(std::int32_t),
       atomInt, &peer->maxBlock_},
      {LV2_OPTIONS_INSTANCE, 0, world.Map(LV2_BUF_SIZE__nominalBlockLength), sizeof(std::int32_t),
       atomInt, &peer->nominalBlock_},
      {LV2_OPTIONS_INSTANCE, 0, world.Map(LV2_PARAMETERS__sampleRate), sizeof(float), atomFloat,
       &peer->sampleRate_},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
  };
  const LV2_Feature mapFeature{LV2_URID__map, world.UridMap()};
  const LV2_Feature optionsFeature{LV2_OPTIONS__options, peer->options_.data()};
  const LV2_Feature boundedFeature{LV2_BUF_SIZE__boundedBlockLength, nullptr};
  const LV2_Feature* features[] = {&mapFeature, &optionsFeature, &boundedFeature, nullptr};

  peer->instance_ = lilv_plugin_instantiate(plugin, kBenchRate, features);
  if (!peer->instance_) {
    error = "instantiation failed";
    return nullptr;
  }
  for (std::uint32_t i = 0; i < numPorts; ++i)
    lilv_instance_connect_port(peer->instance_, i, &peer->controls_[i]);
  for (int ch = 0; ch < 2; ++ch) {
    lilv_instance_connect_port(peer->instance_, std::uint32_t(audioIn[ch]), peer->silence_.data());
    lilv_instance_connect_port(peer->instance_, std::uint32_t(audioOut[ch]),
                               peer->outputs_[ch].data());
  }
  for (AtomPort& a : peer->atoms_)
    lilv_instance_connect_port(peer->instance_, std::uint32_t(a.index), a.buffer.data());
  lilv_instance_activate(peer->instance_);
  return peer;
}

void Lv2Peer::Bind(const float* inL, const float* inR, int frames) {
  // The plug-in only reads its inputs, so they may point into the shared source buffer.
  lilv_instance_connect_port(instance_, std::uint32_t(audioIn_[0]), const_cast<float*>(inL));
  lilv_instance_connect_port(instance_, std::uint32_t(audioIn_[1]), const_cast<float*>(inR));
  for (AtomPort& a : atoms_) {
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(a.buffer.data());
    if (a.output) {
      seq->atom.size = std::uint32_t(a.buffer.size() * sizeof(std::uint64_t) - sizeof(LV2_Atom));
      seq->atom.type = atomChunk_;
    } else {
      seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
      seq->atom.type = atomSequence_;
      seq->body.unit = 0;
      seq->body.pad = 0;
    }
  }
  frames_ = frames;
}

void Lv2Peer::Process() {
  lilv_instance_run(instance_, std::uint32_t(frames_));
}

} // namespace coral::peers
