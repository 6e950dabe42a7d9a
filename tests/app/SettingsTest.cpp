// The settings file: what a first run writes, what the next start-up reads back, and what
// missing keys and damaged content turn into. Settings are compared through their file text,
// whose exact form the first run pins down.

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "app/SettingsFile.h"
#include "tests/app/ProbeHost.h"

namespace coral {
namespace {

TEST(SettingsTest, FirstRunWritesEveryKeyAndTheNextStartUpReadsWhatWasSaved) {
  test::gConfigHome.ClearSettings();
  StandaloneHost& first = test::ProbePlug::CreateHost();
  ASSERT_TRUE(first.ReadSettings());
  EXPECT_TRUE(std::filesystem::is_directory(test::gConfigHome.SettingsFolder()));
  EXPECT_EQ(first.SettingsPath(), test::gConfigHome.SettingsFile());
  EXPECT_EQ(test::gConfigHome.ReadSettingsFile(),
            "[audio]\ndriver=0\nindev=Default Device\noutdev=Default Device\nin1=1\nin2=2\n"
            "out1=1\nout2=2\nbuffer=512\nsr=44100\n"
            "[midi]\nindev=off\noutdev=off\ninchan=0\noutchan=0\n");

  // Every value differs from the defaults; the next start-up reads it and saves it unchanged.
  const std::string chosen =
      "[audio]\ndriver=2\nindev=Studio Interface Pro (Analog 1-8)\noutdev=\nin1=7\nin2=8\nout1=3\n"
      "out2=4\nbuffer=96\nsr=96000\n[midi]\nindev=Keystation 49 MIDI 1\n"
      "outdev=Synth: Port 2 – ümlaut\ninchan=16\noutchan=3\n";
  std::ofstream(test::gConfigHome.SettingsFile()) << chosen;
  StandaloneHost& next = test::ProbePlug::CreateHost();
  ASSERT_TRUE(next.ReadSettings());
  EXPECT_EQ(FormatSettings(next.Current()), chosen);
  EXPECT_EQ(test::gConfigHome.ReadSettingsFile(), chosen);
  StandaloneHost::Destroy();
}

TEST(SettingsTest, MissingKeysAndDamagedValuesTakeTheirFallbacks) {
  // The numbers are the defaults that the first run writes.
  const DeviceSettings fallbacks{.audioInputDevice = "Built-in Input",
                                 .audioOutputDevice = "Built-in Output",
                                 .midiInputDevice = "no input",
                                 .midiOutputDevice = "no output"};
  using S = DeviceSettings;
  const struct {
    std::string text;
    std::function<void(S&)> edit;
  } rows[] = {
      {"", {}},
      // Keys belong to their section; sections and keys match in any case, blanks around them
      // do not count, the first occurrence wins, an empty name stays empty.
      {"indev=Out\r\n[MIDI]\r\n InDev = Port A \r\nindev=B\r\n[x]\nsr=48000\n[ audio ]\noutdev=\n"
       "SR=88200\n",
       [](S& s) { s.midiInputDevice = "Port A", s.audioOutputDevice = "", s.sampleRate = 88200; }},
      {"[audio]\ndriver=abc\nin1=-1\nin2=3x\nout1=99999999999999999999\nout2=\nbuffer=0\n"
       "sr=1e5\n[midi]\ninchan=17\noutchan= 16 \n",
       [](S& s) { s.midiOutputChannel = 16; }},
      {"[audio]\ndriver=256\nbuffer=8193\nsr=7999\nin1=0\nin2=1025\n[midi]\noutchan=+5\n", {}},
      {"[audio]\ndriver=255\nbuffer=16\nsr=384000\nin1=1024\n",
       [](S& s) {
         s.driverType = 255, s.bufferSize = 16, s.sampleRate = 384000, s.inputChannelLeft = 1024;
       }},
      // Names are cut at 99 bytes, but not inside a character.
      {"[audio]\nindev=" + std::string(300, 'x') + "\noutdev=" + std::string(98, 'a') +
           "\xC3\xA9tail\n",
       [](S& s) {
         s.audioInputDevice = std::string(99, 'x'), s.audioOutputDevice = std::string(98, 'a');
       }},
      // A cut that ends on a blank drops it, so the name reads back the same once written.
      {"[audio]\nindev=" + std::string(98, 'n') + " tail\n",
       [](S& s) { s.audioInputDevice = std::string(98, 'n'); }},
      {"[midi]\nindev=bad\x01name\noutdev=\xFF\xFE\n", {}},
      {std::string("[audio]\nindev=a\0b\n", 18), {}},
  };
  for (const auto& row : rows) {
    DeviceSettings expected = fallbacks;
    if (row.edit) row.edit(expected);
    EXPECT_EQ(FormatSettings(ParseSettings(row.text)), FormatSettings(expected)) << row.text;
  }
}

} // namespace
} // namespace coral
