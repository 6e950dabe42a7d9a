// libFuzzer target: the "settings.ini" reader. Any bytes give settings whose numbers lie in
// their ranges and whose names are short, printable UTF-8; writing them and reading the text
// back gives the same settings.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/SettingsFile.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool PrintableUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7f) return false;
    const int length = c < 0x80         ? 1
                       : (c >> 5) == 6  ? 2
                       : (c >> 4) == 14 ? 3
                       : (c >> 3) == 30 ? 4
                                        : 0;
    if (length == 0 || i + length > s.size()) return false;
    for (int k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    i += length;
  }
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const coral::DeviceSettings s = coral::ParseSettings(text);
  for (const std::string* name :
       {&s.audioInputDevice, &s.audioOutputDevice, &s.midiInputDevice, &s.midiOutputDevice})
    Check(name->size() <= coral::kMaxSettingsNameBytes && PrintableUtf8(*name));
  Check(s.driverType <= 255 && s.sampleRate >= 8000 && s.sampleRate <= 384000);
  Check(s.bufferSize >= 16 && s.bufferSize <= 8192);
  Check(s.midiInputChannel <= 16 && s.midiOutputChannel <= 16);
  for (std::uint32_t channel :
       {s.inputChannelLeft, s.inputChannelRight, s.outputChannelLeft, s.outputChannelRight})
    Check(channel >= 1 && channel <= 1024);
  Check(coral::ParseSettings(coral::FormatSettings(s)).SameAs(s));
  return 0;
}
