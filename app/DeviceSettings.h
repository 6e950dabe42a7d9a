#pragma once
// The standalone application's complete device choice: audio back end, devices, rate and
// buffer size, MIDI ports and channels. A plain value record.
//
// The four audio channel numbers and the two MIDI channels are kept, shown and saved, but the
// stream always opens at each device's first channel and incoming MIDI is not filtered.

#include <cstdint>
#include <string>

namespace coral {

struct DeviceSettings {
  std::string audioInputDevice = "Default Device";
  std::string audioOutputDevice = "Default Device";
  std::string midiInputDevice = "off";
  std::string midiOutputDevice = "off";
  std::uint32_t driverType = 0;        // index into the list of audio back ends
  std::uint32_t sampleRate = 44100;    // Hz
  std::uint32_t bufferSize = 512;      // device buffer, frames
  std::uint32_t midiInputChannel = 0;  // 0 = all, 1..16
  std::uint32_t midiOutputChannel = 0; // 0 = all, 1..16
  std::uint32_t inputChannelLeft = 1;  // 1-based device channels
  std::uint32_t inputChannelRight = 2;
  std::uint32_t outputChannelLeft = 1;
  std::uint32_t outputChannelRight = 2;

  // Every field; names compare byte for byte.
  bool SameAs(const DeviceSettings& other) const;
  // Back end, audio device names, sample rate, buffer size and the four channel numbers.
  bool SameAudio(const DeviceSettings& other) const;
  // MIDI port names and MIDI channels.
  bool SameMidi(const DeviceSettings& other) const;
};

} // namespace coral
