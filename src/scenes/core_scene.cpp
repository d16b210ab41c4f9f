#include "scenes/core_scene.h"

#include <GL/gl.h>

#include "data/settings.h"
#include "render/draw_census.h"
#include "render/render_state.h"
#include "render/view_frustum.h"
#include "scenes/cell.h"

void CoreScene::load()
{
    membrane.load(currentSettings.Detail == 0 ? "animation\\lcore.trk" : "animation\\core.trk");
    coreTexture.load("textures\\hcore.jpg");
    skinTexture.load("textures\\cell.jpg");
    sphereMesh.load("meshes\\lows.dat");
    riboMesh.load("meshes\\ribo.dat");
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

    // The swarm, additive, with the skin texture still bound.
    setDepthWrite(false);
    const uint32_t sphereList = sphereMesh.displayList;
    const uint32_t riboList = riboMesh.displayList;
    ViewFrustum frustum;
    frustum.capture();
    beginPart(FramePart::Particles);
    for (int i = 0; i < CoreParticles::kCount; ++i) {
        const bool sphere = i < CoreParticles::kSpheres;
        if (i == CoreParticles::kSpheres) beginPart(FramePart::Ribosomes);
        if (frustum.outside(particles.position(i), 0.6f * (sphere ? sphereMesh.radius : riboMesh.radius))) continue;
        pushMatrix();
        rotate(particles.orbitAxis[i], particles.orbitTilt[i]);
        rotate({1, 0, 0}, particles.particleAngle[i]);
        translate({0, particles.orbitRadius[i], 0});
        rotate(particles.spinAxis[i], particles.spinAngle(i));
        scaleUniform(0.6f);
        setColour(particles.particleColour[i], 0.3f);
        callList(sphere ? sphereList : riboList);
        popMatrix();
    }
}
