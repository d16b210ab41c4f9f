#pragma once

#include <cstdio>
#include <string>

// The run's trace, "log.txt" in the current directory (the user's temporary directory once the
// entry has moved there). Every write is flushed, so the file is complete up to the last step even
// when the process dies. Never destroyed, so the run's last text, "EXIT", stays last.
class Log {
public:
    static Log& instance();
    // For a process with no folder of its own to keep the log in: the log is made without a file and
    // every write goes nowhere. Has no effect once instance() has made the log.
    static void withoutFile();
    virtual ~Log();

    Log& write(const std::string& text);
    Log& write(const char* text);
    Log& write(int value);
    Log& section(const std::string& text);  // "............... text ..............." and a line end
    Log& done();                             // "done" and a line end
    // A line end only where the last text left its line open: for lines that may come at any time,
    // such as after "Starting main loop...", which the music's lines carry on when it plays.
    Log& freshLine();

    bool isOpen() const { return file_ != nullptr; }

private:
    explicit Log(bool withFile);
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    FILE* file_ = nullptr;
    bool lineOpen_ = false;
};
