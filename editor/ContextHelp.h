#pragma once
// The context-help strip under the lower panel: the view state's help title in copper and its
// text wrapped beside it. Takes no input; redraws when the help pair changes.
//
// Threads: user-interface thread only.

#include <memory>
#include <string>

#include "ui/IControl.h"

namespace coral {

struct ViewState;

class ContextHelp : public reef::ui::IControl {
public:
  ContextHelp(const reef::ui::IRect& bounds, std::shared_ptr<ViewState> view);

  void Draw(reef::ui::ICanvas& g) override;
  // Dirty when the help title or text differs from the copy last drawn (which it then takes).
  bool IsDirty() override;

private:
  std::shared_ptr<ViewState> view_;
  std::string shownTitle_;
  std::string shownText_;
};

} // namespace coral
