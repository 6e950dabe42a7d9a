#pragma once
// The command line of coral-sieve. Tokens are compared exactly and case-sensitively:
// "--screenshot" takes the next token as the screenshot path (none when it is the last token),
// "--no-io" keeps audio and MIDI closed, "--save-state" and "--load-state" take the next token
// as a state file path, "--help" and "--version" ask for text; any other token is ignored.
// A screenshot path also keeps audio and MIDI closed.

#include <string>
#include <vector>

namespace coral {

struct CommandLine {
  std::string screenshotPath;
  bool noIO = false;
  bool help = false;
  bool version = false;
  std::string saveStatePath;
  std::string loadStatePath;
  std::vector<std::string> ignored; // tokens that are no option
  std::string error;                // an option without its path; empty when usable
};

// `tokens` are the arguments after the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& tokens);

// The text of --help; `settingsFile` is where settings.ini lives for this user.
std::string HelpText(const std::string& settingsFile);

} // namespace coral
