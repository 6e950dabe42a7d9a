// Framework bases: parameter shapes, clamping and texts as the plug-in sets them up, and the
// editor's size under a resizing parent window.

#include <cmath>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/CoralSieve.h"
#include "tests/core/FakeEditorCanvas.h"

using reef::IParam;
using namespace coral;

namespace {

TEST(IParam, SteppingClampingAndPrecision) {
  // Halfway cases round away from zero, then the range applies; NaN gives the default.
  IParam stepped;
  stepped.SetupDouble("Steps", 4.0, -10.0, 10.0, 1.0, "", IParam::kFlagStepped);
  for (auto [in, out] :
       {std::pair{2.5, 3.0}, {-2.5, -3.0}, {2.49, 2.0}, {10.6, 10.0}, {std::nan(""), 4.0}})
    EXPECT_EQ(stepped.ClampValue(in), out) << in;
  EXPECT_EQ(stepped.FromNormalized(-0.3), -10.0);
  for (auto [step, decimals] : {std::pair{1.0, 0}, {0.5, 1}, {0.01, 2}, {0.001, 3}, {1e-7, 6}}) {
    IParam p;
    p.SetupDouble("P", 0.0, 0.0, 1000.0, step);
    EXPECT_EQ(p.GetDisplayPrecision(), decimals) << step;
    EXPECT_EQ(p.ClampValue(3.25), 3.25); // not stepped: fractions are kept
  }
}

TEST(IParam, PluginParametersShapesNamesAndParsing) {
  CoralSieve plug{reef::InstanceInfo{}};
  const auto param = [&plug](int index) -> IParam& { return *plug.GetParam(index); };
  // Exponential ranges: Frequency 20..22000, Q 0.15..30, Attack 0.1..200, Release 5..3000 and
  // Ratio 1..20 meet the middle at their geometric means sqrt(min * max); Threshold -90..0 is
  // linear; Slope 0..3 is stepped and 1.5 rounds away from zero.
  const std::tuple<int, double, double> midpoints[] = {
      {14, 663.3250, 1e-3}, {16, 2.12132, 1e-5}, {22, 4.47214, 1e-5}, {23, 122.4745, 1e-4},
      {20, 4.47214, 1e-5},  {19, -45.0, 0},      {17, 2.0, 0}};
  for (auto [index, value, tolerance] : midpoints) {
    param(index).SetFromNormalized(0.5);
    EXPECT_NEAR(param(index).Value(), value, tolerance) << index;
  }

  IParam *type = plug.GetParam(13), *gain = plug.GetParam(15), *frequency = plug.GetParam(14);
  IParam *bypass = plug.GetParam(kBypass), *phase = plug.GetParam(kPhase), cut;
  cut.SetupDouble("A name that is much longer than thirty-one bytes", -3.5, -24.0, 24.0, 0.01, "dB",
                  IParam::kFlagNegateDisplay); // parsed texts are negated
  EXPECT_STREQ(cut.GetName(), "A name that is much longer than");
  EXPECT_EQ(cut.GetDisplay(), "-3.50");
  // Exact display texts give their value; bool and enum parameters give 0 for anything else;
  // other texts are read as their leading number and clamped.
  const std::tuple<IParam*, const char*, double> cases[] = {
      {type, "Notch", 5},
      {type, "notch", 0},
      {type, "5", 0},
      {bypass, "1", 0},
      {gain, "12.5 dB", 12.5},
      {gain, "  +4dB", 4},
      {gain, "loud", 0},
      {gain, "30", 24},
      {phase, "Linear Phase FIR", 1},
      {&cut, "-6 dB", 6},
      {&cut, "30", -24},
      {frequency, "1.5e3 Hz", 1500},
      // Beyond a double's range: overflow clamps like any large number, underflow is zero.
      {gain, "1e400", 24},
      {gain, "-1e400 dB", -24},
      {gain, "1e-400", 0},
      {gain, "0.00001e400", 24},
      {frequency, "\n 2500", 2500}};
  for (auto [param, text, value] : cases)
    EXPECT_EQ(param->ParseValueText(text), value) << param->GetName() << ": " << text;
}

TEST(EditorLink, ParentWindowResizeScalesTheEditorWithinItsLimits) {
  test::FakeEditorCanvas* canvas = nullptr;
  int layouts = 0;
  CoralSieve plug{reef::InstanceInfo{}, test::HooksFor(canvas, layouts)};
  plug.OnParentWindowResize(1770, 1200); // no editor yet: ignored
  ASSERT_EQ(plug.OpenWindow(nullptr), canvas);
  EXPECT_EQ(std::tie(layouts, canvas->sends, canvas->open), std::make_tuple(1, 216, true));

  // k = min(height / (s * 800), width / (s * 1180)); outside 0.85..1.5 it is clamped and the
  // platform window follows.
  using Resize = test::FakeEditorCanvas::ResizeCall;
  const std::tuple<int, int, float, std::vector<Resize>> cases[] = {
      {1770, 1200, 1.f, {{1180, 800, 1.5f, false}}},
      {3540, 2400, 1.f, {{1180, 800, 1.5f, true}}},
      {500, 800, 1.f, {{1180, 800, 0.85f, true}}},
      {1180, 880, 1.f, {{1180, 800, 1.f, false}}},
      {2360, 1600, 2.f, {{1180, 800, 1.f, false}}},
      {0, 800, 1.f, {}},
      {1180, -1, 1.f, {}},
      {1180, 800, 0.f, {}},
      {1180, 800, std::nanf(""), {}}};
  for (const auto& [width, height, screenScale, expected] : cases) {
    canvas->resizes.clear();
    canvas->screenScale = screenScale;
    plug.OnParentWindowResize(width, height);
    EXPECT_EQ(canvas->resizes, expected) << width << " x " << height << " at " << screenScale;
  }
  canvas->screenScale = 1.f;
  canvas->controls = 0; // an editor without controls is not rescaled
  canvas->resizes.clear();
  plug.OnParentWindowResize(1770, 1200);
  EXPECT_TRUE(canvas->resizes.empty());

  // Closing remembers size and draw scale; reopening makes a new context and restores them.
  canvas->Resize(1180, 800, 1.25f, false);
  plug.CloseWindow();
  EXPECT_EQ(plug.GetCanvas(), nullptr);
  plug.OpenWindow(nullptr);
  EXPECT_EQ(layouts, 2);
  EXPECT_EQ(canvas->resizes, (std::vector<Resize>{{1180, 800, 1.25f, true}}));
  EXPECT_EQ(plug.OpenWindow(nullptr), canvas); // an open context is reused
  EXPECT_EQ(layouts, 2);
}

} // namespace
