#pragma once
// One run of the renderer from parsed options: settings, files, render, report, plot, and
// the final commit of every written file.

#include <csignal>
#include <cstdio>

#include "tools/coral-render/Options.h"

namespace coral::render {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitInternalError = 1;
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitInterrupted = 130;

struct Console {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  bool errIsTerminal = false; // a progress bar may be drawn on `err`
  // Set asynchronously (by a signal handler) to stop the render; nothing is then written.
  const volatile std::sig_atomic_t* interrupted = nullptr;
};

// Carries out `options`. Errors are one line "coral-render: ..." on console.err. Answers the
// exit status: kExitSuccess, kExitBadInput for any unusable option, setting or file (then no
// destination file is created or changed), kExitInterrupted when stopped.
int RunRenderer(const Options& options, const Console& console);

} // namespace coral::render
