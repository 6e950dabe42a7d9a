#include "editor/Backdrop.h"

#include "editor/Palette.h"
#include "ui/ICanvas.h"

namespace coral {

using reef::ui::IRect;

namespace {

constexpr float kScanLinePitch = 4.f;
constexpr int kBrightScanLineEvery = 12; // pixels between the brighter lines
constexpr int kBrightScanLineAlpha = 3;
constexpr int kScanLineAlpha = 1;
constexpr float kPanelRadius = 8.f;
constexpr float kSeparatorLeft = 36.f;
constexpr float kSeparatorRight = 1144.f;
constexpr IRect kTitleBox{36.f, 38.f, 475.f, 87.f};
constexpr IRect kGraphPanelBox{36.f, 147.f, 1050.f, 451.f};
constexpr IRect kLowerPanelBox{36.f, 519.f, 1144.f, 719.f};
constexpr float kHeaderSeparatorY = 97.f;
constexpr float kFooterSeparatorY = 753.f;

} // namespace

Backdrop::Backdrop(const IRect& bounds) : IControl(bounds) {
  SetIgnoreMouse(true);
}

void Backdrop::Draw(reef::ui::ICanvas& g) {
  const IRect& bounds = GetRect();
  g.PathClear();
  g.PathRect(bounds);
  g.PathFill(
      reef::ui::IPattern::Linear(0.f, bounds.top, 0.f, bounds.bottom, kBackTop, kBackBottom));
  for (float y = bounds.top; y < bounds.bottom; y += kScanLinePitch) {
    const bool bright = static_cast<int>(y) % kBrightScanLineEvery == 0;
    g.DrawLine(reef::ui::kColorWhite.WithAlpha(bright ? kBrightScanLineAlpha : kScanLineAlpha),
               bounds.left, y, bounds.right, y);
  }
  g.DrawText(EditorText(36.f, kText, reef::ui::EAlign::Near), "CORAL SIEVE", kTitleBox);
  g.DrawLine(kLine, kSeparatorLeft, kHeaderSeparatorY, kSeparatorRight, kHeaderSeparatorY);
  g.FillRoundRect(kGraphPanel, kGraphPanelBox, kPanelRadius);
  g.DrawRoundRect(kLine, kGraphPanelBox, kPanelRadius);
  g.FillRoundRect(kPanel, kLowerPanelBox, kPanelRadius);
  g.DrawRoundRect(kLine, kLowerPanelBox, kPanelRadius);
  g.DrawLine(kLine, kSeparatorLeft, kFooterSeparatorY, kSeparatorRight, kFooterSeparatorY);
}

} // namespace coral
