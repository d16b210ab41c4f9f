// Monitor power saving (DPMS) for a test server that has none (Xvfb, Xorg's dummy driver): loaded
// into the run with LD_PRELOAD, it answers the run's DPMS calls itself. The timeouts come from
// VESICLAR_FAKE_DPMS_TIMEOUTS ("standby suspend off", in seconds); each level forced is appended to
// the file VESICLAR_FAKE_DPMS_LEVELS names, one a line.
#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

#include <cstdio>
#include <cstdlib>

namespace {

CARD16 gLevel = DPMSModeOn;

}  // namespace

extern "C" {

Bool DPMSQueryExtension(Display*, int* event, int* error)
{
    *event = 0;
    *error = 0;
    return True;
}

Status DPMSInfo(Display*, CARD16* level, BOOL* enabled)
{
    *level = gLevel;
    *enabled = True;
    return 1;
}

Status DPMSGetTimeouts(Display*, CARD16* standby, CARD16* suspend, CARD16* off)
{
    unsigned values[3] = {0, 0, 0};
    if (const char* text = std::getenv("VESICLAR_FAKE_DPMS_TIMEOUTS"))
        std::sscanf(text, "%u %u %u", &values[0], &values[1], &values[2]);
    *standby = static_cast<CARD16>(values[0]);
    *suspend = static_cast<CARD16>(values[1]);
    *off = static_cast<CARD16>(values[2]);
    return 1;
}

Status DPMSForceLevel(Display*, CARD16 level)
{
    gLevel = level;
    if (const char* path = std::getenv("VESICLAR_FAKE_DPMS_LEVELS")) {
        if (std::FILE* file = std::fopen(path, "a")) {
            std::fprintf(file, "%u\n", static_cast<unsigned>(level));
            std::fclose(file);
        }
    }
    return 1;
}

}  // extern "C"
