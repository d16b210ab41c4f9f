// The per-user settings key as an ini-style file: one "Name=value" line per value, numbers in
// decimal. Written whole to a temporary file beside it and renamed over it, so a crash or a full
// disk leaves either the old file or the new one, never half of one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace platform {

namespace {

// A settings file is a few hundred bytes; anything far larger is not ours to parse.
constexpr off_t kMaxFileSize = 64 * 1024;

std::string gStoreFileOverride;

std::string defaultStoreFile()
{
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        base = config;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        return {};
    return base + "/vesiclar/settings.ini";
}

bool readWholeFile(const std::string& path, std::string& text)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st{};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxFileSize;
    if (ok) {
        text.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        text.resize(got);
    }
    ::close(fd);
    return ok;
}

bool makeFolders(const std::string& file)
{
    for (size_t slash = file.find('/', 1); slash != std::string::npos; slash = file.find('/', slash + 1)) {
        const std::string folder = file.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

void setSettingsStoreFile(const std::string& path) { gStoreFileOverride = path; }

std::string settingsStoreFile() { return gStoreFileOverride.empty() ? defaultStoreFile() : gStoreFileOverride; }

struct SettingsStore::State {
    std::string path;
    std::vector<std::pair<std::string, std::string>> values;  // file order
    bool dirty = false;

    std::string* find(const char* name)
    {
        for (auto& [key, value] : values)
            if (key == name)
                return &value;
        return nullptr;
    }
};

SettingsStore::SettingsStore() = default;

SettingsStore::~SettingsStore() { close(); }

bool SettingsStore::open()
{
    close();
    state_ = new State;
    state_->path = settingsStoreFile();
    if (state_->path.empty())
        return false;
    std::string text;
    if (!readWholeFile(state_->path, text))
        return true;  // absent or unreadable: an empty key, as a freshly created one
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0 || line[0] == '#' || line[0] == ';')
            continue;
        const std::string name = line.substr(0, eq);
        if (std::string* existing = state_->find(name.c_str()))
            *existing = line.substr(eq + 1);
        else
            state_->values.emplace_back(name, line.substr(eq + 1));
    }
    return true;
}

bool SettingsStore::readNumber(const char* name, uint32_t& value) const
{
    if (!state_)
        return false;
    const std::string* text = state_->find(name);
    // Only a plain decimal that fits 32 bits is a number; anything else is the wrong type.
    if (!text || text->empty() || text->size() > 10)
        return false;
    uint64_t number = 0;
    for (char c : *text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (number > 0xffffffffu)
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

bool SettingsStore::readText(const char* name, std::string& value) const
{
    if (!state_)
        return false;
    const std::string* text = state_->find(name);
    if (!text)
        return false;
    value = *text;
    return true;
}

void SettingsStore::writeNumber(const char* name, uint32_t value)
{
    if (!state_ || state_->path.empty())
        return;
    const std::string text = std::to_string(value);
    if (std::string* existing = state_->find(name))
        *existing = text;
    else
        state_->values.emplace_back(name, text);
    state_->dirty = true;
}

bool SettingsStore::close()
{
    if (!state_)
        return false;
    bool ok = true;
    if (state_->dirty) {
        std::string text = "# Vesiclar settings\n";
        for (const auto& [key, value] : state_->values)
            text += key + "=" + value + "\n";
        const std::string temp = state_->path + ".tmp";
        ok = makeFolders(state_->path);
        const int fd = ok ? ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600) : -1;
        ok = fd >= 0;
        if (ok) {
            ok = writeAll(fd, text) && fsync(fd) == 0;
            ok = (::close(fd) == 0) && ok;
            ok = ok && rename(temp.c_str(), state_->path.c_str()) == 0;
            if (!ok)
                unlink(temp.c_str());
        }
    }
    delete state_;
    state_ = nullptr;
    return ok;
}

}  // namespace platform
