#include "editor/Legend.h"

#include "core/CoralSieve.h"
#include "editor/EditorOperations.h"
#include "editor/Palette.h"
#include "ui/ICanvas.h"

namespace coral {

using reef::ui::EAlign;
using reef::ui::IRect;

namespace {

constexpr IColor kTargetViolet{255, 181, 153, 226};
constexpr IColor kTargetSwatch{215, 181, 153, 226};
constexpr float kSwatchY = 113.f;

struct LegendEntry {
  float swatchFrom;
  float swatchTo;
  IColor swatchColor;
  float swatchWidth;
  const char* label;
  IRect labelBox;
  float labelSize;
  IColor labelColor;
};

constexpr LegendEntry kEntries[] = {
    {329.f, 345.f, kBlue, 2.f, "INPUT FFT", {350.f, 105.f, 432.f, 121.f}, 11.f, kBlue},
    {444.f, 460.f, kTeal, 2.f, "OUTPUT FFT", {465.f, 105.f, 562.f, 121.f}, 11.f, kTeal},
    {574.f, 590.f, kCopper, 2.f, "STATIC WET EQ", {595.f, 105.f, 687.f, 121.f}, 10.f, kCopper},
    {699.f, 715.f, kTeal, 3.f, "CURRENT WET EQ", {720.f, 105.f, 828.f, 121.f}, 10.f, kTeal},
    {831.f,
     844.f,
     kTargetSwatch,
     1.8f,
     "TARGET",
     {850.f, 105.f, 905.f, 121.f},
     10.f,
     kTargetViolet},
};

constexpr IRect kModelBox{329.f, 123.f, 726.f, 143.f};
constexpr IRect kRowEnergyBox{715.f, 123.f, 905.f, 143.f};

const char* ModelText(ResponseModel model) {
  switch (model) {
  case ResponseModel::kFirWithDynamics:
    return "STATIC FIR + MINIMUM-PHASE DYNAMICS";
  case ResponseModel::kLinearPhase:
    return "ACTUAL LINEAR-PHASE FIR RESPONSE";
  case ResponseModel::kMinimumPhase:
    break;
  }
  return "MINIMUM PHASE / ANALYTIC TARGET + ENGINE RESPONSE";
}

} // namespace

ResponseModel CurrentResponseModel(const CoralSieve& plug) {
  if (plug.GetParam(kPhase)->Value() <= 0.5) return ResponseModel::kMinimumPhase;
  for (int band = 0; band < kNumBands; ++band) {
    const auto value = [&](int field) {
      return plug.GetParam(BandParamIndex(band, field))->Value();
    };
    if (value(kEnabled) >= 0.5 && value(kDynamic) >= 0.5 &&
        IsGainType(static_cast<int>(value(kType)))) {
      return ResponseModel::kFirWithDynamics;
    }
  }
  return ResponseModel::kLinearPhase;
}

Legend::Legend(const IRect& bounds, const CoralSieve& plug) : IControl(bounds), plug_(plug) {
  SetIgnoreMouse(true);
}

void Legend::Draw(reef::ui::ICanvas& g) {
  for (const LegendEntry& entry : kEntries) {
    g.DrawLine(entry.swatchColor, entry.swatchFrom, kSwatchY, entry.swatchTo, kSwatchY,
               entry.swatchWidth);
    g.DrawText(EditorText(entry.labelSize, entry.labelColor, EAlign::Near), entry.label,
               entry.labelBox);
  }
  shownModel_ = CurrentResponseModel(plug_);
  g.DrawText(EditorText(10.f, kTextDim, EAlign::Near), ModelText(shownModel_), kModelBox);
  g.DrawText(EditorText(9.f, kTextDim, EAlign::Far), "LEFT OUTPUT / ROW ENERGY", kRowEnergyBox);
}

bool Legend::IsDirty() {
  if (const ResponseModel model = CurrentResponseModel(plug_); model != shownModel_) {
    shownModel_ = model;
    SetDirty(false);
  }
  return IControl::IsDirty();
}

} // namespace coral
