// The cells and nucleus scenes loaded from the real archive: which body each detail level uses,
// the cell layout, and what a missing layout does.
#include <gtest/gtest.h>

#include "data/log.h"
#include "data/settings.h"
#include "gl_fixture.h"
#include "math/random.h"
#include "render/gl_setup.h"
#include "scenes/camera_path.h"
#include "scenes/cells_scene.h"
#include "scenes/core_scene.h"
#include "scenes/loading_screen.h"
#include "scenes/transition_haze.h"

namespace {

class SceneObjectsTest : public GlTest {
protected:
    void TearDown() override { currentSettings.Detail = 2; }
};

}  // namespace

TEST_F(SceneObjectsTest, NucleusUsesTheReducedBodyOnlyAtLowDetail)
{
    const uint32_t expected[3] = {162, 642, 642};
    for (int detail = 0; detail <= 2; ++detail) {
        SCOPED_TRACE(detail);
        currentSettings.Detail = detail;
        CoreScene core;
        core.load();
        EXPECT_EQ(core.membrane.vertexCount, expected[detail]);
        EXPECT_NE(core.sphereMesh.displayList, 0u);
        EXPECT_NE(core.riboMesh.displayList, 0u);
        EXPECT_EQ(core.helix.strandA.size(), 18u);
    }
}

TEST_F(SceneObjectsTest, CellsUseTheFullBodyOnlyAtHighDetailAndReadSixtyFourCells)
{
    const uint32_t expected[3] = {162, 162, 642};
    for (int detail = 0; detail <= 2; ++detail) {
        SCOPED_TRACE(detail);
        currentSettings.Detail = detail;
        CellsScene scene;
        scene.load("reg_cells.dat");
        EXPECT_EQ(scene.membrane.vertexCount, expected[detail]);
        ASSERT_EQ(scene.cells.size(), 64u);
        for (const auto& cell : scene.cells) {
            for (float v : {cell->basePosition.x, cell->basePosition.y, cell->basePosition.z}) {
                EXPECT_GE(v, -150.0f);
                EXPECT_LE(v, 150.0f);
            }
            EXPECT_NEAR(cell->axis.length(), 1.0f, 1e-3f);
            EXPECT_EQ(cell->position, cell->basePosition);
            EXPECT_EQ(cell->membrane, &scene.membrane);
            EXPECT_EQ(cell->helix, &scene.helix);
            EXPECT_NE(cell->bodyList, 0u);
            EXPECT_NE(cell->mitoList, 0u);
        }
    }
}

// A second load (a new GL context, as the frame benchmark makes) must give the same field, not the
// old one with a second one on top.
TEST_F(SceneObjectsTest, LoadingAgainReplacesTheCellsAndTheHazeLayers)
{
    CellsScene scene;
    scene.load("reg_cells.dat");
    scene.load("reg_cells.dat");
    EXPECT_EQ(scene.cells.size(), 64u);

    TransitionHaze haze;
    haze.load();
    haze.load();
    EXPECT_EQ(haze.layers.size(), static_cast<size_t>(haze.count));
}

TEST_F(SceneObjectsTest, MissingLayoutGivesAnEmptyFieldThatStillDrawsAndIsLogged)
{
    CellsScene scene;
    scene.load("no_such_cells.dat");
    EXPECT_TRUE(scene.cells.empty());
    EXPECT_NE(logText().find("Cell layout <no_such_cells.dat> is missing or truncated: 0 cells"), std::string::npos);

    CameraPath camera;
    scene.update(0.1f);
    scene.draw(camera);  // nothing to draw, nothing to crash on
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(SceneObjectsTest, CellsDrawLeavesTheStateTheFrameExpects)
{
    ASSERT_TRUE(initGl());
    CellsScene scene;
    scene.load("reg_cells.dat");
    CameraPath camera;  // at the origin, looking down -z
    scene.update(0.5f);
    glLoadIdentity();
    camera.applyLookAt();
    glEnable(GL_BLEND);
    glEnable(GL_LIGHTING);
    scene.draw(camera);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    GLboolean depthWrite = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrite);
    EXPECT_EQ(depthWrite, GL_FALSE);
    EXPECT_EQ(intState(GL_BLEND_DST), GL_ONE);
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
    // Farthest first after the draw, every cell placed around the camera.
    for (size_t i = 1; i < scene.cells.size(); ++i)
        EXPECT_GE(scene.cells[i - 1]->distance, scene.cells[i]->distance);
    const auto pixels = gl.readPixels();
    size_t lit = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) lit += pixels[i] + pixels[i + 1] + pixels[i + 2] > 30;
    EXPECT_GT(lit, pixels.size() / 4 / 20) << "cells drawn at the origin should show";
}

TEST_F(SceneObjectsTest, LoadingScreenCoversTheScreenAndLeavesBlendingAndAlphaTestOn)
{
    ASSERT_TRUE(initGl());
    prepareLoadingScreen();
    glClearColor(1, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    static int presented = 0;
    presented = 0;
    showLoadingScreen([] { ++presented; });
    EXPECT_EQ(presented, 1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_EQ(intState(GL_MODELVIEW_STACK_DEPTH), 1);
    EXPECT_EQ(intState(GL_PROJECTION_STACK_DEPTH), 1);
    EXPECT_EQ(intState(GL_MATRIX_MODE), GL_MODELVIEW);

    // The loading image is stretched over every pixel: no clear colour is left.
    const auto pixels = gl.readPixels();
    size_t magenta = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) magenta += pixels[i] == 255 && pixels[i + 1] == 0 && pixels[i + 2] == 255;
    EXPECT_EQ(magenta, 0u);
}
