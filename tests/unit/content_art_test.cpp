// The generated content as the product uses it: camera flights played by the camera, pictures
// decoded, the music decoded, and the whole set regenerated to prove it repeats byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <vorbis/vorbisfile.h>

#include "assets/texture.h"
#include "content_support.h"
#include "data/resources.h"
#include "generate.h"
#include "textures.h"
#include "scenes/camera_path.h"

namespace {

struct CellCentre {
    float x, y, z;
};

std::vector<CellCentre> cellCentres()
{
    std::vector<uint8_t> bytes = archiveEntry("reg_cells.dat");
    Cursor c(bytes);
    std::vector<CellCentre> out(c.u32());
    for (CellCentre& cell : out) {
        cell.x = c.f32();
        cell.y = c.f32();
        cell.z = c.f32();
        c.skip(16);
    }
    return out;
}

double periodicClearance(const std::vector<CellCentre>& cells, const Vector3& p)
{
    double best = 1e9;
    for (const CellCentre& c : cells) {
        double d[3] = {p.x - c.x, p.y - c.y, p.z - c.z};
        for (double& v : d) v -= 300.0 * std::round(v / 300.0);
        best = std::min(best, std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]));
    }
    return best;
}

// Plays a scene file through the camera in small clock steps, calling check on every pose.
template <typename Check>
size_t fly(const std::string& path, SceneSet set, Check check)
{
    std::vector<uint8_t> text = archiveEntry(path);
    CameraPath camera;
    EXPECT_TRUE(camera.loadTrack(text)) << path;
    camera.sceneSet = set;
    camera.trackTime = 0;
    size_t keys = camera.keyframes.size();
    for (int frame = 0; frame < 100000; ++frame) {
        camera.update();
        if (camera.trackEnded) break;
        check(camera);
        camera.trackTime += 0.1f;
    }
    return keys;
}

// The camera never rolls: its up vector stays in the vertical plane through its view direction.
void expectLevel(const CameraPath& camera)
{
    Vector3 side = cross(camera.forward, Vector3(0, 1, 0));
    float sideLength = side.length();
    if (sideLength > 0.1f) {
        EXPECT_NEAR(dot(camera.up, side / sideLength), 0.0f, 0.08f);
    }
    EXPECT_GT(camera.up.y, 0.45f);
}

TEST(ContentScenes, FilesHaveTheKeyframeTextLayout)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 15; ++i) paths.push_back("scenes\\cells\\scene" + std::to_string(i) + ".txt");
    for (int i = 0; i < 3; ++i) paths.push_back("scenes\\core\\scene" + std::to_string(i) + ".txt");
    for (int i = 0; i < 6; ++i) paths.push_back("scenes\\dna\\scene" + std::to_string(i) + ".txt");
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        std::vector<uint8_t> bytes = archiveEntry(path);
        std::string text(bytes.begin(), bytes.end());
        ASSERT_EQ(text.rfind("\r\nKEYFRAMES\r\nkeyframe\r\n", 0), 0u);
        ASSERT_GE(text.size(), 7u);
        EXPECT_EQ(text.substr(text.size() - 7), "ENDKEYS");
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                ASSERT_EQ(text[i - 1], '\r') << "bare line feed at " << i;
            }
        }
        KeyframeTrack track;
        parseKeyframes(track, std::span<const uint8_t>(bytes));
        ASSERT_GE(track.size(), 6u);
        ASSERT_LE(track.size(), 12u);
        for (size_t k = 0; k < track.size(); ++k) {
            EXPECT_EQ(track[k]->time, 10.0f * k);
            const Quaternion& q = track[k]->orientation;
            EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0f, 1e-4f);
        }
    }
}

TEST(ContentScenes, CellFlightsPassCloseToCellsWithoutEnteringAny)
{
    std::vector<CellCentre> cells = cellCentres();
    ASSERT_EQ(cells.size(), 64u);
    for (int i = 0; i < 15; ++i) {
        SCOPED_TRACE(i);
        double closest = 1e9;
        fly("scenes\\cells\\scene" + std::to_string(i) + ".txt", SceneSet::Cells, [&](const CameraPath& camera) {
            double clearance = periodicClearance(cells, camera.position);
            ASSERT_GE(clearance, 30.0);
            closest = std::min(closest, clearance);
            expectLevel(camera);
        });
        EXPECT_LT(closest, 50.0);  // it does pass close to something
    }
}

TEST(ContentScenes, CoreFlightsCircleTheNucleusAndKeepItInView)
{
    const Vector3 backgroundCentre(0, 230, 0);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        fly("scenes\\core\\scene" + std::to_string(i) + ".txt", SceneSet::Core, [&](const CameraPath& camera) {
            float distance = camera.position.length();
            ASSERT_GT(distance, 200.0f);  // outside the nucleus (radius about 140 drawn)
            ASSERT_LT((camera.position - backgroundCentre).length(), 800.0f);
            Vector3 toNucleus = camera.position * (-1.0f / distance);
            EXPECT_GT(dot(camera.forward, toNucleus) / camera.forward.length(), std::cos(28.0f * 3.14159f / 180));
            expectLevel(camera);
        });
    }
}

TEST(ContentScenes, DnaFlightsWatchTheCopyFromOutsideBothHelixes)
{
    const Vector3 backgroundCentre(0, 230, 0);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        size_t keys = fly("scenes\\dna\\scene" + std::to_string(i) + ".txt", SceneSet::Dna, [&](const CameraPath& camera) {
            const Vector3& p = camera.position;
            float toParent = std::hypot(p.x + 300, p.z), toDaughter = std::hypot(p.x - 300, p.z);
            ASSERT_GT(std::min(toParent, toDaughter), 180.0f);
            ASSERT_LT((p - backgroundCentre).length(), 800.0f);
            expectLevel(camera);
        });
        EXPECT_GE(keys, 6u);  // 50 s or more: the copy (12 to 31 s) completes on screen
    }
}

// A JPEG decoded by the texture loader's decoder, turned to rows top first.
struct Picture {
    int width = 0, height = 0, components = 3;
    bool progressive = true;
    std::vector<uint8_t> rgb;
    uint8_t at(int x, int y, int c) const { return rgb[(static_cast<size_t>(y) * width + x) * 3 + c]; }
};

// Baseline when the first start-of-frame marker is SOF0 (0xFFC0) rather than a progressive one.
bool firstFrameIsBaseline(const std::vector<uint8_t>& bytes)
{
    for (size_t i = 2; i + 3 < bytes.size();) {
        if (bytes[i] != 0xFF) return false;
        uint8_t marker = bytes[i + 1];
        if (marker == 0xC0) return true;
        if (marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) return false;
        i += 2 + ((bytes[i + 2] << 8) | bytes[i + 3]);
    }
    return false;
}

Picture decodeJpeg(const std::vector<uint8_t>& bytes)
{
    Picture p;
    DecodedImage image;
    if (!decodeJpegBytes(bytes, image)) return p;
    p.width = image.width;
    p.height = image.height;
    p.progressive = !firstFrameIsBaseline(bytes);
    p.rgb.resize(static_cast<size_t>(p.width) * p.height * 3);
    for (int y = 0; y < p.height; ++y)
        std::memcpy(&p.rgb[static_cast<size_t>(y) * p.width * 3],
                    &image.pixels[static_cast<size_t>(p.height - 1 - y) * image.rowBytes], static_cast<size_t>(p.width) * 3);
    return p;
}

std::vector<uint8_t> resource(const char* type, int id)
{
    std::span<const uint8_t> bytes = findResource(type, id);
    return {bytes.begin(), bytes.end()};
}

TEST(ContentPictures, TexturesAreBaselinePowerOfTwoRgbJpegs)
{
    for (const char* name : {"cell", "env", "d_env", "hcore", "dna", "link", "c"}) {
        SCOPED_TRACE(name);
        Picture p = decodeJpeg(archiveEntry(std::string("textures\\") + name + ".jpg"));
        ASSERT_GT(p.width, 0);
        EXPECT_FALSE(p.progressive);
        EXPECT_EQ(p.components, 3);
        EXPECT_EQ(p.width & (p.width - 1), 0);
        EXPECT_EQ(p.height & (p.height - 1), 0);
    }
    Picture loader = decodeJpeg(resource(kCustomData, 125));
    EXPECT_EQ(loader.width, 512);
    EXPECT_EQ(loader.height, 512);
    EXPECT_FALSE(loader.progressive);
}

TEST(ContentPictures, TilingTexturesHaveNoSeam)
{
    // Checked on the generated pictures before compression: the step across the wrap-around must
    // look like any step between neighbouring columns or rows. A picture that does not tile jumps
    // far more there.
    const std::pair<const char*, assetgen::Image> pictures[] = {{"cell", assetgen::cellTexture()},
                                                                {"env", assetgen::environmentTexture()},
                                                                {"d_env", assetgen::deepEnvironmentTexture()},
                                                                {"hcore", assetgen::chromatinTexture()}};
    for (const auto& [name, picture] : pictures) {
        SCOPED_TRACE(name);
        const assetgen::Image& p = picture;  // clang before 16 cannot capture a structured binding
        auto step = [&](int x0, int y0, int x1, int y1, int count, bool columns) {
            double sum = 0;
            for (int k = 0; k < count; ++k) {
                const float* a = columns ? p.at(x0, k) : p.at(k, y0);
                const float* b = columns ? p.at(x1, k) : p.at(k, y1);
                for (int c = 0; c < 3; ++c) sum += std::fabs(a[c] - b[c]);
            }
            return sum / count;
        };
        std::vector<double> columns, rows;
        for (int x = 0; x + 1 < p.width; ++x) columns.push_back(step(x, 0, x + 1, 0, p.height, true));
        for (int y = 0; y + 1 < p.height; ++y) rows.push_back(step(0, y, 0, y + 1, p.width, false));
        std::sort(columns.begin(), columns.end());
        std::sort(rows.begin(), rows.end());
        EXPECT_LE(step(p.width - 1, 0, 0, 0, p.height, true), columns[columns.size() * 99 / 100] * 1.25);
        EXPECT_LE(step(0, p.height - 1, 0, 0, p.width, false), rows[rows.size() * 99 / 100] * 1.25);
        // For scale: two unrelated columns differ far more than that.
        EXPECT_GT(step(0, 0, p.width / 2, 0, p.height, true), columns[columns.size() * 99 / 100] * 1.25);
    }
}

TEST(ContentPictures, BackgroundPicturesAreFlatAlongTheRowsThatMeetAtThePoles)
{
    // The background sphere's pole triangles each take their own u at the pole: only rows that
    // do not vary along u keep those triangles from showing as wedges.
    const std::pair<const char*, assetgen::Image> pictures[] = {{"env", assetgen::environmentTexture()},
                                                                {"d_env", assetgen::deepEnvironmentTexture()}};
    for (const auto& [name, picture] : pictures) {
        SCOPED_TRACE(name);
        const assetgen::Image& p = picture;  // clang before 16 cannot capture a structured binding
        auto spread = [&](int y) {
            float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
            for (int x = 0; x < p.width; ++x)
                for (int c = 0; c < 3; ++c) {
                    lo[c] = std::min(lo[c], p.at(x, y)[c]);
                    hi[c] = std::max(hi[c], p.at(x, y)[c]);
                }
            return std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
        };
        int flatRows = 0;
        for (int y = 0; y < p.height; ++y) {
            double v = (y + 0.5) / p.height;
            if (std::min(v, 1 - v) > assetgen::kPoleCap) continue;
            ++flatRows;
            ASSERT_LT(spread(y), 1e-5f) << "row " << y;
        }
        EXPECT_GT(flatRows, p.height / 4);
        // Both bands share one colour, so the wrap-around between them is flat too.
        for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(p.at(0, 0)[c], p.at(0, p.height - 1)[c]);
        // The clouds themselves are still there between the bands.
        EXPECT_GT(spread(p.height / 2), 0.05f);
    }
    // And they survive compression: whole 16-row blocks inside the bands decode flat.
    for (const char* name : {"env", "d_env"}) {
        SCOPED_TRACE(name);
        Picture p = decodeJpeg(archiveEntry(std::string("textures\\") + name + ".jpg"));
        ASSERT_GT(p.height, 0);
        const int band = static_cast<int>(assetgen::kPoleCap * p.height) / 16 * 16;
        ASSERT_GT(band, 0);
        int worst = 0;
        for (int y = 0; y < p.height; ++y) {
            if (y >= band && y < p.height - band) continue;
            for (int x = 0; x < p.width; ++x)
                for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(p.at(x, y, c) - p.at(0, 0, c)));
        }
        EXPECT_LE(worst, 2);
    }
}

TEST(ContentPictures, DigitAtlasHasThirteenLightBlueGlyphsInTheirCells)
{
    Picture p = decodeJpeg(archiveEntry("textures\\c.jpg"));
    ASSERT_EQ(p.width, 512);
    ASSERT_EQ(p.height, 512);
    for (int k = 0; k < 16; ++k) {
        SCOPED_TRACE(k);
        int cx = (k % 4) * 128, cy = (k / 4) * 128;  // row 0 at the top of the image
        int brightest = 0, left = 128, right = -1;
        long blue = 0, red = 0;
        for (int y = cy; y < cy + 128; ++y)
            for (int x = cx; x < cx + 128; ++x) {
                int v = std::max({p.at(x, y, 0), p.at(x, y, 1), p.at(x, y, 2)});
                brightest = std::max(brightest, v);
                if (v > 90) {
                    left = std::min(left, x - cx);
                    right = std::max(right, x - cx);
                    blue += p.at(x, y, 2);
                    red += p.at(x, y, 0);
                }
            }
        if (k < 13) {
            EXPECT_GT(brightest, 200);
            // Glyphs are drawn 0.7 cells apart: ink stays in the middle so neighbours never touch.
            EXPECT_GE(left, 18);
            EXPECT_LE(right, 110);
            EXPECT_GT(blue, red);
        } else {
            EXPECT_LT(brightest, 24);
        }
    }
}

TEST(ContentPictures, LoadingCornerImagesAre32BitTgas)
{
    auto header = [](const std::vector<uint8_t>& b, int& w, int& h) {
        if (b.size() < 18) return false;
        w = b[12] | (b[13] << 8);
        h = b[14] | (b[15] << 8);
        return b[2] == 2 && b[16] == 32 && b[17] == 0x08 && b.size() == 18u + 4u * w * h + b[0];
    };
    std::vector<uint8_t> badge = resource(kCustomData, 119);
    int w = 0, h = 0;
    ASSERT_TRUE(header(badge, w, h));
    TgaImage decoded;  // the loader's own decoder takes it as a 32-bit image
    ASSERT_EQ(decodeTgaBytes(badge, decoded), TgaStatus::ok);
    EXPECT_EQ(decoded.pixelDepth, 32);
    EXPECT_EQ(tgaToRgba(decoded).size(), 256u * 128u * 4u);
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 128);
    int soft = 0, opaque = 0;
    for (size_t i = 18; i + 3 < badge.size(); i += 4) {
        uint8_t a = badge[i + 3];
        if (a > 0 && a < 255) ++soft;
        if (a == 255) ++opaque;
    }
    EXPECT_GT(soft, 1000);   // a feathered edge, not a hard cut-out
    EXPECT_GT(opaque, 300);  // the text itself
    EXPECT_EQ(badge[18 + 3], 0);                  // corners clear
    EXPECT_EQ(badge[badge.size() - 1], 0);
    for (int id = 120; id <= 122; ++id) {
        std::vector<uint8_t> clear = resource(kCustomData, id);
        ASSERT_TRUE(header(clear, w, h)) << id;
        EXPECT_EQ(w, 1);
        EXPECT_EQ(h, 1);
        EXPECT_EQ(std::vector<uint8_t>(clear.begin() + 18, clear.end()), (std::vector<uint8_t>{255, 255, 255, 0}));
    }
}

TEST(ContentPictures, DialogBitmapsAndIconAreWindowsFiles)
{
    auto bmp = [](const std::vector<uint8_t>& b, int w, int h) {
        ASSERT_GE(b.size(), 54u);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        int width = b[18] | (b[19] << 8), height = b[22] | (b[23] << 8), bits = b[28];
        EXPECT_EQ(width, w);
        EXPECT_EQ(height, h);
        EXPECT_EQ(bits, 24);
        EXPECT_EQ(b.size(), 54u + static_cast<size_t>((w * 3 + 3) & ~3) * h);
    };
    bmp(resource("BITMAP", 107), 263, 180);
    bmp(resource("BITMAP", 112), 155, 115);
    std::vector<uint8_t> ico = resource("ICON", 111);
    ASSERT_GE(ico.size(), 22u);
    EXPECT_EQ(ico[0] | (ico[1] << 8), 0);
    EXPECT_EQ(ico[2] | (ico[3] << 8), 1);
    int count = ico[4] | (ico[5] << 8);
    ASSERT_GE(count, 3);
    for (int i = 0; i < count; ++i) {
        const uint8_t* e = ico.data() + 6 + 16 * i;
        uint32_t size = e[8] | (e[9] << 8) | (e[10] << 16) | (uint32_t(e[11]) << 24);
        uint32_t offset = e[12] | (e[13] << 8) | (e[14] << 16) | (uint32_t(e[15]) << 24);
        EXPECT_LE(static_cast<size_t>(offset) + size, ico.size());
    }
}

struct MemoryStream {
    const std::vector<uint8_t>* bytes;
    size_t pos = 0;
};

TEST(ContentMusic, IsAQuietSeamlessStereoLoop)
{
    std::vector<uint8_t> ogg = archiveEntry("music.ogg");
    ASSERT_FALSE(ogg.empty());
    EXPECT_LE(ogg.size(), 2500000u);
    MemoryStream stream{&ogg};
    ov_callbacks io{};
    io.read_func = [](void* dst, size_t size, size_t count, void* src) -> size_t {
        auto* s = static_cast<MemoryStream*>(src);
        size_t n = std::min(size * count, s->bytes->size() - s->pos);
        std::memcpy(dst, s->bytes->data() + s->pos, n);
        s->pos += n;
        return size ? n / size : 0;
    };
    io.seek_func = [](void* src, ogg_int64_t offset, int whence) -> int {
        auto* s = static_cast<MemoryStream*>(src);
        ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<ogg_int64_t>(s->pos)
                                                                       : static_cast<ogg_int64_t>(s->bytes->size());
        if (base + offset < 0 || base + offset > static_cast<ogg_int64_t>(s->bytes->size())) return -1;
        s->pos = static_cast<size_t>(base + offset);
        return 0;
    };
    io.tell_func = [](void* src) -> long { return static_cast<long>(static_cast<MemoryStream*>(src)->pos); };
    OggVorbis_File vf;
    ASSERT_EQ(ov_open_callbacks(&stream, &vf, nullptr, 0, io), 0);
    vorbis_info* info = ov_info(&vf, -1);
    EXPECT_EQ(info->rate, 44100);
    ASSERT_EQ(info->channels, 2);
    double seconds = static_cast<double>(ov_pcm_total(&vf, -1)) / info->rate;
    EXPECT_GE(seconds, 60.0);
    EXPECT_LE(seconds, 180.0);
    std::vector<float> left, right;
    for (;;) {
        float** pcm;
        int section;
        long n = ov_read_float(&vf, &pcm, 4096, &section);
        if (n <= 0) break;
        left.insert(left.end(), pcm[0], pcm[0] + n);
        right.insert(right.end(), pcm[1], pcm[1] + n);
    }
    ov_clear(&vf);
    ASSERT_EQ(static_cast<double>(left.size()), seconds * 44100);
    for (const std::vector<float>* ch : {&left, &right}) {
        const std::vector<float>& s = *ch;
        float peak = 0;
        double energy = 0;
        std::vector<float> steps;
        for (size_t i = 0; i < s.size(); ++i) {
            peak = std::max(peak, std::fabs(s[i]));
            energy += double(s[i]) * s[i];
            if (i + 1 < s.size()) steps.push_back(std::fabs(s[i + 1] - s[i]));
        }
        double rms = std::sqrt(energy / s.size());
        EXPECT_LT(peak, 0.95f);  // below full scale, no clipping
        EXPECT_GT(rms, 0.03);
        // The loop point: the step from the last sample to the first is an ordinary step.
        std::nth_element(steps.begin(), steps.begin() + steps.size() * 999 / 1000, steps.end());
        float usual = steps[steps.size() * 999 / 1000];
        EXPECT_LE(std::fabs(s.front() - s.back()), usual * 1.5f);
        // No silent gap at either end.
        auto windowRms = [&](size_t from) {
            double e = 0;
            for (size_t i = from; i < from + 22050; ++i) e += double(s[i]) * s[i];
            return std::sqrt(e / 22050);
        };
        EXPECT_GT(windowRms(0), rms * 0.25);
        EXPECT_GT(windowRms(s.size() - 22050), rms * 0.25);
    }
}

TEST(ContentGeneration, RepeatsTheEmbeddedBytesExactly)
{
    // The build ran the generator once to make the embedded archive; running it again here must
    // give the same bytes for every file.
    assetgen::FileSet archive = assetgen::generateArchive();
    EXPECT_EQ(archive.size(), 52u);
    for (const assetgen::GeneratedFile& f : archive) {
        std::string name = f.path;
        std::replace(name.begin(), name.end(), '/', '\\');
        EXPECT_TRUE(archiveEntry(name) == f.bytes) << name;
    }
    assetgen::FileSet pictures = assetgen::generateResources();
    const struct { const char* file; const char* type; int id; } slots[] = {
        {"loader.jpg", kCustomData, 125}, {"4loader_rd.tga", kCustomData, 119}, {"4loader_ld.tga", kCustomData, 120},
        {"4loader_lu.tga", kCustomData, 121}, {"4loader_ru.tga", kCustomData, 122}, {"dialog.bmp", "BITMAP", 107},
        {"preview.bmp", "BITMAP", 112}, {"vesiclar.ico", "ICON", 111}};
    ASSERT_EQ(pictures.size(), std::size(slots));
    for (const auto& slot : slots) {
        auto it = std::find_if(pictures.begin(), pictures.end(), [&](const auto& f) { return f.path == slot.file; });
        ASSERT_NE(it, pictures.end()) << slot.file;
        EXPECT_TRUE(resource(slot.type, slot.id) == it->bytes) << slot.file;
    }
}

}  // namespace
