#include "molecules.h"

#include <cmath>

namespace assetgen {

namespace {

struct Palette {
    D3 base1, base2;
};

// Two base colours per molecule, luminous cyans, teals, magentas and violets, all distinct.
const Palette kPalettes[kMoleculeCount] = {
    {{0.110, 0.584, 0.694}, {0.086, 0.816, 0.745}},  // teal
    {{0.694, 0.110, 0.561}, {0.925, 0.353, 0.780}},  // magenta
    {{0.110, 0.110, 0.694}, {0.365, 0.420, 0.980}},  // deep blue
    {{0.478, 0.220, 0.820}, {0.690, 0.502, 0.988}},  // violet
    {{0.063, 0.702, 0.902}, {0.604, 0.922, 1.000}},  // cyan
    {{0.847, 0.196, 0.408}, {1.000, 0.502, 0.600}},  // rose
    {{0.125, 0.690, 0.431}, {0.514, 0.933, 0.671}},  // sea green
    {{0.290, 0.380, 0.902}, {0.192, 0.839, 0.961}},  // azure
    {{0.600, 0.110, 0.780}, {0.286, 0.875, 0.871}},  // purple and aqua
    {{0.961, 0.620, 0.180}, {0.980, 0.878, 0.420}},  // amber, the odd one out
};

const D3 kPhosphorus{0.690, 0.102, 0.102};
const D3 kOxygen{1.0, 1.0, 1.0};
const D3 kSugar{0.420, 0.478, 0.620};
const D3 kRingOxygen{0.769, 0.847, 0.949};

}  // namespace

std::vector<Atom> molecule(int index)
{
    Rng rng(0xD0A0ull + static_cast<uint64_t>(index) * 2654435761ull);
    const Palette& pal = kPalettes[index % kMoleculeCount];
    std::vector<Atom> atoms;
    auto jitter = [&](D3 p) { return p + D3{rng.range(-2.5, 2.5), rng.range(-2.5, 2.5), rng.range(-2.5, 2.5)}; };
    // Phosphate group on the outside of the strand.
    atoms.push_back({jitter({44, -4, -10}), kPhosphorus});
    atoms.push_back({jitter({56, 8, -16}), kOxygen});
    atoms.push_back({jitter({54, -18, -2}), kOxygen});
    // Sugar: a pentagon of four carbons and one oxygen.
    const double ringRadius = 12.5;
    const D3 ringCentre{24, 2, 6};
    double tilt = rng.range(-0.25, 0.25);
    for (int k = 0; k < 5; ++k) {
        double a = 2 * kPi * k / 5 + 0.3;
        D3 p = ringCentre + D3{ringRadius * std::cos(a), ringRadius * std::sin(a) * std::cos(tilt),
                               ringRadius * std::sin(a) * std::sin(tilt)};
        atoms.push_back({jitter(p), k == 2 ? kRingOxygen : kSugar});
    }
    // Base: a short zig-zag reaching in towards the axis, alternating its two colours.
    double bend = rng.range(-0.3, 0.3);
    for (int k = 0; k < 4; ++k) {
        double x = 4 - 17.0 * k;
        D3 p{x, 6 + (k % 2 == 0 ? -7.0 : 7.0) + bend * k * 6, 14 + 2.5 * k};
        atoms.push_back({jitter(p), (k % 2 == 0) ? pal.base1 : pal.base2});
    }
    return atoms;
}

Bytes serialiseMolecule(const std::vector<Atom>& atoms)
{
    ByteWriter w;
    for (const Atom& a : atoms) {
        w.vec(a.position);
        w.vec(a.colour);
    }
    return std::move(w.bytes());
}

}  // namespace assetgen
