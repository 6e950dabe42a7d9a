#pragma once
// A drop-down for an enumerated parameter: a box showing the current choice with a chevron;
// a click or Enter/Space opens a pop-up menu of the parameter's texts, and the choice is
// written as a user edit. The menus placed in a knob row carry a caption above the box.
// Greyed (and deaf to the mouse) while the parameter is inactive.
//
// Threads: user-interface thread only.

#include <memory>
#include <string>

#include "ui/IControl.h"

namespace coral {

class CoralSieve;
struct ViewState;

// The rounded box of a drop-down in `box`, outlined in copper while `hover`.
void DrawMenuBox(reef::ui::ICanvas& g, const reef::ui::IRect& box, bool hover);
// A drop-down's chevron: a line from (left, top) down to its tip at the middle and `tipY`,
// then up to (right, top), one pixel wide.
void DrawChevron(reef::ui::ICanvas& g, float left, float right, float top, float tipY,
                 const reef::ui::IColor& color);

class EnumMenu : public reef::ui::IControl {
public:
  // A menu for enumeration parameter `paramIdx`; `label` (may be empty) is the caption of a
  // menu in a knob row.
  EnumMenu(const reef::ui::IRect& bounds, int paramIdx, CoralSieve& plug,
           std::shared_ptr<ViewState> view, std::string label = {});

  void Draw(reef::ui::ICanvas& g) override;
  // Writes the help pair and opens the menu; nothing while disabled.
  void OnMouseDown(float x, float y, const reef::ui::IMouseMod& mod) override;
  bool OnKeyDown(float x, float y, const reef::ui::IKeyPress& key) override;
  void OnMouseOver(float x, float y, const reef::ui::IMouseMod& mod) override;
  // Re-evaluates the greying.
  bool IsDirty() override;

  // The box the choice is shown in (and the menu opens at).
  reef::ui::IRect GetBox() const;
  const std::string& GetLabel() const { return label_; }

private:
  void WriteHelp();
  void Open();

  CoralSieve& plug_;
  std::shared_ptr<ViewState> view_;
  std::string label_;
};

} // namespace coral
