#include "app/host_options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "data/settings.h"

namespace {

bool isOption(const char* arg, const char* name)
{
    // Both spellings: -name as xscreensaver writes it, --name as GNU tools do.
    return arg[0] == '-' && (std::strcmp(arg + 1, name) == 0 || (arg[1] == '-' && std::strcmp(arg + 2, name) == 0));
}

// A window id as X prints it: decimal, or hexadecimal after 0x.
bool parseWindowId(const char* text, uint64_t& id)
{
    // strtoull alone would also take blanks and a sign in front, and a leading 0 as octal.
    if (!text || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex && !std::isxdigit(static_cast<unsigned char>(text[2])))
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || value == 0)
        return false;
    id = value;
    return true;
}

}  // namespace

bool parseHostOptions(const std::vector<const char*>& args, const char* xscreensaverWindow, HostOptions& options,
                      std::vector<const char*>& rest, std::string& error)
{
    bool root = false, windowGiven = false;
    std::vector<const char*> others;
    for (size_t i = 0; i < args.size(); ++i) {
        if (isOption(args[i], "root")) {
            root = true;
        } else if (isOption(args[i], "fps")) {
            options.fps = true;
        } else if (isOption(args[i], "music")) {
            options.target.music = true;
        } else if (isOption(args[i], "window-id")) {
            if (i + 1 >= args.size() || !parseWindowId(args[i + 1], options.target.hostWindow)) {
                error = "--window-id needs a window id (decimal or 0x hex)";
                return false;
            }
            windowGiven = true;
            ++i;
        } else {
            others.push_back(args[i]);
        }
    }
    if (root && !windowGiven && xscreensaverWindow && *xscreensaverWindow &&
        !parseWindowId(xscreensaverWindow, options.target.hostWindow)) {
        error = std::string("XSCREENSAVER_WINDOW is not a window id: ") + xscreensaverWindow;
        return false;
    }
    options.target.hosted = root || windowGiven;
    // Without a host they are switches like any other ("-f..." is a full-screen run).
    const std::vector<const char*>& switches = options.target.hosted ? others : args;
    rest.insert(rest.end(), switches.begin(), switches.end());
    return true;
}

void applyHostOptions(ScreensaverApp& app, const HostOptions& options)
{
    if (options.target.hosted)
        app.mode = kModeRun;
    // For this run only: the settings dialog, which saves them, never sees it.
    if (options.fps && (app.mode == kModeRun || app.mode == kModeTest))
        currentSettings.ShowFPS = true;
}
