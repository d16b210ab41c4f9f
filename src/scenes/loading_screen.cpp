#include "scenes/loading_screen.h"

#include <GL/gl.h>

#include "assets/texture.h"
#include "render/render_state.h"

namespace {

// Bottom right, bottom left, top left, top right; only the first has a picture in it.
constexpr char kCornerNames[4][16] = {"4loader_rd.tga", "4loader_ld.tga", "4loader_lu.tga", "4loader_ru.tga"};
constexpr int kLoaderResource = 125;
constexpr int kFirstCornerResource = 119;

struct LoadingScreen {
    uint32_t quadList = 0;
    Texture loaderTexture;
    Texture cornerTextures[4];
};

LoadingScreen& screen()
{
    static LoadingScreen instance;
    return instance;
}

}  // namespace

OverlayRect loadingCornerRect(int corner, double width, double height)
{
    const double w = 256.0 / width, h = 128.0 / height;
    const double ex = (1 - w) * 800, ey = (1 - h) * 600;
    const double x0 = (corner == 0 || corner == 3) ? ex : 0;
    const double y0 = (corner == 2 || corner == 3) ? ey : 0;
    return {x0, y0, x0 + w * 800, y0 + h * 600};
}

void prepareLoadingScreen()
{
    LoadingScreen& s = screen();
    s.quadList = glGenLists(1);
    glNewList(s.quadList, GL_COMPILE);
    glBegin(GL_TRIANGLE_STRIP);
    glTexCoord2f(0, 0);
    glVertex3f(-1, -1, 0);
    glTexCoord2f(0, 1);
    glVertex3f(-1, 1, 0);
    glTexCoord2f(1, 0);
    glVertex3f(1, -1, 0);
    glTexCoord2f(1, 1);
    glVertex3f(1, 1, 0);
    glEnd();
    glEndList();
    glFinish();

    s.loaderTexture.load("textures\\loader.jpg", true, kLoaderResource);
    for (int i = 0; i < 4; ++i) s.cornerTextures[i].load(kCornerNames[i], true, kFirstCornerResource + i);
}

void showLoadingScreen(PresentFrame present)
{
    LoadingScreen& s = screen();
    // The pixel size of what is drawn into: the corner images keep 256 x 128 pixels whatever it is.
    GLint viewport[4] = {0, 0, 800, 600};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const double width = viewport[2] > 0 ? viewport[2] : 800;
    const double height = viewport[3] > 0 ? viewport[3] : 600;

    setLighting(false);
    beginOverlay2D();
    setWhite();
    s.loaderTexture.bind();
    translate({400, 300, 0});
    scale({400, 300, 1});
    glCallList(s.quadList);

    for (int i = 0; i < 4; ++i) {
        loadIdentity();
        setBlending(true);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_ALWAYS, 0);
        setAlphaBlend();
        s.cornerTextures[i].bind();
        setWhite();

        const OverlayRect r = loadingCornerRect(i, width, height);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2d(r.x0, r.y0);
        glTexCoord2f(0, 1);
        glVertex2d(r.x0, r.y1);
        glTexCoord2f(1, 1);
        glVertex2d(r.x1, r.y1);
        glTexCoord2f(1, 0);
        glVertex2d(r.x1, r.y0);
        glEnd();
    }

    setLighting(true);
    glFinish();
    endOverlay2D();
    if (present) present();
}
