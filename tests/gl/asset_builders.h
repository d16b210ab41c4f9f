#pragma once

// Data files made in memory for tests, fuzz seeds and benchmarks, in the exact on-disk layouts.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "assets/mesh.h"
#include "assets/vertex_anim_track.h"

std::vector<uint8_t> meshBytes(const MeshData& mesh);

// Two triangles making the square -1..1 in x and y at z = 0, facing +z, texture 0..1.
MeshData squareMesh();

// The track file of a filled-in track object (counts, initial arrays, keys, tangents).
std::vector<uint8_t> trackBytes(const VertexAnimTrack& track);

// A breathing sphere: the icosahedron subdivided `levels` times (0: V 12, 1: 42, 2: 162, 3: 642),
// radius `radius`, 10 key poses pulsing around it, tangents as cyclic central differences.
VertexAnimTrack sphereTrack(int levels, float radius = 1.0f);

// An uncompressed or run-length TGA with the given header fields and raw pixel bytes following.
std::vector<uint8_t> tgaBytes(uint8_t imageType, uint16_t width, uint16_t height, uint8_t depth,
                              const std::vector<uint8_t>& pixelData, const std::vector<uint8_t>& colourMap = {},
                              uint8_t idLength = 0);

// A baseline JPEG of RGB (components 3) or grey (components 1) rows given top first; with
// restartRows, a restart marker after every that many MCU rows; progressive when asked.
std::vector<uint8_t> jpegBytes(int width, int height, int components, const std::vector<uint8_t>& rows,
                               int quality = 95, int restartRows = 0, bool progressive = false);

// An archive of stored (uncompressed) entries, names with backslashes, as the data reader takes.
std::vector<uint8_t> storedArchive(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files);
