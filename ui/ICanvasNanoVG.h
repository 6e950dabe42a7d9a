#pragma once
// The canvas drawn with NanoVG on OpenGL 3.2 core. Every drawing operation of ICanvas is
// turned into NanoVG paths, paints and text; fonts come from the program's resources and SVG
// images are rasterised at the backing pixel size and cached as NanoVG images.
//
// The canvas keeps an off-screen framebuffer of its whole area at the backing size (logical
// size x draw scale x screen scale). A frame redraws only the dirty area into it: each area
// rectangle, widened to whole backing pixels, is cleared and the controls drawn into it are
// clipped to it. The platform layer then presents the buffer to its window (PresentTo), and
// reads it back for screenshots (ReadPixels).
//
// Text sizes are em sizes in canvas pixels. This NanoVG copy sizes fonts by the height from
// descender to ascender, so each font's em size is converted with its own metrics.
//
// Threads: user-interface thread. The drawing context, frame and presentation operations need
// the platform's OpenGL context current; fonts may be loaded before the context exists.

#include <map>
#include <span>
#include <string>
#include <vector>

#include "ui/ICanvas.h"

struct NVGcontext;
struct NVGLUframebuffer;

namespace reef::ui {

class ICanvasNanoVG : public ICanvas {
public:
  ICanvasNanoVG(IEditorDelegate& delegate, int width, int height, int fps, float scale);
  ~ICanvasNanoVG() override;

  // Fonts stay loaded across drawing contexts: a font loaded before the window opens is
  // ready when it does. A text style without a font id uses the first font loaded.
  bool LoadFont(const std::string& fontId, const std::string& resourceName) override;

  void SetGlobalAlpha(float alpha) override;
  void FillRect(const IColor& color, const IRect& bounds) override;
  void DrawRect(const IColor& color, const IRect& bounds, float thickness = 1.f) override;
  void FillRoundRect(const IColor& color, const IRect& bounds, float cornerRadius) override;
  void DrawRoundRect(const IColor& color, const IRect& bounds, float cornerRadius,
                     float thickness = 1.f) override;
  void FillCircle(const IColor& color, float cx, float cy, float radius) override;
  void DrawCircle(const IColor& color, float cx, float cy, float radius,
                  float thickness = 1.f) override;
  // The arc between the two angles, swept clockwise from the smaller one.
  void DrawArc(const IColor& color, float cx, float cy, float radius, float fromDegrees,
               float toDegrees, float thickness = 1.f) override;
  void DrawLine(const IColor& color, float x1, float y1, float x2, float y2,
                float thickness = 1.f) override;
  void PathClear() override;
  void PathMoveTo(float x, float y) override;
  void PathLineTo(float x, float y) override;
  void PathArc(float cx, float cy, float radius, float fromDegrees, float toDegrees,
               EWinding winding = EWinding::Clockwise) override;
  void PathRect(const IRect& bounds) override;
  void PathRoundRect(const IRect& bounds, float cornerRadius) override;
  void PathClose() override;
  void PathFill(const IPattern& pattern) override;
  void PathStroke(const IPattern& pattern, float thickness) override;
  void DrawText(const IText& text, const std::string& str, const IRect& bounds) override;
  void DrawTextBox(const IText& text, const std::string& str, const IRect& bounds) override;
  // Needs the drawing context: 0 and `bounds` unchanged without one.
  float MeasureText(const IText& text, const std::string& str, IRect& bounds) const override;
  void DrawSVG(const ISVG& svg, const IRect& bounds) override;
  void ClipRegion(const IRect& bounds) override;

protected:
  // --- For the platform layer, with its OpenGL context current.
  // Creates the NanoVG context and registers the loaded fonts; false with a reason in
  // `error` when the context cannot be created.
  bool CreateDrawingContext(std::string& error);
  // Releases the off-screen framebuffer, cached images and the NanoVG context.
  void DestroyDrawingContext();
  bool HasDrawingContext() const { return vg_ != nullptr; }
  // Backing pixels per logical canvas pixel, and the backing size.
  float PixelRatio() const { return GetDrawScale() * GetScreenScale(); }
  int BackingWidth() const;
  int BackingHeight() const;
  // True until a whole frame has been drawn at the current backing size: the platform then
  // draws everything rather than the dirty area.
  bool NeedsFullRedraw() const;
  // Copies the off-screen buffer to `framebuffer` (`width` x `height` pixels), top-left
  // aligned; the rest of `framebuffer` is cleared to black. Colour and stencil are cleared
  // first.
  void PresentTo(unsigned framebuffer, int width, int height);
  // The off-screen buffer as 8-bit RGBA, rows top first; false when there is none.
  bool ReadPixels(std::vector<unsigned char>& rgba, int& width, int& height) const;

  void BeginFrame() override;
  void ClipToArea(const IRect& area) override;
  void EndFrame() override;

private:
  struct Font {
    std::span<const unsigned char> data;
    float emToPixelHeight = 1.f; // (ascender - descender) / units per em
    int handle = -1;             // NanoVG font, -1 without a context
  };
  struct CachedImage {
    ISVG svg; // keeps the parsed image alive, so its identity stays unique
    int width = 0;
    int height = 0;
    int handle = 0;
  };

  bool Drawing() const { return vg_ != nullptr && inFrame_; }
  // Selects the font, size, alignment and colour of `text`; false when its font is missing.
  bool ApplyTextStyle(const IText& text, int nvgAlign) const;
  int SvgImage(const ISVG& svg, int width, int height);
  void ReleaseImages();
  void SetPaint(const IPattern& pattern, bool stroke);

  NVGcontext* vg_ = nullptr;
  NVGLUframebuffer* buffer_ = nullptr;
  int bufferWidth_ = 0;
  int bufferHeight_ = 0;
  float completeRatio_ = 0.f; // pixel ratio of the last whole frame in the buffer (0: none)
  bool inFrame_ = false;
  int previousFramebuffer_ = 0;
  IRect area_;                    // the area rectangle being drawn, in whole backing pixels
  std::vector<IRect> clearRects_; // the frame's area rectangles, cleared before drawing
  float imageRatio_ = 0.f;        // pixel ratio the cached images were made at
  std::map<std::string, Font> fonts_;
  std::string defaultFont_;
  std::vector<CachedImage> images_;
};

} // namespace reef::ui
