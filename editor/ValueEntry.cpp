#include "editor/ValueEntry.h"

namespace coral {

ValueEntry::ValueEntry(const reef::ui::IRect& bounds, Completion completion)
    : IControl(bounds), completion_(std::move(completion)) {
  SetIgnoreMouse(true);
}

void ValueEntry::OnTextEntryCompletion(const std::string& text, int) {
  if (completion_) completion_(text);
}

} // namespace coral
