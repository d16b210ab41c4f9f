#pragma once

// The fixed-function OpenGL 1.x interface, its extension types and GLU. Extension entry points are
// never linked directly: they come through render/gl_setup.h, resolved for the current context.
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
