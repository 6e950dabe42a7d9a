#include "core/IPlugAPIBase.h"

namespace iplug {

IPlugAPIBase::IPlugAPIBase(const Config& config) : IPluginBase(config) {}

IPlugAPIBase::~IPlugAPIBase() = default;

void IPlugAPIBase::BeginInformHostOfParamChangeFromUI(int paramIdx) {
  BeginInformHostOfParamChange(paramIdx);
}

void IPlugAPIBase::EndInformHostOfParamChangeFromUI(int paramIdx) {
  EndInformHostOfParamChange(paramIdx);
}

void IPlugAPIBase::SendParameterValueFromUI(int paramIdx, double normalizedValue) {
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  param->SetFromNormalized(normalizedValue);
  InformHostOfParamChange(paramIdx, normalizedValue);
  OnParamChange(paramIdx, kUI, -1);
  IPluginBase::SendParameterValueFromUI(paramIdx, normalizedValue);
}

} // namespace iplug
