#include "scenes/dna_helix.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

#include "assets/mesh.h"
#include "assets/mesh_batch.h"
#include "data/data_file.h"
#include "data/log.h"
#include "data/settings.h"
#include "math/random.h"
#include "math/rotation.h"
#include "render/gl.h"
#include "render/draw_census.h"
#include "render/render_state.h"
#include "render/view_frustum.h"

namespace {

constexpr Vector3 kUp{0, 1, 0};
constexpr float kMoleculeTurn = 20.0f;   // degrees per step about the vertical axis
constexpr float kMoleculeStep = 40.0f;   // length constant of one step
constexpr float kMoleculeTwist = 80.0f;  // degrees per step about the local axis
constexpr float kRungHalfWidth = 5.0f;
constexpr float kHelixRadius = 40.0f;
constexpr float kChromosomeScale = 0.7f;

float readFloat(const uint8_t* p)
{
    const uint32_t bits = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return std::bit_cast<float>(bits);
}

Vector3 readVector(const uint8_t* p) { return {readFloat(p), readFloat(p + 4), readFloat(p + 8)}; }

}  // namespace

namespace {

// The show's spheres in batches, shared by the ten molecules: placed for whichever molecule is
// drawn, again when another one is. Atoms of both strands are copies 2p and 2p + 1 for the p-th
// atom of atomOrder (the odd atoms, which never move, first); rungs are copies in draw order. Each
// draw hands GL only the triangles that face the eye.
struct ShowBatches {
    MeshData sphere;
    const DnaHelix* placedFor = nullptr;
    bool built = false;
    // The meshes could not be batched: no use trying again (and generating buffers) every frame.
    bool unbuildable = false;
    MeshData chromosome;
    MeshBatch atoms;
    MeshBatch rungs;
    MeshBatch chromosomes;  // one copy, drawn under each model's own matrix
    std::vector<uint32_t> atomOrder;
    std::vector<Vector3> atomCentre;  // per copy, in helix space
    std::vector<Vector3> rungCentre;  // per copy
    std::vector<float> rungAlpha;     // per daughter rung, as last coloured
    uint32_t parentRungCopies = 0;
};

ShowBatches& showBatches()
{
    static ShowBatches batches;
    return batches;
}

}  // namespace

DnaHelix::DnaHelix() = default;

DnaHelix::~DnaHelix() = default;

// ---- Procedural helix ------------------------------------------------------------------------

void DnaHelix::buildHelixPoints(float angleStepDegrees, float riseStep, unsigned count)
{
    rise = riseStep;
    angleStep = angleStepDegrees;
    strandA.clear();
    strandB.clear();
    strandA.reserve(count);
    strandB.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        const Vector3 e = Vector3(kHelixRadius, 0, 0) + kUp * (static_cast<float>(i) * rise);
        float a = static_cast<float>(i) * angleStep;
        if (a > 360.0f)
            a -= 360.0f;
        strandA.push_back(rotatePoint(e, kUp, a));
        strandB.push_back(rotatePoint(e, kUp, a + 180.0f));
    }
}

void DnaHelix::buildHelix(float angleStepDegrees, float riseStep, unsigned count)
{
    Mesh sphere;
    sphere.load("meshes\\sphere.dat");
    sphereList = sphere.displayList;
    sphereRadius = sphere.radius;
    linkTexture.load("textures\\link.jpg");
    dnaTexture.load("textures\\dna.jpg");
    buildHelixPoints(angleStepDegrees, riseStep, count);

    // One rung: two crossed strips joining (40,0,0) and (-40,0,0), u along the rung.
    rungList = glGenLists(1);
    glLoadIdentity();
    if (rungList == 0)
        return;
    const float h = kRungHalfWidth, r = kHelixRadius;
    glNewList(rungList, GL_COMPILE);
    glBegin(GL_TRIANGLES);
    for (int plane = 0; plane < 2; ++plane) {
        auto corner = [&](float x, float across, float s, float t) {
            glTexCoord2f(s, t);
            if (plane == 0)
                glVertex3f(x, across, 0);
            else
                glVertex3f(x, 0, across);
        };
        corner(r, h, 0, 0);
        corner(r, -h, 0, 1);
        corner(-r, -h, 1, 1);
        corner(r, h, 0, 0);
        corner(-r, -h, 1, 1);
        corner(-r, h, 1, 0);
    }
    glEnd();
    glEndList();
    glFinish();
}

void DnaHelix::drawSphereAt(const Vector3& p) const
{
    pushMatrix();
    translate(p);
    callList(sphereList);
    popMatrix();
}

void DnaHelix::drawSpheres()
{
    rotate(kUp, spin);
    setSphereMap(true);
    for (size_t i = 0; i < strandA.size(); ++i) {
        // The texture turns with the pairs so the reflections follow the twist.
        selectMatrix(0);
        rotate(kUp, static_cast<float>(i) * angleStep);
        selectMatrix(1);
        float col[3] = {0.2f, 0.2f, 0.2f};
        col[i % 3] = 1.0f;
        setColour({col[0], col[1], col[2]}, alpha);
        drawSphereAt(strandA[i]);
        col[(i + 2) % 3] = 1.0f;
        setColour({col[0], col[1], col[2]}, alpha);
        drawSphereAt(strandB[i]);
    }
    setSphereMap(false);
    selectMatrix(0);
    loadIdentity();
    selectMatrix(1);
}

void DnaHelix::drawRungs()
{
    rotate(kUp, spin);
    setColour({1, 1, 1}, alpha);
    for (size_t i = 0; i < strandA.size(); ++i) {
        pushMatrix();
        translate({0, static_cast<float>(i) * rise, 0});
        rotate(kUp, -static_cast<float>(i) * angleStep);
        callList(rungList);
        popMatrix();
    }
}

// ---- Molecule helix --------------------------------------------------------------------------

float DnaHelix::daughterRungAlpha(float showTime, size_t u, size_t count)
{
    const float a = showTime - 10.0f * static_cast<float>(u) / static_cast<float>(count) - 20.0f;
    return a < 0.0f ? 0.0f : a;
}

Vector3 DnaHelix::moleculeCentreOffset()
{
    const Vector3 b = normalise({0, 1, 1});
    Vector3 t{0, 0, kMoleculeStep * b.z};
    float travel = 0;
    for (int u = 0; u < 180.0f / kMoleculeTurn; ++u) {
        travel += t.x;
        t = rotatePoint(t, kUp, kMoleculeTurn);
    }
    return {-travel / 2.0f, 0, 0};
}

bool DnaHelix::buildMolecule(std::span<const uint8_t> file)
{
    moleculeLoaded = true;
    for (auto* v : {&strandA, &strandB, &atomColour, &backboneA, &backboneB, &rungColourA, &rungColourB, &flyStartA, &flyEndA, &flyPosA,
                    &flyPosB, &flyControlA, &flyControlB})
        v->clear();
    atomState.clear();
    atomMoves.clear();
    atomStartTime.clear();

    Vector3 b = normalise({0, 1, 1});
    Vector3 d{1, 0, 0};
    Vector3 f = normalise(cross(d, b));
    const Vector3 g = moleculeCentreOffset();

    debrisAxis1.resize(kDebris);
    debrisAngle1.resize(kDebris);
    debrisDistance.resize(kDebris);
    debrisSpeed.resize(kDebris);
    debrisAngle2.resize(kDebris);
    debrisAxis2.resize(kDebris);
    debrisColour.resize(kDebris);
    for (int k = 0; k < kDebris; ++k) {
        debrisAngle1[k] = 360.0f * randomUnit();
        debrisAngle2[k] = 360.0f * randomUnit();
        debrisAxis1[k] = randomDirection();
        debrisAxis2[k] = randomDirection();
        debrisSpeed[k] = 20.0f * randomUnit() + 1.0f;
        debrisDistance[k] = 500.0f * randomUnit() + 250.0f;
        const float cr = 0.7f * randomUnit();
        const float cg = 0.7f * randomUnit();
        const float cb = 0.7f * randomUnit();
        debrisColour[k] = Vector3(1, 1, 1) - Vector3(cr, cg, cb);
    }

    // Never read past the data: a short file gives a helix without atoms.
    const bool complete = file.size() >= size_t(kMoleculeAtoms) * kMoleculeRecordBytes;
    Vector3 positions[kMoleculeAtoms];
    Vector3 colours[kMoleculeAtoms];
    if (complete) {
        for (int n = 0; n < kMoleculeAtoms; ++n) {
            positions[n] = readVector(file.data() + n * kMoleculeRecordBytes);
            colours[n] = readVector(file.data() + n * kMoleculeRecordBytes + 12);
        }
    }

    for (int u = 0; u < kMoleculeSteps; ++u) {
        Vector3 k = g;
        k.y = g.y - f.y * kMoleculeStep * static_cast<float>(u);
        k = rotatePoint(k, kUp, static_cast<float>(u) * kMoleculeTurn);
        backboneA.push_back(k);
        k = rotatePoint(k, kUp, 180.0f);
        backboneB.push_back(k);
        // Drawn z, y, x: the order the rung colours have always been drawn in.
        for (auto* rungColours : {&rungColourA, &rungColourB}) {
            const float z = randomUnit();
            const float y = randomUnit();
            const float x = randomUnit();
            rungColours->push_back({x, y, z});
        }
    }

    if (complete) {
        float q = 0;
        Vector3 centre = g;
        const size_t n = size_t(kMoleculeSteps) * kMoleculeAtoms;
        strandA.reserve(n);
        strandB.reserve(n);
        atomColour.reserve(n);
        for (int u = 0; u < kMoleculeSteps; ++u) {
            const Vector3 o = rotatePoint(d, b, q);
            const Vector3 p = rotatePoint(f, b, q);
            for (int r = 0; r < kMoleculeAtoms; ++r) {
                const Vector3 m = centre + o * positions[r].x + p * positions[r].y + b * positions[r].z;
                strandA.push_back(m);
                strandB.push_back(rotatePoint(m, kUp, 180.0f));
                atomColour.push_back(colours[r]);
            }
            centre += b * kMoleculeStep;
            q += kMoleculeTwist;
            d = rotatePoint(d, kUp, kMoleculeTurn);
            f = rotatePoint(f, kUp, kMoleculeTurn);
            b = rotatePoint(b, kUp, kMoleculeTurn);
        }
    }

    const size_t atoms = strandA.size();
    atomState.assign(atoms, Parent);
    atomMoves.assign(atoms, 0);
    atomStartTime.assign(atoms, 0.0f);
    for (auto* v : {&flyStartA, &flyEndA, &flyPosA, &flyPosB, &flyControlA, &flyControlB})
        v->assign(atoms, Vector3());
    for (size_t i = 0; i < atoms; i += 2) {
        atomMoves[i] = 1;
        atomStartTime[i] = 12.0f + 0.05f * static_cast<float>(i) + 0.9f * randomUnit();
    }
    return complete;
}

void DnaHelix::loadMolecule(const char* fileName)
{
    moleculeLoaded = true;
    // The batches are made again in this context, from these meshes, at the next draw.
    ShowBatches& batches = showBatches();
    batches.built = false;
    batches.unbuildable = false;
    Mesh sphere;
    sphere.load("meshes\\sphere.dat", &batches.sphere);
    sphereList = sphere.displayList;
    sphereRadius = sphere.radius;
    Mesh chromosome;
    chromosome.load("meshes\\chrom.dat", &batches.chromosome);
    chromList = chromosome.displayList;
    chromRadius = chromosome.radius;
    dnaTexture.load("textures\\dna.jpg");

    DataFile file;
    const bool opened = file.open(fileName);
    const std::span<const uint8_t> bytes = opened ? std::span<const uint8_t>(file.data, file.size) : std::span<const uint8_t>();
    if (!buildMolecule(bytes))
        Log::instance().write("Molecule <").write(fileName).write("> has no atoms: ")
            .write(opened ? "truncated" : file.failure()).write("\n");
    file.close();
}

void DnaHelix::startFlight(size_t i)
{
    atomState[i] = Flying;
    flyStartA[i] = rotatePoint(strandA[i], kUp, -kSpinRate * time) + Vector3(-kShowOffset, 0, 0);
    flyEndA[i] = rotatePoint(strandA[i], kUp, -kSpinRate * (time + kFlightSeconds) - 90.0f) + Vector3(kShowOffset, 0, 0);
    for (Vector3* control : {&flyControlA[i], &flyControlB[i]}) {
        const float radius = 400.0f * randomUnit() + 100.0f;
        const Vector3 direction = randomDirection();
        *control = Vector3(0, 400, 0) + direction * radius;
    }
}

void DnaHelix::update(float dt)
{
    time += dt;
    spin = advanceAngle(spin, kSpinRate * dt);
    if (!moleculeLoaded)
        return;

    const Vector3 zero;
    for (size_t i = 0; i < atomMoves.size(); ++i) {
        if (atomMoves[i] != 1 || !(time > atomStartTime[i]))
            continue;
        if (atomStartTime[i] + kFlightSeconds < time) {
            atomState[i] = Daughter;
            continue;
        }
        if (atomState[i] != Flying)
            startFlight(i);
        const float s = time - atomStartTime[i];
        const bool firstHalf = atomStartTime[i] + 1.0f > time;

        // Two Hermite pieces meeting at the control point, at rest at both ends.
        const Vector3 middleA = (flyEndA[i] - flyStartA[i]) / 2.0f;
        flyPosA[i] = firstHalf ? hermite(flyStartA[i], flyControlA[i], zero, middleA, s)
                               : hermite(flyControlA[i], flyEndA[i], middleA, zero, s - 1.0f);

        const Vector3 startB = rotateAboutPivot(flyStartA[i], kUp, {-kShowOffset, 0, 0}, 180.0f);
        const Vector3 endB = rotateAboutPivot(flyEndA[i], kUp, {kShowOffset, 0, 0}, 180.0f);
        const Vector3 middleB = (endB - startB) / 2.0f;
        flyPosB[i] = firstHalf ? hermite(startB, flyControlB[i], zero, middleB, s) : hermite(flyControlB[i], endB, middleB, zero, s - 1.0f);
    }

    for (size_t k = 0; k < debrisAngle1.size(); ++k)
        debrisAngle1[k] = advanceAngle(debrisAngle1[k], dt * debrisSpeed[k]);
}

void DnaHelix::reset()
{
    spin = 0;
    time = 0;
    for (size_t i = 0; i < atomStartTime.size(); i += 2)
        atomStartTime[i] = 12.0f + 0.05f * static_cast<float>(i) + 0.9f * randomUnit();
    std::fill(atomState.begin(), atomState.end(), uint8_t(Parent));
}

void DnaHelix::drawRungSpheres(size_t u, float rungAlpha, float& w, const ViewFrustum& frustum) const
{
    for (int j = 1; j <= 9; ++j) {
        const float t = static_cast<float>(j) / 10.0f;
        const Vector3 at = lerp(backboneA[u], backboneB[u], t) + Vector3(0, w, 0);
        w = -w;
        if (frustum.outside(at, sphereRadius)) continue;
        pushMatrix();
        setColour(lerp(rungColourA[u], rungColourB[u], t), rungAlpha);
        translate(at);
        callList(sphereList);
        popMatrix();
    }
}


void DnaHelix::placeShowBatches() const
{
    ShowBatches& b = showBatches();
    if (!b.built) {
        if (b.unbuildable) return;
        // Room for any molecule's atoms, so whether the batches can be built depends on the
        // meshes alone, not on the molecule that happens to be drawn first.
        constexpr uint32_t kMostAtoms = 2 * kMoleculeSteps * kMoleculeAtoms;
        b.built = b.atoms.build(b.sphere, kMostAtoms) && b.rungs.build(b.sphere, static_cast<uint32_t>(9 * backboneA.size())) &&
                  b.chromosomes.build(b.chromosome, 1);
        b.unbuildable = !b.built;
        b.placedFor = nullptr;
        if (!b.built) return;
    }
    if (b.placedFor == this) return;
    b.placedFor = this;
    b.atomOrder.clear();
    for (size_t first : {size_t(1), size_t(0)})
        for (size_t i = first; i < strandA.size(); i += 2) b.atomOrder.push_back(static_cast<uint32_t>(i));
    b.atomCentre.resize(2 * b.atomOrder.size());
    for (size_t p = 0; p < b.atomOrder.size(); ++p) {
        const uint32_t i = b.atomOrder[p];
        for (uint32_t side = 0; side < 2; ++side) {
            const uint32_t copy = static_cast<uint32_t>(2 * p + side);
            b.atomCentre[copy] = side == 0 ? strandA[i] : strandB[i];
            b.atoms.placeAt(copy, b.atomCentre[copy]);
            b.atoms.setColour(copy, atomColour[i], 1.0f);
        }
    }
    b.atoms.upload(0, static_cast<uint32_t>(b.atomCentre.size()));

    // Rung spheres alternate above and below the rung line, on through the daughter's rungs.
    b.rungCentre.clear();
    float w = 2.0f;
    for (size_t first : {size_t(0), size_t(1)}) {
        if (first == 1) b.parentRungCopies = static_cast<uint32_t>(b.rungCentre.size());
        for (size_t u = first; u < backboneA.size(); u += 2)
            for (int j = 1; j <= 9; ++j) {
                const float t = static_cast<float>(j) / 10.0f;
                const uint32_t copy = static_cast<uint32_t>(b.rungCentre.size());
                b.rungCentre.push_back(lerp(backboneA[u], backboneB[u], t) + Vector3(0, w, 0));
                w = -w;
                b.rungs.placeAt(copy, b.rungCentre.back());
                b.rungs.setColour(copy, lerp(rungColourA[u], rungColourB[u], t), 1.0f);
            }
    }
    b.rungs.upload(0, static_cast<uint32_t>(b.rungCentre.size()));
    b.rungAlpha.assign(backboneA.size() / 2, 1.0f);
}

void DnaHelix::drawMoleculeShow()
{
    static constexpr GLfloat kSpecular[4] = {0.7f, 0.7f, 0.8f, 1.0f};
    // Culling on: the spheres go in batches, each left out when wholly outside the view. Off:
    // every sphere and model by itself, under its own matrix, as the plain reference.
    const bool batched = frustumCulling();
    if (batched) placeShowBatches();
    ShowBatches& b = showBatches();
    const bool useBatches = batched && b.built;

    pushMatrix();
    translate({-kShowOffset, 0, 0});
    rotate(kUp, spin);
    setBlending(false);
    setDepthWrite(true);
    setCulling(true);
    glMaterialfv(GL_FRONT, GL_SPECULAR, kSpecular);
    glMaterialf(GL_FRONT, GL_SHININESS, 16.0f);
    dnaTexture.bind();
    setSphereMap(true);

    // Each block tests its spheres against the view in its own space: the planes are read with
    // the block's transform in place.
    ViewFrustum frustum;
    auto drawIfSeen = [&](const Vector3& p) {
        if (!frustum.outside(p, sphereRadius)) drawSphereAt(p);
    };
    auto drawAtomsIn = [&](uint8_t state) {
        frustum.capture();
        if (useBatches) {
            for (uint32_t c = 0; c < b.atomCentre.size(); ++c)
                if (atomState[b.atomOrder[c / 2]] == state && !frustum.outside(b.atomCentre[c], sphereRadius))
                    b.atoms.addFacing(c, frustum.eye() - b.atomCentre[c]);
            b.atoms.bindArrays();
            b.atoms.drawFacing();
            b.atoms.unbindArrays();
            return;
        }
        for (size_t i = 0; i < strandA.size(); ++i) {
            if (atomState[i] == state) {
                setColour(atomColour[i], 1.0f);
                drawIfSeen(strandA[i]);
                drawIfSeen(strandB[i]);
            }
        }
    };

    // Parent helix: every atom that has not left yet.
    beginPart(FramePart::Atoms);
    drawAtomsIn(Parent);
    popMatrix();

    beginPart(FramePart::FlyingAtoms);
    frustum.capture();
    for (size_t i = 0; i < strandA.size(); ++i) {
        if (atomState[i] == Flying) {
            setColour(atomColour[i], 1.0f);
            drawIfSeen(flyPosA[i]);
            drawIfSeen(flyPosB[i]);
        }
    }

    beginPart(FramePart::Atoms);
    pushMatrix();
    translate({kShowOffset, 0, 0});
    rotate(kUp, spin + 90.0f);
    drawAtomsIn(Daughter);
    popMatrix();

    selectMatrix(0);
    loadIdentity();
    selectMatrix(1);
    setBlending(true);
    setWhite();
    // The atoms go to the rasterizer while the rungs and chromosome models are set up, as the
    // rungs do while the models are.
    glFlush();
    beginPart(FramePart::AtomRungs);

    if (useBatches) {
        // The daughter's rungs fade in: recolour those whose opacity moved since the last frame.
        uint32_t firstChanged = UINT32_MAX, lastChanged = 0;
        for (size_t u = 1, r = 0; u < backboneA.size(); u += 2, ++r) {
            // GL takes an opacity past 1 as 1: once there, a rung's colours are left as they are.
            const float a = std::min(daughterRungAlpha(time, u, backboneA.size()), 1.0f);
            if (a == b.rungAlpha[r]) continue;
            b.rungAlpha[r] = a;
            for (uint32_t j = 0; j < 9; ++j) b.rungs.setAlpha(b.parentRungCopies + static_cast<uint32_t>(9 * r) + j, a);
            firstChanged = std::min(firstChanged, b.parentRungCopies + static_cast<uint32_t>(9 * r));
            lastChanged = b.parentRungCopies + static_cast<uint32_t>(9 * r) + 9;
        }
        if (firstChanged < lastChanged) b.rungs.uploadColours(firstChanged, lastChanged - firstChanged);
        b.rungs.bindArrays();
        for (int daughter = 0; daughter < 2; ++daughter) {
            pushMatrix();
            translate({daughter ? kShowOffset : -kShowOffset, 0, 0});
            rotate(kUp, daughter ? spin + 90.0f : spin);
            frustum.capture();
            const uint32_t first = daughter ? b.parentRungCopies : 0;
            const uint32_t end = daughter ? static_cast<uint32_t>(b.rungCentre.size()) : b.parentRungCopies;
            for (uint32_t c = first; c < end; ++c)
                if (!frustum.outside(b.rungCentre[c], sphereRadius)) b.rungs.addFacing(c, frustum.eye() - b.rungCentre[c]);
            b.rungs.drawFacing();
            popMatrix();
        }
        b.rungs.unbindArrays();
    } else {
        float w = 2.0f;  // rung spheres alternate above and below the rung line
        pushMatrix();
        translate({-kShowOffset, 0, 0});
        rotate(kUp, spin);
        frustum.capture();
        for (size_t u = 0; u < backboneA.size(); u += 2)
            drawRungSpheres(u, 1.0f, w, frustum);
        popMatrix();

        pushMatrix();
        translate({kShowOffset, 0, 0});
        rotate(kUp, spin + 90.0f);
        frustum.capture();
        for (size_t u = 1; u < backboneA.size(); u += 2)
            drawRungSpheres(u, daughterRungAlpha(time, u, backboneA.size()), w, frustum);
        popMatrix();
    }

    glFlush();
    beginPart(FramePart::Chromosomes);
    pushMatrix();
    translate({0, 400, 0});
    if (currentSettings.Detail != 0) {
        frustum.capture();
        const float reach = chromRadius * kChromosomeScale;
        if (useBatches) b.chromosomes.bindArrays(false);
        for (size_t k = 0; k < debrisAngle1.size(); ++k) {
            // Where the model's own origin lands: the spin and scale after it do not move it.
            const Matrix3 turn = glRotation(debrisAxis1[k], debrisAngle2[k]) * glRotation({1, 0, 0}, debrisAngle1[k]);
            const Vector3 centre = turn * Vector3(0, debrisDistance[k], 0);
            if (frustum.outside(centre, reach)) continue;
            pushMatrix();
            rotate(debrisAxis1[k], debrisAngle2[k]);
            rotate({1, 0, 0}, debrisAngle1[k]);
            translate({0, debrisDistance[k], 0});
            rotate(debrisAxis2[k], 6.0f * debrisAngle1[k]);
            scaleUniform(kChromosomeScale);
            setColour(debrisColour[k], 0.14f);
            if (useBatches) {
                const Matrix3 tumble = glRotation(debrisAxis2[k], 6.0f * debrisAngle1[k]);
                // Far and small, a model has more triangles between pixel centres than on them. (The
                // atoms are larger: too few of theirs miss every centre to pay for the look.)
                const WindowMapping window = frustum.window().placed(turn * tumble * kChromosomeScale, centre);
                b.chromosomes.addFacing(0, tumble.transposed() * (turn.transposed() * (frustum.eye() - centre)) / kChromosomeScale, &window);
                b.chromosomes.drawFacing();
            } else {
                callList(chromList);
            }
            popMatrix();
        }
        if (useBatches) b.chromosomes.unbindArrays();
    }
    popMatrix();
    setSphereMap(false);
}
