#pragma once
// The operations the editor's controls share: writing a parameter from the editor, the band
// selection and tab, adding and deleting band slots, and the rules that hide and grey
// controls.
//
// Threads: user-interface thread only.

#include "editor/ViewState.h"

namespace reef::ui {
class ICanvas;
struct IKeyPress;
} // namespace reef::ui

namespace coral {

class CoralSieve;

// The editor's write of a plain `value` to parameter `paramIdx`: converted to the normalized
// value, sent to the plug-in as a change from the editor (which notifies the host), stored as
// the plain value itself (clamped), and shown by every control bound to the parameter. With
// `withGesture` the write is wrapped in a host change gesture.
void SetParamFromUI(CoralSieve& plug, int paramIdx, double value, bool withGesture);

// Hides every member of `view` whose band or tab is not the selected one, shows the others,
// then marks every control dirty.
void ApplyVisibility(const ViewState& view, reef::ui::ICanvas& canvas);
// Selects band slot `band` (clamped to 0..11), applies visibility and writes the
// "SELECTED BAND / STABLE SLOT" help pair.
void SelectBand(ViewState& view, reef::ui::ICanvas& canvas, int band);
// Shows tab `tab`, applies visibility and writes the tab's help pair.
void SelectTab(ViewState& view, reef::ui::ICanvas& canvas, int tab);

// Takes the lowest disabled band slot: resets its parameters to that slot's defaults, sets
// `frequencyHz` and `gainDb`, enables it, selects it on the Shape tab and reports it in the
// help strip. Answers the slot, or -1 with "TWELVE SLOTS IN USE" and no parameter changed
// when all twelve are enabled.
int AddBandSlot(CoralSieve& plug, ViewState& view, reef::ui::ICanvas& canvas, double frequencyHz,
                double gainDb);
// Turns the selected band's Listen and then Enabled off, keeping every other setting and the
// selection, and says so in the help strip.
void DeleteSelectedBand(CoralSieve& plug, ViewState& view, reef::ui::ICanvas& canvas);

// Whether the control of parameter `paramIdx` is greyed: a band parameter of a disabled
// band (but its Enabled), Gain and Dynamic of a type without gain, Slope but for High and Low
// Pass, and the dynamics controls unless the band has gain and Dynamic is on. Globals never.
bool IsParamInactive(const CoralSieve& plug, int paramIdx);
// Enter and Space: the keys that act as a click on the editor's buttons, menus and band slots.
bool IsActivationKey(const reef::ui::IKeyPress& key);

// Whether band filter `type` has a gain: Bell, the shelves and Tilt.
bool IsGainType(int type);
// The gain in dB at which the graph draws band `band`'s node: Gain x Scale / 100 for the gain
// types, else 0.
double DisplayedNodeGain(const CoralSieve& plug, int band);

} // namespace coral
