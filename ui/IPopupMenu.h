#pragma once
// A pop-up menu description: item texts in order, and after the menu closed the index of the
// chosen item (-1 when it was dismissed). The prefix mode numbers item texts from 1 when
// shown: 1 "%1d: %s", 2 "%02d: %s", 3 "%03d: %s", 0 no number.

#include <string>
#include <vector>

namespace reef::ui {

class IPopupMenu {
public:
  IPopupMenu() = default;
  explicit IPopupMenu(std::vector<std::string> items, int prefixMode = 0)
      : items_(std::move(items)), prefixMode_(prefixMode) {}

  void AddItem(std::string text) { items_.push_back(std::move(text)); }
  void Clear() {
    items_.clear();
    chosen_ = -1;
  }
  int NItems() const { return static_cast<int>(items_.size()); }
  const std::string& GetItemText(int index) const { return items_.at(index); }
  // The text as shown, with the number prefix of the prefix mode.
  std::string GetDisplayText(int index) const;

  int GetPrefixMode() const { return prefixMode_; }
  void SetPrefixMode(int mode) { prefixMode_ = mode; }

  // The chosen item after the menu closed; -1 when dismissed.
  int GetChosenItemIdx() const { return chosen_; }
  void SetChosenItemIdx(int index) { chosen_ = index >= 0 && index < NItems() ? index : -1; }
  // The item the menu shows as checked (-1: none).
  int GetCheckedItemIdx() const { return checked_; }
  void SetCheckedItemIdx(int index) { checked_ = index; }

private:
  std::vector<std::string> items_;
  int prefixMode_ = 0;
  int chosen_ = -1;
  int checked_ = -1;
};

} // namespace reef::ui
