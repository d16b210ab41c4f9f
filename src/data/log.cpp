#include "data/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace {
Log* gLog = nullptr;
}

Log& Log::instance()
{
    if (!gLog)
        gLog = new Log();
    return *gLog;
}

Log::Log()
{
    // O_NOFOLLOW: a link planted in the folder must not redirect the write.
    const int fd = ::open("log.txt", O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0)
        file_ = ::fdopen(fd, "w");
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
    return *this;
}

Log& Log::write(const std::string& text) { return write(text.c_str()); }

Log& Log::write(int value) { return write(std::to_string(value)); }

Log& Log::section(const std::string& text) { return write("............... " + text + " ...............\n"); }

Log& Log::done() { return write("done\n"); }
