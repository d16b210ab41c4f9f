#pragma once

#include <cstdint>

// The small per-frame rules of the scene driving, apart from any GL: clock rates, the background
// spin, the frame-rate counter, the choice of molecule and the fade layer.

// Scene-set numbers as the camera stores them.
constexpr uint8_t kCoreSet = 0;
constexpr uint8_t kCellsSet = 1;
constexpr uint8_t kDnaSet = 2;

// Track-time units per second: cells 3, core 2, DNA 1.
float trackRate(uint8_t sceneSet);

// Background spin of the core and DNA sets, 25 degrees per second, wrapped once past 360.
float advanceEnvAngle(float envAngle, float dt);

// Frames counted over windows of just over one second; the figure is 0 until the first window ends.
struct FrameRateCounter {
    int32_t frameCount = 0;
    float fpsSeconds = 0;
    int32_t framesPerSecond = 0;

    void addFrame(float dt);
};

// Index 0..9 of the molecule a DNA track shows, from one random number r in [0, 1].
int32_t pickActiveMolecule(float r);

// The haze veils the first 3 track units of core and DNA tracks, at the high detail level only.
bool hazeShown(uint8_t sceneSet, float trackTime, int32_t detail);
// 0.9 at the start of a track, 0 at 3.
float hazeAlpha(float trackTime);
