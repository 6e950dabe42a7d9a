#pragma once
// The whole editor of a real plug-in on the recording canvas: the plug-in gets editor hooks
// that make a RecordingCanvas and run the layout, and opens its editor, so values travel
// between plug-in and controls exactly as in the application. Input goes through the canvas
// as the platform would deliver it.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/CoralSieve.h"
#include "editor/EditorLayout.h"
#include "tests/support/RecordingCanvas.h"

namespace coral::test {

class EditorFixture : public ::testing::Test {
protected:
  EditorFixture() {
    reef::IEditorHooks hooks{[this](reef::ICanvasEditorDelegate& delegate) {
                               auto made =
                                   std::make_unique<reef::ui::test::RecordingCanvas>(delegate);
                               canvas = made.get();
                               return std::unique_ptr<reef::IEditorCanvas>(std::move(made));
                             },
                             [this](reef::IEditorCanvas& made) {
                               view = LayoutEditor(static_cast<reef::ui::ICanvas&>(made), *plug);
                             }};
    plug = std::make_unique<CoralSieve>(reef::InstanceInfo{}, std::move(hooks));
    plug->OpenWindow(nullptr);
    canvas->RunFrame();
  }
  ~EditorFixture() override { plug->CloseWindow(); }

  reef::IParam& Param(int paramIdx) { return *plug->GetParam(paramIdx); }
  double Value(int paramIdx) { return Param(paramIdx).Value(); }

  void Click(float x, float y, reef::ui::IMouseMod mod = {.left = true}) {
    canvas->OnMouseDown(x, y, mod);
    canvas->OnMouseUp(x, y, mod);
  }
  void Key(float x, float y, int virtualKey, std::string text = {}, bool shift = false) {
    canvas->OnKeyDown(x, y, reef::ui::IKeyPress(std::move(text), virtualKey, shift));
  }
  void Type(float x, float y, const std::string& text) {
    for (char c : text) Key(x, y, reef::ui::kVKNone, std::string(1, c));
  }
  // One frame; answers the texts it drew.
  std::vector<std::string> Frame() {
    canvas->ClearShapes();
    canvas->RunFrame();
    return canvas->Texts();
  }
  bool Drew(const std::string& text) { return canvas->FindText(text) != nullptr; }

  std::unique_ptr<CoralSieve> plug;
  reef::ui::test::RecordingCanvas* canvas = nullptr;
  std::shared_ptr<ViewState> view;
};

} // namespace coral::test
