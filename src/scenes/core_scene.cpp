#include "scenes/core_scene.h"

#include <GL/gl.h>

#include <utility>

#include "data/settings.h"
#include "render/draw_census.h"
#include "render/render_state.h"
#include "render/view_frustum.h"
#include "scenes/cell.h"

namespace {

constexpr float kParticleScale = 0.6f;

}  // namespace

void CoreScene::load()
{
    membrane.load(currentSettings.Detail == 0 ? "animation\\lcore.trk" : "animation\\core.trk");
    coreTexture.load("textures\\hcore.jpg");
    skinTexture.load("textures\\cell.jpg");
    MeshData sphere, ribosome;
    sphereMesh.load("meshes\\lows.dat", &sphere);
    riboMesh.load("meshes\\ribo.dat", &ribosome);
    sphereCopies.build(sphere, CoreParticles::kSpheres);
    riboCopies.build(ribosome, CoreParticles::kCount - CoreParticles::kSpheres);
    helix.buildHelix(20.0f, 15.0f, 18);
}

void CoreScene::update(float dt)
{
    membrane.advance(dt * 1.9f);
    helix.update(dt);
    spin = advanceAngle(spin, 50.0f * dt);
    particles.advance(dt);
}

void CoreScene::draw()
{
    // Helix below the nucleus: spheres, then additive rungs.
    setCulling(true);
    setAlphaBlend();
    pushMatrix();
    translate({0, -100, 0});
    scaleUniform(0.8f);
    helix.alpha = 1.0f;
    beginPart(FramePart::HelixSpheres);
    helix.dnaTexture.bind();
    helix.drawSpheres();
    popMatrix();

    pushMatrix();
    translate({0, -100, 0});
    scaleUniform(0.8f);
    setCulling(false);
    setLighting(false);
    setAdditiveBlend();
    beginPart(FramePart::HelixRungs);
    helix.linkTexture.bind();
    helix.drawRungs();
    popMatrix();

    // Nucleus and its additive skin.
    setLighting(true);
    setDepthWrite(false);
    pushMatrix();
    rotate({0, -1, 1}, spin);
    setColour(colour, 0.9f);
    setSpecular((Vector3(1, 1, 1) - colour) * 0.5f);
    setSphereMap(true);
    coreTexture.bind();
    setShininess(10.0f);
    setAlphaBlend();
    setCulling(true);
    scaleUniform(10.0f);
    membrane.bindArrays();
    beginPart(FramePart::Nucleus);
    membrane.drawFrame();
    setAdditiveBlend();
    scaleUniform(1.03f);
    skinTexture.bind();
    setDepthWrite(true);
    beginPart(FramePart::NucleusSkin);
    membrane.drawFrame();
    setSphereMap(false);
    popMatrix();

    // The swarm, additive, with the skin texture still bound. Culling on: the particles in view
    // go into two batches of copies, two calls in all; off: each under its own matrix.
    setDepthWrite(false);
    ViewFrustum frustum;
    frustum.capture();
    const bool batched = frustumCulling() && !sphereCopies.empty() && !riboCopies.empty();
    uint32_t spheres = 0, ribosomes = 0;
    beginPart(FramePart::Particles);
    for (int i = 0; i < CoreParticles::kCount; ++i) {
        const bool sphere = i < CoreParticles::kSpheres;
        if (i == CoreParticles::kSpheres) beginPart(FramePart::Ribosomes);
        const Matrix3 turn = particles.orbitTurn(i);
        const Vector3 centre = particles.position(turn, i);
        if (frustum.outside(centre, kParticleScale * (sphere ? sphereMesh.radius : riboMesh.radius))) continue;
        if (batched) {
            MeshBatch& copies = sphere ? sphereCopies : riboCopies;
            uint32_t& placed = sphere ? spheres : ribosomes;
            const Matrix3 spun = turn * glRotation(particles.spinAxis[i], particles.spinAngle(i));
            copies.place(placed, spun * kParticleScale, spun, centre);
            copies.setColour(placed, particles.particleColour[i], 0.3f);
            // A few pixels across, most of a particle's triangles lie between pixel centres.
            copies.addFacing(placed, spun.transposed() * (frustum.eye() - centre) / kParticleScale, &frustum.window());
            ++placed;
            continue;
        }
        pushMatrix();
        rotate(particles.orbitAxis[i], particles.orbitTilt[i]);
        rotate({1, 0, 0}, particles.particleAngle[i]);
        translate({0, particles.orbitRadius[i], 0});
        rotate(particles.spinAxis[i], particles.spinAngle(i));
        scaleUniform(kParticleScale);
        setColour(particles.particleColour[i], 0.3f);
        callList(sphere ? sphereMesh.displayList : riboMesh.displayList);
        popMatrix();
    }
    if (!batched) return;
    beginPart(FramePart::Particles);
    for (auto [copies, placed] : {std::pair{&sphereCopies, spheres}, std::pair{&riboCopies, ribosomes}}) {
        if (placed == 0) continue;
        if (copies == &riboCopies) beginPart(FramePart::Ribosomes);
        copies->upload(0, placed);
        copies->bindArrays();
        copies->drawFacing();
        copies->unbindArrays();
    }
}
