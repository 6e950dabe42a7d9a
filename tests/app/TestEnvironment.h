#pragma once
// Process-wide set-up shared by the host tests: the user's configuration folder points to a
// private temporary folder (removed at exit), and no JACK client may start a server on its
// own.

#include <string>

namespace coral::test {

// The temporary folder that XDG_CONFIG_HOME names for this process.
const std::string& ConfigHome();
// ConfigHome() + "/CoralSieve", and the settings file in it.
std::string SettingsFolder();
std::string SettingsFile();
// Removes the settings folder, so that the next start-up is a first run.
void ClearSettings();
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

} // namespace coral::test
