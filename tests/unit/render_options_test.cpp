#include <gtest/gtest.h>

#include <png.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/offscreen_render.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

bool parse(std::vector<const char*> args, RenderOptions& options, std::string& error)
{
    return parseRenderOptions(std::span<const char* const>(args.data(), args.size()), options, error);
}

}  // namespace

TEST(RenderOptions, DefaultsAndEveryOption)
{
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(parse({"--render", "out"}, o, error)) << error;
    EXPECT_EQ(o.directory, "out");
    EXPECT_EQ(o.frames, 1);
    EXPECT_EQ(o.width, 800);
    EXPECT_EQ(o.height, 600);
    EXPECT_FLOAT_EQ(o.dt, 1.0f / 30.0f);
    EXPECT_FALSE(o.seeded);
    EXPECT_EQ(o.startSet, -1);

    ASSERT_TRUE(parse({"--frames", "12", "--render", "d", "--size", "155x115", "--dt", "0.05", "--seed", "4000000000",
                       "--start", "dna", "--skip", "2.5", "--settings", "s.ini", "--clock", "23:59:58", "--bmp", "--loading",
                       "--no-buffer-objects", "--no-pictures", "--census", "--no-culling"},
                      o, error))
        << error;
    EXPECT_EQ(o.frames, 12);
    EXPECT_EQ(o.width, 155);
    EXPECT_EQ(o.height, 115);
    EXPECT_FLOAT_EQ(o.dt, 0.05f);
    EXPECT_TRUE(o.seeded);
    EXPECT_EQ(o.seed, 4000000000u);
    EXPECT_EQ(o.startSet, 2);
    EXPECT_FLOAT_EQ(o.skip, 2.5f);
    EXPECT_EQ(o.settingsFile, "s.ini");
    EXPECT_EQ(o.clockSeconds, 23 * 3600 + 59 * 60 + 58);
    EXPECT_TRUE(o.bitmaps);
    EXPECT_TRUE(o.loadingPicture);
    EXPECT_TRUE(o.withoutBufferObjects);
    EXPECT_TRUE(o.discardFrames);
    EXPECT_TRUE(o.census);
    EXPECT_TRUE(o.withoutCulling);
    ASSERT_TRUE(parse({"--render", "d", "--start", "core"}, o, error));
    EXPECT_EQ(o.startSet, 0);
    ASSERT_TRUE(parse({"--render", "d", "--start", "cells"}, o, error));
    EXPECT_EQ(o.startSet, 1);
}

TEST(RenderOptions, RejectsWhatCannotBeRendered)
{
    RenderOptions o;
    std::string error;
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"--render"},
        {"--render", ""},
        {"--render", "a", "--render", "b"},
        {"--render", "a", "--frames", "0"},
        {"--render", "a", "--frames", "3x"},
        {"--render", "a", "--size", "800"},
        {"--render", "a", "--size", "0x600"},
        {"--render", "a", "--size", "800x99999"},
        {"--render", "a", "--dt", "-1"},
        {"--render", "a", "--dt", "nan"},
        {"--render", "a", "--seed", "-3"},
        {"--render", "a", "--seed", "4294967296"},
        {"--render", "a", "--start", "nucleus"},
        {"--render", "a", "--skip"},
        {"--render", "a", "--skip", "1", "--dt", "1e-30"},  // 1e30 steps: no count a loop can hold
        {"--render", "a", "--clock", "24:00:00"},
        {"--render", "a", "--clock", "4294967306:00:00"},  // wraps to 10 in a plain %d
        {"--render", "a", "--bogus"},
        {"--render", "a", "stray"},
    };
    for (const auto& args : bad) {
        error.clear();
        EXPECT_FALSE(parse(args, o, error)) << (args.empty() ? "(none)" : args.back());
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(PngWriter, WritesRgbRowsInOrderAndFailsOnAnUnwritablePath)
{
    ScratchFolder folder;
    const int w = 3, h = 2;
    const uint8_t rgba[w * h * 4] = {10, 20, 30, 255, 11, 21, 31, 255, 12, 22, 32, 255,
                                     200, 0, 0, 0, 0, 200, 0, 0, 0, 0, 200, 0};
    const std::string path = folder.file("f.png");
    ASSERT_TRUE(writePng(path, rgba, w, h));

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    EXPECT_EQ(image.width, 3u);
    EXPECT_EQ(image.height, 2u);
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    const std::vector<uint8_t> expected = {10, 20, 30, 11, 21, 31, 12, 22, 32, 200, 0, 0, 0, 200, 0, 0, 0, 200};
    EXPECT_EQ(pixels, expected);

    EXPECT_FALSE(writePng(folder.file("missing/f.png"), rgba, w, h));

    // The bitmap form: 24-bit, rows bottom first, each padded to 4 bytes, blue green red.
    ASSERT_TRUE(writeBmp(folder.file("f.bmp"), rgba, w, h));
    FILE* f = std::fopen(folder.file("f.bmp").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> bmp(200);
    bmp.resize(std::fread(bmp.data(), 1, bmp.size(), f));
    std::fclose(f);
    ASSERT_EQ(bmp.size(), 54u + 2 * 12);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[18], 3);
    EXPECT_EQ(bmp[22], 2);
    EXPECT_EQ(bmp[28], 24);
    const std::vector<uint8_t> bottomRow(bmp.begin() + 54, bmp.begin() + 66);
    const std::vector<uint8_t> bottomExpected = {0, 0, 200, 0, 200, 0, 200, 0, 0, 0, 0, 0};
    EXPECT_EQ(bottomRow, bottomExpected);
    EXPECT_EQ(bmp[66], 30);  // top row, first pixel: blue first
    EXPECT_EQ(bmp[68], 10);
    EXPECT_FALSE(writeBmp(folder.file("missing/f.bmp"), rgba, w, h));
    EXPECT_FALSE(writePng(folder.file("g.png"), rgba, 0, h));
}

TEST(LocalTimeOverride, PinsTheClockUntilReleased)
{
    const platform::LocalTime fixed{23, 59, 58};
    platform::setLocalTimeOverride(&fixed);
    const platform::LocalTime pinned = platform::localTime();
    EXPECT_EQ(pinned.hour, 23);
    EXPECT_EQ(pinned.minute, 59);
    EXPECT_EQ(pinned.second, 58);
    platform::setLocalTimeOverride(nullptr);
    // Released: the system clock again, read on both sides of the call.
    const time_t before = time(nullptr);
    const platform::LocalTime now = platform::localTime();
    const time_t after = time(nullptr);
    tm a{}, b{};
    localtime_r(&before, &a);
    localtime_r(&after, &b);
    const int seconds = now.hour * 3600 + now.minute * 60 + now.second;
    EXPECT_TRUE(seconds == a.tm_hour * 3600 + a.tm_min * 60 + a.tm_sec ||
                seconds == b.tm_hour * 3600 + b.tm_min * 60 + b.tm_sec);
}

// A run left going for days sees the system's time zone change (travel, a new zone chosen in the
// desktop's settings); the clock must follow it, not the zone the run started in.
TEST(LocalTime, FollowsAChangeOfTheTimeZoneDuringTheRun)
{
    const char* saved = std::getenv("TZ");
    const std::string oldZone = saved ? saved : "";
    auto offsetFromUtc = [] {
        const time_t now = time(nullptr);
        const platform::LocalTime local = platform::localTime();
        tm utc{};
        gmtime_r(&now, &utc);
        const int seconds = local.hour * 3600 + local.minute * 60 + local.second -
                            (utc.tm_hour * 3600 + utc.tm_min * 60 + utc.tm_sec);
        return (seconds + 86400) % 86400;
    };
    setenv("TZ", "UTC0", 1);
    tzset();
    const int before = offsetFromUtc();
    setenv("TZ", "<+0530>-5:30", 1);
    // The zone is looked at again at most once a second: wait for the next one.
    for (const time_t start = time(nullptr); time(nullptr) == start;) usleep(10000);
    const int after = offsetFromUtc();
    if (saved)
        setenv("TZ", oldZone.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_LE(before, 1);
    EXPECT_NEAR(after, 5 * 3600 + 30 * 60, 1);
}
