#include "ui/IKnobControlBase.h"

#include <algorithm>

#include "core/IParam.h"
#include "ui/ICanvas.h"

namespace reef::ui {

namespace {

constexpr double kFineGearingFactor = 10.0;
constexpr double kWheelStep = 0.01;
constexpr double kFineWheelStep = 0.001;

} // namespace

IKnobControlBase::IKnobControlBase(const IRect& bounds, int paramIdx, EDirection direction,
                                   double gearing)
    : IControl(bounds, paramIdx), direction_(direction), gearing_(gearing) {}

void IKnobControlBase::OnMouseDown(float, float, const IMouseMod&) {
  if (GetUI()) GetUI()->HideMouseCursor(true, true);
  dragging_ = true;
}

void IKnobControlBase::OnMouseUp(float, float, const IMouseMod&) {
  if (GetUI()) GetUI()->HideMouseCursor(false, false);
  dragging_ = false;
  SetDirty(false);
}

void IKnobControlBase::OnMouseDrag(float, float, float dX, float dY, const IMouseMod& mod) {
  const IRect& bounds = GetRect();
  const bool vertical = direction_ == EDirection::Vertical;
  const double travel =
      (vertical ? bounds.H() : bounds.W()) * gearing_ * (mod.Fine() ? kFineGearingFactor : 1.0);
  if (travel <= 0.0) return;
  const double delta = vertical ? -dY : dX;
  SetValue(std::clamp(GetValue() + delta / travel, 0.0, 1.0));
  SetDirty(true);
}

void IKnobControlBase::OnMouseWheel(float, float, const IMouseMod& mod, float delta) {
  const IParam* param = GetParam();
  double value = GetValue();
  if (param && param->GetStepped() && param->GetStep() > 0.0) {
    const double plain = param->FromNormalized(value) + (delta > 0   ? 1
                                                         : delta < 0 ? -1
                                                                     : 0) *
                                                            param->GetStep();
    value = param->NormalizeValue(plain);
  } else {
    value += delta * (mod.Fine() ? kFineWheelStep : kWheelStep);
  }
  SetValue(std::clamp(value, 0.0, 1.0));
  SetDirty(true);
}

} // namespace reef::ui
