#pragma once
// An area of the canvas as a list of rectangles. Adding a rectangle that overlaps one already
// in the list merges the two (and repeats while merges cascade), so the list stays short and
// its rectangles disjoint.

#include <vector>

#include "ui/IRect.h"

namespace reef::ui {

class IRectList {
public:
  void Add(const IRect& rect);
  void Clear() { rects_.clear(); }
  bool Empty() const { return rects_.empty(); }
  int Size() const { return static_cast<int>(rects_.size()); }
  const IRect& Get(int index) const { return rects_[index]; }
  // The smallest rectangle holding the whole area.
  IRect Bounds() const;
  bool Intersects(const IRect& rect) const;

  auto begin() const { return rects_.begin(); }
  auto end() const { return rects_.end(); }

private:
  std::vector<IRect> rects_;
};

} // namespace reef::ui
