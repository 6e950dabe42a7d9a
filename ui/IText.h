#pragma once
// A text style: size in canvas pixels (the em size of the font), colour, font id and
// alignment, plus the colours an in-place text entry uses when opened with this style.

#include <string>

#include "ui/IColor.h"

namespace reef::ui {

enum class EAlign { Near, Centre, Far };
enum class EVAlign { Top, Middle, Bottom };

struct IText {
  float size = 14.f;
  IColor color = kColorBlack;
  std::string fontId;
  EAlign align = EAlign::Centre;
  EVAlign valign = EVAlign::Middle;
  IColor entryBackground = kColorWhite;
  IColor entryText = kColorBlack;

  IText() = default;
  IText(float textSize, const IColor& textColor, std::string font = {},
        EAlign horizontal = EAlign::Centre, EVAlign vertical = EVAlign::Middle)
      : size(textSize), color(textColor), fontId(std::move(font)), align(horizontal),
        valign(vertical) {}

  IText WithSize(float s) const {
    IText t = *this;
    t.size = s;
    return t;
  }
  IText WithColor(const IColor& c) const {
    IText t = *this;
    t.color = c;
    return t;
  }
  IText WithAlign(EAlign a) const {
    IText t = *this;
    t.align = a;
    return t;
  }
  IText WithEntryColors(const IColor& background, const IColor& text) const {
    IText t = *this;
    t.entryBackground = background;
    t.entryText = text;
    return t;
  }
};

} // namespace reef::ui
