#pragma once

#include "scenes/loading_screen.h"

// What the run does with the scenes: load them once, then per frame advance the animations,
// advance the track clock (and change the set when a track ends), compose and present the frame.

// composeFrame presents through this function; without one the frame is drawn but not shown.
void setPresentFrame(PresentFrame present);

// Once, after the loading screen is shown and before the first frame; needs the GL context.
void loadSceneAssets();

// dt: seconds since the last frame, as measured (not clamped).
void advanceAnimations(float dt);
void advanceTrack(float dt);
void composeFrame(float dt);
