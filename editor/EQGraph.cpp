#include "editor/EQGraph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/CoralSieve.h"
#include "editor/EditorLayout.h"
#include "editor/EditorOperations.h"
#include "editor/HelpTexts.h"
#include "editor/Palette.h"
#include "ui/ICanvas.h"

namespace coral {

namespace {

using reef::ui::EAlign;
using reef::ui::ICanvas;
using reef::ui::IColor;
using reef::ui::IKeyPress;
using reef::ui::IMouseMod;
using reef::ui::IRect;
using reef::ui::IText;

constexpr IColor kInputSpectrumColor{140, 126, 162, 210};
constexpr IColor kOutputSpectrumColor{160, 105, 204, 194};
constexpr IColor kStaticWetEqColor{190, 215, 165, 109};
constexpr IColor kCurrentWetEqColor = kTeal;
constexpr IColor kTargetColor{215, 181, 153, 226};
constexpr IColor kZeroDbLineColor{255, 90, 106, 109};
constexpr float kGridWidth = 1.f;
constexpr float kSpectrumWidth = 1.f;
constexpr float kStaticWetEqWidth = 1.5f;
constexpr float kCurrentWetEqWidth = 2.5f;
constexpr float kTargetWidth = 1.8f;
constexpr float kBandCurveWidth = 1.f;
constexpr int kBandCurveAlpha = 60;
constexpr int kTargetDashPoints = 3; // the dashes: three segments drawn, three skipped

constexpr float kLabelSize = 11.f;
constexpr float kSmallLabelSize = 10.f;
constexpr double kLabelHalfHeight = 9.0;
constexpr double kFrequencyLabelHalfWidth = 22.0;
constexpr double kFrequencyGridHz[] = {20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000};
constexpr int kSpectrumLabelsDbfs[] = {-96, -72, -48, -24, 0};
constexpr double kNonFiniteSpectrumDbfs = -120.0;

constexpr float kNodeRadius = 9.f;
constexpr float kNodeOutlineWidth = 1.5f;
constexpr float kSelectionRingRadius = 13.f;
constexpr float kSelectionRingWidth = 2.f;
constexpr int kSelectionRingAlpha = 100;
constexpr float kNodeNumberBox = 20.f;
constexpr float kStemWidth = 2.f;
constexpr float kStemDotRadius = 2.5f;
constexpr double kHandleOffsetX = 17.0;
constexpr float kHandleSize = 10.f;
constexpr float kHandleOutlineWidth = 1.5f;
constexpr float kHandleLineWidth = 1.f;
constexpr int kHandleLineAlpha = 100;

constexpr double kNodeHitDistanceSquared = 256.0; // a 16-pixel radius
constexpr double kHandleHitHalfSize = 12.0;       // a 24-pixel square
constexpr double kMinScaleFactor = 0.0001;        // Scale / 100 below which gain is not edited
constexpr double kFineFactor = 0.1;               // Shift-drag moves a tenth as far
constexpr double kGainLimitDb = 24.0;
constexpr double kRangeLimitDb = 24.0;
constexpr double kWheelQStep = 0.12;
constexpr double kFineWheelQStep = 0.015;
constexpr double kKeyFrequencyStep = 0.02;
constexpr double kFineKeyFrequencyStep = 0.002;
constexpr double kKeyGainStepDb = 0.5;
constexpr double kFineKeyGainStepDb = 0.1;

constexpr const char* kTooltip =
    "Drag frequency/gain; wheel Q; Shift is finer. Double-click an empty graph area adds a "
    "stable slot. Drag the selected square handle for dynamic Range.";
constexpr HelpPair kGraphHelp{
    "EQ GRAPH / WET EQ AND TARGET",
    "FFT measures routed I/O in dBFS. Wet EQ excludes trims, Mix and monitoring. Copper/teal are "
    "applied filter snapshots; dashed violet is the static target (analytic biquads or cached "
    "finite-window FIR), excluding live dynamics. Left-output row energy."};
constexpr HelpPair kNodeDragHelp{
    "GRAPH / FREQUENCY AND GAIN",
    "Drag in log-frequency/dB space. Shift is finer, wheel adjusts Q. The selected node follows "
    "global Scale; numerical Gain retains its stored parameter value."};
constexpr std::string_view kRangeDragTitle = "DYNAMIC RANGE / STABLE PARAMETER";
constexpr std::string_view kWheelTitle = "GRAPH / BAND Q";

const IRect kReadoutBounds{80.f, 147.f, 718.f, 169.f};
const IRect kAboveLimitBounds{748.f, 147.f, 1003.f, 169.f};
const IRect kTransferTitleBounds{36.f, 147.f, 69.f, 168.f};
const IRect kSpectrumTitleBounds{1016.f, 147.f, 1048.f, 168.f};

IText Style(float size, const IColor& color, EAlign align) {
  return IText(size, color, kFontId, align);
}

IRect Box(double left, double top, double right, double bottom) {
  return IRect(static_cast<float>(left), static_cast<float>(top), static_cast<float>(right),
               static_cast<float>(bottom));
}

void WriteHelp(ViewState& view, std::string_view title, std::string_view text) {
  view.SetHelp(std::string(title), std::string(text));
}

double FiniteOrZero(double value) {
  return std::isfinite(value) ? value : 0.0;
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[128];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// Strokes the segments between consecutive display points i - 1 and i for which `drawn(i)`
// holds; point i lies at PointX(i) and `toY` of its value. Each segment is a subpath of its
// own, so it looks exactly like a separate line, but the back end strokes them in one call.
template <typename ToY, typename Drawn>
void StrokeSegments(ICanvas& g, const CurvePoints& points, const ToY& toY, const IColor& color,
                    float width, const Drawn& drawn) {
  g.PathClear();
  for (int point = 1; point < kDisplayPoints; ++point) {
    if (!drawn(point)) continue;
    g.PathMoveTo(static_cast<float>(PointX(point - 1)), static_cast<float>(toY(points[point - 1])));
    g.PathLineTo(static_cast<float>(PointX(point)), static_cast<float>(toY(points[point])));
  }
  g.PathStroke(color, width);
}

bool EveryPoint(int) {
  return true;
}

// The display data the graph draws, compared bit for bit (NaN equals itself).
bool SameDrawnData(const DisplaySnapshot& a, const DisplaySnapshot& b) {
  const auto same = [](const auto& x, const auto& y) { return std::memcmp(&x, &y, sizeof x) == 0; };
  return same(a.inputSpectrum, b.inputSpectrum) && same(a.outputSpectrum, b.outputSpectrum) &&
         same(a.staticWetEq, b.staticWetEq) && same(a.currentWetEq, b.currentWetEq) &&
         same(a.liveBandGain, b.liveBandGain) && same(a.sampleRate, b.sampleRate);
}

} // namespace

EQGraph::EQGraph(const IRect& bounds, CoralSieve& plug, std::shared_ptr<ViewState> view)
    : IControl(bounds), plug_(plug), view_(std::move(view)) {
  SetTooltip(kTooltip);
}

double EQGraph::Value(int paramIdx) const {
  return plug_.GetParam(paramIdx)->Value();
}

double EQGraph::BandValue(int band, int field) const {
  return Value(BandParamIndex(band, field));
}

double EQGraph::ScaleFactor() const {
  return Value(kScale) / 100.0;
}

GraphAxes EQGraph::Axes() const {
  return GraphAxes::For(snapshot_.sampleRate, Value(kGraphRange));
}

EQGraph::Point EQGraph::NodePosition(int band) const {
  const GraphAxes axes = Axes();
  return {axes.FrequencyToX(BandValue(band, kFrequency)),
          axes.DbToY(DisplayedNodeGain(plug_, band))};
}

int EQGraph::NodeAt(double x, double y) const {
  int nearest = -1;
  double nearestDistance = kNodeHitDistanceSquared;
  for (int band = 0; band < kNumBands; ++band) {
    if (BandValue(band, kEnabled) < 0.5) continue;
    const Point node = NodePosition(band);
    const double distance = (x - node.x) * (x - node.x) + (y - node.y) * (y - node.y);
    if (distance < nearestDistance) {
      nearest = band;
      nearestDistance = distance;
    }
  }
  return nearest;
}

double EQGraph::DynamicsSign(int band) const {
  return BandValue(band, kDirection) < 0.5 ? -1.0 : 1.0; // Downward Cut, Upward Boost
}

std::optional<EQGraph::Point> EQGraph::RangeHandle() const {
  const int band = view_->selectedBand;
  if (BandValue(band, kEnabled) < 0.5 || BandValue(band, kDynamic) < 0.5 ||
      !IsGainType(static_cast<int>(BandValue(band, kType)))) {
    return std::nullopt;
  }
  const double handleGain =
      DisplayedNodeGain(plug_, band) + BandValue(band, kRange) * DynamicsSign(band) * ScaleFactor();
  return Point{NodePosition(band).x + kHandleOffsetX, Axes().DbToY(handleGain)};
}

bool EQGraph::HitsRangeHandle(double x, double y) const {
  const std::optional<Point> handle = RangeHandle();
  return handle && std::abs(x - handle->x) < kHandleHitHalfSize &&
         std::abs(y - handle->y) < kHandleHitHalfSize && ScaleFactor() > kMinScaleFactor;
}

// --- Frame cycle.

void EQGraph::RefreshTarget(const ParamSnapshot& values, bool forced) {
  if (target_.Refresh(values, EffectiveSampleRate(snapshot_.sampleRate), forced,
                      TargetCurve::Clock::now())) {
    SetDirty(false);
  }
}

bool EQGraph::IsDirty() {
  DisplaySnapshot fresh;
  plug_.Engine().GetDisplaySnapshot(fresh);
  bool changed = !SameDrawnData(fresh, snapshot_);
  snapshot_ = fresh;
  const ParamSnapshot values = plug_.CurrentValues();
  RefreshTarget(values, false);
  changed = changed || std::memcmp(&values, &polledValues_, sizeof values) != 0 ||
            view_->selectedBand != polledBand_;
  polledValues_ = values;
  polledBand_ = view_->selectedBand;
  if (changed) SetDirty(false);
  return IControl::IsDirty();
}

// --- Editing.

void EQGraph::BeginGesture(int paramIdx) {
  plug_.BeginInformHostOfParamChangeFromUI(paramIdx);
  gestureParams_.push_back(paramIdx);
}

void EQGraph::EndGestures() {
  for (int paramIdx : gestureParams_) plug_.EndInformHostOfParamChangeFromUI(paramIdx);
  gestureParams_.clear();
  drag_.active = false;
  drag_.range = false;
}

void EQGraph::MarkAllDirty() {
  if (GetUI()) GetUI()->SetAllControlsDirty();
}

void EQGraph::OnMouseDown(float x, float y, const IMouseMod& mod) {
  if (mod.right) return;
  EndGestures();
  const int selected = view_->selectedBand;
  if (HitsRangeHandle(x, y)) {
    drag_ = {.active = true,
             .range = true,
             .band = selected,
             .startY = y,
             .startRange = BandValue(selected, kRange)};
    BeginGesture(BandParamIndex(selected, kRange));
    WriteHelp(*view_, kRangeDragTitle, ParamHelpText(BandParamIndex(selected, kRange)));
    return;
  }
  const int band = NodeAt(x, y);
  if (band < 0) return;
  SelectBand(*view_, *GetUI(), band);
  drag_ = {.active = true,
           .range = false,
           .band = band,
           .startX = x,
           .startY = y,
           .startFrequency = BandValue(band, kFrequency),
           .startGain = BandValue(band, kGain)};
  BeginGesture(BandParamIndex(band, kFrequency));
  if (IsGainType(static_cast<int>(BandValue(band, kType))) && ScaleFactor() > kMinScaleFactor) {
    BeginGesture(BandParamIndex(band, kGain));
  }
  WriteHelp(*view_, kNodeDragHelp.title, kNodeDragHelp.text);
}

void EQGraph::OnMouseDrag(float x, float y, float, float, const IMouseMod& mod) {
  if (!drag_.active) return;
  const double fine = mod.shift ? kFineFactor : 1.0;
  const GraphAxes axes = Axes();
  const int band = drag_.band;
  const double scale = std::max(ScaleFactor(), kMinScaleFactor);
  if (drag_.range) {
    const double range = drag_.startRange - axes.rangeDb * fine * DynamicsSign(band) *
                                                (y - drag_.startY) / kPlotHalfHeight / scale;
    SetParamFromUI(plug_, BandParamIndex(band, kRange), std::clamp(range, 0.0, kRangeLimitDb),
                   false);
  } else {
    const double frequency =
        axes.XToFrequency(axes.FrequencyToX(drag_.startFrequency) + fine * (x - drag_.startX));
    SetParamFromUI(plug_, BandParamIndex(band, kFrequency), frequency, false);
    if (gestureParams_.size() == 2) {
      const double gain =
          axes.YToDb(axes.DbToY(ScaleFactor() * drag_.startGain) + fine * (y - drag_.startY)) /
          scale;
      SetParamFromUI(plug_, BandParamIndex(band, kGain),
                     std::clamp(gain, -kGainLimitDb, kGainLimitDb), false);
    }
  }
  MarkAllDirty();
}

void EQGraph::OnMouseUp(float, float, const IMouseMod&) {
  EndGestures();
  RefreshTarget(plug_.CurrentValues(), true);
  SetDirty(false);
}

void EQGraph::OnTouchCancelled(float, float, const IMouseMod&) {
  EndGestures();
}

void EQGraph::OnMouseDblClick(float x, float y, const IMouseMod&) {
  EndGestures();
  const int band = NodeAt(x, y);
  if (band >= 0) {
    SelectBand(*view_, *GetUI(), band);
    if (IsGainType(static_cast<int>(BandValue(band, kType)))) {
      SetParamFromUI(plug_, BandParamIndex(band, kGain), 0.0, true);
    }
    MarkAllDirty();
    return;
  }
  if (x < kPlotLeft || x >= kPlotRight || y < kPlotTop || y >= kPlotBottom) return;
  const GraphAxes axes = Axes();
  const double scale = ScaleFactor();
  const double gain = scale > kMinScaleFactor
                          ? std::clamp(axes.YToDb(y) / scale, -kGainLimitDb, kGainLimitDb)
                          : 0.0;
  AddBandSlot(plug_, *view_, *GetUI(), axes.XToFrequency(x), gain);
}

void EQGraph::OnMouseWheel(float x, float y, const IMouseMod& mod, float delta) {
  const int hit = NodeAt(x, y);
  SelectBand(*view_, *GetUI(), hit >= 0 ? hit : view_->selectedBand);
  const int qIdx = BandParamIndex(view_->selectedBand, kQ);
  if (IsParamInactive(plug_, qIdx)) return;
  const double step = mod.shift ? kFineWheelQStep : kWheelQStep;
  SetParamFromUI(plug_, qIdx, Value(qIdx) * std::exp(delta * step), true);
  WriteHelp(*view_, kWheelTitle, ParamHelpText(qIdx));
  MarkAllDirty();
}

bool EQGraph::OnKeyDown(float, float, const IKeyPress& key) {
  const int band = view_->selectedBand;
  const int frequencyIdx = BandParamIndex(band, kFrequency);
  const int gainIdx = BandParamIndex(band, kGain);
  switch (key.vk) {
  case reef::ui::kVKBackspace:
  case reef::ui::kVKDelete:
    DeleteSelectedBand(plug_, *view_, *GetUI());
    return true;
  case reef::ui::kVKHome:
    SetParamFromUI(plug_, gainIdx, 0.0, true);
    break;
  case reef::ui::kVKLeft:
  case reef::ui::kVKRight: {
    if (IsParamInactive(plug_, frequencyIdx)) return false;
    const double step = key.shift ? kFineKeyFrequencyStep : kKeyFrequencyStep;
    const double direction = key.vk == reef::ui::kVKRight ? 1.0 : -1.0;
    SetParamFromUI(plug_, frequencyIdx, Value(frequencyIdx) * std::exp(direction * step), true);
    break;
  }
  case reef::ui::kVKUp:
  case reef::ui::kVKDown: {
    if (IsParamInactive(plug_, gainIdx)) return false;
    const double step = key.shift ? kFineKeyGainStepDb : kKeyGainStepDb;
    const double direction = key.vk == reef::ui::kVKUp ? 1.0 : -1.0;
    SetParamFromUI(plug_, gainIdx, Value(gainIdx) + direction * step, true);
    break;
  }
  default:
    return false;
  }
  MarkAllDirty();
  return true;
}

void EQGraph::OnMouseOver(float x, float y, const IMouseMod& mod) {
  WriteHelp(*view_, kGraphHelp.title, kGraphHelp.text);
  IControl::OnMouseOver(x, y, mod);
}

// --- Drawing.

void EQGraph::Draw(ICanvas& g) {
  const GraphAxes axes = Axes();
  const int selected = view_->selectedBand;
  const double phase = Value(kPhase);
  DrawGrid(g, axes);
  if (Value(kAnalyzer) >= 0.5) {
    DrawSpectrum(g, snapshot_.inputSpectrum, kInputSpectrumColor);
    DrawSpectrum(g, snapshot_.outputSpectrum, kOutputSpectrumColor);
  }
  if (phase < 0.5 && BandValue(selected, kEnabled) >= 0.5) DrawBandCurve(g, axes, selected);
  const auto curveY = [&axes](float db) { return axes.DbToY(FiniteOrZero(db)); };
  StrokeSegments(g, snapshot_.staticWetEq, curveY, kStaticWetEqColor, kStaticWetEqWidth,
                 EveryPoint);
  StrokeSegments(g, snapshot_.currentWetEq, curveY, kCurrentWetEqColor, kCurrentWetEqWidth,
                 EveryPoint);
  if (target_.ComputedForPhase(static_cast<float>(phase))) {
    StrokeSegments(g, target_.Points(), curveY, kTargetColor, kTargetWidth,
                   [](int point) { return (point / kTargetDashPoints) % 2 == 0; });
  }
  if (const std::optional<Point> handle = RangeHandle()) DrawRangeHandle(g, selected, *handle);
  DrawNodes(g, axes);
  DrawReadout(g, axes, selected);
}

void EQGraph::DrawGrid(ICanvas& g, const GraphAxes& axes) const {
  const IText gainLabel = Style(kLabelSize, kTextDim, EAlign::Far);
  for (int step = -2; step <= 2; ++step) {
    const double db = step * axes.rangeDb / 2.0;
    const double y = axes.DbToY(db);
    g.DrawLine(step == 0 ? kZeroDbLineColor : kLine, kPlotLeft, y, kPlotRight, y, kGridWidth);
    g.DrawText(gainLabel, Format("%+.0f", db),
               Box(37.0, y - kLabelHalfHeight, 65.0, y + kLabelHalfHeight));
  }
  const IText frequencyLabel = Style(kLabelSize, kTextDim, EAlign::Centre);
  for (double hz : kFrequencyGridHz) {
    if (hz > axes.graphLimitHz + 0.1) continue;
    const double x = axes.FrequencyToX(hz);
    g.DrawLine(kLine, x, kPlotTop, x, kPlotBottom, kGridWidth);
    g.DrawText(frequencyLabel, hz >= 1000.0 ? Format("%.0fk", hz / 1000.0) : Format("%.0f", hz),
               Box(x - kFrequencyLabelHalfWidth, 427.0, x + kFrequencyLabelHalfWidth, 445.0));
  }
  g.DrawText(Style(kSmallLabelSize, kCopper, EAlign::Near), "EQ dB", kTransferTitleBounds);
  g.DrawText(Style(kSmallLabelSize, kBlue, EAlign::Far), "FFT", kSpectrumTitleBounds);
  const IText spectrumLabel = Style(kSmallLabelSize, kTextDim, EAlign::Far);
  for (int dbfs : kSpectrumLabelsDbfs) {
    const double y = SpectrumToY(dbfs);
    g.DrawText(spectrumLabel, Format("%d", dbfs),
               Box(1017.0, y - kLabelHalfHeight, 1047.0, y + kLabelHalfHeight));
  }
}

void EQGraph::DrawSpectrum(ICanvas& g, const CurvePoints& spectrum, const IColor& color) const {
  const bool noAnalysisYet =
      std::all_of(spectrum.begin(), spectrum.end(), [](float dbfs) { return dbfs == 0.f; });
  const bool anyAboveFloor = std::any_of(spectrum.begin(), spectrum.end(), [](float dbfs) {
    return std::isfinite(dbfs) && dbfs > kSpectrumFloorDbfs;
  });
  if (noAnalysisYet || !anyAboveFloor) return;
  const auto toY = [](float dbfs) {
    return SpectrumToY(std::isfinite(dbfs) ? dbfs : kNonFiniteSpectrumDbfs);
  };
  g.PathClear();
  g.PathMoveTo(kPlotLeft, kPlotBottom);
  for (int point = 0; point < kDisplayPoints; ++point) {
    g.PathLineTo(static_cast<float>(PointX(point)), static_cast<float>(toY(spectrum[point])));
  }
  g.PathLineTo(kPlotRight, kPlotBottom);
  g.PathClose();
  g.PathFill(color);
  StrokeSegments(g, spectrum, toY, color, kSpectrumWidth, EveryPoint);
}

void EQGraph::DrawBandCurve(ICanvas& g, const GraphAxes& axes, int band) {
  const CurvePoints& response =
      bandCurve_.Points(band, plug_.CurrentValues(), EffectiveSampleRate(snapshot_.sampleRate));
  StrokeSegments(
      g, response, [&axes](float db) { return axes.DbToY(db); },
      BandColor(band).WithAlpha(kBandCurveAlpha), kBandCurveWidth, EveryPoint);
}

void EQGraph::DrawRangeHandle(ICanvas& g, int band, const Point& handle) const {
  const Point node = NodePosition(band);
  const IColor& color = BandColor(band);
  g.DrawLine(color.WithAlpha(kHandleLineAlpha), node.x, node.y, handle.x, handle.y,
             kHandleLineWidth);
  const IRect square = Box(handle.x - kHandleSize / 2, handle.y - kHandleSize / 2,
                           handle.x + kHandleSize / 2, handle.y + kHandleSize / 2);
  g.FillRect(kPanel, square);
  g.DrawRect(color, square, kHandleOutlineWidth);
}

void EQGraph::DrawNodes(ICanvas& g, const GraphAxes& axes) const {
  const int selected = view_->selectedBand;
  for (int band = 0; band < kNumBands; ++band) {
    if (BandValue(band, kEnabled) < 0.5) continue;
    const Point node = NodePosition(band);
    const IColor& color = BandColor(band);
    const float x = static_cast<float>(node.x);
    const float y = static_cast<float>(node.y);
    if (BandValue(band, kDynamic) >= 0.5 && IsGainType(static_cast<int>(BandValue(band, kType)))) {
      const double live = FiniteOrZero(snapshot_.liveBandGain[band]);
      const float stemEnd = static_cast<float>(axes.DbToY(DisplayedNodeGain(plug_, band) + live));
      g.DrawLine(color, x, y, x, stemEnd, kStemWidth);
      g.FillCircle(color, x, stemEnd, kStemDotRadius);
    }
    const bool isSelected = band == selected;
    if (isSelected) {
      g.DrawCircle(color.WithAlpha(kSelectionRingAlpha), x, y, kSelectionRingRadius,
                   kSelectionRingWidth);
    }
    g.FillCircle(isSelected ? color : kPanel, x, y, kNodeRadius);
    g.DrawCircle(color, x, y, kNodeRadius, kNodeOutlineWidth);
    g.DrawText(Style(kSmallLabelSize, isSelected ? kPanel : kText, EAlign::Centre),
               std::to_string(band + 1),
               IRect(x - kNodeNumberBox / 2, y - kNodeNumberBox / 2, x + kNodeNumberBox / 2,
                     y + kNodeNumberBox / 2));
  }
}

void EQGraph::DrawReadout(ICanvas& g, const GraphAxes& axes, int band) const {
  const double frequency = BandValue(band, kFrequency);
  g.DrawText(Style(kLabelSize, BandColor(band), EAlign::Near),
             Format("BAND %02d   %.0f Hz   %+.1f dB   Q %.2f   DYN %+.1f dB", band + 1, frequency,
                    BandValue(band, kGain), BandValue(band, kQ),
                    FiniteOrZero(snapshot_.liveBandGain[band])),
             kReadoutBounds);
  if (frequency > axes.graphLimitHz) {
    g.DrawText(Style(kSmallLabelSize, kCopper, EAlign::Far), "FREQ ABOVE GRAPH LIMIT",
               kAboveLimitBounds);
  }
}

} // namespace coral
