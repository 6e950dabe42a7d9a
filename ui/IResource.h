#pragma once
// Read-only data compiled into the program (the editor's font, the maker logo), found by file
// name. Names compare without regard to case, as resource names do on the platform the editor
// was designed for ("ROBOTO-REGULAR.TTF" finds "Roboto-Regular.ttf").
//
// Threads: any; the bytes never change and live as long as the program.

#include <span>
#include <string>

namespace reef::ui {

class IResource {
public:
  // The bytes of resource `name`; empty when the program holds no such resource.
  static std::span<const unsigned char> Find(const std::string& name);
};

} // namespace reef::ui
