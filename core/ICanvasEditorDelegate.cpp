#include "core/ICanvasEditorDelegate.h"

namespace reef {

ICanvasEditorDelegate::ICanvasEditorDelegate(int nParams) : IEditorDelegate(nParams) {}

ICanvasEditorDelegate::~ICanvasEditorDelegate() = default;

void ICanvasEditorDelegate::SendParameterValueFromDelegate(int paramIdx, double value,
                                                           bool normalized) {
  if (receiver_) receiver_->OnParamValueFromDelegate(paramIdx, value, normalized);
}

} // namespace reef
