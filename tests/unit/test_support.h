#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#ifdef _WIN32
#include <random>
#else
#include <unistd.h>
#endif

// A private scratch folder removed when the test ends.
class ScratchFolder {
public:
    ScratchFolder()
    {
#ifdef _WIN32
        // The user's temporary folder is private on Windows; a random name that is not there yet.
        std::random_device random;
        for (;;) {
            const auto candidate = std::filesystem::temp_directory_path() / ("vesiclar-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) {
                path_ = candidate.generic_string();
                break;
            }
        }
#else
        char pattern[] = "/tmp/vesiclar-test-XXXXXX";
        path_ = mkdtemp(pattern);
#endif
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

#ifndef _WIN32
// One word for /bin/sh whatever it holds: the build folder may have blanks or quotes in its path.
inline std::string shellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Neither $HOME nor $XDG_CONFIG_HOME set while it lives, so the user's settings have no place;
// both come back as they were.
class WithoutConfigHome {
public:
    WithoutConfigHome() : home_(get("HOME")), config_(get("XDG_CONFIG_HOME"))
    {
        unsetenv("HOME");
        unsetenv("XDG_CONFIG_HOME");
    }
    ~WithoutConfigHome()
    {
        if (!home_.empty()) setenv("HOME", home_.c_str(), 1);
        if (!config_.empty()) setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    }
    WithoutConfigHome(const WithoutConfigHome&) = delete;
    WithoutConfigHome& operator=(const WithoutConfigHome&) = delete;

private:
    static std::string get(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }
    std::string home_, config_;
};
#endif

inline std::span<const uint8_t> bytesOf(const std::string& text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}
