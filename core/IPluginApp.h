#pragma once
// The standalone-application wrapper: a plug-in that the application's own audio host runs.
// It processes in blocks of 512 frames with every channel connected, and it has no host that
// records automation, so change gestures and value reports are accepted and ignored.
//
// MIDI: the host's MIDI input thread queues incoming messages into two fixed lock-free rings
// (short messages, system-exclusive records) that the audio thread drains at the start of each
// block; the editor queues messages for the processor in a third ring. What the processor
// received is copied into two rings toward the editor. Full rings drop the new message.
//
// Threads: constructed on the user-interface thread; the processor part is entered by the
// host's audio thread. Each ring has exactly one writer thread and one reader thread, as
// stated at its operations.

#include <atomic>
#include <cstdint>

#include "core/IMidiMsg.h"
#include "core/IPluginApiBase.h"
#include "core/IPluginProcessor.h"
#include "core/IRingQueue.h"

namespace reef {

class IPluginApp : public IPluginApiBase, public IPluginProcessor {
public:
  static constexpr int kBlockSize = 512;
  static constexpr int kMidiQueueSlots = 33; // holds 32 short messages
  static constexpr int kSysExQueueSlots = 5; // holds 4 system-exclusive records
  // Period of the framework's idle timer, milliseconds.
  static constexpr int kIdleTimerMs = 20;

  // The host's MIDI output, installed by the host. SendMidiBytes sends one complete message
  // and answers whether it went out.
  class IMidiSender {
  public:
    virtual ~IMidiSender() = default;
    virtual bool SendMidiBytes(const std::uint8_t* data, int size) = 0;
  };

  IPluginApp(const IPluginConfig& config, const InstanceInfo& info);
  ~IPluginApp() override;

  const InstanceInfo& GetInstanceInfo() const { return instanceInfo_; }

  void BeginInformHostOfParamChange(int paramIdx) override;
  void InformHostOfParamChange(int paramIdx, double normalizedValue) override;
  void EndInformHostOfParamChange(int paramIdx) override;

  // MIDI input thread of the host: queues an incoming message for the next block. False when
  // the ring is full and the message was dropped.
  bool EnqueueMidiFromHost(const IMidiMsg& msg) noexcept { return midiFromHost_.Push(msg); }
  bool EnqueueSysExFromHost(const ISysExRecord& record) noexcept {
    return sysExFromHost_.Push(record);
  }

  // Audio thread: one block from the host. Connects every output channel and, unless the
  // plug-in is an instrument, every input channel; hands each queued incoming short message
  // to ProcessMidiMsg and copies it toward the editor, each queued system-exclusive record
  // to ProcessSysEx and toward the editor, and each message queued by the editor to
  // ProcessMidiMsg; then runs ProcessBlock. `inputs` and `outputs` hold MaxNChannels
  // pointers of each direction, each to `nFrames` frames or null. Allocates nothing.
  void ProcessFromHost(sample** inputs, sample** outputs, int nFrames) noexcept;

  // Audio thread: MIDI handlers, called from ProcessFromHost before the block is processed.
  // Nothing by default.
  virtual void ProcessMidiMsg(const IMidiMsg& msg);
  virtual void ProcessSysEx(const ISysEx& msg);

  // User-interface thread: a message from the editor for the processor, handled at the next
  // block. False when the ring is full.
  bool SendMidiMsgFromUI(const IMidiMsg& msg) noexcept { return midiFromEditor_.Push(msg); }
  // User-interface thread: the messages the processor received, oldest first. False when
  // there is none.
  bool PopMidiMsgForEditor(IMidiMsg& msg) noexcept { return midiToEditor_.Pop(msg); }
  bool PopSysExForEditor(ISysExRecord& record) noexcept { return sysExToEditor_.Pop(record); }

  // The idle timer's tick, on the user-interface thread every kIdleTimerMs; the application
  // owns the timer source. Hands the messages the processor received to OnMidiMsgUI and
  // OnSysexMsgUI, oldest first, then runs OnIdle.
  void OnIdleTimer();
  // Nothing by default.
  virtual void OnIdle();

  // The plug-in's MIDI output (any thread that the sender tolerates; the host's sender is
  // used from the audio thread). Sends only when the configuration enables MIDI output and
  // a sender is installed; answers whether the message went out. A system-exclusive message
  // needs at least one byte.
  bool SendMidiMsg(const IMidiMsg& msg);
  bool SendSysEx(const ISysEx& msg);
  // Installs the host's MIDI output (nullptr: none). Not owned; must outlive its use.
  void SetMidiSender(IMidiSender* sender) { midiSender_.store(sender); }

private:
  InstanceInfo instanceInfo_;
  std::atomic<IMidiSender*> midiSender_{nullptr};

  IRingQueue<IMidiMsg, kMidiQueueSlots> midiFromHost_;
  IRingQueue<ISysExRecord, kSysExQueueSlots> sysExFromHost_;
  IRingQueue<IMidiMsg, kMidiQueueSlots> midiFromEditor_;
  IRingQueue<IMidiMsg, kMidiQueueSlots> midiToEditor_;
  IRingQueue<ISysExRecord, kSysExQueueSlots> sysExToEditor_;
  ISysExRecord drainRecord_; // audio-thread scratch for draining the system-exclusive ring
  ISysExRecord idleRecord_;  // user-interface-thread scratch of the idle timer
};

} // namespace reef
