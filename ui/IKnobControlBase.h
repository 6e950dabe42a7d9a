#pragma once
// A control turned by vertical drag and wheel: dragging hides the pointer (locked in place
// so the drag is unbounded) and shows it again on release.
//
// Threads: user-interface thread only.

#include "ui/IControl.h"

namespace reef::ui {

enum class EDirection { Vertical, Horizontal };

class IKnobControlBase : public IControl {
public:
  // `gearing`: the drag distance for the whole range, in multiples of the control's height
  // (width for a horizontal knob); ten times more with Shift or Ctrl.
  IKnobControlBase(const IRect& bounds, int paramIdx = kNoParameter,
                   EDirection direction = EDirection::Vertical, double gearing = 4.0);

  // Hides the pointer and starts a drag.
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  // Shows the pointer again, ends the drag and marks dirty.
  void OnMouseUp(float x, float y, const IMouseMod& mod) override;
  // The normalized value changes by -dY / (height * gearing) per pixel (dX / (width *
  // gearing) when horizontal), clamped to 0..1, as a user edit.
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
  // One wheel unit moves a stepped parameter by one step; otherwise the normalized value
  // changes by delta * 0.01 (0.001 with Shift or Ctrl). A user edit.
  void OnMouseWheel(float x, float y, const IMouseMod& mod, float delta) override;

  double GetGearing() const { return gearing_; }
  void SetGearing(double gearing) { gearing_ = gearing; }
  bool IsDragging() const { return dragging_; }

private:
  EDirection direction_;
  double gearing_;
  bool dragging_ = false;
};

} // namespace reef::ui
