#include "ui/ICanvas.h"

#include <algorithm>

#include "core/IEditorDelegate.h"
#include "core/IParam.h"
#include "ui/ICornerResizerControl.h"
#include "ui/ITextEntryControl.h"

namespace reef::ui {

namespace {

constexpr float kDirtyPadding = 0.75f;
constexpr float kPromptEntryWidth = 40.f;
constexpr float kPromptEntryHeight = 16.f;

bool AcceptsMouse(const IControl& control, bool mouseOver) {
  if (control.IsHidden() || control.GetIgnoreMouse()) return false;
  if (!control.IsDisabled()) return true;
  return mouseOver ? control.GetMouseOverWhenDisabled() : control.GetMouseEventsWhenDisabled();
}

} // namespace

ICanvas::ICanvas(IEditorDelegate& delegate, int width, int height, int fps, float scale)
    : delegate_(delegate),
      drawArea_(0.f, 0.f, static_cast<float>(width), static_cast<float>(height)), width_(width),
      height_(height), fps_(fps), drawScale_(scale), minScale_(scale), maxScale_(scale) {}

ICanvas::~ICanvas() = default;

IControl* ICanvas::AttachControl(std::unique_ptr<IControl> control) {
  control->SetUI(this, &delegate_);
  controls_.push_back(std::move(control));
  return controls_.back().get();
}

IControl* ICanvas::GetControl(int index) const {
  return index >= 0 && index < NControls() ? controls_[index].get() : nullptr;
}

void ICanvas::SetAllControlsDirty() {
  for (const auto& control : controls_) control->SetDirty(false);
  if (textEntry_) textEntry_->SetDirty(false);
  if (resizer_) resizer_->SetDirty(false);
}

void ICanvas::AttachTextEntryControl() {
  textEntry_ = std::make_unique<ITextEntryControl>();
  textEntry_->SetUI(this, &delegate_);
}

void ICanvas::AttachCornerResizer(std::unique_ptr<ICornerResizerControl> resizer) {
  resizer_ = std::move(resizer);
  resizer_->SetUI(this, &delegate_);
}

void ICanvas::OnParamValueFromDelegate(int paramIdx, double value, bool normalized) {
  if (!normalized) {
    const IParam* param = delegate_.GetParam(paramIdx);
    if (!param) return;
    value = param->NormalizeValue(value);
  }
  for (const auto& control : controls_) {
    for (int slot = 0; slot < control->NVals(); ++slot) {
      if (control->GetParamIdx(slot) == paramIdx) control->SetValueFromDelegate(value, slot);
    }
  }
}

void ICanvas::UpdatePeerControls(const IControl* except, int paramIdx, double normalizedValue) {
  if (paramIdx == kNoParameter) return;
  for (const auto& control : controls_) {
    if (control.get() == except) continue;
    for (int slot = 0; slot < control->NVals(); ++slot) {
      if (control->GetParamIdx(slot) != paramIdx) continue;
      control->SetValue(normalizedValue, slot);
      control->SetDirty(false, slot);
    }
  }
}

bool ICanvas::IsDirty(IRectList& area) {
  area.Clear();
  const auto collect = [&area](IControl* control) {
    if (control && control->IsDirty()) area.Add(control->GetRect().GetPadded(kDirtyPadding));
  };
  for (const auto& control : controls_) collect(control.get());
  if (textEntry_ && textEntry_->IsShowing()) collect(textEntry_.get());
  collect(resizer_.get());
  return !area.Empty();
}

void ICanvas::Draw(const IRectList& area) {
  BeginFrame();
  for (const IRect& region : area) {
    drawArea_ = region;
    ClipToArea(region);
    for (const auto& control : controls_) {
      if (!control->IsHidden() && control->GetRect().Intersects(region)) DrawControl(*control);
    }
    if (textEntry_ && textEntry_->IsShowing() && textEntry_->GetRect().Intersects(region)) {
      DrawControl(*textEntry_);
    }
    if (resizer_ && !resizer_->IsHidden() && resizer_->GetRect().Intersects(region)) {
      DrawControl(*resizer_);
    }
  }
  EndFrame();
  drawArea_ = IRect(0.f, 0.f, static_cast<float>(width_), static_cast<float>(height_));
  for (const auto& control : controls_) {
    if (area.Intersects(control->GetRect())) control->SetClean();
  }
  if (textEntry_) textEntry_->SetClean();
  if (resizer_) resizer_->SetClean();
}

void ICanvas::DrawAll() {
  IRectList all;
  all.Add(IRect(0.f, 0.f, static_cast<float>(width_), static_cast<float>(height_)));
  Draw(all);
}

void ICanvas::DrawControl(IControl& control) {
  SetGlobalAlpha(control.GetBlend());
  ClipRegion(IRect());
  control.Draw(*this);
  if (control.GetHighlight()) control.DrawHighlight(*this);
  SetGlobalAlpha(1.f);
}

IControl* ICanvas::GetMouseControl(float x, float y, bool mouseOver) const {
  if (textEntry_ && textEntry_->IsShowing() && textEntry_->IsHit(x, y)) return textEntry_.get();
  if (resizer_ && AcceptsMouse(*resizer_, mouseOver) && resizer_->IsHit(x, y)) {
    return resizer_.get();
  }
  const int first = mouseOver ? 1 : 0;
  for (int i = NControls() - 1; i >= first; --i) {
    IControl& control = *controls_[i];
    if (AcceptsMouse(control, mouseOver) && control.IsHit(x, y)) return &control;
  }
  return nullptr;
}

void ICanvas::OnMouseDown(float x, float y, const IMouseMod& mod) {
  // A press anywhere but on the open text entry commits it first.
  if (textEntry_ && textEntry_->IsShowing() && !textEntry_->IsHit(x, y)) textEntry_->Commit();
  EndGestures();
  IControl* control = GetMouseControl(x, y, false);
  captured_ = control;
  if (!control) return;
  if (mod.left) {
    for (int slot = 0; slot < control->NVals(); ++slot) {
      const int paramIdx = control->GetParamIdx(slot);
      if (paramIdx == kNoParameter) continue;
      delegate_.BeginInformHostOfParamChangeFromUI(paramIdx);
      gestureParams_.push_back(paramIdx);
    }
  }
  control->OnMouseDown(x, y, mod);
}

void ICanvas::OnMouseUp(float x, float y, const IMouseMod& mod) {
  IControl* control = captured_;
  captured_ = nullptr;
  if (control) control->OnMouseUp(x, y, mod);
  EndGestures();
}

void ICanvas::OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) {
  if (captured_) captured_->OnMouseDrag(x, y, dX, dY, mod);
}

void ICanvas::OnMouseDblClick(float x, float y, const IMouseMod& mod) {
  if (IControl* control = GetMouseControl(x, y, false)) control->OnMouseDblClick(x, y, mod);
}

void ICanvas::OnMouseWheel(float x, float y, const IMouseMod& mod, float delta) {
  if (IControl* control = GetMouseControl(x, y, false)) control->OnMouseWheel(x, y, mod, delta);
}

void ICanvas::OnMouseOver(float x, float y, const IMouseMod& mod) {
  if (!mouseOverEnabled_) return;
  SetMouseOverControl(GetMouseControl(x, y, true), x, y, mod);
}

void ICanvas::OnMouseOut() {
  if (mouseOver_) mouseOver_->OnMouseOut();
  mouseOver_ = nullptr;
}

void ICanvas::SetMouseOverControl(IControl* control, float x, float y, const IMouseMod& mod) {
  if (control != mouseOver_ && mouseOver_) mouseOver_->OnMouseOut();
  mouseOver_ = control;
  if (control) control->OnMouseOver(x, y, mod);
}

void ICanvas::OnGestureCancelled() {
  IControl* control = captured_;
  captured_ = nullptr;
  if (control) control->OnTouchCancelled(0.f, 0.f, IMouseMod{});
  EndGestures();
}

void ICanvas::EndGestures() {
  for (int paramIdx : gestureParams_) delegate_.EndInformHostOfParamChangeFromUI(paramIdx);
  gestureParams_.clear();
}

bool ICanvas::OnKeyDown(float x, float y, const IKeyPress& key) {
  if (textEntry_ && textEntry_->IsShowing()) {
    if (textEntry_->OnKeyDown(x, y, key)) return true;
  } else if (IControl* control = GetMouseControl(x, y, false)) {
    if (control->OnKeyDown(x, y, key) || control->OnKeyShortcut(key)) return true;
  }
  return keyHandler_ ? keyHandler_(x, y, key) : false;
}

bool ICanvas::OnKeyUp(float x, float y, const IKeyPress& key) {
  if (textEntry_ && textEntry_->IsShowing()) return textEntry_->OnKeyUp(x, y, key);
  IControl* control = GetMouseControl(x, y, false);
  return control && control->OnKeyUp(x, y, key);
}

void ICanvas::OnDrop(const std::vector<std::string>& paths, float x, float y) {
  if (IControl* control = GetMouseControl(x, y, false)) control->OnDropMultiple(paths);
}

std::string ICanvas::GetTooltipAt(float x, float y) const {
  if (!tooltipsEnabled_) return {};
  const IControl* control = GetMouseControl(x, y, true);
  return control ? control->GetTooltip() : std::string();
}

void ICanvas::PromptForValue(IControl& control, int valIdx) {
  PromptForValue(control, valIdx, control.GetRect());
}

void ICanvas::PromptForValue(IControl& control, int valIdx, const IRect& bounds) {
  const IParam* param = control.GetParam(valIdx);
  if (!param) return;
  const bool menu = param->Type() == IParam::kTypeEnum ||
                    (param->Type() == IParam::kTypeBool && param->NDisplayTexts() > 0);
  if (menu) {
    promptMenu_.Clear();
    for (int i = 0; i < param->NDisplayTexts(); ++i) {
      promptMenu_.AddItem(param->GetDisplayTextAtIdx(i));
    }
    const double current = param->Value();
    for (int i = 0; i < param->NDisplayTexts(); ++i) {
      double value = 0.0;
      param->GetDisplayTextAtIdx(i, &value);
      if (value == current) promptMenu_.SetCheckedItemIdx(i);
    }
    CreatePopupMenu(control, promptMenu_, bounds, valIdx);
    return;
  }
  const IRect entryBounds = param->NDisplayTexts() > 0
                                ? bounds
                                : bounds.GetCentredInside(kPromptEntryWidth, kPromptEntryHeight);
  CreateTextEntry(control, control.GetText(), entryBounds, param->GetDisplay(), valIdx);
}

void ICanvas::CreateTextEntry(IControl& control, const IText& text, const IRect& bounds,
                              const std::string& initial, int valIdx) {
  if (!textEntry_) return;
  if (textEntry_->IsShowing()) textEntry_->Cancel();
  textEntry_->Open(control, text, bounds, initial, valIdx);
}

void ICanvas::CreatePopupMenu(IControl& control, IPopupMenu& menu, const IRect& bounds,
                              int valIdx) {
  if (popupControl_) OnPopupMenuClosed(-1);
  popupControl_ = &control;
  popupMenu_ = &menu;
  popupValIdx_ = valIdx;
  menu.SetChosenItemIdx(-1);
  ShowPopupMenu(menu, bounds);
}

void ICanvas::OnPopupMenuClosed(int chosen) {
  IControl* control = popupControl_;
  IPopupMenu* menu = popupMenu_;
  popupControl_ = nullptr;
  popupMenu_ = nullptr;
  if (!control || !menu) return;
  menu->SetChosenItemIdx(chosen);
  control->OnPopupMenuSelection(*menu, popupValIdx_);
}

void ICanvas::SetScreenScale(float scale) {
  if (!(scale > 0.f) || scale == screenScale_) return;
  screenScale_ = scale;
  SetAllControlsDirty();
  OnSizeChanged(false);
}

void ICanvas::Resize(int width, int height, float drawScale, bool resizePlatformWindow) {
  if (width <= 0 || height <= 0 || !(drawScale > 0.f)) return;
  width_ = width;
  height_ = height;
  drawArea_ = IRect(0.f, 0.f, static_cast<float>(width), static_cast<float>(height));
  drawScale_ = drawScale;
  SetAllControlsDirty();
  OnSizeChanged(resizePlatformWindow);
}

void ICanvas::SetScaleConstraints(float lo, float hi) {
  minScale_ = std::min(lo, hi);
  maxScale_ = std::max(lo, hi);
}

} // namespace reef::ui
