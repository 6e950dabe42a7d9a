#pragma once
// The editor delegate of a plug-in whose editor is a framework graphics context: it creates
// the context through an installed factory, fills it through an installed layout function,
// opens and closes it, and forwards the values the plug-in sends to its editor.
//
// Threads: user-interface thread only.

#include <functional>
#include <memory>

#include "core/IEditorCanvas.h"
#include "core/IEditorDelegate.h"

namespace reef {

class ICanvasEditorDelegate;

// How a plug-in gets its editor: the graphics factory creates the context for the delegate;
// the layout function populates a new context with the editor's controls. Both are given by
// the code that builds the plug-in with an editor; a plug-in without them has no editor.
struct IEditorHooks {
  std::function<std::unique_ptr<IEditorCanvas>(ICanvasEditorDelegate& delegate)> makeCanvas;
  std::function<void(IEditorCanvas& canvas)> layout;
};

class ICanvasEditorDelegate : public IEditorDelegate {
public:
  explicit ICanvasEditorDelegate(int nParams);
  ~ICanvasEditorDelegate() override;

  void SetEditorHooks(IEditorHooks hooks) { hooks_ = std::move(hooks); }
  bool HasEditorHooks() const { return hooks_.makeCanvas != nullptr; }

  // Opens the editor inside `parent`: creates the context and runs the layout when none
  // exists (an existing context is reused), restores the size and draw scale remembered at
  // the last close, opens the platform window and sends every parameter's value to the
  // editor. Nullptr when there are no hooks or the factory made nothing.
  IEditorCanvas* OpenWindow(void* parent);
  // Closes the editor: the plug-in is told, the context's size and draw scale are
  // remembered, the platform window closes and the context is destroyed. Re-entry is
  // ignored.
  void CloseWindow();
  IEditorCanvas* GetCanvas() const { return canvas_.get(); }

  // The editor is about to close; nothing by default.
  virtual void OnUIClose();
  // The window that holds the editor changed to `width` x `height` pixels. This version
  // resizes the context to that size at draw scale 1 (the backing scale is 1 on this
  // platform).
  virtual void OnParentWindowResize(int width, int height);

  // Forwards to the open editor; dropped while none is open.
  void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized) override;

private:
  IEditorHooks hooks_;
  std::unique_ptr<IEditorCanvas> canvas_;
  bool closing_ = false;
  int rememberedWidth_ = 0;
  int rememberedHeight_ = 0;
  float rememberedScale_ = 0.f;
};

} // namespace reef
