#pragma once
// The editor's colours and text styles: the palette every control draws with, one colour per
// band slot for the band strip, the band title, the knobs and the graph's nodes, and the one
// font every text uses.

#include "engine/ParamTable.h"
#include "ui/IColor.h"
#include "ui/IText.h"

namespace coral {

using reef::ui::IColor;

// The font id of the editor's one font (loaded by the layout from "Roboto-Regular.ttf").
inline constexpr const char* kFontId = "KESTRILAB";

inline constexpr IColor kText{255, 240, 236, 226};    // main text, knob values, entries
inline constexpr IColor kTextDim{255, 151, 163, 169}; // secondary labels, axis labels
inline constexpr IColor kCopper{255, 215, 165, 109};  // accent 1; resize grip while dragged
inline constexpr IColor kTeal{255, 105, 204, 194};    // accent 2; resize grip under the mouse
inline constexpr IColor kBlue{255, 126, 162, 210};    // accent 3
inline constexpr IColor kLine{255, 54, 67, 73};       // outlines, separators, resize grip
inline constexpr IColor kPanel{255, 27, 35, 40};      // lower control panel
inline constexpr IColor kGraphPanel{255, 17, 26, 31}; // graph panel
inline constexpr IColor kEntryBg{255, 19, 26, 29};    // in-place text entry
inline constexpr IColor kBackTop{255, 35, 44, 49};    // background gradient, top
inline constexpr IColor kBackBottom{255, 17, 24, 29}; // background gradient, bottom

// The colour of band slot `band` (0..11; clamped): the three accents, then nine more.
const IColor& BandColor(int band);

// A text of `size` canvas pixels in `color` and the editor's font, aligned in its box; its
// in-place entry colours are the editor's (`kEntryBg` behind `kText`).
reef::ui::IText EditorText(float size, const IColor& color,
                           reef::ui::EAlign align = reef::ui::EAlign::Centre,
                           reef::ui::EVAlign valign = reef::ui::EVAlign::Middle);

} // namespace coral
