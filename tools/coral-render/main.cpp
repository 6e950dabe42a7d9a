// coral-render: plays an audio file through the equaliser as a host would and writes the
// result, with optional analysis report, plot and saved state. See --help.

#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <unistd.h>
#include <vector>

#include "tools/coral-render/Options.h"
#include "tools/coral-render/Session.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
  interrupted = 1;
}

} // namespace

int main(int argc, char** argv) {
  using namespace coral::render;
  try {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    Options options;
    std::string error;
    if (!ParseCommandLine(args, options, error)) {
      std::fprintf(stderr, "coral-render: %s\n", error.c_str());
      return kExitBadInput;
    }
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const Console console{stdout, stderr, ::isatty(STDERR_FILENO) == 1, &interrupted};
    return RunRenderer(options, console);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "coral-render: internal error: %s\n", e.what());
    return kExitInternalError;
  }
}
