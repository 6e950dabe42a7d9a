#pragma once
// The in-place text editor of the canvas: opened over a control's value box, it edits UTF-8
// text with a caret and a selection, copies and pastes through the platform clipboard, and
// hands the committed text to the control that asked for it.
//
// Keys: Ctrl+A selects all, Ctrl+C copies, Ctrl+X cuts, Ctrl+V pastes, Ctrl+Z undoes
// (Ctrl+Shift+Z redoes); Backspace and Delete erase; Enter commits; Escape cancels; Tab is not
// handled; Home, End, Page Up, Page Down and the arrows move the caret (Shift extends the
// selection); typed characters replace the selection. Mouse: a left press places the caret
// at the pressed character (Shift extends), a right press offers "Copy" and "Paste", a press
// outside commits.
//
// Threads: user-interface thread only.

#include <algorithm>
#include <string>

#include "ui/IControl.h"

namespace reef::ui {

class ITextEntryControl : public IControl {
public:
  ITextEntryControl();

  // Opens over `bounds` with `initial` text, all selected, for slot `valIdx` of `requester`.
  void Open(IControl& requester, const IText& style, const IRect& bounds,
            const std::string& initial, int valIdx);
  // The text goes to the requester's OnTextEntryCompletion and the entry closes.
  void Commit();
  // Closes without telling the requester.
  void Cancel();
  bool IsShowing() const { return requester_ != nullptr; }
  // The control the entry is open for (nullptr when closed).
  IControl* GetRequester() const { return requester_; }

  const std::string& GetEditText() const { return text_; }
  int GetCaret() const { return caret_; }
  int GetSelectionStart() const { return std::min(anchor_, caret_); }
  int GetSelectionEnd() const { return std::max(anchor_, caret_); }

  void Draw(ICanvas& g) override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
  void OnMouseDblClick(float x, float y, const IMouseMod& mod) override;
  bool OnKeyDown(float x, float y, const IKeyPress& key) override;
  // "Copy" (0) or "Paste" (1) from the right-click menu.
  void OnPopupMenuSelection(const IPopupMenu& menu, int valIdx) override;

private:
  struct Snapshot {
    std::string text;
    int caret = 0;
    int anchor = 0;
  };

  // Byte offsets of character boundaries, for caret movement over UTF-8.
  int PreviousBoundary(int offset) const;
  int NextBoundary(int offset) const;
  // The caret offset nearest to canvas x.
  int OffsetAt(float x) const;
  void ReplaceSelection(const std::string& insert);
  void RememberForUndo();
  void MoveCaret(int offset, bool extend);
  std::string Selection() const;

  IControl* requester_ = nullptr;
  int valIdx_ = 0;
  IText style_;
  std::string text_;
  int caret_ = 0;
  int anchor_ = 0;
  Snapshot undo_;
  Snapshot redo_;
  bool hasUndo_ = false;
  bool hasRedo_ = false;
  IPopupMenu editMenu_;
};

} // namespace reef::ui
