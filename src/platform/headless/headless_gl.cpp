// Off-screen OpenGL on EGL. No window system is needed: Mesa's surfaceless platform renders into
// a framebuffer object, on llvmpipe when there is no GPU.
#define GL_GLEXT_PROTOTYPES 1
#include "platform/headless/headless_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

#include "platform/platform.h"

namespace platform {

namespace {

#ifndef EGL_PLATFORM_SURFACELESS_MESA
#define EGL_PLATFORM_SURFACELESS_MESA 0x31DD
#endif

// The services are plain functions, so whether the current context offers buffer objects is
// kept here; makeCurrent() sets it for the context it switches to.
bool gBufferObjects = true;

bool isBufferObjectEntry(const char* name)
{
    for (const char* entry : {"glGenBuffersARB", "glBindBufferARB", "glBufferDataARB", "glBufferSubDataARB"}) {
        if (std::strcmp(name, entry) == 0)
            return true;
    }
    return false;
}

void* headlessProcAddress(const char* name)
{
    if (!gBufferObjects && isBufferObjectEntry(name))
        return nullptr;
    return reinterpret_cast<void*>(eglGetProcAddress(name));
}

bool recordSwapInterval(int interval)
{
    HeadlessGlRecord& r = HeadlessGl::record();
    ++r.swapIntervalCalls;
    r.lastSwapInterval = interval;
    return true;
}

bool recordGamma(float red, float green, float blue)
{
    HeadlessGlRecord& r = HeadlessGl::record();
    ++r.gammaCalls;
    r.gamma[0] = red;
    r.gamma[1] = green;
    r.gamma[2] = blue;
    return true;
}

GlContextServices headlessServices()
{
    GlContextServices s;
    s.procAddress = headlessProcAddress;
    s.setSwapInterval = recordSwapInterval;
    s.setGamma = recordGamma;
    return s;
}

bool hasExtension(const char* list, const char* name)
{
    if (!list)
        return false;
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0'))
            return true;
    }
    return false;
}

// The display is initialised once and kept for the life of the process: terminating it would pull
// the ground from under any other context of the process.
EGLDisplay sharedDisplay()
{
    static EGLDisplay display = EGL_NO_DISPLAY;
    if (display != EGL_NO_DISPLAY)
        return display;

    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    EGLDisplay candidate = EGL_NO_DISPLAY;
    if (getPlatformDisplay && hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless"))
        candidate = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (candidate != EGL_NO_DISPLAY && !eglInitialize(candidate, nullptr, nullptr))
        candidate = EGL_NO_DISPLAY;
    if (candidate == EGL_NO_DISPLAY) {
        candidate = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (candidate != EGL_NO_DISPLAY && !eglInitialize(candidate, nullptr, nullptr))
            candidate = EGL_NO_DISPLAY;
    }
    display = candidate;
    return display;
}

}  // namespace

HeadlessGlRecord& HeadlessGl::record()
{
    static HeadlessGlRecord r;
    return r;
}

HeadlessGl::HeadlessGl() = default;

HeadlessGl::~HeadlessGl() { destroy(); }

bool HeadlessGl::create(int width, int height, bool bufferObjects)
{
    destroy();
    if (width <= 0 || height <= 0) {
        error_ = "bad framebuffer size";
        return false;
    }
    EGLDisplay display = sharedDisplay();
    if (display == EGL_NO_DISPLAY) {
        error_ = "no EGL display";
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        error_ = "desktop OpenGL not offered by EGL";
        return false;
    }
    const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, EGL_DONT_CARE,
                                       EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &count) || count < 1) {
        error_ = "no EGL config for desktop OpenGL";
        return false;
    }
    // The compatibility profile keeps the whole fixed-function 1.x interface.
    const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                        EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT)
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        error_ = "no EGL context";
        return false;
    }
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        eglDestroyContext(display, context);
        error_ = "EGL context cannot be made current without a surface";
        return false;
    }
    display_ = display;
    context_ = context;
    bufferObjects_ = bufferObjects;
    width_ = width;
    height_ = height;

    glGenFramebuffers(1, &framebuffer_);
    glGenRenderbuffers(1, &colourBuffer_);
    glGenRenderbuffers(1, &depthStencilBuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, colourBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, depthStencilBuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depthStencilBuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        destroy();
        error_ = "framebuffer incomplete";
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glViewport(0, 0, width, height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    gBufferObjects = bufferObjects_;
    setGlContextServices(headlessServices());
    error_ = "";
    return true;
}

void HeadlessGl::destroy()
{
    if (!context_)
        return;
    auto display = static_cast<EGLDisplay>(display_);
    auto context = static_cast<EGLContext>(context_);
    if (eglGetCurrentContext() != context)
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteRenderbuffers(1, &colourBuffer_);
    glDeleteRenderbuffers(1, &depthStencilBuffer_);
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context);
    setGlContextServices({});
    framebuffer_ = colourBuffer_ = depthStencilBuffer_ = 0;
    context_ = nullptr;
    display_ = nullptr;
    width_ = height_ = 0;
}

bool HeadlessGl::makeCurrent()
{
    if (!context_)
        return false;
    if (!eglMakeCurrent(static_cast<EGLDisplay>(display_), EGL_NO_SURFACE, EGL_NO_SURFACE,
                        static_cast<EGLContext>(context_)))
        return false;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gBufferObjects = bufferObjects_;
    setGlContextServices(headlessServices());
    return true;
}

std::vector<uint8_t> HeadlessGl::readPixels() const
{
    std::vector<uint8_t> pixels;
    if (!context_)
        return pixels;
    const size_t rowBytes = static_cast<size_t>(width_) * 4;
    pixels.resize(rowBytes * static_cast<size_t>(height_));
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    // GL hands rows bottom first; image files and tests want them top first.
    std::vector<uint8_t> row(rowBytes);
    for (int top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = pixels.data() + static_cast<size_t>(top) * rowBytes;
        uint8_t* b = pixels.data() + static_cast<size_t>(bottom) * rowBytes;
        std::memcpy(row.data(), a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, row.data(), rowBytes);
    }
    return pixels;
}

}  // namespace platform
