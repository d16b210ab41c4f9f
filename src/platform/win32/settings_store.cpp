// The per-user settings key in the registry, HKEY_CURRENT_USER\Software\Quorvane\Vesiclar. The key
// is opened for reading only and never created by a read, so a run leaves the registry as it
// found it; writes are gathered and put in at close, under a key created then if need be.
#include <algorithm>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

namespace platform {

namespace {

constexpr const char* kDefaultKey = "Software\\Quorvane\\Vesiclar";
// "Path" is a few hundred bytes at most; anything far larger is not ours to read.
constexpr DWORD kMaxTextSize = 64 * 1024;

std::string gKeyOverride;

}  // namespace

void setSettingsStoreFile(const std::string& path) { gKeyOverride = path; }

std::string settingsStoreFile() { return gKeyOverride.empty() ? kDefaultKey : gKeyOverride; }

struct SettingsStore::State {
    std::string path;
    HKEY key = nullptr;  // null when the key does not exist yet
    std::vector<std::pair<std::string, uint32_t>> writes;
};

SettingsStore::SettingsStore() = default;

SettingsStore::~SettingsStore() { close(); }

bool SettingsStore::open()
{
    close();
    state_ = new State;
    state_->path = settingsStoreFile();
    const LONG result = RegOpenKeyExA(HKEY_CURRENT_USER, state_->path.c_str(), 0, KEY_READ, &state_->key);
    if (result == ERROR_SUCCESS)
        return true;
    state_->key = nullptr;
    return result == ERROR_FILE_NOT_FOUND;  // absent: an empty key, as a freshly created one
}

bool SettingsStore::readNumber(const char* name, uint32_t& value) const
{
    if (!state_ || !state_->key)
        return false;
    DWORD type = 0, number = 0, size = sizeof number;
    if (RegQueryValueExA(state_->key, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof number)
        return false;
    value = number;
    return true;
}

bool SettingsStore::readText(const char* name, std::string& value) const
{
    if (!state_ || !state_->key)
        return false;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(state_->key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ ||
        size > kMaxTextSize)
        return false;
    std::string text(size, '\0');
    if (size > 0 && (RegQueryValueExA(state_->key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
                         ERROR_SUCCESS ||
                     type != REG_SZ))
        return false;
    // The stored size may or may not count a terminating zero.
    text.resize(std::min<size_t>(size, text.size()));
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    value = text;
    return true;
}

void SettingsStore::writeNumber(const char* name, uint32_t value)
{
    if (state_)
        state_->writes.emplace_back(name, value);
}

bool SettingsStore::close()
{
    if (!state_)
        return false;
    bool ok = true;
    if (!state_->writes.empty()) {
        HKEY key = nullptr;
        ok = RegCreateKeyExA(HKEY_CURRENT_USER, state_->path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) ==
             ERROR_SUCCESS;
        for (const auto& [name, value] : state_->writes) {
            if (!ok)
                break;
            const DWORD number = value;
            ok = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                sizeof number) == ERROR_SUCCESS;
        }
        if (key)
            RegCloseKey(key);
    }
    if (state_->key)
        RegCloseKey(state_->key);
    delete state_;
    state_ = nullptr;
    return ok;
}

}  // namespace platform
