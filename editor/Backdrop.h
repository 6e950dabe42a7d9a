#pragma once
// The editor's background: the vertical gradient with faint scan lines, the product title,
// the separators and the graph and lower panels. Draws only; takes no input.
//
// It lies under every redrawn area, so it draws only what meets the area being drawn: a small
// redraw (a meter, a knob) does not pay for rasterising the whole canvas.
//
// Threads: user-interface thread only.

#include "ui/IControl.h"

namespace coral {

class Backdrop : public reef::ui::IControl {
public:
  // `bounds` is the whole canvas.
  explicit Backdrop(const reef::ui::IRect& bounds);

  void Draw(reef::ui::ICanvas& g) override;
};

} // namespace coral
