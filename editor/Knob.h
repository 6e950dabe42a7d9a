#pragma once
// A labelled rotary control for one continuous parameter: caption, a 276-degree arc with the
// value in the band's colour, a cap with a pointer, and a value box showing the physical value
// in its unit. Dragging turns it (4 knob heights for the whole range, ten times finer with
// Shift or Ctrl), the wheel and the arrow keys step it, a double click or Home resets it, and
// a click on the value box or Enter opens the in-place text entry, which accepts the value
// with a unit ("2.5k", "20 ms"). Greyed and deaf to input while the parameter is inactive.
//
// Threads: user-interface thread only.

#include <memory>
#include <string>

#include "ui/IKnobControlBase.h"

namespace coral {

class CoralSieve;
class ValueEntry;
struct ViewState;

class Knob : public reef::ui::IKnobControlBase {
public:
  static constexpr double kGearing = 4.0;

  // A knob for parameter `paramIdx` captioned `label`. Its ValueEntry is attached right after
  // it (SetValueEntry).
  Knob(const reef::ui::IRect& bounds, int paramIdx, std::string label, CoralSieve& plug,
       std::shared_ptr<ViewState> view);

  // The value box of a knob with rectangle `bounds`.
  static reef::ui::IRect ValueBox(const reef::ui::IRect& bounds);

  void SetValueEntry(ValueEntry* entry) { valueEntry_ = entry; }
  const std::string& GetLabel() const { return label_; }

  void Draw(reef::ui::ICanvas& g) override;
  // Writes the help pair; a left press on the value box opens the text entry, anything else
  // starts a drag.
  void OnMouseDown(float x, float y, const reef::ui::IMouseMod& mod) override;
  // Turns the knob while a drag runs (not after a press that opened the text entry).
  void OnMouseDrag(float x, float y, float dX, float dY, const reef::ui::IMouseMod& mod) override;
  // Back to the parameter's default.
  void OnMouseDblClick(float x, float y, const reef::ui::IMouseMod& mod) override;
  // Enter opens the text entry, Home resets, Left/Down and Up/Right step by 0.01 of the travel
  // (0.001 with Shift).
  bool OnKeyDown(float x, float y, const reef::ui::IKeyPress& key) override;
  void OnMouseOver(float x, float y, const reef::ui::IMouseMod& mod) override;
  // Re-evaluates the greying.
  bool IsDirty() override;

  // The text committed in the knob's entry: a valid value is written as the editor's write of
  // a plain value (SetParamFromUI, one host gesture); anything else leaves the value and says
  // what is accepted in the help strip.
  void OnValueTyped(const std::string& text);

private:
  void WriteHelp();
  void OpenTextEntry();
  bool IsTextEntryOpen() const;

  std::string label_;
  CoralSieve& plug_;
  std::shared_ptr<ViewState> view_;
  ValueEntry* valueEntry_ = nullptr;
};

} // namespace coral
