#include "core/IPluginApp.h"

namespace reef {

IPluginApp::IPluginApp(const IPluginConfig& config, const InstanceInfo& info)
    : IPluginApiBase(config), IPluginProcessor(config), instanceInfo_(info) {
  SetBlockSize(kBlockSize);
  SetChannelConnections(kInput, 0, MaxNChannels(kInput), true);
  SetChannelConnections(kOutput, 0, MaxNChannels(kOutput), true);
}

IPluginApp::~IPluginApp() = default;

void IPluginApp::BeginInformHostOfParamChange(int) {}

void IPluginApp::InformHostOfParamChange(int, double) {}

void IPluginApp::EndInformHostOfParamChange(int) {}

void IPluginApp::ProcessFromHost(sample** inputs, sample** outputs, int nFrames) noexcept {
  SetChannelConnections(kInput, 0, MaxNChannels(kInput), GetPlugType() != kInstrument);
  SetChannelConnections(kOutput, 0, MaxNChannels(kOutput), true);

  IMidiMsg msg;
  while (midiFromHost_.Pop(msg)) {
    ProcessMidiMsg(msg);
    midiToEditor_.Push(msg);
  }
  while (sysExFromHost_.Pop(drainRecord_)) {
    ProcessSysEx(drainRecord_.View());
    sysExToEditor_.Push(drainRecord_);
  }
  while (midiFromEditor_.Pop(msg)) ProcessMidiMsg(msg);

  ProcessBlock(inputs, outputs, nFrames);
}

void IPluginApp::OnIdleTimer() {
  IMidiMsg msg;
  while (midiToEditor_.Pop(msg)) OnMidiMsgUI(msg);
  while (sysExToEditor_.Pop(idleRecord_)) OnSysexMsgUI(idleRecord_.View());
  OnIdle();
}

void IPluginApp::OnIdle() {}

void IPluginApp::ProcessMidiMsg(const IMidiMsg&) {}

void IPluginApp::ProcessSysEx(const ISysEx&) {}

bool IPluginApp::SendMidiMsg(const IMidiMsg& msg) {
  IMidiSender* sender = midiSender_.load();
  if (!DoesMIDIOut() || !sender) return false;
  const std::uint8_t bytes[3] = {msg.status, msg.data1, msg.data2};
  return sender->SendMidiBytes(bytes, 3);
}

bool IPluginApp::SendSysEx(const ISysEx& msg) {
  IMidiSender* sender = midiSender_.load();
  if (!DoesMIDIOut() || !sender || !msg.data || msg.size < 1) return false;
  return sender->SendMidiBytes(msg.data, msg.size);
}

} // namespace reef
