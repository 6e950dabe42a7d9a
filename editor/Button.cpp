#include "editor/Button.h"

#include "core/CoralSieve.h"
#include "editor/Deployment.h"
#include "editor/EditorOperations.h"
#include "editor/HelpTexts.h"
#include "editor/Palette.h"
#include "editor/ViewState.h"
#include "ui/ICanvas.h"

namespace coral {

using reef::ui::EAlign;
using reef::ui::IRect;

namespace {

constexpr IColor kLitFill{255, 36, 65, 65};
constexpr float kCornerRadius = 5.f;
constexpr float kDotRadius = 3.f;
constexpr float kDotInset = 12.f;   // from the left edge to the indicator dot's centre
constexpr float kLabelInset = 23.f; // from the left edge to a toggle's label
constexpr float kLabelRightInset = 4.f;
constexpr float kToggleTextSize = 13.f;
constexpr float kActionTextSize = 14.f;
constexpr float kSupportTextSize = 12.f;
constexpr double kAddedBandFrequencyHz = 1000.0;
constexpr double kAddedBandGainDb = 0.0;

const std::string kSlotA = "A";
const std::string kSlotB = "B";

} // namespace

void DrawButtonFrame(reef::ui::ICanvas& g, const IRect& bounds, bool lit, bool hover) {
  g.FillRoundRect(lit ? kLitFill : kPanel, bounds, kCornerRadius);
  g.DrawRoundRect(hover ? kCopper : lit ? kTeal : kLine, bounds.GetPadded(-0.5f), kCornerRadius);
}

Button::Button(const IRect& bounds, ButtonAction action, std::string label, CoralSieve& plug,
               std::shared_ptr<ViewState> view, int paramIdx, int tabIndex)
    : IControl(bounds, action == ButtonAction::kParamToggle ? paramIdx : reef::ui::kNoParameter),
      action_(action), label_(std::move(label)), plug_(plug), view_(std::move(view)),
      tabIndex_(tabIndex) {
  if (action_ == ButtonAction::kParamToggle) SetTooltip(std::string(ParamHelpText(paramIdx)));
}

const std::string& Button::GetShownLabel() const {
  if (action_ == ButtonAction::kABSwitch) return IsLit() ? kSlotB : kSlotA;
  return label_;
}

bool Button::IsLit() const {
  switch (action_) {
  case ButtonAction::kParamToggle:
    return plug_.GetParam(GetParamIdx())->Value() >= 0.5;
  case ButtonAction::kABSwitch:
    return plug_.GetABFlag() == 1;
  case ButtonAction::kTabSelect:
    return view_->selectedTab == tabIndex_;
  default:
    return false;
  }
}

void Button::Draw(reef::ui::ICanvas& g) {
  const IRect& bounds = GetRect();
  lit_ = IsLit();
  const bool lit = lit_ && !IsDisabled();
  const bool hover = GetMouseIsOver() && !IsDisabled();
  DrawButtonFrame(g, bounds, lit, hover);
  if (action_ == ButtonAction::kParamToggle) {
    g.FillCircle(lit ? kTeal : kTextDim, bounds.left + kDotInset, bounds.MidY(), kDotRadius);
    g.DrawText(EditorText(kToggleTextSize, lit ? kText : kTextDim, EAlign::Near), label_,
               IRect(bounds.left + kLabelInset, bounds.top, bounds.right - kLabelRightInset,
                     bounds.bottom));
    return;
  }
  const float size = action_ == ButtonAction::kSupportLink ? kSupportTextSize : kActionTextSize;
  g.DrawText(EditorText(size, kText), GetShownLabel(), bounds);
}

void Button::OnMouseDown(float, float, const reef::ui::IMouseMod&) {
  if (!IsDisabled()) Click();
}

void Button::OnMouseDblClick(float, float, const reef::ui::IMouseMod&) {
  if (action_ != ButtonAction::kParamToggle || IsDisabled()) return;
  SetValueToDefault();
  if (GetUI()) GetUI()->SetAllControlsDirty();
}

bool Button::OnKeyDown(float, float, const reef::ui::IKeyPress& key) {
  if (!IsActivationKey(key) || IsDisabled()) return false;
  // A key press is a complete edit of its own: the host sees it as one gesture.
  const bool gesture = action_ == ButtonAction::kParamToggle;
  if (gesture) plug_.BeginInformHostOfParamChangeFromUI(GetParamIdx());
  Click();
  if (gesture) plug_.EndInformHostOfParamChangeFromUI(GetParamIdx());
  return true;
}

void Button::OnMouseOver(float x, float y, const reef::ui::IMouseMod& mod) {
  switch (action_) {
  case ButtonAction::kParamToggle:
    view_->SetHelp(plug_.GetParam(GetParamIdx())->GetName(), ParamHelpText(GetParamIdx()));
    break;
  case ButtonAction::kABSwitch:
    view_->SetHelp(kABSwitchHelp.title, kABSwitchHelp.text);
    break;
  case ButtonAction::kCopy:
    view_->SetHelp(kCopyHelp.title, kCopyHelp.text);
    break;
  case ButtonAction::kTabSelect:
    break;
  case ButtonAction::kAddBand:
    view_->SetHelp(kAddBandHelp.title, kAddBandHelp.text);
    break;
  case ButtonAction::kDeleteBand:
    view_->SetHelp(kDeleteBandHelp.title, kDeleteBandHelp.text);
    break;
  case ButtonAction::kSupportLink:
    view_->SetHelp(kSupportHelpTitle, SupportHelpText());
    break;
  }
  IControl::OnMouseOver(x, y, mod);
}

bool Button::IsDirty() {
  if (action_ == ButtonAction::kParamToggle) {
    const bool inactive = IsParamInactive(plug_, GetParamIdx());
    if (inactive != IsDisabled()) SetDisabled(inactive);
  }
  if (const bool lit = IsLit(); lit != lit_) {
    lit_ = lit;
    SetDirty(false);
  }
  return IControl::IsDirty();
}

void Button::Click() {
  reef::ui::ICanvas* ui = GetUI();
  if (!ui) return;
  switch (action_) {
  case ButtonAction::kParamToggle: {
    const reef::IParam& param = *plug_.GetParam(GetParamIdx());
    SetValue(param.NormalizeValue(param.Value() < 0.5 ? 1.0 : 0.0));
    SetDirty(true);
    break;
  }
  case ButtonAction::kABSwitch:
    plug_.SwitchAB();
    break;
  case ButtonAction::kCopy:
    plug_.CopyToStoredSlot();
    break;
  case ButtonAction::kTabSelect:
    SelectTab(*view_, *ui, tabIndex_);
    break;
  case ButtonAction::kAddBand:
    AddBandSlot(plug_, *view_, *ui, kAddedBandFrequencyHz, kAddedBandGainDb);
    break;
  case ButtonAction::kDeleteBand:
    DeleteSelectedBand(plug_, *view_, *ui);
    break;
  case ButtonAction::kSupportLink:
    ui->OpenURL(std::string("mailto:") + kSupportEmail);
    break;
  }
  ui->SetAllControlsDirty();
}

} // namespace coral
