#pragma once
// The texts of the context-help strip: one help text per parameter (also its tooltip), and
// the title and text pairs that the editor's operations write.

#include <string>
#include <string_view>

namespace coral {

struct HelpPair {
  std::string_view title;
  std::string_view text;
};

extern const HelpPair kInitialHelp;
extern const HelpPair kShapeTabHelp;
extern const HelpPair kDynamicsTabHelp;
extern const HelpPair kGlobalTabHelp;
extern const HelpPair kSelectedBandHelp;
extern const HelpPair kAddedBandHelp;
extern const HelpPair kNoFreeSlotHelp;
extern const HelpPair kBandDeletedHelp;
// A typed value that is not a finite number in the parameter's unit.
extern const HelpPair kInvalidValueHelp;
// The action buttons and the recipe menu under the mouse.
extern const HelpPair kABSwitchHelp;
extern const HelpPair kCopyHelp;
extern const HelpPair kAddBandHelp;
extern const HelpPair kDeleteBandHelp;
extern const HelpPair kRecipeMenuHelp;
// The logo and the support button under the mouse: their texts name the web domain and the
// support address.
inline constexpr std::string_view kBrandHelpTitle = "KESTRILAB";
inline constexpr std::string_view kSupportHelpTitle = "KESTRILAB SUPPORT";
const std::string& BrandHelpText();
const std::string& SupportHelpText();

// Fixed tooltips of the controls that are not bound to a parameter.
extern const std::string_view kBandSlotTooltip;
extern const std::string_view kRecipeMenuTooltip;
extern const std::string_view kBrandTooltip;

// The help text of parameter `paramIdx` (band parameters share one text per field); empty
// outside 0..215.
std::string_view ParamHelpText(int paramIdx);
// The pair a tab writes when it is selected (Shape, Dynamics or Global).
const HelpPair& TabHelp(int tab);

} // namespace coral
