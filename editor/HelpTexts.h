#pragma once
// The texts of the context-help strip: one help text per parameter (also its tooltip), and
// the title and text pairs that the editor's operations write.

#include <string_view>

#include "editor/ViewState.h"

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

// The help text of parameter `paramIdx` (band parameters share one text per field); empty
// outside 0..215.
std::string_view ParamHelpText(int paramIdx);
// The pair a tab writes when it is selected (Shape, Dynamics or Global).
const HelpPair& TabHelp(int tab);

} // namespace coral
