#pragma once
// A colour: alpha, red, green and blue, each 0..255.

namespace reef::ui {

struct IColor {
  int alpha = 255;
  int red = 0;
  int green = 0;
  int blue = 0;

  constexpr IColor() = default;
  constexpr IColor(int a, int r, int g, int b) : alpha(a), red(r), green(g), blue(b) {}

  constexpr IColor WithAlpha(int a) const { return {a, red, green, blue}; }
  constexpr bool operator==(const IColor&) const = default;
};

inline constexpr IColor kColorBlack{255, 0, 0, 0};
inline constexpr IColor kColorWhite{255, 255, 255, 255};
inline constexpr IColor kColorTransparent{0, 0, 0, 0};

} // namespace reef::ui
