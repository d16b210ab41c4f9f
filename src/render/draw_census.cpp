#include "render/draw_census.h"

#include "platform/platform.h"
#include "render/gl.h"

namespace {

struct Census {
    bool running = false;
    bool partOpen = false;
    FramePart current = FramePart::Background;
    uint64_t drawsAtBegin = 0;
    uint64_t frames = 0;
    GLuint queries[2] = {0, 0};  // samples passed, primitives generated
    PartTallies tallies{};
    PFNGLGENQUERIESPROC genQueries = nullptr;
    PFNGLDELETEQUERIESPROC deleteQueries = nullptr;
    PFNGLBEGINQUERYPROC beginQuery = nullptr;
    PFNGLENDQUERYPROC endQuery = nullptr;
    PFNGLGETQUERYOBJECTUI64VPROC queryResult = nullptr;
};
Census state;
uint64_t drawCount = 0;

template <typename F>
F resolve(const char* name)
{
    const auto procAddress = platform::glContextServices().procAddress;
    return procAddress ? reinterpret_cast<F>(procAddress(name)) : nullptr;
}

void closePart()
{
    if (!state.partOpen) return;
    state.endQuery(GL_SAMPLES_PASSED);
    state.endQuery(GL_PRIMITIVES_GENERATED);
    GLuint64 samples = 0, primitives = 0;
    state.queryResult(state.queries[0], GL_QUERY_RESULT, &samples);
    state.queryResult(state.queries[1], GL_QUERY_RESULT, &primitives);
    PartTally& tally = state.tallies[static_cast<size_t>(state.current)];
    tally.pixels += samples;
    tally.triangles += primitives;
    tally.draws += drawCount - state.drawsAtBegin;
    state.partOpen = false;
}

}  // namespace

const char* framePartName(FramePart part)
{
    static constexpr const char* kNames[] = {
        "background",      "cell helix spheres", "cell helix rungs", "cell bodies",   "mitochondria",
        "membranes",       "membrane skins",     "helix spheres",    "helix rungs",   "nucleus",
        "nucleus skin",    "particles",          "ribosomes",        "atoms",         "flying atoms",
        "atom rungs",      "chromosomes",        "haze",             "overlay"};
    static_assert(std::size(kNames) == static_cast<size_t>(FramePart::Count));
    const auto i = static_cast<size_t>(part);
    return i < std::size(kNames) ? kNames[i] : "?";
}

void countDraw() { ++drawCount; }

void beginPart(FramePart part)
{
    if (!state.running) return;
    closePart();
    state.current = part;
    state.drawsAtBegin = drawCount;
    state.beginQuery(GL_SAMPLES_PASSED, state.queries[0]);
    state.beginQuery(GL_PRIMITIVES_GENERATED, state.queries[1]);
    state.partOpen = true;
}

namespace census {

bool start()
{
    state.genQueries = resolve<PFNGLGENQUERIESPROC>("glGenQueries");
    state.deleteQueries = resolve<PFNGLDELETEQUERIESPROC>("glDeleteQueries");
    state.beginQuery = resolve<PFNGLBEGINQUERYPROC>("glBeginQuery");
    state.endQuery = resolve<PFNGLENDQUERYPROC>("glEndQuery");
    state.queryResult = resolve<PFNGLGETQUERYOBJECTUI64VPROC>("glGetQueryObjectui64v");
    if (!state.genQueries || !state.deleteQueries || !state.beginQuery || !state.endQuery || !state.queryResult)
        return false;
    while (glGetError() != GL_NO_ERROR) {}
    state.genQueries(2, state.queries);
    // The primitives query needs GL 3.0; a context without it refuses the begin.
    state.beginQuery(GL_PRIMITIVES_GENERATED, state.queries[1]);
    const bool counts = glGetError() == GL_NO_ERROR;
    if (counts) state.endQuery(GL_PRIMITIVES_GENERATED);
    if (!counts || state.queries[0] == 0) {
        state.deleteQueries(2, state.queries);
        return false;
    }
    state.tallies = {};
    state.frames = 0;
    state.running = true;
    return true;
}

void endFrame()
{
    if (!state.running) return;
    closePart();
    ++state.frames;
}

void stop()
{
    if (!state.running) return;
    closePart();
    state.deleteQueries(2, state.queries);
    state.running = false;
}

const PartTallies& tallies() { return state.tallies; }

uint64_t frames() { return state.frames; }

}  // namespace census
