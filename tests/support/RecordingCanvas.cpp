#include "tests/support/RecordingCanvas.h"

#include <cmath>
#include <numbers>

namespace reef::ui::test {

RecordingCanvas::RecordingCanvas(IEditorDelegate& delegate, int width, int height)
    : ICanvas(delegate, width, height, 30, 1.f) {}

void RecordingCanvas::ChoosePopupItem(int index) {
  shownMenu = nullptr;
  OnPopupMenuClosed(index);
}

std::vector<std::string> RecordingCanvas::Texts() const {
  std::vector<std::string> texts;
  for (const Shape& shape : shapes) {
    if (shape.kind == Shape::EKind::Text) texts.push_back(shape.text);
  }
  return texts;
}

const Shape* RecordingCanvas::FindText(const std::string& text) const {
  for (const Shape& shape : shapes) {
    if (shape.kind == Shape::EKind::Text && shape.text == text) return &shape;
  }
  return nullptr;
}

IRectList RecordingCanvas::RunFrame() {
  IRectList area;
  if (IsDirty(area)) Draw(area);
  return area;
}

bool RecordingCanvas::OpenURL(const std::string& url) {
  openedUrls.push_back(url);
  return true;
}

bool RecordingCanvas::LoadFont(const std::string& fontId, const std::string&) {
  fonts.push_back(fontId);
  return true;
}

Shape& RecordingCanvas::Add(const IPattern& pattern, const IRect& bounds, Shape::EKind kind) {
  shapes.push_back({kind, pattern, bounds, {}, {}, alpha_});
  return shapes.back();
}

void RecordingCanvas::FillCircle(const IColor& color, float cx, float cy, float radius) {
  Add(color, IRect(cx - radius, cy - radius, cx + radius, cy + radius));
}

void RecordingCanvas::DrawLine(const IColor& color, float x1, float y1, float x2, float y2, float) {
  Add(color, IRect(x1, y1, x2, y2), Shape::EKind::Line);
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

void RecordingCanvas::PathFill(const IPattern& pattern) {
  IRect box;
  for (const Shape::Point& point : path_)
    box = box.Union(IRect(point.x, point.y, point.x, point.y));
  Add(pattern, box, Shape::EKind::FillPath).points = std::move(path_);
  path_.clear();
}

void RecordingCanvas::PathStroke(const IPattern& pattern, float) {
  Add(pattern, IRect(), Shape::EKind::StrokePath).points = std::move(path_);
  path_.clear();
}

void RecordingCanvas::DrawText(const IText& text, const std::string& str, const IRect& bounds) {
  Add(text.color, bounds, Shape::EKind::Text).text = str;
}

// Characters are counted as UTF-8 lead bytes.
float RecordingCanvas::MeasureText(const IText& text, const std::string& str, IRect& bounds) const {
  int characters = 0;
  for (char c : str) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  const float width = 0.5f * text.size * static_cast<float>(characters);
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
  Add(kColorTransparent, bounds, Shape::EKind::SVG);
}

void RecordingCanvas::ShowPopupMenu(IPopupMenu& menu, const IRect& bounds) {
  shownMenu = &menu;
  shownMenuBounds = bounds;
}

void RecordingCanvas::OnSizeChanged(bool resizePlatformWindow) {
  sizeChanges.push_back(resizePlatformWindow);
}

} // namespace reef::ui::test
