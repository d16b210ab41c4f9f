#pragma once

#include <cstdint>

#include "render/gl.h"

// The optional entry points of the current context, resolved by initGl. Kept in a namespace so
// they never collide with the GL library's own exported symbols of the same names.
namespace glext {

// True only when all four buffer-object entry points resolved.
extern bool vboAvailable;
extern PFNGLGENBUFFERSARBPROC glGenBuffersARB;
extern PFNGLBINDBUFFERARBPROC glBindBufferARB;
extern PFNGLBUFFERDATAARBPROC glBufferDataARB;
extern PFNGLBUFFERSUBDATAARBPROC glBufferSubDataARB;
// The context's swap-interval control; null when the driver has none.
extern bool (*swapIntervalEXT)(int interval);

// Resolves the four buffer-object entry points through the platform and sets vboAvailable: true
// when all four resolved and the driver makes a buffer name.
bool resolveBufferObjects();

// Binds buffer name to target and loads size bytes into it. False when GL could not keep them (out
// of memory): the buffer is then without storage, and drawing from it would show nothing.
bool loadBuffer(GLenum target, GLuint name, GLsizeiptrARB size, const void* data, GLenum usage);

}  // namespace glext

// The exponent of the gamma ramp for the brightness setting (0..100, 50 neutral):
// 0 gives 1.5 (darker), 50 gives 1.0, 100 gives 0.5 (brighter). Values outside 0..100 are taken
// as the nearest end, so a damaged setting cannot produce a wild ramp.
float gammaExponent(int32_t gamma);

// Whether a current context answers at all: one that gives no GL_VERSION (or an empty one) draws
// nothing either.
bool glContextAnswers();

// Puts the current context into the start state every drawing step assumes, resolves the
// optional entry points, applies VSync and, unless DefGamma is on, the gamma setting; logs each
// step. Call once with the context current and its GlContextServices installed. False only when
// no context is current (nothing can be drawn then).
bool initGl();
