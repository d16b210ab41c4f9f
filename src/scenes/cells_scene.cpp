#include "scenes/cells_scene.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "assets/mesh.h"
#include "data/data_file.h"
#include "data/log.h"
#include "data/settings.h"
#include "math/rotation.h"
#include "render/draw_census.h"
#include "render/render_state.h"
#include "render/view_frustum.h"
#include "scenes/camera_path.h"

void CellsScene::load(const std::string& path)
{
    membrane.load(currentSettings.Detail == 2 ? "animation\\cell.trk" : "animation\\lcell.trk");
    helix.buildHelix(20.0f, 15.0f, 18);

    uint32_t mitoList = 0, bodyList = 0;
    float mitoMeshRadius = 0, bodyMeshRadius = 0;
    {
        Mesh mito, body;
        mito.load("meshes\\mito.dat");
        body.load("meshes\\sphere.dat");
        mitoList = mito.displayList;
        bodyList = body.displayList;
        mitoMeshRadius = mito.radius;
        bodyMeshRadius = body.radius;
    }
    cellTexture.load("textures\\cell.jpg");

    DataFile file;
    std::vector<uint8_t> bytes;
    if (file.open(path.c_str())) {
        bytes.resize(file.size);
        bytes.resize(file.read(bytes.data(), file.size));
        file.close();
    }
    const CellLayout layout = parseCellLayout(bytes);
    // A new context loads the field anew; the old cells point at lists of the old one.
    cells.clear();
    if (!layout.complete)
        Log::instance().write("Cell layout <").write(path).write("> is missing or truncated: ")
            .write(static_cast<int>(layout.records.size())).write(" cells\n");
    for (const CellRecord& record : layout.records) {
        auto cell = std::make_unique<Cell>();
        cell->basePosition = cell->position = record.position;
        cell->axis = record.axis;
        cell->angle = record.angle;
        cell->membrane = &membrane;
        cell->helix = &helix;
        cell->mitoList = mitoList;
        cell->bodyList = bodyList;
        cells.push_back(std::move(cell));
    }

    float mitoOrbit = 0;
    for (const auto& cell : cells)
        for (float r : cell->mitoRadius) mitoOrbit = std::max(mitoOrbit, r);
    // The helix sits 7 below the centre at a twentieth of its size, turning about its own axis;
    // its spheres and its rungs (10 wide) reach past the strand points.
    float top = 0, around = 0;
    for (const Vector3& p : helix.strandA) {
        top = std::max(top, p.y);
        around = std::max(around, std::hypot(p.x, p.z));
    }
    const float margin = helix.sphereRadius + 5.0f;
    helixMiddle = -7.0f + 0.05f * top / 2.0f;
    helixReach = 0.05f * (std::hypot(around, top / 2.0f) + margin);
    innerReach = std::max({0.8f * bodyMeshRadius, mitoOrbit + mitoMeshRadius, std::fabs(helixMiddle) + helixReach});
}

void CellsScene::update(float dt)
{
    membrane.advance(dt * 0.6f);
    helix.update(dt);
    advanceCells(cells, dt);
}

void CellsScene::recolour() { recolourCells(cells); }

void CellsScene::placeAround(const Vector3& p) { placeCellsAround(cells, p); }

void CellsScene::draw(const CameraPath& camera)
{
    membrane.bindArrays();
    setAdditiveBlend();
    glEnable(GL_COLOR_MATERIAL);

    placeAround(camera.position);
    classifyCells(cells, camera.position, camera.forward);
    sortCellsFarthestFirst(cells);

    // A cell at alpha 0 or below blends in nothing at all, and one wholly outside the view gives no
    // pixel: both are left out, their animation untouched.
    ViewFrustum frustum;
    frustum.capture();
    const float reach = cellReach();
    for (const auto& cell : cells)
        cell->drawn = cell->visible && !(frustumCulling() && cell->alpha <= 0.0f) && !frustum.outside(cell->position, reach);
    // A drawn cell's helix is small beside it and may still lie outside the view on its own.
    auto helixSeen = [&](const Cell& cell) {
        return !frustum.outside(cell.position + glRotation(cell.axis, cell.angle) * Vector3(0, helixMiddle, 0), helixReach);
    };

    auto cellHelixFrame = [](const Cell& cell) {
        pushMatrix();
        translate(cell.position);
        rotate(cell.axis, cell.angle);
        translate({0, -7, 0});
        scaleUniform(0.05f);
    };

    setDepthWrite(false);
    beginPart(FramePart::CellHelixSpheres);
    helix.dnaTexture.bind();
    for (const auto& cell : cells) {
        if (!cell->drawn || !helixSeen(*cell)) continue;
        helix.alpha = cell->alpha * 0.5f;
        cellHelixFrame(*cell);
        helix.drawSpheres();
        popMatrix();
    }
    beginPart(FramePart::CellHelixRungs);
    helix.linkTexture.bind();
    for (const auto& cell : cells) {
        if (!cell->drawn || !helixSeen(*cell)) continue;
        helix.alpha = cell->alpha;
        cellHelixFrame(*cell);
        helix.drawRungs();
        popMatrix();
    }

    cellTexture.bind();
    const bool mitochondria = currentSettings.Detail == 2;
    for (const auto& cell : cells)
        if (cell->drawn) drawCell(*cell, mitochondria);
}

void CellsScene::drawCell(const Cell& cell, bool mitochondria)
{
    setSpecular(cell.colour * 0.7f);
    pushMatrix();
    translate(cell.position);
    rotate(cell.axis, cell.angle);

    pushMatrix();
    scaleUniform(0.8f);
    setLighting(false);
    setAlphaBlend();
    setColour(Vector3(1, 1, 1) - cell.colour, cell.alpha);
    setCulling(true);
    beginPart(FramePart::CellBodies);
    callList(cell.bodyList);
    setLighting(true);
    popMatrix();

    if (mitochondria) {
        beginPart(FramePart::Mitochondria);
        setColour({0.1f, 0.5f, 1.0f}, cell.alpha);
        for (int i = 0; i < Cell::kMitochondria; ++i) {
            pushMatrix();
            // The orbit point turned by -angle, the same product the GL matrix stack would give.
            translate(rotatePoint({cell.mitoRadius[i], 0, 0}, cell.mitoAxis[i], cell.mitoAngle[i]));
            rotate(cell.mitoAxis[i], cell.mitoAngle[i]);
            callList(cell.mitoList);
            popMatrix();
        }
    }

    beginPart(FramePart::Membranes);
    setColour(cell.colour, cell.alpha);
    membrane.drawFrame();

    pushMatrix();
    scaleUniform(1.03f);
    setAdditiveBlend();
    setSphereMap(true);
    beginPart(FramePart::MembraneSkins);
    membrane.drawFrame();
    popMatrix();
    setSphereMap(false);

    popMatrix();
}
