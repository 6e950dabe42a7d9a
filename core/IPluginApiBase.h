#pragma once
// The host-interface layer of a plug-in: how parameter changes and change gestures from the
// editor reach the host. Each plug-in wrapper (the standalone application among them) says
// what its host does with them.
//
// Threads: user-interface thread.

#include "core/IPluginBase.h"

namespace reef {

class IPluginApiBase : public IPluginBase {
public:
  explicit IPluginApiBase(const IPluginConfig& config);
  ~IPluginApiBase() override;

  // Host-interface operations: a change gesture begins, a parameter has a new normalized
  // value, a change gesture ends.
  virtual void BeginInformHostOfParamChange(int paramIdx) = 0;
  virtual void InformHostOfParamChange(int paramIdx, double normalizedValue) = 0;
  virtual void EndInformHostOfParamChange(int paramIdx) = 0;

  void BeginInformHostOfParamChangeFromUI(int paramIdx) override;
  void EndInformHostOfParamChangeFromUI(int paramIdx) override;
  // Sets the parameter from the normalized value, informs the host, then runs the plug-in's
  // change notification with the source kUI and sample offset -1 and the editor-side one.
  // An index out of range is ignored.
  void SendParameterValueFromUI(int paramIdx, double normalizedValue) override;
};

} // namespace reef
