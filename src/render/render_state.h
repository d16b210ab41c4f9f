#pragma once

#include <cstdint>

#include "math/vector3.h"

// The small vocabulary every drawing step sets GL state with. Nothing is cached: each call goes
// straight to the current context. Render thread only.

// Colour and material; materials address front and back faces.
void setColour(const Vector3& c, float a);
void setColour3(const Vector3& c);  // alpha unchanged
void setWhite();
void setSpecular(const Vector3& c);  // alpha 1
void setShininess(float s);

// Blending, switches and depth.
void setAdditiveBlend();  // source alpha, one
void setAlphaBlend();     // source alpha, one minus source alpha
void setBlending(bool on);
void setLighting(bool on);
void setCulling(bool on);
void setDepthTest(bool on);
void setDepthWrite(bool on);
// On: sphere-map generation of S and T. Off: generation disabled, the mode left as it is.
void setSphereMap(bool on);

// 0 texture, 1 modelview, 2 projection; any other value leaves the matrix mode alone.
void selectMatrix(int which);
void loadIdentity();
void pushMatrix();
void popMatrix();
void translate(const Vector3& v);
void rotate(const Vector3& axis, float degrees);  // GL convention; axis need not be unit length
void scaleUniform(float s);
void scale(const Vector3& v);
// Calls a display list and counts it as one draw of the current frame part.
void callList(uint32_t list);

// The 2D overlay: an 800 x 600 box, origin bottom left, whatever the window size, depth test off.
// Between the two the current matrix is the modelview matrix; the pair must be balanced.
void beginOverlay2D();
void endOverlay2D();
