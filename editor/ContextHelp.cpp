#include "editor/ContextHelp.h"

#include "editor/Palette.h"
#include "editor/ViewState.h"
#include "ui/ICanvas.h"

namespace coral {

using reef::ui::EAlign;
using reef::ui::EVAlign;
using reef::ui::IRect;

namespace {

constexpr IRect kTitleBox{36.f, 724.f, 264.f, 750.f};
constexpr IRect kTextBox{280.f, 723.f, 1144.f, 752.f};

} // namespace

ContextHelp::ContextHelp(const IRect& bounds, std::shared_ptr<ViewState> view)
    : IControl(bounds), view_(std::move(view)) {
  SetIgnoreMouse(true);
}

void ContextHelp::Draw(reef::ui::ICanvas& g) {
  shownTitle_ = view_->helpTitle;
  shownText_ = view_->helpText;
  g.DrawText(EditorText(11.f, kCopper, EAlign::Near), shownTitle_, kTitleBox);
  g.DrawTextBox(EditorText(12.f, kTextDim, EAlign::Near, EVAlign::Top), shownText_, kTextBox);
}

bool ContextHelp::IsDirty() {
  if (view_->helpTitle != shownTitle_ || view_->helpText != shownText_) {
    shownTitle_ = view_->helpTitle;
    shownText_ = view_->helpText;
    SetDirty(false);
  }
  return IControl::IsDirty();
}

} // namespace coral
