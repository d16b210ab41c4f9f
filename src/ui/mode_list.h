#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

// Where the dialog's display modes come from: the platform, or a test's own list.
struct DisplayModeSource {
    std::function<bool(int index, platform::DisplayMode& out)> mode = platform::displayMode;
    std::function<bool(int& width, int& height, int& bitsPerPixel)> desktop = platform::desktopMode;
};

// "%d x %d %d bits"
std::string formatMode(int width, int height, int bitsPerPixel);
// Reads an entry back; false unless all three numbers are there.
bool parseMode(const std::string& entry, int& width, int& height, int& bitsPerPixel);

// The entries of the mode list, in the driver's order: modes under 640 x 480 or 16 bits left out,
// a mode equal in size and depth to the one kept before it (a refresh-rate variant) listed once.
std::vector<std::string> listModes(const DisplayModeSource& source);

// The entry a combo box's select-string search picks: the first that begins with `prefix`
// (ignoring case), searching from entry 1 to the end and then entry 0; -1 when none does.
int findEntry(const std::vector<std::string>& entries, const std::string& prefix);
