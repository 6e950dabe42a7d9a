// The settings file: what a first run writes, how a written file reads back, what missing
// keys and damaged content turn into, and the three comparisons of the device choice.

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/SettingsFile.h"
#include "app/StandaloneHost.h"
#include "tests/app/ProbePlug.h"
#include "tests/app/TestEnvironment.h"

namespace coral {
namespace {

using namespace std::string_literals;
using test::ReadFile;
using test::SettingsFile;

StandaloneHost& MakeHost() {
  return StandaloneHost::Create(
      [](const iplug::InstanceInfo& info) { return std::make_unique<test::ProbePlug>(info); });
}

class SettingsTest : public ::testing::Test {
protected:
  void SetUp() override { test::ClearSettings(); }
  void TearDown() override { StandaloneHost::Destroy(); }
};

constexpr const char* kFirstRunFile = "[audio]\n"
                                      "driver=0\n"
                                      "indev=Default Device\n"
                                      "outdev=Default Device\n"
                                      "in1=1\n"
                                      "in2=2\n"
                                      "out1=1\n"
                                      "out2=2\n"
                                      "buffer=512\n"
                                      "sr=44100\n"
                                      "[midi]\n"
                                      "indev=off\n"
                                      "outdev=off\n"
                                      "inchan=0\n"
                                      "outchan=0\n";

TEST_F(SettingsTest, FirstRunCreatesFolderAndFileWithEveryKey) {
  StandaloneHost& host = MakeHost();
  ASSERT_TRUE(host.ReadSettings());
  struct stat info {};
  ASSERT_EQ(stat(test::SettingsFolder().c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(host.SettingsPath(), SettingsFile());
  EXPECT_EQ(ReadFile(SettingsFile()), kFirstRunFile);

  // The folder exists but the file is gone: the defaults are written again.
  std::remove(SettingsFile().c_str());
  ASSERT_TRUE(MakeHost().ReadSettings());
  EXPECT_EQ(ReadFile(SettingsFile()), kFirstRunFile);
}

TEST_F(SettingsTest, WrittenSettingsReadBack) {
  DeviceSettings chosen;
  chosen.audioInputDevice = "Studio Interface Pro (Analog 1-8)";
  chosen.audioOutputDevice = "";
  chosen.midiInputDevice = "Keystation 49 MIDI 1";
  chosen.midiOutputDevice = "Synth: Port 2 – ümlaut";
  chosen.driverType = 2;
  chosen.sampleRate = 96000;
  chosen.bufferSize = 96;
  chosen.midiInputChannel = 16;
  chosen.midiOutputChannel = 3;
  chosen.inputChannelLeft = 7;
  chosen.inputChannelRight = 8;
  chosen.outputChannelLeft = 3;
  chosen.outputChannelRight = 4;
  EXPECT_TRUE(ParseSettings(FormatSettings(chosen)).SameAs(chosen));

  // Through the host: the next start-up reads what the last one wrote.
  StandaloneHost& first = MakeHost();
  ASSERT_TRUE(first.ReadSettings());
  first.Current() = chosen;
  ASSERT_TRUE(first.WriteSettings());
  StandaloneHost& second = MakeHost();
  ASSERT_TRUE(second.ReadSettings());
  EXPECT_TRUE(second.Current().SameAs(chosen));
  EXPECT_NE(ReadFile(SettingsFile()).find("buffer=96\nsr=96000\n"), std::string::npos);
}

TEST_F(SettingsTest, MissingKeysTakeTheirFallbacks) {
  const DeviceSettings empty = ParseSettings("");
  EXPECT_EQ(empty.audioInputDevice, "Built-in Input");
  EXPECT_EQ(empty.audioOutputDevice, "Built-in Output");
  EXPECT_EQ(empty.midiInputDevice, "no input");
  EXPECT_EQ(empty.midiOutputDevice, "no output");
  EXPECT_EQ(empty.driverType, 0u);
  EXPECT_EQ(empty.sampleRate, 44100u);
  EXPECT_EQ(empty.bufferSize, 512u);
  EXPECT_EQ(empty.inputChannelLeft, 1u);
  EXPECT_EQ(empty.inputChannelRight, 2u);
  EXPECT_EQ(empty.outputChannelLeft, 1u);
  EXPECT_EQ(empty.outputChannelRight, 2u);
  EXPECT_EQ(empty.midiInputChannel, 0u);
  EXPECT_EQ(empty.midiOutputChannel, 0u);

  // Keys belong to their section: an "indev" in [midi] is not the audio input. Sections and
  // keys match in any case, blanks around them do not count, the first occurrence wins and
  // an empty name stays empty.
  const DeviceSettings parsed = ParseSettings("indev=Outside\r\n"
                                              "[MIDI]\r\n"
                                              " InDev = Port A \r\n"
                                              "indev=Port B\r\n"
                                              "[other]\n"
                                              "sr=48000\n"
                                              "[ audio ]\n"
                                              "outdev=\n"
                                              "SR=88200\n");
  EXPECT_EQ(parsed.midiInputDevice, "Port A");
  EXPECT_EQ(parsed.audioInputDevice, "Built-in Input");
  EXPECT_EQ(parsed.audioOutputDevice, "");
  EXPECT_EQ(parsed.sampleRate, 88200u);
  EXPECT_EQ(parsed.midiOutputDevice, "no output");
}

TEST_F(SettingsTest, DamagedValuesFallBack) {
  const std::string longName(300, 'x');
  // 98 ASCII bytes then a two-byte character: cutting at 99 bytes would split it.
  const std::string splitName = std::string(98, 'a') + "\xC3\xA9" + "tail";
  std::string text = "[audio]\n"
                     "driver=abc\n"
                     "indev=" +
                     longName +
                     "\n"
                     "outdev=" +
                     splitName +
                     "\n"
                     "in1=-1\n"
                     "in2=3x\n"
                     "out1=99999999999999999999\n"
                     "out2=\n"
                     "buffer=0\n"
                     "sr=1e5\n"
                     "[midi]\n"
                     "indev=bad\x01name\n"
                     "outdev=\xFF\xFE\n"
                     "inchan=17\n"
                     "outchan= 16 \n";
  const DeviceSettings parsed = ParseSettings(text);
  const DeviceSettings fallback = SettingsFallbacks();
  EXPECT_EQ(parsed.driverType, fallback.driverType);
  EXPECT_EQ(parsed.audioInputDevice, std::string(kMaxSettingsNameBytes, 'x'));
  EXPECT_EQ(parsed.audioOutputDevice, std::string(98, 'a'));
  EXPECT_EQ(parsed.inputChannelLeft, 1u);
  EXPECT_EQ(parsed.inputChannelRight, 2u);
  EXPECT_EQ(parsed.outputChannelLeft, 1u);
  EXPECT_EQ(parsed.outputChannelRight, 2u);
  EXPECT_EQ(parsed.bufferSize, 512u);
  EXPECT_EQ(parsed.sampleRate, 44100u);
  EXPECT_EQ(parsed.midiInputDevice, "no input");
  EXPECT_EQ(parsed.midiOutputDevice, "no output");
  EXPECT_EQ(parsed.midiInputChannel, 0u);
  EXPECT_EQ(parsed.midiOutputChannel, 16u);

  // Bytes of every value, NUL included, never crash the reader and never leave a field
  // outside its range.
  std::string noise;
  for (int i = 0; i < 4096; ++i) noise.push_back(static_cast<char>((i * 7919 + i / 13) & 0xFF));
  const DeviceSettings garbage = ParseSettings("[audio]\nindev=a\0b\n"s + noise);
  EXPECT_EQ(garbage.audioInputDevice, "Built-in Input");
  EXPECT_LE(garbage.bufferSize, 8192u);
  EXPECT_LE(garbage.midiInputChannel, 16u);
}

TEST_F(SettingsTest, FileWithoutMidiSectionEndsWithPortsOff) {
  test::ClearSettings();
  StandaloneHost& host = MakeHost();
  ASSERT_TRUE(host.ReadSettings()); // creates the folder
  test::WriteFile(SettingsFile(), "[audio]\nindev=Mic\noutdev=Speakers\nsr=48000\n");
  StandaloneHost& next = MakeHost();
  ASSERT_TRUE(next.ReadSettings());
  EXPECT_EQ(next.Current().midiInputDevice, "no input");
  EXPECT_EQ(next.Current().midiOutputDevice, "no output");
  EXPECT_NE(ReadFile(SettingsFile()).find("[midi]\nindev=no input\noutdev=no output\n"),
            std::string::npos);

  // Neither name is a port: both become "off" and are saved. Without MIDI objects the
  // selection itself reports failure.
  EXPECT_FALSE(next.SelectMidiPort(iplug::kInput, next.Current().midiInputDevice));
  EXPECT_FALSE(next.SelectMidiPort(iplug::kOutput, next.Current().midiOutputDevice));
  EXPECT_EQ(next.Current().midiInputDevice, "off");
  EXPECT_EQ(next.Current().midiOutputDevice, "off");
  const std::string saved = ReadFile(SettingsFile());
  EXPECT_NE(saved.find("[midi]\nindev=off\noutdev=off\n"), std::string::npos);
  EXPECT_NE(saved.find("indev=Mic\noutdev=Speakers\n"), std::string::npos);
}

TEST_F(SettingsTest, ThreeComparisons) {
  const DeviceSettings base;
  DeviceSettings channel = base; // an audio channel number
  channel.inputChannelRight = 3;
  DeviceSettings midi = base; // a MIDI channel
  midi.midiOutputChannel = 5;
  DeviceSettings port = base; // a port name differing only in case
  port.midiInputDevice = "Off";
  EXPECT_TRUE(!channel.SameAs(base) && !channel.SameAudio(base) && channel.SameMidi(base));
  EXPECT_TRUE(!midi.SameAs(base) && midi.SameAudio(base) && !midi.SameMidi(base));
  EXPECT_TRUE(!port.SameAs(base) && port.SameAudio(base) && !port.SameMidi(base));
  EXPECT_TRUE(DeviceSettings(base).SameAs(base));
}

} // namespace
} // namespace coral
