#include "math/random.h"

Random& Random::global()
{
    static Random generator;
    return generator;
}

Vector3 Random::direction()
{
    // Separate statements keep the draw order x, y, z.
    const float x = 20.0f * unit() - 10.0f;
    const float y = 20.0f * unit() - 10.0f;
    const float z = 20.0f * unit() - 10.0f;
    return normalise(Vector3(x, y, z));
}
