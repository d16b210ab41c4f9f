#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/offscreen_render.h"

const char* const kRenderUsage =
    "  --render DIR     draw frames off screen into DIR/frame-00000.png ... with:\n"
    "    --frames N       number of frames to write (default 1)\n"
    "    --size WxH       picture size in pixels (default 800x600)\n"
    "    --dt SECONDS     simulated time per frame (default 1/30)\n"
    "    --seed N         seed of the random generator (default: the counter)\n"
    "    --start SET      begin in cells, core or dna with a random track of it\n"
    "    --skip SECONDS   simulated time to run before the first written frame\n"
    "    --settings FILE  read the settings from FILE instead of the user's\n"
    "    --clock HH:MM:SS time of day the clock starts from (default 10:08:30)\n"
    "    --no-buffer-objects  draw as on a driver without vertex buffer objects\n"
    "    --bmp            write 24-bit BMP pictures instead of PNG\n"
    "    --loading        also write the loading screen to DIR/loading.png\n"
    "    --no-pictures    draw every frame but write no pictures (timing the drawing alone)\n"
    "    --census         print draws, triangles and pixels per part of the frame, per frame\n"
    "    --no-culling     draw every object by itself, those wholly outside the view too\n"
    "                     (the plain path: the same picture, more slowly)\n";

namespace {

// The skip runs as whole steps of --dt; their count has to fit the loop's counter.
constexpr double kMaxSkipSteps = 1e9;

bool parseInt(const char* text, long min, long max, long& out)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < min || value > max) return false;
    out = value;
    return true;
}

bool parseSeconds(const char* text, float min, float& out)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(value) || value < min || value > 1e6)
        return false;
    out = static_cast<float>(value);
    return true;
}

}  // namespace

bool parseRenderOptions(std::span<const char* const> args, RenderOptions& options, std::string& error)
{
    options = RenderOptions{};
    size_t i = 0;
    auto value = [&](const char* name) -> const char* {
        if (i + 1 >= args.size()) {
            error = std::string(name) + " needs a value";
            return nullptr;
        }
        return args[++i];
    };
    for (; i < args.size(); ++i) {
        const char* word = args[i];
        long n = 0;
        if (std::strcmp(word, "--frames") == 0) {
            const char* v = value(word);
            if (!v) return false;
            if (!parseInt(v, 1, 1000000, n)) return error = "--frames wants a whole number from 1", false;
            options.frames = static_cast<int32_t>(n);
        } else if (std::strcmp(word, "--size") == 0) {
            const char* v = value(word);
            if (!v) return false;
            const char* x = std::strchr(v, 'x');
            long w = 0, h = 0;
            const std::string left = x ? std::string(v, x) : std::string();
            if (!x || !parseInt(left.c_str(), 16, 8192, w) || !parseInt(x + 1, 16, 8192, h))
                return error = "--size wants WIDTHxHEIGHT, each 16..8192", false;
            options.width = static_cast<int32_t>(w);
            options.height = static_cast<int32_t>(h);
        } else if (std::strcmp(word, "--dt") == 0) {
            const char* v = value(word);
            if (!v) return false;
            if (!parseSeconds(v, 0, options.dt)) return error = "--dt wants seconds, 0 or more", false;
        } else if (std::strcmp(word, "--seed") == 0) {
            const char* v = value(word);
            if (!v) return false;
            if (!parseInt(v, 0, 4294967295L, n)) return error = "--seed wants a number 0..4294967295", false;
            options.seeded = true;
            options.seed = static_cast<uint32_t>(n);
        } else if (std::strcmp(word, "--start") == 0) {
            const char* v = value(word);
            if (!v) return false;
            if (std::strcmp(v, "core") == 0) options.startSet = 0;
            else if (std::strcmp(v, "cells") == 0) options.startSet = 1;
            else if (std::strcmp(v, "dna") == 0) options.startSet = 2;
            else return error = "--start wants cells, core or dna", false;
        } else if (std::strcmp(word, "--skip") == 0) {
            const char* v = value(word);
            if (!v) return false;
            if (!parseSeconds(v, 0, options.skip)) return error = "--skip wants seconds, 0 or more", false;
        } else if (std::strcmp(word, "--settings") == 0) {
            const char* v = value(word);
            if (!v) return false;
            options.settingsFile = v;
        } else if (std::strcmp(word, "--clock") == 0) {
            const char* v = value(word);
            if (!v) return false;
            int h = 0, m = 0, s = 0;
            char tail = 0;
            // Two digits a field at most: a longer number would overflow the conversion.
            if (std::sscanf(v, "%2d:%2d:%2d%c", &h, &m, &s, &tail) != 3 || h < 0 || h > 23 || m < 0 || m > 59 ||
                s < 0 || s > 59)
                return error = "--clock wants HH:MM:SS", false;
            options.clockSeconds = h * 3600 + m * 60 + s;
        } else if (std::strcmp(word, "--loading") == 0) {
            options.loadingPicture = true;
        } else if (std::strcmp(word, "--no-pictures") == 0) {
            options.discardFrames = true;
        } else if (std::strcmp(word, "--census") == 0) {
            options.census = true;
        } else if (std::strcmp(word, "--no-culling") == 0) {
            options.withoutCulling = true;
        } else if (std::strcmp(word, "--bmp") == 0) {
            options.bitmaps = true;
        } else if (std::strcmp(word, "--no-buffer-objects") == 0) {
            options.withoutBufferObjects = true;
        } else if (std::strcmp(word, "--render") == 0) {
            const char* v = value(word);
            if (!v) return false;
            if (!options.directory.empty()) return error = "--render given twice", false;
            if (*v == '\0') return error = "--render needs an output folder", false;
            options.directory = v;
        } else {
            return error = std::string("unknown argument ") + word, false;
        }
    }
    if (options.directory.empty()) return error = "--render needs an output folder", false;
    if (options.skip > 0 && options.dt > 0 && static_cast<double>(options.skip) / options.dt > kMaxSkipSteps)
        return error = "--skip is more than 1000000000 steps of --dt", false;
    return true;
}
