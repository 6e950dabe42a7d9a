// The in-place text entry: editing keys over UTF-8 text, selection, undo, the clipboard, and
// how the entry ends (Enter and a press outside commit, Escape cancels).

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/IEditorDelegate.h"
#include "tests/support/RecordingCanvas.h"
#include "ui/ITextEntryControl.h"

namespace {

using namespace reef::ui;
using reef::ui::test::RecordingCanvas;

class NoParams : public reef::IEditorDelegate {
public:
  NoParams() : IEditorDelegate(0) {}
  void SendParameterValueFromDelegate(int, double, bool) override {}
  void BeginInformHostOfParamChangeFromUI(int) override {}
  void EndInformHostOfParamChangeFromUI(int) override {}
};

class Requester : public IControl {
public:
  Requester() : IControl(IRect(100, 100, 300, 140)) {}
  void Draw(ICanvas&) override {}
  void OnTextEntryCompletion(const std::string& text, int) override { committed.push_back(text); }
  std::vector<std::string> committed;
};

class TextEntry : public ::testing::Test {
protected:
  NoParams delegate;
  RecordingCanvas canvas{delegate};
  Requester* requester = canvas.Attach(std::make_unique<Requester>());
  ITextEntryControl* entry = nullptr;

  void SetUp() override {
    canvas.AttachTextEntryControl();
    entry = canvas.GetTextEntryControl();
  }
  void Open(const std::string& text) {
    // Centred text of size 20 in a 200-pixel box: each character 10 pixels wide.
    canvas.CreateTextEntry(*requester, IText(20.f, kColorWhite), IRect(100, 100, 300, 140), text,
                           0);
  }
  void Press(int vk, const std::string& typed = "", bool shift = false, bool ctrl = false) {
    Press(IKeyPress(typed, vk, shift, ctrl));
  }
  void Press(const IKeyPress& key) { canvas.OnKeyDown(150, 120, key); }
};

TEST_F(TextEntry, EditingKeys) {
  const IKeyPress left{"", kVKLeft}, shiftLeft{"", kVKLeft, true}, home{"", kVKHome},
      end{"", kVKEnd}, back{"", kVKBackspace}, del{"", kVKDelete}, selectAll{"a", 'A', false, true};
  const auto type = [](const char* text) { return IKeyPress(text, 0); };
  struct Case {
    const char* label;
    std::string initial;
    std::vector<IKeyPress> keys;
    std::string text;
    int caret;
  };
  const Case cases[] = {
      {"typing replaces the initial selection", "2500", {type("2"), type("k")}, "2k", 2},
      {"backspace at the end", "2500", {end, back}, "250", 3},
      {"delete at the start", "2500", {home, del}, "500", 0},
      {"insert in the middle", "25", {end, left, type(".")}, "2.5", 2},
      {"shift extends, typing replaces", "2500", {end, shiftLeft, shiftLeft, type("k")}, "25k", 3},
      {"a collapsed left moves to the selection start", "abc", {left}, "abc", 0},
      {"UTF-8 is edited by character", "µs", {end, left, back}, "s", 0},
      {"select all and delete", "-3 dB", {end, selectAll, del}, "", 0},
      {"space is typed", "3", {end, IKeyPress(" ", kVKSpace), type("d"), type("B")}, "3 dB", 4},
      {"control characters are not typed", "1", {end, type("\b"), type("\n")}, "1", 1}};
  for (const Case& c : cases) {
    Open(c.initial);
    for (const IKeyPress& key : c.keys) Press(key);
    EXPECT_EQ(entry->GetEditText(), c.text) << c.label;
    EXPECT_EQ(entry->GetCaret(), c.caret) << c.label;
    entry->Cancel();
  }
}

TEST_F(TextEntry, UndoRedoAndClipboard) {
  Open("1.5k");
  Press('C', "c", false, true); // all selected: copied
  EXPECT_EQ(canvas.clipboard, "1.5k");
  Press(kVKEnd);
  Press(kVKBackspace);
  Press('Z', "z", false, true);
  EXPECT_EQ(entry->GetEditText(), "1.5k");
  Press('Z', "Z", true, true);
  EXPECT_EQ(entry->GetEditText(), "1.5");
  canvas.clipboard = "20\nms";
  Press('A', "a", false, true);
  Press('V', "v", false, true); // pasted without the line break
  EXPECT_EQ(entry->GetEditText(), "20ms");
  Press('A', "a", false, true);
  Press('X', "x", false, true);
  EXPECT_EQ(std::make_pair(entry->GetEditText(), canvas.clipboard),
            std::make_pair(std::string(), std::string("20ms")));
  // The right-click menu offers Copy and Paste.
  canvas.OnMouseDown(150, 120, IMouseMod{.right = true});
  ASSERT_NE(canvas.shownMenu, nullptr);
  EXPECT_EQ(canvas.shownMenu->GetItemText(1), "Paste");
  canvas.ChoosePopupItem(1);
  EXPECT_EQ(entry->GetEditText(), "20ms");
}

TEST_F(TextEntry, CaretFollowsThePressAndTheEntryEndsByCommitOrCancel) {
  Open("12345"); // 50 pixels wide, centred: from x = 175 to 225
  canvas.OnMouseDown(196, 120, IMouseMod{.left = true});
  EXPECT_EQ(entry->GetCaret(), 2);
  canvas.OnMouseDown(213, 120, IMouseMod{.left = true, .shift = true});
  EXPECT_EQ(std::make_pair(entry->GetSelectionStart(), entry->GetSelectionEnd()),
            std::make_pair(2, 4));

  Press(kVKTab);
  EXPECT_TRUE(entry->IsShowing()); // Tab is not the entry's
  Press(kVKEscape);
  EXPECT_FALSE(entry->IsShowing());
  EXPECT_TRUE(requester->committed.empty());

  Open("7");
  Press(kVKReturn);
  Open("8");
  canvas.OnMouseDown(600, 600, IMouseMod{.left = true}); // a press outside commits
  EXPECT_EQ(requester->committed, (std::vector<std::string>{"7", "8"}));
  EXPECT_FALSE(entry->IsShowing());
}

} // namespace
