#pragma once

#include <cstdint>
#include <vector>

namespace platform {

// What the headless context's swap-interval and gamma services were asked to do.
struct HeadlessGlRecord {
    int swapIntervalCalls = 0;
    int lastSwapInterval = -1;  // -1 until set
    int gammaCalls = 0;
    float gamma[3] = {0, 0, 0};  // red, green, blue exponents of the last call
};

// An off-screen OpenGL compatibility context (every GL 1.x call works) on EGL, Mesa's surfaceless
// platform first, drawing into a framebuffer object of the requested size with RGBA8 colour, a
// 24-bit depth and an 8-bit stencil buffer. create() makes it current and installs its
// GlContextServices (entry points through eglGetProcAddress; swap interval and gamma are recorded
// in record(), since there is no display). One context at a time per thread.
class HeadlessGl {
public:
    HeadlessGl();
    virtual ~HeadlessGl();
    HeadlessGl(const HeadlessGl&) = delete;
    HeadlessGl& operator=(const HeadlessGl&) = delete;

    // False, with the reason in error(), when no EGL display, config, context or complete
    // framebuffer could be had; nothing is left current then. Without bufferObjects the
    // context's services deny the four ARB buffer-object entry points, as a driver lacking them.
    bool create(int width, int height, bool bufferObjects = true);
    void destroy();

    bool isValid() const { return context_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    const char* error() const { return error_; }

    // Makes the context current again (with its framebuffer bound) and reinstalls its services.
    bool makeCurrent();

    // Waits for the GL and returns the framebuffer as RGBA bytes, rows top first (image order);
    // empty when there is no context.
    std::vector<uint8_t> readPixels() const;

    // The services' record, shared by every headless context of the process.
    static HeadlessGlRecord& record();

private:
    void* display_ = nullptr;
    void* context_ = nullptr;
    unsigned framebuffer_ = 0;
    unsigned colourBuffer_ = 0;
    unsigned depthStencilBuffer_ = 0;
    bool bufferObjects_ = true;
    int width_ = 0;
    int height_ = 0;
    const char* error_ = "";
};

}  // namespace platform
