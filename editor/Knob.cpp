#include "editor/Knob.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "core/CoralSieve.h"
#include "editor/EditorOperations.h"
#include "editor/HelpTexts.h"
#include "editor/Palette.h"
#include "editor/ValueEntry.h"
#include "editor/ValueFormat.h"
#include "editor/ViewState.h"
#include "ui/ICanvas.h"
#include "ui/ITextEntryControl.h"

namespace coral {

using reef::ui::IRect;

namespace {

constexpr IColor kDisabledAccent{255, 91, 111, 115};
constexpr IColor kCapTop{255, 72, 87, 94};
constexpr IColor kCapBottom{255, 22, 32, 38};
constexpr IColor kCapRing{255, 87, 108, 115};
constexpr IColor kCapInnerRing{255, 26, 35, 40};
constexpr float kLabelSize = 15.f;
constexpr float kValueSize = 16.f;
constexpr float kLabelHeight = 24.f;
constexpr float kCentreBelowTop = 62.f;
constexpr float kTrackRadius = 36.f;
constexpr float kTrackWidth = 3.f;
constexpr float kCapRadius = 31.f;
constexpr float kInnerRingRadius = 26.f;
constexpr float kPointerFrom = 12.f; // radius where the pointer starts
constexpr float kPointerTo = 26.f;   // and ends
constexpr float kStartAngle = -138.f;
constexpr float kSweep = 276.f; // degrees of travel
constexpr float kValueBoxHalfWidth = 69.f;
constexpr float kValueBoxTop = 29.f;   // above the knob's bottom edge
constexpr float kValueBoxBottom = 3.f; // above the knob's bottom edge
constexpr float kValueBoxRadius = 5.f;
constexpr double kKeyStep = 0.01;
constexpr double kFineKeyStep = 0.001;
constexpr int kNoValueIndex = -1; // the typed text is not for a value slot

} // namespace

Knob::Knob(const IRect& bounds, int paramIdx, std::string label, CoralSieve& plug,
           std::shared_ptr<ViewState> view)
    : IKnobControlBase(bounds, paramIdx, reef::ui::EDirection::Vertical, kGearing),
      label_(std::move(label)), plug_(plug), view_(std::move(view)) {
  SetText(EditorText(kValueSize, kText));
  SetTooltip(std::string(ParamHelpText(paramIdx)));
}

IRect Knob::ValueBox(const IRect& bounds) {
  return IRect(bounds.MidX() - kValueBoxHalfWidth, bounds.bottom - kValueBoxTop,
               bounds.MidX() + kValueBoxHalfWidth, bounds.bottom - kValueBoxBottom);
}

void Knob::Draw(reef::ui::ICanvas& g) {
  const IRect& bounds = GetRect();
  const bool disabled = IsDisabled();
  const int paramIdx = GetParamIdx();
  const IColor& accent = disabled ? kDisabledAccent
                         : paramIdx >= kNumGlobalParams
                             ? BandColor((paramIdx - kNumGlobalParams) / kBandFields)
                             : kTeal;
  const float cx = bounds.MidX();
  const float cy = bounds.top + kCentreBelowTop;
  const double value = GetValue();

  g.DrawText(EditorText(kLabelSize, disabled ? kTextDim : kText), label_,
             IRect(bounds.left, bounds.top, bounds.right, bounds.top + kLabelHeight));
  g.DrawArc(kLine, cx, cy, kTrackRadius, kStartAngle, kStartAngle + kSweep, kTrackWidth);
  const float angle = kStartAngle + static_cast<float>(value) * kSweep;
  if (value > 0.0) g.DrawArc(accent, cx, cy, kTrackRadius, kStartAngle, angle, kTrackWidth);
  g.PathClear();
  g.PathArc(cx, cy, kCapRadius, 0.f, 360.f);
  g.PathFill(
      reef::ui::IPattern::Linear(cx, cy - kCapRadius, cx, cy + kCapRadius, kCapTop, kCapBottom));
  g.DrawCircle(kCapRing, cx, cy, kCapRadius, 1.f);
  g.DrawCircle(kCapInnerRing, cx, cy, kInnerRingRadius, 1.f);
  const float radians = angle * std::numbers::pi_v<float> / 180.f;
  const float dx = std::sin(radians);
  const float dy = -std::cos(radians);
  g.DrawLine(accent, cx + kPointerFrom * dx, cy + kPointerFrom * dy, cx + kPointerTo * dx,
             cy + kPointerTo * dy, kTrackWidth);

  const IRect box = ValueBox(bounds);
  g.FillRoundRect(kPanel, box, kValueBoxRadius);
  g.DrawRoundRect(GetMouseIsOver() && !disabled ? kCopper : kLine, box.GetPadded(-0.5f),
                  kValueBoxRadius, 1.f);
  if (!IsTextEntryOpen()) {
    char text[32];
    FormatValue(paramIdx, plug_.GetParam(paramIdx)->Value(), text, sizeof text);
    g.DrawText(EditorText(kValueSize, disabled ? kTextDim : kText), text, box);
  }
}

void Knob::OnMouseDown(float x, float y, const reef::ui::IMouseMod& mod) {
  if (IsDisabled()) return;
  WriteHelp();
  if (!mod.right && ValueBox(GetRect()).Contains(x, y)) {
    OpenTextEntry();
    return;
  }
  IKnobControlBase::OnMouseDown(x, y, mod);
}

void Knob::OnMouseDrag(float x, float y, float dX, float dY, const reef::ui::IMouseMod& mod) {
  // A press that opened the text entry is not a drag.
  if (IsDragging()) IKnobControlBase::OnMouseDrag(x, y, dX, dY, mod);
}

void Knob::OnMouseDblClick(float, float, const reef::ui::IMouseMod&) {
  if (!IsDisabled()) SetValueToDefault();
}

bool Knob::OnKeyDown(float, float, const reef::ui::IKeyPress& key) {
  if (IsDisabled()) return false;
  const double step = key.shift ? kFineKeyStep : kKeyStep;
  double value = GetValue();
  switch (key.vk) {
  case reef::ui::kVKReturn:
    OpenTextEntry();
    return true;
  case reef::ui::kVKHome:
    value = plug_.GetParam(GetParamIdx())->GetDefault(true);
    break;
  case reef::ui::kVKLeft:
  case reef::ui::kVKDown:
    value -= step;
    break;
  case reef::ui::kVKUp:
  case reef::ui::kVKRight:
    value += step;
    break;
  default:
    return false;
  }
  // A key press is a complete edit of its own: the host sees it as one gesture.
  plug_.BeginInformHostOfParamChangeFromUI(GetParamIdx());
  SetValue(std::clamp(value, 0.0, 1.0));
  SetDirty(true);
  plug_.EndInformHostOfParamChangeFromUI(GetParamIdx());
  return true;
}

void Knob::OnMouseOver(float x, float y, const reef::ui::IMouseMod& mod) {
  if (!IsDisabled()) WriteHelp();
  IKnobControlBase::OnMouseOver(x, y, mod);
}

bool Knob::IsDirty() {
  const bool inactive = IsParamInactive(plug_, GetParamIdx());
  if (inactive != IsDisabled()) SetDisabled(inactive);
  return IKnobControlBase::IsDirty();
}

void Knob::OnValueTyped(const std::string& text) {
  const int paramIdx = GetParamIdx();
  double value = 0.0;
  if (!ParseValue(paramIdx, text.c_str(), value)) {
    view_->SetHelp(kInvalidValueHelp.title, kInvalidValueHelp.text);
    if (GetUI()) GetUI()->SetAllControlsDirty();
    return;
  }
  // A typed value is one complete edit, kept exactly as typed (clamped to the range).
  SetParamFromUI(plug_, paramIdx, value, true);
}

void Knob::WriteHelp() {
  view_->SetHelp(label_, ParamHelpText(GetParamIdx()));
}

void Knob::OpenTextEntry() {
  if (!GetUI() || !valueEntry_) return;
  char initial[32];
  std::snprintf(initial, sizeof initial, "%.8g", plug_.GetParam(GetParamIdx())->Value());
  GetUI()->CreateTextEntry(*valueEntry_, GetText(), ValueBox(GetRect()), initial, kNoValueIndex);
  SetDirty(false);
}

bool Knob::IsTextEntryOpen() const {
  const reef::ui::ICanvas* ui = GetUI();
  return ui && ui->GetTextEntryControl() && valueEntry_ &&
         ui->GetTextEntryControl()->GetRequester() == valueEntry_;
}

} // namespace coral
