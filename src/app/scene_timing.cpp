#include "app/scene_timing.h"

#include "math/rotation.h"

float trackRate(uint8_t sceneSet)
{
    switch (sceneSet) {
    case kCellsSet: return 3.0f;
    case kCoreSet: return 2.0f;
    default: return 1.0f;
    }
}

float advanceEnvAngle(float envAngle, float dt) { return advanceAngle(envAngle, dt * 25.0f); }

void FrameRateCounter::addFrame(float dt)
{
    frameCount += 1;
    fpsSeconds += dt;
    if (fpsSeconds > 1.0f) {
        fpsSeconds = 0;
        framesPerSecond = frameCount;
        frameCount = 0;
    }
}

int32_t pickActiveMolecule(float r)
{
    const int32_t index = static_cast<int32_t>(r * 10.0f - 0.1f);
    // r is in [0, 1], so index is already 0..9; the clamp only guards a generator out of range.
    return index < 0 ? 0 : index > 9 ? 9 : index;
}

bool hazeShown(uint8_t sceneSet, float trackTime, int32_t detail)
{
    return sceneSet != kCellsSet && trackTime <= 3.0f && detail == 2;
}

float hazeAlpha(float trackTime) { return 0.6f - (trackTime - 1.0f) * 0.3f; }
