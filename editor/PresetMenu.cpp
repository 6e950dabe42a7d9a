#include "editor/PresetMenu.h"

#include "core/CoralSieve.h"
#include "core/Recipes.h"
#include "editor/EditorOperations.h"
#include "editor/EnumMenu.h"
#include "editor/HelpTexts.h"
#include "editor/Palette.h"
#include "editor/ViewState.h"
#include "ui/ICanvas.h"

namespace coral {

using reef::ui::IRect;

namespace {

constexpr float kTextSize = 15.f;
constexpr float kTextLeftInset = 14.f;  // from the control's left edge
constexpr float kTextRightInset = 27.f; // from the control's right edge
// The chevron, from the control's right edge and top.
constexpr float kChevronLeft = 22.f;
constexpr float kChevronRight = 10.f;
constexpr float kChevronTop = 17.f;
constexpr float kChevronTip = 23.f;

// The text shown for matching recipe `recipe` (-1: none).
const char* ShownName(int recipe) {
  return recipe >= 0 && recipe < kNumRecipes ? GetRecipes()[recipe].name : "Custom";
}

} // namespace

PresetMenu::PresetMenu(const IRect& bounds, CoralSieve& plug, std::shared_ptr<ViewState> view)
    : IControl(bounds), plug_(plug), view_(std::move(view)) {
  for (const Recipe& recipe : GetRecipes()) menu_.AddItem(recipe.name);
  SetTooltip(std::string(kRecipeMenuTooltip));
}

void PresetMenu::Draw(reef::ui::ICanvas& g) {
  const IRect& bounds = GetRect();
  shownRecipe_ = plug_.FindMatchingRecipe();
  DrawMenuBox(g, bounds, GetMouseIsOver());
  g.DrawText(EditorText(kTextSize, kText, reef::ui::EAlign::Near), ShownName(shownRecipe_),
             IRect(bounds.left + kTextLeftInset, bounds.top, bounds.right - kTextRightInset,
                   bounds.bottom));
  DrawChevron(g, bounds.right - kChevronLeft, bounds.right - kChevronRight,
              bounds.top + kChevronTop, bounds.top + kChevronTip, kCopper);
}

void PresetMenu::OnMouseDown(float, float, const reef::ui::IMouseMod&) {
  Open();
}

bool PresetMenu::OnKeyDown(float, float, const reef::ui::IKeyPress& key) {
  if (!IsActivationKey(key)) return false;
  Open();
  return true;
}

void PresetMenu::OnPopupMenuSelection(const reef::ui::IPopupMenu& menu, int) {
  const int chosen = menu.GetChosenItemIdx();
  if (chosen < 0) return;
  plug_.ApplyRecipe(chosen);
  if (GetUI()) GetUI()->SetAllControlsDirty();
}

void PresetMenu::OnMouseOver(float x, float y, const reef::ui::IMouseMod& mod) {
  view_->SetHelp(kRecipeMenuHelp.title, kRecipeMenuHelp.text);
  IControl::OnMouseOver(x, y, mod);
}

bool PresetMenu::IsDirty() {
  if (const int recipe = plug_.FindMatchingRecipe(); recipe != shownRecipe_) {
    shownRecipe_ = recipe;
    SetDirty(false);
  }
  return IControl::IsDirty();
}

void PresetMenu::Open() {
  if (!GetUI()) return;
  menu_.SetCheckedItemIdx(plug_.FindMatchingRecipe());
  GetUI()->CreatePopupMenu(*this, menu_, GetRect());
}

} // namespace coral
