#include "x_session.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xrandr.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

double now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int runCommand(const std::string& display, const std::vector<std::string>& arguments, std::string* output)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> argv;
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

void sleepSeconds(double seconds)
{
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - ts.tv_sec) * 1e9);
    nanosleep(&ts, nullptr);
}

namespace {

// Xorg's dummy driver with room for a desktop of several monitors; input devices are not wanted.
std::string dummyConfiguration(int width, int height)
{
    return "Section \"ServerFlags\"\n"
           "    Option \"AutoAddDevices\" \"false\"\n"
           "    Option \"AutoAddGPU\" \"false\"\n"
           "    Option \"DontVTSwitch\" \"true\"\n"
           "EndSection\n"
           "Section \"Device\"\n"
           "    Identifier \"card\"\n"
           "    Driver \"dummy\"\n"
           "    VideoRam 262144\n"
           "EndSection\n"
           "Section \"Monitor\"\n"
           "    Identifier \"monitor\"\n"
           "    HorizSync 5.0 - 1000.0\n"
           "    VertRefresh 5.0 - 200.0\n"
           "EndSection\n"
           "Section \"Screen\"\n"
           "    Identifier \"screen\"\n"
           "    Device \"card\"\n"
           "    Monitor \"monitor\"\n"
           "    DefaultDepth 24\n"
           "    SubSection \"Display\"\n"
           "        Depth 24\n"
           "        Modes \"" + std::to_string(width) + "x" + std::to_string(height) + "\"\n"
           "        Virtual 4096 4096\n"
           "    EndSubSection\n"
           "EndSection\n";
}

}  // namespace

XServer::XServer(int width, int height, XServerKind kind)
{
    std::string config, log;
    if (kind == XServerKind::XorgDummy) {
        char pattern[] = "/tmp/vesiclar-xorg-XXXXXX";
        if (!mkdtemp(pattern))
            return;
        folder_ = pattern;
        config = folder_ + "/xorg.conf";
        log = folder_ + "/xorg.log";
        std::ofstream(config) << dummyConfiguration(width, height);
    }
    if (kind == XServerKind::Xephyr) {
        // Room for the nested screen either way round.
        host_ = std::make_unique<XServer>(std::max(width, height), std::max(width, height));
        if (!host_->ok())
            return;
    }
    int fds[2];
    if (pipe(fds) != 0)
        return;
    pid_ = fork();
    if (pid_ == 0) {
        close(fds[0]);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        const std::string depth = kind == XServerKind::Xvfb16 ? "x16" : "x24";
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + depth;
        const std::string fd = std::to_string(fds[1]);
        if (kind == XServerKind::Xephyr)
            execlp("Xephyr", "Xephyr", "-displayfd", fd.c_str(), "-screen", (std::to_string(width) + "x" +
                   std::to_string(height)).c_str(), "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        else if (kind == XServerKind::XorgDummy)
            execlp("Xorg", "Xorg", "-displayfd", fd.c_str(), "-config", config.c_str(), "-logfile", log.c_str(),
                   "-nolisten", "tcp", "-noreset", "-novtswitch", static_cast<char*>(nullptr));
        else if (kind == XServerKind::Xvfb16)
            // Composite would add a 32-bit visual beside the 16-bit ones.
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                   "-noreset", "-extension", "Composite", static_cast<char*>(nullptr));
        else if (kind == XServerKind::XvfbIndirect)
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                   "-noreset", "+iglx", static_cast<char*>(nullptr));
        else if (kind == XServerKind::XvfbTwoScreens)
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-screen", "1",
                   screen.c_str(), "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        else
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty())
        return;
    name_ = ":" + number;
    setenv("DISPLAY", name_.c_str(), 1);
    display_ = XOpenDisplay(name_.c_str());
}

XServer::~XServer()
{
    if (display_)
        XCloseDisplay(display_);
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

void XServer::kill()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    display_ = nullptr;
}

WaylandDesktop::WaylandDesktop(int width, int height, const XServer* host)
{
    char pattern[] = "/tmp/vesiclar-wayland-XXXXXX";
    if (!mkdtemp(pattern))
        return;
    folder_ = pattern;  // also the session's $XDG_RUNTIME_DIR, which must be the user's alone
    const std::string log = folder_ + "/weston.log";
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);  // Weston, its shell's helpers and XWayland end together
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
        if (host)
            setenv("DISPLAY", host->name().c_str(), 1);
        else
            unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        const std::string size[] = {"--width=" + std::to_string(width), "--height=" + std::to_string(height)};
        execlp("weston", "weston", host ? "--backend=x11-backend.so" : "--backend=headless-backend.so", "--use-pixman", size[0].c_str(), size[1].c_str(),
               "--xwayland", "--socket=wayland-vesiclar", "--no-config", ("--log=" + log).c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    // Weston says which X display it listens on; XWayland itself starts with the first client.
    const std::string said = "xserver listening on display ";
    for (int i = 0; i < 300 && name_.empty(); ++i) {
        const std::string text = readFile(log);
        const size_t at = text.find(said);
        const size_t end = at == std::string::npos ? at : text.find('\n', at);
        if (end != std::string::npos)
            name_ = text.substr(at + said.size(), end - at - said.size());
        else
            sleepSeconds(0.05);
    }
    if (name_.empty())
        return;
    environment_ = {"WAYLAND_DISPLAY=wayland-vesiclar", "XDG_RUNTIME_DIR=" + folder_};
    display_ = XOpenDisplay(name_.c_str());
}

WaylandDesktop::~WaylandDesktop()
{
    if (display_)
        XCloseDisplay(display_);
    if (pid_ > 0) {
        ::kill(-pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

std::vector<pid_t> guardianProcesses(const std::string& display)
{
    std::vector<pid_t> found;
    const std::string wanted = "DISPLAY=" + display;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ignored)) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string command = readFile("/proc/" + pid + "/cmdline");
        std::replace(command.begin(), command.end(), '\0', ' ');
        if (command.find(" --display-guardian") == std::string::npos)
            continue;
        std::string environment = readFile("/proc/" + pid + "/environ");
        for (size_t at = 0; at < environment.size();) {
            const size_t end = std::min(environment.find('\0', at), environment.size());
            if (environment.compare(at, end - at, wanted) == 0) {
                found.push_back(static_cast<pid_t>(std::stol(pid)));
                break;
            }
            at = end + 1;
        }
    }
    return found;
}

Program::Program(const std::string& display, const std::vector<std::string>& settings) : display_(display)
{
    char pattern[] = "/tmp/vesiclar-it-XXXXXX";
    folder_ = mkdtemp(pattern);
    mkdir((folder_ + "/tmp").c_str(), 0700);
    mkdir((folder_ + "/config").c_str(), 0700);
    mkdir((folder_ + "/config/vesiclar").c_str(), 0700);
    std::ofstream ini(folder_ + "/config/vesiclar/settings.ini");
    for (const std::string& line : settings)
        ini << line << "\n";
}

Program::~Program()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

bool Program::start(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment)
{
    pid_ = fork();
    if (pid_ == 0) {
        if (display_.empty())
            unsetenv("DISPLAY");
        else
            setenv("DISPLAY", display_.c_str(), 1);
        setenv("TMPDIR", (folder_ + "/tmp").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (folder_ + "/config").c_str(), 1);
        unsetenv("XSCREENSAVER_WINDOW");
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        for (const std::string& entry : extraEnvironment)
            putenv(const_cast<char*>(entry.c_str()));
        const int err = open((folder_ + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(VESICLAR_BINARY)};
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(VESICLAR_BINARY, argv.data());
        _exit(127);
    }
    return pid_ > 0;
}

bool Program::reap(int options)
{
    if (pid_ <= 0)
        return exited_;
    int raw = 0;
    if (waitpid(pid_, &raw, options) != pid_)
        return false;
    pid_ = -1;
    exited_ = true;
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return true;
}

bool Program::running() { return !reap(WNOHANG); }

bool Program::waitForLog(const std::string& text, double seconds)
{
    const double end = now() + seconds;
    while (now() < end) {
        if (log().find(text) != std::string::npos)
            return true;
        if (!running())
            return log().find(text) != std::string::npos;
        sleepSeconds(0.05);
    }
    return false;
}

bool Program::waitForExit(double seconds, int& status)
{
    const double end = now() + seconds;
    while (!reap(WNOHANG)) {
        if (now() >= end) {
            kill(pid_, SIGKILL);
            reap(0);
            return false;
        }
        sleepSeconds(0.01);
    }
    status = status_;
    return true;
}

void Program::signal(int number)
{
    if (pid_ > 0)
        kill(pid_, number);
}

std::string Program::log() const { return readFile(folder_ + "/tmp/log.txt"); }
std::vector<std::string> Program::temporaryFiles() const
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder_ + "/tmp", ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Program::standardError() const { return readFile(folder_ + "/stderr.txt"); }

bool xdotool(const std::string& display, const std::vector<std::string>& arguments)
{
    std::vector<std::string> command{"xdotool"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runCommand(display, command, nullptr) == 0;
}

std::string commandOutput(const std::string& display, const std::vector<std::string>& arguments)
{
    std::string output;
    runCommand(display, arguments, &output);
    return output;
}

int countDamage(Display* display, Window window, double seconds, int enough)
{
    int eventBase = 0, errorBase = 0;
    if (!XDamageQueryExtension(display, &eventBase, &errorBase))
        return -1;
    const Damage damage = XDamageCreate(display, window, XDamageReportNonEmpty);
    XSync(display, False);
    int count = 0;
    const double end = now() + seconds;
    while (count < enough && now() < end) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == eventBase + XDamageNotify) {
                ++count;
                XDamageSubtract(display, damage, None, None);
            }
        }
        sleepSeconds(0.002);
    }
    XDamageDestroy(display, damage);
    XSync(display, False);
    return count;
}

std::vector<uint16_t> readRedGamma(Display* display)
{
    std::vector<uint16_t> red;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    if (!resources)
        return red;
    if (resources->ncrtc > 0) {
        if (XRRCrtcGamma* gamma = XRRGetCrtcGamma(display, resources->crtcs[0])) {
            red.assign(gamma->red, gamma->red + gamma->size);
            XRRFreeGamma(gamma);
        }
    }
    XRRFreeScreenResources(resources);
    return red;
}

void writeBlankGamma(Display* display) { writeGamma(display, -1.0); }

void writeGamma(Display* display, double exponent)
{
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    if (!resources)
        return;
    for (int i = 0; i < resources->ncrtc; ++i) {
        const int size = XRRGetCrtcGammaSize(display, resources->crtcs[i]);
        if (size <= 0)
            continue;
        XRRCrtcGamma* gamma = XRRAllocGamma(size);
        for (int k = 0; k < size; ++k) {
            const auto value = exponent < 0
                                   ? uint16_t{0}
                                   : static_cast<uint16_t>(std::pow(static_cast<double>(k) / size, exponent) * 65535.0);
            gamma->red[k] = gamma->green[k] = gamma->blue[k] = value;
        }
        XRRSetCrtcGamma(display, resources->crtcs[i], gamma);
        XRRFreeGamma(gamma);
    }
    XRRFreeScreenResources(resources);
    XSync(display, False);
}

bool crtcSize(Display* display, int& width, int& height)
{
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    if (!resources)
        return false;
    bool found = false;
    if (resources->ncrtc > 0) {
        if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, resources->crtcs[0])) {
            width = static_cast<int>(crtc->width);
            height = static_cast<int>(crtc->height);
            found = crtc->mode != 0;
            XRRFreeCrtcInfo(crtc);
        }
    }
    XRRFreeScreenResources(resources);
    return found;
}

std::vector<Window> windowsNamed(Display* display, const std::string& name)
{
    std::vector<Window> found;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return found;
    for (unsigned i = 0; i < count; ++i) {
        char* title = nullptr;
        if (XFetchName(display, children[i], &title) && title) {
            if (name == title)
                found.push_back(children[i]);
            XFree(title);
        }
    }
    if (children)
        XFree(children);
    return found;
}

WindowGeometry windowGeometry(Display* display, Window window)
{
    WindowGeometry geometry;
    XWindowAttributes attributes{};
    Window child = 0;
    if (!XGetWindowAttributes(display, window, &attributes) ||
        !XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &geometry.x, &geometry.y, &child))
        return {};
    geometry.width = attributes.width;
    geometry.height = attributes.height;
    return geometry;
}

std::vector<uint32_t> windowPixels(Display* display, Window window, int& width, int& height)
{
    std::vector<uint32_t> pixels;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes))
        return pixels;
    width = attributes.width;
    height = attributes.height;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (!image)
        return pixels;
    pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[static_cast<size_t>(y) * width + x] = static_cast<uint32_t>(XGetPixel(image, x, y) & 0xffffff);
    XDestroyImage(image);
    return pixels;
}
