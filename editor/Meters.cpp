#include "editor/Meters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/CoralSieve.h"
#include "editor/Palette.h"
#include "ui/ICanvas.h"

namespace coral {

using reef::ui::IRect;

namespace {

constexpr IColor kClipRed{255, 231, 117, 101};
constexpr IColor kTrough{255, 16, 25, 29};
constexpr double kFloorDb = -120.0;
constexpr double kScaleSpanDb = 60.0; // the bar spans -60..0 dBFS
constexpr double kInfinityBelowDb = -90.0;
constexpr float kFirstColumn = 1067.f;
constexpr float kColumnPitch = 27.f;
constexpr float kBarTop = 182.f;
constexpr float kBarBottom = 361.f;
constexpr float kBarRadius = 3.f;
constexpr float kClipDotY = 394.f;
constexpr float kClipDotRadius = 2.5f;
constexpr const char* kColumnLabels[] = {"IN", "WET", "OUT"};

} // namespace

MeterReading MeterReading::FromPeak(float peak) {
  MeterReading reading;
  const double p = std::isfinite(peak) && peak > 0.f ? peak : 0.0;
  reading.levelDb = p > 0.0 ? std::max(20.0 * std::log10(p), kFloorDb) : kFloorDb;
  reading.fill =
      static_cast<float>(std::clamp((reading.levelDb + kScaleSpanDb) / kScaleSpanDb, 0.0, 1.0));
  reading.clip = p >= 1.0;
  if (reading.levelDb <= kInfinityBelowDb) {
    std::snprintf(reading.text, sizeof reading.text, "-inf");
  } else {
    std::snprintf(reading.text, sizeof reading.text, "%.0f", reading.levelDb);
  }
  return reading;
}

Meters::Meters(const IRect& bounds, const CoralSieve& plug) : IControl(bounds), plug_(plug) {
  SetIgnoreMouse(true);
}

Meters::Readings Meters::Read() const {
  const EngineReadout readout = plug_.Engine().GetReadout();
  return {MeterReading::FromPeak(readout.inputPeak), MeterReading::FromPeak(readout.wetPeak),
          MeterReading::FromPeak(readout.outputPeak)};
}

void Meters::Draw(reef::ui::ICanvas& g) {
  shown_ = Read();
  for (int column = 0; column < 3; ++column) {
    const MeterReading& reading = shown_[column];
    const float x0 = kFirstColumn + kColumnPitch * column;
    g.DrawText(EditorText(10.f, kTextDim), kColumnLabels[column],
               IRect(x0 - 3.f, 149.f, x0 + 23.f, 172.f));
    g.FillRoundRect(kTrough, IRect(x0 + 3.f, kBarTop, x0 + 15.f, kBarBottom), kBarRadius);
    if (reading.fill > 0.f) {
      const IColor barColor = reading.clip ? kClipRed : column == 0 ? kBlue : kTeal;
      g.FillRoundRect(barColor,
                      IRect(x0 + 3.f, kBarBottom - (kBarBottom - kBarTop) * reading.fill, x0 + 15.f,
                            kBarBottom),
                      kBarRadius);
    }
    g.DrawText(EditorText(10.f, reading.clip ? kCopper : kTextDim), reading.text,
               IRect(x0 - 4.f, 366.f, x0 + 23.f, 386.f));
    g.FillCircle(reading.clip ? kClipRed : kLine, x0 + 9.f, kClipDotY, kClipDotRadius);
  }
  g.DrawText(EditorText(10.f, kTextDim), "dBFS", IRect(1063.f, 407.f, 1144.f, 427.f));
  g.DrawText(EditorText(9.f, kTextDim), "NO LIMITER", IRect(1060.f, 430.f, 1144.f, 450.f));
}

bool Meters::IsDirty() {
  if (const Readings readings = Read(); readings != shown_) {
    shown_ = readings;
    SetDirty(false);
  }
  return IControl::IsDirty();
}

} // namespace coral
