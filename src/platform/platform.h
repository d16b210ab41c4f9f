#pragma once

// What the portable code needs from the operating system, and nothing more. One implementation is
// linked per build: linux/ (SDL2, X11, GTK3) or win32/; headless/ adds an off-screen GL context.
// Every function states its contract; none throws.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/dialog_ids.h"

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

// ---- Display modes ----------------------------------------------------------------------------

struct DisplayMode {
    int width = 0;         // pixels
    int height = 0;        // pixels
    int bitsPerPixel = 0;  // 32 for the 24-bit-depth visuals X11 reports
    int refreshRate = 0;   // Hz; 0 when unknown
};

// Mode `index` (from 0) of the primary display, in the order the driver lists them, so modes that
// differ only in refresh rate come next to each other; false past the last one or without a display.
bool displayMode(int index, DisplayMode& out);

}  // namespace platform

namespace platform {

// ---- Dialogs ----------------------------------------------------------------------------------
// (control ids of the templates: platform/dialog_ids.h)

// Templates of the program's modal dialogs.
constexpr int kSettingsDialogTemplate = 101;
constexpr int kAboutBoxTemplate = 105;

// Slider notification codes, as a trackbar sends them with its scroll message.
enum SliderCode : int {
    kSliderLineUp = 0,
    kSliderLineDown = 1,
    kSliderPageUp = 2,
    kSliderPageDown = 3,
    kSliderThumbPosition = 4,
    kSliderThumbTrack = 5,
    kSliderTop = 6,
    kSliderBottom = 7,
    kSliderEndTrack = 8,
};

class DialogHandler;

// A shown dialog, its controls addressed by their template ids. It only carries out what the
// handler decides; calls naming an id the template does not have are ignored.
class DialogView {
public:
    virtual ~DialogView() = default;

    virtual void setCaption(const std::string& text) = 0;
    virtual void setText(int id, const std::string& text) = 0;
    virtual void setChecked(int id, bool checked) = 0;  // checkboxes and radio buttons
    virtual bool isChecked(int id) const = 0;
    virtual void setEnabled(int id, bool enabled) = 0;

    // Combo boxes: entries in insertion order, the selection an index or -1 for none.
    virtual void comboReset(int id) = 0;
    virtual void comboAdd(int id, const std::string& text) = 0;
    virtual void comboSelect(int id, int index) = 0;
    virtual int comboSelection(int id) const = 0;

    // Sliders: integer positions within [min, max]; page is the step of a click in the channel.
    virtual void sliderSetRange(int id, int min, int max) = 0;
    virtual void sliderSetPosition(int id, int position) = 0;
    virtual void sliderSetPage(int id, int page) = 0;
    virtual int sliderPosition(int id) const = 0;

    // Layout, in pixels: a control moved by (dx, dy) keeping its size; the dialog resized keeping
    // its position. A view whose layout manager places controls itself may have nothing to do.
    virtual void moveControl(int id, int dx, int dy) = 0;
    virtual void resizeDialog(int dwidth, int dheight) = 0;
    virtual void setVisible(bool visible) = 0;
    // The template's picture from its image bytes (a BMP file, or a bitmap resource without the
    // file header); empty bytes show nothing. A view whose template carries the picture ignores it.
    virtual void setPicture(std::span<const uint8_t> image) = 0;

    // Ends the modal loop; runDialog returns `result`.
    virtual void endDialog(int result) = 0;
    // Another template, modal and owned by this dialog; returns its result.
    virtual int runChildDialog(int templateId, DialogHandler& handler) = 0;
    // Opens the address in the user's browser; failures are not reported.
    virtual void openWebAddress(const std::string& url) = 0;
    // A modal error message owned by this dialog.
    virtual void showError(const std::string& text) = 0;
};

// The portable behaviour of one dialog. Each returns true when it handled the message.
class DialogHandler {
public:
    virtual ~DialogHandler() = default;

    virtual bool onInitDialog(DialogView& view) = 0;
    // A button, checkbox or radio button was used; Escape and the close box send id 2 (Cancel).
    virtual bool onCommand(DialogView& view, int id) = 0;
    // The user moved one of the sliders; `code` is a SliderCode.
    virtual bool onSlider(DialogView&, int /*code*/) { return false; }
};

// Shows a template modally with `handler` as its behaviour, owned by the native window `owner`
// (0 for none). Returns the value passed to endDialog, or -1 when no dialog can be shown.
int runDialog(int templateId, DialogHandler& handler, uintptr_t owner);

}  // namespace platform
