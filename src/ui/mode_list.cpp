#include "ui/mode_list.h"

#include <cstdio>

namespace {

constexpr int kMinWidth = 640;
constexpr int kMinHeight = 480;
constexpr int kMinBits = 16;
// A driver that never stops answering must not hang the dialog.
constexpr int kMaxModesAsked = 4096;

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWith(const std::string& text, const std::string& prefix)
{
    if (prefix.size() > text.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (fold(text[i]) != fold(prefix[i]))
            return false;
    return true;
}

}  // namespace

std::string formatMode(int width, int height, int bitsPerPixel)
{
    char text[64];
    std::snprintf(text, sizeof text, "%d x %d %d bits", width, height, bitsPerPixel);
    return text;
}

bool parseMode(const std::string& entry, int& width, int& height, int& bitsPerPixel)
{
    int w = 0, h = 0, bits = 0;
    if (std::sscanf(entry.c_str(), "%d x %d %d bits", &w, &h, &bits) != 3)
        return false;
    width = w;
    height = h;
    bitsPerPixel = bits;
    return true;
}

std::vector<std::string> listModes(const DisplayModeSource& source)
{
    std::vector<std::string> entries;
    if (!source.mode)
        return entries;
    platform::DisplayMode previous{};
    platform::DisplayMode mode{};
    for (int i = 0; i < kMaxModesAsked && source.mode(i, mode); ++i) {
        if (mode.width < kMinWidth || mode.height < kMinHeight || mode.bitsPerPixel < kMinBits)
            continue;
        if (mode.width != previous.width || mode.height != previous.height ||
            mode.bitsPerPixel != previous.bitsPerPixel)
            entries.push_back(formatMode(mode.width, mode.height, mode.bitsPerPixel));
        previous = mode;
    }
    return entries;
}

int findEntry(const std::vector<std::string>& entries, const std::string& prefix)
{
    const size_t count = entries.size();
    for (size_t step = 1; step <= count; ++step) {
        const size_t i = step % count;
        if (startsWith(entries[i], prefix))
            return static_cast<int>(i);
    }
    return -1;
}
