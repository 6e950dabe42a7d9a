#include "core/IGEditorDelegate.h"

namespace iplug {

IGEditorDelegate::IGEditorDelegate(int nParams) : IEditorDelegate(nParams) {}

IGEditorDelegate::~IGEditorDelegate() = default;

void IGEditorDelegate::SendParameterValueFromDelegate(int paramIdx, double value, bool normalized) {
  if (receiver_) receiver_->OnParamValueFromDelegate(paramIdx, value, normalized);
}

} // namespace iplug
