#pragma once
// The text of "settings.ini": a line "[section]" opens a section, then one "key=value" line
// per setting. Sections "audio" (driver, indev, outdev, in1, in2, out1, out2, buffer, sr) and
// "midi" (indev, outdev, inchan, outchan).

#include <cstddef>
#include <string>
#include <string_view>

#include "app/DeviceSettings.h"

namespace coral {

// Longest device or port name read from the file, in bytes (a 100-byte field with its
// terminator).
inline constexpr std::size_t kMaxSettingsNameBytes = 99;

// The settings that a file holding none of the keys yields: driver 0, "Built-in Input",
// "Built-in Output", channels 1 2 1 2, buffer 512, rate 44100; MIDI "no input", "no output",
// channels 0 and 0.
DeviceSettings SettingsFallbacks();

// Reads `text` (any bytes). Sections and keys match without regard to ASCII case, blanks
// around them are ignored, the first occurrence of a key counts, and lines outside the two
// sections are ignored. A key that is missing or whose value is unusable keeps its fallback:
// numbers must be plain decimal within the key's range (driver 0..255, sr 8000..384000,
// buffer 16..8192, channels 1..1024, MIDI channels 0..16); names must be UTF-8 without
// control characters and are cut to at most kMaxSettingsNameBytes bytes at a character
// boundary. An empty name reads as an empty name.
DeviceSettings ParseSettings(std::string_view text);

// The file text for `settings`: [audio] driver "%u", indev, outdev, in1, in2, out1, out2
// "%u", buffer and sr "%i"; [midi] indev, outdev, inchan, outchan "%u"; names as they stand.
std::string FormatSettings(const DeviceSettings& settings);

} // namespace coral
