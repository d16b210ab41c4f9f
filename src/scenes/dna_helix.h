#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "assets/texture.h"
#include "math/vector3.h"

class ViewFrustum;

// A two-stranded DNA helix. Two uses: a small procedural helix of textured spheres and rungs
// (inside every cell and in the nucleus), and a molecule helix built from a twelve-atom model
// that copies itself atom by atom into a daughter helix (the DNA show).
class DnaHelix {
public:
    static constexpr int kDebris = 400;            // chromosome models around the show
    static constexpr int kMoleculeAtoms = 12;      // records of a molecule file
    static constexpr int kMoleculeRecordBytes = 24;
    static constexpr int kMoleculeSteps = 27;      // copies of the molecule along the helix
    static constexpr float kShowOffset = 300.0f;   // parent at -300, daughter at +300 on x
    static constexpr float kSpinRate = 120.0f;     // degrees per second
    static constexpr float kFlightSeconds = 2.0f;

    enum AtomState : uint8_t { Parent = 0, Flying = 1, Daughter = 2 };

    DnaHelix();
    virtual ~DnaHelix();
    DnaHelix(const DnaHelix&) = delete;
    DnaHelix& operator=(const DnaHelix&) = delete;

    // Procedural helix: loads the sphere mesh and both textures, builds the points and compiles
    // the rung list.
    void buildHelix(float angleStep, float rise, unsigned count);
    void drawSpheres();
    void drawRungs();

    // Molecule helix from an archive molecule file ("dna%d.dat").
    void loadMolecule(const char* fileName);
    void update(float dt);  // seconds
    void reset();
    void drawMoleculeShow();

    // The geometry halves, without GL: strand points of a procedural helix, and the whole molecule
    // helix from the file's bytes (false, with no atoms, when fewer than 288 bytes are given).
    void buildHelixPoints(float angleStep, float rise, unsigned count);
    bool buildMolecule(std::span<const uint8_t> file);

    // Where a molecule helix's centre line starts: half the x travel of a half turn.
    static Vector3 moleculeCentreOffset();
    // Opacity of daughter rung u of count at show time: 0 until 20 + 10u/count s, then rising by 1
    // per second (not clamped; GL clamps colours).
    static float daughterRungAlpha(float showTime, size_t u, size_t count);

    float time = 0;  // seconds since construction or the last reset
    std::vector<Vector3> strandA;
    std::vector<Vector3> strandB;
    std::vector<Vector3> atomColour;
    std::vector<Vector3> backboneA;
    std::vector<Vector3> backboneB;
    std::vector<Vector3> rungColourA;
    std::vector<Vector3> rungColourB;
    std::vector<uint8_t> atomState;
    std::vector<uint8_t> atomMoves;
    std::vector<float> atomStartTime;
    std::vector<Vector3> flyStartA;
    std::vector<Vector3> flyEndA;
    std::vector<Vector3> flyPosA;
    std::vector<Vector3> flyPosB;
    std::vector<Vector3> flyControlA;
    std::vector<Vector3> flyControlB;
    std::vector<Vector3> debrisAxis1;
    std::vector<float> debrisAngle1;
    std::vector<float> debrisDistance;
    std::vector<float> debrisSpeed;  // degrees per second
    std::vector<float> debrisAngle2;
    std::vector<Vector3> debrisAxis2;
    std::vector<Vector3> debrisColour;
    uint32_t sphereList = 0;
    uint32_t rungList = 0;
    uint32_t chromList = 0;
    float sphereRadius = 0;  // of the sphere mesh, for culling
    float chromRadius = 0;   // of the chromosome mesh
    float spin = 0;       // degrees about the vertical axis
    float rise = 0;       // procedural: height between sphere pairs
    float angleStep = 0;  // procedural: degrees between sphere pairs
    float alpha = 0;      // procedural: opacity, set by the owner before drawing
    bool moleculeLoaded = false;
    Texture linkTexture;
    Texture dnaTexture;

private:
    void drawSphereAt(const Vector3& p) const;
    // Places this molecule's atoms and rungs in the show's shared batches unless they hold it.
    void placeShowBatches() const;
    void startFlight(size_t i);
    void drawRungSpheres(size_t u, float rungAlpha, float& w, const ViewFrustum& frustum) const;
};
