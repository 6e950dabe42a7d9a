#include "editor/BandTitle.h"

#include <cstdio>

#include "editor/Palette.h"
#include "editor/ViewState.h"
#include "ui/ICanvas.h"

namespace coral {

BandTitle::BandTitle(const reef::ui::IRect& bounds, std::shared_ptr<ViewState> view)
    : IControl(bounds), view_(std::move(view)) {
  SetIgnoreMouse(true);
}

void BandTitle::Draw(reef::ui::ICanvas& g) {
  shownBand_ = view_->selectedBand;
  char title[20];
  std::snprintf(title, sizeof title, "BAND %02d", shownBand_ + 1);
  g.DrawText(EditorText(14.f, BandColor(shownBand_), reef::ui::EAlign::Near), title, GetRect());
}

bool BandTitle::IsDirty() {
  if (view_->selectedBand != shownBand_) {
    shownBand_ = view_->selectedBand;
    SetDirty(false);
  }
  return IControl::IsDirty();
}

} // namespace coral
