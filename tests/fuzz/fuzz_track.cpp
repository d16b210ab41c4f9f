// Vertex animation tracks: any bytes parse into a consistent track or leave it empty.
#include <cstdlib>

#include "assets/vertex_anim_track.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    VertexAnimTrack track;
    if (!track.parse({data, size})) {
        if (!track.empty() || !track.positions.empty())
            std::abort();
        return 0;
    }
    const size_t n3 = size_t(track.vertexCount) * 3;
    if (track.indexCount != 3 * track.triangleCount || track.indices.size() != track.indexCount ||
        track.positions.size() != n3 || track.interleaved.size() != size_t(track.vertexCount) * 8)
        std::abort();
    for (int k = 0; k < VertexAnimTrack::kKeyCount; ++k)
        if (track.keyPositions[k].size() != n3 || track.keyNormalTangents[k].size() != n3)
            std::abort();
    for (uint32_t index : track.indices)
        if (index >= track.vertexCount)
            std::abort();
    return 0;
}
