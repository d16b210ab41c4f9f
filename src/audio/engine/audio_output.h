#pragma once

#include <cstdint>

// The sound device the library mixes into: SDL2 audio on Linux, waveOut on Windows; one per
// build. Once open, the device's own thread asks for blocks of interleaved 16-bit stereo until it
// is closed. The calls below come from the library's caller, one at a time.

// Writes `frames` stereo frames to `out`; true when they are silence (nothing playing, or at
// zero gain). Runs on the output thread and must never wait for the caller's thread.
using MixFunction = bool (*)(void* user, int16_t* out, int frames);

// Opens the system's default output at `rate` Hz and starts pulling blocks from `mix`. False,
// with nothing left open, when there is no device or it will not play that format.
bool openOutput(int rate, MixFunction mix, void* user);
// Stops pulling and closes the device; once it returns, `mix` is not called again. A device that
// no longer takes samples is halted and left to the process's end instead of waited for.
void closeOutput();
// Halts the device once what it plays has become silence (waiting a short, bounded while for
// that), so halting does not click.
void pauseOutputWhenSilent();
// Plays on after pauseOutputWhenSilent.
void resumeOutput();
