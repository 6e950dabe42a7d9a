#include "editor/Palette.h"

#include <algorithm>
#include <array>

namespace coral {

const IColor& BandColor(int band) {
  static const std::array<IColor, kNumBands> kBandColors = {kTeal,
                                                            kCopper,
                                                            kBlue,
                                                            IColor{255, 192, 157, 214},
                                                            IColor{255, 181, 205, 128},
                                                            IColor{255, 225, 141, 137},
                                                            IColor{255, 131, 207, 220},
                                                            IColor{255, 220, 185, 128},
                                                            IColor{255, 148, 163, 229},
                                                            IColor{255, 219, 156, 197},
                                                            IColor{255, 155, 205, 171},
                                                            IColor{255, 210, 211, 144}};
  return kBandColors[std::clamp(band, 0, kNumBands - 1)];
}

reef::ui::IText EditorText(float size, const IColor& color, reef::ui::EAlign align,
                           reef::ui::EVAlign valign) {
  return reef::ui::IText(size, color, kFontId, align, valign).WithEntryColors(kEntryBg, kText);
}

} // namespace coral
