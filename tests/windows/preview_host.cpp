// Stands in for the Display control panel: makes a 200 x 150 window and starts
//   preview_host.exe VESICLAR_SCR   ->   Vesiclar.scr /p <this window's handle>
// then checks that the preview's "SSPreview" child fills the window's client area and that the
// preview ends when the window goes away. Exit code 0 when all holds. (Wine does not show GDI
// drawing across processes, so the picture itself is checked in-process by the unit tests.)
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

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (__argc < 2)
        return fail("usage: preview_host.exe VESICLAR_SCR");

    WNDCLASSA hostClass{};
    hostClass.lpfnWndProc = DefWindowProcA;
    hostClass.hInstance = instance;
    hostClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    hostClass.lpszClassName = "PreviewHost";
    RegisterClassA(&hostClass);
    RECT frame{0, 0, kAreaWidth, kAreaHeight};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE | WS_CLIPCHILDREN;
    AdjustWindowRect(&frame, style, FALSE);
    HWND host = CreateWindowExA(0, "PreviewHost", "Preview host", style, 20, 20, frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (!host)
        return fail("cannot make the host window");
    pump(300);

    std::string command =
        "\"" + std::string(__argv[1]) + "\" /p " + std::to_string(reinterpret_cast<uintptr_t>(host));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return fail("cannot start the screensaver");

    HWND preview = nullptr;
    for (int i = 0; i < 150 && !preview; ++i) {
        pump(100);
        preview = FindWindowExA(host, nullptr, "SSPreview", "PreviewWindow");
    }
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
    return 0;
}
