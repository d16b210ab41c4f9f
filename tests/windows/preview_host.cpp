// Stands in for the Display control panel: makes a 200 x 150 window and starts
//   preview_host.exe VESICLAR_SCR   ->   Vesiclar.scr /p <this window's handle>
// then checks that the preview's "SSPreview" child fills the window's client area and that the
// preview ends when the window goes away, and again when the program that owns the window ends
// without destroying it (preview_host.exe --window-only plays that program). Exit code 0 when all
// holds. (Wine does not show GDI drawing across processes, so the picture itself is checked
// in-process by the unit tests.)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kAreaWidth = 200, kAreaHeight = 150;

int fail(const char* what)
{
    std::fprintf(stderr, "preview_host: %s\n", what);
    return 1;
}

void pump(DWORD milliseconds)
{
    const DWORD until = GetTickCount() + milliseconds;
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(20);
    } while (static_cast<LONG>(until - GetTickCount()) > 0);
}

constexpr const char* kOrphanTitle = "Preview host that ends";

HWND makeHostWindow(HINSTANCE instance, const char* title)
{
    WNDCLASSA hostClass{};
    hostClass.lpfnWndProc = DefWindowProcA;
    hostClass.hInstance = instance;
    hostClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    hostClass.lpszClassName = "PreviewHost";
    RegisterClassA(&hostClass);
    RECT frame{0, 0, kAreaWidth, kAreaHeight};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE | WS_CLIPCHILDREN;
    AdjustWindowRect(&frame, style, FALSE);
    return CreateWindowExA(0, "PreviewHost", title, style, 20, 20, frame.right - frame.left, frame.bottom - frame.top,
                           nullptr, nullptr, instance, nullptr);
}

bool start(const std::string& command, PROCESS_INFORMATION& process)
{
    std::string line = command;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    process = {};
    return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
}

bool startPreview(HWND host, PROCESS_INFORMATION& process)
{
    return start("\"" + std::string(__argv[1]) + "\" /p " + std::to_string(reinterpret_cast<uintptr_t>(host)), process);
}

HWND waitForPreview(HWND host)
{
    HWND preview = nullptr;
    for (int i = 0; i < 150 && !preview; ++i) {
        pump(100);
        preview = FindWindowExA(host, nullptr, "SSPreview", "PreviewWindow");
    }
    return preview;
}

// The control panel's program ending without destroying its window first (a crash, or killed):
// the preview must not stay behind for ever in a window nobody shows.
int orphanedPreviewEnds()
{
    PROCESS_INFORMATION owner{};
    if (!start("\"" + std::string(__argv[0]) + "\" --window-only", owner))
        return fail("cannot start the window's owner");
    HWND host = nullptr;
    for (int i = 0; i < 150 && !host; ++i) {
        pump(100);
        host = FindWindowA("PreviewHost", kOrphanTitle);
    }
    PROCESS_INFORMATION process{};
    if (!host || !startPreview(host, process) || !waitForPreview(host)) {
        TerminateProcess(owner.hProcess, 1);
        if (process.hProcess)
            TerminateProcess(process.hProcess, 1);
        return fail("no preview in the window of another program");
    }
    TerminateProcess(owner.hProcess, 1);
    if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        return fail("the preview did not end when the program that owned its host window ended");
    }
    std::printf("preview_host: the preview ended with the program that owned its host window\n");
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (__argc < 2)
        return fail("usage: preview_host.exe VESICLAR_SCR");
    if (std::string(__argv[1]) == "--window-only") {
        if (!makeHostWindow(instance, kOrphanTitle))
            return fail("cannot make the host window");
        for (;;)
            pump(1000);
    }

    HWND host = makeHostWindow(instance, "Preview host");
    if (!host)
        return fail("cannot make the host window");
    pump(300);

    PROCESS_INFORMATION process{};
    if (!startPreview(host, process))
        return fail("cannot start the screensaver");
    HWND preview = waitForPreview(host);
    if (!preview) {
        TerminateProcess(process.hProcess, 1);
        return fail("no SSPreview child called PreviewWindow appeared in the host's window");
    }
    // Found as soon as it exists: its creation (and with it WS_VISIBLE) may still be under way.
    bool fills = false;
    for (int i = 0; i < 50 && !fills; ++i) {
        RECT area{};
        GetClientRect(preview, &area);
        const LONG previewStyle = GetWindowLongA(preview, GWL_STYLE);
        fills = area.right == kAreaWidth && area.bottom == kAreaHeight &&
                (previewStyle & (WS_CHILD | WS_VISIBLE)) == (WS_CHILD | WS_VISIBLE);
        if (!fills)
            pump(100);
    }
    if (!fills) {
        TerminateProcess(process.hProcess, 1);
        return fail("the preview is not a visible child filling the host's client area");
    }

    // The control panel going away ends the preview.
    DestroyWindow(host);
    if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        return fail("the preview did not end when its host window went away");
    }
    std::printf("preview_host: a visible %dx%d SSPreview child, ended with its host\n", kAreaWidth, kAreaHeight);
    return orphanedPreviewEnds();
}
