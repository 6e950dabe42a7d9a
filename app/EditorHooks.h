#pragma once
// The plug-in's editor in the application: the graphics factory makes the GTK editor window
// (ICanvasGtk, 1180 x 800 logical pixels, 30 frames per second, draw scale 1) and the layout
// function fills it with the editor's controls.
//
// Threads: user-interface thread (the editor delegate calls both when the editor first opens).

#include "core/ICanvasEditorDelegate.h"

namespace coral {

reef::IEditorHooks MakeEditorHooks();

} // namespace coral
