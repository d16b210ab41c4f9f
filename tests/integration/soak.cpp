// A long full-screen run under Xvfb with the music on, measured (not a test): resident memory every
// 10 s and its slope after the first scene-set cycle, CPU time per presented frame, frames/s per
// scene set. Usage: soak MINUTES [CSV]. `make soak MINUTES=60` runs it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <X11/extensions/Xdamage.h>
#include <time.h>

#include "x_session.h"

namespace {

double now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// Resident memory in MiB and CPU seconds (all threads) of a process.
bool sampleProcess(pid_t pid, double& rssMiB, double& cpuSeconds)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    bool haveRss = false;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            rssMiB = std::strtod(line.c_str() + 6, nullptr) / 1024.0;
            haveRss = true;
        }
    }
    std::ifstream statFile("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    const size_t close = stat.rfind(')');
    if (!haveRss || close == std::string::npos)
        return false;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15)  // utime, stime
            ticks += std::strtod(field.c_str(), nullptr);
    cpuSeconds = ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
    return true;
}

// The scene set of each "Load scene <...>" line the log gained since `seen` bytes.
std::vector<std::string> newSceneSets(const std::string& log, size_t& seen)
{
    std::vector<std::string> sets;
    const std::string marker = "Load scene <scenes\\";
    for (size_t at = log.find(marker, seen); at != std::string::npos; at = log.find(marker, at + 1)) {
        const size_t end = log.find('\\', at + marker.size());
        if (end == std::string::npos || log.find('\n', at) == std::string::npos)
            break;  // the line is still being written
        sets.push_back(log.substr(at + marker.size(), end - at - marker.size()));
        seen = at + 1;
    }
    return sets;
}

struct SetFigures {
    double seconds = 0;
    long frames = 0;
    int tracks = 0;
};

// Least-squares slope of y over x.
double slope(const std::vector<double>& x, const std::vector<double>& y)
{
    const double n = static_cast<double>(x.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double d = n * sxx - sx * sx;
    return d != 0 ? (n * sxy - sx * sy) / d : 0.0;
}

}  // namespace

int main(int argc, char** argv)
{
    const double minutes = argc > 1 ? std::strtod(argv[1], nullptr) : 60;
    const std::string csvPath = argc > 2 ? argv[2] : "";
    XServer server(800, 600);
    if (!server.ok()) {
        std::fprintf(stderr, "soak: Xvfb did not start\n");
        return 1;
    }
    Program program(server.name(), {"UseDesktop=0", "Width=800", "Height=600", "Depth=32", "EnableMusic=1",
                                    "Volume=40", "VSync=0"});
    if (!program.start({"/s"}) || !program.waitForLog("Starting main loop...", 120)) {
        std::fprintf(stderr, "soak: the run did not start\n%s\n", program.standardError().c_str());
        return 1;
    }
    Display* d = server.display();
    int damageEvent = 0, damageError = 0;
    if (!XDamageQueryExtension(d, &damageEvent, &damageError)) {
        std::fprintf(stderr, "soak: no DAMAGE extension\n");
        return 1;
    }
    const Damage damage = XDamageCreate(d, DefaultRootWindow(d), XDamageReportNonEmpty);
    XSync(d, False);

    std::FILE* csv = csvPath.empty() ? nullptr : std::fopen(csvPath.c_str(), "w");
    if (csv)
        std::fprintf(csv, "seconds,rss_mib,cpu_seconds,frames,set\n");
    size_t logSeen = 0;
    std::string set = "cells";
    for (const std::string& s : newSceneSets(program.log(), logSeen))
        set = s;  // the track the loading chose
    std::map<std::string, SetFigures> perSet;
    const double start = now();
    double setSince = start, nextSample = start, firstCycleEnd = -1;
    long frames = 0, setFramesAtStart = 0;
    double startCpu = 0, rss = 0, cpu = 0;
    sampleProcess(program.pid(), rss, startCpu);
    std::vector<double> sampleTimes, sampleRss;
    bool seenCore = false, seenDna = false;
    std::printf("soak: %.1f minutes, sampling every 10 s\n", minutes);
    while (now() - start < minutes * 60) {
        while (XPending(d)) {
            XEvent event;
            XNextEvent(d, &event);
            if (event.type == damageEvent + XDamageNotify) {
                ++frames;
                XDamageSubtract(d, damage, None, None);
            }
        }
        const double t = now();
        for (const std::string& next : newSceneSets(program.log(), logSeen)) {
            SetFigures& figures = perSet[set];
            figures.seconds += t - setSince;
            figures.frames += frames - setFramesAtStart;
            ++figures.tracks;
            seenCore = seenCore || next == "core";
            seenDna = seenDna || next == "dna";
            if (firstCycleEnd < 0 && seenCore && seenDna && next == "cells")
                firstCycleEnd = t - start;
            set = next;
            setSince = t;
            setFramesAtStart = frames;
        }
        if (t >= nextSample) {
            if (!program.running() || !sampleProcess(program.pid(), rss, cpu)) {
                std::fprintf(stderr, "soak: the run ended after %.0f s\n%s\n", t - start,
                             program.standardError().c_str());
                return 1;
            }
            sampleTimes.push_back(t - start);
            sampleRss.push_back(rss);
            if (csv)
                std::fprintf(csv, "%.1f,%.1f,%.2f,%ld,%s\n", t - start, rss, cpu - startCpu, frames, set.c_str());
            nextSample += 10;
        }
        sleepSeconds(0.005);
    }
    const double elapsed = now() - start;
    XDamageDestroy(d, damage);
    if (csv)
        std::fclose(csv);
    xdotool(server.name(), {"key", "space"});
    int status = -1;
    const bool ended = program.waitForExit(30, status);
    const std::string log = program.log();
    const bool clean = ended && status == 0 && log.size() >= 4 && log.compare(log.size() - 4, 4, "EXIT") == 0;

    std::vector<double> laterTimes, laterRss;
    for (size_t i = 0; i < sampleTimes.size(); ++i) {
        if (firstCycleEnd >= 0 && sampleTimes[i] >= firstCycleEnd) {
            laterTimes.push_back(sampleTimes[i] / 3600.0);
            laterRss.push_back(sampleRss[i]);
        }
    }
    std::printf("\n| figure | value |\n|---|---|\n");
    std::printf("| run | %.1f min, %zu samples of resident memory |\n", elapsed / 60, sampleRss.size());
    if (!sampleRss.empty())
        std::printf("| resident memory first / last | %.1f / %.1f MiB |\n", sampleRss.front(), sampleRss.back());
    if (laterRss.size() >= 2)
        std::printf("| resident memory slope after the first cycle (%.0f s) | %+.2f MiB/hour over %zu samples |\n",
                    firstCycleEnd, slope(laterTimes, laterRss), laterRss.size());
    else
        std::printf("| resident memory slope | no full cycle within the run |\n");
    std::printf("| frames presented | %ld, %.1f frames/s |\n", frames, frames / elapsed);
    if (frames > 0)
        std::printf("| CPU per frame (all threads) | %.1f ms |\n", (cpu - startCpu) * 1000 / frames);
    for (const auto& [name, figures] : perSet)
        if (figures.seconds > 0)
            std::printf("| %s set | %.1f frames/s over %d tracks, %.0f s |\n", name.c_str(),
                        figures.frames / figures.seconds, figures.tracks, figures.seconds);
    std::printf("| end | %s |\n", clean ? "clean, log ends with EXIT" : "NOT CLEAN");
    return clean ? 0 : 1;
}
