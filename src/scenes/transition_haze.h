#pragma once

#include <cstdint>
#include <list>

#include "assets/texture.h"
#include "math/vector3.h"

// The veil of textured layers that rushes towards the viewer at the start of core and DNA tracks:
// six screen-filling layers of the cell texture, each shifted and turned at random. The nearest
// fades out as it reaches the eye and comes back as the farthest, fading in.
class TransitionHaze {
public:
    TransitionHaze() = default;
    virtual ~TransitionHaze() = default;

    // Texture, quad list and the six layers; GL context current.
    void load();
    // Moves the stack 40 units per second; recycles at most one layer per call, without allocating.
    void update(float dt);
    // In eye space; colour and alpha set by the caller, lighting off.
    void draw();

    std::list<Vector3> layers;  // front = farthest
    float offset = 10;          // distance still to go before the nearest layer is recycled
    float spacing = 10;
    float alpha = 0.4f;
    int32_t count = 0;
    Vector3 colour;
    uint32_t quadList = 0;
    Texture hazeTexture;
};
