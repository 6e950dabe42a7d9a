#pragma once
// The coral-sieve program: command line, single instance, the host and the main window, the
// GTK main loop, and the orderly end.
//
// Threads: the main thread, which runs GTK's main loop and is the user-interface thread.

#include <exception>
#include <string>
#include <vector>

namespace coral {

// Runs the program with the arguments after the program name; answers the exit status: 0
// after a normal end or when another instance already runs, 1 when the application fails, 2
// for a bad option or state file or an unanswered request to a running instance.
int RunApplication(const std::vector<std::string>& args);

// Ends the main loop with exit status 1 after an exception escaped a GTK callback (GTK's C
// frames cannot pass it on); prints what it was.
void EndWithException(const std::exception& exception);

// Runs `action` from a GTK callback; a standard exception that escapes it ends the
// application with exit status 1.
template <typename Action>
void Guarded(Action&& action) {
  try {
    action();
  } catch (const std::exception& exception) {
    EndWithException(exception);
  }
}

} // namespace coral
