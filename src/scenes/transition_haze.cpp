#include "scenes/transition_haze.h"

#include <GL/gl.h>

#include <cmath>

#include "math/random.h"
#include "render/render_state.h"

void TransitionHaze::load()
{
    hazeTexture.load("textures\\cell.jpg");

    // The last two vertices swap their texture corners, so the texture shears and mirrors between
    // the strip's two triangles; coordinates -1..1 repeat it twice across.
    quadList = glGenLists(1);
    glNewList(quadList, GL_COMPILE);
    glBegin(GL_TRIANGLE_STRIP);
    glTexCoord2f(-1, -1);
    glVertex3f(-1, -1, 0);
    glTexCoord2f(-1, 1);
    glVertex3f(-1, 1, 0);
    glTexCoord2f(1, 1);
    glVertex3f(1, -1, 0);
    glTexCoord2f(1, -1);
    glVertex3f(1, 1, 0);
    glEnd();
    glEndList();
    glFinish();

    count = 6;
    layers.clear();
    for (int32_t i = 0; i < count; ++i) layers.push_back(randomDirection());
}

void TransitionHaze::update(float dt)
{
    offset -= 40.0f * dt;
    if (offset < 0) {
        // A frame longer than a layer's passage (a stall, a resume from sleep) drops its whole
        // layers at once: worked off one a frame, an hour's stall kept the stack behind the eye,
        // and the veil gone, for minutes.
        offset = spacing + std::fmod(offset, spacing);
        if (layers.empty()) return;
        // The nearest node becomes the farthest: moved, not reallocated.
        layers.splice(layers.begin(), layers, std::prev(layers.end()));
        layers.front() = randomDirection();
    }
}

void TransitionHaze::draw()
{
    setBlending(true);
    pushMatrix();
    loadIdentity();
    hazeTexture.bind();
    setAlphaBlend();
    setDepthTest(false);

    translate({0, 0, -offset - static_cast<float>(count) * spacing});
    int32_t i = 0;
    for (const Vector3& layer : layers) {
        setColour(colour, alpha);
        if (i == count - 1) setColour(colour, alpha * offset / spacing);
        if (i == 0) setColour(colour, alpha - alpha * offset / spacing);
        translate({0, 0, spacing});
        selectMatrix(0);
        loadIdentity();
        translate(layer);
        selectMatrix(1);
        pushMatrix();
        rotate({0, 0, 1}, layer.y * 1360.0f);
        scaleUniform(110.0f);
        callList(quadList);
        popMatrix();
        ++i;
    }

    setDepthTest(true);
    popMatrix();
    selectMatrix(0);
    loadIdentity();
    selectMatrix(1);
}
