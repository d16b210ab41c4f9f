#pragma once

#include <vector>

#include "math/rotation.h"
#include "math/vector3.h"

// The nucleus's swarm: 1200 small spheres and 200 ribosomes on tilted circular orbits. Seven
// parallel arrays, so the per-frame update touches only the angles and speeds.
class CoreParticles {
public:
    static constexpr int kCount = 1400;
    static constexpr int kSpheres = 1200;  // 0..1199 spheres, the rest ribosomes

    // Draws every particle's parameters from the global generator.
    CoreParticles();
    virtual ~CoreParticles() = default;

    void advance(float dt);

    // Degrees a particle turns about its own spin axis: ribosomes spin 16 times faster.
    float spinAngle(int i) const { return i < kSpheres ? particleAngle[i] : 16.0f * particleAngle[i]; }
    // The tilt of particle i's orbit times its turn along it, as the draw's two rotations build it.
    Matrix3 orbitTurn(int i) const;
    // Centre of particle i on its orbit now, in the space the swarm is drawn in.
    Vector3 position(const Matrix3& turn, int i) const { return turn * Vector3(0, orbitRadius[i], 0); }

    std::vector<Vector3> orbitAxis;
    std::vector<float> particleAngle;   // degrees
    std::vector<float> orbitRadius;
    std::vector<float> particleSpeed;   // degrees per second
    std::vector<float> orbitTilt;       // degrees
    std::vector<Vector3> spinAxis;
    std::vector<Vector3> particleColour;
};
