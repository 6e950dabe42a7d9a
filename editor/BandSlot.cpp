#include "editor/BandSlot.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/CoralSieve.h"
#include "editor/Button.h"
#include "editor/EditorOperations.h"
#include "editor/HelpTexts.h"
#include "editor/Palette.h"
#include "editor/ViewState.h"
#include "ui/ICanvas.h"

namespace coral {

using reef::ui::EAlign;
using reef::ui::IRect;

namespace {

constexpr float kDotInset = 12.f; // from the left edge
constexpr float kDotTop = 14.f;   // from the top edge
constexpr float kDotRadius = 3.f;

} // namespace

bool BandSlot::Look::operator==(const Look& other) const {
  return selected == other.selected && enabled == other.enabled &&
         std::strcmp(readout, other.readout) == 0;
}

BandSlot::BandSlot(const IRect& bounds, int band, CoralSieve& plug, std::shared_ptr<ViewState> view)
    : IControl(bounds), band_(band), plug_(plug), view_(std::move(view)) {
  SetTooltip(std::string(kBandSlotTooltip));
}

BandSlot::Look BandSlot::Read() {
  Look look;
  look.selected = view_->selectedBand == band_;
  look.enabled = plug_.GetParam(BandParamIndex(band_, kEnabled))->Value() >= 0.5;
  if (look.enabled) {
    plug_.Engine().GetDisplaySnapshot(snapshot_);
    const float gain = snapshot_.liveBandGain[band_];
    std::snprintf(look.readout, sizeof look.readout, "%+.1f dB", std::isfinite(gain) ? gain : 0.f);
  } else {
    std::snprintf(look.readout, sizeof look.readout, "OFF");
  }
  return look;
}

void BandSlot::Draw(reef::ui::ICanvas& g) {
  const IRect& bounds = GetRect();
  shown_ = Read();
  const IColor& dot = shown_.enabled ? BandColor(band_) : kTextDim;
  DrawButtonFrame(g, bounds, shown_.selected, GetMouseIsOver());
  g.FillCircle(dot, bounds.left + kDotInset, bounds.top + kDotTop, kDotRadius);
  char number[12];
  std::snprintf(number, sizeof number, "%02d", band_ + 1);
  g.DrawText(EditorText(13.f, shown_.enabled ? kText : kTextDim, EAlign::Near), number,
             IRect(bounds.left + 21.f, bounds.top + 2.f, bounds.right - 5.f, bounds.top + 24.f));
  g.DrawText(EditorText(11.f, dot), shown_.readout,
             IRect(bounds.left + 5.f, bounds.top + 22.f, bounds.right - 5.f, bounds.bottom - 2.f));
}

void BandSlot::OnMouseDown(float, float, const reef::ui::IMouseMod&) {
  if (GetUI()) SelectBand(*view_, *GetUI(), band_);
}

bool BandSlot::OnKeyDown(float, float, const reef::ui::IKeyPress& key) {
  if (!IsActivationKey(key) || !GetUI()) return false;
  SelectBand(*view_, *GetUI(), band_);
  return true;
}

bool BandSlot::IsDirty() {
  if (const Look look = Read(); !(look == shown_)) {
    shown_ = look;
    SetDirty(false);
  }
  return IControl::IsDirty();
}

} // namespace coral
