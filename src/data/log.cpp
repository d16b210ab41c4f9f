#include "data/log.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <cstring>

namespace {
Log* gLog = nullptr;
}

Log& Log::instance()
{
    if (!gLog)
        gLog = new Log(true);
    return *gLog;
}

void Log::withoutFile()
{
    if (!gLog)
        gLog = new Log(false);
}

Log::Log(bool withFile)
{
    if (!withFile)
        return;
#ifdef _WIN32
    // Text mode: every line ends in CR LF, as Windows tools expect. The temporary folder is the
    // user's own there.
    file_ = std::fopen("log.txt", "w");
#else
    // O_NOFOLLOW: a link planted in the folder must not redirect the write. O_NONBLOCK: a FIFO put
    // there to watch the log must not hold the run up until someone reads it.
    int fd = ::open("log.txt", O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    // Runs can overlap (a host starts one a monitor; a render beside a run). The log stays with the
    // run that holds it: truncated under it, its lines and ours would land over each other. A system
    // without locks there gets the file as before.
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        fd = -1;
    }
    struct stat st{};
    if (fd >= 0 && (::fcntl(fd, F_SETFL, 0) != 0 || ::fstat(fd, &st) != 0 ||
                    (S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0))) {
        ::close(fd);
        fd = -1;
    }
    if (fd >= 0) {
        file_ = ::fdopen(fd, "w");
        if (!file_)
            ::close(fd);
    }
#endif
}

Log::~Log()
{
    if (file_)
        std::fclose(file_);
}

Log& Log::write(const char* text)
{
    if (file_) {
        std::fputs(text, file_);
        std::fflush(file_);
    }
    if (*text)
        lineOpen_ = text[std::strlen(text) - 1] != '\n';
    return *this;
}

Log& Log::write(const std::string& text) { return write(text.c_str()); }

Log& Log::write(int value) { return write(std::to_string(value)); }

Log& Log::section(const std::string& text) { return write("............... " + text + " ...............\n"); }

Log& Log::done() { return write("done\n"); }

Log& Log::freshLine() { return lineOpen_ ? write("\n") : *this; }
