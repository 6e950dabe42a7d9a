#pragma once
// A canvas that draws nothing and records everything instead: each drawing call becomes a
// Shape (kind, colour, geometry, text, line width and the global alpha in effect), and the
// platform services (pop-up menus, cursor, clipboard, links, size changes) are kept for the
// test to inspect and answer. Text is measured as 0.5 x size per character, so layouts can be
// asserted without a font.

#include <string>
#include <vector>

#include "ui/ICanvas.h"

namespace reef::ui::test {

struct Shape {
  enum class EKind {
    FillRect,
    DrawRect,
    FillRoundRect,
    DrawRoundRect,
    FillCircle,
    DrawCircle,
    DrawArc,
    DrawLine,
    FillPath,
    StrokePath,
    Text,
    TextBox,
    SVG
  };
  struct Point {
    float x;
    float y;
  };

  EKind kind = EKind::FillRect;
  IPattern pattern; // the colour, or the gradient of a filled path
  IRect bounds;     // rectangle, circle's box, line's end points (left, top) to (right, bottom)
  float thickness = 0.f;
  float radius = 0.f; // corner or circle radius
  float fromDegrees = 0.f;
  float toDegrees = 0.f;
  std::vector<Point> points; // a path's vertices (arcs as their end points)
  std::string text;
  IText style;
  float alpha = 1.f;
  IRect clip; // the area the frame was clipped to

  const IColor& Color() const { return pattern.startColor; }
};

class RecordingCanvas : public ICanvas {
public:
  explicit RecordingCanvas(IEditorDelegate& delegate, int width = 1180, int height = 800);

  std::vector<Shape> shapes;     // everything drawn since the last ClearShapes
  std::vector<IRect> frameAreas; // the clipped areas of every frame, in order
  int frames = 0;

  IPopupMenu* shownMenu = nullptr; // the open pop-up menu, until answered
  IRect shownMenuBounds;
  bool cursorHidden = false;
  bool cursorLocked = false;
  std::string clipboard;
  std::vector<std::string> openedUrls;
  std::vector<bool> sizeChanges; // resizePlatformWindow of each size change
  std::vector<std::string> fonts;
  bool open = false;

  void ClearShapes() { shapes.clear(), frameAreas.clear(); }
  // Answers the open pop-up menu with item `index` (-1: dismissed).
  void ChoosePopupItem(int index);
  // The texts drawn, in order.
  std::vector<std::string> Texts() const;
  // The first shape of `kind` whose text is `text` (any kind when `text` is empty), or
  // nullptr.
  const Shape* FindText(const std::string& text) const;
  // One frame of the canvas's cycle: ask IsDirty, draw the area; answers the area.
  IRectList RunFrame();

  bool OpenWindow(void*) override { return open = true; }
  void CloseWindow() override { open = false; }
  void HideMouseCursor(bool hide, bool lock) override;
  void MoveMouseCursor(float x, float y) override;
  bool OpenURL(const std::string& url) override;
  void SetClipboardText(const std::string& text) override { clipboard = text; }
  std::string GetClipboardText() override { return clipboard; }
  bool LoadFont(const std::string& fontId, const std::string& resourceName) override;

  void SetGlobalAlpha(float alpha) override { alpha_ = alpha; }
  void FillRect(const IColor& color, const IRect& bounds) override;
  void DrawRect(const IColor& color, const IRect& bounds, float thickness) override;
  void FillRoundRect(const IColor& color, const IRect& bounds, float cornerRadius) override;
  void DrawRoundRect(const IColor& color, const IRect& bounds, float cornerRadius,
                     float thickness) override;
  void FillCircle(const IColor& color, float cx, float cy, float radius) override;
  void DrawCircle(const IColor& color, float cx, float cy, float radius, float thickness) override;
  void DrawArc(const IColor& color, float cx, float cy, float radius, float fromDegrees,
               float toDegrees, float thickness) override;
  void DrawLine(const IColor& color, float x1, float y1, float x2, float y2,
                float thickness) override;
  void PathClear() override { path_.clear(); }
  void PathMoveTo(float x, float y) override { path_.push_back({x, y}); }
  void PathLineTo(float x, float y) override { path_.push_back({x, y}); }
  void PathArc(float cx, float cy, float radius, float fromDegrees, float toDegrees,
               EWinding winding) override;
  void PathRect(const IRect& bounds) override;
  void PathRoundRect(const IRect& bounds, float cornerRadius) override;
  void PathClose() override {}
  void PathFill(const IPattern& pattern) override;
  void PathStroke(const IPattern& pattern, float thickness) override;
  void DrawText(const IText& text, const std::string& str, const IRect& bounds) override;
  void DrawTextBox(const IText& text, const std::string& str, const IRect& bounds) override;
  float MeasureText(const IText& text, const std::string& str, IRect& bounds) const override;
  void DrawSVG(const ISVG& svg, const IRect& bounds) override;
  void ClipRegion(const IRect&) override {}

protected:
  void BeginFrame() override { ++frames; }
  void ClipToArea(const IRect& area) override;
  void EndFrame() override {}
  void ShowPopupMenu(IPopupMenu& menu, const IRect& bounds) override;
  void OnSizeChanged(bool resizePlatformWindow) override;

private:
  Shape& Add(Shape::EKind kind, const IPattern& pattern, const IRect& bounds);

  std::vector<Shape::Point> path_;
  float alpha_ = 1.f;
  IRect clip_;
};

} // namespace reef::ui::test
