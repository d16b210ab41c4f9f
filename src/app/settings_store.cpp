#include "app/settings_store.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

// A stored value equal to its sentinel counts as absent.
constexpr uint32_t kFlagSentinel = 2;
constexpr uint32_t kNumberSentinel = 2000;

void readFlag(const platform::SettingsStore& store, const char* name, bool& field)
{
    uint32_t value = kFlagSentinel;
    if (store.readNumber(name, value) && value != kFlagSentinel)
        field = value != 0;
}

void readNumber(const platform::SettingsStore& store, const char* name, uint32_t sentinel, int32_t& field)
{
    uint32_t value = sentinel;
    if (store.readNumber(name, value) && value != sentinel)
        field = static_cast<int32_t>(value);
}

}  // namespace

void loadSettings()
{
    Settings& s = currentSettings;
    platform::SettingsStore store;
    if (store.open()) {
        readFlag(store, "ShowClock", s.ShowClock);
        readFlag(store, "TimeFormat", s.TimeFormat);
        readFlag(store, "English", s.English);
        readFlag(store, "Random", s.Random);
        readFlag(store, "EnableMusic", s.EnableMusic);
        readFlag(store, "UseDesktop", s.UseDesktop);
        readFlag(store, "ShowFlame", s.ShowFlame);
        readFlag(store, "DefGamma", s.DefGamma);
        readNumber(store, "Width", kFlagSentinel, s.Width);
        readNumber(store, "Height", kFlagSentinel, s.Height);
        readNumber(store, "Depth", kNumberSentinel, s.Depth);
        readNumber(store, "Volume", kNumberSentinel, s.Volume);
        readNumber(store, "Gamma", kNumberSentinel, s.Gamma);
        readNumber(store, "Detail", kNumberSentinel, s.Detail);
        readFlag(store, "ShowFPS", s.ShowFPS);
        readFlag(store, "VSync", s.VSync);
        readFlag(store, "MouseExit", s.MouseExit);
        std::string path;
        if (store.readText("Path", path)) {
            std::memset(s.Path, 0, sizeof s.Path);
            std::memcpy(s.Path, path.data(), std::min(path.size(), sizeof s.Path - 1));
        }
        store.close();
    }
    if (s.DefGamma)
        s.Gamma = 50;
}

bool saveSettings()
{
    const Settings& s = currentSettings;
    platform::SettingsStore store;
    store.open();
    auto flag = [&](const char* name, bool value) { store.writeNumber(name, value ? 1u : 0u); };
    auto number = [&](const char* name, int32_t value) { store.writeNumber(name, static_cast<uint32_t>(value)); };
    flag("ShowClock", s.ShowClock);
    flag("TimeFormat", s.TimeFormat);
    flag("English", s.English);
    flag("Random", s.Random);
    flag("EnableMusic", s.EnableMusic);
    flag("UseDesktop", s.UseDesktop);
    flag("ShowFlame", s.ShowFlame);
    flag("DefGamma", s.DefGamma);
    number("Width", s.Width);
    number("Height", s.Height);
    number("Depth", s.Depth);
    number("Volume", s.Volume);
    number("Gamma", s.Gamma);
    number("Detail", s.Detail);
    flag("VSync", s.VSync);
    flag("MouseExit", s.MouseExit);
    flag("ShowFPS", s.ShowFPS);
    return store.close();
}
