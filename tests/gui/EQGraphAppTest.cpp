// The EQ graph in the real coral-sieve on a private X server: nodes edited with real X input
// and read back from the running instance's state, and the curves on screen against the
// engine's response.

#include <cmath>
#include <cstdlib>
#include <tuple>

#include <gtest/gtest.h>

#include "editor/GraphAxes.h"
#include "engine/EngineConstants.h"
#include "engine/ParamTable.h"
#include "engine/ResponseCurves.h"
#include "tests/support/AppDriver.h"
#include "tests/support/JackSession.h"

namespace coral {
namespace {

using test::AppDriver;

// The default settings: slots 0..3 at 60, 120, 250 and 500 Hz, 0 dB, +/- 24 dB on screen, and
// the graph limit 20 kHz at any rate the application may run at.
const GraphAxes kAxes{20000.0, 24.0};

float Current(AppDriver& app, int band, int field) {
  return app.State().current[BandParamIndex(band, field)];
}

TEST(EQGraphApp, DragShiftDragWheelAndDoubleClickEditBands) {
  AppDriver app;
  ASSERT_TRUE(app.Start());
  // Slot 1 dragged 94 pixels right and 53 up; slot 2 the same with Shift: a tenth as far.
  const std::tuple<int, std::string, double> drags[] = {{1, "", 1.0}, {2, "shift", 0.1}};
  for (const auto& [band, modifiers, fine] : drags) {
    const double startHz = DefaultSnapshot()[BandParamIndex(band, kFrequency)];
    const float x = std::round(kAxes.FrequencyToX(startHz));
    app.Drag(x, 296, x + 94, 296 - 53, modifiers);
    ASSERT_TRUE(app.WaitFrames(2));
    EXPECT_NEAR(Current(app, band, kFrequency), startHz * std::pow(1000.0, fine * 94 / 943), 0.05)
        << band;
    EXPECT_NEAR(Current(app, band, kGain), 24 * fine * 53 / 127, 1e-4) << band;
  }

  // Three wheel clicks up over slot 0's node.
  app.Wheel(std::round(kAxes.FrequencyToX(60)), 296, 3);
  ASSERT_TRUE(app.WaitFrames(2));
  EXPECT_NEAR(Current(app, 0, kQ), 0.7071 * std::exp(3 * 0.12), 1e-4);

  // A double click on empty plot takes the lowest free slot, 4, at the pointer.
  EXPECT_EQ(Current(app, 4, kEnabled), 0.f);
  app.DoubleClick(600, 230);
  ASSERT_TRUE(app.WaitFrames(2));
  EXPECT_EQ(Current(app, 4, kEnabled), 1.f);
  EXPECT_NEAR(Current(app, 4, kFrequency), kAxes.XToFrequency(600), 0.01);
  EXPECT_NEAR(Current(app, 4, kGain), 24 * 66 / 127.0, 1e-4);
  EXPECT_EQ(app.Stop(), 0);
}

// The row at which the curves cross column `x`: the centroid of the bright green-channel
// pixels (the three transfer curves are teal, copper and violet on a dark panel) in the plot.
double CurveRow(const test::Image& shot, int x) {
  double weight = 0, sum = 0;
  for (int y = static_cast<int>(kPlotTop); y < static_cast<int>(kPlotBottom); ++y) {
    const double green = shot.Pixel(x, y)[1];
    if (green > 120) weight += green - 120, sum += (green - 120) * (y + 0.5);
  }
  return weight > 0 ? sum / weight : -1;
}

TEST(EQGraphApp, CurvesOnScreenFollowTheEngineResponse) {
  // Audio through a JACK server of the test's own, so the engine runs and publishes its
  // applied curves: one +12 dB Bell at 1 kHz, Q 1 (slot 1; the selected slot 0 disabled, so
  // its own curve is not drawn), analyzer off.
  test::JackTestServer server;
  ASSERT_TRUE(server.Start(512));
  AppDriver app;
  test::AppOptions options;
  options.io = true;
  ASSERT_TRUE(app.Start(options));
  ParamSnapshot values = app.State().current;
  values[kAnalyzer] = 0;
  for (int band = 0; band < kNumBands; ++band) values[BandParamIndex(band, kEnabled)] = band == 1;
  values[BandParamIndex(1, kFrequency)] = 1000;
  values[BandParamIndex(1, kGain)] = 12;
  values[BandParamIndex(1, kQ)] = 1;
  ASSERT_TRUE(app.ApplyValues(values));
  ASSERT_TRUE(app.WaitFrames(10));
  const test::Image shot = app.Screenshot();

  // Columns between grid lines and away from the node; the curves run straight between the
  // display points, whose values the engine's response gives.
  for (int x : {345, 479, 555, 660, 754, 850}) {
    const double t = (x + 0.5 - kPlotLeft) / kPlotWidth * (kDisplayPoints - 1);
    const int point = static_cast<int>(t);
    const auto y = [&](int i) {
      return kAxes.DbToY(TargetCurvePoint(kAxes.PointFrequency(i), values, 48000, 0));
    };
    const double expected = y(point) + (t - point) * (y(point + 1) - y(point));
    EXPECT_NEAR(CurveRow(shot, x), expected, 1.0) << "column " << x;
  }
  EXPECT_EQ(app.Stop(), 0);
}

} // namespace
} // namespace coral
