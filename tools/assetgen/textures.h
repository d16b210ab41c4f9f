#pragma once

#include "image.h"

namespace assetgen {

// Membrane: soft cells with glowing walls and fine veins; seamless, light, slightly cyan, so the
// scenes can tint it.
Image cellTexture();
// Background cytoplasm: dark, deep, nebulous, seamless.
Image environmentTexture();
// The deeper, warmer background of the nucleus and DNA sets.
Image deepEnvironmentTexture();
// Chromatin speckle for the nucleus.
Image chromatinTexture();
// Sphere-map highlight for glossy atoms.
Image glossTexture();
// Rung strip: bright along its middle, dark at both edges.
Image linkTexture();

// A colour ramp through evenly spaced stops, t in 0..1.
Rgb ramp(std::initializer_list<Rgb> stops, double t);

}  // namespace assetgen
