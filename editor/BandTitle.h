#pragma once
// "BAND 07" above the lower panel, in the selected slot's band colour. Takes no input.
//
// Threads: user-interface thread only.

#include <memory>

#include "ui/IControl.h"

namespace coral {

struct ViewState;

class BandTitle : public reef::ui::IControl {
public:
  BandTitle(const reef::ui::IRect& bounds, std::shared_ptr<ViewState> view);

  void Draw(reef::ui::ICanvas& g) override;
  // Dirty when the selected band differs from the one last drawn.
  bool IsDirty() override;

private:
  std::shared_ptr<ViewState> view_;
  int shownBand_ = -1;
};

} // namespace coral
