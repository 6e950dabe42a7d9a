#include "app/SettingsFile.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace coral {
namespace {

enum class Section { kNone, kAudio, kMidi };

constexpr std::string_view kBlanks = " \t\r";

std::string_view Trim(std::string_view text) {
  const std::size_t begin = text.find_first_not_of(kBlanks);
  if (begin == std::string_view::npos) return {};
  const std::size_t end = text.find_last_not_of(kBlanks);
  return text.substr(begin, end - begin + 1);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::optional<std::uint32_t> ParseNumber(std::string_view text, std::uint32_t minimum,
                                         std::uint32_t maximum) {
  std::uint32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || stop != end) return std::nullopt;
  if (value < minimum || value > maximum) return std::nullopt;
  return value;
}

// Length of the UTF-8 sequence that starts at text[i], or 0 when it is malformed (overlong
// forms, surrogates and values past U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i + k) & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool invalid = (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF;
  return overlong || invalid ? 0 : length;
}

std::optional<std::string> ParseName(std::string_view text) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) return std::nullopt;
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) return std::nullopt;
    i += length;
    if (i <= kMaxSettingsNameBytes) kept = i;
  }
  // A cut can end on a blank, which the next reading would drop: drop it now, so that a
  // name reads back the same after it has been written.
  return std::string(Trim(text.substr(0, kept)));
}

// One key of the file: its section, name and how its value is stored.
struct KeyRule {
  Section section;
  std::string_view name;
  std::string DeviceSettings::*text;
  std::uint32_t DeviceSettings::*number;
  std::uint32_t minimum;
  std::uint32_t maximum;
};

constexpr std::uint32_t kMaxChannel = 1024;

const KeyRule kKeys[] = {
    {Section::kAudio, "driver", nullptr, &DeviceSettings::driverType, 0, 255},
    {Section::kAudio, "indev", &DeviceSettings::audioInputDevice, nullptr, 0, 0},
    {Section::kAudio, "outdev", &DeviceSettings::audioOutputDevice, nullptr, 0, 0},
    {Section::kAudio, "in1", nullptr, &DeviceSettings::inputChannelLeft, 1, kMaxChannel},
    {Section::kAudio, "in2", nullptr, &DeviceSettings::inputChannelRight, 1, kMaxChannel},
    {Section::kAudio, "out1", nullptr, &DeviceSettings::outputChannelLeft, 1, kMaxChannel},
    {Section::kAudio, "out2", nullptr, &DeviceSettings::outputChannelRight, 1, kMaxChannel},
    {Section::kAudio, "buffer", nullptr, &DeviceSettings::bufferSize, 16, 8192},
    {Section::kAudio, "sr", nullptr, &DeviceSettings::sampleRate, 8000, 384000},
    {Section::kMidi, "indev", &DeviceSettings::midiInputDevice, nullptr, 0, 0},
    {Section::kMidi, "outdev", &DeviceSettings::midiOutputDevice, nullptr, 0, 0},
    {Section::kMidi, "inchan", nullptr, &DeviceSettings::midiInputChannel, 0, 16},
    {Section::kMidi, "outchan", nullptr, &DeviceSettings::midiOutputChannel, 0, 16},
};

} // namespace

DeviceSettings SettingsFallbacks() {
  DeviceSettings settings;
  settings.audioInputDevice = "Built-in Input";
  settings.audioOutputDevice = "Built-in Output";
  settings.midiInputDevice = "no input";
  settings.midiOutputDevice = "no output";
  return settings;
}

DeviceSettings ParseSettings(std::string_view text) {
  DeviceSettings settings = SettingsFallbacks();
  bool seen[std::size(kKeys)] = {};
  Section section = Section::kNone;
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    const std::string_view line = Trim(text.substr(0, newline));
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);

    if (!line.empty() && line.front() == '[') {
      const std::size_t close = line.find(']');
      const std::string_view name =
          close == std::string_view::npos ? std::string_view{} : Trim(line.substr(1, close - 1));
      section = EqualsNoCase(name, "audio")  ? Section::kAudio
                : EqualsNoCase(name, "midi") ? Section::kMidi
                                             : Section::kNone;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (section == Section::kNone || equals == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));

    for (std::size_t k = 0; k < std::size(kKeys); ++k) {
      const KeyRule& rule = kKeys[k];
      if (seen[k] || rule.section != section || !EqualsNoCase(key, rule.name)) continue;
      seen[k] = true;
      if (rule.text) {
        if (std::optional<std::string> name = ParseName(value)) settings.*rule.text = *name;
      } else if (auto number = ParseNumber(value, rule.minimum, rule.maximum)) {
        settings.*rule.number = *number;
      }
      break;
    }
  }
  return settings;
}

std::string FormatSettings(const DeviceSettings& settings) {
  std::string text;
  const auto line = [&](std::string_view key, std::string_view value) {
    text.append(key).append("=").append(value).append("\n");
  };
  const auto unsignedText = [](std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%u", static_cast<unsigned>(value));
    return std::string(buffer);
  };
  const auto intText = [](std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%i", static_cast<int>(value));
    return std::string(buffer);
  };

  text.append("[audio]\n");
  line("driver", unsignedText(settings.driverType));
  line("indev", settings.audioInputDevice);
  line("outdev", settings.audioOutputDevice);
  line("in1", unsignedText(settings.inputChannelLeft));
  line("in2", unsignedText(settings.inputChannelRight));
  line("out1", unsignedText(settings.outputChannelLeft));
  line("out2", unsignedText(settings.outputChannelRight));
  line("buffer", intText(settings.bufferSize));
  line("sr", intText(settings.sampleRate));
  text.append("[midi]\n");
  line("indev", settings.midiInputDevice);
  line("outdev", settings.midiOutputDevice);
  line("inchan", unsignedText(settings.midiInputChannel));
  line("outchan", unsignedText(settings.midiOutputChannel));
  return text;
}

} // namespace coral
