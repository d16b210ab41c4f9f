// The display guardian: a second process that puts the display mode and the gamma ramps back if the
// full-screen run dies with them changed (a crash, SIGKILL, the OOM killer), when no code of the
// run can do it any more.
//
// It is this program started again (posix_spawn of /proc/self/exe with kDisplayGuardianOption),
// not a fork: by the time the ramps change, SDL, Mesa and the audio engine have threads, and a
// forked copy of a threaded process may only call async-signal-safe functions, which Xlib is not.
// A fresh process has its own X connection and none of the run's state.
//
// The two talk over a socket pair. The run sends what it will put back before each change and
// waits for the guardian's acknowledgement; after putting it back it says so. When the run's end
// of the socket closes (however the run ended), the guardian puts back whatever is still changed
// and exits; after a clean end there is nothing left and it exits at once.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/linux/linux_internal.h"
#include "platform/platform.h"

extern char** environ;

namespace platform {

namespace {

using linux_detail::SavedMode;
using linux_detail::SavedRamp;

// The guardian's end of the socket pair, placed there by the spawn.
constexpr int kGuardianSocket = 3;
// How long the run waits for the guardian to start and take a message.
constexpr int kAckTimeoutMs = 5000;

enum Message : uint8_t {
    kGuardMode = 'M',
    kReleaseMode = 'm',
    kGuardRamps = 'G',
    kReleaseRamps = 'g',
};

// ---- Wire format: a type byte, a 32-bit length, then 64-bit numbers and 16-bit ramp entries ----

class Writer {
public:
    explicit Writer(Message type) : bytes_(5, 0) { bytes_[0] = type; }
    void number(uint64_t value) { append(&value, sizeof value); }
    void entries(const std::vector<uint16_t>& values) { append(values.data(), values.size() * sizeof(uint16_t)); }
    const std::vector<uint8_t>& finish()
    {
        const uint32_t length = static_cast<uint32_t>(bytes_.size() - 5);
        std::memcpy(bytes_.data() + 1, &length, sizeof length);
        return bytes_;
    }

private:
    void append(const void* data, size_t size)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    std::vector<uint8_t> bytes_;
};

class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    bool number(uint64_t& value) { return take(&value, sizeof value); }
    bool entries(std::vector<uint16_t>& values, uint64_t count)
    {
        if (count > (bytes_.size() - at_) / sizeof(uint16_t))
            return false;
        values.resize(count);
        return take(values.data(), count * sizeof(uint16_t));
    }
    bool done() const { return at_ == bytes_.size(); }

private:
    bool take(void* out, size_t size)
    {
        if (size > bytes_.size() - at_)
            return false;
        std::memcpy(out, bytes_.data() + at_, size);
        at_ += size;
        return true;
    }
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
};

const std::vector<uint8_t>& encode(Writer& out, const SavedMode& mode)
{
    out.number(mode.crtc);
    out.number(mode.mode);
    out.number(static_cast<uint64_t>(static_cast<int64_t>(mode.x)));
    out.number(static_cast<uint64_t>(static_cast<int64_t>(mode.y)));
    out.number(mode.rotation);
    out.number(mode.screenGrown);
    for (int value : {mode.screen.width, mode.screen.height, mode.screen.widthMM, mode.screen.heightMM})
        out.number(static_cast<uint64_t>(value));
    out.number(mode.outputs.size());
    for (RROutput output : mode.outputs)
        out.number(output);
    return out.finish();
}

bool decode(const std::vector<uint8_t>& bytes, SavedMode& mode)
{
    Reader in(bytes);
    uint64_t crtc = 0, id = 0, x = 0, y = 0, rotation = 0, grown = 0, screen[4] = {}, count = 0;
    if (!in.number(crtc) || !in.number(id) || !in.number(x) || !in.number(y) || !in.number(rotation) ||
        !in.number(grown) || !in.number(screen[0]) || !in.number(screen[1]) || !in.number(screen[2]) ||
        !in.number(screen[3]) || !in.number(count) || count > bytes.size())
        return false;
    mode.screenGrown = grown != 0;
    mode.screen = {static_cast<int>(screen[0]), static_cast<int>(screen[1]), static_cast<int>(screen[2]),
                   static_cast<int>(screen[3])};
    mode.crtc = crtc;
    mode.mode = id;
    mode.x = static_cast<int>(static_cast<int64_t>(x));
    mode.y = static_cast<int>(static_cast<int64_t>(y));
    mode.rotation = static_cast<Rotation>(rotation);
    mode.outputs.clear();
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t output = 0;
        if (!in.number(output))
            return false;
        mode.outputs.push_back(output);
    }
    return in.done();
}

const std::vector<uint8_t>& encode(Writer& out, const std::vector<SavedRamp>& ramps)
{
    out.number(ramps.size());
    for (const SavedRamp& ramp : ramps) {
        out.number(ramp.crtc);
        out.number(static_cast<uint64_t>(ramp.size));
        out.entries(ramp.red);
        out.entries(ramp.green);
        out.entries(ramp.blue);
    }
    return out.finish();
}

bool decode(const std::vector<uint8_t>& bytes, std::vector<SavedRamp>& ramps)
{
    Reader in(bytes);
    uint64_t count = 0;
    if (!in.number(count) || count > bytes.size())
        return false;
    ramps.assign(count, SavedRamp{});
    for (SavedRamp& ramp : ramps) {
        uint64_t crtc = 0, size = 0;
        if (!in.number(crtc) || !in.number(size) || size == 0 || size > bytes.size())
            return false;
        ramp.crtc = crtc;
        ramp.size = static_cast<int>(size);
        if (!in.entries(ramp.red, size) || !in.entries(ramp.green, size) || !in.entries(ramp.blue, size))
            return false;
    }
    return in.done();
}

bool sendAll(int fd, const uint8_t* data, size_t size)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool receiveAll(int fd, uint8_t* data, size_t size)
{
    while (size > 0) {
        const ssize_t got = ::recv(fd, data, size, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

// ---- The run's side ----------------------------------------------------------------------------

int gSocket = -1;
pid_t gGuardian = -1;
bool gGaveUp = false;  // a guardian that failed once is not tried again

void abandonGuardian()
{
    if (gGuardian > 0) {
        // It may hold a change the run has not made: it must not put anything back.
        ::kill(gGuardian, SIGKILL);
        pid_t reaped = -1;
        do {
            reaped = ::waitpid(gGuardian, nullptr, 0);
        } while (reaped < 0 && errno == EINTR);
    }
    if (gSocket >= 0)
        ::close(gSocket);
    gSocket = -1;
    gGuardian = -1;
    gGaveUp = true;
}

bool startGuardian()
{
    if (gSocket >= 0)
        return true;
    if (gGaveUp)
        return false;
    gGaveUp = true;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    // dup2 onto its own number would keep close-on-exec set: keep the child's end off 3.
    if (ends[1] == kGuardianSocket) {
        const int moved = ::fcntl(ends[1], F_DUPFD_CLOEXEC, kGuardianSocket + 1);
        ::close(ends[1]);
        ends[1] = moved;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (ends[1] >= 0)
        posix_spawn_file_actions_adddup2(&actions, ends[1], kGuardianSocket);
    // Its own process group, so a Ctrl-C meant for the run does not take the guardian with it;
    // no signal blocked or ignored from the run.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD})
        sigaddset(&defaults, signal);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char name[] = "vesiclar";
    char option[64];
    std::strncpy(option, kDisplayGuardianOption, sizeof option - 1);
    option[sizeof option - 1] = '\0';
    char* argv[] = {name, option, nullptr};
    pid_t pid = -1;
    const int spawned =
        ends[1] >= 0 ? posix_spawn(&pid, "/proc/self/exe", &actions, &attributes, argv, environ) : EBADF;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (ends[1] >= 0)
        ::close(ends[1]);
    if (spawned != 0) {
        ::close(ends[0]);
        return false;
    }
    gSocket = ends[0];
    gGuardian = pid;
    gGaveUp = false;
    return true;
}

// Sends one message; with `acknowledged`, returns once the guardian has taken it.
bool send(const std::vector<uint8_t>& message, bool acknowledged)
{
    if (gSocket < 0)
        return false;
    if (!sendAll(gSocket, message.data(), message.size())) {
        abandonGuardian();
        return false;
    }
    if (!acknowledged)
        return true;
    pollfd wait{gSocket, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&wait, 1, kAckTimeoutMs);
    } while (ready < 0 && errno == EINTR);
    uint8_t ack = 0;
    if (ready != 1 || !receiveAll(gSocket, &ack, 1) || ack != message[0]) {
        abandonGuardian();
        return false;
    }
    return true;
}

// ---- The guardian's side -----------------------------------------------------------------------

int quietExit(Display*)
{
    // The X server went away: there is nothing left to put back.
    ::_exit(0);
}

int ignoreXError(Display*, XErrorEvent*) { return 0; }

}  // namespace

namespace linux_detail {

bool guardMode(const SavedMode& mode)
{
    if (!startGuardian())
        return false;
    Writer out(kGuardMode);
    return send(encode(out, mode), true);
}

bool guardRamps(const std::vector<SavedRamp>& ramps)
{
    if (!startGuardian())
        return false;
    Writer out(kGuardRamps);
    return send(encode(out, ramps), true);
}

void releaseMode()
{
    Writer out(kReleaseMode);
    send(out.finish(), false);
}

void releaseRamps()
{
    Writer out(kReleaseRamps);
    send(out.finish(), false);
}

}  // namespace linux_detail

int runDisplayGuardian()
{
    // Only the run's end of the socket closing ends the guardian; until then nothing else may.
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        ::signal(signal, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
    ::closefrom(kGuardianSocket + 1);
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 1;
    XSetIOErrorHandler(quietExit);
    XSetErrorHandler(ignoreXError);

    bool modeHeld = false, rampsHeld = false;
    SavedMode mode;
    std::vector<SavedRamp> ramps;
    for (;;) {
        uint8_t header[5];
        if (!receiveAll(kGuardianSocket, header, sizeof header))
            break;
        uint32_t length = 0;
        std::memcpy(&length, header + 1, sizeof length);
        std::vector<uint8_t> body(length);
        if (!receiveAll(kGuardianSocket, body.data(), body.size()))
            break;  // cut short: the change it announced was never made
        bool understood = true;
        switch (header[0]) {
        case kGuardMode:
            understood = modeHeld = decode(body, mode);
            break;
        case kGuardRamps:
            understood = rampsHeld = decode(body, ramps);
            break;
        case kReleaseMode:
            modeHeld = false;
            continue;
        case kReleaseRamps:
            rampsHeld = false;
            continue;
        default:
            understood = false;
            break;
        }
        if (!understood) {
            // Not from this program's run: leave the display alone rather than guess.
            XCloseDisplay(display);
            return 1;
        }
        if (!sendAll(kGuardianSocket, header, 1))
            break;
    }
    // In the run's own teardown order: the ramps, then the mode.
    if (rampsHeld)
        linux_detail::putBackRamps(display, ramps);
    if (modeHeld)
        linux_detail::putBackMode(display, mode);
    XCloseDisplay(display);
    return 0;
}

}  // namespace platform
