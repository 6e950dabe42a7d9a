#include "editor/EditorLayout.h"

#include "core/CoralSieve.h"
#include "editor/EQGraph.h"
#include "editor/EditorOperations.h"
#include "editor/Palette.h"
#include "ui/ICanvas.h"
#include "ui/ICornerResizerControl.h"

namespace coral {

std::shared_ptr<ViewState> LayoutEditor(reef::ui::ICanvas& canvas, CoralSieve& plug) {
  auto view = std::make_shared<ViewState>();
  canvas.EnableMouseOver(true);
  canvas.EnableTooltips(true);
  canvas.SetScaleConstraints(CoralSieve::kMinEditorScale, CoralSieve::kMaxEditorScale);
  canvas.AttachTextEntryControl();
  canvas.LoadFont(kFontId, kFontResource);

  canvas.Attach(std::make_unique<EQGraph>(reef::ui::IRect(36.f, 147.f, 1050.f, 451.f), plug, view));

  ApplyVisibility(*view, canvas);
  canvas.AttachCornerResizer(std::make_unique<reef::ui::ICornerResizerControl>(
      static_cast<float>(canvas.Width()), static_cast<float>(canvas.Height()), kResizerSize, kLine,
      kTeal, kCopper));
  return view;
}

} // namespace coral
