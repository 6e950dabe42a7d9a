// The shared object's one exported symbol: the LV2 descriptor of the equaliser, whose
// functions forward to Lv2Plugin. No exception crosses into the host: a failed allocation makes
// instantiation answer null, leaves the instance inactive (silent) or fails the state call.

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>

#include <cstring>
#include <new>

#include "lv2/Lv2Plugin.h"

namespace coral::lv2 {
namespace {

Lv2Plugin& Of(LV2_Handle instance) {
  return *static_cast<Lv2Plugin*>(instance);
}

LV2_Handle Instantiate(const LV2_Descriptor*, double sampleRate, const char*,
                       const LV2_Feature* const* features) {
  try {
    return new Lv2Plugin(sampleRate, features);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void ConnectPort(LV2_Handle instance, std::uint32_t port, void* data) {
  Of(instance).ConnectPort(port, data);
}

void Activate(LV2_Handle instance) {
  try {
    Of(instance).Activate();
  } catch (const std::bad_alloc&) {
    Of(instance).Deactivate();
  }
}

void Run(LV2_Handle instance, std::uint32_t frames) {
  Of(instance).Run(frames);
}

void Deactivate(LV2_Handle instance) {
  Of(instance).Deactivate();
}

void Cleanup(LV2_Handle instance) {
  delete &Of(instance);
}

LV2_State_Status Save(LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle,
                      std::uint32_t, const LV2_Feature* const*) {
  if (!Of(instance).HasStateSupport()) return LV2_STATE_ERR_NO_FEATURE;
  try {
    return Of(instance).Save(store, handle);
  } catch (const std::bad_alloc&) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

LV2_State_Status Restore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, std::uint32_t, const LV2_Feature* const*) {
  if (!Of(instance).HasStateSupport()) return LV2_STATE_ERR_NO_FEATURE;
  try {
    return Of(instance).Restore(retrieve, handle);
  } catch (const std::bad_alloc&) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

const LV2_State_Interface kStateInterface = {Save, Restore};

// The state calls answer LV2_STATE_ERR_NO_FEATURE for an instance made without urid:map.
const void* ExtensionData(const char* uri) {
  return std::strcmp(uri, LV2_STATE__interface) == 0 ? &kStateInterface : nullptr;
}

const LV2_Descriptor kDescriptor = {
    kPluginUri, Instantiate, ConnectPort, Activate, Run, Deactivate, Cleanup, ExtensionData,
};

} // namespace
} // namespace coral::lv2

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
  return index == 0 ? &coral::lv2::kDescriptor : nullptr;
}
