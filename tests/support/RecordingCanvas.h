#pragma once
// A canvas that draws nothing and records everything instead: each drawing call becomes a
// Shape (kind, colour, bounds, path points, text and the global alpha in effect), and the
// platform services (pop-up menus, clipboard, links, size changes, fonts) are kept for the
// test to inspect and answer. Text is measured as 0.5 x size per character, so layouts can be
// asserted without a font.

#include <string>
#include <vector>

#include "ui/ICanvas.h"

namespace reef::ui::test {

struct Shape {
  // Figure: a rectangle, circle or arc, filled or outlined; Line: end points (left, top) to
  // (right, bottom).
  enum class EKind { Figure, Line, FillPath, StrokePath, Text, SVG };
  struct Point {
    float x;
    float y;
  };

  EKind kind = EKind::Figure;
  IPattern pattern; // the colour, or the gradient of a filled path
  IRect bounds;
  std::vector<Point> points; // a path's vertices (arcs as their end points)
  std::string text;
  float alpha = 1.f;

  const IColor& Color() const { return pattern.startColor; }
};

class RecordingCanvas : public ICanvas {
public:
  explicit RecordingCanvas(IEditorDelegate& delegate, int width = 1180, int height = 800);

  std::vector<Shape> shapes; // everything drawn since the last ClearShapes
  int frames = 0;

  IPopupMenu* shownMenu = nullptr; // the open pop-up menu, until answered
  IRect shownMenuBounds;
  std::string clipboard;
  std::vector<std::string> openedUrls;
  std::vector<bool> sizeChanges; // resizePlatformWindow of each size change
  std::vector<std::string> fonts;
  bool open = false;

  void ClearShapes() { shapes.clear(); }
  // Answers the open pop-up menu with item `index` (-1: dismissed).
  void ChoosePopupItem(int index);
  // The texts drawn, in order.
  std::vector<std::string> Texts() const;
  // The first text shape showing `text`, or nullptr.
  const Shape* FindText(const std::string& text) const;
  // One frame of the canvas's cycle: ask IsDirty, draw the area; answers the area.
  IRectList RunFrame();

  bool OpenWindow(void*) override { return open = true; }
  void CloseWindow() override { open = false; }
  void HideMouseCursor(bool, bool) override {}
  void MoveMouseCursor(float, float) override {}
  bool OpenURL(const std::string& url) override;
  void SetClipboardText(const std::string& text) override { clipboard = text; }
  std::string GetClipboardText() override { return clipboard; }
  bool LoadFont(const std::string& fontId, const std::string& resourceName) override;

  void SetGlobalAlpha(float alpha) override { alpha_ = alpha; }
  void FillRect(const IColor& color, const IRect& bounds) override { Add(color, bounds); }
  void DrawRect(const IColor& color, const IRect& bounds, float) override { Add(color, bounds); }
  void FillRoundRect(const IColor& color, const IRect& bounds, float) override {
    Add(color, bounds);
  }
  void DrawRoundRect(const IColor& color, const IRect& bounds, float, float) override {
    Add(color, bounds);
  }
  void FillCircle(const IColor& color, float cx, float cy, float radius) override;
  void DrawCircle(const IColor& color, float cx, float cy, float radius, float) override {
    FillCircle(color, cx, cy, radius);
  }
  void DrawArc(const IColor& color, float cx, float cy, float radius, float, float,
               float) override {
    FillCircle(color, cx, cy, radius);
  }
  void DrawLine(const IColor& color, float x1, float y1, float x2, float y2, float) override;
  void PathClear() override { path_.clear(); }
  void PathMoveTo(float x, float y) override { path_.push_back({x, y}); }
  void PathLineTo(float x, float y) override { path_.push_back({x, y}); }
  void PathArc(float cx, float cy, float radius, float fromDegrees, float toDegrees,
               EWinding winding) override;
  void PathRect(const IRect& bounds) override;
  void PathRoundRect(const IRect& bounds, float) override { PathRect(bounds); }
  void PathClose() override {}
  void PathFill(const IPattern& pattern) override;
  void PathStroke(const IPattern& pattern, float thickness) override;
  void DrawText(const IText& text, const std::string& str, const IRect& bounds) override;
  void DrawTextBox(const IText& text, const std::string& str, const IRect& bounds) override {
    DrawText(text, str, bounds);
  }
  float MeasureText(const IText& text, const std::string& str, IRect& bounds) const override;
  void DrawSVG(const ISVG&, const IRect& bounds) override;
  void ClipRegion(const IRect&) override {}

protected:
  void BeginFrame() override { ++frames; }
  void ClipToArea(const IRect&) override {}
  void EndFrame() override {}
  void ShowPopupMenu(IPopupMenu& menu, const IRect& bounds) override;
  void OnSizeChanged(bool resizePlatformWindow) override;

private:
  Shape& Add(const IPattern& pattern, const IRect& bounds,
             Shape::EKind kind = Shape::EKind::Figure);

  std::vector<Shape::Point> path_;
  float alpha_ = 1.f;
};

} // namespace reef::ui::test
