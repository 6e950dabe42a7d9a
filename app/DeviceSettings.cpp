#include "app/DeviceSettings.h"

namespace coral {

bool DeviceSettings::SameAs(const DeviceSettings& other) const {
  return driverType == other.driverType && bufferSize == other.bufferSize &&
         sampleRate == other.sampleRate && midiInputChannel == other.midiInputChannel &&
         midiOutputChannel == other.midiOutputChannel &&
         audioInputDevice == other.audioInputDevice &&
         audioOutputDevice == other.audioOutputDevice && midiInputDevice == other.midiInputDevice &&
         midiOutputDevice == other.midiOutputDevice && inputChannelLeft == other.inputChannelLeft &&
         inputChannelRight == other.inputChannelRight &&
         outputChannelLeft == other.outputChannelLeft &&
         outputChannelRight == other.outputChannelRight;
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
