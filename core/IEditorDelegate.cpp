#include "core/IEditorDelegate.h"

#include <algorithm>

namespace reef {

IEditorDelegate::IEditorDelegate(int nParams)
    : nParams_(std::max(nParams, 0)), params_(std::make_unique<IParam[]>(nParams_)) {}

IEditorDelegate::~IEditorDelegate() = default;

IParam* IEditorDelegate::GetParam(int paramIdx) {
  return paramIdx >= 0 && paramIdx < nParams_ ? &params_[paramIdx] : nullptr;
}

const IParam* IEditorDelegate::GetParam(int paramIdx) const {
  return paramIdx >= 0 && paramIdx < nParams_ ? &params_[paramIdx] : nullptr;
}

void IEditorDelegate::SendCurrentParamValuesFromDelegate() {
  for (int i = 0; i < nParams_; ++i) {
    SendParameterValueFromDelegate(i, params_[i].GetNormalized(), true);
  }
}

void IEditorDelegate::OnUIOpen() {
  SendCurrentParamValuesFromDelegate();
}

void IEditorDelegate::SendParameterValueFromUI(int paramIdx, double) {
  OnParamChangeUI(paramIdx, kUI);
}

void IEditorDelegate::OnParamChangeUI(int, EParamSource) {}

bool IEditorDelegate::OnMessage(int, int, int, const void*) {
  return false;
}

void IEditorDelegate::OnMidiMsgUI(const IMidiMsg&) {}

void IEditorDelegate::OnSysexMsgUI(const ISysEx&) {}

void IEditorDelegate::SetEditorSize(int width, int height) {
  editorWidth_ = width;
  editorHeight_ = height;
}

void IEditorDelegate::SetSizeConstraints(int minWidth, int maxWidth, int minHeight, int maxHeight) {
  minWidth_ = std::min(minWidth, maxWidth);
  maxWidth_ = std::max(minWidth, maxWidth);
  minHeight_ = std::min(minHeight, maxHeight);
  maxHeight_ = std::max(minHeight, maxHeight);
}

void IEditorDelegate::ConstrainEditorResize(int& width, int& height) const {
  width = std::clamp(width, minWidth_, maxWidth_);
  height = std::clamp(height, minHeight_, maxHeight_);
}

} // namespace reef
