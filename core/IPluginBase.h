#pragma once
// The plug-in's description, its parameter-change notifications, its state interface and its
// factory preset slots.
//
// Threads: user-interface thread, unless an operation says otherwise.

#include <string>
#include <vector>

#include "core/IByteChunk.h"
#include "core/ICanvasEditorDelegate.h"
#include "core/IPluginConfig.h"

namespace reef {

class IPluginBase : public ICanvasEditorDelegate {
public:
  // Creates config.nParams parameters and config.nPresets empty preset slots.
  explicit IPluginBase(const IPluginConfig& config);
  ~IPluginBase() override;

  const char* GetPluginName() const { return config_.pluginName; }
  const char* GetProductName() const { return config_.productName; }
  const char* GetMfrName() const { return config_.mfrName; }
  // Packed major << 16 | minor << 8 | patch, or major * 10000 + minor * 100 + patch.
  int GetPluginVersion(bool decimal) const;
  int GetUniqueID() const { return config_.uniqueID; }
  int GetMfrID() const { return config_.mfrID; }
  EPlugType GetPlugType() const { return config_.plugType; }
  bool DoesMIDIIn() const { return config_.plugDoesMidiIn; }
  bool DoesMIDIOut() const { return config_.plugDoesMidiOut; }
  bool DoesMPE() const { return config_.plugDoesMPE; }
  bool DoesStateChunks() const { return config_.plugDoesChunks; }
  bool HasUI() const { return config_.plugHasUI; }
  bool GetHostResizeEnabled() const { return config_.plugHostResize; }
  const char* GetChannelIOStr() const { return config_.channelIOStr; }

  // The host that runs the plug-in, with its version in packed form.
  void SetHost(std::string_view name, int version);
  const char* GetHostName() const { return hostName_.c_str(); }
  int GetHostVersion() const { return hostVersion_; }

  // Parameter-change notifications. The three-argument form calls the one-argument form;
  // neither does anything by default.
  virtual void OnParamChange(int paramIdx, EParamSource source, int sampleOffset = -1);
  virtual void OnParamChange(int paramIdx);
  // All parameters were reset: the change notification of every parameter, in index order.
  virtual void OnParamReset(EParamSource source);

  // State interface for hosts that keep plug-in state. Serialize appends the state to
  // `chunk`; unserialize reads the state that begins at `startPos` and answers the position
  // after it, or -1 when the chunk is rejected.
  virtual bool SerializeState(IByteChunk& chunk) const = 0;
  virtual int UnserializeState(const IByteChunk& chunk, int startPos) = 0;

  // Requests from the application menu; answer whether the plug-in handled them (not by
  // default, so the application shows its own).
  virtual bool OnHostRequestingAboutBox();
  virtual bool OnHostRequestingProductHelp();

  // Factory presets: a fixed number of slots, each a name and a state chunk.
  int NPresets() const { return static_cast<int>(presets_.size()); }
  // Name of preset `idx`, "" for an unused slot or an index out of range.
  const char* GetPresetName(int idx) const;
  // Chunk of preset `idx`, nullptr for an unused slot or an index out of range.
  const IByteChunk* GetPresetChunk(int idx) const;
  // Stores a preset in the first unused slot; false when every slot is used.
  bool MakePresetFromChunk(std::string_view name, const IByteChunk& chunk);
  // Loads preset `idx` through UnserializeState; false for an unused slot, an index out of
  // range or a rejected chunk.
  bool RestorePreset(int idx);

private:
  struct Preset {
    bool initialized = false;
    std::string name;
    IByteChunk chunk;
  };

  IPluginConfig config_;
  std::string hostName_;
  int hostVersion_ = 0;
  std::vector<Preset> presets_;
};

} // namespace reef
