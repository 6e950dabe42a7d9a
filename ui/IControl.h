#pragma once
// The base of everything drawn in the editor: a rectangle of the canvas with value slots
// bound to parameters, flags for dirty, hidden and disabled, a tooltip, and virtual
// operations for drawing and for mouse and key input.
//
// Threads: user-interface thread only. Every virtual below is called by the canvas on that
// thread (input routing, the frame cycle) or by other controls and the editor.
//
// Values: each slot holds a parameter index (-1 when unbound) and a normalized value 0..1.
// A user edit ends in SetDirty(true), which sends the value to the plug-in and to the other
// controls bound to the same parameter; values from the plug-in arrive through
// SetValueFromDelegate.

#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "ui/IKeyPress.h"
#include "ui/IMouseMod.h"
#include "ui/IPopupMenu.h"
#include "ui/IRect.h"
#include "ui/IText.h"

namespace reef {
class IEditorDelegate;
class IParam;
} // namespace reef

namespace reef::ui {

class ICanvas;

inline constexpr int kNoParameter = -1;
inline constexpr int kAllValues = -1; // value index that addresses every slot

class IControl {
public:
  // Called with the control after a user edit of its value.
  using ActionFunction = std::function<void(IControl& control)>;
  // One step of an animation: progress 0..1 of its duration.
  using AnimationFunction = std::function<void(IControl& control, double progress)>;
  using KeyBindingFunction = std::function<void(IControl& control)>;

  // A control with one value slot bound to `paramIdx` (kNoParameter: unbound).
  explicit IControl(const IRect& bounds, int paramIdx = kNoParameter);
  // A control with one value slot per entry of `params`.
  IControl(const IRect& bounds, std::initializer_list<int> params);
  virtual ~IControl();
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // Mouse input, in canvas pixels. The base OnMouseDown opens the value prompt for a right
  // press on a bound value (unless the prompt is disabled); the base double click sets the
  // slot under the pointer to its default. The others do nothing.
  virtual void OnMouseDown(float x, float y, const IMouseMod& mod);
  virtual void OnMouseUp(float x, float y, const IMouseMod& mod);
  virtual void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod);
  virtual void OnMouseDblClick(float x, float y, const IMouseMod& mod);
  virtual void OnMouseWheel(float x, float y, const IMouseMod& mod, float delta);
  // Keys: answer whether the key was handled (not by default).
  virtual bool OnKeyDown(float x, float y, const IKeyPress& key);
  virtual bool OnKeyUp(float x, float y, const IKeyPress& key);
  // The pointer is over the control (sets mouseIsOver; marks dirty when it was clear), or
  // left it (clears it; marks dirty when it was set).
  virtual void OnMouseOver(float x, float y, const IMouseMod& mod);
  virtual void OnMouseOut();
  // A pointer gesture this control received was cancelled (its button will not come up).
  virtual void OnTouchCancelled(float x, float y, const IMouseMod& mod);
  // Files dropped on the control; OnDropMultiple passes the first to OnDrop.
  virtual void OnDrop(const std::string& path);
  virtual void OnDropMultiple(const std::vector<std::string>& paths);
  // Called after the position or size changed.
  virtual void OnResize();
  // A key bound with SetKeyBinding: runs its function and answers true.
  virtual bool OnKeyShortcut(const IKeyPress& key);
  // The pop-up menu this control asked for has closed (chosen item in `menu`, -1 when
  // dismissed). The base sets a bound, prompt-enabled value to the chosen entry as a user
  // edit.
  virtual void OnPopupMenuSelection(const IPopupMenu& menu, int valIdx);
  // The in-place text entry opened for this control was committed with `text`.
  virtual void OnTextEntryCompletion(const std::string& text, int valIdx);

  // Draws the control into `g` (the canvas applies the blend weight as global alpha).
  virtual void Draw(ICanvas& g) = 0;
  // A dot of radius 2 near the top-right corner while the highlight flag is set.
  virtual void DrawHighlight(ICanvas& g);

  virtual void SetParamIdx(int paramIdx, int valIdx = 0);
  // The value slot at (x, y): 0 for a one-slot control, else -1.
  virtual int GetValIdxForPos(float x, float y) const;
  // A value from the plug-in: ignored while the mouse has captured this control; otherwise
  // stored and marked dirty when it differs (no action).
  virtual void SetValueFromDelegate(double value, int valIdx = 0);
  // A value the user chose by other means than dragging: when it differs, stored and sent
  // as a user edit.
  virtual void SetValueFromUserInput(double value, int valIdx = 0);
  // The addressed slots (kAllValues: all) take their parameter's default as a user edit.
  virtual void SetValueToDefault(int valIdx = kAllValues);
  virtual void SetValue(double value, int valIdx = 0);
  virtual void SetText(const IText& text);
  // Moves to (max(0, x), max(0, y)) keeping the size; resizes from the top-left corner
  // (negative sizes become 0). Both clear mouseIsOver and call OnResize.
  virtual void SetPosition(float x, float y);
  virtual void SetSize(float width, float height);
  virtual void Hide(bool hide);
  // Disabled controls draw at 25 % opacity and receive no mouse input unless their flags
  // say so.
  virtual void SetDisabled(bool disable);
  virtual void SetIgnoreMouse(bool ignore);
  virtual bool IsHit(float x, float y) const;
  // Clamps the addressed values to 0..1 and marks dirty. With `triggerAction` each
  // addressed bound slot is sent to the plug-in as a user edit, the other controls bound
  // to the same parameter follow, and the action function runs.
  virtual void SetDirty(bool triggerAction = true, int valIdx = kAllValues);
  virtual void SetClean();
  // The per-frame dirty query: runs a pending animation step (true while animating), else
  // answers the dirty flag. Controls that poll their data override it; keep it cheap.
  virtual bool IsDirty();
  // The animation ended: it is cleared, the control marked dirty and the completion
  // function (if any) called.
  virtual void OnEndAnimation();

  const IRect& GetRect() const { return rect_; }
  const IRect& GetTargetRect() const { return targetRect_; }
  void SetRect(const IRect& bounds) { rect_ = bounds; }
  void SetTargetRect(const IRect& bounds) { targetRect_ = bounds; }
  void SetTargetAndDrawRects(const IRect& bounds) { rect_ = targetRect_ = bounds; }

  int NVals() const { return static_cast<int>(vals_.size()); }
  double GetValue(int valIdx = 0) const;
  int GetParamIdx(int valIdx = 0) const;
  // The parameter bound to slot `valIdx`, or nullptr (unbound, or not attached yet).
  const IParam* GetParam(int valIdx = 0) const;

  ICanvas* GetUI() const { return ui_; }
  IEditorDelegate* GetDelegate() const { return delegate_; }
  // Called by the canvas when the control is attached.
  void SetUI(ICanvas* ui, IEditorDelegate* delegate);

  const IText& GetText() const { return text_; }
  const std::string& GetTooltip() const { return tooltip_; }
  void SetTooltip(std::string tooltip) { tooltip_ = std::move(tooltip); }
  void SetActionFunction(ActionFunction action) { action_ = std::move(action); }
  // Runs `animation` over `durationMs` from the next frame; `completion` runs at the end.
  void SetAnimation(AnimationFunction animation, int durationMs,
                    ActionFunction completion = nullptr);
  bool IsAnimating() const { return animation_ != nullptr; }
  void SetKeyBinding(int virtualKey, KeyBindingFunction function);

  bool IsHidden() const { return hidden_; }
  bool IsDisabled() const { return disabled_; }
  bool GetIgnoreMouse() const { return ignoreMouse_; }
  bool GetMouseIsOver() const { return mouseIsOver_; }
  bool GetPromptDisabled() const { return promptDisabled_; }
  void DisablePrompt(bool disable) { promptDisabled_ = disable; }
  bool GetMouseOverWhenDisabled() const { return mouseOverWhenDisabled_; }
  void SetMouseOverWhenDisabled(bool allow) { mouseOverWhenDisabled_ = allow; }
  bool GetMouseEventsWhenDisabled() const { return mouseEventsWhenDisabled_; }
  void SetMouseEventsWhenDisabled(bool allow) { mouseEventsWhenDisabled_ = allow; }
  bool GetHighlight() const { return highlight_; }
  void SetHighlight(bool highlight) { highlight_ = highlight; }
  // Global alpha the canvas draws the control with: 1, or 0.25 while disabled.
  float GetBlend() const { return blend_; }

protected:
  // The in-place text entry or value prompt of the canvas, for slot `valIdx`.
  void PromptUserInput(int valIdx = 0);

private:
  struct ValueSlot {
    int paramIdx = kNoParameter;
    double value = 0.0;
  };

  void SendSlotToDelegate(int valIdx);

  IRect rect_;
  IRect targetRect_;
  std::vector<ValueSlot> vals_;
  ICanvas* ui_ = nullptr;
  IEditorDelegate* delegate_ = nullptr;
  IText text_;
  std::string tooltip_;
  ActionFunction action_;
  std::map<int, KeyBindingFunction> keyBindings_;

  AnimationFunction animation_;
  ActionFunction animationCompletion_;
  std::chrono::steady_clock::time_point animationStart_;
  double animationDurationMs_ = 0.0;

  bool dirty_ = true;
  bool hidden_ = false;
  bool disabled_ = false;
  bool promptDisabled_ = false;
  bool mouseOverWhenDisabled_ = false;
  bool mouseEventsWhenDisabled_ = false;
  bool ignoreMouse_ = false;
  bool mouseIsOver_ = false;
  bool highlight_ = false;
  float blend_ = 1.f;
};

} // namespace reef::ui
