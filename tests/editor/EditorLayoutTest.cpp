// The editor's layout against its design: every control in creation order with its class,
// rectangle, parameter, caption, view-state registration, tooltip and first visibility.

#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "editor/BandSlot.h"
#include "editor/Button.h"
#include "editor/EditorOperations.h"
#include "editor/EnumMenu.h"
#include "editor/HelpTexts.h"
#include "editor/Knob.h"
#include "editor/PresetMenu.h"
#include "editor/ValueEntry.h"
#include "tests/editor/EditorFixture.h"
#include "ui/ICornerResizerControl.h"

namespace coral::test {
namespace {

using reef::ui::IControl;
using reef::ui::IRect;

constexpr int kNotMember = -2;

struct Expected {
  Expected(std::string kind, IRect rect, int param = -1, std::string label = {},
           int band = kNotMember, int tab = kNotMember)
      : kind(std::move(kind)), rect(rect), param(param), label(std::move(label)), band(band),
        tab(tab) {}
  std::string kind;
  IRect rect;
  int param;
  std::string label;
  int band; // view-state registration
  int tab;
};

std::string KindOf(IControl* control) {
  if (dynamic_cast<Knob*>(control)) return "Knob";
  if (dynamic_cast<ValueEntry*>(control)) return "ValueEntry";
  if (dynamic_cast<EnumMenu*>(control)) return "EnumMenu";
  if (dynamic_cast<Button*>(control)) return "Button";
  if (dynamic_cast<BandSlot*>(control)) return "BandSlot";
  if (dynamic_cast<PresetMenu*>(control)) return "PresetMenu";
  const std::string name = typeid(*control).name(); // the other classes appear once each
  for (const char* kind : {"Backdrop", "Brand", "Legend", "EQGraph", "Meters", "BandTitle",
                           "ContextHelp", "MonitorStatus"}) {
    if (name.find(kind) != std::string::npos) return kind;
  }
  return name;
}

std::string LabelOf(IControl* control) {
  if (auto* knob = dynamic_cast<Knob*>(control)) return knob->GetLabel();
  if (auto* menu = dynamic_cast<EnumMenu*>(control)) return menu->GetLabel();
  if (auto* button = dynamic_cast<Button*>(control)) return button->GetShownLabel();
  return {};
}

std::vector<Expected> Design() {
  std::vector<Expected> design = {
      {"Backdrop", {0, 0, 1180, 800}},
      {"Brand", {28, 0, 238, 42}},
      {"EnumMenu", {497, 40, 734, 82}, 0},
      {"PresetMenu", {747, 40, 1015, 82}},
      {"Button", {1028, 40, 1084, 82}, -1, "A"},
      {"Button", {1096, 40, 1144, 82}, -1, "COPY"},
      {"Button", {36, 107, 176, 140}, 8, "ANALYZER"},
      {"EnumMenu", {187, 107, 310, 140}, 9},
      {"Legend", {325, 105, 905, 143}},
      {"EnumMenu", {917, 107, 1050, 140}, 11},
      {"EQGraph", {36, 147, 1050, 451}},
      {"Meters", {1063, 147, 1144, 451}},
  };
  for (int b = 0; b < 12; ++b)
    design.push_back({"BandSlot", {36.f + 79 * b, 465, 108.f + 79 * b, 508}});
  design.insert(design.end(), {{"Button", {995, 465, 1065, 508}, -1, "+ BAND"},
                               {"Button", {1074, 465, 1144, 508}, -1, "DELETE"},
                               {"BandTitle", {47, 528, 126, 569}},
                               {"Button", {816, 531, 915, 565}, -1, "SHAPE"},
                               {"Button", {923, 531, 1027, 565}, -1, "DYNAMICS"},
                               {"Button", {1035, 531, 1132, 565}, -1, "GLOBAL"}});
  const auto row = [&](int i, int param, const char* label, int band, int tab) {
    const IRect rect(46.f + 184 * i, 578, 220.f + 184 * i, 711);
    const bool menu = label == std::string("SLOPE") || label == std::string("DIRECTION") ||
                      label == std::string("DETECTOR");
    design.push_back({menu ? "EnumMenu" : "Knob", rect, param, label, band, tab});
    if (!menu) design.push_back({"ValueEntry", {rect.MidX() - 69, 682, rect.MidX() + 69, 708}});
  };
  const char* shape[] = {"FREQUENCY", "GAIN", "Q / BANDWIDTH", "SLOPE", "ATTACK", "RELEASE"};
  const char* dynamics[] = {"THRESHOLD", "RATIO", "KNEE", "RANGE", "DIRECTION", "DETECTOR"};
  for (int b = 0; b < 12; ++b) {
    const int base = 12 + 17 * b;
    design.insert(design.end(), {{"EnumMenu", {135, 531, 310, 565}, base + 1, "", b, -1},
                                 {"EnumMenu", {321, 531, 479, 565}, base + 15, "", b, -1},
                                 {"Button", {489, 531, 577, 565}, base + 0, "ENABLE", b, -1},
                                 {"Button", {587, 531, 697, 565}, base + 6, "DYNAMIC", b, -1},
                                 {"Button", {707, 531, 799, 565}, base + 16, "LISTEN", b, -1}});
    const int shapeFields[] = {2, 3, 4, 5, 10, 11};
    const int dynamicsFields[] = {7, 8, 9, 12, 13, 14};
    for (int i = 0; i < 6; ++i) row(i, base + shapeFields[i], shape[i], b, 0);
    for (int i = 0; i < 6; ++i) row(i, base + dynamicsFields[i], dynamics[i], b, 1);
  }
  const char* global[] = {"INPUT TRIM", "OUTPUT TRIM", "MIX",
                          "GAIN SCALE", "STEREO LINK", "SC TRIM"};
  const int globalParams[] = {1, 2, 3, 4, 5, 10};
  for (int i = 0; i < 6; ++i) row(i, globalParams[i], global[i], -1, 2);
  design.insert(design.end(), {{"ContextHelp", {36, 724, 1144, 750}},
                               {"Button", {36, 762, 167, 794}, 6, "BYPASS"},
                               {"Button", {179, 762, 310, 794}, 7, "DELTA"},
                               {"MonitorStatus", {322, 759, 920, 795}},
                               {"Button", {958, 762, 1144, 794}, -1, "support@kestrilab.example"}});
  return design;
}

class EditorLayout : public EditorFixture {};

TEST_F(EditorLayout, ControlsFollowTheDesignInCreationOrder) {
  const std::vector<Expected> design = Design();
  ASSERT_EQ(canvas->NControls(), static_cast<int>(design.size()));
  std::map<IControl*, std::pair<int, int>> members;
  for (const ViewState::Member& member : view->members) {
    members[member.control] = {member.band, member.tab};
  }
  EXPECT_EQ(members.size(), view->members.size());
  for (int i = 0; i < canvas->NControls(); ++i) {
    IControl* control = canvas->GetControl(i);
    const Expected& expected = design[i];
    SCOPED_TRACE("control " + std::to_string(i) + " " + expected.kind + " " + expected.label);
    EXPECT_EQ(KindOf(control), expected.kind);
    EXPECT_EQ(control->GetRect(), expected.rect);
    EXPECT_EQ(control->GetParamIdx(), expected.param);
    EXPECT_EQ(LabelOf(control), expected.label);
    const auto member = members.find(control);
    EXPECT_EQ(member == members.end() ? std::pair(kNotMember, kNotMember) : member->second,
              std::pair(expected.band, expected.tab));
    std::string tooltip = expected.param >= 0 ? std::string(ParamHelpText(expected.param)) : "";
    if (expected.kind == "BandSlot") tooltip = kBandSlotTooltip;
    if (expected.kind == "PresetMenu") tooltip = kRecipeMenuTooltip;
    if (expected.kind == "Brand") tooltip = "Open KESTRILAB plugins and support.";
    if (expected.kind == "EQGraph") {
      tooltip = "Drag frequency/gain; wheel Q; Shift is finer. Double-click an empty graph area "
                "adds a stable slot. Drag the selected square handle for dynamic Range.";
    }
    EXPECT_EQ(control->GetTooltip(), tooltip);
  }
  EXPECT_NE(canvas->GetTextEntryControl(), nullptr);
  ASSERT_NE(canvas->GetCornerResizer(), nullptr);
  EXPECT_EQ(canvas->GetCornerResizer()->GetRect(), IRect(1160, 780, 1180, 800));
  EXPECT_EQ(canvas->fonts, std::vector<std::string>{"KESTRILAB"});
  EXPECT_EQ(std::pair(canvas->GetMinScale(), canvas->GetMaxScale()), std::pair(0.85f, 1.5f));
  EXPECT_EQ(std::pair(view->helpTitle, view->selectedBand),
            std::pair(std::string("SCULPT THE SPECTRUM"), 0));
}

// A control registered for a band and a tab is shown only while both are selected; band 0 and
// the Shape tab come first, and a band beyond the last is the last.
TEST_F(EditorLayout, VisibilityFollowsTheSelectedBandAndTab) {
  const std::vector<Expected> design = Design();
  const std::tuple<int, int, int, std::string> selections[] = {
      {0, kShapeTab, 0, "SCULPT THE SPECTRUM"},
      {7, kDynamicsTab, 7, "BAND / DYNAMICS"},
      {40, kGlobalTab, 11, "GLOBAL / SIGNAL AND SCALE"}};
  for (const auto& [band, tab, selected, help] : selections) {
    if (band > 0) SelectBand(*view, *canvas, band), SelectTab(*view, *canvas, tab);
    EXPECT_EQ(std::pair(view->selectedBand, view->helpTitle), std::pair(selected, help));
    for (int i = 0; i < canvas->NControls(); ++i) {
      const Expected& expected = design[i];
      const bool shown = (expected.band < 0 || expected.band == selected) &&
                         (expected.tab < 0 || expected.tab == tab);
      EXPECT_EQ(canvas->GetControl(i)->IsHidden(), !shown) << i << " at band " << selected;
    }
  }
}

} // namespace
} // namespace coral::test
