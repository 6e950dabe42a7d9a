#include "editor/ViewState.h"

#include <algorithm>

#include "editor/HelpTexts.h"
#include "engine/ParamTable.h"

namespace coral {

ViewState::ViewState() : helpTitle(kInitialHelp.title), helpText(kInitialHelp.text) {}

void ViewState::SetSelectedBand(int band) {
  selectedBand = std::clamp(band, 0, kNumBands - 1);
}

void ViewState::AddMember(reef::ui::IControl* control, int band, int tab) {
  members.push_back({control, band, tab});
}

void ViewState::SetHelp(std::string_view title, std::string_view text) {
  helpTitle.assign(title);
  helpText.assign(text);
}

bool ViewState::IsShown(int band, int tab) const {
  if (band != kAnyBand && band != selectedBand) return false;
  return tab == kAnyTab || tab == selectedTab;
}

} // namespace coral
