// The mesh file layout, checked before it is read. No GL here: fuzzers and tests use it alone.
#include "assets/byte_reader.h"
#include "assets/mesh.h"

namespace {

bool fail(MeshData& out, std::string* reason, const char* why)
{
    out = MeshData{};
    if (reason)
        *reason = why;
    return false;
}

bool indicesBelow(const std::vector<uint32_t>& indices, uint32_t count)
{
    for (uint32_t i : indices) {
        if (i >= count)
            return false;
    }
    return true;
}

}  // namespace

bool parseMesh(std::span<const uint8_t> bytes, MeshData& out, std::string* reason)
{
    out = MeshData{};
    ByteReader in(bytes);
    uint32_t vCount = 0, fCount = 0, tCount = 0;
    if (!in.u32(vCount) || !in.u32(fCount) || !in.u32(tCount))
        return fail(out, reason, "truncated");
    const uint64_t expected = 12 + 12 * uint64_t(vCount) + 60 * uint64_t(fCount) + 8 * uint64_t(tCount);
    if (bytes.size() < expected)
        return fail(out, reason, "truncated");
    if (bytes.size() > expected)
        return fail(out, reason, "wrong size");

    out.vertexCount = vCount;
    out.faceCount = fCount;
    out.texVertexCount = tCount;
    for (auto* list : {&out.x, &out.y, &out.z})
        list->resize(vCount);
    for (auto* list : {&out.a, &out.b, &out.c, &out.ta, &out.tb, &out.tc})
        list->resize(fCount);
    out.u.resize(tCount);
    out.v.resize(tCount);
    out.normals.resize(size_t(fCount) * 9);

    // Sizes were checked above, so these reads cannot fall short.
    for (uint32_t i = 0; i < vCount; ++i) {
        in.words(&out.x[i], 1);
        in.words(&out.y[i], 1);
        in.words(&out.z[i], 1);
    }
    for (uint32_t i = 0; i < fCount; ++i) {
        in.words(&out.a[i], 1);
        in.words(&out.b[i], 1);
        in.words(&out.c[i], 1);
    }
    for (uint32_t i = 0; i < fCount; ++i) {
        in.words(&out.ta[i], 1);
        in.words(&out.tb[i], 1);
        in.words(&out.tc[i], 1);
    }
    for (uint32_t i = 0; i < tCount; ++i) {
        in.words(&out.u[i], 1);
        in.words(&out.v[i], 1);
    }
    in.words(out.normals.data(), out.normals.size());

    if (!indicesBelow(out.a, vCount) || !indicesBelow(out.b, vCount) || !indicesBelow(out.c, vCount))
        return fail(out, reason, "vertex index out of range");
    if (!indicesBelow(out.ta, tCount) || !indicesBelow(out.tb, tCount) || !indicesBelow(out.tc, tCount))
        return fail(out, reason, "texture index out of range");
    return true;
}
