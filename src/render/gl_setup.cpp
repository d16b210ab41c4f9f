#include "render/gl_setup.h"

#include <string>

#include "data/log.h"
#include "data/settings.h"
#include "platform/platform.h"

namespace glext {

bool vboAvailable = false;
PFNGLGENBUFFERSARBPROC glGenBuffersARB = nullptr;
PFNGLBINDBUFFERARBPROC glBindBufferARB = nullptr;
PFNGLBUFFERDATAARBPROC glBufferDataARB = nullptr;
PFNGLBUFFERSUBDATAARBPROC glBufferSubDataARB = nullptr;
bool (*swapIntervalEXT)(int interval) = nullptr;

namespace {

template <typename F>
F resolve(const char* name)
{
    const auto procAddress = platform::glContextServices().procAddress;
    return procAddress ? reinterpret_cast<F>(procAddress(name)) : nullptr;
}

}  // namespace

bool resolveBufferObjects()
{
    glGenBuffersARB = resolve<PFNGLGENBUFFERSARBPROC>("glGenBuffersARB");
    glBindBufferARB = resolve<PFNGLBINDBUFFERARBPROC>("glBindBufferARB");
    glBufferDataARB = resolve<PFNGLBUFFERDATAARBPROC>("glBufferDataARB");
    glBufferSubDataARB = resolve<PFNGLBUFFERSUBDATAARBPROC>("glBufferSubDataARB");
    vboAvailable = glGenBuffersARB && glBindBufferARB && glBufferDataARB && glBufferSubDataARB;
    if (vboAvailable) {
        // GLX hands out an entry point for any name, whether the driver has the function or not;
        // one it lacks (an indirect context over a remote X display) does nothing and makes no name.
        GLuint probe = 0;
        glGenBuffersARB(1, &probe);
        vboAvailable = probe != 0;
        if (const auto deleteBuffers = resolve<PFNGLDELETEBUFFERSARBPROC>("glDeleteBuffersARB"); probe && deleteBuffers)
            deleteBuffers(1, &probe);
    }
    return vboAvailable;
}

bool loadBuffer(GLenum target, GLuint name, GLsizeiptrARB size, const void* data, GLenum usage)
{
    // Errors left by earlier calls must not be taken for this upload's (bounded: a lost context may
    // keep answering one).
    for (int i = 0; i < 8 && glGetError() != GL_NO_ERROR; ++i) {}
    glBindBufferARB(target, name);
    glBufferDataARB(target, size, data, usage);
    return glGetError() == GL_NO_ERROR;
}

}  // namespace glext

float gammaExponent(int32_t gamma)
{
    if (gamma < 0)
        gamma = 0;
    if (gamma > 100)
        gamma = 100;
    const double level = static_cast<double>(static_cast<uint32_t>(gamma));
    return static_cast<float>(1.0 - ((level - 50.0) / 50.0) * 0.5);
}

namespace {

// A missing context gives null strings; log them as empty rather than crash on them.
std::string glText(GLenum name)
{
    const auto* text = reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "";
}

}  // namespace

bool glContextAnswers()
{
    // An indirect context whose server side is broken answers with an empty string.
    const auto* version = glGetString(GL_VERSION);
    return version && *version;
}

bool initGl()
{
    Log& log = Log::instance();
    log.section("Initialize OpenGL");
    const bool haveContext = glContextAnswers();
    log.write("Vendor: " + glText(GL_VENDOR) + "\n");
    log.write("Videocard: " + glText(GL_RENDERER) + "\n");
    log.write("OpenGL version " + glText(GL_VERSION) + "\n");
    log.write("\nSupported extension: " + glText(GL_EXTENSIONS) + "\n\n");

    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_NORMALIZE);

    // Placed while the model-view matrix is the identity: both lights ride with the eye.
    const GLfloat atEye[4] = {0, 0, 0, 1};
    const GLfloat forward[3] = {0, 0, -1};
    glLightfv(GL_LIGHT0, GL_POSITION, atEye);
    glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, forward);
    glLightfv(GL_LIGHT1, GL_POSITION, atEye);
    glLightfv(GL_LIGHT1, GL_SPOT_DIRECTION, forward);

    glDisable(GL_LIGHTING);

    glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 0);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 0);

    // 4:3 whatever the display: the picture is stretched to the screen's own aspect.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.666665, 0.666665, -0.5, 0.5, 0.6, 1900.0);
    glMatrixMode(GL_MODELVIEW);

    const GLfloat white[4] = {1, 1, 1, 1};
    const GLfloat black[4] = {0, 0, 0, 1};
    glLightfv(GL_LIGHT1, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT1, GL_SPECULAR, white);
    glLightfv(GL_LIGHT1, GL_AMBIENT, black);

    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_DEPTH_TEST);

    glext::swapIntervalEXT = platform::glContextServices().setSwapInterval;

    log.write("Initialize Vertex Buffer Object extension... ");
    if (!glext::resolveBufferObjects())
        log.write("extension not supported ...VBO disable ...");
    log.done();

    log.write("Set swap interval ...");
    if (glext::swapIntervalEXT)
        glext::swapIntervalEXT(currentSettings.VSync ? 1 : 0);
    log.done();

    const float e = gammaExponent(currentSettings.Gamma);
    if (!currentSettings.DefGamma) {
        if (const auto setGamma = platform::glContextServices().setGamma) {
            const bool set = setGamma(e, e, e);
            // A ramp that is set but could not be read first still deserves its line.
            const std::string note = platform::takeFailureNote();
            if (!set || !note.empty())
                log.write(set ? "Gamma ramp set" : "Gamma ramp not set, the display keeps its ramp")
                    .write(note.empty() ? "" : " (" + note + ")")
                    .write("\n");
        }
    }
    return haveContext;
}
