#include "app/EditorHooks.h"

#include "core/CoralSieve.h"
#include "editor/EditorLayout.h"
#include "ui/ICanvasGtk.h"

namespace coral {

reef::IEditorHooks MakeEditorHooks() {
  reef::IEditorHooks hooks;
  hooks.makeCanvas = [](reef::ICanvasEditorDelegate& delegate) {
    return std::make_unique<reef::ui::ICanvasGtk>(delegate, CoralSieve::kEditorWidth,
                                                  CoralSieve::kEditorHeight, kEditorFrameRate, 1.f);
  };
  hooks.layout = [](reef::IEditorCanvas& canvas) {
    // The factory above made the canvas, for the plug-in object that installed these hooks.
    auto& graphics = static_cast<reef::ui::ICanvas&>(canvas);
    LayoutEditor(graphics, static_cast<CoralSieve&>(graphics.GetDelegate()));
  };
  return hooks;
}

} // namespace coral
