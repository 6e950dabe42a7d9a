#include "editor/EditorOperations.h"

#include "core/CoralSieve.h"
#include "editor/HelpTexts.h"
#include "ui/ICanvas.h"
#include "ui/IKeyPress.h"

namespace coral {

namespace {

constexpr int kNumTabs = 3;

double BandValue(const CoralSieve& plug, int band, int field) {
  return plug.GetParam(BandParamIndex(band, field))->Value();
}

void WriteHelp(ViewState& view, const HelpPair& help) {
  view.SetHelp(help.title, help.text);
}

} // namespace

void SetParamFromUI(CoralSieve& plug, int paramIdx, double value, bool withGesture) {
  const reef::IParam* param = plug.GetParam(paramIdx);
  if (!param) return;
  const double normalized = param->NormalizeValue(value);
  if (withGesture) plug.BeginInformHostOfParamChangeFromUI(paramIdx);
  plug.SendParameterValueFromUI(paramIdx, normalized);
  // The parameter keeps the plain value itself: mapped back from its normalized form it can
  // be a rounding error away (1000 Hz would come back as 999.9999999999 Hz and print as
  // "1000 Hz" rather than "1.00 kHz").
  plug.GetParam(paramIdx)->SetValue(value);
  plug.SendParameterValueFromDelegate(paramIdx, normalized, true);
  if (withGesture) plug.EndInformHostOfParamChangeFromUI(paramIdx);
}

void ApplyVisibility(const ViewState& view, reef::ui::ICanvas& canvas) {
  for (const ViewState::Member& member : view.members) {
    member.control->Hide(!view.IsShown(member.band, member.tab));
  }
  canvas.SetAllControlsDirty();
}

void SelectBand(ViewState& view, reef::ui::ICanvas& canvas, int band) {
  view.SetSelectedBand(band);
  ApplyVisibility(view, canvas);
  WriteHelp(view, kSelectedBandHelp);
}

void SelectTab(ViewState& view, reef::ui::ICanvas& canvas, int tab) {
  if (tab < 0 || tab >= kNumTabs) return;
  view.selectedTab = tab;
  ApplyVisibility(view, canvas);
  WriteHelp(view, TabHelp(tab));
}

int AddBandSlot(CoralSieve& plug, ViewState& view, reef::ui::ICanvas& canvas, double frequencyHz,
                double gainDb) {
  int slot = -1;
  for (int band = 0; band < kNumBands && slot < 0; ++band) {
    if (BandValue(plug, band, kEnabled) < 0.5) slot = band;
  }
  if (slot < 0) {
    WriteHelp(view, kNoFreeSlotHelp);
    canvas.SetAllControlsDirty();
    return -1;
  }
  const ParamSnapshot& defaults = DefaultSnapshot();
  SetParamFromUI(plug, BandParamIndex(slot, kEnabled), 0.0, true);
  for (int field = kType; field < kBandFields; ++field) {
    const int paramIdx = BandParamIndex(slot, field);
    SetParamFromUI(plug, paramIdx, defaults[paramIdx], true);
  }
  SetParamFromUI(plug, BandParamIndex(slot, kFrequency), frequencyHz, true);
  SetParamFromUI(plug, BandParamIndex(slot, kGain), gainDb, true);
  SetParamFromUI(plug, BandParamIndex(slot, kEnabled), 1.0, true);
  view.SetSelectedBand(slot);
  view.selectedTab = kShapeTab;
  ApplyVisibility(view, canvas);
  WriteHelp(view, kShapeTabHelp);
  WriteHelp(view, kAddedBandHelp);
  return slot;
}

void DeleteSelectedBand(CoralSieve& plug, ViewState& view, reef::ui::ICanvas& canvas) {
  const int band = view.selectedBand;
  SetParamFromUI(plug, BandParamIndex(band, kListen), 0.0, true);
  SetParamFromUI(plug, BandParamIndex(band, kEnabled), 0.0, true);
  WriteHelp(view, kBandDeletedHelp);
  canvas.SetAllControlsDirty();
}

bool IsActivationKey(const reef::ui::IKeyPress& key) {
  return key.vk == reef::ui::kVKReturn || key.vk == reef::ui::kVKSpace;
}

bool IsGainType(int type) {
  return type == kBell || type == kLowShelf || type == kHighShelf || type == kTilt;
}

bool IsParamInactive(const CoralSieve& plug, int paramIdx) {
  if (paramIdx < kNumGlobalParams || paramIdx >= kNumParams) return false;
  const int band = (paramIdx - kNumGlobalParams) / kBandFields;
  const int field = (paramIdx - kNumGlobalParams) % kBandFields;
  if (field == kEnabled) return false;
  if (BandValue(plug, band, kEnabled) < 0.5) return true;
  const int type = static_cast<int>(BandValue(plug, band, kType));
  switch (field) {
  case kGain:
  case kDynamic:
    return !IsGainType(type);
  case kSlope:
    return type != kHighPass && type != kLowPass;
  case kThreshold:
  case kRatio:
  case kKnee:
  case kAttack:
  case kRelease:
  case kRange:
  case kDirection:
  case kDetector:
    return !IsGainType(type) || BandValue(plug, band, kDynamic) < 0.5;
  default:
    return false;
  }
}

double DisplayedNodeGain(const CoralSieve& plug, int band) {
  if (!IsGainType(static_cast<int>(BandValue(plug, band, kType)))) return 0.0;
  return BandValue(plug, band, kGain) * plug.GetParam(kScale)->Value() / 100.0;
}

} // namespace coral
