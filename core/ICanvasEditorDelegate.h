#pragma once
// The editor delegate of a plug-in whose editor is drawn by the framework's graphics context:
// values the plug-in sends to its editor go to the receiver that the open editor installs.
//
// Threads: user-interface thread only.

#include "core/IEditorDelegate.h"
#include "core/IEditorValueReceiver.h"

namespace reef {

class ICanvasEditorDelegate : public IEditorDelegate {
public:
  explicit ICanvasEditorDelegate(int nParams);
  ~ICanvasEditorDelegate() override;

  // Installs the receiver of the values sent to the editor (nullptr: no editor is open). The
  // receiver is not owned and must stay alive until it is replaced or removed.
  void SetEditorValueReceiver(IEditorValueReceiver* receiver) { receiver_ = receiver; }
  IEditorValueReceiver* GetEditorValueReceiver() const { return receiver_; }

  // Forwards to the receiver; dropped while none is installed.
  void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized) override;

private:
  IEditorValueReceiver* receiver_ = nullptr;
};

} // namespace reef
