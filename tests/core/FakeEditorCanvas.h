#pragma once
// An editor context that records what the plug-in asks of it: values sent to the editor,
// resizes, opening and closing.

#include <vector>

#include "core/ICanvasEditorDelegate.h"

namespace coral::test {

struct FakeEditorCanvas : reef::IEditorCanvas {
  struct ResizeCall {
    int width;
    int height;
    float scale;
    bool platformWindow;
    bool operator==(const ResizeCall&) const = default;
  };

  int sends = 0;
  int controls = 41;
  int width = 1180;
  int height = 800;
  float drawScale = 1.f;
  float screenScale = 1.f;
  std::vector<ResizeCall> resizes;
  void* parent = nullptr;
  bool open = false;

  void OnParamValueFromDelegate(int, double, bool) override { ++sends; }
  bool OpenWindow(void* window) override { return parent = window, open = true; }
  void CloseWindow() override { open = false; }
  int Width() const override { return width; }
  int Height() const override { return height; }
  float GetDrawScale() const override { return drawScale; }
  float GetScreenScale() const override { return screenScale; }
  void SetScreenScale(float scale) override { screenScale = scale; }
  void Resize(int w, int h, float scale, bool platformWindow) override {
    width = w, height = h, drawScale = scale;
    resizes.push_back({w, h, scale, platformWindow});
  }
  int NControls() const override { return controls; }
};

// Hooks that hand the plug-in `canvas` (not owned: the fake outlives the editor) and count
// the layout runs.
inline reef::IEditorHooks HooksFor(FakeEditorCanvas*& canvas, int& layouts) {
  return {[&canvas](reef::ICanvasEditorDelegate&) {
            auto made = std::make_unique<FakeEditorCanvas>();
            canvas = made.get();
            return std::unique_ptr<reef::IEditorCanvas>(std::move(made));
          },
          [&layouts](reef::IEditorCanvas&) { ++layouts; }};
}

} // namespace coral::test
