#include "core/IPlugAPP.h"

namespace iplug {

IPlugAPP::IPlugAPP(const Config& config, const InstanceInfo& info)
    : IPlugAPIBase(config), IPlugProcessor(config), instanceInfo_(info) {
  SetBlockSize(kBlockSize);
  SetChannelConnections(kInput, 0, MaxNChannels(kInput), true);
  SetChannelConnections(kOutput, 0, MaxNChannels(kOutput), true);
}

IPlugAPP::~IPlugAPP() = default;

void IPlugAPP::BeginInformHostOfParamChange(int) {}

void IPlugAPP::InformHostOfParamChange(int, double) {}

void IPlugAPP::EndInformHostOfParamChange(int) {}

} // namespace iplug
