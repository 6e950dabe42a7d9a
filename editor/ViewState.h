#pragma once
// The editor's only state of its own: the selected band slot, the lower panel's tab and the
// title and text of the context-help strip, plus the controls whose visibility depends on the
// band and tab. One record per editor, shared by the controls that need it; nothing of it is
// saved with the plug-in's state.
//
// Threads: user-interface thread only.

#include <string>
#include <string_view>
#include <vector>

namespace reef::ui {
class IControl;
}

namespace coral {

enum EditorTab : int { kShapeTab = 0, kDynamicsTab = 1, kGlobalTab = 2 };

inline constexpr int kAnyBand = -1;
inline constexpr int kAnyTab = -1;

struct ViewState {
  struct Member {
    reef::ui::IControl* control; // not owned: the canvas owns its controls
    int band;                    // shown only while this band is selected; kAnyBand: any
    int tab;                     // shown only on this tab; kAnyTab: any
  };

  ViewState();

  // Stores `band` clamped to 0..11.
  void SetSelectedBand(int band);
  // Registers a control whose visibility follows the band and tab.
  void AddMember(reef::ui::IControl* control, int band, int tab);
  // The help strip shows `title` and `text`.
  void SetHelp(std::string_view title, std::string_view text);
  // Whether a member with this band and tab is shown now.
  bool IsShown(int band, int tab) const;

  int selectedBand = 0;
  int selectedTab = kShapeTab;
  std::string helpTitle;
  std::string helpText;
  std::vector<Member> members;
};

} // namespace coral
