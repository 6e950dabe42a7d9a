#pragma once
// A key event: the typed character as UTF-8 (empty for keys without one), the Windows-style
// virtual-key code and the modifier states.

#include <string>

namespace reef::ui {

// Virtual-key codes the framework and the editor use. Letters are their upper-case ASCII
// codes ('A' is 65).
enum EVirtualKey : int {
  kVKNone = 0,
  kVKBackspace = 8,
  kVKTab = 9,
  kVKReturn = 13,
  kVKShift = 16,
  kVKControl = 17,
  kVKAlt = 18,
  kVKEscape = 27,
  kVKSpace = 32,
  kVKPageUp = 33,
  kVKPageDown = 34,
  kVKEnd = 35,
  kVKHome = 36,
  kVKLeft = 37,
  kVKUp = 38,
  kVKRight = 39,
  kVKDown = 40,
  kVKDelete = 46,
  kVKComma = 188,
};

struct IKeyPress {
  std::string utf8;
  int vk = kVKNone;
  bool shift = false;
  bool ctrl = false;
  bool alt = false;

  IKeyPress() = default;
  IKeyPress(std::string text, int virtualKey, bool s = false, bool c = false, bool a = false)
      : utf8(std::move(text)), vk(virtualKey), shift(s), ctrl(c), alt(a) {}
};

} // namespace reef::ui
