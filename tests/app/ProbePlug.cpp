#include "tests/app/ProbePlug.h"

namespace coral::test {
namespace {

iplug::Config ProbeConfig(bool midiOut) {
  iplug::Config config;
  config.channelIOStr = "1-1 2-2 1.1-1 1.2-1 2.1-2 2.2-2";
  config.pluginName = "Probe";
  config.productName = "Probe";
  config.mfrName = "Test";
  config.vendorVersion = 0x00010203;
  config.plugDoesMidiOut = midiOut;
  return config;
}

} // namespace

ProbePlug::ProbePlug(const iplug::InstanceInfo& info, bool midiOut)
    : IPlugAPP(ProbeConfig(midiOut), info) {}

void ProbePlug::ProcessBlock(iplug::sample** inputs, iplug::sample** outputs, int nFrames) {
  blocks.fetch_add(1);
  if (nFrames != 512) wrongSizeBlocks.fetch_add(1);
  for (int c = 0; c < 4; ++c) inputWasNull[c].store(inputs[c] == nullptr ? 1 : 0);
  for (int c = 0; c < 2; ++c) outputWasNull[c].store(outputs[c] == nullptr ? 1 : 0);
  bool auxSilent = inputs[2] && inputs[3];
  for (int c = 2; c < 4 && auxSilent; ++c) {
    for (int i = 0; i < nFrames; ++i) auxSilent = auxSilent && inputs[c][i] == 0.0;
  }
  if (!auxSilent) badAuxBlocks.fetch_add(1);
  for (int c = 0; c < 2; ++c) {
    if (!outputs[c]) continue;
    for (int i = 0; i < nFrames; ++i) {
      outputs[c][i] = inputs[c] ? kGain[c] * inputs[c][i] : 0.0;
    }
  }
}

void ProbePlug::ProcessMidiMsg(const iplug::IMidiMsg& msg) {
  const int n = midiCount.load();
  if (n < kMaxRecorded) {
    midi[n] = msg;
    midiCount.store(n + 1);
  }
}

void ProbePlug::ProcessSysEx(const iplug::ISysEx& msg) {
  lastSysExSize.store(msg.size);
  sysExCount.fetch_add(1);
}

} // namespace coral::test
