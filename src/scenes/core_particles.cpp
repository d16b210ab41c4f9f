#include "scenes/core_particles.h"

#include "math/random.h"
#include "scenes/cell.h"

CoreParticles::CoreParticles()
    : orbitAxis(kCount), particleAngle(kCount), orbitRadius(kCount), particleSpeed(kCount), orbitTilt(kCount),
      spinAxis(kCount), particleColour(kCount)
{
    for (int i = 0; i < kCount; ++i) {
        particleAngle[i] = 360.0f * randomUnit();
        orbitTilt[i] = 360.0f * randomUnit();
        orbitAxis[i] = randomDirection();
        spinAxis[i] = randomDirection();
        particleSpeed[i] = 1.0f + 20.0f * randomUnit();
        orbitRadius[i] = 270.0f + 600.0f * randomUnit();
        const float r = 1.0f - 0.7f * randomUnit();
        const float g = 1.0f - 0.7f * randomUnit();
        const float b = 1.0f - 0.7f * randomUnit();
        particleColour[i] = {r, g, b};
    }
}

void CoreParticles::advance(float dt)
{
    for (int i = 0; i < kCount; ++i) particleAngle[i] = advanceAngle(particleAngle[i], particleSpeed[i] * dt);
}

Matrix3 CoreParticles::orbitTurn(int i) const
{
    return glRotation(orbitAxis[i], orbitTilt[i]) * glRotation({1, 0, 0}, particleAngle[i]);
}
