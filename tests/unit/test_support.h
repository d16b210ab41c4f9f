#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <unistd.h>

// A private scratch folder removed when the test ends.
class ScratchFolder {
public:
    ScratchFolder()
    {
        char pattern[] = "/tmp/vesiclar-test-XXXXXX";
        path_ = mkdtemp(pattern);
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

inline std::span<const uint8_t> bytesOf(const std::string& text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}
