#pragma once
// Message boxes: modal GtkMessageDialogs whose title is the caption. They do not block: the
// answer arrives through a callback when the user closes the box.
//
// Threads: user-interface thread.

#include <functional>
#include <string>

#include <gtk/gtk.h>

namespace coral {

enum class EMessageButtons { Ok, YesNo };

// Shows `text` with the title `caption` over `parent` (nullptr: on its own). `onAnswer` gets
// true for Yes (or OK) and false for No or a closed box.
void ShowMessageBox(GtkWindow* parent, const std::string& text, const std::string& caption,
                    EMessageButtons buttons, std::function<void(bool yes)> onAnswer = {});

} // namespace coral
