// The EQ graph on a real plug-in through the recording canvas: its axes, node positions,
// graph limit, hit testing, editing by mouse, wheel and keys, the target cache, what it draws
// and when it asks to be redrawn.

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/CoralSieve.h"
#include "editor/EQGraph.h"
#include "editor/Palette.h"
#include "tests/support/RecordingCanvas.h"

namespace {

using namespace coral;
using reef::ui::IKeyPress;
using reef::ui::IMouseMod;
using reef::ui::IRect;
using reef::ui::test::RecordingCanvas;
using reef::ui::test::Shape;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// x of `hz` on a 20 Hz .. 20 kHz axis, in closed form.
double XAt20k(double hz) {
  return 70.0 + 943.0 * std::log(hz / 20.0) / std::log(1000.0);
}

TEST(GraphAxes, MappingsIncludingTheirLimits) {
  const GraphAxes at48k = GraphAxes::For(48000, 0); // 20 kHz, +/- 12 dB
  const GraphAxes at32k = GraphAxes::For(32000, 2); // 15680 Hz, +/- 36 dB
  const double middleHz = std::sqrt(20 * 20000.0);  // the middle of a 20 kHz axis
  using Map = std::function<double(double)>;
  const std::tuple<const char*, Map, std::vector<std::pair<double, double>>> rows[] = {
      {"x(f)",
       [&](double f) { return at48k.FrequencyToX(f); },
       {{20, 70},
        {10, 70},
        {kNaN, 70},
        {200, 70 + 943.0 / 3},
        {middleHz, 541.5},
        {20000, 1013},
        {22000, 1013}}},
      {"x(f) at 32 kHz", [&](double f) { return at32k.FrequencyToX(f); }, {{18000, 1013}}},
      {"f(x)",
       [&](double x) { return at48k.XToFrequency(x); },
       {{0, 20}, {70 + 943.0 / 3, 200}, {541.5, middleHz}, {1100, 20000}}},
      {"f(x) at 32 kHz", [&](double x) { return at32k.XToFrequency(x); }, {{1013, 15680}}},
      {"point f", [&](double i) { return at48k.PointFrequency(int(i)); }, {{0, 20}, {255, 20000}}},
      {"point x", [](double i) { return PointX(int(i)); }, {{0, 70}, {255, 1013}}},
      {"y(dB)",
       [&](double db) { return at48k.DbToY(db); },
       {{0, 296}, {6, 232.5}, {30, 169}, {-30, 423}}},
      {"y(dB) at 36 dB", [&](double db) { return at32k.DbToY(db); }, {{-18, 359.5}}},
      {"dB(y)", [&](double y) { return at48k.YToDb(y); }, {{359.5, -6}, {100, 12}, {500, -12}}},
      {"dB(y) at 36 dB", [&](double y) { return at32k.YToDb(y); }, {{232.5, 18}}},
      {"spectrum y",
       [](double v) { return SpectrumToY(v); },
       {{0, 169}, {-48, 296}, {-96, 423}, {6, 169}, {-120, 423}}},
      {"graph limit",
       [](double rate) { return GraphAxes::For(rate, 0).graphLimitHz; },
       {{32000, 15680}, {44100, 20000}, {8000, 3920}, {7999, 20000}, {kNaN, 20000}}},
      {"range",
       [](double range) { return GraphAxes::For(48000, range).rangeDb; },
       {{1.9, 24}, {2, 36}, {7, 36}, {-0.9, 12}, {kNaN, 12}}}};
  for (const auto& [what, map, pairs] : rows) {
    for (const auto& [input, expected] : pairs) {
      EXPECT_NEAR(map(input), expected, 1e-9 * std::abs(expected)) << what << " of " << input;
    }
  }
}

TEST(TargetCurve, RecomputesOnChangeAtMostEvery100msInLinearPhase) {
  using namespace std::chrono_literals;
  TargetCurve target;
  ParamSnapshot values = DefaultSnapshot();
  values[BandParamIndex(0, kFrequency)] = 1000;
  values[BandParamIndex(0, kGain)] = 6;
  const TargetCurve::Clock::time_point t0{};
  EXPECT_TRUE(target.Refresh(values, 48000, false, t0));
  // A +6 dB Bell: the peak of the points is 6 dB (the grid passes within 1.4 % of 1 kHz).
  EXPECT_NEAR(*std::max_element(target.Points().begin(), target.Points().end()), 6.0, 0.02);
  EXPECT_FALSE(target.Refresh(values, 48000, false, t0 + 1s));
  EXPECT_TRUE(target.Refresh(values, 44100, false, t0 + 1s)); // the sample rate is in the key
  values[BandParamIndex(0, kGain)] = 3;
  EXPECT_TRUE(target.Refresh(values, 44100, false, t0 + 1s)); // minimum phase: no time limit
  values[kPhase] = 1;
  EXPECT_FALSE(target.Refresh(values, 44100, false, t0 + 1099ms));
  EXPECT_FALSE(target.ComputedForPhase(1));
  EXPECT_TRUE(target.Refresh(values, 44100, false, t0 + 1100ms));
  EXPECT_TRUE(target.ComputedForPhase(1));
  EXPECT_NEAR(*std::max_element(target.Points().begin(), target.Points().end()), 3.0, 0.05);
  values[BandParamIndex(0, kGain)] = 2;
  EXPECT_FALSE(target.Refresh(values, 44100, false, t0 + 1150ms));
  EXPECT_TRUE(target.Refresh(values, 44100, true, t0 + 1150ms)); // forced
  EXPECT_FALSE(target.Refresh(values, 44100, false, t0 + 5s));
}

class EQGraphTest : public ::testing::Test {
protected:
  CoralSieve plug{reef::InstanceInfo{}};
  RecordingCanvas canvas{plug};
  std::shared_ptr<ViewState> view = std::make_shared<ViewState>();
  EQGraph* graph = canvas.Attach(std::make_unique<EQGraph>(IRect(36, 147, 1050, 451), plug, view));

  // The default band set (slots 0..3 at 60, 120, 250 and 500 Hz, 0 dB) on +/- 12 dB.
  void SetUp() override { SetGlobal(kGraphRange, 0); }

  void SetGlobal(int paramIdx, double value) { plug.GetParam(paramIdx)->SetValue(value); }
  void Set(int band, int field, double value) { SetGlobal(BandParamIndex(band, field), value); }
  double Value(int band, int field) const {
    return plug.GetParam(BandParamIndex(band, field))->Value();
  }
  // Runs `frames` frames of noise through the plug-in.
  void ProcessNoise(int frames) {
    std::mt19937 random(1);
    std::uniform_real_distribution<double> noise(-0.5, 0.5);
    std::vector<double> left(512), right(512), outLeft(512), outRight(512);
    for (int done = 0; done < frames; done += 512) {
      for (int n = 0; n < 512; ++n) left[n] = noise(random), right[n] = noise(random);
      double* inputs[] = {left.data(), right.data(), nullptr, nullptr};
      double* outputs[] = {outLeft.data(), outRight.data()};
      plug.ProcessBlock(inputs, outputs, 512);
    }
  }
  std::vector<const Shape*> Strokes(const reef::ui::IColor& color) const {
    std::vector<const Shape*> found;
    for (const Shape& shape : canvas.shapes) {
      if (shape.kind == Shape::EKind::StrokePath && shape.Color() == color) found.push_back(&shape);
    }
    return found;
  }
  size_t IndexOf(const Shape* shape) const { return shape - canvas.shapes.data(); }
};

TEST_F(EQGraphTest, NodesFollowScaleForGainTypesOnly) {
  Set(0, kFrequency, 1000);
  Set(0, kGain, 6);
  const std::tuple<int, double, double, double> rows[] = {
      // type, Scale %, Graph Range, node y
      {kBell, 100, 0, 232.5}, {kBell, 200, 0, 169},    {kBell, 0, 0, 296},
      {kBell, 200, 1, 232.5}, {kTilt, 50, 0, 264.25},  {kHighShelf, 200, 2, 253.667},
      {kNotch, 200, 0, 296},  {kHighPass, 100, 0, 296}};
  for (const auto& [type, scale, range, y] : rows) {
    Set(0, kType, type);
    SetGlobal(kScale, scale);
    SetGlobal(kGraphRange, range);
    const EQGraph::Point node = graph->NodePosition(0);
    EXPECT_NEAR(node.x, XAt20k(1000), 1e-9);
    EXPECT_NEAR(node.y, y, 1e-3) << "type " << type << " at " << scale << " %";
  }
}

TEST_F(EQGraphTest, GraphLimitFollowsTheSampleRate) {
  Set(11, kEnabled, 1); // 18 kHz
  view->SetSelectedBand(11);
  // rate, 20k grid line and label, x of the 18 kHz node, "FREQ ABOVE GRAPH LIMIT"
  const std::tuple<double, bool, double, bool> rows[] = {{32000, false, 1013, true},
                                                         {44100, true, XAt20k(18000), false},
                                                         {48000, true, XAt20k(18000), false},
                                                         {96000, true, XAt20k(18000), false}};
  for (const auto& [rate, has20k, nodeX, above] : rows) {
    plug.SetSampleRate(rate);
    plug.OnReset();
    canvas.ClearShapes();
    canvas.RunFrame();
    int verticalLines = 0;
    for (const Shape& shape : canvas.shapes) {
      verticalLines += shape.kind == Shape::EKind::Line && shape.Color() == kLine &&
                       shape.bounds.left == shape.bounds.right;
    }
    EXPECT_EQ(verticalLines, has20k ? 10 : 9) << rate;
    EXPECT_EQ(canvas.FindText("20k") != nullptr, has20k) << rate;
    EXPECT_NEAR(graph->NodePosition(11).x, nodeX, 1e-9) << rate;
    EXPECT_EQ(canvas.FindText("FREQ ABOVE GRAPH LIMIT") != nullptr, above) << rate;
  }
}

TEST_F(EQGraphTest, HitTestingOfNodesAndTheRangeHandle) {
  const double x60 = graph->NodePosition(0).x;
  Set(5, kEnabled, 1); // a second node 20 pixels above slot 0's
  Set(5, kFrequency, 60);
  Set(5, kGain, 20 * 12 / 127.0);
  const std::tuple<double, double, int> rows[] = {{x60, 286, 0}, // equal distance: the lower slot
                                                  {x60, 282, 5},
                                                  {x60 + 15.9, 296, 0},
                                                  {x60 + 16, 296, -1},
                                                  {XAt20k(1000), 296, -1}};
  for (const auto& [x, y, band] : rows) EXPECT_EQ(graph->NodeAt(x, y), band) << x << ", " << y;

  // A dynamic Bell's handle: 17 pixels right of the node, Range away from it in the direction
  // of the dynamics, hit within a 24-pixel square (pointer positions are floats) unless Scale
  // is 0.
  EXPECT_FALSE(graph->RangeHandle());
  Set(0, kDynamic, 1);
  const int rangeIdx = BandParamIndex(0, kRange);
  // Direction, Scale %, handle y, press offset, gestures begun
  const std::tuple<int, double, double, double, std::vector<int>> presses[] = {
      {0, 100, 359.5, 11.99, {rangeIdx}},
      {1, 100, 232.5, -11.99, {rangeIdx}},
      {1, 100, 232.5, 12.01, {}},
      {1, 0, 296, 0, {}}};
  for (const auto& [direction, scale, y, offset, gestures] : presses) {
    Set(0, kDirection, direction);
    SetGlobal(kScale, scale);
    const EQGraph::Point handle = *graph->RangeHandle();
    EXPECT_NEAR(handle.x, x60 + 17, 1e-9);
    EXPECT_NEAR(handle.y, y, 1e-9);
    graph->OnMouseDown(handle.x + offset, handle.y + offset, IMouseMod{.left = true});
    EXPECT_EQ(graph->OpenGestures(), gestures) << direction << " " << scale << " " << offset;
    graph->OnMouseUp(0, 0, IMouseMod{});
  }
  Set(0, kType, kNotch);
  EXPECT_FALSE(graph->RangeHandle());
}

TEST_F(EQGraphTest, RangeDragGrowsAwayFromTheNodeInBothDirections) {
  Set(0, kDynamic, 1);
  // Direction, Scale %, pointer motion, Shift, Range after (from 6 dB, on +/- 12 dB)
  const std::tuple<int, double, double, bool, double> rows[] = {
      {0, 100, 12.7, false, 7.2}, {0, 100, -12.7, false, 4.8}, {1, 100, -12.7, false, 7.2},
      {0, 200, 12.7, false, 6.6}, {0, 100, 127, true, 7.2},    {0, 100, 400, false, 24},
      {1, 100, 200, false, 0}};
  for (const auto& [direction, scale, dy, shift, range] : rows) {
    Set(0, kDirection, direction);
    Set(0, kRange, 6);
    SetGlobal(kScale, scale);
    const auto at = *graph->RangeHandle();
    graph->OnMouseDown(at.x, at.y, IMouseMod{.left = true});
    graph->OnMouseDrag(at.x + 30, at.y + dy, 0, 0, IMouseMod{.left = true, .shift = shift});
    graph->OnMouseUp(at.x, at.y + dy, IMouseMod{});
    EXPECT_NEAR(Value(0, kRange), range, 1e-5) << direction << " " << scale << " " << dy;
    EXPECT_NEAR(Value(0, kFrequency), 60, 1e-9);
  }
}

// Plain and Shift drags, the wheel over a node and a double click that adds a band are driven
// through the application by the gui tests; here the edges they do not reach.
TEST_F(EQGraphTest, NodeDragAtScale200And0PercentOpensAndClosesItsGestures) {
  const int frequencyIdx = BandParamIndex(0, kFrequency), gainIdx = BandParamIndex(0, kGain);
  view->SetSelectedBand(2);
  SetGlobal(kPhase, 1);
  canvas.RunFrame(); // the flat linear-phase target
  // Scale %, gestures opened, stored gain after 63.5 pixels up (6 dB on the axis), released
  // (else cancelled)
  const std::tuple<double, std::vector<int>, double, bool> drags[] = {
      {200, {frequencyIdx, gainIdx}, 3, true}, {0, {frequencyIdx}, 0, false}};
  for (const auto& [scale, gestures, gain, released] : drags) {
    Set(0, kGain, 0);
    SetGlobal(kScale, scale);
    const auto node = graph->NodePosition(0);
    graph->OnMouseDown(node.x, node.y, IMouseMod{.left = true});
    EXPECT_EQ(graph->OpenGestures(), gestures);
    EXPECT_EQ(view->selectedBand, 0);
    graph->OnMouseDrag(node.x, node.y - 63.5, 0, 0, IMouseMod{.left = true});
    if (released) {
      graph->OnMouseUp(node.x, node.y - 63.5, IMouseMod{});
    } else {
      graph->OnTouchCancelled(0, 0, IMouseMod{});
    }
    EXPECT_TRUE(graph->OpenGestures().empty());
    graph->OnMouseDrag(node.x + 300, 200, 1, 1, IMouseMod{.left = true}); // no longer held
    EXPECT_NEAR(Value(0, kFrequency), 60, 1e-9) << scale;
    EXPECT_NEAR(Value(0, kGain), gain, 1e-6) << scale;
    if (!released) continue;
    // Releasing recomputes the linear-phase target (of the scaled gain) at once.
    const CurvePoints& target = graph->Target().Points();
    EXPECT_NEAR(*std::max_element(target.begin(), target.end()), 2 * gain, 0.1);
  }
}

// The wheel over empty plot and double clicks on nodes and outside the plot: only the listed
// fields of the band selected afterwards change, to the listed values.
TEST_F(EQGraphTest, WheelAndDoubleClickOnInactiveSlotsNotchesAndOutsideThePlot) {
  enum EGesture { kWheel, kDoubleClick };
  Set(2, kGain, 5);
  Set(3, kGain, 5);
  Set(3, kType, kNotch);
  const double q0 = Value(0, kQ), middleHz = std::sqrt(20 * 20000.0);
  using Changes = std::vector<std::pair<int, double>>;
  // gesture, x, y, Scale %, selected before, selected after, fields changed
  const std::tuple<EGesture, double, double, double, int, int, Changes> rows[] = {
      {kWheel, XAt20k(5000), 296, 100, 2, 2, {{kQ, q0 * std::exp(0.12)}}},
      {kWheel, XAt20k(5000), 296, 100, 4, 4, {}}, // a disabled slot's Q is inactive
      {kDoubleClick, XAt20k(250), 296 - 5 * 127 / 12.0, 100, 0, 2, {{kGain, 0}}},
      {kDoubleClick, XAt20k(500), 296, 100, 0, 3, {}}, // a Notch has no gain to reset
      {kDoubleClick, 541.5, 232.5, 200, 0, 4, {{kEnabled, 1}, {kFrequency, middleHz}, {kGain, 3}}},
      {kDoubleClick, 541.5, 232.5, 0, 0, 5, {{kEnabled, 1}, {kFrequency, middleHz}}},
      {kDoubleClick, 50, 300, 100, 0, 0, {}},     // left of the plot
      {kDoubleClick, 541.5, 423, 100, 0, 0, {}}}; // below it
  for (const auto& [gesture, x, y, scale, selectedBefore, selectedAfter, changes] : rows) {
    SCOPED_TRACE(::testing::Message() << x << ", " << y << " at " << scale << " %");
    SetGlobal(kScale, scale);
    view->SetSelectedBand(selectedBefore);
    const ParamSnapshot before = plug.CurrentValues();
    if (gesture == kWheel) {
      graph->OnMouseWheel(x, y, IMouseMod{}, 1);
    } else {
      graph->OnMouseDblClick(x, y, IMouseMod{});
    }
    Changes changed;
    for (int i = 0; i < kNumParams; ++i) {
      if (plug.CurrentValues()[i] != before[i]) changed.emplace_back(i, plug.CurrentValues()[i]);
    }
    ASSERT_EQ(changed.size(), changes.size());
    for (std::size_t c = 0; c < changes.size(); ++c) {
      EXPECT_EQ(changed[c].first, BandParamIndex(selectedAfter, changes[c].first));
      EXPECT_NEAR(changed[c].second, changes[c].second, 1e-4 * std::abs(changes[c].second));
    }
    EXPECT_EQ(view->selectedBand, selectedAfter);
  }
}

TEST_F(EQGraphTest, KeysEditTheSelectedBand) {
  using namespace reef::ui;
  // key, Shift, type, enabled, handled, Frequency and Gain after (from 1000 Hz, 3 dB)
  const std::tuple<int, bool, int, bool, bool, double, double> rows[] = {
      {kVKRight, false, kBell, true, true, 1000 * std::exp(0.02), 3},
      {kVKLeft, true, kBell, true, true, 1000 * std::exp(-0.002), 3},
      {kVKUp, false, kBell, true, true, 1000, 3.5},
      {kVKDown, true, kLowShelf, true, true, 1000, 2.9},
      {kVKHome, false, kBell, true, true, 1000, 0},
      {kVKUp, false, kNotch, true, false, 1000, 3},
      {kVKLeft, false, kBell, false, false, 1000, 3},
      {'A', false, kBell, true, false, 1000, 3},
  };
  view->SetSelectedBand(1);
  for (const auto& [key, shift, type, enabled, handled, frequency, gain] : rows) {
    Set(1, kFrequency, 1000);
    Set(1, kGain, 3);
    Set(1, kType, type);
    Set(1, kEnabled, enabled);
    EXPECT_EQ(graph->OnKeyDown(0, 0, IKeyPress("", key, shift)), handled) << key;
    EXPECT_NEAR(Value(1, kFrequency), frequency, 1e-6) << key;
    EXPECT_NEAR(Value(1, kGain), gain, 1e-9) << key;
  }
  Set(1, kEnabled, 1);
  Set(1, kListen, 1);
  EXPECT_TRUE(graph->OnKeyDown(0, 0, IKeyPress("", kVKDelete)));
  EXPECT_EQ(std::make_tuple(Value(1, kEnabled), Value(1, kListen)), std::make_tuple(0.0, 0.0));
}

TEST_F(EQGraphTest, DrawsSpectraCurvesTargetAndNodesInOrder) {
  const reef::ui::IColor input{140, 126, 162, 210}, wetStatic{190, 215, 165, 109},
      target{215, 181, 153, 226}, bandCurve = BandColor(0).WithAlpha(60);
  // No analysis yet: no spectrum; the selected band's own curve, the applied curves, the
  // dashed target (128 of 255 segments), the nodes and the readout, in this order.
  canvas.RunFrame();
  EXPECT_TRUE(Strokes(input).empty());
  for (const auto& color : {bandCurve, wetStatic, kTeal, target})
    ASSERT_EQ(Strokes(color).size(), 1u);
  EXPECT_EQ(Strokes(wetStatic)[0]->points.size(), 2u * 255);
  EXPECT_EQ(Strokes(target)[0]->points.size(), 2u * 128);
  EXPECT_LT(IndexOf(Strokes(bandCurve)[0]), IndexOf(Strokes(wetStatic)[0]));
  EXPECT_LT(IndexOf(Strokes(kTeal)[0]), IndexOf(Strokes(target)[0]));
  EXPECT_LT(IndexOf(Strokes(target)[0]), IndexOf(canvas.FindText("1")));
  EXPECT_NE(canvas.FindText("BAND 01   60 Hz   +0.0 dB   Q 0.71   DYN +0.0 dB"), nullptr);

  // Noise through the plug-in: both spectra are filled and outlined behind the curves. In
  // Linear Phase FIR there is no band curve.
  plug.OnReset();
  ProcessNoise(16384);
  SetGlobal(kPhase, 1);
  canvas.ClearShapes();
  canvas.RunFrame();
  const auto fill = std::find_if(canvas.shapes.begin(), canvas.shapes.end(), [&](const Shape& s) {
    return s.kind == Shape::EKind::FillPath && s.Color() == input;
  });
  ASSERT_NE(fill, canvas.shapes.end());
  EXPECT_EQ(fill->points.size(), 258u);
  ASSERT_EQ(Strokes(input).size(), 1u);
  EXPECT_LT(IndexOf(Strokes(input)[0]), IndexOf(Strokes(wetStatic)[0]));
  EXPECT_TRUE(Strokes(bandCurve).empty());
}

TEST_F(EQGraphTest, RedrawsOnlyWhenWhatItDrawsChanged) {
  EXPECT_FALSE(canvas.RunFrame().Empty());
  EXPECT_TRUE(canvas.RunFrame().Empty()); // nothing moved
  Set(0, kGain, 2);
  EXPECT_FALSE(canvas.RunFrame().Empty());
  EXPECT_TRUE(canvas.RunFrame().Empty());
  view->SetSelectedBand(3);
  EXPECT_FALSE(canvas.RunFrame().Empty());
  plug.OnReset(); // new display data from the engine (its sample rate)
  EXPECT_FALSE(canvas.RunFrame().Empty());
  EXPECT_TRUE(canvas.RunFrame().Empty());
  ProcessNoise(2048); // new spectra
  EXPECT_FALSE(canvas.RunFrame().Empty());
}

} // namespace
