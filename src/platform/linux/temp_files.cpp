// Temporary files and libraries loaded from memory.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace platform {

namespace {

bool writeAll(int fd, std::span<const uint8_t> bytes)
{
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += static_cast<size_t>(count);
    }
    return true;
}

}  // namespace

bool writeTempFile(char* path, size_t capacity, const std::string& directory, const char* prefix,
                   std::span<const uint8_t> bytes)
{
    if (capacity == 0)
        return false;
    path[0] = '\0';
    const int needed = std::snprintf(path, capacity, "%s%sXXXXXX", directory.c_str(), prefix);
    if (directory.empty() || needed < 0 || static_cast<size_t>(needed) >= capacity) {
        path[0] = '\0';
        return false;
    }
    // mkostemp fills in the unique part in place and creates the file 0600, failing if it exists.
    const int fd = mkostemp(path, O_CLOEXEC);
    if (fd < 0) {
        path[0] = '\0';
        return false;
    }
    const bool ok = writeAll(fd, bytes);
    if (::close(fd) != 0 || !ok) {
        deleteFile(path);
        path[0] = '\0';
        return false;
    }
    return true;
}

bool deleteFile(const char* path)
{
    if (!path || path[0] == '\0')
        return true;
    const int saved = errno;  // a signal handler must leave errno as it found it
    const bool gone = ::unlink(path) == 0 || errno == ENOENT;
    errno = saved;
    return gone;
}

void* loadLibraryFromMemory(std::span<const uint8_t> bytes, const char* name)
{
    const int fd = memfd_create(name, MFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    void* library = nullptr;
    if (writeAll(fd, bytes)) {
        char path[64];
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
        library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    }
    ::close(fd);  // the loaded mapping keeps the contents alive
    return library;
}

}  // namespace platform
