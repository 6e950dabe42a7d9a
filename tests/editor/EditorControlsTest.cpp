// The editor's controls on a real plug-in, driven through the canvas as the window drives
// them: band handling with the buttons and the strip, knobs by keys and typed values, greying,
// menus, toggles and links, polling of outside changes, and the meters.

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "editor/EditorOperations.h"
#include "editor/Meters.h"
#include "editor/Palette.h"
#include "engine/ParamTable.h"
#include "tests/editor/EditorFixture.h"
#include "ui/ITextEntryControl.h"

namespace coral::test {
namespace {

using reef::ui::IMouseMod;
using reef::ui::IRect;

constexpr float kAddX = 1030, kDeleteX = 1109, kStripY = 486; // + BAND, DELETE, band strip
constexpr float kTabY = 548, kDynamicsTabX = 975;
constexpr float kRowY = 640; // a knob's dial in the lower row
constexpr float kBoxY = 695; // a knob's value box

// The horizontal centre of band slot `band` in the strip, and of row position `i`.
float SlotX(int band) {
  return 72.f + 79.f * band;
}
float RowX(int i) {
  return 133.f + 184.f * i;
}

class EditorControls : public EditorFixture {
protected:
  double Band(int band, int field) { return Value(BandParamIndex(band, field)); }
  bool EntryOpen() { return canvas->GetTextEntryControl()->IsShowing(); }
  // Types `text` into the value box of row position `i` and commits it.
  void Enter(int i, const std::string& text) {
    Click(RowX(i), kBoxY);
    Type(RowX(i), kBoxY, text);
    Key(RowX(i), kBoxY, reef::ui::kVKReturn);
  }
};

TEST_F(EditorControls, BandsAreAddedAndDeletedWithTheButtonsWithoutRenumbering) {
  Click(kAddX, kStripY);
  EXPECT_EQ(Band(4, kEnabled), 1.0);
  EXPECT_EQ(view->selectedBand, 4);
  Frame();
  EXPECT_TRUE(Drew("BAND 05"));
  EXPECT_TRUE(Drew("1.00 kHz")); // the new band's Frequency knob
  for (int band = 5; band < kNumBands; ++band) Click(kAddX, kStripY);
  const ParamSnapshot full = plug->CurrentValues();
  Click(kAddX, kStripY);
  EXPECT_EQ(plug->CurrentValues(), full);
  EXPECT_EQ(view->helpTitle, "TWELVE SLOTS IN USE");

  Param(BandParamIndex(7, kListen)).SetValue(1);
  Click(SlotX(7), kStripY);
  EXPECT_EQ(view->selectedBand, 7);
  Click(kDeleteX, kStripY);
  EXPECT_EQ(std::vector({Band(7, kEnabled), Band(7, kListen)}), std::vector({0.0, 0.0}));
  Frame();
  EXPECT_TRUE(Drew("OFF"));
  ParamSnapshot expected = full;
  expected[BandParamIndex(7, kEnabled)] = 0;
  EXPECT_EQ(plug->CurrentValues(), expected); // every other slot and field as it was
  Click(kAddX, kStripY);                      // the freed slot is the only one
  EXPECT_EQ(std::make_pair(view->selectedBand, Band(7, kEnabled)), std::make_pair(7, 1.0));
}

// Dragging a knob is driven by real input in the gui tests; keys and typed values here.
TEST_F(EditorControls, KnobsTurnByKeysAndTypedValues) {
  const int gain = BandParamIndex(0, kGain);
  Key(RowX(1), kRowY, reef::ui::kVKUp);
  Key(RowX(1), kRowY, reef::ui::kVKRight, {}, true);
  EXPECT_NEAR(Value(gain), 48 * 0.011, 1e-9);
  Key(RowX(1), kRowY, reef::ui::kVKHome);
  EXPECT_EQ(Value(gain), 0.0);

  // Typed values: the entry covers the value box and starts with the value.
  Click(RowX(0), kBoxY);
  ASSERT_TRUE(EntryOpen());
  EXPECT_EQ(canvas->GetTextEntryControl()->GetEditText(), "60");
  EXPECT_EQ(canvas->GetTextEntryControl()->GetRect(), IRect(64, 682, 202, 708));
  Frame();
  EXPECT_FALSE(Drew("60 Hz")); // the entry replaces the value text
  Type(RowX(0), kBoxY, "2.5 k");
  Key(RowX(0), kBoxY, reef::ui::kVKReturn);
  EXPECT_EQ(Band(0, kFrequency), 2500.0);
  Frame();
  EXPECT_TRUE(Drew("2.50 kHz"));
  Enter(0, "5 ms"); // not a frequency
  EXPECT_EQ(Band(0, kFrequency), 2500.0);
  EXPECT_EQ(view->helpTitle, "VALID PHYSICAL VALUES");
  Enter(1, "1e400"); // not finite
  EXPECT_EQ(Value(gain), 0.0);
  Enter(1, "99 dB"); // out of range: the nearest bound
  EXPECT_EQ(Value(gain), 24.0);
  Click(kDynamicsTabX, kTabY);
  Param(BandParamIndex(0, kDynamic)).SetValue(1);
  Frame();
  Enter(0, "-18 dbfs");
  EXPECT_EQ(Band(0, kThreshold), -18.0);
  Frame();
  EXPECT_TRUE(Drew("-18.0 dBFS"));
}

// Which of a band's controls are greyed, by filter type, Enabled and Dynamic (the gui tests
// show greyed controls ignore input). Columns: Type Frequency Gain Q Slope Dynamic Threshold
// Attack Direction Channel Listen Enabled; '#' marks a greyed control.
TEST_F(EditorControls, GreyingFollowsTypeEnabledAndDynamic) {
  const int fields[] = {kType,      kFrequency, kGain,      kQ,       kSlope,  kDynamic,
                        kThreshold, kAttack,    kDirection, kChannel, kListen, kEnabled};
  const std::tuple<int, bool, bool, std::string> rows[] = {
      {kBell, true, false, "....#.###..."},    {kBell, true, true, "....#......."},
      {kLowShelf, true, true, "....#......."}, {kHighShelf, true, false, "....#.###..."},
      {kTilt, true, true, "....#......."},     {kHighPass, true, true, "..#..####..."},
      {kLowPass, true, false, "..#..####..."}, {kNotch, true, true, "..#.#####..."},
      {kBandPass, true, true, "..#.#####..."}, {kBell, false, true, "###########."}};
  for (const auto& [type, enabled, dynamic, expected] : rows) {
    Param(BandParamIndex(4, kType)).SetValue(type);
    Param(BandParamIndex(4, kEnabled)).SetValue(enabled);
    Param(BandParamIndex(4, kDynamic)).SetValue(dynamic);
    std::string greyed;
    for (int field : fields) greyed += IsParamInactive(*plug, BandParamIndex(4, field)) ? '#' : '.';
    EXPECT_EQ(greyed, expected) << "type " << type << " enabled " << enabled << " dynamic "
                                << dynamic;
  }
  for (int global = 0; global < kNumGlobalParams; ++global) {
    EXPECT_FALSE(IsParamInactive(*plug, global)) << global;
  }

  // A Slope menu that is no longer greyed opens at its box.
  Param(BandParamIndex(0, kType)).SetValue(kHighPass);
  Frame();
  Click(RowX(3), kRowY);
  ASSERT_NE(canvas->shownMenu, nullptr);
  EXPECT_EQ(canvas->shownMenuBounds, IRect(610, 617, 760, 669));
  canvas->ChoosePopupItem(3);
  EXPECT_EQ(Band(0, kSlope), 3.0);
  Frame();
  EXPECT_TRUE(Drew("48 dB/oct"));
}

TEST_F(EditorControls, MenusTogglesKeysAndLinksActOnThePlugin) {
  // The recipe menu shows the matching recipe, else "Custom"; choosing one is driven through
  // the application in the gui tests, dismissing the menu changes nothing.
  EXPECT_TRUE(Drew("Neutral")); // in the first frame
  Click(983, 123);              // Graph Range
  canvas->ChoosePopupItem(2);
  Frame();
  EXPECT_TRUE(Drew("Custom"));
  const ParamSnapshot before = plug->CurrentValues();
  Click(880, 61);
  EXPECT_EQ(canvas->shownMenu->NItems(), 32);
  canvas->ChoosePopupItem(-1);
  EXPECT_EQ(plug->CurrentValues(), before);

  // Toggles: a double click leaves Listen at its default whatever it was.
  const int listen = BandParamIndex(0, kListen);
  Click(753, 548);
  EXPECT_EQ(Value(listen), 1.0);
  Frame();
  EXPECT_TRUE(Drew("MONITOR / BAND LISTEN"));
  canvas->OnMouseDblClick(753, 548, {.left = true});
  EXPECT_EQ(Value(listen), 0.0);
  Frame();
  EXPECT_TRUE(Drew("NORMAL MIX / ALIGNED DRY + EQ"));

  // Keys act as clicks; links open with the desktop's handler.
  Key(kDynamicsTabX, kTabY, reef::ui::kVKSpace);
  EXPECT_EQ(view->selectedTab, 1);
  Click(1050, 778);
  Click(100, 20);
  EXPECT_EQ(canvas->openedUrls, std::vector<std::string>({"mailto:support@kestrilab.example",
                                                          "https://kestrilab.example"}));
}

TEST_F(EditorControls, OutsideChangesShowOnTheNextFrameAndAnIdleEditorDrawsNothing) {
  Frame();
  EXPECT_TRUE(canvas->RunFrame().Empty());
  plug->ApplyRecipe(21); // sends every value to the editor
  Frame();
  EXPECT_TRUE(Drew("Dehum 50 Hz"));
  EXPECT_FALSE(Drew("OFF"));
  EXPECT_TRUE(Drew("Notch"));
  // Values written without telling the editor are found by the controls' polling.
  Param(BandParamIndex(11, kEnabled)).SetValue(0);
  Param(kBypass).SetValue(1);
  Param(kPhase).SetValue(1);
  Frame();
  EXPECT_TRUE(Drew("OFF"));
  EXPECT_TRUE(Drew("Custom"));
  EXPECT_TRUE(Drew("BYPASS / ALIGNED DRY"));
  EXPECT_TRUE(Drew("ACTUAL LINEAR-PHASE FIR RESPONSE"));
  EXPECT_TRUE(canvas->RunFrame().Empty());
}

TEST_F(EditorControls, MetersShowClipAndFloorAtTheirBoundaries) {
  const struct {
    double levelDb; // the peak as a level; NaN: the peak is not a finite number
    const char* text;
    bool clip;
    float fill;
  } cases[] = {{0.0, "0", true, 1.f},       {-0.0087, "-0", false, 1.f - 0.0087f / 60},
               {-30.0, "-30", false, 0.5f}, {-60.0, "-60", false, 0.f},
               {-89.6, "-90", false, 0.f},  {-90.2, "-inf", false, 0.f},
               {NAN, "-inf", false, 0.f}};
  for (const auto& c : cases) {
    const float peak = std::isnan(c.levelDb) ? NAN : float(std::pow(10.0, c.levelDb / 20));
    const MeterReading reading = MeterReading::FromPeak(peak);
    EXPECT_EQ(std::string(reading.text), c.text) << c.levelDb;
    EXPECT_EQ(reading.clip, c.clip) << c.levelDb;
    EXPECT_NEAR(reading.fill, c.fill, 1e-5) << c.levelDb;
  }
  EXPECT_FALSE(MeterReading::FromPeak(0.999f).clip);
  EXPECT_EQ(std::string(MeterReading::FromPeak(-1.f).text), "-inf");

  // A full-scale block: the input column clips; the delayed output is still silent.
  plug->OnReset();
  Frame();
  std::vector<reef::sample> full(512, 1.0),
      out[2] = {std::vector<reef::sample>(512), std::vector<reef::sample>(512)};
  reef::sample *inputs[2] = {full.data(), full.data()},
               *outputs[2] = {out[0].data(), out[1].data()};
  plug->ProcessBlock(inputs, outputs, 512);
  Frame();
  const auto* inText = canvas->FindText("0");
  ASSERT_NE(inText, nullptr);
  EXPECT_EQ(inText->Color(), kCopper);
  EXPECT_TRUE(Drew("-inf"));
  EXPECT_TRUE(canvas->RunFrame().Empty()); // nothing new published
}

} // namespace
} // namespace coral::test
