#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// What each part of a frame hands to GL: draw calls, triangles and shaded pixels. The drawing code
// names the part it is in and counts its draws; only a running census (the off-screen render's
// counting mode) turns the names into GL queries, so outside it the calls cost a branch.

enum class FramePart : uint8_t {
    Background,
    CellHelixSpheres,
    CellHelixRungs,
    CellBodies,
    Mitochondria,
    Membranes,
    MembraneSkins,
    HelixSpheres,
    HelixRungs,
    Nucleus,
    NucleusSkin,
    Particles,
    Ribosomes,
    Atoms,
    FlyingAtoms,
    AtomRungs,
    Chromosomes,
    Haze,
    Overlay,
    Count
};

const char* framePartName(FramePart part);

struct PartTally {
    uint64_t draws = 0;
    uint64_t triangles = 0;  // primitives handed to GL, before clipping and face culling
    uint64_t pixels = 0;     // fragments that passed the depth test, blended or not
};
using PartTallies = std::array<PartTally, static_cast<size_t>(FramePart::Count)>;

// The draws that follow belong to part.
void beginPart(FramePart part);
// One draw call (list call, element draw) of the current part.
void countDraw();

// Counting for the current GL context. start() is false when the context has no query objects
// (GL 1.5 occlusion queries and the primitives-generated query); nothing is counted then.
namespace census {
bool start();
// Closes the running part; call at the end of each frame's drawing.
void endFrame();
void stop();
const PartTallies& tallies();
uint64_t frames();
}  // namespace census
