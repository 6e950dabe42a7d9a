#include "core/IPluginApiBase.h"

namespace reef {

IPluginApiBase::IPluginApiBase(const IPluginConfig& config) : IPluginBase(config) {}

IPluginApiBase::~IPluginApiBase() = default;

void IPluginApiBase::BeginInformHostOfParamChangeFromUI(int paramIdx) {
  BeginInformHostOfParamChange(paramIdx);
}

void IPluginApiBase::EndInformHostOfParamChangeFromUI(int paramIdx) {
  EndInformHostOfParamChange(paramIdx);
}

void IPluginApiBase::SendParameterValueFromUI(int paramIdx, double normalizedValue) {
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  param->SetFromNormalized(normalizedValue);
  InformHostOfParamChange(paramIdx, normalizedValue);
  OnParamChange(paramIdx, kUI, -1);
  IPluginBase::SendParameterValueFromUI(paramIdx, normalizedValue);
}

} // namespace reef
