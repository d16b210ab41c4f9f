#pragma once

#include <cstdint>

// Every user-tunable behaviour. Field order and types are those of the stored record.
struct Settings {
    bool EnableMusic;
    bool ShowClock;
    bool ShowFlame;   // stored and restored only
    bool ShowFPS;
    bool VSync;
    bool UseDesktop;
    bool MouseExit;
    bool DefGamma;    // leave the display gamma alone; forces Gamma to 50 on load
    bool Random;      // stored and restored only
    bool TimeFormat;  // true: 12-hour clock
    bool English;     // stored and restored only
    int32_t Detail;   // 0 low, 1 medium, 2 high
    int32_t Volume;   // 1..100 as the dialog offers it
    int32_t Gamma;    // 0..100, 50 neutral
    int32_t Width;    // pixels
    int32_t Height;   // pixels
    int32_t Depth;    // bits per pixel
    char Path[256];   // read from the store and logged, never written
};

// What every part reads, and the factory values for the dialog's restore button.
extern Settings currentSettings;
extern Settings defaultSettings;

// Fills the keyed fields from the default-settings table; VSync and Path are left alone.
void applyDefaultKeys(Settings& record);
// Start-up step 1: currentSettings and defaultSettings hold the factory values.
void initFactorySettings();
// Start-up step 6: defaultSettings from the current record, factory values in every keyed field.
void rebuildDefaultSettings();
