#pragma once

// What the portable code needs from the operating system, and nothing more. One implementation is
// linked per build: linux/ (SDL2, X11, GTK3) or win32/ (Win32, WGL, the registry); headless/ adds
// an off-screen GL context.
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
// wrong type reads as absent. Opening never creates the store: a missing one is an empty key.
// Writes reach the store at close (Linux: the whole file atomically; Windows: value by value
// under HKEY_CURRENT_USER\Software\Quorvane\Vesiclar, the key created then if need be).
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

// Points the store at another file (Linux) or another key under HKEY_CURRENT_USER (Windows)
// instead of the user's (for --settings and tests); empty restores the user's.
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
// Removes the file. True when it is gone (removed now, or not there, or an empty path); false
// when it is still on disk, e.g. Windows refusing to remove a loaded library. Safe to call from a
// signal handler.
bool deleteFile(const char* path);
// Whether a loaded library's file can be removed while the library stays loaded: POSIX keeps the
// mapping alive, Windows holds the file until the library is freed.
#if defined(_WIN32)
constexpr bool kLoadedLibraryFileRemovable = false;
#else
constexpr bool kLoadedLibraryFileRemovable = true;
#endif
// Loads a library image held only in memory (an anonymous file called `name`), for when no folder
// lets code be loaded from it. Null when that fails or the system cannot do it.
void* loadLibraryFromMemory(std::span<const uint8_t> bytes, const char* name);

// ---- Web --------------------------------------------------------------------------------------

void openWebAddress(const std::string& url);

// ---- Failures -----------------------------------------------------------------------------------

// What went wrong in the system calls of the last platform operations that failed or fell back,
// for the log ("ChangeDisplaySettingsA answered DISP_CHANGE_BADMODE"); empty when nothing did.
// The platform adds to it, taking it clears it. Inline, as the GL services below, so that floors
// which only read it need not link the platform.
inline std::string& failureNoteSlot()
{
    static std::string note;
    return note;
}

inline std::string takeFailureNote()
{
    std::string note;
    note.swap(failureNoteSlot());
    return note;
}

}  // namespace platform

namespace platform {

// ---- Displays ---------------------------------------------------------------------------------

struct AdapterInfo {
    std::string adapterName;
    std::string monitorName;
    bool mirroring = false; // a mirroring driver: takes no entry
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

// The program's icon (the bytes of an .ico file) for the dialogs it opens from now on; empty bytes
// or an unreadable icon leave the desktop's default. Where the dialogs take the icon from the
// program's own resources (Windows: icon 111) it is ignored.
void setDialogIcon(std::span<const uint8_t> icon);

// Shows a template modally with `handler` as its behaviour, owned by the native window `owner`
// (0 for none). Returns the value passed to endDialog, or -1 when no dialog can be shown.
int runDialog(int templateId, DialogHandler& handler, uintptr_t owner);

}  // namespace platform

namespace platform {

// ---- Video: the run's windows and its GL context (Linux: SDL2 on X11) -------------------------

// Opens the windowing system once; false when there is no display (no $DISPLAY, or the server
// cannot be reached). Every call below that needs a display fails softly without one.
bool videoAvailable();

// The run's OpenGL window: borderless, above every other window and outside the window
// manager's control (as a screen saver's window is), not yet shown, at (x, y) with the given
// size. Double-buffered RGBA, 24-bit depth and 8-bit stencil, or the closest the system offers.
// Its GL context is made current and its GlContextServices installed (the gamma service is
// setGamma below). Null when the window or its context cannot be made. At most one GL window.
void* createGlWindow(int x, int y, int width, int height);

// GL in a window another program owns (the screensaver host's window; 0 = the root window), in
// that window's own visual. Its context is made current. Null when the window is not there or
// has no GL visual. Its GlContextServices are installed; the host owns the screen, so the
// gamma service only records (see setGamma).
void* attachGlWindow(uint64_t nativeWindow);

// A black cover window over (x, y, width, height), visible at once, above other windows; it
// repaints itself and its input never reaches the run. Null when it cannot be made.
void* createCoverWindow(int x, int y, int width, int height);

// Shows a window the way the program was asked to start (Windows' show command; ignored on X11).
void showWindow(void* window, int showCommand);
void focusWindow(void* window);
// Client-area size of a window; 0 × 0 for a null window.
void windowClientSize(void* window, int& width, int& height);
// Destroys a window made above (a foreign window is only let go, never destroyed).
void closeWindow(void* window);

// No context current; the GL window's context deleted and its services cleared. Safe to call
// when there is none.
void destroyGlContext();
// Presents the GL window's back buffer.
void swapBuffers();
// Swaps presented through swapBuffers since the process started.
uint64_t presentedFrames();
// Whether any of the GL window can be seen: false while it, or a window it lies in, is unmapped,
// or while other windows cover all of it. True when there is no GL window. Cheap once a frame.
bool glWindowSeen();
// Sleeps until an event is waiting or the time is up (a stop signal may wait as long).
void waitForEvent(int milliseconds);

// ---- Input -------------------------------------------------------------------------------------

enum class EventType {
    Other,      // nothing the run reacts to (painting, focus, cover-window input, ...)
    KeyDown,    // any key, autorepeat included
    SystemKey,  // a key with Alt held, Alt itself or F10: the system's own keys
    ButtonDown, // button: 1 left, 2 middle, 3 right, 4 and up the others
    Motion,     // x, y: pointer position in the GL window's client coordinates
    Close,      // the GL window is being closed or was destroyed, or (Windows) another program took the focus
};

struct Event {
    EventType type = EventType::Other;
    int button = 0;
    int x = 0, y = 0;
};

// Takes one queued event without waiting; false when the queue is empty. Events of cover
// windows come back as Other.
bool pollEvent(Event& event);

// The cursor over the run's windows. A counter as the classic desktop keeps it: each hide takes
// one off, each show adds one, the cursor is visible while the counter is 0 or more. Returns the
// new counter.
int showCursor(bool show);
// Moves the pointer to (x, y) of the window's client area.
void warpPointer(void* window, int x, int y);
// The user is at the screen: input came that does not end the run (the pointer moved with
// MouseExit off, the middle button, the system's keys). The monitor's power-saving schedule the
// full-screen run keeps starts again from now, as the server's own would.
void noteUserInput();

// ---- Display mode ------------------------------------------------------------------------------

// Switches the first display (the primary, adapter 0) to width × height, in place; where the
// desktop must grow for it (X11), it grows, and shrinks back on restore. The depth cannot change
// on X11 and is kept. False (and nothing changed) when the display does not offer that size; the
// run then goes on in the current mode. The mode in force before is kept and put back by restoreDisplayMode, and by
// the process's normal exit if nobody did.
bool setDisplayMode(int width, int height, int bitsPerPixel);
void restoreDisplayMode();

// ---- Gamma -------------------------------------------------------------------------------------

constexpr int kGammaEntries = 256;
// Red, then green, then blue: 256 entries each.
struct GammaRamp {
    uint16_t entries[3 * kGammaEntries] = {};
    const uint16_t* red() const { return entries; }
    const uint16_t* green() const { return entries + kGammaEntries; }
    const uint16_t* blue() const { return entries + 2 * kGammaEntries; }
};

// Entry k of channel c is (k / 256)^e_c × 65536 in double precision, truncated, low 16 bits.
// Exponent 1 is the linear ramp k × 256; below 1 brightens, above 1 darkens.
GammaRamp gammaRamp(float redExponent, float greenExponent, float blueExponent);

// Puts gammaRamp(e_r, e_g, e_b) on the displays and says whether the system took it. The ramp in
// force before the first call is read and kept for restoreGamma. Only while the run's own
// full-screen GL window exists; otherwise (a host's window, the off-screen renderer) nothing is
// changed and false is returned.
bool setGamma(float redExponent, float greenExponent, float blueExponent);
// Puts back the ramp that was in force before the first setGamma, or the linear ramp when that
// could not be read or was unusable (all zero or not rising). No effect when setGamma never
// changed the displays. Also done by the process's normal exit if nobody did.
void restoreGamma();

// ---- One full-screen run per display (Linux) --------------------------------------------------

// A second full-screen run on the same display would take the first one's changed ramp and mode
// for the user's and put them back at its end, and the key that ends one would leave the other
// up. Claims the display for this process's run (an X selection the server frees when the
// process goes, however it ends); false when another process holds it. True without a display:
// the run then says itself that it cannot start. Hosted runs change nothing and claim nothing.
bool claimFullScreenRun();
// Frees the claim once the screen is back, so that a run started now need not wait for the exit.
void releaseFullScreenRun();

// ---- Display guardian (Linux) ------------------------------------------------------------------

// The full-screen run's display mode and gamma ramps come back even when the process dies without
// its teardown (a crash, SIGKILL, the OOM killer): before its first change, setDisplayMode and
// setGamma hand what they will put back to a guardian process, which puts it back if this one
// ends with the change still in force. Hosted runs change neither and start no guardian.
// The guardian is this program started again with kDisplayGuardianOption as its one argument;
// the Linux entry hands such a start to runDisplayGuardian before anything else, which returns
// the exit status. Other platforms need neither.
constexpr const char* kDisplayGuardianOption = "--display-guardian";
int runDisplayGuardian();

// ---- Standard streams (Linux) -------------------------------------------------------------------

// A daemon may start the program with standard input, output or error closed. The files and
// sockets opened next would take those numbers, and whatever a library then writes to stderr
// would go into the X connection or the log. Puts /dev/null in each closed one; the Linux entry
// calls it first.
void openClosedStandardStreams();

// ---- Stop requests -----------------------------------------------------------------------------

// From now on SIGTERM, SIGINT and SIGHUP only raise a flag that the run's loop polls, so the
// teardown still restores the display.
void installStopSignals();
bool stopRequested();

// `handler` (null for none) runs inside the system's notice that the session is ending (Windows:
// log-off or shutdown), which may end the process as soon as the notice returns, before the loop
// reaches its teardown. Where a session's end comes as a stop signal (Linux), it never runs.
void setSessionEndHandler(void (*handler)());

// ---- Hosted runs -------------------------------------------------------------------------------

// A host may start several runs at once (one per monitor), each asked to play the music. True for
// the first of this user's runs to ask, until it ends; false for the others while it lives.
bool claimHostedMusic();

// Before anything asks for video (Linux): the run is hosted. Its window is on the screen $DISPLAY
// names, which is not always the first screen of the server, and it needs no monitor layout.
void prepareHostedVideo();

// ---- Preview -----------------------------------------------------------------------------------

// A still picture, rows top first, pixels 0x00RRGGBB.
struct PreviewImage {
    int width = 0, height = 0;
    std::span<const uint32_t> pixels;
};

// Makes a child window filling the client area of `parent` (a native window handle), shown with
// `showCommand`, and paints `image` at its top-left corner whenever it is exposed, the rest black.
// Returns false at once when the window cannot be made (no display, no or an invalid parent);
// otherwise returns true once the window has gone away (its parent was destroyed or it was closed).
bool runPreviewWindow(uint64_t parent, const PreviewImage& image, int showCommand);

}  // namespace platform
