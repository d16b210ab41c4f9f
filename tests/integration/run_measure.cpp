// Whole-process timings of the windowed run under a private Xvfb: time from the start of the
// process to its first presented frame (the loading screen) and to the main loop, and presented
// frames per second, with the CPU time per frame of the whole process and of its main thread
// alone. Not a test: `build/bin/run_measure [seconds] [runs] [vsync]`.
#include <X11/extensions/Xdamage.h>
#include <sys/select.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <string>
#include <vector>

#include "x_session.h"

namespace {

double now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// Blocks until the next damage report or the deadline; true on a report.
bool nextDamage(Display* d, int damageEvent, Damage damage, double deadline)
{
    while (true) {
        while (XPending(d)) {
            XEvent event;
            XNextEvent(d, &event);
            if (event.type == damageEvent + XDamageNotify) {
                XDamageSubtract(d, damage, None, None);
                return true;
            }
        }
        const double left = deadline - now();
        if (left <= 0)
            return false;
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(ConnectionNumber(d), &fds);
        timeval tv{static_cast<time_t>(left), static_cast<suseconds_t>((left - static_cast<time_t>(left)) * 1e6)};
        select(ConnectionNumber(d) + 1, &fds, nullptr, nullptr, &tv);
    }
}

// User + system CPU seconds so far of a process (all its threads together), or of one of its
// threads when thread is given (the main thread's number is the process's).
double cpuSeconds(pid_t pid, pid_t thread = 0)
{
    const std::string path = "/proc/" + std::to_string(pid) + (thread ? "/task/" + std::to_string(thread) : "") + "/stat";
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return 0;
    char text[2048] = {};
    const size_t size = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    // Fields after the command name in parentheses; utime and stime are fields 14 and 15.
    const char* at = std::strrchr(text, ')');
    if (!at || size == 0)
        return 0;
    unsigned long utime = 0, stime = 0;
    std::sscanf(at + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const bool vsync = argc > 3 && std::strcmp(argv[3], "vsync") == 0;
    XServer server(800, 600);
    if (!server.ok()) {
        std::fprintf(stderr, "run_measure: Xvfb did not start\n");
        return 1;
    }
    Display* d = server.display();
    int damageEvent = 0, damageError = 0;
    if (!XDamageQueryExtension(d, &damageEvent, &damageError)) {
        std::fprintf(stderr, "run_measure: no DAMAGE extension\n");
        return 1;
    }
    std::vector<double> firstFrame, mainLoop, fps, cpuPerFrame, mainThreadPerFrame;
    for (int run = 0; run < runs; ++run) {
        Program program(server.name(), {"UseDesktop=0", "Width=800", "Height=600", "EnableMusic=0", vsync ? "VSync=1" : "VSync=0",
                                        "DefGamma=1", "ShowFPS=1", "ShowClock=1", "Detail=2"});
        const Damage damage = XDamageCreate(d, DefaultRootWindow(d), XDamageReportNonEmpty);
        // Whatever was reported before this run does not count.
        sleepSeconds(0.3);
        XSync(d, False);
        while (XPending(d)) {
            XEvent event;
            XNextEvent(d, &event);
        }
        XDamageSubtract(d, damage, None, None);
        XSync(d, False);
        const double start = now();
        program.start({"/s"});
        if (!nextDamage(d, damageEvent, damage, start + 120)) {
            std::fprintf(stderr, "run_measure: no frame within 120 s\n");
            return 1;
        }
        firstFrame.push_back(now() - start);
        if (!program.waitForLog("Starting main loop...", 120)) {
            std::fprintf(stderr, "run_measure: no main loop\n%s\n", program.log().c_str());
            return 1;
        }
        mainLoop.push_back(now() - start);
        sleepSeconds(1.0);  // past the first frames
        while (XPending(d)) {
            XEvent event;
            XNextEvent(d, &event);
        }
        XDamageSubtract(d, damage, None, None);
        int frames = 0;
        const double cpuFrom = cpuSeconds(program.pid());
        const double mainFrom = cpuSeconds(program.pid(), program.pid());
        const double from = now();
        while (nextDamage(d, damageEvent, damage, from + seconds))
            ++frames;
        fps.push_back(frames / seconds);
        cpuPerFrame.push_back(frames ? (cpuSeconds(program.pid()) - cpuFrom) * 1000.0 / frames : 0.0);
        mainThreadPerFrame.push_back(frames ? (cpuSeconds(program.pid(), program.pid()) - mainFrom) * 1000.0 / frames : 0.0);
        XDamageDestroy(d, damage);
        program.signal(15);
        int status = 0;
        program.waitForExit(10, status);
        std::printf("run %d: first frame %.3f s, main loop %.3f s, %.1f frames/s, %.1f ms CPU per frame, %.1f ms of it "
                    "on the main thread\n",
                    run + 1, firstFrame.back(), mainLoop.back(), fps.back(), cpuPerFrame.back(), mainThreadPerFrame.back());
    }
    std::printf("median of %d: first frame %.3f s, main loop %.3f s, %.1f frames/s, %.1f ms CPU per frame, %.1f ms "
                "on the main thread (800x600, VSync %s)\n",
                runs, median(firstFrame), median(mainLoop), median(fps), median(cpuPerFrame), median(mainThreadPerFrame),
                vsync ? "on" : "off");
    return 0;
}
