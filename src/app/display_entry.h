#pragma once

#include <cstdint>

struct DisplayRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// One display adapter found at start. Zero-filled before it is filled in; attached when monitor
// is not null.
struct DisplayEntry {
    char adapterName[128] = {};
    char monitorName[128] = {};
    void* monitor = nullptr;   // the platform's handle of the monitor covering bounds
    DisplayRect bounds;        // desktop coordinates before the run changes the mode
    void* window = nullptr;    // the window the run created for this display
};
