// The editor's shared operations on a real plug-in: greying by filter type and switches,
// visibility by band and tab, adding and deleting band slots, and the node gain.

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/CoralSieve.h"
#include "editor/EditorOperations.h"
#include "editor/HelpTexts.h"
#include "tests/support/RecordingCanvas.h"

namespace {

using namespace coral;
using reef::ui::IRect;
using reef::ui::test::RecordingCanvas;

class Blank : public reef::ui::IControl {
public:
  Blank() : IControl(IRect(0, 0, 10, 10)) {}
  void Draw(reef::ui::ICanvas&) override {}
};

class EditorOperations : public ::testing::Test {
protected:
  CoralSieve plug{reef::InstanceInfo{}};
  RecordingCanvas canvas{plug};
  ViewState view;

  double Value(int band, int field) { return plug.GetParam(BandParamIndex(band, field))->Value(); }
  void Set(int band, int field, double value) {
    plug.GetParam(BandParamIndex(band, field))->SetValue(value);
  }
};

TEST_F(EditorOperations, GreyingFollowsTypeEnabledAndDynamic) {
  // Columns: Type Frequency Gain Q Slope Dynamic Threshold Attack Direction Channel Listen
  // Enabled; '#' marks a greyed control.
  const int fields[] = {kType,      kFrequency, kGain,      kQ,       kSlope,  kDynamic,
                        kThreshold, kAttack,    kDirection, kChannel, kListen, kEnabled};
  const std::tuple<int, bool, bool, std::string> rows[] = {
      {kBell, true, false, "....#.###..."},    {kBell, true, true, "....#......."},
      {kLowShelf, true, true, "....#......."}, {kHighShelf, true, false, "....#.###..."},
      {kTilt, true, true, "....#......."},     {kHighPass, true, true, "..#..####..."},
      {kLowPass, true, false, "..#..####..."}, {kNotch, true, true, "..#.#####..."},
      {kBandPass, true, true, "..#.#####..."}, {kBell, false, true, "###########."}};
  for (const auto& [type, enabled, dynamic, expected] : rows) {
    Set(4, kType, type);
    Set(4, kEnabled, enabled);
    Set(4, kDynamic, dynamic);
    std::string greyed;
    for (int field : fields) greyed += IsParamInactive(plug, BandParamIndex(4, field)) ? '#' : '.';
    EXPECT_EQ(greyed, expected) << "type " << type << " enabled " << enabled << " dynamic "
                                << dynamic;
  }
  for (int global = 0; global < kNumGlobalParams; ++global) {
    EXPECT_FALSE(IsParamInactive(plug, global)) << global;
  }
}

TEST_F(EditorOperations, VisibilityFollowsTheSelectedBandAndTab) {
  auto* band0Shape = canvas.Attach(std::make_unique<Blank>());
  auto* band7Menu = canvas.Attach(std::make_unique<Blank>());
  auto* band7Dynamics = canvas.Attach(std::make_unique<Blank>());
  auto* globalKnob = canvas.Attach(std::make_unique<Blank>());
  view.AddMember(band0Shape, 0, kShapeTab);
  view.AddMember(band7Menu, 7, kAnyTab);
  view.AddMember(band7Dynamics, 7, kDynamicsTab);
  view.AddMember(globalKnob, kAnyBand, kGlobalTab);
  const auto shown = [&] {
    std::string flags;
    for (auto* control : {band0Shape, band7Menu, band7Dynamics, globalKnob})
      flags += control->IsHidden() ? '.' : 'o';
    return flags;
  };
  ApplyVisibility(view, canvas);
  EXPECT_EQ(shown(), "o...");
  SelectBand(view, canvas, 7);
  EXPECT_EQ(shown(), ".o..");
  EXPECT_EQ(view.helpTitle, kSelectedBandHelp.title);
  SelectTab(view, canvas, kDynamicsTab);
  EXPECT_EQ(shown(), ".oo.");
  EXPECT_EQ(view.helpTitle, "BAND / DYNAMICS");
  SelectTab(view, canvas, kGlobalTab);
  EXPECT_EQ(shown(), ".o.o");
  SelectBand(view, canvas, 40); // clamped to the last slot
  EXPECT_EQ(view.selectedBand, 11);
  EXPECT_EQ(shown(), "...o");
}

TEST_F(EditorOperations, AddingTakesTheLowestFreeSlotAndDeletingKeepsSettings) {
  // Slot 0 disabled with settings of its own; slot 2 disabled too.
  Set(0, kQ, 5.0);
  Set(0, kType, kHighShelf);
  Set(0, kEnabled, 0);
  Set(2, kEnabled, 0);
  view.selectedTab = kGlobalTab;
  EXPECT_EQ(AddBandSlot(plug, view, canvas, 1000.0, 0.0), 0);
  EXPECT_EQ(std::make_tuple(Value(0, kEnabled), Value(0, kType), Value(0, kGain)),
            std::make_tuple(1.0, double(kBell), 0.0));
  EXPECT_NEAR(Value(0, kFrequency), 1000.0, 1e-9);
  EXPECT_NEAR(Value(0, kQ), 0.7071, 1e-6);
  EXPECT_EQ(std::make_tuple(view.selectedBand, view.selectedTab),
            std::make_tuple(0, int(kShapeTab)));
  EXPECT_EQ(view.helpTitle, "ADDED STABLE BAND SLOT");

  // Graph double-click values; then every slot is in use and nothing changes.
  EXPECT_EQ(AddBandSlot(plug, view, canvas, 2500.0, -6.0), 2);
  EXPECT_NEAR(Value(2, kGain), -6.0, 1e-9);
  for (int expected = 4; expected < kNumBands; ++expected) {
    EXPECT_EQ(AddBandSlot(plug, view, canvas, 1000.0, 0.0), expected);
  }
  const ParamSnapshot before = plug.CurrentValues();
  EXPECT_EQ(AddBandSlot(plug, view, canvas, 1000.0, 0.0), -1);
  EXPECT_EQ(plug.CurrentValues(), before);
  EXPECT_EQ(view.helpTitle, "TWELVE SLOTS IN USE");

  // Deleting turns Listen and Enabled off and nothing else; Enable restores the band.
  view.SetSelectedBand(2);
  Set(2, kListen, 1);
  DeleteSelectedBand(plug, view, canvas);
  EXPECT_EQ(std::make_tuple(Value(2, kEnabled), Value(2, kListen), view.selectedBand),
            std::make_tuple(0.0, 0.0, 2));
  EXPECT_EQ(view.helpTitle, "BAND DISABLED / IDS PRESERVED");
  Set(2, kEnabled, 1);
  ParamSnapshot restored = plug.CurrentValues();
  EXPECT_EQ(restored, before);
}

TEST_F(EditorOperations, NodeGainFollowsScaleForGainTypesOnly) {
  Set(1, kGain, 6.0);
  const std::tuple<int, double, double> cases[] = {{kBell, 100, 6.0},     {kBell, 50, 3.0},
                                                   {kTilt, 200, 12.0},    {kNotch, 100, 0.0},
                                                   {kHighPass, 200, 0.0}, {kLowShelf, 0, 0.0}};
  for (const auto& [type, scale, expected] : cases) {
    Set(1, kType, type);
    plug.GetParam(kScale)->SetValue(scale);
    EXPECT_DOUBLE_EQ(DisplayedNodeGain(plug, 1), expected) << type << " at " << scale;
  }
}

} // namespace
