#include "editor/Brand.h"

#include "editor/Deployment.h"
#include "editor/EditorOperations.h"
#include "editor/HelpTexts.h"
#include "editor/Palette.h"
#include "editor/ViewState.h"
#include "ui/ICanvas.h"

namespace coral {

using reef::ui::IRect;

namespace {

constexpr IRect kNameBox{36.f, 0.f, 238.f, 42.f};
constexpr float kNameSize = 23.f;
constexpr float kUnderlineLeft = 37.f;
constexpr float kUnderlineRight = 230.f;
constexpr float kUnderlineY = 39.f;

} // namespace

Brand::Brand(const IRect& bounds, reef::ui::ISVG logo, std::shared_ptr<ViewState> view)
    : IControl(bounds), logo_(std::move(logo)), view_(std::move(view)) {
  SetTooltip(std::string(kBrandTooltip));
}

void Brand::Draw(reef::ui::ICanvas& g) {
  if (logo_.IsValid()) {
    g.DrawSVG(logo_, GetRect());
  } else {
    g.DrawText(EditorText(kNameSize, kText, reef::ui::EAlign::Near), kMakerName, kNameBox);
  }
  if (GetMouseIsOver())
    g.DrawLine(kCopper, kUnderlineLeft, kUnderlineY, kUnderlineRight, kUnderlineY);
}

void Brand::OnMouseDown(float, float, const reef::ui::IMouseMod&) {
  OpenWebPage();
}

bool Brand::OnKeyDown(float, float, const reef::ui::IKeyPress& key) {
  if (!IsActivationKey(key)) return false;
  OpenWebPage();
  return true;
}

void Brand::OnMouseOver(float x, float y, const reef::ui::IMouseMod& mod) {
  view_->SetHelp(kBrandHelpTitle, BrandHelpText());
  IControl::OnMouseOver(x, y, mod);
}

void Brand::OpenWebPage() {
  if (GetUI()) GetUI()->OpenURL(kMakerWebPage);
}

} // namespace coral
