#include "ui/ICanvasNanoVG.h"

#include <epoxy/gl.h>
#define NANOVG_GL3
#include "nanovg.h"
#include "nanovg_gl.h"
#include "nanovg_gl_utils.h"
#include <stb/stb_truetype.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "ui/IResource.h"

namespace reef::ui {

namespace {

NVGcolor ToNvg(const IColor& color) {
  auto channel = [](int value) { return static_cast<unsigned char>(std::clamp(value, 0, 255)); };
  return nvgRGBA(channel(color.red), channel(color.green), channel(color.blue),
                 channel(color.alpha));
}

// Canvas angles are degrees from the top of the circle, clockwise; NanoVG's are radians from
// the positive x axis, and with y pointing down they too increase clockwise.
float ToNvgAngle(float degrees) {
  return (degrees - 90.f) * std::numbers::pi_v<float> / 180.f;
}

int HorizontalAlign(EAlign align) {
  switch (align) {
  case EAlign::Near:
    return NVG_ALIGN_LEFT;
  case EAlign::Centre:
    return NVG_ALIGN_CENTER;
  case EAlign::Far:
    return NVG_ALIGN_RIGHT;
  }
  return NVG_ALIGN_LEFT;
}

// Where aligned text is anchored in `bounds`, with NanoVG's alignment flags.
struct TextAnchor {
  float x;
  float y;
  int align;
};

TextAnchor AnchorIn(const IText& text, const IRect& bounds) {
  TextAnchor anchor{bounds.left, bounds.MidY(), HorizontalAlign(text.align)};
  if (text.align == EAlign::Centre) anchor.x = bounds.MidX();
  if (text.align == EAlign::Far) anchor.x = bounds.right;
  switch (text.valign) {
  case EVAlign::Top:
    anchor.y = bounds.top;
    anchor.align |= NVG_ALIGN_TOP;
    break;
  case EVAlign::Middle:
    anchor.align |= NVG_ALIGN_MIDDLE;
    break;
  case EVAlign::Bottom:
    anchor.y = bounds.bottom;
    anchor.align |= NVG_ALIGN_BOTTOM;
    break;
  }
  return anchor;
}

} // namespace

ICanvasNanoVG::ICanvasNanoVG(IEditorDelegate& delegate, int width, int height, int fps, float scale)
    : ICanvas(delegate, width, height, fps, scale) {}

ICanvasNanoVG::~ICanvasNanoVG() = default;

bool ICanvasNanoVG::LoadFont(const std::string& fontId, const std::string& resourceName) {
  const auto data = IResource::Find(resourceName);
  if (data.empty()) return false;
  stbtt_fontinfo info;
  const int offset = stbtt_GetFontOffsetForIndex(data.data(), 0);
  if (offset < 0 || !stbtt_InitFont(&info, data.data(), offset)) return false;
  Font font;
  font.data = data;
  font.emToPixelHeight =
      stbtt_ScaleForMappingEmToPixels(&info, 1.f) / stbtt_ScaleForPixelHeight(&info, 1.f);
  if (vg_) {
    font.handle = nvgCreateFontMem(vg_, fontId.c_str(), const_cast<unsigned char*>(data.data()),
                                   static_cast<int>(data.size()), 0);
  }
  fonts_[fontId] = font;
  if (defaultFont_.empty()) defaultFont_ = fontId;
  return true;
}

bool ICanvasNanoVG::CreateDrawingContext(std::string& error) {
  if (vg_) return true;
  // Strokes are drawn in one pass rather than through the stencil: a translucent stroke that
  // crosses itself shows the overlap, but strokes cost a third as much.
  vg_ = nvgCreateGL3(NVG_ANTIALIAS);
  if (!vg_) {
    error = "NanoVG could not create its OpenGL 3 renderer (shaders or buffers failed).";
    return false;
  }
  for (auto& [id, font] : fonts_) {
    font.handle = nvgCreateFontMem(vg_, id.c_str(), const_cast<unsigned char*>(font.data.data()),
                                   static_cast<int>(font.data.size()), 0);
  }
  return true;
}

void ICanvasNanoVG::DestroyDrawingContext() {
  if (!vg_) return;
  ReleaseImages();
  if (buffer_) nvgluDeleteFramebuffer(buffer_);
  buffer_ = nullptr;
  bufferWidth_ = bufferHeight_ = 0;
  completeRatio_ = 0.f;
  nvgDeleteGL3(vg_);
  vg_ = nullptr;
  inFrame_ = false;
  for (auto& entry : fonts_) entry.second.handle = -1;
}

int ICanvasNanoVG::BackingWidth() const {
  return std::max(1, static_cast<int>(std::lround(Width() * PixelRatio())));
}

int ICanvasNanoVG::BackingHeight() const {
  return std::max(1, static_cast<int>(std::lround(Height() * PixelRatio())));
}

bool ICanvasNanoVG::NeedsFullRedraw() const {
  return !buffer_ || completeRatio_ != PixelRatio() || bufferWidth_ != BackingWidth() ||
         bufferHeight_ != BackingHeight();
}

void ICanvasNanoVG::BeginFrame() {
  if (!vg_ || inFrame_) return;
  const int width = BackingWidth();
  const int height = BackingHeight();
  if (!buffer_ || bufferWidth_ != width || bufferHeight_ != height) {
    if (buffer_) nvgluDeleteFramebuffer(buffer_);
    buffer_ = nvgluCreateFramebuffer(vg_, width, height, 0);
    bufferWidth_ = buffer_ ? width : 0;
    bufferHeight_ = buffer_ ? height : 0;
    completeRatio_ = 0.f;
    if (!buffer_) return;
  }
  if (imageRatio_ != PixelRatio()) {
    ReleaseImages();
    imageRatio_ = PixelRatio();
  }
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previousFramebuffer_);
  glBindFramebuffer(GL_FRAMEBUFFER, buffer_->fbo);
  glViewport(0, 0, width, height);
  glDisable(GL_SCISSOR_TEST);
  glClearStencil(0);
  glClear(GL_STENCIL_BUFFER_BIT);
  nvgBeginFrame(vg_, static_cast<float>(Width()), static_cast<float>(Height()), PixelRatio());
  inFrame_ = true;
  clearRects_.clear();
  area_ = IRect(0.f, 0.f, static_cast<float>(Width()), static_cast<float>(Height()));
}

void ICanvasNanoVG::ClipToArea(const IRect& area) {
  if (!Drawing()) return;
  // Whole backing pixels: NanoVG's clip edge is soft across one pixel, and a pixel redrawn
  // at partial coverage over its old self would not come out as a full redraw does.
  const float ratio = PixelRatio();
  const IRect pixels(std::max(0.f, std::floor(area.left * ratio)),
                     std::max(0.f, std::floor(area.top * ratio)),
                     std::min(static_cast<float>(bufferWidth_), std::ceil(area.right * ratio)),
                     std::min(static_cast<float>(bufferHeight_), std::ceil(area.bottom * ratio)));
  area_ = pixels.GetScaled(1.f / ratio);
  clearRects_.push_back(pixels);
  nvgScissor(vg_, area_.left, area_.top, std::max(0.f, area_.W()), std::max(0.f, area_.H()));
}

void ICanvasNanoVG::EndFrame() {
  if (!Drawing()) return;
  // NanoVG draws only when the frame ends, so the area is cleared before anything of the
  // frame reaches the buffer. A frame without area rectangles covers the whole canvas.
  const IRect whole(0.f, 0.f, static_cast<float>(bufferWidth_), static_cast<float>(bufferHeight_));
  if (clearRects_.empty()) clearRects_.push_back(whole);
  glClearColor(0.f, 0.f, 0.f, 1.f);
  glEnable(GL_SCISSOR_TEST);
  bool full = false;
  for (const IRect& pixels : clearRects_) {
    full = full || pixels == whole;
    glScissor(static_cast<int>(pixels.left), bufferHeight_ - static_cast<int>(pixels.bottom),
              static_cast<int>(pixels.W()), static_cast<int>(pixels.H()));
    glClear(GL_COLOR_BUFFER_BIT);
  }
  glDisable(GL_SCISSOR_TEST);
  nvgEndFrame(vg_);
  inFrame_ = false;
  if (full) completeRatio_ = PixelRatio();
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previousFramebuffer_));
}

void ICanvasNanoVG::PresentTo(unsigned framebuffer, int width, int height) {
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glDisable(GL_SCISSOR_TEST);
  glViewport(0, 0, width, height);
  glClearColor(0.f, 0.f, 0.f, 1.f);
  glClearStencil(0);
  glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  if (!buffer_) return;
  // GL rows run bottom up: the canvas's top edge meets the target's top edge.
  glBindFramebuffer(GL_READ_FRAMEBUFFER, buffer_->fbo);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
  glBlitFramebuffer(0, 0, bufferWidth_, bufferHeight_, 0, height - bufferHeight_, bufferWidth_,
                    height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
}

bool ICanvasNanoVG::ReadPixels(std::vector<unsigned char>& rgba, int& width, int& height) const {
  if (!buffer_ || completeRatio_ == 0.f) return false;
  width = bufferWidth_;
  height = bufferHeight_;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  std::vector<unsigned char> bottomUp(rowBytes * height);
  GLint previous = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, buffer_->fbo);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previous));
  if (glGetError() != GL_NO_ERROR) return false;
  rgba.resize(bottomUp.size());
  for (int y = 0; y < height; ++y) {
    std::copy_n(bottomUp.data() + (height - 1 - y) * rowBytes, rowBytes,
                rgba.data() + y * rowBytes);
  }
  return true;
}

void ICanvasNanoVG::SetGlobalAlpha(float alpha) {
  if (Drawing()) nvgGlobalAlpha(vg_, std::clamp(alpha, 0.f, 1.f));
}

void ICanvasNanoVG::FillRect(const IColor& color, const IRect& bounds) {
  if (!Drawing()) return;
  nvgBeginPath(vg_);
  nvgRect(vg_, bounds.left, bounds.top, bounds.W(), bounds.H());
  nvgFillColor(vg_, ToNvg(color));
  nvgFill(vg_);
}

void ICanvasNanoVG::DrawRect(const IColor& color, const IRect& bounds, float thickness) {
  if (!Drawing()) return;
  nvgBeginPath(vg_);
  nvgRect(vg_, bounds.left, bounds.top, bounds.W(), bounds.H());
  PathStroke(color, thickness);
}

void ICanvasNanoVG::FillRoundRect(const IColor& color, const IRect& bounds, float cornerRadius) {
  if (!Drawing()) return;
  nvgBeginPath(vg_);
  nvgRoundedRect(vg_, bounds.left, bounds.top, bounds.W(), bounds.H(), cornerRadius);
  PathFill(color);
}

void ICanvasNanoVG::DrawRoundRect(const IColor& color, const IRect& bounds, float cornerRadius,
                                  float thickness) {
  if (!Drawing()) return;
  nvgBeginPath(vg_);
  nvgRoundedRect(vg_, bounds.left, bounds.top, bounds.W(), bounds.H(), cornerRadius);
  PathStroke(color, thickness);
}

void ICanvasNanoVG::FillCircle(const IColor& color, float cx, float cy, float radius) {
  if (!Drawing()) return;
  nvgBeginPath(vg_);
  nvgCircle(vg_, cx, cy, radius);
  PathFill(color);
}

void ICanvasNanoVG::DrawCircle(const IColor& color, float cx, float cy, float radius,
                               float thickness) {
  if (!Drawing()) return;
  nvgBeginPath(vg_);
  nvgCircle(vg_, cx, cy, radius);
  PathStroke(color, thickness);
}

void ICanvasNanoVG::DrawArc(const IColor& color, float cx, float cy, float radius,
                            float fromDegrees, float toDegrees, float thickness) {
  if (!Drawing()) return;
  nvgBeginPath(vg_);
  nvgArc(vg_, cx, cy, radius, ToNvgAngle(std::min(fromDegrees, toDegrees)),
         ToNvgAngle(std::max(fromDegrees, toDegrees)), NVG_CW);
  PathStroke(color, thickness);
}

void ICanvasNanoVG::DrawLine(const IColor& color, float x1, float y1, float x2, float y2,
                             float thickness) {
  if (!Drawing()) return;
  nvgBeginPath(vg_);
  nvgMoveTo(vg_, x1, y1);
  nvgLineTo(vg_, x2, y2);
  PathStroke(color, thickness);
}

void ICanvasNanoVG::PathClear() {
  if (Drawing()) nvgBeginPath(vg_);
}

void ICanvasNanoVG::PathMoveTo(float x, float y) {
  if (Drawing()) nvgMoveTo(vg_, x, y);
}

void ICanvasNanoVG::PathLineTo(float x, float y) {
  if (Drawing()) nvgLineTo(vg_, x, y);
}

void ICanvasNanoVG::PathArc(float cx, float cy, float radius, float fromDegrees, float toDegrees,
                            EWinding winding) {
  if (!Drawing()) return;
  nvgArc(vg_, cx, cy, radius, ToNvgAngle(fromDegrees), ToNvgAngle(toDegrees),
         winding == EWinding::Clockwise ? NVG_CW : NVG_CCW);
}

void ICanvasNanoVG::PathRect(const IRect& bounds) {
  if (Drawing()) nvgRect(vg_, bounds.left, bounds.top, bounds.W(), bounds.H());
}

void ICanvasNanoVG::PathRoundRect(const IRect& bounds, float cornerRadius) {
  if (Drawing()) {
    nvgRoundedRect(vg_, bounds.left, bounds.top, bounds.W(), bounds.H(), cornerRadius);
  }
}

void ICanvasNanoVG::PathClose() {
  if (Drawing()) nvgClosePath(vg_);
}

void ICanvasNanoVG::SetPaint(const IPattern& pattern, bool stroke) {
  if (pattern.kind == IPattern::EKind::Solid) {
    (stroke ? nvgStrokeColor : nvgFillColor)(vg_, ToNvg(pattern.startColor));
    return;
  }
  const NVGpaint paint = nvgLinearGradient(vg_, pattern.x1, pattern.y1, pattern.x2, pattern.y2,
                                           ToNvg(pattern.startColor), ToNvg(pattern.endColor));
  (stroke ? nvgStrokePaint : nvgFillPaint)(vg_, paint);
}

void ICanvasNanoVG::PathFill(const IPattern& pattern) {
  if (!Drawing()) return;
  SetPaint(pattern, false);
  nvgFill(vg_);
  nvgBeginPath(vg_);
}

void ICanvasNanoVG::PathStroke(const IPattern& pattern, float thickness) {
  if (!Drawing()) return;
  SetPaint(pattern, true);
  nvgStrokeWidth(vg_, thickness);
  nvgStroke(vg_);
  nvgBeginPath(vg_);
}

bool ICanvasNanoVG::ApplyTextStyle(const IText& text, int nvgAlign) const {
  const auto found = fonts_.find(text.fontId.empty() ? defaultFont_ : text.fontId);
  if (!vg_ || found == fonts_.end() || found->second.handle < 0) return false;
  nvgFontFaceId(vg_, found->second.handle);
  nvgFontSize(vg_, text.size * found->second.emToPixelHeight);
  nvgTextAlign(vg_, nvgAlign);
  nvgFillColor(vg_, ToNvg(text.color));
  return true;
}

void ICanvasNanoVG::DrawText(const IText& text, const std::string& str, const IRect& bounds) {
  if (!Drawing() || str.empty()) return;
  const TextAnchor anchor = AnchorIn(text, bounds);
  if (!ApplyTextStyle(text, anchor.align)) return;
  nvgText(vg_, anchor.x, anchor.y, str.data(), str.data() + str.size());
}

void ICanvasNanoVG::DrawTextBox(const IText& text, const std::string& str, const IRect& bounds) {
  if (!Drawing() || str.empty()) return;
  if (!ApplyTextStyle(text, HorizontalAlign(text.align) | NVG_ALIGN_TOP)) return;
  nvgTextBox(vg_, bounds.left, bounds.top, bounds.W(), str.data(), str.data() + str.size());
}

float ICanvasNanoVG::MeasureText(const IText& text, const std::string& str, IRect& bounds) const {
  const TextAnchor anchor = AnchorIn(text, bounds);
  if (!vg_) return 0.f;
  nvgSave(vg_);
  float box[4] = {};
  float width = 0.f;
  if (ApplyTextStyle(text, anchor.align)) {
    width = nvgTextBounds(vg_, anchor.x, anchor.y, str.data(), str.data() + str.size(), box);
    bounds = IRect(box[0], box[1], box[2], box[3]);
  }
  nvgRestore(vg_);
  return width;
}

int ICanvasNanoVG::SvgImage(const ISVG& svg, int width, int height) {
  for (const CachedImage& image : images_) {
    if (image.svg.Id() == svg.Id() && image.width == width && image.height == height) {
      return image.handle;
    }
  }
  std::vector<unsigned char> rgba(static_cast<std::size_t>(width) * height * 4);
  if (!svg.Rasterize(width, height, rgba.data())) return 0;
  const int handle = nvgCreateImageRGBA(vg_, width, height, 0, rgba.data());
  if (handle != 0) images_.push_back({svg, width, height, handle});
  return handle;
}

void ICanvasNanoVG::ReleaseImages() {
  if (vg_) {
    for (const CachedImage& image : images_) nvgDeleteImage(vg_, image.handle);
  }
  images_.clear();
}

void ICanvasNanoVG::DrawSVG(const ISVG& svg, const IRect& bounds) {
  if (!Drawing() || !svg.IsValid() || bounds.Empty()) return;
  const float ratio = PixelRatio();
  const int width = std::max(1, static_cast<int>(std::lround(bounds.W() * ratio)));
  const int height = std::max(1, static_cast<int>(std::lround(bounds.H() * ratio)));
  const int image = SvgImage(svg, width, height);
  if (image == 0) return;
  nvgBeginPath(vg_);
  nvgRect(vg_, bounds.left, bounds.top, bounds.W(), bounds.H());
  nvgFillPaint(
      vg_, nvgImagePattern(vg_, bounds.left, bounds.top, bounds.W(), bounds.H(), 0.f, image, 1.f));
  nvgFill(vg_);
  nvgBeginPath(vg_);
}

void ICanvasNanoVG::ClipRegion(const IRect& bounds) {
  if (!Drawing()) return;
  nvgScissor(vg_, area_.left, area_.top, std::max(0.f, area_.W()), std::max(0.f, area_.H()));
  if (!bounds.Empty()) nvgIntersectScissor(vg_, bounds.left, bounds.top, bounds.W(), bounds.H());
}

} // namespace reef::ui
