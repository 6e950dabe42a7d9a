#pragma once
// The receiver of a knob's typed value: an invisible control over the knob's value box, which
// ignores the mouse. The knob opens the in-place text entry on its behalf, so the committed
// text arrives here and goes to the knob through the completion callback.
//
// Threads: user-interface thread only.

#include <functional>
#include <string>

#include "ui/IControl.h"

namespace coral {

class ValueEntry : public reef::ui::IControl {
public:
  using Completion = std::function<void(const std::string& text)>;

  // `bounds` is the knob's value box; `completion` receives each committed text.
  ValueEntry(const reef::ui::IRect& bounds, Completion completion);

  void Draw(reef::ui::ICanvas&) override {}
  void OnTextEntryCompletion(const std::string& text, int valIdx) override;

private:
  Completion completion_;
};

} // namespace coral
