#pragma once

// The gamma-ramp arithmetic every platform shares: building the ramp from exponents, fitting it
// to a display's own ramp size and telling a usable ramp from a blank one.
#include <cstdint>

#include "platform/platform.h"

namespace platform {

// Channel of 256 entries stretched or squeezed to `size` entries by linear interpolation, so the
// first and last entries stay where they are.
void resampleChannel(const uint16_t* channel256, uint16_t* out, int size);

// A ramp a display could really have been using: it starts low, never falls and ends higher
// than it starts. An all-zero ramp (as a virtual server starts with) is not one.
bool usableChannel(const uint16_t* channel, int size);

}  // namespace platform
