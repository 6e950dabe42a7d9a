#include "ui/IControl.h"

#include <algorithm>

#include "core/IEditorDelegate.h"
#include "core/IParam.h"
#include "ui/ICanvas.h"

namespace reef::ui {

namespace {

constexpr float kDisabledBlend = 0.25f;

} // namespace

IControl::IControl(const IRect& bounds, int paramIdx)
    : rect_(bounds), targetRect_(bounds), vals_{ValueSlot{paramIdx, 0.0}} {}

IControl::IControl(const IRect& bounds, std::initializer_list<int> params)
    : rect_(bounds), targetRect_(bounds) {
  for (int paramIdx : params) vals_.push_back({paramIdx, 0.0});
  if (vals_.empty()) vals_.push_back({});
}

IControl::~IControl() = default;

void IControl::OnMouseDown(float x, float y, const IMouseMod& mod) {
  if (!mod.right || promptDisabled_) return;
  const int valIdx = std::max(GetValIdxForPos(x, y), 0);
  if (GetParamIdx(valIdx) == kNoParameter) return;
  PromptUserInput(valIdx);
  SetDirty(false);
}

void IControl::OnMouseUp(float, float, const IMouseMod&) {}

void IControl::OnMouseDrag(float, float, float, float, const IMouseMod&) {}

void IControl::OnMouseDblClick(float x, float y, const IMouseMod&) {
  const int valIdx = GetValIdxForPos(x, y);
  if (valIdx >= 0) SetValueToDefault(valIdx);
}

void IControl::OnMouseWheel(float, float, const IMouseMod&, float) {}

bool IControl::OnKeyDown(float, float, const IKeyPress&) {
  return false;
}

bool IControl::OnKeyUp(float, float, const IKeyPress&) {
  return false;
}

void IControl::OnMouseOver(float, float, const IMouseMod&) {
  const bool wasOver = mouseIsOver_;
  mouseIsOver_ = true;
  if (!wasOver) SetDirty(false);
}

void IControl::OnMouseOut() {
  const bool wasOver = mouseIsOver_;
  mouseIsOver_ = false;
  if (wasOver) SetDirty(false);
}

void IControl::OnTouchCancelled(float, float, const IMouseMod&) {}

void IControl::OnDrop(const std::string&) {}

void IControl::OnDropMultiple(const std::vector<std::string>& paths) {
  if (!paths.empty()) OnDrop(paths.front());
}

void IControl::OnResize() {}

bool IControl::OnKeyShortcut(const IKeyPress& key) {
  const auto binding = keyBindings_.find(key.vk);
  if (binding == keyBindings_.end()) return false;
  binding->second(*this);
  return true;
}

void IControl::OnPopupMenuSelection(const IPopupMenu& menu, int valIdx) {
  const IParam* param = GetParam(valIdx);
  const int chosen = menu.GetChosenItemIdx();
  if (!param || promptDisabled_ || chosen < 0 || chosen >= param->NDisplayTexts()) return;
  double value = 0.0;
  param->GetDisplayTextAtIdx(chosen, &value);
  SetValueFromUserInput(param->NormalizeValue(value), valIdx);
}

void IControl::OnTextEntryCompletion(const std::string& text, int valIdx) {
  if (const IParam* param = GetParam(valIdx)) {
    SetValueFromUserInput(param->NormalizeValue(param->ParseValueText(text.c_str())), valIdx);
  }
}

void IControl::DrawHighlight(ICanvas& g) {
  if (highlight_) g.FillCircle(kColorWhite, targetRect_.right - 5.f, targetRect_.top + 5.f, 2.f);
}

void IControl::SetParamIdx(int paramIdx, int valIdx) {
  if (valIdx < 0 || valIdx >= NVals()) return;
  vals_[valIdx].paramIdx = paramIdx;
  SetDirty(false, valIdx);
}

int IControl::GetValIdxForPos(float, float) const {
  return NVals() == 1 ? 0 : -1;
}

void IControl::SetValueFromDelegate(double value, int valIdx) {
  if (ui_ && ui_->GetCapturedControl() == this) return;
  if (GetValue(valIdx) != value) {
    SetValue(value, valIdx);
    SetDirty(false, valIdx);
  }
}

void IControl::SetValueFromUserInput(double value, int valIdx) {
  if (GetValue(valIdx) != value) {
    SetValue(value, valIdx);
    SetDirty(true, valIdx);
  }
}

void IControl::SetValueToDefault(int valIdx) {
  for (int i = 0; i < NVals(); ++i) {
    if (valIdx != kAllValues && i != valIdx) continue;
    if (const IParam* param = GetParam(i)) {
      SetValue(param->NormalizeValue(param->GetDefault()), i);
      SetDirty(true, i);
    }
  }
}

void IControl::SetValue(double value, int valIdx) {
  if (valIdx >= 0 && valIdx < NVals()) vals_[valIdx].value = value;
}

void IControl::SetText(const IText& text) {
  text_ = text;
}

void IControl::SetPosition(float x, float y) {
  const float left = std::max(0.f, x), top = std::max(0.f, y);
  rect_ = rect_.GetTranslated(left - rect_.left, top - rect_.top);
  targetRect_ = targetRect_.GetTranslated(left - targetRect_.left, top - targetRect_.top);
  mouseIsOver_ = false;
  OnResize();
}

void IControl::SetSize(float width, float height) {
  width = std::max(0.f, width);
  height = std::max(0.f, height);
  rect_.right = rect_.left + width;
  rect_.bottom = rect_.top + height;
  targetRect_.right = targetRect_.left + width;
  targetRect_.bottom = targetRect_.top + height;
  mouseIsOver_ = false;
  OnResize();
}

void IControl::Hide(bool hide) {
  hidden_ = hide;
  SetDirty(false);
}

void IControl::SetDisabled(bool disable) {
  disabled_ = disable;
  blend_ = disable ? kDisabledBlend : 1.f;
  SetDirty(false);
}

void IControl::SetIgnoreMouse(bool ignore) {
  ignoreMouse_ = ignore;
}

bool IControl::IsHit(float x, float y) const {
  return !targetRect_.AllZero() && targetRect_.Contains(x, y);
}

void IControl::SetDirty(bool triggerAction, int valIdx) {
  for (int i = 0; i < NVals(); ++i) {
    if (valIdx == kAllValues || i == valIdx) vals_[i].value = std::clamp(vals_[i].value, 0.0, 1.0);
  }
  dirty_ = true;
  if (!triggerAction) return;
  for (int i = 0; i < NVals(); ++i) {
    if ((valIdx == kAllValues || i == valIdx) && vals_[i].paramIdx != kNoParameter) {
      SendSlotToDelegate(i);
    }
  }
  if (action_) action_(*this);
}

void IControl::SetClean() {
  dirty_ = false;
}

bool IControl::IsDirty() {
  if (animation_) {
    const double elapsedMs = std::chrono::duration<double, std::milli>(
                                 std::chrono::steady_clock::now() - animationStart_)
                                 .count();
    const double progress =
        animationDurationMs_ > 0.0 ? std::min(elapsedMs / animationDurationMs_, 1.0) : 1.0;
    animation_(*this, progress);
    if (progress >= 1.0) OnEndAnimation();
    return true;
  }
  return dirty_;
}

void IControl::OnEndAnimation() {
  animation_ = nullptr;
  SetDirty(false);
  if (ActionFunction completion = std::move(animationCompletion_)) {
    animationCompletion_ = nullptr;
    completion(*this);
  }
}

double IControl::GetValue(int valIdx) const {
  return valIdx >= 0 && valIdx < NVals() ? vals_[valIdx].value : 0.0;
}

int IControl::GetParamIdx(int valIdx) const {
  return valIdx >= 0 && valIdx < NVals() ? vals_[valIdx].paramIdx : kNoParameter;
}

const IParam* IControl::GetParam(int valIdx) const {
  return delegate_ ? delegate_->GetParam(GetParamIdx(valIdx)) : nullptr;
}

void IControl::SetUI(ICanvas* ui, IEditorDelegate* delegate) {
  ui_ = ui;
  delegate_ = delegate;
}

void IControl::SetAnimation(AnimationFunction animation, int durationMs,
                            ActionFunction completion) {
  animation_ = std::move(animation);
  animationCompletion_ = std::move(completion);
  animationStart_ = std::chrono::steady_clock::now();
  animationDurationMs_ = durationMs;
}

void IControl::SetKeyBinding(int virtualKey, KeyBindingFunction function) {
  keyBindings_[virtualKey] = std::move(function);
}

void IControl::PromptUserInput(int valIdx) {
  if (ui_) ui_->PromptForValue(*this, valIdx);
}

void IControl::SendSlotToDelegate(int valIdx) {
  const int paramIdx = vals_[valIdx].paramIdx;
  if (delegate_) delegate_->SendParameterValueFromUI(paramIdx, vals_[valIdx].value);
  if (ui_) ui_->UpdatePeerControls(this, paramIdx, vals_[valIdx].value);
}

} // namespace reef::ui
