#include "ui/ICornerResizerControl.h"

#include <algorithm>

#include "ui/ICanvas.h"

namespace reef::ui {

ICornerResizerControl::ICornerResizerControl(float canvasWidth, float canvasHeight, float size,
                                             const IColor& color, const IColor& hoverColor,
                                             const IColor& dragColor)
    : IControl(IRect(canvasWidth - size, canvasHeight - size, canvasWidth, canvasHeight)),
      color_(color), hoverColor_(hoverColor), dragColor_(dragColor) {}

void ICornerResizerControl::Draw(ICanvas& g) {
  const IColor& color = dragging_ ? dragColor_ : GetMouseIsOver() ? hoverColor_ : color_;
  const IRect& r = GetRect();
  // Three diagonal strokes towards the corner.
  for (int i = 1; i <= 3; ++i) {
    const float offset = r.W() * 0.25f * static_cast<float>(i);
    g.DrawLine(color, r.right - offset, r.bottom - 1.f, r.right - 1.f, r.bottom - offset, 1.5f);
  }
}

void ICornerResizerControl::OnMouseDown(float, float, const IMouseMod&) {
  dragging_ = true;
  SetDirty(false);
}

void ICornerResizerControl::OnMouseDrag(float x, float y, float, float, const IMouseMod&) {
  ICanvas* ui = GetUI();
  if (!ui) return;
  const float extent = static_cast<float>(ui->Width() + ui->Height());
  const float scale =
      std::clamp(ui->GetDrawScale() * (x + y) / extent, ui->GetMinScale(), ui->GetMaxScale());
  if (scale != ui->GetDrawScale()) ui->Resize(ui->Width(), ui->Height(), scale, true);
}

void ICornerResizerControl::OnMouseUp(float, float, const IMouseMod&) {
  dragging_ = false;
  SetDirty(false);
}

void ICornerResizerControl::OnMouseDblClick(float, float, const IMouseMod&) {
  ICanvas* ui = GetUI();
  if (!ui) return;
  const float scale = std::clamp(1.f, ui->GetMinScale(), ui->GetMaxScale());
  if (scale != ui->GetDrawScale()) ui->Resize(ui->Width(), ui->Height(), scale, true);
}

} // namespace reef::ui
