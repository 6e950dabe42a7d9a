#include "editor/Backdrop.h"

#include <cmath>

#include "editor/Palette.h"
#include "ui/ICanvas.h"

namespace coral {

using reef::ui::IRect;

namespace {

constexpr float kScanLinePitch = 4.f;
constexpr int kBrightScanLineEvery = 12; // pixels between the brighter lines
constexpr int kBrightScanLineAlpha = 3;
constexpr int kScanLineAlpha = 1;
constexpr float kScanLineSegment = 118.f; // the scan lines are drawn in pieces this long
constexpr float kPanelRadius = 8.f;
constexpr float kSeparatorLeft = 36.f;
constexpr float kSeparatorRight = 1144.f;
constexpr IRect kTitleBox{36.f, 38.f, 475.f, 87.f};
constexpr IRect kGraphPanelBox{36.f, 147.f, 1050.f, 451.f};
constexpr IRect kLowerPanelBox{36.f, 519.f, 1144.f, 719.f};
constexpr float kHeaderSeparatorY = 97.f;
constexpr float kFooterSeparatorY = 753.f;
// What the backdrop cuts to the drawn area keeps this margin around it, so the cut edges and
// their anti-aliasing lie outside the area and its pixels come out as in a whole redraw.
constexpr float kAreaMargin = 2.f;

// A horizontal line at `y` from `left` to `right` when it meets `area`. Lines are drawn whole:
// a shortened line can come out a level off in the pixels it shares with the whole one.
void DrawHorizontal(reef::ui::ICanvas& g, const IColor& color, float left, float right, float y,
                    const IRect& area) {
  if (y >= area.top && y <= area.bottom && left < area.right && right > area.left) {
    g.DrawLine(color, left, y, right, y);
  }
}

// The bright (every 12 pixels) or the faint scan lines that meet `area`, as one path. Each line
// is made of fixed segments, and only the segments that meet the area are drawn: a partial
// redraw draws exactly the geometry a whole one draws there, so its pixels come out the same.
void DrawScanLines(reef::ui::ICanvas& g, const IRect& bounds, const IRect& area, bool bright) {
  g.PathClear();
  bool any = false;
  const float firstLine =
      bounds.top + kScanLinePitch * std::ceil((area.top - bounds.top) / kScanLinePitch);
  for (float y = firstLine; y < bounds.bottom && y <= area.bottom; y += kScanLinePitch) {
    if ((static_cast<int>(y) % kBrightScanLineEvery == 0) != bright) continue;
    for (float x = bounds.left; x < bounds.right; x += kScanLineSegment) {
      const float end = std::min(x + kScanLineSegment, bounds.right);
      if (end < area.left || x > area.right) continue;
      g.PathMoveTo(x, y);
      g.PathLineTo(end, y);
      any = true;
    }
  }
  if (any) {
    g.PathStroke(reef::ui::kColorWhite.WithAlpha(bright ? kBrightScanLineAlpha : kScanLineAlpha),
                 1.f);
  }
  g.PathClear();
}

// A panel with its outline. When the area lies inside the panel's flat interior, only that
// part of the fill is drawn.
void DrawPanel(reef::ui::ICanvas& g, const IColor& fill, const IRect& panel, const IRect& area) {
  if (!panel.Intersects(area)) return;
  const IRect interior = panel.GetPadded(-kPanelRadius);
  if (area.Intersect(interior) == area) {
    g.FillRect(fill, area);
    return;
  }
  g.FillRoundRect(fill, panel, kPanelRadius);
  g.DrawRoundRect(kLine, panel, kPanelRadius);
}

} // namespace

Backdrop::Backdrop(const IRect& bounds) : IControl(bounds) {
  SetIgnoreMouse(true);
}

void Backdrop::Draw(reef::ui::ICanvas& g) {
  const IRect& bounds = GetRect();
  const IRect area = g.GetDrawArea().GetPadded(kAreaMargin).Intersect(bounds);
  if (area.Empty()) return;
  g.PathClear();
  g.PathRect(area);
  g.PathFill(
      reef::ui::IPattern::Linear(0.f, bounds.top, 0.f, bounds.bottom, kBackTop, kBackBottom));
  DrawScanLines(g, bounds, area, true);
  DrawScanLines(g, bounds, area, false);
  if (kTitleBox.Intersects(area)) {
    g.DrawText(EditorText(36.f, kText, reef::ui::EAlign::Near), "CORAL SIEVE", kTitleBox);
  }
  DrawHorizontal(g, kLine, kSeparatorLeft, kSeparatorRight, kHeaderSeparatorY, area);
  DrawPanel(g, kGraphPanel, kGraphPanelBox, area);
  DrawPanel(g, kPanel, kLowerPanelBox, area);
  DrawHorizontal(g, kLine, kSeparatorLeft, kSeparatorRight, kFooterSeparatorY, area);
}

} // namespace coral
