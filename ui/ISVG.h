#pragma once
// A vector image parsed from SVG (by librsvg), shared by copies. An ISVG without an image
// (missing or broken source) is not valid and draws nothing.

#include <memory>
#include <string>

namespace reef::ui {

class ISVG {
public:
  ISVG() = default;
  // Parses the program resource `resourceName`, sizing lengths in `units` ("px") at `dpi`.
  static ISVG FromResource(const std::string& resourceName, const std::string& units = "px",
                           float dpi = 72.f);
  // Parses SVG text held in memory.
  static ISVG FromData(const void* data, std::size_t size, float dpi = 72.f);

  bool IsValid() const { return image_ != nullptr; }
  // Intrinsic size in pixels (0 when not valid).
  float Width() const;
  float Height() const;
  // Renders the image scaled to `width` x `height` pixels into premultiplied-free RGBA
  // bytes, rows top first (`rgba` holds width * height * 4 bytes). False when not valid.
  bool Rasterize(int width, int height, unsigned char* rgba) const;
  // Identity of the parsed image, for caches of rasterised copies.
  const void* Id() const { return image_.get(); }

private:
  struct Image;
  std::shared_ptr<const Image> image_;
};

} // namespace reef::ui
