#include "editor/EnumMenu.h"

#include "core/CoralSieve.h"
#include "editor/EditorOperations.h"
#include "editor/HelpTexts.h"
#include "editor/Palette.h"
#include "editor/ViewState.h"
#include "ui/ICanvas.h"

namespace coral {

using reef::ui::EAlign;
using reef::ui::IRect;

namespace {

constexpr float kTextSize = 15.f;
constexpr float kCornerRadius = 5.f;
constexpr float kLabelHeight = 24.f;
constexpr float kBoxInset = 12.f;     // a labelled box's left and right inset
constexpr float kBoxTop = 39.f;       // a labelled box's top, below the control's top
constexpr float kBoxBottom = 91.f;    // a labelled box's bottom, below the control's top
constexpr float kTextInset = 12.f;    // from the box's left edge
constexpr float kChevronSpace = 24.f; // kept free for the chevron at the box's right
// The chevron's ends and tip, from the box's right edge and vertical middle.
constexpr float kChevronLeft = 18.f;
constexpr float kChevronRight = 8.f;
constexpr float kChevronRise = 3.f;
constexpr float kChevronDrop = 2.f;

} // namespace

void DrawMenuBox(reef::ui::ICanvas& g, const IRect& box, bool hover) {
  g.FillRoundRect(kPanel, box, kCornerRadius);
  g.DrawRoundRect(hover ? kCopper : kLine, box.GetPadded(-0.5f), kCornerRadius);
}

void DrawChevron(reef::ui::ICanvas& g, float left, float right, float top, float tipY,
                 const IColor& color) {
  g.PathClear();
  g.PathMoveTo(left, top);
  g.PathLineTo(0.5f * (left + right), tipY);
  g.PathLineTo(right, top);
  g.PathStroke(color, 1.f);
}

EnumMenu::EnumMenu(const IRect& bounds, int paramIdx, CoralSieve& plug,
                   std::shared_ptr<ViewState> view, std::string label)
    : IControl(bounds, paramIdx), plug_(plug), view_(std::move(view)), label_(std::move(label)) {
  SetText(EditorText(kTextSize, kText, EAlign::Near));
  SetTooltip(std::string(ParamHelpText(paramIdx)));
}

IRect EnumMenu::GetBox() const {
  const IRect& bounds = GetRect();
  if (label_.empty()) return bounds;
  return IRect(bounds.left + kBoxInset, bounds.top + kBoxTop, bounds.right - kBoxInset,
               bounds.top + kBoxBottom);
}

void EnumMenu::Draw(reef::ui::ICanvas& g) {
  const IRect& bounds = GetRect();
  if (!label_.empty()) {
    g.DrawText(EditorText(kTextSize, kText), label_,
               IRect(bounds.left, bounds.top, bounds.right, bounds.top + kLabelHeight));
  }
  const IRect box = GetBox();
  DrawMenuBox(g, box, GetMouseIsOver() && !IsDisabled());
  const reef::IParam& param = *plug_.GetParam(GetParamIdx());
  g.DrawText(EditorText(kTextSize, IsDisabled() ? kTextDim : kText, EAlign::Near),
             param.DisplayTextFor(param.Value()),
             IRect(box.left + kTextInset, box.top, box.right - kChevronSpace, box.bottom));
  DrawChevron(g, box.right - kChevronLeft, box.right - kChevronRight, box.MidY() - kChevronRise,
              box.MidY() + kChevronDrop, kTeal);
}

void EnumMenu::OnMouseDown(float, float, const reef::ui::IMouseMod&) {
  if (!IsDisabled()) Open();
}

bool EnumMenu::OnKeyDown(float, float, const reef::ui::IKeyPress& key) {
  if (!IsActivationKey(key) || IsDisabled()) return false;
  Open();
  return true;
}

void EnumMenu::OnMouseOver(float x, float y, const reef::ui::IMouseMod& mod) {
  WriteHelp();
  IControl::OnMouseOver(x, y, mod);
}

bool EnumMenu::IsDirty() {
  const bool inactive = IsParamInactive(plug_, GetParamIdx());
  if (inactive != IsDisabled()) SetDisabled(inactive);
  return IControl::IsDirty();
}

void EnumMenu::WriteHelp() {
  view_->SetHelp(plug_.GetParam(GetParamIdx())->GetName(), ParamHelpText(GetParamIdx()));
}

void EnumMenu::Open() {
  WriteHelp();
  if (GetUI()) GetUI()->PromptForValue(*this, 0, GetBox());
}

} // namespace coral
