#pragma once
// The factory recipe menu: shows the name of the recipe the current settings equal, or
// "Custom"; a click or Enter/Space opens a pop-up menu of the 32 recipes, and a choice
// replaces the shown settings with it. It polls the matching recipe every frame, so edits,
// A/B switches and loaded states show on the next frame.
//
// Threads: user-interface thread only.

#include <memory>

#include "ui/IControl.h"
#include "ui/IPopupMenu.h"

namespace coral {

class CoralSieve;
struct ViewState;

class PresetMenu : public reef::ui::IControl {
public:
  PresetMenu(const reef::ui::IRect& bounds, CoralSieve& plug, std::shared_ptr<ViewState> view);

  void Draw(reef::ui::ICanvas& g) override;
  // Opens the recipe menu over the control.
  void OnMouseDown(float x, float y, const reef::ui::IMouseMod& mod) override;
  bool OnKeyDown(float x, float y, const reef::ui::IKeyPress& key) override;
  // A chosen recipe is applied and the editor marked dirty; a dismissed menu changes nothing.
  void OnPopupMenuSelection(const reef::ui::IPopupMenu& menu, int valIdx) override;
  void OnMouseOver(float x, float y, const reef::ui::IMouseMod& mod) override;
  // Dirty when the matching recipe differs from the one last drawn.
  bool IsDirty() override;

private:
  void Open();

  CoralSieve& plug_;
  std::shared_ptr<ViewState> view_;
  reef::ui::IPopupMenu menu_;
  int shownRecipe_ = -2; // the matching recipe last drawn or polled; -2 before the first
};

} // namespace coral
