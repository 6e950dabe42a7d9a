#pragma once
// Buttons and modifier keys held during a mouse event.

namespace reef::ui {

struct IMouseMod {
  bool left = false;
  bool right = false;
  bool shift = false;
  bool ctrl = false;
  bool alt = false;

  // Shift or Ctrl: the fine-adjustment modifiers of knobs and wheels.
  constexpr bool Fine() const { return shift || ctrl; }
};

} // namespace reef::ui
