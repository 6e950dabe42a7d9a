#include "ui/ITextEntryControl.h"

#include <cmath>

#include "ui/ICanvas.h"

namespace reef::ui {

namespace {

constexpr float kCaretWidth = 1.f;
constexpr int kSelectionAlpha = 90;
enum EEditMenuItem { kMenuCopy = 0, kMenuPaste = 1 };

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Typed text worth inserting: no control characters.
bool IsPrintable(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

} // namespace

ITextEntryControl::ITextEntryControl() : IControl(IRect()), editMenu_({"Copy", "Paste"}) {
  Hide(true);
}

void ITextEntryControl::Open(IControl& requester, const IText& style, const IRect& bounds,
                             const std::string& initial, int valIdx) {
  requester_ = &requester;
  valIdx_ = valIdx;
  style_ = style;
  text_ = initial;
  anchor_ = 0;
  caret_ = static_cast<int>(text_.size());
  hasUndo_ = hasRedo_ = false;
  SetTargetAndDrawRects(bounds);
  Hide(false);
  SetDirty(false);
}

void ITextEntryControl::Commit() {
  if (!requester_) return;
  IControl* requester = requester_;
  const std::string text = text_;
  const int valIdx = valIdx_;
  Cancel();
  requester->OnTextEntryCompletion(text, valIdx);
}

void ITextEntryControl::Cancel() {
  if (!requester_) return;
  requester_->SetDirty(false);
  requester_ = nullptr;
  Hide(true);
  SetTargetAndDrawRects(IRect());
}

void ITextEntryControl::Draw(ICanvas& g) {
  const IRect& bounds = GetRect();
  g.FillRect(style_.entryBackground, bounds);
  IRect textBox = bounds;
  g.MeasureText(style_, text_, textBox);
  const auto xAt = [&](int offset) {
    IRect box = bounds;
    return textBox.left + g.MeasureText(style_, text_.substr(0, offset), box);
  };
  if (GetSelectionStart() != GetSelectionEnd()) {
    g.FillRect(style_.entryText.WithAlpha(kSelectionAlpha),
               IRect(xAt(GetSelectionStart()), bounds.top + 2.f, xAt(GetSelectionEnd()),
                     bounds.bottom - 2.f));
  }
  g.DrawText(style_.WithColor(style_.entryText), text_, bounds);
  const float caretX = std::round(xAt(caret_));
  g.FillRect(style_.entryText,
             IRect(caretX, bounds.top + 3.f, caretX + kCaretWidth, bounds.bottom - 3.f));
}

void ITextEntryControl::OnMouseDown(float x, float, const IMouseMod& mod) {
  if (mod.right) {
    if (GetUI()) GetUI()->CreatePopupMenu(*this, editMenu_, GetRect());
    return;
  }
  MoveCaret(OffsetAt(x), mod.shift);
}

void ITextEntryControl::OnMouseDrag(float x, float, float, float, const IMouseMod&) {
  MoveCaret(OffsetAt(x), true);
}

void ITextEntryControl::OnMouseDblClick(float, float, const IMouseMod&) {
  anchor_ = 0;
  caret_ = static_cast<int>(text_.size());
  SetDirty(false);
}

bool ITextEntryControl::OnKeyDown(float, float, const IKeyPress& key) {
  const int end = static_cast<int>(text_.size());
  if (key.ctrl) {
    switch (key.vk) {
    case 'A':
      anchor_ = 0, caret_ = end;
      break;
    case 'C':
      if (GetUI()) GetUI()->SetClipboardText(Selection());
      break;
    case 'X':
      if (GetUI()) GetUI()->SetClipboardText(Selection());
      ReplaceSelection("");
      break;
    case 'V':
      if (GetUI()) ReplaceSelection(GetUI()->GetClipboardText());
      break;
    case 'Z':
      if (key.shift ? hasRedo_ : hasUndo_) {
        Snapshot& from = key.shift ? redo_ : undo_;
        Snapshot& to = key.shift ? undo_ : redo_;
        to = {text_, caret_, anchor_};
        text_ = from.text, caret_ = from.caret, anchor_ = from.anchor;
        (key.shift ? hasUndo_ : hasRedo_) = true;
        (key.shift ? hasRedo_ : hasUndo_) = false;
      }
      break;
    default:
      return false;
    }
    SetDirty(false);
    return true;
  }
  switch (key.vk) {
  case kVKReturn:
    Commit();
    return true;
  case kVKEscape:
    Cancel();
    return true;
  case kVKTab:
    return false;
  case kVKBackspace:
    if (GetSelectionStart() == GetSelectionEnd()) anchor_ = PreviousBoundary(caret_);
    ReplaceSelection("");
    break;
  case kVKDelete:
    if (GetSelectionStart() == GetSelectionEnd()) anchor_ = NextBoundary(caret_);
    ReplaceSelection("");
    break;
  case kVKHome:
  case kVKPageUp:
  case kVKUp:
    MoveCaret(0, key.shift);
    break;
  case kVKEnd:
  case kVKPageDown:
  case kVKDown:
    MoveCaret(end, key.shift);
    break;
  case kVKLeft:
    if (!key.shift && GetSelectionStart() != GetSelectionEnd()) {
      MoveCaret(GetSelectionStart(), false);
    } else {
      MoveCaret(PreviousBoundary(caret_), key.shift);
    }
    break;
  case kVKRight:
    if (!key.shift && GetSelectionStart() != GetSelectionEnd()) {
      MoveCaret(GetSelectionEnd(), false);
    } else {
      MoveCaret(NextBoundary(caret_), key.shift);
    }
    break;
  default:
    if (!IsPrintable(key.utf8)) return false;
    ReplaceSelection(key.utf8);
  }
  SetDirty(false);
  return true;
}

void ITextEntryControl::OnPopupMenuSelection(const IPopupMenu& menu, int) {
  switch (menu.GetChosenItemIdx()) {
  case kMenuCopy:
    if (GetUI()) GetUI()->SetClipboardText(Selection());
    break;
  case kMenuPaste:
    if (GetUI()) ReplaceSelection(GetUI()->GetClipboardText());
    break;
  default:
    return;
  }
  SetDirty(false);
}

int ITextEntryControl::PreviousBoundary(int offset) const {
  if (offset <= 0) return 0;
  --offset;
  while (offset > 0 && IsContinuationByte(text_[offset])) --offset;
  return offset;
}

int ITextEntryControl::NextBoundary(int offset) const {
  const int end = static_cast<int>(text_.size());
  if (offset >= end) return end;
  ++offset;
  while (offset < end && IsContinuationByte(text_[offset])) ++offset;
  return offset;
}

int ITextEntryControl::OffsetAt(float x) const {
  ICanvas* ui = GetUI();
  if (!ui) return caret_;
  const IRect& bounds = GetRect();
  IRect textBox = bounds;
  ui->MeasureText(style_, text_, textBox);
  int best = 0;
  float bestDistance = std::abs(x - textBox.left);
  for (int offset = 0, end = static_cast<int>(text_.size()); offset < end;) {
    offset = NextBoundary(offset);
    IRect box = bounds;
    const float distance =
        std::abs(x - (textBox.left + ui->MeasureText(style_, text_.substr(0, offset), box)));
    if (distance < bestDistance) bestDistance = distance, best = offset;
  }
  return best;
}

void ITextEntryControl::ReplaceSelection(const std::string& insert) {
  std::string clean;
  for (char c : insert) {
    if (c != '\n' && c != '\r') clean += c;
  }
  RememberForUndo();
  const int start = GetSelectionStart();
  text_.replace(start, GetSelectionEnd() - start, clean);
  caret_ = anchor_ = start + static_cast<int>(clean.size());
}

void ITextEntryControl::RememberForUndo() {
  undo_ = {text_, caret_, anchor_};
  hasUndo_ = true;
  hasRedo_ = false;
}

void ITextEntryControl::MoveCaret(int offset, bool extend) {
  caret_ = std::clamp(offset, 0, static_cast<int>(text_.size()));
  if (!extend) anchor_ = caret_;
  SetDirty(false);
}

std::string ITextEntryControl::Selection() const {
  return text_.substr(GetSelectionStart(), GetSelectionEnd() - GetSelectionStart());
}

} // namespace reef::ui
