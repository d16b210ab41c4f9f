// Time, folders, dynamic libraries, message boxes and the web: the small POSIX services.
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/linux/linux_internal.h"
#include "platform/platform.h"
#include "platform/platform_common.h"

namespace platform {

uint64_t counterTicks()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t counterFrequency() { return 1000000000u; }

LocalTime localTime()
{
    if (LocalTime fixed; fixedLocalTime(fixed))
        return fixed;
    const time_t now = time(nullptr);
    // localtime_r keeps the zone it read first, and a run may outlast it (travel, a new zone set
    // in the desktop): the zone is read again once a second, when the clock text can change.
    static time_t zoneReadAt = 0;
    if (now != zoneReadAt) {
        tzset();
        zoneReadAt = now;
    }
    tm parts{};
    localtime_r(&now, &parts);
    return {parts.tm_hour, parts.tm_min, parts.tm_sec};
}

namespace {

const std::string gStartDirectory = [] {
    char* cwd = getcwd(nullptr, 0);
    const std::string path = cwd ? cwd : "";
    std::free(cwd);
    return path;
}();

// A folder is private enough when it is ours and nobody else may write into it.
bool isPrivateFolder(const std::string& path)
{
    struct stat st{};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return st.st_uid == getuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string withSlash(std::string path)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

}  // namespace

std::string linux_detail::fromStartDirectory(const std::string& path)
{
    if (path.empty() || path[0] == '/' || gStartDirectory.empty())
        return path;
    // Without the ".." of the way there, as a message naming the folder should show it.
    std::error_code ignored;
    const std::filesystem::path joined = std::filesystem::path(gStartDirectory) / path;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(joined, ignored);
    return (resolved.empty() ? joined : resolved).string();
}

std::string tempDirectory()
{
    for (const char* name : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
        const char* value = std::getenv(name);
        const std::string folder = linux_detail::fromStartDirectory(value ? value : "");
        if (isPrivateFolder(folder))
            return withSlash(folder);
    }
    // A shared folder such as /tmp would let another user plant log.txt as a link, so make our own.
    const std::string own = "/tmp/vesiclar-" + std::to_string(getuid());
    mkdir(own.c_str(), 0700);
    struct stat st{};
    if (lstat(own.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
        return {};
    if ((st.st_mode & 0077) != 0 && chmod(own.c_str(), 0700) != 0)
        return {};
    return withSlash(own);
}

bool setCurrentDirectory(const std::string& path) { return !path.empty() && chdir(path.c_str()) == 0; }

void openClosedStandardStreams()
{
    for (int stream = 0; stream <= 2; ++stream) {
        if (fcntl(stream, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // The lowest free number: this stream's, since the ones below it are open by now.
        const int fd = open("/dev/null", stream == 0 ? O_RDONLY : O_WRONLY);
        if (fd >= 0 && fd != stream) {
            dup2(fd, stream);
            close(fd);
        }
    }
}

void showMessageBox(const std::string& text, const std::string& caption)
{
    const char* display = std::getenv("DISPLAY");
    if (display && *display &&
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, caption.c_str(), text.c_str(), nullptr) == 0)
        return;
    std::fprintf(stderr, "vesiclar: %s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
}

void* loadLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* librarySymbol(void* library, const char* name) { return library ? dlsym(library, name) : nullptr; }

void freeLibrary(void* library)
{
    if (library)
        dlclose(library);
}

// The claim is a lock on the user's private temporary folder, which every run of a host shares and
// no other user can open; the system lets it go with the process, however that ends.
bool claimHostedMusic()
{
    static bool held = false;
    if (held)
        return true;
    const std::string folder = tempDirectory();
    const int fd = folder.empty() ? -1 : ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true;  // nothing to agree on: play
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        ::close(fd);
        return !taken;
    }
    held = true;  // the descriptor stays open for the process's life
    return true;
}

}  // namespace platform
