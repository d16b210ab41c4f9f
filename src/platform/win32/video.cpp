// The run's windows on Win32: the "MyWindow" GL window with its WGL context, black "FakeMonitor"
// cover windows, the message queue as events, the cursor and presentation.
#include <array>
#include <string>

#include "platform/platform.h"
#include "platform/platform_common.h"
#include "platform/win32/win32_internal.h"

namespace platform {

namespace {

constexpr const char* kGlWindowClass = "MyWindow";
constexpr const char* kCoverWindowClass = "FakeMonitor";
constexpr int kProgramIcon = 111;

HWND gGlWindow = nullptr;
HDC gDeviceContext = nullptr;
HGLRC gContext = nullptr;
int gCoverWindows = 0;
bool gClassesRegistered = false;
uint64_t gSwaps = 0;
BOOL(WINAPI* gSwapIntervalEXT)(int) = nullptr;

// What the window procedure saw while a message was dispatched (or sent to it directly): a few
// slots, so no input is lost and nothing is allocated per message.
std::array<Event, 8> gPending;
size_t gPendingHead = 0, gPendingCount = 0;

void pushEvent(const Event& event)
{
    if (gPendingCount == gPending.size())
        return;
    gPending[(gPendingHead + gPendingCount) % gPending.size()] = event;
    ++gPendingCount;
}

bool popEvent(Event& event)
{
    if (gPendingCount == 0)
        return false;
    event = gPending[gPendingHead];
    gPendingHead = (gPendingHead + 1) % gPending.size();
    --gPendingCount;
    return true;
}

// The pixel format asked for; the first format of the device when the system finds none closer.
bool setPixelFormat(HDC dc)
{
    PIXELFORMATDESCRIPTOR descriptor{};
    descriptor.nSize = sizeof descriptor;
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = 32;
    descriptor.cDepthBits = 24;
    descriptor.cStencilBits = 8;
    descriptor.iLayerType = PFD_MAIN_PLANE;
    int format = ChoosePixelFormat(dc, &descriptor);
    if (format == 0) {
        format = 1;
        if (DescribePixelFormat(dc, format, sizeof descriptor, &descriptor) == 0)
            return false;
    }
    return SetPixelFormat(dc, format, &descriptor);
}

void* glProcAddress(const char* name)
{
    // wglGetProcAddress answers for extensions only; the GL 1.1 core lives in opengl32 itself.
    void* address = reinterpret_cast<void*>(wglGetProcAddress(name));
    const auto value = reinterpret_cast<intptr_t>(address);
    if (value == 0 || value == 1 || value == 2 || value == 3 || value == -1)
        address = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("opengl32"), name));
    return address;
}

bool glSwapInterval(int interval) { return gSwapIntervalEXT && gSwapIntervalEXT(interval); }

// WM_CREATE of the GL window: its DC, the pixel format, the context made current.
void makeContext(HWND window)
{
    gDeviceContext = GetDC(window);
    const bool formatSet = setPixelFormat(gDeviceContext);
    gContext = wglCreateContext(gDeviceContext);
    if (!gContext || !wglMakeCurrent(gDeviceContext, gContext)) {
        const DWORD error = GetLastError();
        const char* step = gContext ? "wglMakeCurrent" : "wglCreateContext";
        if (gContext)
            wglDeleteContext(gContext);
        gContext = nullptr;
        noteFailure(std::string("no OpenGL context: ") + (formatSet ? "" : "no pixel format could be set, ") + step +
                    " failed (error " + std::to_string(error) + ")");
        return;
    }
    // Through the same screen as GL's entry points: some drivers answer 1, 2, 3 or -1 for "none".
    gSwapIntervalEXT = reinterpret_cast<BOOL(WINAPI*)(int)>(glProcAddress("wglSwapIntervalEXT"));
    GlContextServices services;
    services.procAddress = glProcAddress;
    services.setSwapInterval = gSwapIntervalEXT ? glSwapInterval : nullptr;
    services.setGamma = setGamma;
    setGlContextServices(services);
}

LRESULT CALLBACK glWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Event event;
    switch (message) {
    case WM_CREATE:
        makeContext(window);
        return 0;
    case WM_CLOSE:
    case WM_DESTROY:
        event.type = EventType::Close;
        pushEvent(event);
        return 0;
    case WM_KEYDOWN:
        event.type = EventType::KeyDown;
        pushEvent(event);
        return 0;
    case WM_SYSKEYDOWN:
        event.type = EventType::SystemKey;
        pushEvent(event);
        break;
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
        event.type = EventType::ButtonDown;
        event.button = message == WM_LBUTTONDOWN ? 1 : message == WM_MBUTTONDOWN ? 2 : 3;
        pushEvent(event);
        return 0;
    case WM_MOUSEMOVE:
        // Both halves unsigned, as the position is packed.
        event.type = EventType::Motion;
        event.x = LOWORD(lParam);
        event.y = HIWORD(lParam);
        pushEvent(event);
        return 0;
    case WM_ENDSESSION:
        // Log-off or shutdown: the system may end the process as soon as this returns, before
        // the loop reaches the teardown, so the screen is given back here.
        if (wParam) {
            restoreGamma();
            restoreDisplayMode();
            runSessionEndHandler();
            event.type = EventType::Close;
            pushEvent(event);
        }
        return 0;
    case WM_ACTIVATEAPP:
        // Another program took the focus: its window sits hidden under ours and would get the
        // keys meant to end the run. Long idle lifts the foreground lock, so any program may.
        if (!wParam) {
            event.type = EventType::Close;
            pushEvent(event);
        }
        break;
    case WM_SYSCOMMAND:
        // Every system command is swallowed, the request to start the screen saver included.
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The covers only paint black; a click on one must not take the keyboard from the GL window, or
// the keys would no longer end the run.
LRESULT CALLBACK coverWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_MOUSEACTIVATE)
        return MA_NOACTIVATE;
    return DefWindowProcA(window, message, wParam, lParam);
}

bool registerClasses()
{
    if (gClassesRegistered)
        return true;
    const HINSTANCE instance = win32_detail::moduleInstance();
    WNDCLASSEXA glClass{};
    glClass.cbSize = sizeof glClass;
    glClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    glClass.lpfnWndProc = glWindowProcedure;
    glClass.hInstance = instance;
    glClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kProgramIcon));
    glClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    glClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    glClass.lpszClassName = kGlWindowClass;
    WNDCLASSEXA coverClass = glClass;
    coverClass.style = CS_HREDRAW | CS_VREDRAW;
    coverClass.lpfnWndProc = coverWindowProcedure;
    coverClass.lpszClassName = kCoverWindowClass;
    if (!RegisterClassExA(&glClass))
        return false;
    if (!RegisterClassExA(&coverClass)) {
        UnregisterClassA(kGlWindowClass, instance);
        return false;
    }
    gClassesRegistered = true;
    return true;
}

// Once the last run window is gone the classes go too.
void unregisterClassesWhenUnused()
{
    if (!gClassesRegistered || gGlWindow || gCoverWindows > 0)
        return;
    const HINSTANCE instance = win32_detail::moduleInstance();
    UnregisterClassA(kGlWindowClass, instance);
    UnregisterClassA(kCoverWindowClass, instance);
    gClassesRegistered = false;
}

HWND createRunWindow(const char* windowClass, DWORD style, int x, int y, int width, int height)
{
    return CreateWindowExA(WS_EX_TOPMOST | WS_EX_APPWINDOW, windowClass, "Vesiclar", style, x, y, width, height,
                           nullptr, nullptr, win32_detail::moduleInstance(), nullptr);
}

}  // namespace

namespace win32_detail {

HWND glWindow() { return gGlWindow; }
HDC glDeviceContext() { return gGlWindow ? gDeviceContext : nullptr; }

}  // namespace win32_detail

bool videoAvailable() { return true; }

void* createGlWindow(int x, int y, int width, int height)
{
    if (gGlWindow || width <= 0 || height <= 0 || !registerClasses())
        return nullptr;
    const HWND window = createRunWindow(kGlWindowClass, WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, x, y, width,
                                        height);
    if (!window) {
        unregisterClassesWhenUnused();
        return nullptr;
    }
    gGlWindow = window;
    // No context, nothing can be drawn: a black window that stays up until a key would only hide
    // that (the reason is noted for the log).
    if (!gContext) {
        closeWindow(window);
        return nullptr;
    }
    return window;
}

void* attachGlWindow(uint64_t) { return nullptr; }

void* createCoverWindow(int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0 || !registerClasses())
        return nullptr;
    // The display's area from the list; shrinking the primary may have moved it since.
    const RECT area = win32_detail::displayAreaNow({x, y, x + width, y + height});
    const HWND window = createRunWindow(kCoverWindowClass, WS_POPUP | WS_VISIBLE, area.left, area.top,
                                        area.right - area.left, area.bottom - area.top);
    if (window)
        ++gCoverWindows;
    else
        unregisterClassesWhenUnused();
    return window;
}

void showWindow(void* window, int showCommand)
{
    if (window)
        ShowWindow(static_cast<HWND>(window), showCommand);
}

void focusWindow(void* window)
{
    if (!window)
        return;
    SetForegroundWindow(static_cast<HWND>(window));
    SetFocus(static_cast<HWND>(window));
}

void windowClientSize(void* window, int& width, int& height)
{
    width = height = 0;
    RECT client{};
    if (window && GetClientRect(static_cast<HWND>(window), &client)) {
        width = client.right;
        height = client.bottom;
    }
}

void closeWindow(void* window)
{
    const HWND hwnd = static_cast<HWND>(window);
    if (!hwnd)
        return;
    if (hwnd == gGlWindow) {
        destroyGlContext();
        gGlWindow = nullptr;
    } else {
        --gCoverWindows;
    }
    // Destroyed, not merely minimised, so that the classes can go.
    DestroyWindow(hwnd);
    gPendingCount = 0;
    unregisterClassesWhenUnused();
}

void destroyGlContext()
{
    if (gContext) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(gContext);
        gContext = nullptr;
        gSwapIntervalEXT = nullptr;
        setGlContextServices({});
    }
    if (gDeviceContext) {
        ReleaseDC(gGlWindow, gDeviceContext);
        gDeviceContext = nullptr;
    }
}

void swapBuffers()
{
    if (gDeviceContext && gContext) {
        SwapBuffers(gDeviceContext);
        ++gSwaps;
    }
}

uint64_t presentedFrames() { return gSwaps; }

// The run's window is topmost on the screen-saver desktop; nothing hides it there.
bool glWindowSeen() { return true; }

void waitForEvent(int milliseconds)
{
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(milliseconds), QS_ALLINPUT);
}

bool pollEvent(Event& event)
{
    if (popEvent(event))
        return true;
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        return false;
    event = {};
    if (message.message == WM_QUIT) {
        event.type = EventType::Close;
        return true;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
    // Input of the cover windows and everything else the run ignores comes back as Other.
    popEvent(event);
    return true;
}

int showCursor(bool show) { return ShowCursor(show ? TRUE : FALSE); }

void warpPointer(void* window, int x, int y)
{
    POINT point{x, y};
    if (window && ClientToScreen(static_cast<HWND>(window), &point))
        SetCursorPos(point.x, point.y);
}

// Windows counts the user's input toward its own power-saving timers.
void noteUserInput() {}

}  // namespace platform
