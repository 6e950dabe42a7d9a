#include "ui/IPopupMenu.h"

#include <cstdio>

namespace reef::ui {

std::string IPopupMenu::GetDisplayText(int index) const {
  const std::string& text = items_.at(index);
  const char* format = nullptr;
  switch (prefixMode_) {
  case 1:
    format = "%1d: %s";
    break;
  case 2:
    format = "%02d: %s";
    break;
  case 3:
    format = "%03d: %s";
    break;
  default:
    return text;
  }
  char prefixed[512];
  std::snprintf(prefixed, sizeof prefixed, format, index + 1, text.c_str());
  return prefixed;
}

} // namespace reef::ui
