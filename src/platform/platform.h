#pragma once

// What the portable code needs from the operating system, and nothing more. One implementation is
// linked per build: linux/ (SDL2, X11, GTK3) or win32/; headless/ adds an off-screen GL context.
// Every function states its contract; none throws.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace platform {

// ---- Time -------------------------------------------------------------------------------------

// Monotonic high-resolution counter and its ticks per second.
uint64_t counterTicks();
uint64_t counterFrequency();

struct LocalTime {
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
    int second = 0;  // 0..59
};
LocalTime localTime();
// Pins localTime() to *fixed (copied) until called again with null, which returns to the system
// clock. The off-screen renderer keeps the clock in step with its simulated time this way.
void setLocalTimeOverride(const LocalTime* fixed);

// ---- Files and folders ------------------------------------------------------------------------

// The user's private temporary directory with a trailing separator; empty when none is safe to use.
std::string tempDirectory();
bool setCurrentDirectory(const std::string& path);

// ---- Messages ---------------------------------------------------------------------------------

// A modal message box with an OK button; on stderr when no display can show one.
void showMessageBox(const std::string& text, const std::string& caption);

// ---- Settings store (the per-user registry key) -----------------------------------------------

// One open key. Values are 32-bit numbers, or text for "Path". A value that is missing or of the
// wrong type reads as absent. Writes reach the store at close, atomically.
class SettingsStore {
public:
    SettingsStore();
    virtual ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    bool open();
    bool readNumber(const char* name, uint32_t& value) const;
    bool readText(const char* name, std::string& value) const;
    void writeNumber(const char* name, uint32_t value);
    bool close();

private:
    struct State;
    State* state_ = nullptr;
};

// Points the store at another file instead of the user's (for --settings and tests).
void setSettingsStoreFile(const std::string& path);
std::string settingsStoreFile();

// ---- Dynamic libraries ------------------------------------------------------------------------

void* loadLibrary(const std::string& path);
void* librarySymbol(void* library, const char* name);
void freeLibrary(void* library);

// Creates a new file in `directory` named `prefix` plus a unique part, readable and writable only
// by this user, writes `bytes` into it and closes it. `path` (capacity bytes, NUL-terminated) holds
// the name from before the file exists until it is removed, so a signal handler reading it can
// always remove what was made. False, with nothing left on disk and `path` empty, on any failure.
bool writeTempFile(char* path, size_t capacity, const std::string& directory, const char* prefix,
                   std::span<const uint8_t> bytes);
// Removes the file; does nothing for an empty path. Safe to call from a signal handler.
void deleteFile(const char* path);
// Loads a library image held only in memory (an anonymous file called `name`), for when no folder
// lets code be loaded from it. Null when that fails or the system cannot do it.
void* loadLibraryFromMemory(std::span<const uint8_t> bytes, const char* name);

// ---- Web --------------------------------------------------------------------------------------

void openWebAddress(const std::string& url);

}  // namespace platform

namespace platform {

// ---- Displays ---------------------------------------------------------------------------------

struct AdapterInfo {
    std::string adapterName;
    std::string monitorName;
    bool attached = false;  // part of the desktop
    bool primary = false;
    int x = 0, y = 0, width = 0, height = 0;  // desktop area when attached
    void* monitor = nullptr;                  // non-null for attached displays
};

// Adapter `index` of the system; false past the last one or when there is no display at all.
bool displayAdapter(int index, AdapterInfo& out);
// The primary display's current mode; false when there is no display.
bool desktopMode(int& width, int& height, int& bitsPerPixel);

}  // namespace platform

namespace platform {

// ---- The current OpenGL context ---------------------------------------------------------------

// What the render code needs from whoever made the current GL context: its entry points by name,
// the swap interval of its drawable and the gamma ramp of its display. The maker of the context
// (the full-screen window, the headless renderer) installs these right after making it current;
// render/ reaches them only through glContextServices(). A null member means the service is
// absent: that entry point or control does not exist for this context.
struct GlContextServices {
    // Address of a GL or window-system entry point by name; null when the driver lacks it.
    void* (*procAddress)(const char* name) = nullptr;
    // Swap interval of the current drawable: 0 free running, 1 wait for vertical retrace.
    // False when the driver refused it.
    bool (*setSwapInterval)(int interval) = nullptr;
    // Hardware gamma ramp of the context's display, one exponent per channel (1 linear, below 1
    // brighter, above 1 darker). False when the system refused the ramp.
    bool (*setGamma)(float red, float green, float blue) = nullptr;
};

inline GlContextServices& glContextServicesSlot()
{
    static GlContextServices services;
    return services;
}

// Replaces the services wholesale; pass {} when the context goes away.
inline void setGlContextServices(const GlContextServices& services) { glContextServicesSlot() = services; }
inline const GlContextServices& glContextServices() { return glContextServicesSlot(); }

}  // namespace platform
