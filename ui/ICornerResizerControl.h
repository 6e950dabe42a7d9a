#pragma once
// The resize grip in the bottom-right corner of the canvas: dragging it changes the draw
// scale of the fixed-size editor within the canvas's scale limits, and the platform window
// follows. The grip follows the pointer along the diagonal: the new scale is the old one
// times (x + y) / (width + height) for the pointer at canvas point (x, y).
//
// Threads: user-interface thread only.

#include "ui/IControl.h"

namespace reef::ui {

class ICornerResizerControl : public IControl {
public:
  // A `size` x `size` grip in the corner of a canvas of `canvasWidth` x `canvasHeight`
  // logical pixels, drawn in `color`, `hoverColor` while the pointer is over it and
  // `dragColor` while dragged.
  ICornerResizerControl(float canvasWidth, float canvasHeight, float size, const IColor& color,
                        const IColor& hoverColor, const IColor& dragColor);

  void Draw(ICanvas& g) override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const IMouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const IMouseMod& mod) override;
  bool IsDragging() const { return dragging_; }

private:
  IColor color_;
  IColor hoverColor_;
  IColor dragColor_;
  bool dragging_ = false;
};

} // namespace reef::ui
