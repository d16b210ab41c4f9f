#include "data/settings.h"

#include "data/text_tables.h"

Settings currentSettings{};
Settings defaultSettings{};

void applyDefaultKeys(Settings& s)
{
    s.Width = getSettingInt("MW");
    s.Height = getSettingInt("MH");
    s.Depth = getSettingInt("MBitCount");
    s.EnableMusic = getSettingInt("Music") != 0;
    s.Volume = getSettingInt("MusicVolume");
    s.ShowClock = getSettingInt("ShowTime") != 0;
    s.TimeFormat = getSettingInt("DigClock_24H") == 0;
    s.Gamma = getSettingInt("GammControl") - 50;
    s.DefGamma = getSettingInt("DefGamma") != 0;
    s.MouseExit = getSettingInt("ExitOnMouseMove") != 0;
    s.ShowFPS = getSettingInt("ShowFPS") != 0;
    s.UseDesktop = getSettingInt("UseDktpSet") != 0;
    s.English = getSettingInt("English") != 0;
    s.Random = getSettingInt("Random") != 0;
    s.Detail = getSettingInt("Detail");
    s.ShowFlame = getSettingInt("ShowFlame") != 0;
}

void initFactorySettings()
{
    defaultSettings = currentSettings;
    applyDefaultKeys(defaultSettings);
    currentSettings = defaultSettings;
}

void rebuildDefaultSettings()
{
    defaultSettings = currentSettings;
    applyDefaultKeys(defaultSettings);
}
