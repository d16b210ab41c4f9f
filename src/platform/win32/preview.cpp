// The preview: a still picture in a child window of the Display control panel's preview area.
#include <algorithm>

#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

namespace platform {

namespace {

constexpr const char* kPreviewClass = "SSPreview";
constexpr UINT kWindowCheckMilliseconds = 500;

const PreviewImage* gImage = nullptr;
HBITMAP gPreviewBitmap = nullptr;

// The picture as a device-independent bitmap, rows top first.
HBITMAP makeBitmap(const PreviewImage& image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() < static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
        return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits)
        std::copy_n(image.pixels.data(), static_cast<size_t>(image.width) * image.height, static_cast<uint32_t*>(bits));
    return bitmap;
}

void paint(HWND window)
{
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(window, &paint);
    if (gPreviewBitmap) {
        const HDC memory = CreateCompatibleDC(dc);
        const HGDIOBJ previous = SelectObject(memory, gPreviewBitmap);
        BITMAP size{};
        GetObjectA(gPreviewBitmap, sizeof size, &size);
        BitBlt(dc, 0, 0, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
        DeleteDC(memory);
    }
    EndPaint(window, &paint);
}

LRESULT CALLBACK previewProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        gPreviewBitmap = gImage ? makeBitmap(*gImage) : nullptr;
        return 0;
    case WM_PAINT:
        paint(window);
        return 0;
    case WM_DESTROY:
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

bool runPreviewWindow(uint64_t parent, const PreviewImage& image, int showCommand)
{
    const HINSTANCE instance = win32_detail::moduleInstance();
    WNDCLASSA previewClass{};
    previewClass.style = CS_HREDRAW | CS_VREDRAW;
    previewClass.lpfnWndProc = previewProcedure;
    previewClass.hInstance = instance;
    previewClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    previewClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    previewClass.lpszClassName = kPreviewClass;
    RegisterClassA(&previewClass);

    const HWND parentWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(parent));
    RECT area{};
    GetClientRect(parentWindow, &area);
    AdjustWindowRect(&area, WS_CHILD | WS_VISIBLE, FALSE);
    gImage = &image;
    const HWND window = CreateWindowExA(0, kPreviewClass, "PreviewWindow", WS_CHILD | WS_VISIBLE, area.left, area.top,
                                        area.right - area.left, area.bottom - area.top, parentWindow, nullptr,
                                        instance, nullptr);
    if (!window) {
        gImage = nullptr;
        return false;
    }
    ShowWindow(window, showCommand);
    // When the program that owns the parent ends without destroying it (a crash, or killed), the
    // system may take our child with it and send us nothing: the timer belongs to the thread, not
    // to the window, so the preview notices and ends instead of waiting for ever.
    const UINT_PTR windowCheck = SetTimer(nullptr, 0, kWindowCheckMilliseconds, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && !message.hwnd && message.wParam == windowCheck) {
            if (!IsWindow(parentWindow) || !IsWindow(window))
                break;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    KillTimer(nullptr, windowCheck);
    if (gPreviewBitmap) {
        DeleteObject(gPreviewBitmap);
        gPreviewBitmap = nullptr;
    }
    gImage = nullptr;
    return true;
}

}  // namespace platform
