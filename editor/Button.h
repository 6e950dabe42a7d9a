#pragma once
// The editor's push buttons: a parameter toggle (lit while its bool parameter is on), the A/B
// switch, COPY, a tab selector, + BAND, DELETE and the support link. Each polls what it shows
// (its greying and lit state) in the per-frame dirty query, so a change from anywhere shows on
// the next frame; every click marks the whole editor dirty.
//
// Threads: user-interface thread only.

#include <memory>
#include <string>

#include "ui/IControl.h"

namespace coral {

class CoralSieve;
struct ViewState;

enum class ButtonAction : int {
  kParamToggle = 0, // writes 1 when the parameter is below 0.5, else 0
  kABSwitch = 1,    // the plug-in's A/B switch; reads "B" and is lit while slot B is shown
  kCopy = 2,        // the shown settings into the other A/B slot
  kTabSelect = 3,   // shows its tab; lit while that tab is shown
  kAddBand = 4,     // takes the next free band slot at 1 kHz, 0 dB
  kDeleteBand = 5,  // disables the selected band slot
  kSupportLink = 6, // a mail to the support address
};

// The frame every button and band slot draws in `bounds`: a rounded panel, green-tinted when
// `lit`, outlined in copper while `hover`, else teal when lit, else in the line colour.
void DrawButtonFrame(reef::ui::ICanvas& g, const reef::ui::IRect& bounds, bool lit, bool hover);

class Button : public reef::ui::IControl {
public:
  // A button doing `action`. A parameter toggle is bound to `paramIdx` (its tooltip is the
  // parameter's help text); a tab selector shows tab `tabIndex`.
  Button(const reef::ui::IRect& bounds, ButtonAction action, std::string label, CoralSieve& plug,
         std::shared_ptr<ViewState> view, int paramIdx = reef::ui::kNoParameter, int tabIndex = 0);

  void Draw(reef::ui::ICanvas& g) override;
  // The action; nothing while disabled.
  void OnMouseDown(float x, float y, const reef::ui::IMouseMod& mod) override;
  // Parameter toggles: the parameter back to its default (the first click of the double click
  // has already toggled it). Other buttons ignore it.
  void OnMouseDblClick(float x, float y, const reef::ui::IMouseMod& mod) override;
  // Enter and Space act as a click; not handled while disabled.
  bool OnKeyDown(float x, float y, const reef::ui::IKeyPress& key) override;
  // Writes the button's help pair (a tab selector writes none), then the framework's
  // mouse-over handling.
  void OnMouseOver(float x, float y, const reef::ui::IMouseMod& mod) override;
  // Re-evaluates the greying of a parameter toggle and the lit state.
  bool IsDirty() override;

  // What the button reads now ("A" or "B" for the A/B switch, else its label).
  const std::string& GetShownLabel() const;

private:
  // Lit by its parameter, the A/B flag or the selected tab, whatever the greying.
  bool IsLit() const;
  void Click();

  ButtonAction action_;
  std::string label_;
  CoralSieve& plug_;
  std::shared_ptr<ViewState> view_;
  int tabIndex_;
  bool lit_ = false; // the lit state last drawn or polled
};

} // namespace coral
