// Stop requests: a signal only raises a flag; the run's loop sees it and tears down in order.
#include <signal.h>

#include "platform/platform.h"

namespace platform {

namespace {

volatile sig_atomic_t gStop = 0;

void onStopSignal(int) { gStop = 1; }

}  // namespace

void installStopSignals()
{
    struct sigaction action{};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

bool stopRequested() { return gStop != 0; }

}  // namespace platform
