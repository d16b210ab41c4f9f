#include "app/offscreen_render.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/entry.h"
#include "app/scene_driver.h"
#include "app/scene_world.h"
#include "data/log.h"
#include "data/settings.h"
#include "math/random.h"
#include "platform/headless/headless_gl.h"
#include "platform/platform.h"
#include "render/draw_census.h"
#include "render/gl.h"
#include "render/gl_setup.h"
#include "render/view_frustum.h"
#include "scenes/loading_screen.h"

namespace {

// The present function is a plain pointer, so the frame sink lives here.
struct FrameSink {
    platform::HeadlessGl* gl = nullptr;
    std::string directory;
    bool bitmaps = false;
    bool discard = false;
    int32_t next = 0;
    bool failed = false;
    std::string failedPath;
    double writeSeconds = 0;
};
FrameSink sink;

void writeFrame()
{
    if (sink.failed) return;
    // The rasterizer works behind the calls: finish it first, so drawing is not counted as writing.
    glFinish();
    if (sink.discard) {
        ++sink.next;
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    const std::vector<uint8_t> pixels = sink.gl->readPixels();
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05d.%s", sink.next, sink.bitmaps ? "bmp" : "png");
    const std::string path = sink.directory + "/" + name;
    const bool written = sink.bitmaps ? writeBmp(path, pixels.data(), sink.gl->width(), sink.gl->height())
                                      : writePng(path, pixels.data(), sink.gl->width(), sink.gl->height());
    if (!written) {
        sink.failed = true;
        sink.failedPath = path;
    }
    ++sink.next;
    sink.writeSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The loading picture, when asked for: DIR/loading.png.
void writeLoadingPicture()
{
    const std::vector<uint8_t> pixels = sink.gl->readPixels();
    const std::string path = sink.directory + "/loading.png";
    if (!writePng(path, pixels.data(), sink.gl->width(), sink.gl->height())) {
        sink.failed = true;
        sink.failedPath = path;
    }
}

platform::LocalTime clockAt(double seconds)
{
    const long total = static_cast<long>(seconds) % 86400;
    return {static_cast<int>(total / 3600), static_cast<int>(total / 60 % 60), static_cast<int>(total % 60)};
}

// Per frame, averaged over the frames drawn: one row per part that drew anything, then the sum.
void printCensus()
{
    const double frames = static_cast<double>(census::frames() ? census::frames() : 1);
    std::printf("%-20s %10s %12s %12s\n", "part", "draws", "triangles", "pixels");
    PartTally total;
    for (size_t i = 0; i < census::tallies().size(); ++i) {
        const PartTally& t = census::tallies()[i];
        if (t.draws == 0 && t.triangles == 0 && t.pixels == 0) continue;
        std::printf("%-20s %10.0f %12.0f %12.0f\n", framePartName(static_cast<FramePart>(i)), t.draws / frames,
                    t.triangles / frames, t.pixels / frames);
        total.draws += t.draws;
        total.triangles += t.triangles;
        total.pixels += t.pixels;
    }
    std::printf("%-20s %10.0f %12.0f %12.0f\n", "frame", total.draws / frames, total.triangles / frames,
                total.pixels / frames);
}

// User and system time of every thread of the process (the rasterizer's included), or of the
// calling thread alone.
double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Pages the process faulted in so far: a heap that goes back to the kernel after every frame and
// comes back zeroed shows here.
long pageFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

int fail(const std::string& reason)
{
    std::fprintf(stderr, "vesiclar: cannot render: %s\n", reason.c_str());
    return 1;
}

}  // namespace

int renderOffscreen(const RenderOptions& options)
{
    namespace fs = std::filesystem;
    // Start-up moves into the temporary directory, so the output folder is made absolute first.
    std::error_code ec;
    const fs::path directory = fs::absolute(options.directory, ec);
    if (ec) return fail(options.directory + ": " + ec.message());
    fs::create_directories(directory, ec);
    if (ec || !fs::is_directory(directory)) return fail(options.directory + ": cannot create the folder");

    if (!options.settingsFile.empty()) {
        const fs::path settings = fs::absolute(options.settingsFile, ec);
        if (ec || !fs::is_regular_file(settings)) return fail(options.settingsFile + ": no such settings file");
        platform::setSettingsStoreFile(settings.string());
    }

    // The run's own start: tables, settings, displays, working directory, log.
    ScreensaverApp app;
    startUp(app, "vesiclar /s");
    Log::instance().section("Start screensaver");
    Log::instance().write("Path is <").write(currentSettings.Path).write(">\n");
    Random::global().seed(options.seeded ? options.seed : static_cast<uint32_t>(platform::counterTicks()));

    platform::HeadlessGl gl;
    if (!gl.create(options.width, options.height, !options.withoutBufferObjects)) return fail(gl.error());
    initGl();

    Log::instance().section("Load resources");
    prepareLoadingScreen();
    sink.gl = &gl;
    sink.directory = directory.string();
    sink.bitmaps = options.bitmaps;
    sink.discard = options.discardFrames;
    showLoadingScreen(options.loadingPicture ? writeLoadingPicture : nullptr);

    loadSceneAssets();
    if (options.startSet >= 0) startInSceneSet(static_cast<uint8_t>(options.startSet));

    // Simulated time only: the clock overlay follows it, so the same arguments give the same bytes.
    double simulated = 0;
    const float dt = options.dt;
    if (options.skip > 0 && dt > 0) {
        const long steps = static_cast<long>(options.skip / dt + 0.5);
        for (long i = 0; i < steps; ++i) {
            advanceAnimations(dt);
            advanceTrack(dt);
            simulated += dt;
        }
    } else if (options.skip > 0) {
        advanceAnimations(options.skip);
        advanceTrack(options.skip);
        simulated += options.skip;
    }

    setFrustumCulling(!options.withoutCulling);
    if (options.census && !census::start()) return fail("the GL context has no query objects to count with");
    Log::instance().write("Starting main loop...\n");
    setPresentFrame(writeFrame);
    const double cpuStart = cpuSeconds(RUSAGE_SELF), threadStart = cpuSeconds(RUSAGE_THREAD);
    const long faultsStart = pageFaults();
    const auto start = std::chrono::steady_clock::now();
    for (int32_t frame = 0; frame < options.frames && !sink.failed; ++frame) {
        advanceAnimations(dt);
        advanceTrack(dt);
        simulated += dt;
        const platform::LocalTime now = clockAt(options.clockSeconds + simulated);
        platform::setLocalTimeOverride(&now);
        composeFrame(dt);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpuPerFrame = (cpuSeconds(RUSAGE_SELF) - cpuStart) * 1000.0 / options.frames;
    const double threadPerFrame = (cpuSeconds(RUSAGE_THREAD) - threadStart) * 1000.0 / options.frames;
    const double faultsPerFrame = static_cast<double>(pageFaults() - faultsStart) / options.frames;
    if (options.census) {
        printCensus();
        census::stop();
    }
    setPresentFrame(nullptr);
    platform::setLocalTimeOverride(nullptr);
    sink.gl = nullptr;
    if (sink.failed) return fail(sink.failedPath + ": cannot write the picture");

    const double drawSeconds = seconds - sink.writeSeconds;
    std::printf("vesiclar: %d frames of %dx%d in %.2f s: %.1f frames/s, %.1f frames/s without writing the pictures, "
                "%.1f ms CPU per frame (%.1f ms of it on the drawing thread), %.0f page faults per frame\n",
                options.frames, options.width, options.height, seconds, options.frames / seconds,
                drawSeconds > 0 ? options.frames / drawSeconds : 0.0, cpuPerFrame, threadPerFrame, faultsPerFrame);
    Log::instance().write("EXIT");
    return 0;
}
