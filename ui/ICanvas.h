#pragma once
// The editor's graphics context: it owns the controls, runs the frame cycle (ask every
// control whether it is dirty, redraw only the dirty area), routes mouse and key input to
// the controls, offers them pop-up menus, in-place text entry, cursor control and
// tooltips, and carries values between the controls and the plug-in's parameters.
//
// The drawing operations are pure virtual: a back end draws them (ICanvasNanoVG on OpenGL;
// a recording double in the tests), and a platform layer (ICanvasGtk) provides the window,
// the frame source and the input. Coordinates are logical canvas pixels (the editor's
// 1180 x 800 design); the back end applies the draw scale and the screen scale.
// Angles are degrees measured from the top of the circle, increasing clockwise.
//
// Threads: user-interface thread only, every operation.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/IEditorCanvas.h"
#include "ui/IColor.h"
#include "ui/IControl.h"
#include "ui/IKeyPress.h"
#include "ui/IMouseMod.h"
#include "ui/IPattern.h"
#include "ui/IPopupMenu.h"
#include "ui/IRect.h"
#include "ui/IRectList.h"
#include "ui/ISVG.h"
#include "ui/IText.h"

namespace reef {
class IEditorDelegate;
}

namespace reef::ui {

class ICornerResizerControl;
class ITextEntryControl;

enum class EWinding { Clockwise, CounterClockwise };

class ICanvas : public IEditorCanvas {
public:
  // Keys no control took: answer whether handled.
  using KeyHandlerFunction = std::function<bool(float x, float y, const IKeyPress& key)>;

  // An editor of `width` x `height` logical pixels for `delegate`, redrawn at most `fps`
  // times per second, at draw scale `scale`.
  ICanvas(IEditorDelegate& delegate, int width, int height, int fps, float scale);
  ~ICanvas() override;
  ICanvas(const ICanvas&) = delete;
  ICanvas& operator=(const ICanvas&) = delete;

  IEditorDelegate& GetDelegate() const { return delegate_; }

  // --- Controls. Creation order is drawing order; later controls lie on top.
  // Appends `control` (owned); it learns its canvas and delegate. Returns it.
  IControl* AttachControl(std::unique_ptr<IControl> control);
  template <typename T>
  T* Attach(std::unique_ptr<T> control) {
    T* attached = control.get();
    AttachControl(std::move(control));
    return attached;
  }
  IControl* GetControl(int index) const;
  int NControls() const override { return static_cast<int>(controls_.size()); }
  void SetAllControlsDirty();
  // The in-place text entry all value entry uses, and the resize grip; both are searched
  // before the control list and drawn on top of it.
  void AttachTextEntryControl();
  ITextEntryControl* GetTextEntryControl() const { return textEntry_.get(); }
  void AttachCornerResizer(std::unique_ptr<ICornerResizerControl> resizer);
  ICornerResizerControl* GetCornerResizer() const { return resizer_.get(); }
  void SetKeyHandlerFunc(KeyHandlerFunction handler) { keyHandler_ = std::move(handler); }
  void EnableMouseOver(bool enable) { mouseOverEnabled_ = enable; }
  bool MouseOverEnabled() const { return mouseOverEnabled_; }
  void EnableTooltips(bool enable) { tooltipsEnabled_ = enable; }
  bool TooltipsEnabled() const { return tooltipsEnabled_; }

  // --- Values between controls and parameters.
  // A value the plug-in sends: every slot bound to `paramIdx` takes it (normalized first when
  // `normalized` is false) through SetValueFromDelegate.
  void OnParamValueFromDelegate(int paramIdx, double value, bool normalized) override;
  // Every control bound to `paramIdx` except `except` shows `normalizedValue` and is marked
  // dirty, without sending anything.
  void UpdatePeerControls(const IControl* except, int paramIdx, double normalizedValue);

  // --- Frame cycle.
  // Asks every control IsDirty (every frame: that is how controls poll their data) and
  // collects the rectangles of the dirty ones, grown by 0.75 pixel, into `area`. True when
  // anything needs drawing.
  bool IsDirty(IRectList& area);
  // Draws every shown control whose rectangle meets `area`, in list order with its blend
  // weight, clipped to the area, then the text entry and the resize grip; the drawn controls
  // become clean.
  void Draw(const IRectList& area);
  // Draws the whole canvas (first frame, exposure, screenshots).
  void DrawAll();
  // The rectangle of the area being drawn while controls draw (the whole canvas otherwise).
  // Drawing outside it is clipped away but still costs its rasterisation, so a control that
  // covers much of the canvas may leave out what lies outside.
  const IRect& GetDrawArea() const { return drawArea_; }
  int FrameRate() const { return fps_; }

  // --- Input from the platform, in canvas pixels.
  void OnMouseDown(float x, float y, const IMouseMod& mod);
  void OnMouseUp(float x, float y, const IMouseMod& mod);
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod);
  void OnMouseDblClick(float x, float y, const IMouseMod& mod);
  void OnMouseWheel(float x, float y, const IMouseMod& mod, float delta);
  // The pointer moved with no button held.
  void OnMouseOver(float x, float y, const IMouseMod& mod);
  // The pointer left the editor.
  void OnMouseOut();
  // The platform cancelled the pointer gesture (a grab was broken): the captured control
  // is told and released, and open change gestures end.
  void OnGestureCancelled();
  bool OnKeyDown(float x, float y, const IKeyPress& key);
  bool OnKeyUp(float x, float y, const IKeyPress& key);
  void OnDrop(const std::vector<std::string>& paths, float x, float y);
  // The control that input at (x, y) goes to: the text entry while shown, the resize grip,
  // then the controls from last to first; hidden, ignoring and (unless their flags allow)
  // disabled controls are skipped. For mouse-over the first control is never considered.
  IControl* GetMouseControl(float x, float y, bool mouseOver) const;
  IControl* GetCapturedControl() const { return captured_; }
  IControl* GetMouseOverControl() const { return mouseOver_; }
  // The tooltip to show at (x, y): the text of the control under the pointer when tooltips
  // are enabled, else empty.
  std::string GetTooltipAt(float x, float y) const;

  // --- Services for controls.
  // The value prompt: a pop-up menu of the display texts of an enum parameter (or a bool
  // parameter with texts), else text entry prefilled with the parameter's display text
  // over the control (a 40 x 16 box centred on it for a parameter without display texts).
  // Nothing for an unbound slot.
  void PromptForValue(IControl& control, int valIdx);
  // The same, with the menu or entry placed at `bounds` instead of the control's rectangle.
  void PromptForValue(IControl& control, int valIdx, const IRect& bounds);
  // Opens the text entry over `bounds` for `control` with `initial` text; its commit goes
  // to control.OnTextEntryCompletion(text, valIdx). Replaces an entry already open.
  void CreateTextEntry(IControl& control, const IText& text, const IRect& bounds,
                       const std::string& initial, int valIdx);
  // Shows `menu` at `bounds` for `control`; when it closes the canvas calls
  // control.OnPopupMenuSelection(menu, valIdx). `menu` must live until then.
  void CreatePopupMenu(IControl& control, IPopupMenu& menu, const IRect& bounds, int valIdx = 0);
  // Called by the platform when the menu shown by ShowPopupMenu closed with item `chosen`
  // (-1: dismissed).
  void OnPopupMenuClosed(int chosen);
  bool IsPopupMenuOpen() const { return popupControl_ != nullptr; }
  // Hides the pointer; with `lock` it stays where it was hidden while drags continue.
  virtual void HideMouseCursor(bool hide, bool lock) = 0;
  // Moves the pointer to canvas point (x, y).
  virtual void MoveMouseCursor(float x, float y) = 0;
  // Opens a web page, mail link or file with the desktop's handler; false when none ran.
  virtual bool OpenURL(const std::string& url) = 0;
  virtual void SetClipboardText(const std::string& text) = 0;
  virtual std::string GetClipboardText() = 0;

  // --- Sizing.
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  float GetDrawScale() const override { return drawScale_; }
  float GetScreenScale() const override { return screenScale_; }
  void SetScreenScale(float scale) override;
  void Resize(int width, int height, float drawScale, bool resizePlatformWindow) override;
  // Limits of the draw scale; the smaller value is the minimum.
  void SetScaleConstraints(float lo, float hi);
  float GetMinScale() const { return minScale_; }
  float GetMaxScale() const { return maxScale_; }

  // --- Resources.
  // Loads a font from the program's resources under `fontId`; false when missing (text in
  // that font is then not drawn).
  virtual bool LoadFont(const std::string& fontId, const std::string& resourceName) = 0;

  // --- Drawing. Called from controls' Draw during the frame cycle.
  virtual void SetGlobalAlpha(float alpha) = 0;
  virtual void FillRect(const IColor& color, const IRect& bounds) = 0;
  virtual void DrawRect(const IColor& color, const IRect& bounds, float thickness = 1.f) = 0;
  virtual void FillRoundRect(const IColor& color, const IRect& bounds, float cornerRadius) = 0;
  virtual void DrawRoundRect(const IColor& color, const IRect& bounds, float cornerRadius,
                             float thickness = 1.f) = 0;
  virtual void FillCircle(const IColor& color, float cx, float cy, float radius) = 0;
  virtual void DrawCircle(const IColor& color, float cx, float cy, float radius,
                          float thickness = 1.f) = 0;
  virtual void DrawArc(const IColor& color, float cx, float cy, float radius, float fromDegrees,
                       float toDegrees, float thickness = 1.f) = 0;
  virtual void DrawLine(const IColor& color, float x1, float y1, float x2, float y2,
                        float thickness = 1.f) = 0;
  // Paths: build with the Path* calls, then fill or stroke (which clears the path).
  virtual void PathClear() = 0;
  virtual void PathMoveTo(float x, float y) = 0;
  virtual void PathLineTo(float x, float y) = 0;
  virtual void PathArc(float cx, float cy, float radius, float fromDegrees, float toDegrees,
                       EWinding winding = EWinding::Clockwise) = 0;
  virtual void PathRect(const IRect& bounds) = 0;
  virtual void PathRoundRect(const IRect& bounds, float cornerRadius) = 0;
  virtual void PathClose() = 0;
  virtual void PathFill(const IPattern& pattern) = 0;
  virtual void PathStroke(const IPattern& pattern, float thickness) = 0;
  // Text on one line, aligned in `bounds` by the style's alignment.
  virtual void DrawText(const IText& text, const std::string& str, const IRect& bounds) = 0;
  // Text wrapped to the width of `bounds`, lines from its top.
  virtual void DrawTextBox(const IText& text, const std::string& str, const IRect& bounds) = 0;
  // The width of `str` in `text`'s style; `bounds` becomes its box when placed in `bounds`
  // by the style's alignment.
  virtual float MeasureText(const IText& text, const std::string& str, IRect& bounds) const = 0;
  // The image scaled into `bounds`.
  virtual void DrawSVG(const ISVG& svg, const IRect& bounds) = 0;
  // Drawing outside `bounds` is clipped away until the next call (an empty rectangle: no
  // clipping beyond the frame's area).
  virtual void ClipRegion(const IRect& bounds) = 0;

protected:
  // The back end's frame: BeginFrame prepares drawing of the whole canvas or an area,
  // ClipToArea limits drawing to one rectangle of it, EndFrame presents.
  virtual void BeginFrame() = 0;
  virtual void ClipToArea(const IRect& area) = 0;
  virtual void EndFrame() = 0;
  // The platform shows `menu` at `bounds` and later calls OnPopupMenuClosed.
  virtual void ShowPopupMenu(IPopupMenu& menu, const IRect& bounds) = 0;
  // After Resize or a screen-scale change: the platform window follows when asked to.
  virtual void OnSizeChanged(bool resizePlatformWindow) = 0;

private:
  void DrawControl(IControl& control);
  void EndGestures();
  void SetMouseOverControl(IControl* control, float x, float y, const IMouseMod& mod);

  IEditorDelegate& delegate_;
  std::vector<std::unique_ptr<IControl>> controls_;
  std::unique_ptr<ITextEntryControl> textEntry_;
  std::unique_ptr<ICornerResizerControl> resizer_;
  KeyHandlerFunction keyHandler_;

  IControl* captured_ = nullptr;
  IControl* mouseOver_ = nullptr;
  std::vector<int> gestureParams_; // change gestures begun at mouse down

  IControl* popupControl_ = nullptr;
  IPopupMenu* popupMenu_ = nullptr;
  int popupValIdx_ = 0;
  IPopupMenu promptMenu_;

  IRect drawArea_;

  int width_;
  int height_;
  int fps_;
  float drawScale_;
  float screenScale_ = 1.f;
  float minScale_ = 1.f;
  float maxScale_ = 1.f;
  bool mouseOverEnabled_ = false;
  bool tooltipsEnabled_ = false;
};

} // namespace reef::ui
