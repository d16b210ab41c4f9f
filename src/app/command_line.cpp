#include "app/screensaver_app.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The handle is the decimal number at the first digit after the switch letter; 0 without one,
// and 0 for a number too large to be a handle (wrapped round, it could name some other window).
uintptr_t readWindowHandle(const std::string& text, size_t pos)
{
    while (pos < text.size() && !isDigit(text[pos]))
        ++pos;
    uintptr_t value = 0;
    for (; pos < text.size() && isDigit(text[pos]); ++pos) {
        const uintptr_t digit = static_cast<uintptr_t>(text[pos] - '0');
        if (value > (UINTPTR_MAX - digit) / 10)
            return 0;
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace

int32_t parseCommandLine(ScreensaverApp& app, const std::string& text)
{
    size_t pos = 0;
    if (!text.empty() && text[0] == '"') {
        pos = text.find('"', 1);
        pos = pos == std::string::npos ? text.size() : pos + 1;
    } else {
        pos = text.find(' ');
        pos = pos == std::string::npos ? text.size() : pos + 1;
    }

    while (pos < text.size() && text[pos] != '/' && text[pos] != '-')
        ++pos;
    if (pos >= text.size()) {
        app.parentWindow = 0;
        return app.mode = kModeConfigure;
    }

    const size_t letter = pos + 1;
    const char c = letter < text.size() ? text[letter] : '\0';
    switch (c) {
    case 'C':
    case 'c':
        app.parentWindow = readWindowHandle(text, letter + 1);
        return app.mode = kModeConfigure;
    case 'P':
    case 'p':
        app.parentWindow = readWindowHandle(text, letter + 1);
        return app.mode = kModePreview;
    case 'T':
    case 't':
        return app.mode = kModeTest;
    default:
        return app.mode = kModeRun;
    }
}

std::string joinCommandLine(int argc, const char* const* argv)
{
    std::string line;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        // No Windows path holds a double quote; in the program name it would end or open the
        // quoted name early, and part of the name would be read as the switch.
        if (i == 0)
            std::erase(arg, '"');
        if (i > 0)
            line += ' ';
        if (arg.find(' ') != std::string::npos)
            line += '"' + arg + '"';
        else
            line += arg;
    }
    return line;
}
