// Mesh files: any bytes either parse into arrays whose every index is in range, or fail cleanly.
#include <cstdlib>

#include "assets/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MeshData mesh;
    if (!parseMesh({data, size}, mesh))
        return 0;
    for (uint32_t i = 0; i < mesh.faceCount; ++i) {
        // What the display-list compiler reads must be there.
        volatile float sink = mesh.x[mesh.a[i]] + mesh.y[mesh.b[i]] + mesh.z[mesh.c[i]] + mesh.u[mesh.ta[i]] +
                              mesh.v[mesh.tb[i]] + mesh.v[mesh.tc[i]] + mesh.normals[9 * size_t(i) + 8];
        (void)sink;
    }
    return 0;
}
