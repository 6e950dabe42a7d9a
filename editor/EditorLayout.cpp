#include "editor/EditorLayout.h"

#include <array>

#include "core/CoralSieve.h"
#include "editor/Backdrop.h"
#include "editor/BandSlot.h"
#include "editor/BandTitle.h"
#include "editor/Brand.h"
#include "editor/Button.h"
#include "editor/ContextHelp.h"
#include "editor/Deployment.h"
#include "editor/EQGraph.h"
#include "editor/EditorOperations.h"
#include "editor/EnumMenu.h"
#include "editor/Knob.h"
#include "editor/Legend.h"
#include "editor/Meters.h"
#include "editor/MonitorStatus.h"
#include "editor/Palette.h"
#include "editor/PresetMenu.h"
#include "editor/ValueEntry.h"
#include "ui/ICanvas.h"
#include "ui/ICornerResizerControl.h"

namespace coral {

using reef::ui::IRect;

namespace {

constexpr const char* kLogoResource = "kestrilab_logo.svg";

// The band strip: one 72-pixel selector per slot at a 79-pixel pitch.
constexpr float kBandSlotLeft = 36.f;
constexpr float kBandSlotPitch = 79.f;
constexpr float kBandSlotWidth = 72.f;
constexpr float kBandSlotTop = 465.f;
constexpr float kBandSlotBottom = 508.f;

// The six positions of a knob row in the lower panel.
constexpr int kRowPositions = 6;
constexpr float kRowLeft = 46.f;
constexpr float kRowPitch = 184.f;
constexpr float kRowWidth = 174.f;
constexpr float kRowTop = 578.f;
constexpr float kRowBottom = 711.f;

struct RowEntry {
  int field; // band field, or global parameter for the Global row
  const char* label;
};

constexpr std::array<RowEntry, kRowPositions> kShapeRow = {{{kFrequency, "FREQUENCY"},
                                                            {kGain, "GAIN"},
                                                            {kQ, "Q / BANDWIDTH"},
                                                            {kSlope, "SLOPE"},
                                                            {kAttack, "ATTACK"},
                                                            {kRelease, "RELEASE"}}};
constexpr std::array<RowEntry, kRowPositions> kDynamicsRow = {{{kThreshold, "THRESHOLD"},
                                                               {kRatio, "RATIO"},
                                                               {kKnee, "KNEE"},
                                                               {kRange, "RANGE"},
                                                               {kDirection, "DIRECTION"},
                                                               {kDetector, "DETECTOR"}}};
constexpr std::array<RowEntry, kRowPositions> kGlobalRow = {{{kInput, "INPUT TRIM"},
                                                             {kOutput, "OUTPUT TRIM"},
                                                             {kMix, "MIX"},
                                                             {kScale, "GAIN SCALE"},
                                                             {kStereoLink, "STEREO LINK"},
                                                             {kScTrim, "SC TRIM"}}};

IRect RowPosition(int position) {
  const float left = kRowLeft + kRowPitch * position;
  return IRect(left, kRowTop, left + kRowWidth, kRowBottom);
}

IRect BandSlotRect(int band) {
  const float left = kBandSlotLeft + kBandSlotPitch * band;
  return IRect(left, kBandSlotTop, left + kBandSlotWidth, kBandSlotBottom);
}

class Builder {
public:
  Builder(reef::ui::ICanvas& canvas, CoralSieve& plug, std::shared_ptr<ViewState> view)
      : canvas_(canvas), plug_(plug), view_(std::move(view)) {}

  template <typename Control, typename... Args>
  Control* Add(Args&&... args) {
    return canvas_.Attach(std::make_unique<Control>(std::forward<Args>(args)...));
  }

  Button* AddButton(const IRect& bounds, ButtonAction action, std::string label,
                    int paramIdx = reef::ui::kNoParameter, int tab = 0) {
    return Add<Button>(bounds, action, std::move(label), plug_, view_, paramIdx, tab);
  }

  EnumMenu* AddMenu(const IRect& bounds, int paramIdx, std::string label = {}) {
    return Add<EnumMenu>(bounds, paramIdx, plug_, view_, std::move(label));
  }

  // A knob followed directly by its value entry.
  Knob* AddKnob(const IRect& bounds, int paramIdx, std::string label) {
    Knob* knob = Add<Knob>(bounds, paramIdx, std::move(label), plug_, view_);
    knob->SetValueEntry(Add<ValueEntry>(
        Knob::ValueBox(bounds), [knob](const std::string& text) { knob->OnValueTyped(text); }));
    return knob;
  }

  // A row position: a menu for an enumeration, else a knob with its value entry. Answers the
  // control that joins the view state.
  reef::ui::IControl* AddRowControl(int position, int paramIdx, const char* label) {
    if (GetParamInfo(paramIdx).kind == ParamKind::Enum) {
      return AddMenu(RowPosition(position), paramIdx, label);
    }
    return AddKnob(RowPosition(position), paramIdx, label);
  }

  void AddBandControls(int band) {
    const auto member = [&](reef::ui::IControl* control, int tab) {
      view_->AddMember(control, band, tab);
    };
    member(AddMenu(IRect(135.f, 531.f, 310.f, 565.f), BandParamIndex(band, kType)), kAnyTab);
    member(AddMenu(IRect(321.f, 531.f, 479.f, 565.f), BandParamIndex(band, kChannel)), kAnyTab);
    member(AddButton(IRect(489.f, 531.f, 577.f, 565.f), ButtonAction::kParamToggle, "ENABLE",
                     BandParamIndex(band, kEnabled)),
           kAnyTab);
    member(AddButton(IRect(587.f, 531.f, 697.f, 565.f), ButtonAction::kParamToggle, "DYNAMIC",
                     BandParamIndex(band, kDynamic)),
           kAnyTab);
    member(AddButton(IRect(707.f, 531.f, 799.f, 565.f), ButtonAction::kParamToggle, "LISTEN",
                     BandParamIndex(band, kListen)),
           kAnyTab);
    for (int position = 0; position < kRowPositions; ++position) {
      const RowEntry& entry = kShapeRow[position];
      member(AddRowControl(position, BandParamIndex(band, entry.field), entry.label), kShapeTab);
    }
    for (int position = 0; position < kRowPositions; ++position) {
      const RowEntry& entry = kDynamicsRow[position];
      member(AddRowControl(position, BandParamIndex(band, entry.field), entry.label), kDynamicsTab);
    }
  }

  void AddGlobalRow() {
    for (int position = 0; position < kRowPositions; ++position) {
      const RowEntry& entry = kGlobalRow[position];
      view_->AddMember(AddRowControl(position, entry.field, entry.label), kAnyBand, kGlobalTab);
    }
  }

private:
  reef::ui::ICanvas& canvas_;
  CoralSieve& plug_;
  std::shared_ptr<ViewState> view_;
};

} // namespace

std::shared_ptr<ViewState> LayoutEditor(reef::ui::ICanvas& canvas, CoralSieve& plug) {
  auto view = std::make_shared<ViewState>();
  canvas.EnableMouseOver(true);
  canvas.EnableTooltips(true);
  canvas.SetScaleConstraints(CoralSieve::kMinEditorScale, CoralSieve::kMaxEditorScale);
  canvas.AttachTextEntryControl();
  canvas.LoadFont(kFontId, kFontResource);

  Builder add(canvas, plug, view);
  add.Add<Backdrop>(
      IRect(0.f, 0.f, static_cast<float>(canvas.Width()), static_cast<float>(canvas.Height())));
  add.Add<Brand>(IRect(28.f, 0.f, 238.f, 42.f),
                 reef::ui::ISVG::FromResource(kLogoResource, "px", 72.f), view);
  add.AddMenu(IRect(497.f, 40.f, 734.f, 82.f), kPhase);
  add.Add<PresetMenu>(IRect(747.f, 40.f, 1015.f, 82.f), plug, view);
  add.AddButton(IRect(1028.f, 40.f, 1084.f, 82.f), ButtonAction::kABSwitch, "");
  add.AddButton(IRect(1096.f, 40.f, 1144.f, 82.f), ButtonAction::kCopy, "COPY");
  add.AddButton(IRect(36.f, 107.f, 176.f, 140.f), ButtonAction::kParamToggle, "ANALYZER",
                kAnalyzer);
  add.AddMenu(IRect(187.f, 107.f, 310.f, 140.f), kAnalyzerSpeed);
  add.Add<Legend>(IRect(325.f, 105.f, 905.f, 143.f), plug);
  add.AddMenu(IRect(917.f, 107.f, 1050.f, 140.f), kGraphRange);
  add.Add<EQGraph>(IRect(36.f, 147.f, 1050.f, 451.f), plug, view);
  add.Add<Meters>(IRect(1063.f, 147.f, 1144.f, 451.f), plug);
  for (int band = 0; band < kNumBands; ++band) {
    add.Add<BandSlot>(BandSlotRect(band), band, plug, view);
  }
  add.AddButton(IRect(995.f, 465.f, 1065.f, 508.f), ButtonAction::kAddBand, "+ BAND");
  add.AddButton(IRect(1074.f, 465.f, 1144.f, 508.f), ButtonAction::kDeleteBand, "DELETE");
  add.Add<BandTitle>(IRect(47.f, 528.f, 126.f, 569.f), view);
  add.AddButton(IRect(816.f, 531.f, 915.f, 565.f), ButtonAction::kTabSelect, "SHAPE",
                reef::ui::kNoParameter, kShapeTab);
  add.AddButton(IRect(923.f, 531.f, 1027.f, 565.f), ButtonAction::kTabSelect, "DYNAMICS",
                reef::ui::kNoParameter, kDynamicsTab);
  add.AddButton(IRect(1035.f, 531.f, 1132.f, 565.f), ButtonAction::kTabSelect, "GLOBAL",
                reef::ui::kNoParameter, kGlobalTab);
  for (int band = 0; band < kNumBands; ++band) add.AddBandControls(band);
  add.AddGlobalRow();
  add.Add<ContextHelp>(IRect(36.f, 724.f, 1144.f, 750.f), view);
  add.AddButton(IRect(36.f, 762.f, 167.f, 794.f), ButtonAction::kParamToggle, "BYPASS", kBypass);
  add.AddButton(IRect(179.f, 762.f, 310.f, 794.f), ButtonAction::kParamToggle, "DELTA", kDelta);
  add.Add<MonitorStatus>(IRect(322.f, 759.f, 920.f, 795.f), plug);
  add.AddButton(IRect(958.f, 762.f, 1144.f, 794.f), ButtonAction::kSupportLink, kSupportEmail);

  ApplyVisibility(*view, canvas);
  canvas.AttachCornerResizer(std::make_unique<reef::ui::ICornerResizerControl>(
      static_cast<float>(canvas.Width()), static_cast<float>(canvas.Height()), kResizerSize, kLine,
      kTeal, kCopper));
  return view;
}

} // namespace coral
