#pragma once
// The editor's layout: builds every control of the 1180 x 800 editor once, binds each to its
// parameter and registers the band- and tab-dependent ones with the shared view state.
//
// Threads: user-interface thread (the plug-in's editor delegate calls it when the editor is
// first opened).

#include <memory>

#include "editor/ViewState.h"

namespace reef::ui {
class ICanvas;
}

namespace coral {

class CoralSieve;

inline constexpr int kEditorFrameRate = 30;
inline constexpr const char* kFontResource = "Roboto-Regular.ttf";
inline constexpr float kResizerSize = 20.f;

// Populates `canvas` with the editor of `plug` and answers the editor's view state.
std::shared_ptr<ViewState> LayoutEditor(reef::ui::ICanvas& canvas, CoralSieve& plug);

} // namespace coral
