#include "ui/ISVG.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "ui/IResource.h"

namespace reef::ui {

// A parsed document and its intrinsic size in pixels.
struct ISVG::Image {
  RsvgHandle* handle = nullptr;
  double width = 0.0;
  double height = 0.0;

  ~Image() {
    if (handle) g_object_unref(handle);
  }
};

namespace {

// The length of one pixel in `units` at `dpi` pixels per inch; pixels for unknown units.
double PixelInUnits(const std::string& units, double dpi) {
  if (units == "pt") return 72.0 / dpi;
  if (units == "pc") return 6.0 / dpi;
  if (units == "in") return 1.0 / dpi;
  if (units == "cm") return 2.54 / dpi;
  if (units == "mm") return 25.4 / dpi;
  return 1.0;
}

} // namespace

ISVG ISVG::FromResource(const std::string& resourceName, const std::string& units, float dpi) {
  const auto data = IResource::Find(resourceName);
  if (data.empty()) return {};
  ISVG svg = FromData(data.data(), data.size(), dpi);
  const double unit = PixelInUnits(units, dpi);
  if (svg.image_ && unit != 1.0) {
    auto sized = std::make_shared<Image>();
    sized->handle = RSVG_HANDLE(g_object_ref(svg.image_->handle));
    sized->width = svg.image_->width * unit;
    sized->height = svg.image_->height * unit;
    svg.image_ = std::move(sized);
  }
  return svg;
}

ISVG ISVG::FromData(const void* data, std::size_t size, float dpi) {
  ISVG svg;
  if (!data || size == 0 || !(dpi > 0.f)) return svg;
  RsvgHandle* handle = rsvg_handle_new_from_data(static_cast<const guint8*>(data), size, nullptr);
  if (!handle) return svg;
  auto image = std::make_shared<Image>();
  image->handle = handle;
  rsvg_handle_set_dpi(handle, dpi);
  gdouble width = 0.0;
  gdouble height = 0.0;
  if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &width, &height)) {
    // No absolute size: the view box gives the size.
    RsvgRectangle viewBox{};
    gboolean hasViewBox = FALSE;
    rsvg_handle_get_intrinsic_dimensions(handle, nullptr, nullptr, nullptr, nullptr, &hasViewBox,
                                         &viewBox);
    if (!hasViewBox) return svg;
    width = viewBox.width;
    height = viewBox.height;
  }
  if (!(width > 0.0 && height > 0.0 && std::isfinite(width) && std::isfinite(height))) return svg;
  image->width = width;
  image->height = height;
  svg.image_ = std::move(image);
  return svg;
}

float ISVG::Width() const {
  return image_ ? static_cast<float>(image_->width) : 0.f;
}

float ISVG::Height() const {
  return image_ ? static_cast<float>(image_->height) : 0.f;
}

bool ISVG::Rasterize(int width, int height, unsigned char* rgba) const {
  if (!image_ || width <= 0 || height <= 0 || !rgba) return false;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return false;
  }
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, width / image_->width, height / image_->height);
  const RsvgRectangle viewport{0.0, 0.0, image_->width, image_->height};
  const bool rendered = rsvg_handle_render_document(image_->handle, cr, &viewport, nullptr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  if (rendered) {
    // Cairo's pixels are native-endian 32-bit words, alpha in the top byte, colour
    // premultiplied by alpha: unpremultiply into RGBA bytes, rounding to nearest.
    const unsigned char* source = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(source + y * stride);
      unsigned char* out = rgba + static_cast<std::size_t>(y) * width * 4;
      for (int x = 0; x < width; ++x, out += 4) {
        const std::uint32_t pixel = row[x];
        const unsigned alpha = pixel >> 24;
        const unsigned channels[3] = {(pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff};
        for (int c = 0; c < 3; ++c) {
          out[c] =
              alpha == 0 ? 0 : static_cast<unsigned char>((channels[c] * 255 + alpha / 2) / alpha);
        }
        out[3] = static_cast<unsigned char>(alpha);
      }
    }
  }
  cairo_surface_destroy(surface);
  return rendered;
}

} // namespace reef::ui
