// Scene file text: any bytes must parse without reading outside them, and every key that comes out
// must carry finite numbers.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "assets/keyframes.h"

namespace {
bool finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
bool finite(const Quaternion& q) { return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    KeyframeTrack track;
    const size_t consumed = parseKeyframes(track, {data, size});
    if (consumed > size)
        std::abort();
    for (const auto& key : track) {
        if (!std::isfinite(key->time) || !finite(key->position) || !finite(key->gradient) || !finite(key->orientation))
            std::abort();
    }
    return 0;
}
