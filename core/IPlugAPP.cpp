#include "core/IPlugAPP.h"

namespace iplug {

IPlugAPP::IPlugAPP(const Config& config, const InstanceInfo& info)
    : IPlugAPIBase(config), IPlugProcessor(config), instanceInfo_(info) {
  SetBlockSize(kBlockSize);
  SetChannelConnections(kInput, 0, MaxNChannels(kInput), true);
  SetChannelConnections(kOutput, 0, MaxNChannels(kOutput), true);
}

IPlugAPP::~IPlugAPP() = default;

void IPlugAPP::BeginInformHostOfParamChange(int) {}

void IPlugAPP::InformHostOfParamChange(int, double) {}

void IPlugAPP::EndInformHostOfParamChange(int) {}

void IPlugAPP::ProcessFromHost(sample** inputs, sample** outputs, int nFrames) noexcept {
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

void IPlugAPP::ProcessMidiMsg(const IMidiMsg&) {}

void IPlugAPP::ProcessSysEx(const ISysEx&) {}

bool IPlugAPP::SendMidiMsg(const IMidiMsg& msg) {
  IMidiSender* sender = midiSender_.load();
  if (!DoesMIDIOut() || !sender) return false;
  const std::uint8_t bytes[3] = {msg.status, msg.data1, msg.data2};
  return sender->SendMidiBytes(bytes, 3);
}

bool IPlugAPP::SendSysEx(const ISysEx& msg) {
  IMidiSender* sender = midiSender_.load();
  if (!DoesMIDIOut() || !sender || !msg.data || msg.size < 1) return false;
  return sender->SendMidiBytes(msg.data, msg.size);
}

} // namespace iplug
