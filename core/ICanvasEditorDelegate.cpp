#include "core/ICanvasEditorDelegate.h"

namespace reef {

ICanvasEditorDelegate::ICanvasEditorDelegate(int nParams) : IEditorDelegate(nParams) {}

ICanvasEditorDelegate::~ICanvasEditorDelegate() = default;

IEditorCanvas* ICanvasEditorDelegate::OpenWindow(void* parent) {
  if (!canvas_) {
    if (!hooks_.makeCanvas) return nullptr;
    canvas_ = hooks_.makeCanvas(*this);
    if (!canvas_) return nullptr;
    if (hooks_.layout) hooks_.layout(*canvas_);
  }
  if (rememberedScale_ != 0.f) {
    canvas_->Resize(rememberedWidth_, rememberedHeight_, rememberedScale_, true);
  }
  canvas_->OpenWindow(parent);
  OnUIOpen();
  return canvas_.get();
}

void ICanvasEditorDelegate::CloseWindow() {
  if (closing_ || !canvas_) return;
  closing_ = true;
  OnUIClose();
  rememberedWidth_ = canvas_->Width();
  rememberedHeight_ = canvas_->Height();
  rememberedScale_ = canvas_->GetDrawScale();
  canvas_->CloseWindow();
  canvas_.reset();
  closing_ = false;
}

void ICanvasEditorDelegate::OnUIClose() {}

void ICanvasEditorDelegate::OnParentWindowResize(int width, int height) {
  constexpr float kBackingScale = 1.f;
  if (canvas_) {
    canvas_->Resize(static_cast<int>(width / kBackingScale),
                    static_cast<int>(height / kBackingScale), 1.f, false);
  }
}

void ICanvasEditorDelegate::SendParameterValueFromDelegate(int paramIdx, double value,
                                                           bool normalized) {
  if (canvas_) canvas_->OnParamValueFromDelegate(paramIdx, value, normalized);
}

} // namespace reef
