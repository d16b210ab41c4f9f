#pragma once

#include <cstdint>
#include <span>
#include <vector>

// A picture resource as a BMP file an image loader accepts: a file is passed through, a bare
// bitmap (info header, palette, pixels, as resource scripts store it) gets the 14-byte file header
// it lacks. Empty when the bytes are neither.
std::vector<uint8_t> asBmpFile(std::span<const uint8_t> image);
