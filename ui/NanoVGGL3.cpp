// NanoVG's OpenGL 3 renderer and its framebuffer helpers, on the entry points libepoxy
// resolves. Compiled into the NanoVG library beside nanovg.c.
#include <epoxy/gl.h>

#include "nanovg.h"
#define NANOVG_GL3_IMPLEMENTATION
#include "nanovg_gl.h"
#include "nanovg_gl_utils.h"
