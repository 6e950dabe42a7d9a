#pragma once
// The maker's logo at the top left: a link to the maker's web page. Draws the logo image
// scaled into its rectangle, or the maker's name when the image is missing or broken, and
// underlines itself while the mouse is over it.
//
// Threads: user-interface thread only.

#include <memory>

#include "ui/IControl.h"
#include "ui/ISVG.h"

namespace coral {

struct ViewState;

class Brand : public reef::ui::IControl {
public:
  // `logo` may be invalid (then the name is drawn).
  Brand(const reef::ui::IRect& bounds, reef::ui::ISVG logo, std::shared_ptr<ViewState> view);

  void Draw(reef::ui::ICanvas& g) override;
  // Opens the maker's web page with the desktop's handler.
  void OnMouseDown(float x, float y, const reef::ui::IMouseMod& mod) override;
  // Enter and Space open the web page too.
  bool OnKeyDown(float x, float y, const reef::ui::IKeyPress& key) override;
  // Writes the maker's help pair, then the framework's mouse-over handling.
  void OnMouseOver(float x, float y, const reef::ui::IMouseMod& mod) override;

private:
  void OpenWebPage();

  reef::ui::ISVG logo_;
  std::shared_ptr<ViewState> view_;
};

} // namespace coral
