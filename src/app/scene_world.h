#pragma once

#include <cstdint>
#include <memory>

#include "app/scene_timing.h"
#include "assets/mesh.h"
#include "assets/texture.h"
#include "scenes/camera_path.h"
#include "scenes/cells_scene.h"
#include "scenes/clock_overlay.h"
#include "scenes/core_scene.h"
#include "scenes/dna_helix.h"
#include "scenes/transition_haze.h"

// Every scene object of the process and the frame's own state, in one place. Members are built in
// declaration order, and the camera and the nucleus swarm draw random numbers as they are built,
// so this order fixes every random layout.
struct SceneWorld {
    static constexpr int kMolecules = 10;

    CameraPath camera;
    CellsScene cellsScene;
    CoreScene coreScene;
    DnaHelix molecules[kMolecules];
    TransitionHaze haze;
    ClockOverlay overlay;

    float envAngle = 0;  // degrees, background spin in the core and DNA sets
    uint32_t envList = 0;
    Texture baseTexture;
    Texture envTexture;
    Texture deepEnvTexture;
    int32_t activeMolecule = 0;
    FrameRateCounter frameRate;
    std::unique_ptr<Mesh> backgroundMesh;
};

// Built on first use; the program calls it at start, before the run seeds the generator.
SceneWorld& sceneWorld();

// Begins a random track of the given set at once, prepared as when a track of it begins in the run
// (cells recoloured and a new tint picked, or a DNA molecule chosen and restarted).
void startInSceneSet(uint8_t sceneSet);
