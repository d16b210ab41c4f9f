#pragma once

#include "image.h"

namespace assetgen {

// Membrane: soft cells with glowing walls and fine veins; seamless, light, slightly cyan, so the
// scenes can tint it.
Image cellTexture();
// Background cytoplasm: dark, deep, nebulous, seamless; the band rows near the top and bottom
// edges fade to one flat colour (see calmPoles).
Image environmentTexture();
// The same clouds without the flat bands, for the pictures that show them as a flat backdrop.
Image environmentNebula();
// The deeper, warmer background of the nucleus and DNA sets, with the same flat bands.
Image deepEnvironmentTexture();

// Rows whose distance to the top or bottom edge is at most kPoleCap of the height share one
// colour, the picture's mean; between kPoleCap and kPoleFade they blend into it. The background
// sphere takes v from latitude, so these rows meet at its poles, where the triangles round each
// pole cannot agree on u: only a picture that does not vary along those rows shows no crease there.
inline constexpr double kPoleCap = 0.18;
inline constexpr double kPoleFade = 0.38;
void calmPoles(Image& im);
// Chromatin speckle for the nucleus.
Image chromatinTexture();
// Sphere-map highlight for glossy atoms.
Image glossTexture();
// Rung strip: bright along its middle, dark at both edges.
Image linkTexture();

// A colour ramp through evenly spaced stops, t in 0..1.
Rgb ramp(std::initializer_list<Rgb> stops, double t);

}  // namespace assetgen
