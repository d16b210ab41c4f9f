// Writes the seed archives for fuzz_archive: stored, compressed and solid, with LZ and multimedia
// blocks, so the fuzzer starts from every path of the reader and the decoder.
#include "archive_writer.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> text(size_t n)
{
    static const char* words[] = {"cell ", "core ", "helix ", "the ", "of ", "DNA\n", "atom ", "by "};
    std::vector<uint8_t> out;
    uint32_t s = 5;
    while (out.size() < n) {
        s = s * 1664525u + 1013904223u;
        const char* w = words[(s >> 20) % 8];
        out.insert(out.end(), w, w + std::string(w).size());
    }
    out.resize(n);
    return out;
}

std::vector<uint8_t> channels(size_t frames, int count)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < count; ++c)
            out.push_back(uint8_t(int(90 * std::sin(double(i) * (0.02 + 0.01 * c))) + 128));
    return out;
}

bool write(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_archive_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::vector<PackItem> items;
    items.push_back({"meshes", true, {}});
    items.push_back({"meshes\\sphere.dat", false, text(3000)});
    items.push_back({"music.ogg", false, channels(1500, 4)});
    items.push_back({"rgb.raw", false, channels(800, 3)});
    items.push_back({"empty.txt", false, {}});
    items.push_back({"more.txt", false, text(900)});
    bool ok = true;
    ok &= write(dir + "/stored.rar", writeArchive(items, {false, false}));
    ok &= write(dir + "/compressed.rar", writeArchive(items, {true, false}));
    ok &= write(dir + "/solid.rar", writeArchive(items, {true, true}));
    std::vector<PackItem> one = {{"a.txt", false, text(200)}};
    ok &= write(dir + "/small.rar", writeArchive(one, {true, false}));
    return ok ? 0 : 1;
}
