#include "tests/support/RecordingCanvas.h"

#include <cmath>
#include <numbers>

namespace reef::ui::test {

namespace {

constexpr int kFrameRate = 30;

int CountCharacters(const std::string& text) {
  int count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

} // namespace

RecordingCanvas::RecordingCanvas(IEditorDelegate& delegate, int width, int height)
    : ICanvas(delegate, width, height, kFrameRate, 1.f) {}

void RecordingCanvas::ChoosePopupItem(int index) {
  shownMenu = nullptr;
  OnPopupMenuClosed(index);
}

std::vector<std::string> RecordingCanvas::Texts() const {
  std::vector<std::string> texts;
  for (const Shape& shape : shapes) {
    if (shape.kind == Shape::EKind::Text || shape.kind == Shape::EKind::TextBox) {
      texts.push_back(shape.text);
    }
  }
  return texts;
}

const Shape* RecordingCanvas::FindText(const std::string& text) const {
  for (const Shape& shape : shapes) {
    if ((shape.kind == Shape::EKind::Text || shape.kind == Shape::EKind::TextBox) &&
        shape.text == text) {
      return &shape;
    }
  }
  return nullptr;
}

IRectList RecordingCanvas::RunFrame() {
  IRectList area;
  if (IsDirty(area)) Draw(area);
  return area;
}

void RecordingCanvas::HideMouseCursor(bool hide, bool lock) {
  cursorHidden = hide;
  cursorLocked = hide && lock;
}

void RecordingCanvas::MoveMouseCursor(float, float) {}

bool RecordingCanvas::OpenURL(const std::string& url) {
  openedUrls.push_back(url);
  return true;
}

bool RecordingCanvas::LoadFont(const std::string& fontId, const std::string&) {
  fonts.push_back(fontId);
  return true;
}

Shape& RecordingCanvas::Add(Shape::EKind kind, const IPattern& pattern, const IRect& bounds) {
  Shape shape;
  shape.kind = kind;
  shape.pattern = pattern;
  shape.bounds = bounds;
  shape.alpha = alpha_;
  shape.clip = clip_;
  shapes.push_back(std::move(shape));
  return shapes.back();
}

void RecordingCanvas::FillRect(const IColor& color, const IRect& bounds) {
  Add(Shape::EKind::FillRect, color, bounds);
}

void RecordingCanvas::DrawRect(const IColor& color, const IRect& bounds, float thickness) {
  Add(Shape::EKind::DrawRect, color, bounds).thickness = thickness;
}

void RecordingCanvas::FillRoundRect(const IColor& color, const IRect& bounds, float cornerRadius) {
  Add(Shape::EKind::FillRoundRect, color, bounds).radius = cornerRadius;
}

void RecordingCanvas::DrawRoundRect(const IColor& color, const IRect& bounds, float cornerRadius,
                                    float thickness) {
  Shape& shape = Add(Shape::EKind::DrawRoundRect, color, bounds);
  shape.radius = cornerRadius;
  shape.thickness = thickness;
}

void RecordingCanvas::FillCircle(const IColor& color, float cx, float cy, float radius) {
  Add(Shape::EKind::FillCircle, color, IRect(cx - radius, cy - radius, cx + radius, cy + radius))
      .radius = radius;
}

void RecordingCanvas::DrawCircle(const IColor& color, float cx, float cy, float radius,
                                 float thickness) {
  Shape& shape = Add(Shape::EKind::DrawCircle, color,
                     IRect(cx - radius, cy - radius, cx + radius, cy + radius));
  shape.radius = radius;
  shape.thickness = thickness;
}

void RecordingCanvas::DrawArc(const IColor& color, float cx, float cy, float radius,
                              float fromDegrees, float toDegrees, float thickness) {
  Shape& shape =
      Add(Shape::EKind::DrawArc, color, IRect(cx - radius, cy - radius, cx + radius, cy + radius));
  shape.radius = radius;
  shape.fromDegrees = fromDegrees;
  shape.toDegrees = toDegrees;
  shape.thickness = thickness;
}

void RecordingCanvas::DrawLine(const IColor& color, float x1, float y1, float x2, float y2,
                               float thickness) {
  Add(Shape::EKind::DrawLine, color, IRect(x1, y1, x2, y2)).thickness = thickness;
}

void RecordingCanvas::PathArc(float cx, float cy, float radius, float fromDegrees, float toDegrees,
                              EWinding) {
  for (float degrees : {fromDegrees, toDegrees}) {
    const float radians = degrees * std::numbers::pi_v<float> / 180.f;
    path_.push_back({cx + radius * std::sin(radians), cy - radius * std::cos(radians)});
  }
}

void RecordingCanvas::PathRect(const IRect& bounds) {
  path_.insert(path_.end(), {{bounds.left, bounds.top},
                             {bounds.right, bounds.top},
                             {bounds.right, bounds.bottom},
                             {bounds.left, bounds.bottom}});
}

void RecordingCanvas::PathRoundRect(const IRect& bounds, float) {
  PathRect(bounds);
}

void RecordingCanvas::PathFill(const IPattern& pattern) {
  IRect box;
  for (const Shape::Point& point : path_)
    box = box.Union(IRect(point.x, point.y, point.x, point.y));
  Add(Shape::EKind::FillPath, pattern, box).points = std::move(path_);
  path_.clear();
}

void RecordingCanvas::PathStroke(const IPattern& pattern, float thickness) {
  Shape& shape = Add(Shape::EKind::StrokePath, pattern, IRect());
  shape.thickness = thickness;
  shape.points = std::move(path_);
  path_.clear();
}

void RecordingCanvas::DrawText(const IText& text, const std::string& str, const IRect& bounds) {
  Shape& shape = Add(Shape::EKind::Text, text.color, bounds);
  shape.text = str;
  shape.style = text;
}

void RecordingCanvas::DrawTextBox(const IText& text, const std::string& str, const IRect& bounds) {
  Shape& shape = Add(Shape::EKind::TextBox, text.color, bounds);
  shape.text = str;
  shape.style = text;
}

float RecordingCanvas::MeasureText(const IText& text, const std::string& str, IRect& bounds) const {
  const float width = 0.5f * text.size * static_cast<float>(CountCharacters(str));
  const float left = text.align == EAlign::Near     ? bounds.left
                     : text.align == EAlign::Centre ? bounds.MidX() - 0.5f * width
                                                    : bounds.right - width;
  const float top = text.valign == EVAlign::Top      ? bounds.top
                    : text.valign == EVAlign::Middle ? bounds.MidY() - 0.5f * text.size
                                                     : bounds.bottom - text.size;
  bounds = IRect(left, top, left + width, top + text.size);
  return width;
}

void RecordingCanvas::DrawSVG(const ISVG&, const IRect& bounds) {
  Add(Shape::EKind::SVG, kColorTransparent, bounds);
}

void RecordingCanvas::ClipToArea(const IRect& area) {
  clip_ = area;
  frameAreas.push_back(area);
}

void RecordingCanvas::ShowPopupMenu(IPopupMenu& menu, const IRect& bounds) {
  shownMenu = &menu;
  shownMenuBounds = bounds;
}

void RecordingCanvas::OnSizeChanged(bool resizePlatformWindow) {
  sizeChanges.push_back(resizePlatformWindow);
}

} // namespace reef::ui::test
