#pragma once
// What a path is filled or stroked with: one colour, or a linear gradient from a start point
// (colour at offset 0) to an end point (colour at offset 1), in canvas pixels.

#include "ui/IColor.h"

namespace reef::ui {

struct IPattern {
  enum class EKind { Solid, LinearGradient };

  EKind kind = EKind::Solid;
  IColor startColor;
  IColor endColor;
  float x1 = 0.f;
  float y1 = 0.f;
  float x2 = 0.f;
  float y2 = 0.f;

  constexpr IPattern() = default;
  constexpr IPattern(const IColor& color) : startColor(color), endColor(color) {}

  static constexpr IPattern Linear(float fromX, float fromY, float toX, float toY,
                                   const IColor& from, const IColor& to) {
    IPattern pattern(from);
    pattern.kind = EKind::LinearGradient;
    pattern.endColor = to;
    pattern.x1 = fromX;
    pattern.y1 = fromY;
    pattern.x2 = toX;
    pattern.y2 = toY;
    return pattern;
  }
};

} // namespace reef::ui
