#include "whole_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error)
{
    bytes.clear();
    // O_NONBLOCK: opening a pipe with no writer must not hang before fstat can refuse it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st{};
    bool ok = ::fstat(fd, &st) == 0;
    if (!ok) {
        error = std::strerror(errno);
    } else if (S_ISDIR(st.st_mode)) {
        error = "is a directory";
        ok = false;
    } else if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
        ok = false;
    } else if (uint64_t(st.st_size) > UINT32_MAX) {
        error = "too large";
        ok = false;
    }
    if (ok) {
        bytes.resize(size_t(st.st_size));
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = n < 0 ? std::strerror(errno) : "changed while being read";
                ok = false;
                break;
            }
            got += size_t(n);
        }
    }
    ::close(fd);
    if (!ok)
        bytes.clear();
    return ok;
}
