#pragma once
// A rectangle of the editor canvas: left, top, right, bottom in logical canvas pixels.
// It contains (x, y) when left <= x < right and top <= y < bottom.

#include <algorithm>

namespace reef::ui {

struct IRect {
  float left = 0.f;
  float top = 0.f;
  float right = 0.f;
  float bottom = 0.f;

  constexpr IRect() = default;
  constexpr IRect(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}

  constexpr float W() const { return right - left; }
  constexpr float H() const { return bottom - top; }
  constexpr float MidX() const { return 0.5f * (left + right); }
  constexpr float MidY() const { return 0.5f * (top + bottom); }
  // No area: a zero or negative width or height.
  constexpr bool Empty() const { return !(right > left && bottom > top); }
  constexpr bool AllZero() const {
    return left == 0.f && top == 0.f && right == 0.f && bottom == 0.f;
  }
  constexpr bool Contains(float x, float y) const {
    return left <= x && x < right && top <= y && y < bottom;
  }
  constexpr bool Intersects(const IRect& other) const {
    return !Empty() && !other.Empty() && left < other.right && other.left < right &&
           top < other.bottom && other.top < bottom;
  }
  // The smallest rectangle holding both; an empty operand is ignored.
  constexpr IRect Union(const IRect& other) const {
    if (Empty()) return other;
    if (other.Empty()) return *this;
    return {std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
            std::max(bottom, other.bottom)};
  }
  // The part both share; empty when they do not meet.
  constexpr IRect Intersect(const IRect& other) const {
    return {std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
            std::min(bottom, other.bottom)};
  }
  // Grown by `amount` on every side (shrunk for a negative amount).
  constexpr IRect GetPadded(float amount) const {
    return {left - amount, top - amount, right + amount, bottom + amount};
  }
  constexpr IRect GetTranslated(float dx, float dy) const {
    return {left + dx, top + dy, right + dx, bottom + dy};
  }
  constexpr IRect GetScaled(float scale) const {
    return {left * scale, top * scale, right * scale, bottom * scale};
  }
  // A rectangle of `width` x `height` centred on this one.
  constexpr IRect GetCentredInside(float width, float height) const {
    return {MidX() - 0.5f * width, MidY() - 0.5f * height, MidX() + 0.5f * width,
            MidY() + 0.5f * height};
  }
  constexpr bool operator==(const IRect&) const = default;
};

} // namespace reef::ui
