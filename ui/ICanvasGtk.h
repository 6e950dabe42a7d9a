#pragma once
// The editor's platform window on Linux: a GtkGLArea (OpenGL 3.2 core with a stencil buffer)
// packed into a container of the host's window, driven by the GTK frame clock. It runs the
// canvas's frame cycle at most at the canvas frame rate and only draws when something is
// dirty; it translates GDK input into the canvas's events in canvas pixels and key codes,
// and provides the cursor, pop-up menus, tooltips, the clipboard, links, file drops and
// screenshots.
//
// Mouse: a press captures the pointer until its release (drags reach the captured control
// outside the editor); the second press of a double click, judged by GTK's double-click time
// and distance, arrives only as a double click, not as a second press. Keys the canvas does
// not handle propagate to the window, so its accelerators work while the editor has focus.
//
// Threads: user-interface thread (the GTK main loop) only.

#include <cstdint>
#include <memory>
#include <string>

#include "ui/ICanvasNanoVG.h"

namespace reef::ui {

class ICanvasGtk : public ICanvasNanoVG {
public:
  ICanvasGtk(IEditorDelegate& delegate, int width, int height, int fps, float scale);
  ~ICanvasGtk() override;

  // `parent` is a GtkContainer (a GtkBox: the editor is packed at its start) of a window;
  // the editor asks for its size times the draw scale. False for a missing parent. Without
  // a usable OpenGL context the editor stays undrawn, and says why on stderr and in a
  // dialog; the window stays.
  bool OpenWindow(void* parent) override;
  // Stops the frame clock, releases the OpenGL resources and removes the editor from its
  // parent. Input arriving after this is dropped.
  void CloseWindow() override;
  // The editor's GtkGLArea (a GtkWidget*), nullptr while closed.
  void* GetWidget() const;
  // Since the editor opened: frame cycles run, and frames rendered with the canvas drawn
  // (the first one means the editor is on screen).
  std::uint64_t FrameCycles() const;
  std::uint64_t FramesRendered() const;

  void HideMouseCursor(bool hide, bool lock) override;
  void MoveMouseCursor(float x, float y) override;
  // A URI with a scheme as it is; an absolute path as a file; text with '@' as a mail
  // address; anything else as a web address.
  bool OpenURL(const std::string& url) override;
  void SetClipboardText(const std::string& text) override;
  std::string GetClipboardText() override;

  // Draws the whole canvas at its backing size into the off-screen buffer and writes it to
  // `path` as an 8-bit RGBA PNG, top row first, through a temporary file renamed into place.
  // False when the editor is not drawn (closed, no OpenGL) or the file cannot be written.
  bool SaveScreenshot(const std::string& path);

protected:
  void ShowPopupMenu(IPopupMenu& menu, const IRect& bounds) override;
  void OnSizeChanged(bool resizePlatformWindow) override;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace reef::ui
