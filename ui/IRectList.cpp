#include "ui/IRectList.h"

namespace reef::ui {

void IRectList::Add(const IRect& rect) {
  if (rect.Empty()) return;
  IRect merged = rect;
  for (bool mergedAny = true; mergedAny;) {
    mergedAny = false;
    for (auto it = rects_.begin(); it != rects_.end(); ++it) {
      if (it->Intersects(merged)) {
        merged = merged.Union(*it);
        rects_.erase(it);
        mergedAny = true;
        break;
      }
    }
  }
  rects_.push_back(merged);
}

IRect IRectList::Bounds() const {
  IRect bounds;
  for (const IRect& rect : rects_) bounds = bounds.Union(rect);
  return bounds;
}

bool IRectList::Intersects(const IRect& rect) const {
  for (const IRect& r : rects_) {
    if (r.Intersects(rect)) return true;
  }
  return false;
}

} // namespace reef::ui
