#pragma once
// The standalone-application wrapper: a plug-in that the application's own audio host runs.
// It processes in blocks of 512 frames with every channel connected, and it has no host that
// records automation, so change gestures and value reports are accepted and ignored.
//
// Threads: constructed on the user-interface thread; the processor part is entered by the
// host's audio thread.

#include "core/IPlugAPIBase.h"
#include "core/IPlugProcessor.h"

namespace iplug {

class IPlugAPP : public IPlugAPIBase, public IPlugProcessor {
public:
  static constexpr int kBlockSize = 512;

  IPlugAPP(const Config& config, const InstanceInfo& info);
  ~IPlugAPP() override;

  const InstanceInfo& GetInstanceInfo() const { return instanceInfo_; }

  void BeginInformHostOfParamChange(int paramIdx) override;
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
  void EndInformHostOfParamChange(int paramIdx) override;

private:
  InstanceInfo instanceInfo_;
};

} // namespace iplug
