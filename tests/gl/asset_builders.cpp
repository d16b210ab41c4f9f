#include "asset_builders.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

#include <jpeglib.h>
#include <zlib.h>

#include "math/vector3.h"

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putFloat(std::vector<uint8_t>& out, float f)
{
    uint32_t v;
    std::memcpy(&v, &f, 4);
    put32(out, v);
}

void putFloats(std::vector<uint8_t>& out, const std::vector<float>& values)
{
    for (float f : values)
        putFloat(out, f);
}

void put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

std::vector<uint8_t> meshBytes(const MeshData& m)
{
    std::vector<uint8_t> out;
    put32(out, m.vertexCount);
    put32(out, m.faceCount);
    put32(out, m.texVertexCount);
    for (uint32_t i = 0; i < m.vertexCount; ++i) {
        putFloat(out, m.x[i]);
        putFloat(out, m.y[i]);
        putFloat(out, m.z[i]);
    }
    for (uint32_t i = 0; i < m.faceCount; ++i) {
        put32(out, m.a[i]);
        put32(out, m.b[i]);
        put32(out, m.c[i]);
    }
    for (uint32_t i = 0; i < m.faceCount; ++i) {
        put32(out, m.ta[i]);
        put32(out, m.tb[i]);
        put32(out, m.tc[i]);
    }
    for (uint32_t i = 0; i < m.texVertexCount; ++i) {
        putFloat(out, m.u[i]);
        putFloat(out, m.v[i]);
    }
    putFloats(out, m.normals);
    return out;
}

MeshData squareMesh()
{
    MeshData m;
    m.vertexCount = 4;
    m.faceCount = 2;
    m.texVertexCount = 4;
    m.x = {-1, 1, 1, -1};
    m.y = {-1, -1, 1, 1};
    m.z = {0, 0, 0, 0};
    m.a = {0, 0};
    m.b = {1, 2};
    m.c = {2, 3};
    m.ta = m.a;
    m.tb = m.b;
    m.tc = m.c;
    m.u = {0, 1, 1, 0};
    m.v = {0, 0, 1, 1};
    m.normals.assign(18, 0.0f);
    for (int corner = 0; corner < 6; ++corner)
        m.normals[corner * 3 + 2] = 1;
    return m;
}

std::vector<uint8_t> trackBytes(const VertexAnimTrack& t)
{
    std::vector<uint8_t> out;
    put32(out, t.vertexCount);
    put32(out, t.triangleCount);
    put32(out, t.indexCount);
    putFloats(out, t.positions);
    putFloats(out, t.normals);
    putFloats(out, t.texCoords);
    for (uint32_t i : t.indices)
        put32(out, i);
    for (int k = 0; k < VertexAnimTrack::kKeyCount; ++k) {
        putFloats(out, t.keyPositions[k]);
        putFloats(out, t.keyNormals[k]);
    }
    for (int k = 0; k < VertexAnimTrack::kKeyCount; ++k) {
        putFloats(out, t.keyPositionTangents[k]);
        putFloats(out, t.keyNormalTangents[k]);
    }
    return out;
}

VertexAnimTrack sphereTrack(int levels, float radius)
{
    // Icosahedron, then each triangle split in four with the new corners pushed onto the sphere.
    const float g = (1.0f + std::sqrt(5.0f)) / 2.0f;
    std::vector<Vector3> points = {{-1, g, 0}, {1, g, 0}, {-1, -g, 0}, {1, -g, 0}, {0, -1, g}, {0, 1, g},
                                   {0, -1, -g}, {0, 1, -g}, {g, 0, -1}, {g, 0, 1}, {-g, 0, -1}, {-g, 0, 1}};
    for (Vector3& p : points)
        p = normalise(p);
    std::vector<uint32_t> faces = {0, 11, 5, 0, 5, 1, 0, 1, 7, 0, 7, 10, 0, 10, 11, 1, 5, 9, 5, 11, 4,
                                   11, 10, 2, 10, 7, 6, 7, 1, 8, 3, 9, 4, 3, 4, 2, 3, 2, 6, 3, 6, 8,
                                   3, 8, 9, 4, 9, 5, 2, 4, 11, 6, 2, 10, 8, 6, 7, 9, 8, 1};
    for (int level = 0; level < levels; ++level) {
        std::map<std::pair<uint32_t, uint32_t>, uint32_t> middles;
        auto middle = [&](uint32_t a, uint32_t b) {
            const auto key = std::minmax(a, b);
            const auto found = middles.find(key);
            if (found != middles.end())
                return found->second;
            points.push_back(normalise(points[a] + points[b]));
            const auto index = static_cast<uint32_t>(points.size() - 1);
            middles[key] = index;
            return index;
        };
        std::vector<uint32_t> next;
        for (size_t f = 0; f < faces.size(); f += 3) {
            const uint32_t a = faces[f], b = faces[f + 1], c = faces[f + 2];
            const uint32_t ab = middle(a, b), bc = middle(b, c), ca = middle(c, a);
            next.insert(next.end(), {a, ab, ca, b, bc, ab, c, ca, bc, ab, bc, ca});
        }
        faces = std::move(next);
    }

    VertexAnimTrack t;
    const auto v = static_cast<uint32_t>(points.size());
    t.vertexCount = v;
    t.triangleCount = static_cast<uint32_t>(faces.size() / 3);
    t.indexCount = static_cast<uint32_t>(faces.size());
    t.indices = faces;
    for (int k = 0; k < VertexAnimTrack::kKeyCount; ++k) {
        const float phase = 2.0f * 3.14159265f * static_cast<float>(k) / VertexAnimTrack::kKeyCount;
        auto& pos = t.keyPositions[k];
        auto& nrm = t.keyNormals[k];
        for (const Vector3& d : points) {
            const float r = radius * (1.0f + 0.08f * std::sin(phase + 3.0f * d.x) + 0.05f * std::cos(2 * phase + 4.0f * d.y));
            const Vector3 p = d * r;
            pos.insert(pos.end(), {p.x, p.y, p.z});
            nrm.insert(nrm.end(), {d.x, d.y, d.z});
        }
    }
    for (int k = 0; k < VertexAnimTrack::kKeyCount; ++k) {
        const int before = (k + VertexAnimTrack::kKeyCount - 1) % VertexAnimTrack::kKeyCount;
        const int after = (k + 1) % VertexAnimTrack::kKeyCount;
        for (auto [tangent, key] : {std::pair{&t.keyPositionTangents, &t.keyPositions},
                                    std::pair{&t.keyNormalTangents, &t.keyNormals}}) {
            (*tangent)[k].resize(size_t(v) * 3);
            for (size_t j = 0; j < size_t(v) * 3; ++j)
                (*tangent)[k][j] = ((*key)[after][j] - (*key)[before][j]) / 2;
        }
    }
    t.positions = t.keyPositions[0];
    t.normals = t.keyNormals[0];
    for (const Vector3& d : points)
        t.texCoords.insert(t.texCoords.end(), {d.x, d.y});
    return t;
}

std::vector<uint8_t> tgaBytes(uint8_t imageType, uint16_t width, uint16_t height, uint8_t depth,
                              const std::vector<uint8_t>& pixelData, const std::vector<uint8_t>& colourMap,
                              uint8_t idLength)
{
    std::vector<uint8_t> out;
    const bool mapped = !colourMap.empty();
    out.push_back(idLength);
    out.push_back(mapped ? 1 : 0);
    out.push_back(imageType);
    put16(out, 0);
    put16(out, static_cast<uint16_t>(colourMap.size() / 3));
    out.push_back(mapped ? 24 : 0);
    put16(out, 0);
    put16(out, 0);
    put16(out, width);
    put16(out, height);
    out.push_back(depth);
    out.push_back(depth == 32 ? 0x08 : 0x00);
    for (int i = 0; i < idLength; ++i)
        out.push_back(static_cast<uint8_t>('A' + i % 26));
    out.insert(out.end(), colourMap.begin(), colourMap.end());
    out.insert(out.end(), pixelData.begin(), pixelData.end());
    return out;
}

std::vector<uint8_t> jpegBytes(int width, int height, int components, const std::vector<uint8_t>& rows, int quality,
                               int restartRows, bool progressive)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    // Full-resolution chroma, so single-pixel colour bands survive the round trip.
    for (int c = 0; c < info.num_components; ++c)
        info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    info.restart_in_rows = restartRows;
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rows.data() + size_t(info.next_scanline) * width * components);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

std::vector<uint8_t> storedArchive(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files)
{
    std::vector<uint8_t> out = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
    put16(out, 0);
    out.push_back(0x73);
    put16(out, 0);
    put16(out, 13);
    put16(out, 0);
    put32(out, 0);
    for (const auto& [name, data] : files) {
        const auto crc = static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
        put16(out, 0);
        out.push_back(0x74);
        put16(out, 0x8000);
        put16(out, static_cast<uint16_t>(32 + name.size()));
        put32(out, static_cast<uint32_t>(data.size()));
        put32(out, static_cast<uint32_t>(data.size()));
        out.push_back(2);
        put32(out, crc);
        put32(out, 0);
        out.push_back(20);
        out.push_back(0x30);
        put16(out, static_cast<uint16_t>(name.size()));
        put32(out, 0x20);
        out.insert(out.end(), name.begin(), name.end());
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}
