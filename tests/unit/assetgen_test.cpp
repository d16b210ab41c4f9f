// The generator's building blocks: picture encoders against the project's decoders, the sphere
// builder, camera orientation, the scene text, the cell field's periodic distance and the music
// loop's seam; and the program's own command line.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/texture.h"
#include "common.h"
#include "image.h"
#include "mesh.h"
#include "music.h"
#include "scenes.h"
#include "test_support.h"

using namespace assetgen;

namespace {

Image gradientPicture(int w, int h)
{
    Image im(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) im.set(x, y, {x / float(w - 1), y / float(h - 1), 0.25f}, (x + y) % 2 ? 1.0f : 0.5f);
    return im;
}

TEST(AssetgenPictures, TgaIsUprightRgbaForTheLoader)
{
    Image im = gradientPicture(5, 3);
    Bytes tga = encodeTga32(im);
    TgaImage decoded;
    ASSERT_EQ(decodeTgaBytes(tga, decoded), TgaStatus::ok);
    ASSERT_EQ(decoded.width, 5);
    ASSERT_EQ(decoded.height, 3);
    std::vector<uint8_t> rgba = tgaToRgba(decoded);
    // Stored bottom row first (descriptor 0x08): the loader's first row is the picture's last.
    for (int row = 0; row < 3; ++row)
        for (int x = 0; x < 5; ++x) {
            const uint8_t* p = &rgba[(row * 5 + x) * 4];
            const float* q = im.at(x, 2 - row);
            EXPECT_EQ(p[0], toByte(q[0]));
            EXPECT_EQ(p[1], toByte(q[1]));
            EXPECT_EQ(p[2], toByte(q[2]));
            EXPECT_EQ(p[3], toByte(q[3]));
        }
}

TEST(AssetgenPictures, BmpRowsArePaddedToFourBytes)
{
    Image im = gradientPicture(263, 2);  // 789 bytes a row: three bytes of padding
    Bytes bmp = encodeBmp24(im);
    ASSERT_EQ(bmp.size(), 54u + 792u * 2);
    uint32_t declared;
    std::memcpy(&declared, &bmp[2], 4);
    EXPECT_EQ(declared, bmp.size());
    // First stored row is the bottom one, blue first; the padding is zero.
    EXPECT_EQ(bmp[54 + 0], toByte(im.at(0, 1)[2]));
    EXPECT_EQ(bmp[54 + 2], toByte(im.at(0, 1)[0]));
    EXPECT_EQ(bmp[54 + 3 * 262 + 1], toByte(im.at(262, 1)[1]));
    EXPECT_EQ(bmp[54 + 789], 0);
    EXPECT_EQ(bmp[54 + 792], toByte(im.at(0, 0)[2]));
}

TEST(AssetgenPictures, JpegDecodesToTheSamePicture)
{
    Image im(64, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) im.set(x, y, {0.2f + 0.6f * (x < 32), 0.5f, 0.9f - 0.6f * (y < 16)});
    DecodedImage decoded;
    ASSERT_TRUE(decodeJpegBytes(encodeJpeg(im, 95, true), decoded));
    ASSERT_EQ(decoded.width, 64);
    ASSERT_EQ(decoded.height, 32);
    // Decoded rows come bottom first; compare the middle of each flat quarter.
    auto pixel = [&](int x, int yTop) { return &decoded.pixels[(31 - yTop) * decoded.rowBytes + 3 * x]; };
    for (auto [x, y] : {std::pair{8, 8}, {56, 8}, {8, 24}, {56, 24}})
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(pixel(x, y)[c], toByte(im.at(x, y)[c]), 3) << x << "," << y;
}

TEST(AssetgenMeshes, IcospheresHaveTheirCountsAndFaceOutwards)
{
    const std::pair<uint32_t, uint32_t> counts[] = {{12, 20}, {42, 80}, {162, 320}, {642, 1280}};
    for (int level = 0; level <= 3; ++level) {
        TriSoup s = icosphere(level);
        EXPECT_EQ(s.positions.size(), counts[level].first);
        EXPECT_EQ(s.faces.size(), counts[level].second);
        for (const D3& p : s.positions) EXPECT_NEAR(length(p), 1.0, 1e-12);
        for (const Tri& f : s.faces) {
            D3 n = cross(s.positions[f[1]] - s.positions[f[0]], s.positions[f[2]] - s.positions[f[0]]);
            EXPECT_GT(dot(n, s.positions[f[0]]), 0.0);
        }
        EXPECT_NEAR(s.positions[0].z, 1.0, 1e-12);  // a vertex on each pole
    }
}

TEST(AssetgenCamera, LookRotationLooksAlongXWithZUp)
{
    const D3 up{0, 1, 0};
    for (const D3& f : {D3{1, 0, 0}, D3{0, 0, -1}, D3{-0.3, 0.4, 0.8}, D3{0.1, -0.6, -0.2}}) {
        Quat q = lookRotation(f, up);
        D3 forward = forwardOf(q), camUp = upOf(q), want = unit(f);
        EXPECT_NEAR(forward.x, want.x, 1e-9);
        EXPECT_NEAR(forward.y, want.y, 1e-9);
        EXPECT_NEAR(forward.z, want.z, 1e-9);
        EXPECT_NEAR(dot(camUp, forward), 0.0, 1e-9);
        EXPECT_NEAR(dot(camUp, unit(cross(forward, up))), 0.0, 1e-9);  // no roll
        EXPECT_GT(camUp.y, 0.0);
    }
}

TEST(AssetgenScenes, TextHasTheKeyframeLayout)
{
    std::vector<CameraKey> keys(2);
    keys[0].position = {1, -2.5, 3};
    keys[1].position = {4, 5, 6};
    keys[1].orientation = {0.5, 0.5, 0.5, 0.5};
    EXPECT_EQ(sceneText(keys),
              "\r\nKEYFRAMES\r\n"
              "keyframe\r\ntime 0.000000\r\nposition V(1.000000 -2.500000 3.000000)\r\n"
              "quaternion Q(0.000000 0.000000 0.000000 1.000000)\r\nend\r\n\r\n"
              "keyframe\r\ntime 10.000000\r\nposition V(4.000000 5.000000 6.000000)\r\n"
              "quaternion Q(0.500000 0.500000 0.500000 0.500000)\r\nend\r\n\r\n"
              "ENDKEYS");
}

TEST(AssetgenScenes, PathPassesThroughEveryKey)
{
    std::vector<CameraKey> keys(4);
    keys[0].position = {0, 0, 0};
    keys[1].position = {10, 5, 0};
    keys[2].position = {20, 0, 8};
    keys[3].position = {25, -5, 8};
    for (size_t i = 0; i + 1 < keys.size(); ++i) {
        D3 a = pathPoint(keys, i, 0), b = pathPoint(keys, i, 1);
        EXPECT_NEAR(length(a - keys[i].position), 0.0, 1e-12);
        EXPECT_NEAR(length(b - keys[i + 1].position), 0.0, 1e-12);
    }
}

TEST(AssetgenCells, ClearanceCountsEveryPeriodicCopy)
{
    std::vector<CellRecord> cells = {{{100, 0, 0}, {0, 0, 1}, 0}};
    EXPECT_NEAR(cellClearance(cells, {100, 0, 0}), 0.0, 1e-12);
    EXPECT_NEAR(cellClearance(cells, {-200, 0, 0}), 0.0, 1e-12);   // the copy one tile to the left
    EXPECT_NEAR(cellClearance(cells, {-140, 300, 0}), 60.0, 1e-9);  // nearest copy at (-200, 300, 0)
    std::vector<CellRecord> layout = cellLayout(0xCE11);
    ASSERT_EQ(layout.size(), 64u);
    EXPECT_EQ(serialiseCells(layout).size(), 1796u);
}

TEST(AssetgenMusic, ShortLoopIsPeriodicAndEncodesEveryFrame)
{
    MusicLoop loop = synthesiseMusic(12.0);
    ASSERT_EQ(loop.frames(), 12u * kMusicRate);
    float peak = 0;
    double usual = 0;
    for (size_t i = 0; i < loop.samples.size(); ++i) {
        peak = std::max(peak, std::fabs(loop.samples[i]));
        if (i + 2 < loop.samples.size()) usual = std::max(usual, double(std::fabs(loop.samples[i + 2] - loop.samples[i])));
    }
    EXPECT_NEAR(peak, 0.5f, 1e-6f);  // normalised with headroom
    for (int ch = 0; ch < 2; ++ch) {
        float seam = std::fabs(loop.samples[ch] - loop.samples[loop.samples.size() - 2 + ch]);
        EXPECT_LE(seam, usual);
    }
    Bytes ogg = encodeOggVorbis(loop, 0.1f);
    ASSERT_GT(ogg.size(), 1000u);
    EXPECT_EQ(std::string(ogg.begin(), ogg.begin() + 4), "OggS");
    // The last page's granule position is the exact frame count: no padding at the loop point.
    size_t last = std::string(ogg.begin(), ogg.end()).rfind("OggS");
    uint64_t granule;
    std::memcpy(&granule, &ogg[last + 6], 8);
    EXPECT_EQ(granule, loop.frames());
}

// A small file sits in the stream's buffer until the file is closed, and only then meets a full
// disk: that failure has to fail the run, or the build packs a cut-off file into the data.
TEST(AssetgenFiles, WriteThatFailsOnlyAtCloseIsReported)
{
    ScratchFolder folder;
    const FileSet files = {{"scenes/cells/scene0.txt", Bytes(900, 'x')}};
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A file size limit stands in for the full disk: writes past it fail with EFBIG.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{512, 512};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(writeFiles(folder.path(), files) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "a cut-off file was reported as written";
}

// An option without its value, or one misspelt, is refused before anything is written: taken as
// an output folder, it would fill a folder named after it.
TEST(AssetgenCommandLine, OptionsItCannotReadWriteNothing)
{
    for (const char* args : {"--previews", "--contact-sheet", "out --previews", "--preview out", "-x"}) {
        ScratchFolder folder;
        const std::string command = "cd " + folder.path() + " && " + shellQuoted(ASSETGEN_PATH) + " " + args + " 2>/dev/null";
        const int raw = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 2) << args;
        EXPECT_TRUE(std::filesystem::is_empty(folder.path())) << args;
    }
}

}  // namespace
