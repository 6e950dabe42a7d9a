// MIDI without a device: the input callback's sorting into short messages and
// system-exclusive records, the fixed queues and their limits, the order in which the audio
// thread hands messages to the plug-in, MIDI output, and switching I/O off.

#include <algorithm>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "app/StandaloneHost.h"
#include "core/IPlugQueue.h"
#include "tests/app/ProbePlug.h"
#include "tests/app/TestEnvironment.h"

namespace coral {
namespace {

using test::ProbePlug;
using Bytes = std::vector<unsigned char>;

class MidiTest : public ::testing::Test {
protected:
  void SetUp() override {
    test::ClearSettings();
    host = &StandaloneHost::Create(
        [](const iplug::InstanceInfo& info) { return std::make_unique<ProbePlug>(info, true); });
    host->PrepareStream(2, 2, 512, 48000.0);
  }
  void TearDown() override { StandaloneHost::Destroy(); }

  void Receive(Bytes message) { StandaloneHost::MidiInputCallback(0.0, &message, host); }
  void RunOneBlock() {
    std::vector<double> in(2 * 512, 0.0);
    std::vector<double> out(2 * 512, 0.0);
    StandaloneHost::AudioCallback(out.data(), in.data(), 512, 0.0, 0, host);
  }
  ProbePlug& Probe() { return static_cast<ProbePlug&>(host->Plug()); }

  StandaloneHost* host = nullptr;
};

Bytes SysEx(std::size_t size) {
  Bytes message(size, 0x11);
  message.front() = 0xF0;
  for (std::size_t i = 1; i + 1 < size; ++i) message[i] = static_cast<unsigned char>(i % 128);
  message.back() = 0xF7;
  return message;
}

TEST_F(MidiTest, InputSortedIntoShortMessagesAndSysExRecords) {
  Receive({});              // empty: ignored
  Receive({0x90, 60, 100}); // note on
  Receive({0xC3, 7});       // two bytes: data 2 is 0
  Receive({0xFA});          // one byte: both data bytes 0
  Receive(SysEx(4));        // shortest system-exclusive record
  Receive(SysEx(512));      // longest one
  Receive(SysEx(513));      // too long: dropped
  RunOneBlock();

  ProbePlug& probe = Probe();
  ASSERT_EQ(probe.midiCount.load(), 3);
  const iplug::IMidiMsg expected[3] = {{0, 0x90, 60, 100}, {0, 0xC3, 7, 0}, {0, 0xFA, 0, 0}};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(probe.midi[k].offset, 0);
    EXPECT_EQ(probe.midi[k].status, expected[k].status);
    EXPECT_EQ(probe.midi[k].data1, expected[k].data1);
    EXPECT_EQ(probe.midi[k].data2, expected[k].data2);
  }
  EXPECT_EQ(probe.sysExCount.load(), 2);
  EXPECT_EQ(probe.lastSysExSize.load(), 512);

  // The same messages wait for the editor, in order, bytes intact.
  iplug::IMidiMsg msg;
  for (int k = 0; k < 3; ++k) {
    ASSERT_TRUE(probe.PopMidiMsgForEditor(msg));
    EXPECT_EQ(msg.status, expected[k].status);
  }
  EXPECT_FALSE(probe.PopMidiMsgForEditor(msg));
  iplug::ISysExRecord record;
  ASSERT_TRUE(probe.PopSysExForEditor(record));
  EXPECT_EQ(record.size, 4);
  ASSERT_TRUE(probe.PopSysExForEditor(record));
  ASSERT_EQ(record.size, 512);
  const Bytes sent = SysEx(512);
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), record.bytes.begin()));
  EXPECT_FALSE(probe.PopSysExForEditor(record));
}

TEST_F(MidiTest, FullQueuesDropTheNewestMessages) {
  for (int k = 0; k < 40; ++k) Receive({0xB0, static_cast<unsigned char>(k), 1});
  for (int k = 0; k < 7; ++k) Receive(SysEx(10 + k));
  RunOneBlock();
  ProbePlug& probe = Probe();
  ASSERT_EQ(probe.midiCount.load(), 32);
  EXPECT_EQ(probe.midi[31].data1, 31); // the first 32 arrived, the rest were dropped
  EXPECT_EQ(probe.sysExCount.load(), 4);
  EXPECT_EQ(probe.lastSysExSize.load(), 13);

  // Drained queues take messages again.
  Receive({0x80, 1, 2});
  RunOneBlock();
  EXPECT_EQ(probe.midiCount.load(), 33);
}

TEST_F(MidiTest, HostMessagesComeBeforeEditorMessagesAndOnlyTheyReachTheEditor) {
  ProbePlug& probe = Probe();
  ASSERT_TRUE(probe.SendMidiMsgFromUI({0, 0xE0, 1, 64}));
  Receive({0x90, 40, 90});
  RunOneBlock();
  ASSERT_EQ(probe.midiCount.load(), 2);
  EXPECT_EQ(probe.midi[0].status, 0x90);
  EXPECT_EQ(probe.midi[1].status, 0xE0);
  iplug::IMidiMsg msg;
  ASSERT_TRUE(probe.PopMidiMsgForEditor(msg));
  EXPECT_EQ(msg.status, 0x90);
  EXPECT_FALSE(probe.PopMidiMsgForEditor(msg));
}

TEST(PlugQueueTest, KeepsOrderAcrossManyWrapArounds) {
  iplug::IPlugQueue<int, 5> queue;
  EXPECT_EQ(queue.kCapacity, 4);
  int next = 0;
  int expected = 0;
  int value = -1;
  for (int round = 0; round < 50; ++round) {
    const int pushes = 1 + round % 5;
    for (int k = 0; k < pushes; ++k) {
      if (queue.Size() < 4) {
        ASSERT_TRUE(queue.Push(next++));
      } else {
        ASSERT_FALSE(queue.Push(-1));
      }
    }
    const int pops = 1 + (round * 3) % 4;
    for (int k = 0; k < pops && queue.Pop(value); ++k) ASSERT_EQ(value, expected++);
  }
  while (queue.Pop(value)) ASSERT_EQ(value, expected++);
  EXPECT_EQ(expected, next);
  EXPECT_EQ(queue.Size(), 0);
}

TEST_F(MidiTest, OutputNeedsConfigurationAndPort) {
  // The probe enables MIDI output, but no output port exists yet.
  EXPECT_FALSE(Probe().SendMidiMsg({0, 0x90, 1, 1}));
  const std::uint8_t bytes[2] = {0xF0, 0xF7};
  EXPECT_FALSE(Probe().SendSysEx({0, bytes, 2}));
  EXPECT_FALSE(Probe().SendSysEx({0, bytes, 0}));

  // The product does not send MIDI at all.
  StandaloneHost& product = StandaloneHost::Create();
  EXPECT_FALSE(product.Plug().SendMidiMsg({0, 0x90, 1, 1}));
}

TEST(NoIOTest, NothingIsOpenedAndRestartSucceedsAtOnce) {
  test::ClearSettings();
  for (const bool screenshot : {false, true}) {
    StandaloneHost& host = StandaloneHost::Create(
        [](const iplug::InstanceInfo& info) { return std::make_unique<ProbePlug>(info); });
    if (screenshot) {
      host.SetScreenshotPath("/tmp/shot.png");
    } else {
      host.SetNoIO(true);
    }
    ASSERT_TRUE(host.Init());
    EXPECT_FALSE(host.HasAudioSystem());
    EXPECT_FALSE(host.HasMidiInput());
    EXPECT_FALSE(host.HasMidiOutput());
    EXPECT_TRUE(host.InputDeviceIds().empty());
    EXPECT_TRUE(host.MidiInputNames().empty());
    EXPECT_TRUE(host.MidiOutputNames().empty());
    EXPECT_TRUE(host.RestartAudio());
    EXPECT_FALSE(host.IsStreamRunning());
    EXPECT_STREQ(host.Plug().GetHostName(), "standalone");
    EXPECT_EQ(host.Plug().GetHostVersion(), 0x00010203);
  }
  StandaloneHost::Destroy();
}

} // namespace
} // namespace coral
