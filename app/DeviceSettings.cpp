#include "app/DeviceSettings.h"

namespace coral {

// The audio and the MIDI comparison together cover every field.
bool DeviceSettings::SameAs(const DeviceSettings& other) const {
  return SameAudio(other) && SameMidi(other);
}

bool DeviceSettings::SameAudio(const DeviceSettings& other) const {
  return driverType == other.driverType && audioInputDevice == other.audioInputDevice &&
         audioOutputDevice == other.audioOutputDevice && sampleRate == other.sampleRate &&
         bufferSize == other.bufferSize && inputChannelLeft == other.inputChannelLeft &&
         inputChannelRight == other.inputChannelRight &&
         outputChannelLeft == other.outputChannelLeft &&
         outputChannelRight == other.outputChannelRight;
}

bool DeviceSettings::SameMidi(const DeviceSettings& other) const {
  return midiInputDevice == other.midiInputDevice && midiOutputDevice == other.midiOutputDevice &&
         midiInputChannel == other.midiInputChannel && midiOutputChannel == other.midiOutputChannel;
}

} // namespace coral
