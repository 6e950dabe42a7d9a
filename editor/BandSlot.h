#pragma once
// One selector of the band strip: the slot's number with a dot in its band colour and its live
// signed dynamic gain from the engine ("OFF" while the slot is disabled); lit while selected.
// A click or Enter/Space selects the slot.
//
// The per-frame dirty query reads the slot's live gain from a fresh display snapshot and marks
// the slot dirty only when what it would draw (selection, enabled state, readout text) differs
// from what it last drew.
//
// Threads: user-interface thread; the live gain is written by the audio thread.

#include <memory>

#include "engine/EqEngine.h"
#include "ui/IControl.h"

namespace coral {

class CoralSieve;
struct ViewState;

class BandSlot : public reef::ui::IControl {
public:
  BandSlot(const reef::ui::IRect& bounds, int band, CoralSieve& plug,
           std::shared_ptr<ViewState> view);

  void Draw(reef::ui::ICanvas& g) override;
  // Selects the slot.
  void OnMouseDown(float x, float y, const reef::ui::IMouseMod& mod) override;
  bool OnKeyDown(float x, float y, const reef::ui::IKeyPress& key) override;
  bool IsDirty() override;

private:
  struct Look {
    bool selected = false;
    bool enabled = false;
    char readout[16] = {}; // "+1.5 dB", or "OFF"
    bool operator==(const Look& other) const;
  };
  Look Read();

  int band_;
  CoralSieve& plug_;
  std::shared_ptr<ViewState> view_;
  DisplaySnapshot snapshot_; // scratch for the engine's copy
  Look shown_;
};

} // namespace coral
