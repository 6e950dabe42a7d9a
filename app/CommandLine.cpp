#include "app/CommandLine.h"

namespace coral {

CommandLine ParseCommandLine(const std::vector<std::string>& tokens) {
  CommandLine line;
  const auto takePath = [&](std::size_t& i, std::string& path) {
    if (i + 1 < tokens.size()) {
      path = tokens[++i];
    } else {
      line.error = tokens[i] + " needs a file path";
    }
  };
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    if (token == "--screenshot") {
      if (i + 1 < tokens.size()) line.screenshotPath = tokens[++i];
    } else if (token == "--no-io") {
      line.noIO = true;
    } else if (token == "--save-state") {
      takePath(i, line.saveStatePath);
    } else if (token == "--load-state") {
      takePath(i, line.loadStatePath);
    } else if (token == "--help") {
      line.help = true;
    } else if (token == "--version") {
      line.version = true;
    } else {
      line.ignored.push_back(token);
    }
  }
  if (!line.screenshotPath.empty()) line.noIO = true;
  return line;
}

std::string HelpText(const std::string& settingsFile) {
  return "Usage: coral-sieve [OPTION]...\n"
         "CORAL SIEVE, a twelve-band dynamic equaliser for stereo audio, with its editor in a\n"
         "window, running on the audio and MIDI devices chosen in File > Preferences.\n"
         "\n"
         "  --no-io             start without opening audio or MIDI devices\n"
         "  --screenshot PATH   write the editor as a PNG image to PATH half a second after\n"
         "                      the window appears, then exit (opens no audio or MIDI)\n"
         "  --save-state PATH   ask the running CORAL SIEVE to write its settings to PATH as a\n"
         "                      state file (for example for coral-render --state PATH)\n"
         "  --load-state PATH   load the state file PATH into the running CORAL SIEVE, or start\n"
         "                      with it when none runs\n"
         "  --help              show this help and exit\n"
         "  --version           show the version and exit\n"
         "\n"
         "Only one CORAL SIEVE runs at a time: starting it again brings its window forward.\n"
         "The audio and MIDI devices are kept in\n"
         "  " +
         settingsFile +
         "\n"
         "\n"
         "Exit status: 0 on success, 1 when the application fails, 2 for an option without its\n"
         "path, a state file that cannot be used, or a request that no running CORAL SIEVE\n"
         "answered.\n";
}

} // namespace coral
