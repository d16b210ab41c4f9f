#pragma once

#include <cstdint>
#include <span>
#include <string>

// `vesiclar --render DIR ...`: the real start-up and main-loop steps on an off-screen GL context
// with a fixed time step, every frame written as DIR/frame-NNNNN.png.
struct RenderOptions {
    std::string directory;
    int32_t frames = 1;
    int32_t width = 800;
    int32_t height = 600;
    float dt = 1.0f / 30.0f;  // seconds per frame
    bool seeded = false;      // false: seeded from the counter, as the run does
    uint32_t seed = 0;
    int32_t startSet = -1;    // -1: the run's own start (cells); else the scene-set number
    float skip = 0;           // simulated seconds before the first written frame, not drawn
    std::string settingsFile;
    // The clock overlay shows this time of day plus the simulated seconds, so frames repeat exactly.
    int32_t clockSeconds = 10 * 3600 + 8 * 60 + 30;
    bool withoutBufferObjects = false;  // as on a driver without the buffer-object entry points
    bool bitmaps = false;               // frame-NNNNN.bmp instead of .png
    bool loadingPicture = false;        // also DIR/loading.png, the loading screen
    bool discardFrames = false;         // draw and finish every frame, read back and write nothing
    bool census = false;                // count draws, triangles and pixels per part of the frame
    bool withoutCulling = false;        // the plain path: every object by itself, none left out
};

extern const char* const kRenderUsage;

// args: the program's arguments without its name, "--render DIR" among them. False with a one-line
// reason when they do not parse.
bool parseRenderOptions(std::span<const char* const> args, RenderOptions& options, std::string& error);

// Runs the render; 0 on success, otherwise non-zero after one line on stderr.
int renderOffscreen(const RenderOptions& options);

// RGBA, 8 bits per channel, rows top first; written as an RGB PNG (alpha dropped).
bool writePng(const std::string& path, const uint8_t* rgba, int32_t width, int32_t height);
// The same as a 24-bit Windows bitmap (the form the executable's picture resources take).
bool writeBmp(const std::string& path, const uint8_t* rgba, int32_t width, int32_t height);
