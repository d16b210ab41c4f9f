#include "render/render_state.h"

#include "render/draw_census.h"
#include "render/gl.h"

void setColour(const Vector3& c, float a) { glColor4f(c.x, c.y, c.z, a); }

void setColour3(const Vector3& c) { glColor3f(c.x, c.y, c.z); }

void setWhite() { glColor4f(1, 1, 1, 1); }

void setSpecular(const Vector3& c)
{
    const GLfloat v[4] = {c.x, c.y, c.z, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, v);
}

void setShininess(float s) { glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, s); }

void setAdditiveBlend() { glBlendFunc(GL_SRC_ALPHA, GL_ONE); }

void setAlphaBlend() { glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); }

namespace {

void setCapability(GLenum capability, bool on)
{
    if (on)
        glEnable(capability);
    else
        glDisable(capability);
}

}  // namespace

void setBlending(bool on) { setCapability(GL_BLEND, on); }

void setLighting(bool on) { setCapability(GL_LIGHTING, on); }

void setCulling(bool on) { setCapability(GL_CULL_FACE, on); }

void setDepthTest(bool on) { setCapability(GL_DEPTH_TEST, on); }

void setDepthWrite(bool on) { glDepthMask(on ? GL_TRUE : GL_FALSE); }

void setSphereMap(bool on)
{
    setCapability(GL_TEXTURE_GEN_S, on);
    setCapability(GL_TEXTURE_GEN_T, on);
    if (on) {
        glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    }
}

void selectMatrix(int which)
{
    switch (which) {
    case 0: glMatrixMode(GL_TEXTURE); break;
    case 1: glMatrixMode(GL_MODELVIEW); break;
    case 2: glMatrixMode(GL_PROJECTION); break;
    default: break;
    }
}

void loadIdentity() { glLoadIdentity(); }

void pushMatrix() { glPushMatrix(); }

void popMatrix() { glPopMatrix(); }

void translate(const Vector3& v) { glTranslatef(v.x, v.y, v.z); }

void rotate(const Vector3& axis, float degrees) { glRotatef(degrees, axis.x, axis.y, axis.z); }

void scaleUniform(float s) { glScalef(s, s, s); }

void scale(const Vector3& v) { glScalef(v.x, v.y, v.z); }

void callList(uint32_t list)
{
    glCallList(list);
    countDraw();
}

void beginOverlay2D()
{
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 800, 0, 600, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void endOverlay2D()
{
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_DEPTH_TEST);
}
