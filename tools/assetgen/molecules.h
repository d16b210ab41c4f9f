#pragma once

#include <vector>

#include "common.h"

namespace assetgen {

struct Atom {
    D3 position;  // molecule frame: x outwards from the helix axis, z along the strand
    D3 colour;    // r, g, b in 0..1
};

constexpr int kMoleculeCount = 10;
constexpr int kAtomsPerMolecule = 12;

// A nucleotide-like unit: a phosphate with two oxygens on the outside, a five-membered sugar
// ring, and a base of four atoms reaching in towards the partner strand.
std::vector<Atom> molecule(int index);
// Twelve records of position and colour: 288 bytes.
Bytes serialiseMolecule(const std::vector<Atom>& atoms);

}  // namespace assetgen
