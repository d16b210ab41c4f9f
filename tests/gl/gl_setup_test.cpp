#define GL_GLEXT_PROTOTYPES 1
#include <cmath>
#include <cstring>

#include "data/settings.h"
#include "gl_fixture.h"
#include "platform/platform.h"
#include "render/gl_setup.h"

namespace {

class InitGlTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        currentSettings = {};
        currentSettings.VSync = true;
        currentSettings.Gamma = 50;
        logStart = logText().size();
    }
    std::string newLog() const { return logText().substr(logStart); }

    size_t logStart = 0;
};

// The one entry point the doctored driver below lacks.
const char* gHiddenName = nullptr;

}  // namespace

TEST_F(InitGlTest, LogsTheDriverAndEachStepInOrder)
{
    EXPECT_TRUE(initGl());
    const std::string log = newLog();
    const char* lines[] = {"............... Initialize OpenGL ...............\n",
                           "Vendor: ",
                           "\nVideocard: ",
                           "\nOpenGL version ",
                           "\n\nSupported extension: ",
                           "\n\nInitialize Vertex Buffer Object extension... done\n",
                           "Set swap interval ...done\n"};
    size_t at = 0;
    for (const char* line : lines) {
        const size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\nlog:\n" << log;
        at = found + std::strlen(line);
    }
    EXPECT_NE(log.find("GL_ARB_vertex_buffer_object"), std::string::npos);
    EXPECT_TRUE(glext::vboAvailable);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(InitGlTest, LeavesTheStartState)
{
    initGl();
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_NORMALIZE));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(intState(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(intState(GL_BLEND_DST), GL_ONE);
    EXPECT_EQ(intState(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_EQ(intState(GL_LIGHT_MODEL_COLOR_CONTROL), GL_SEPARATE_SPECULAR_COLOR);
    EXPECT_EQ(intState(GL_LIGHT_MODEL_LOCAL_VIEWER), 0);
    EXPECT_EQ(intState(GL_LIGHT_MODEL_TWO_SIDE), 0);

    for (GLenum light : {GL_LIGHT0, GL_LIGHT1}) {
        GLfloat position[4], direction[3];
        glGetLightfv(light, GL_POSITION, position);
        glGetLightfv(light, GL_SPOT_DIRECTION, direction);
        EXPECT_EQ(position[0], 0.0f);
        EXPECT_EQ(position[2], 0.0f);
        EXPECT_EQ(position[3], 1.0f);
        EXPECT_EQ(direction[2], -1.0f);
    }
    GLfloat diffuse[4], specular[4], ambient[4];
    glGetLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    glGetLightfv(GL_LIGHT1, GL_SPECULAR, specular);
    glGetLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(diffuse[i], 1.0f);
        EXPECT_EQ(specular[i], 1.0f);
        EXPECT_EQ(ambient[i], i == 3 ? 1.0f : 0.0f);
    }

    // glFrustum(l, r, b, t, n, f): m[0] = 2n/(r-l), m[5] = 2n/(t-b), m[10] = -(f+n)/(f-n).
    GLfloat p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    EXPECT_NEAR(p[0], 1.2 / 1.33333, 1e-5);
    EXPECT_NEAR(p[5], 1.2, 1e-6);
    EXPECT_NEAR(p[10], -(1900.6 / 1899.4), 1e-6);
    EXPECT_NEAR(p[14], -(2 * 1900 * 0.6 / 1899.4), 1e-5);
    EXPECT_EQ(p[11], -1.0f);
    EXPECT_EQ(p[8], 0.0f);
}

TEST_F(InitGlTest, VSyncSetsTheSwapIntervalEitherWay)
{
    currentSettings.VSync = false;
    initGl();
    EXPECT_EQ(platform::HeadlessGl::record().swapIntervalCalls, 1);
    EXPECT_EQ(platform::HeadlessGl::record().lastSwapInterval, 0);

    currentSettings.VSync = true;
    initGl();
    EXPECT_EQ(platform::HeadlessGl::record().swapIntervalCalls, 2);
    EXPECT_EQ(platform::HeadlessGl::record().lastSwapInterval, 1);
}

TEST_F(InitGlTest, MissingSwapControlStillLogsDone)
{
    platform::GlContextServices services = platform::glContextServices();
    services.setSwapInterval = nullptr;
    platform::setGlContextServices(services);
    initGl();
    EXPECT_EQ(glext::swapIntervalEXT, nullptr);
    EXPECT_EQ(platform::HeadlessGl::record().swapIntervalCalls, 0);
    EXPECT_NE(newLog().find("Set swap interval ...done\n"), std::string::npos);
}

TEST_F(InitGlTest, OneMissingBufferEntryPointDisablesBufferObjects)
{
    static void* (*realProcAddress)(const char*) = nullptr;
    realProcAddress = platform::glContextServices().procAddress;
    ASSERT_NE(realProcAddress, nullptr);
    for (const char* hidden : {"glGenBuffersARB", "glBindBufferARB", "glBufferDataARB", "glBufferSubDataARB"}) {
        gHiddenName = hidden;
        platform::GlContextServices services = platform::glContextServices();
        services.procAddress = [](const char* name) -> void* {
            return std::strcmp(name, gHiddenName) == 0 ? nullptr : realProcAddress(name);
        };
        platform::setGlContextServices(services);
        const size_t before = logText().size();
        initGl();
        EXPECT_FALSE(glext::vboAvailable) << hidden;
        EXPECT_NE(logText().substr(before).find(
                      "Initialize Vertex Buffer Object extension... extension not supported ...VBO disable ...done\n"),
                  std::string::npos)
            << hidden;
    }
    gHiddenName = nullptr;
}

// What GLX answers for a driver without buffer objects: an entry point that does nothing.
void makesNoBuffers(GLsizei, GLuint*) {}

TEST_F(InitGlTest, BufferEntryPointsThatMakeNoBuffersDisableBufferObjects)
{
    static void* (*realProcAddress)(const char*) = nullptr;
    realProcAddress = platform::glContextServices().procAddress;
    platform::GlContextServices services = platform::glContextServices();
    services.procAddress = [](const char* name) -> void* {
        return std::strcmp(name, "glGenBuffersARB") == 0 ? reinterpret_cast<void*>(&makesNoBuffers)
                                                         : realProcAddress(name);
    };
    platform::setGlContextServices(services);
    initGl();
    EXPECT_FALSE(glext::vboAvailable);
    EXPECT_NE(newLog().find("Buffer Object extension... extension not supported ...VBO disable ...done\n"),
              std::string::npos)
        << newLog();
}

TEST(HeadlessContext, CanPlayADriverWithoutBufferObjects)
{
    platform::HeadlessGl gl;
    EXPECT_FALSE(gl.create(0, 16));
    EXPECT_FALSE(gl.isValid());
    ASSERT_TRUE(gl.create(16, 16, false)) << gl.error();
    currentSettings = {};
    const size_t before = logText().size();
    initGl();
    EXPECT_FALSE(glext::vboAvailable);
    EXPECT_EQ(glext::glGenBuffersARB, nullptr);
    EXPECT_NE(platform::glContextServices().procAddress("glGenLists"), nullptr);
    EXPECT_NE(logText().substr(before).find("extension not supported ...VBO disable ...done\n"), std::string::npos);

    gl.destroy();
    EXPECT_EQ(platform::glContextServices().procAddress, nullptr);  // services leave with the context
    ASSERT_TRUE(gl.create(16, 16)) << gl.error();
    initGl();
    EXPECT_TRUE(glext::vboAvailable);
}

TEST(InitGlWithoutContext, LogsEmptyStringsAndReportsIt)
{
    currentSettings = {};
    const size_t before = logText().size();
    EXPECT_FALSE(initGl());
    const std::string log = logText().substr(before);
    EXPECT_NE(log.find("Vendor: \nVideocard: \nOpenGL version \n"), std::string::npos) << log;
    EXPECT_FALSE(glext::vboAvailable);  // no services installed, so nothing resolves
    EXPECT_NE(log.find("Set swap interval ...done\n"), std::string::npos);
}

TEST_F(InitGlTest, GammaFollowsTheBrightnessUnlessDefault)
{
    currentSettings.DefGamma = true;
    currentSettings.Gamma = 0;
    initGl();
    EXPECT_EQ(platform::HeadlessGl::record().gammaCalls, 0);

    currentSettings.DefGamma = false;
    currentSettings.Gamma = 50;
    initGl();
    ASSERT_EQ(platform::HeadlessGl::record().gammaCalls, 1);
    for (float e : platform::HeadlessGl::record().gamma)
        EXPECT_EQ(e, 1.0f);

    currentSettings.Gamma = 100;
    initGl();
    EXPECT_EQ(platform::HeadlessGl::record().gamma[1], 0.5f);
}

TEST(GammaExponent, SpansOneAndAHalfToAHalf)
{
    EXPECT_EQ(gammaExponent(0), 1.5f);
    EXPECT_EQ(gammaExponent(50), 1.0f);
    EXPECT_EQ(gammaExponent(100), 0.5f);
    EXPECT_FLOAT_EQ(gammaExponent(75), 0.75f);
    // A damaged setting stays within the range instead of wrapping through unsigned arithmetic.
    EXPECT_EQ(gammaExponent(-1), 1.5f);
    EXPECT_EQ(gammaExponent(2000), 0.5f);
}

TEST_F(GlTest, HeadlessFramebufferHasDepthAndStencilAndReadsBackTopFirst)
{
    GLint depthBits = 0, stencilBits = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE,
                                          &depthBits);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT,
                                          GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE, &stencilBits);
    EXPECT_EQ(depthBits, 24);
    EXPECT_EQ(stencilBits, 8);

    // Red in the top half only: the first rows read back must be red.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, kHeight / 2, kWidth, kHeight / 2);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    const std::vector<uint8_t> image = gl.readPixels();
    ASSERT_EQ(image.size(), size_t(kWidth * kHeight * 4));
    EXPECT_EQ(pixelAt(image, 3, 2), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(pixelAt(image, 3, kHeight - 2), (std::vector<uint8_t>{0, 0, 0, 255}));
}
