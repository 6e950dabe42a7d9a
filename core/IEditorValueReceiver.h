#pragma once
// Receives the parameter values that the plug-in sends to its editor (one call per
// parameter, on the user-interface thread). The editor's graphics context implements it and
// forwards each value to the controls bound to that parameter.

namespace reef {

class IEditorValueReceiver {
public:
  virtual ~IEditorValueReceiver() = default;
  // `value` is normalized (0..1) when `normalized` is true, else a plain value.
  virtual void OnParamValueFromDelegate(int paramIdx, double value, bool normalized) = 0;
};

} // namespace reef
