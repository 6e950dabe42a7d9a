// The editor in the real coral-sieve, driven by real X input: adding a band, a typed value
// with its unit, the recipe menu, COPY and A/B, fine dragging with Shift, and clicks on
// hidden and greyed controls, each checked in the settings the application then holds.

#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "core/Recipes.h"
#include "engine/ParamTable.h"
#include "tests/support/AppDriver.h"

namespace coral {
namespace {

using test::AppDriver;

constexpr float kRowY = 640; // a knob's dial in the lower row
constexpr float kBoxY = 695; // a knob's value box
constexpr float kToggleY = 548;
constexpr float kEnableX = 533;
constexpr float kAbX = 1056, kCopyX = 1120, kRecipeX = 880, kTopY = 61;

// The horizontal centre of row position `i`.
float RowX(int i) {
  return 133.f + 184.f * i;
}

class EditorApp : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(app.Start()); }

  // Waits until the application's settings satisfy `done`; they are in `state` afterwards.
  bool SettingsBecome(const std::function<bool(const StateContent&)>& done) {
    return app.WaitUntil(
        [&] {
          state = app.State();
          return done(state);
        },
        15000);
  }
  // Lets the double-click time pass, so that the next press at the same place is a press of
  // its own.
  void PastDoubleClick() { std::this_thread::sleep_for(std::chrono::milliseconds(500)); }
  // Types `text` into the value box of row position `i` and commits it.
  void Enter(int i, const std::string& text) {
    app.Click(RowX(i), kBoxY);
    app.WaitFrames(2);
    app.Type(text);
    app.Key("Return");
  }

  AppDriver app;
  StateContent state;
};

TEST_F(EditorApp, AddedBandTakesSlotFiveAndItsFrequencyAcceptsKilohertz) {
  const int enabled = BandParamIndex(4, kEnabled), frequency = BandParamIndex(4, kFrequency);
  app.Click(1030, 486); // + BAND
  ASSERT_TRUE(SettingsBecome([&](const StateContent& s) { return s.current[enabled] == 1.f; }));
  EXPECT_EQ(state.current[frequency], 1000.f);
  app.WaitFrames(2);
  const auto dot = app.Screenshot().Pixel(364, 479); // slot 5's dot in its band colour
  EXPECT_NEAR(dot[0], 181, 3);
  EXPECT_NEAR(dot[1], 205, 3);
  EXPECT_NEAR(dot[2], 128, 3);

  Enter(0, "2.5k"); // the new band is selected, on the Shape tab
  EXPECT_TRUE(
      SettingsBecome([&](const StateContent& s) { return s.current[frequency] == 2500.f; }));
}

TEST_F(EditorApp, RecipeMenuCopyAndABSwitch) {
  constexpr int kMasterFir = 8;
  app.Click(kRecipeX, kTopY);
  app.WaitFrames(5);
  for (int item = 0; item <= kMasterFir; ++item) app.Key("Down");
  app.Key("Return");
  ASSERT_TRUE(SettingsBecome([](const StateContent& s) { return s.recipeIndex == kMasterFir; }));
  EXPECT_EQ(state.current, GetRecipes()[kMasterFir].values);

  app.Click(kCopyX, kTopY);
  ASSERT_TRUE(SettingsBecome([](const StateContent& s) { return s.stored == s.current; }));
  app.Click(1083, kToggleY); // GLOBAL
  Enter(2, "40 %");          // Mix
  ASSERT_TRUE(SettingsBecome([](const StateContent& s) { return s.current[kMix] == 40.f; }));
  app.Click(kAbX, kTopY);
  ASSERT_TRUE(SettingsBecome([](const StateContent& s) { return s.abFlag == 1; }));
  EXPECT_EQ(state.current, GetRecipes()[kMasterFir].values);
  EXPECT_EQ(state.stored[kMix], 40.f);
  app.WaitFrames(2);
  const auto lit = app.Screenshot().Pixel(1034, 75); // the lit A/B button's fill
  EXPECT_NEAR(lit[0], 36, 3);
  EXPECT_NEAR(lit[1], 65, 3);
  EXPECT_NEAR(lit[2], 65, 3);
  PastDoubleClick();
  app.Click(kAbX, kTopY);
  EXPECT_TRUE(SettingsBecome(
      [](const StateContent& s) { return s.abFlag == 0 && s.current[kMix] == 40.f; }));
}

TEST_F(EditorApp, ShiftDragTurnsAKnobTenTimesFiner) {
  const int gain = BandParamIndex(0, kGain);
  // One motion of 50 pixels: a whole turn is 4 knob heights (532 pixels) for 48 dB.
  app.Drag(RowX(1), kRowY, RowX(1), kRowY - 50, "", 1);
  ASSERT_TRUE(SettingsBecome([&](const StateContent& s) { return s.current[gain] != 0.f; }));
  EXPECT_NEAR(state.current[gain], 48.0 * 50 / 532, 0.01);
  PastDoubleClick();
  app.DoubleClick(RowX(1), kRowY);
  ASSERT_TRUE(SettingsBecome([&](const StateContent& s) { return s.current[gain] == 0.f; }));
  PastDoubleClick();
  app.Drag(RowX(1), kRowY, RowX(1), kRowY - 50, "shift", 1);
  ASSERT_TRUE(SettingsBecome([&](const StateContent& s) { return s.current[gain] != 0.f; }));
  EXPECT_NEAR(state.current[gain], 48.0 * 5 / 532, 0.002);
}

TEST_F(EditorApp, ClicksOnHiddenAndGreyedControlsDoNothing) {
  const StateContent before = app.State();
  // Every band's ENABLE lies at this place; only the shown one, band 1's, takes the click.
  app.Click(kEnableX, kToggleY);
  ASSERT_TRUE(SettingsBecome(
      [](const StateContent& s) { return s.current[BandParamIndex(0, kEnabled)] == 0.f; }));
  ParamSnapshot expected = before.current;
  expected[BandParamIndex(0, kEnabled)] = 0.f;
  EXPECT_EQ(state.current, expected);

  // Band 1 is off: its controls are greyed. Slope is greyed for a Bell anyway.
  app.WaitFrames(2);
  Enter(1, "6");            // Gain
  app.Click(222, kToggleY); // Type menu
  app.Key("Down");
  app.Key("Return");
  app.Click(RowX(3), kRowY); // Slope menu
  app.Key("Down");
  app.Key("Return");
  app.Click(642, kToggleY); // DYNAMIC
  app.WaitFrames(3);
  EXPECT_EQ(app.State().current, expected);
  app.Click(kEnableX, kToggleY); // Enabled itself is never greyed
  EXPECT_TRUE(SettingsBecome([&](const StateContent& s) { return s.current == before.current; }));
}

} // namespace
} // namespace coral
