// The canvas and control base without a display: hit testing, capture, change gestures,
// mouse-over, the frame cycle, values between controls and parameters, the value prompt,
// knob wheel steps and the resize grip.

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "core/IEditorDelegate.h"
#include "tests/support/RecordingCanvas.h"
#include "ui/ICornerResizerControl.h"
#include "ui/IKnobControlBase.h"
#include "ui/ITextEntryControl.h"

namespace {

using namespace reef::ui;
using reef::ui::test::RecordingCanvas;
using reef::ui::test::Shape;

enum ETestParam { kMode = 0, kGain, kPower, kNumTestParams };

// Three parameters as a plug-in would have them; records what the editor sends.
class TestDelegate : public reef::IEditorDelegate {
public:
  TestDelegate() : IEditorDelegate(kNumTestParams) {
    const std::string_view modes[] = {"Soft", "Medium", "Hard"};
    GetParam(kMode)->SetupEnum("Mode", 0, modes);
    GetParam(kGain)->SetupDouble("Gain", 0.0, -24.0, 24.0, 0.01, "dB");
    GetParam(kPower)->SetupBool("Power", true);
  }
  void SendParameterValueFromDelegate(int, double, bool) override {}
  void BeginInformHostOfParamChangeFromUI(int paramIdx) override {
    log.push_back("begin " + std::to_string(paramIdx));
  }
  void EndInformHostOfParamChangeFromUI(int paramIdx) override {
    log.push_back("end " + std::to_string(paramIdx));
  }
  void SendParameterValueFromUI(int paramIdx, double normalized) override {
    GetParam(paramIdx)->SetFromNormalized(normalized);
    log.push_back("value " + std::to_string(paramIdx));
  }
  std::vector<std::string> log;
};

// A control that fills its rectangle and records the input it receives.
class Probe : public IControl {
public:
  Probe(const IRect& bounds, std::string probeName, int paramIdx = kNoParameter)
      : IControl(bounds, paramIdx), name(std::move(probeName)) {}
  void Draw(ICanvas& g) override { g.FillRect(kColorWhite, GetRect()); }
  void OnMouseDown(float x, float y, const IMouseMod& mod) override {
    events.push_back("down");
    IControl::OnMouseDown(x, y, mod);
  }
  void OnMouseUp(float, float, const IMouseMod&) override { events.push_back("up"); }
  void OnMouseDrag(float x, float, float, float, const IMouseMod&) override {
    events.push_back("drag " + std::to_string(int(x)));
  }
  void OnMouseOver(float x, float y, const IMouseMod& mod) override {
    events.push_back("over");
    IControl::OnMouseOver(x, y, mod);
  }
  void OnMouseOut() override {
    events.push_back("out");
    IControl::OnMouseOut();
  }
  void OnTextEntryCompletion(const std::string& text, int valIdx) override {
    events.push_back("text " + text);
    IControl::OnTextEntryCompletion(text, valIdx);
  }
  std::string name;
  std::vector<std::string> events;
};

class Knob : public IKnobControlBase {
public:
  using IKnobControlBase::IKnobControlBase;
  void Draw(ICanvas&) override {}
};

// A background and two overlapping controls.
struct Scene {
  TestDelegate delegate;
  RecordingCanvas canvas{delegate};
  Probe* background = canvas.Attach(std::make_unique<Probe>(IRect(0, 0, 1180, 800), "back"));
  Probe* lower = canvas.Attach(std::make_unique<Probe>(IRect(100, 100, 300, 200), "lower", kGain));
  Probe* upper = canvas.Attach(std::make_unique<Probe>(IRect(200, 150, 400, 250), "upper", kMode));

  std::string NameAt(float x, float y, bool mouseOver = false) {
    const IControl* hit = canvas.GetMouseControl(x, y, mouseOver);
    return hit ? static_cast<const Probe*>(hit)->name : "";
  }
};

class Canvas : public ::testing::Test, protected Scene {};

TEST_F(Canvas, HitTestingFollowsDrawingOrderAndFlags) {
  const auto none = [](Probe*) {};
  const std::tuple<const char*, std::function<void(Probe*)>, float, float, bool, std::string>
      cases[] = {
          {"later control wins", none, 250, 175, false, "upper"},
          {"only the lower one there", none, 150, 120, false, "lower"},
          {"right edge is outside", none, 400, 175, false, "back"},
          {"hidden falls through", [](Probe* p) { p->Hide(true); }, 250, 175, false, "lower"},
          {"ignoring falls through", [](Probe* p) { p->SetIgnoreMouse(true); }, 250, 175, false,
           "lower"},
          {"disabled falls through", [](Probe* p) { p->SetDisabled(true); }, 250, 175, false,
           "lower"},
          {"disabled with mouse events",
           [](Probe* p) {
             p->SetDisabled(true);
             p->SetMouseEventsWhenDisabled(true);
           },
           250, 175, false, "upper"},
          {"disabled, mouse-over allowed",
           [](Probe* p) {
             p->SetDisabled(true);
             p->SetMouseOverWhenDisabled(true);
           },
           250, 175, true, "upper"},
          {"zero target is never hit", [](Probe* p) { p->SetTargetRect(IRect()); }, 250, 175, false,
           "lower"},
          {"background for clicks", none, 10, 10, false, "back"},
          {"never the background for mouse-over", none, 10, 10, true, ""}};
  for (const auto& [label, setup, x, y, mouseOver, expected] : cases) {
    Scene fresh;
    setup(fresh.upper);
    EXPECT_EQ(fresh.NameAt(x, y, mouseOver), expected) << label;
  }
  // The open text entry and the resize grip come before the controls.
  canvas.AttachTextEntryControl();
  canvas.AttachCornerResizer(std::make_unique<ICornerResizerControl>(
      1180.f, 800.f, 20.f, kColorWhite, kColorWhite, kColorWhite));
  EXPECT_EQ(canvas.GetMouseControl(1170, 790, false), canvas.GetCornerResizer());
  canvas.CreateTextEntry(*upper, IText(), IRect(200, 150, 260, 170), "x", 0);
  EXPECT_EQ(canvas.GetMouseControl(210, 160, false), canvas.GetTextEntryControl());
}

TEST_F(Canvas, CaptureGesturesAndValuesFromThePlugin) {
  IMouseMod left{.left = true};
  canvas.OnMouseDown(150, 120, left);
  canvas.OnMouseDrag(900, 700, 750, 580, left); // far outside: still the captured control
  // A value from the plug-in does not move the control under the mouse; a peer takes it.
  Probe* peer = canvas.Attach(std::make_unique<Probe>(IRect(500, 500, 600, 600), "peer", kGain));
  canvas.OnParamValueFromDelegate(kGain, 12.0, false);
  EXPECT_EQ(lower->GetValue(), 0.0);
  EXPECT_DOUBLE_EQ(peer->GetValue(), 0.75);
  canvas.OnMouseUp(900, 700, left);
  EXPECT_EQ(lower->events, (std::vector<std::string>{"down", "drag 900", "up"}));
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"begin 1", "end 1"}));

  // A user edit goes to the plug-in and to every peer; the right button opens no gesture.
  delegate.log.clear();
  lower->SetValueFromUserInput(0.25);
  EXPECT_DOUBLE_EQ(delegate.GetParam(kGain)->Value(), -12.0);
  EXPECT_DOUBLE_EQ(peer->GetValue(), 0.25);
  canvas.OnMouseDown(150, 120, IMouseMod{.right = true});
  canvas.OnMouseUp(150, 120, IMouseMod{.right = true});
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"value 1"}));

  // A cancelled pointer gesture tells the control and closes the host gesture.
  delegate.log.clear();
  canvas.OnMouseDown(250, 175, left);
  canvas.OnGestureCancelled();
  EXPECT_EQ(canvas.GetCapturedControl(), nullptr);
  EXPECT_EQ(delegate.log, (std::vector<std::string>{"begin 0", "end 0"}));
}

// Keys, wheel, double clicks and tooltips reach the control under the pointer in the gui tests.
TEST_F(Canvas, MouseOverFollowsThePointer) {
  canvas.EnableMouseOver(true);
  canvas.OnMouseOver(150, 120, {});
  canvas.OnMouseOver(160, 120, {});
  canvas.OnMouseOver(250, 175, {});
  canvas.OnMouseOut();
  EXPECT_EQ(lower->events, (std::vector<std::string>{"over", "over", "out"}));
  EXPECT_EQ(upper->events, (std::vector<std::string>{"over", "out"}));
}

TEST_F(Canvas, FrameCycleDrawsOnlyTheDirtyAreaWithEachControlsBlend) {
  canvas.RunFrame(); // everything starts dirty
  EXPECT_EQ(canvas.shapes.size(), 3u);
  canvas.ClearShapes();
  EXPECT_TRUE(canvas.RunFrame().Empty()); // nothing dirty: nothing drawn
  EXPECT_EQ(canvas.frames, 1);

  upper->SetDisabled(true);
  const IRectList area = canvas.RunFrame();
  ASSERT_EQ(area.Size(), 1);
  EXPECT_EQ(area.Get(0), IRect(199.25f, 149.25f, 400.75f, 250.75f));
  // Background and the overlapped lower control redraw under it; the disabled one at 25 %.
  ASSERT_EQ(canvas.shapes.size(), 3u);
  EXPECT_EQ(canvas.shapes[2].bounds, upper->GetRect());
  EXPECT_EQ(std::make_tuple(canvas.shapes[0].alpha, canvas.shapes[2].alpha),
            std::make_tuple(1.f, 0.25f));

  canvas.ClearShapes();
  upper->Hide(true);
  lower->SetDirty(false);
  canvas.RunFrame();
  EXPECT_EQ(canvas.shapes.size(), 2u); // background and lower; the hidden one is not drawn
  EXPECT_FALSE(upper->IsDirty() || lower->IsDirty());
}

TEST_F(Canvas, ValuePromptMenuForEnumsTextEntryForNumbers) {
  canvas.AttachTextEntryControl();
  canvas.OnMouseDown(250, 175, IMouseMod{.right = true});
  ASSERT_NE(canvas.shownMenu, nullptr);
  EXPECT_EQ(canvas.shownMenu->NItems(), 3);
  EXPECT_EQ(canvas.shownMenu->GetItemText(2), "Hard");
  canvas.ChoosePopupItem(2);
  EXPECT_EQ(delegate.GetParam(kMode)->Value(), 2.0);
  EXPECT_DOUBLE_EQ(upper->GetValue(), 1.0);

  // A number without display texts: a 40 x 16 entry centred on the control, prefilled with
  // the display text; the commit is parsed by the parameter.
  canvas.OnMouseDown(150, 120, IMouseMod{.right = true});
  ITextEntryControl& entry = *canvas.GetTextEntryControl();
  ASSERT_TRUE(entry.IsShowing());
  EXPECT_EQ(entry.GetRect(), IRect(180, 142, 220, 158));
  EXPECT_EQ(entry.GetEditText(), "0.00");
  for (const char* typed : {"6", ".", "5"}) canvas.OnKeyDown(200, 150, IKeyPress(typed, 0));
  canvas.OnKeyDown(200, 150, IKeyPress("", kVKReturn));
  EXPECT_FALSE(entry.IsShowing());
  EXPECT_EQ(lower->events.back(), "text 6.5");
  EXPECT_DOUBLE_EQ(delegate.GetParam(kGain)->Value(), 6.5);
}

// Dragging a knob (gearing, Shift, the held pointer) is driven by real input in the gui tests.
TEST_F(Canvas, KnobWheelSteps) {
  Knob* knob = canvas.Attach(std::make_unique<Knob>(IRect(600, 300, 774, 433), kGain));
  knob->SetValue(0.5);
  canvas.OnMouseWheel(650, 350, {}, 2.f);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.52);
  canvas.OnMouseWheel(650, 350, IMouseMod{.ctrl = true}, -1.f);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.519);
  EXPECT_NEAR(delegate.GetParam(kGain)->Value(), 0.912, 1e-9);

  // A stepped parameter moves one step per wheel unit.
  Knob* modeKnob = canvas.Attach(std::make_unique<Knob>(IRect(800, 300, 900, 400), kMode));
  modeKnob->SetValue(0.0);
  canvas.OnMouseWheel(850, 350, {}, 0.2f);
  EXPECT_EQ(delegate.GetParam(kMode)->Value(), 1.0);
}

TEST_F(Canvas, ResizeGripScalesWithinTheLimits) {
  canvas.SetScaleConstraints(1.5f, 0.85f);
  canvas.AttachCornerResizer(std::make_unique<ICornerResizerControl>(
      1180.f, 800.f, 20.f, kColorWhite, kColorWhite, kColorWhite));
  const IMouseMod left{.left = true};
  // The grip follows the pointer along the diagonal.
  const std::tuple<float, float, float> drags[] = {
      {1180 * 1.2f, 800 * 1.2f, 1.2f}, {3000, 3000, 1.5f}, {100, 100, 0.85f}};
  for (const auto& [x, y, expected] : drags) {
    canvas.Resize(1180, 800, 1.f, false);
    canvas.OnMouseDown(1175, 795, left);
    canvas.OnMouseDrag(x, y, 0, 0, left);
    canvas.OnMouseUp(x, y, left);
    EXPECT_FLOAT_EQ(canvas.GetDrawScale(), expected) << x;
    EXPECT_TRUE(canvas.sizeChanges.back()); // the platform window follows
  }
  canvas.OnMouseDblClick(1175, 795, {});
  EXPECT_EQ(canvas.GetDrawScale(), 1.f);
}

} // namespace
