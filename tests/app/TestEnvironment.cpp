#include "tests/app/TestEnvironment.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace coral::test {
namespace {

class Environment {
public:
  Environment() {
    std::string pattern = (std::filesystem::temp_directory_path() / "coral-app-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    home_ = pattern;
    setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
  }
  ~Environment() {
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
  }
  const std::string& Home() const { return home_; }

private:
  std::string home_;
};

const Environment gEnvironment;

} // namespace

const std::string& ConfigHome() {
  return gEnvironment.Home();
}

std::string SettingsFolder() {
  return ConfigHome() + "/CoralSieve";
}

std::string SettingsFile() {
  return SettingsFolder() + "/settings.ini";
}

void ClearSettings() {
  std::filesystem::remove_all(SettingsFolder());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

} // namespace coral::test
