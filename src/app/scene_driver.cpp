#include "app/scene_driver.h"

#include <GL/gl.h>

#include "app/scene_world.h"
#include "data/settings.h"
#include "math/random.h"
#include "render/draw_census.h"
#include "render/render_state.h"

namespace {

PresentFrame presentFrame = nullptr;

constexpr const char* kMoleculeFiles[SceneWorld::kMolecules] = {"dna0.dat", "dna1.dat", "dna2.dat", "dna3.dat",
                                                                "dna4.dat", "dna5.dat", "dna6.dat", "dna7.dat",
                                                                "dna8.dat", "dna9.dat"};

void setFrameMaterial()
{
    const GLfloat diffuse[] = {1, 1, 1, 1};
    const GLfloat ambient[] = {0, 0, 0, 0};
    const GLfloat specular[] = {0.629f, 0.799f, 0.941f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 6.5f);
}

void pickTintFromCells(SceneWorld& w)
{
    // The nearest-cell rule needs at least one cell; without a layout the tint stays as it was.
    if (!w.cellsScene.cells.empty()) w.camera.pickTint(w.cellsScene);
}

}  // namespace

SceneWorld& sceneWorld()
{
    static SceneWorld world;
    return world;
}

void setPresentFrame(PresentFrame present) { presentFrame = present; }

void loadSceneAssets()
{
    SceneWorld& w = sceneWorld();
    w.camera.trackTime = 0;
    w.camera.sceneSet = SceneSet::Cells;
    w.overlay.setUp();

    w.backgroundMesh = std::make_unique<Mesh>();
    w.backgroundMesh->load("meshes\\lows.dat");
    w.envList = w.backgroundMesh->displayList;

    w.baseTexture.load("textures\\cell.jpg");
    w.envTexture.load("textures\\env.jpg");
    w.deepEnvTexture.load("textures\\d_env.jpg");
    // The background's texels are larger than the screen's pixels nearly everywhere, so the
    // mipmaps are almost never read; plain bilinear filtering spares every pixel of its two
    // full-screen passes the choice of a level (only a few pixels near the mesh's poles differ).
    for (const Texture* background : {&w.envTexture, &w.deepEnvTexture}) {
        background->bind();
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    }

    w.haze.load();
    w.cellsScene.load("reg_cells.dat");
    for (int i = 0; i < SceneWorld::kMolecules; ++i) w.molecules[i].loadMolecule(kMoleculeFiles[i]);
    w.coreScene.load();

    w.camera.loadRandomScene();
    pickTintFromCells(w);
}

void advanceAnimations(float dt)
{
    SceneWorld& w = sceneWorld();
    const float step = dt * 0.8f;
    w.cellsScene.update(step);
    for (DnaHelix& molecule : w.molecules) molecule.update(step);
    w.haze.update(step);
    w.coreScene.update(step);
}

namespace {

uint8_t currentSet(const SceneWorld& w) { return static_cast<uint8_t>(w.camera.sceneSet); }

// What the driver does right after a new track is loaded.
void prepareNewTrack(SceneWorld& w)
{
    if (currentSet(w) == kCellsSet) {
        w.cellsScene.recolour();
        pickTintFromCells(w);
    } else if (currentSet(w) == kDnaSet) {
        w.activeMolecule = pickActiveMolecule(randomUnit());
        w.molecules[w.activeMolecule].reset();
    }
}

}  // namespace

void advanceTrack(float dt)
{
    SceneWorld& w = sceneWorld();
    w.camera.trackTime += dt * trackRate(currentSet(w));
    w.camera.update();
    if (!w.camera.trackEnded) return;
    w.camera.loadRandomScene();
    // This frame already shows the new set: from the new track's first pose, not the old one's,
    // which would flash up for one frame at every change.
    w.camera.update();
    prepareNewTrack(w);
}

void startInSceneSet(uint8_t sceneSet)
{
    SceneWorld& w = sceneWorld();
    w.camera.sceneSet = static_cast<SceneSet>(sceneSet);
    w.camera.trackTime = 0;
    w.camera.loadRandomScene();
    prepareNewTrack(w);
}

void composeFrame(float dt)
{
    SceneWorld& w = sceneWorld();
    const uint8_t set = currentSet(w);
    const bool cells = set == kCellsSet;
    const Vector3 white(1, 1, 1);

    setDepthWrite(true);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    setFrameMaterial();
    loadIdentity();
    w.envAngle = advanceEnvAngle(w.envAngle, dt);

    // Background: one mesh drawn twice around the viewer (cells) or fixed and spinning (others).
    setAdditiveBlend();
    setCulling(false);
    setLighting(false);
    selectMatrix(0);
    loadIdentity();
    scale({2, 1, 1});
    selectMatrix(1);
    setDepthWrite(false);
    (cells ? w.envTexture : w.deepEnvTexture).bind();
    if (cells)
        w.camera.applyLookAtRotationOnly();
    else
        w.camera.applyLookAt();
    setColour3(white);
    if (set == kCoreSet) setColour3(w.camera.tint);
    if (set == kDnaSet) setColour3(white - w.camera.tint);
    if (cells) {
        scaleUniform(3.0f);
    } else {
        translate({0, 230, 0});
        scaleUniform(90.0f);
    }
    w.coreScene.colour = white - w.camera.tint;
    if (!cells) rotate({1, 1, 0}, w.envAngle);
    beginPart(FramePart::Background);
    callList(w.envList);
    if (!cells) rotate({0, 1, 1}, -w.envAngle);
    rotate({0, 1, 0}, 90.0f);
    callList(w.envList);
    // Handed over now, the two full-screen passes keep a software rasterizer's threads busy while
    // this thread goes on with the scene's geometry (a GPU driver just starts on them sooner).
    glFlush();
    glEnable(GL_COLOR_MATERIAL);
    selectMatrix(0);
    loadIdentity();
    selectMatrix(1);

    // The scene of the current set, in world space.
    w.baseTexture.bind();
    loadIdentity();
    w.camera.applyLookAt();
    setLighting(true);
    setDepthWrite(false);
    setBlending(true);
    if (cells)
        w.cellsScene.draw(w.camera);
    else if (set == kDnaSet)
        w.molecules[w.activeMolecule].drawMoleculeShow();
    else
        w.coreScene.draw();

    w.frameRate.addFrame(dt);
    w.overlay.setNumber(w.frameRate.framesPerSecond);

    setLighting(false);
    setWhite();
    setCulling(false);
    if (hazeShown(set, w.camera.trackTime, currentSettings.Detail)) {
        w.haze.colour = set == kCoreSet ? w.camera.tint : white - w.camera.tint;
        w.haze.alpha = hazeAlpha(w.camera.trackTime);
        beginPart(FramePart::Haze);
        w.haze.draw();
    }

    // 2D overlay: frame rate top left, clock bottom right.
    setWhite();
    setAdditiveBlend();
    setBlending(true);
    beginOverlay2D();
    beginPart(FramePart::Overlay);
    w.overlay.digitTexture.bind();
    if (currentSettings.ShowFPS) w.overlay.drawText(0, 560);
    w.overlay.buildClockText(currentSettings.TimeFormat);
    if (currentSettings.ShowClock) w.overlay.drawText(520, 10);
    endOverlay2D();
    census::endFrame();

    glFlush();
    if (presentFrame) presentFrame();
}
