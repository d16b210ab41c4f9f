#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/headless/headless_gl.h"
#include "render/gl.h"
#include "render/gl_setup.h"

// Every GL test gets a fresh headless context of its own; a failure to make one fails the test.
class GlTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 64;
    static constexpr int kHeight = 64;

    void SetUp() override
    {
        ASSERT_TRUE(gl.create(kWidth, kHeight)) << gl.error();
        platform::HeadlessGl::record() = {};
    }

    GLint intState(GLenum name) const
    {
        GLint v = 0;
        glGetIntegerv(name, &v);
        return v;
    }

    // RGBA of pixel (x, y), y counted from the top.
    std::vector<uint8_t> pixelAt(const std::vector<uint8_t>& image, int x, int y) const
    {
        const size_t at = (static_cast<size_t>(y) * gl.width() + static_cast<size_t>(x)) * 4;
        return {image[at], image[at + 1], image[at + 2], image[at + 3]};
    }

    platform::HeadlessGl gl;
};

// The whole log written so far by this test program.
inline std::string logText()
{
    std::ifstream in("log.txt", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// While it lives, every buffer upload fails as on a driver out of memory: the buffer keeps no
// storage and GL reports GL_OUT_OF_MEMORY.
class RefusedBufferUploads {
public:
    RefusedBufferUploads() : real_(glext::glBufferDataARB) { realUpload() = real_, glext::glBufferDataARB = refuse; }
    ~RefusedBufferUploads() { glext::glBufferDataARB = real_; }

private:
    static PFNGLBUFFERDATAARBPROC& realUpload()
    {
        static PFNGLBUFFERDATAARBPROC real = nullptr;
        return real;
    }
    static void APIENTRY refuse(GLenum target, GLsizeiptrARB, const void*, GLenum usage)
    {
        realUpload()(target, GLsizeiptrARB(1) << 46, nullptr, usage);
    }
    PFNGLBUFFERDATAARBPROC real_;
};
