#pragma once
// The plug-in's view of its editor's graphics context: what the editor delegate needs to
// open, size and close the editor and to send it parameter values. The framework's graphics
// context implements it; the plug-in core never sees the drawing side.
//
// Threads: user-interface thread only.

namespace reef {

class IEditorCanvas {
public:
  virtual ~IEditorCanvas() = default;

  // A parameter value the plug-in sends to the editor: normalized (0..1) when `normalized`,
  // else a plain value. The controls bound to `paramIdx` take it.
  virtual void OnParamValueFromDelegate(int paramIdx, double value, bool normalized) = 0;

  // Opens the platform window inside `parent` (a platform handle; nullptr for none) and
  // answers whether it opened. CloseWindow closes it; the context may be opened again.
  virtual bool OpenWindow(void* parent) = 0;
  virtual void CloseWindow() = 0;

  // Editor size in logical pixels, the draw scale (the user's zoom) and the screen scale
  // (monitor pixels per logical pixel).
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual float GetDrawScale() const = 0;
  virtual float GetScreenScale() const = 0;
  virtual void SetScreenScale(float scale) = 0;
  // Sets the logical size and draw scale. With `resizePlatformWindow` the platform window
  // takes the new size (logical size times draw scale); otherwise only drawing changes.
  virtual void Resize(int width, int height, float drawScale, bool resizePlatformWindow) = 0;

  virtual int NControls() const = 0;
};

} // namespace reef
