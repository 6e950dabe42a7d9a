#pragma once
// A plug-in for host tests whose output is a closed-form function of its input: output
// channel c is input channel c times kGain[c] (0 where the input pointer is null). It counts
// its blocks, remembers which pointers it was given and records the MIDI it received. Its
// channel configurations are the product's, so the host treats it the same way.

#include <array>
#include <atomic>

#include "core/IPlugAPP.h"

namespace coral::test {

class ProbePlug final : public iplug::IPlugAPP {
public:
  static constexpr std::array<double, 2> kGain = {2.0, 3.0};
  static constexpr int kMaxRecorded = 256;

  explicit ProbePlug(const iplug::InstanceInfo& info, bool midiOut = false);

  void ProcessBlock(iplug::sample** inputs, iplug::sample** outputs, int nFrames) override;
  void OnReset() override { resets.fetch_add(1); }
  void ProcessMidiMsg(const iplug::IMidiMsg& msg) override;
  void ProcessSysEx(const iplug::ISysEx& msg) override;
  bool SerializeState(iplug::IByteChunk&) const override { return true; }
  int UnserializeState(const iplug::IByteChunk&, int startPos) override { return startPos; }

  std::atomic<int> blocks{0};
  std::atomic<int> wrongSizeBlocks{0}; // blocks that were not 512 frames
  std::atomic<int> resets{0};
  // Per pointer of the last block: 1 when it was null.
  std::array<std::atomic<int>, 4> inputWasNull{};
  std::array<std::atomic<int>, 2> outputWasNull{};
  // Blocks whose auxiliary inputs were null or not silent.
  std::atomic<int> badAuxBlocks{0};

  std::array<iplug::IMidiMsg, kMaxRecorded> midi{};
  std::atomic<int> midiCount{0};
  std::atomic<int> sysExCount{0};
  std::atomic<int> lastSysExSize{0};
};

} // namespace coral::test
