#pragma once
// The plug-in side of the editor link: the parameter set and the operations that carry
// values between the editor's controls and the parameters.
//
// Threads: every operation here runs on the user-interface thread, except the parameter value
// reads (IParam::Value), which any thread may perform.

#include <memory>

#include "core/IMidiMsg.h"
#include "core/IParam.h"
#include "core/IPluginConfig.h"

namespace reef {

class IEditorDelegate {
public:
  // Creates `nParams` parameters, each still to be set up by the plug-in's constructor.
  explicit IEditorDelegate(int nParams);
  virtual ~IEditorDelegate();
  IEditorDelegate(const IEditorDelegate&) = delete;
  IEditorDelegate& operator=(const IEditorDelegate&) = delete;

  int NParams() const { return nParams_; }
  // The parameter at `paramIdx`, or nullptr outside 0..NParams()-1.
  IParam* GetParam(int paramIdx);
  const IParam* GetParam(int paramIdx) const;

  // Plug-in to editor: one parameter's value, normalized or plain.
  virtual void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized) = 0;
  // Sends every parameter's normalized value, in index order.
  void SendCurrentParamValuesFromDelegate();

  // The editor has opened: it receives every parameter's normalized value.
  virtual void OnUIOpen();

  // Editor to plug-in: a change gesture begins or ends for one parameter.
  virtual void BeginInformHostOfParamChangeFromUI(int paramIdx) = 0;
  virtual void EndInformHostOfParamChangeFromUI(int paramIdx) = 0;
  // Editor to plug-in: a control wrote the normalized value of one parameter. This base
  // version only notifies OnParamChangeUI with the source kUI.
  virtual void SendParameterValueFromUI(int paramIdx, double normalizedValue);
  // A parameter was changed from the editor; nothing by default.
  virtual void OnParamChangeUI(int paramIdx, EParamSource source);
  // An editor message the plug-in may handle; answers whether it did (not by default).
  virtual bool OnMessage(int msgTag, int ctrlTag, int dataSize, const void* data);
  // A MIDI message or system-exclusive message that the processor received, handed to the
  // editor side afterwards (the bytes of `msg` are valid during the call only); nothing by
  // default.
  virtual void OnMidiMsgUI(const IMidiMsg& msg);
  virtual void OnSysexMsgUI(const ISysEx& msg);

  // Editor size in logical pixels and the limits a host resize request is clamped to.
  int GetEditorWidth() const { return editorWidth_; }
  int GetEditorHeight() const { return editorHeight_; }
  void SetEditorSize(int width, int height);
  void SetSizeConstraints(int minWidth, int maxWidth, int minHeight, int maxHeight);
  // Clamps a requested size to the limits, width and height independently.
  void ConstrainEditorResize(int& width, int& height) const;

private:
  int nParams_;
  std::unique_ptr<IParam[]> params_;
  int editorWidth_ = 0;
  int editorHeight_ = 0;
  int minWidth_ = 0;
  int maxWidth_ = 0;
  int minHeight_ = 0;
  int maxHeight_ = 0;
};

} // namespace reef
