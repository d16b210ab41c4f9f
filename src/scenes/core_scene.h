#pragma once

#include "assets/mesh.h"
#include "assets/mesh_batch.h"
#include "assets/texture.h"
#include "assets/vertex_anim_track.h"
#include "math/vector3.h"
#include "scenes/core_particles.h"
#include "scenes/dna_helix.h"

// The cell nucleus seen from inside the cell: a turning, pulsating nucleus with a glossy skin, a
// helix below it and a swarm of 1400 particles on circular orbits around it.
class CoreScene {
public:
    // Draws the particle layout from the global generator (before the run seeds it).
    CoreScene() = default;
    virtual ~CoreScene() = default;

    // Reads the Detail setting; GL context current.
    void load();
    void update(float dt);
    void draw();

    VertexAnimTrack membrane;
    Texture coreTexture;
    Texture skinTexture;
    DnaHelix helix;
    Mesh sphereMesh;
    Mesh riboMesh;
    float spin = 0;  // degrees
    Vector3 colour;  // (1,1,1) - tint, written by the frame
    CoreParticles particles;
    MeshBatch sphereCopies;  // the swarm's spheres and ribosomes, placed each frame
    MeshBatch riboCopies;
};
