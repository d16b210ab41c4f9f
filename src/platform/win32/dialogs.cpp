// The settings dialog and the about box from their templates in the resources (101, 105): the
// portable handler makes every decision; this view turns its calls into control messages, and the
// dialog procedure turns the dialog's messages into the handler's calls.
#include "platform/mnemonics.h"
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

// clang-format off
#include <commctrl.h>
#include <shellapi.h>
// clang-format on

namespace platform {

namespace {

using win32_detail::widen;

// The template's design is in pixels at 96 dots per inch; a scaled display gets its share more.
// Aware of each monitor's own scale, Windows lays a dialog out at the scale of the monitor it opens
// on, which need not be the primary's, so the dialog's own figure counts where the system has one.
int scaled(HWND dialog, int pixels)
{
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    int dpi = dpiForWindow ? static_cast<int>(dpiForWindow(dialog)) : 0;
    if (dpi <= 0) {
        const HDC screen = GetDC(nullptr);
        dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen)
            ReleaseDC(nullptr, screen);
    }
    return MulDiv(pixels, dpi > 0 ? dpi : 96, 96);
}

// A static shows "&" as an underline under the next letter; our texts mean it as written.
std::string literal(const std::string& text)
{
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '&')
            out += '&';
    }
    return out;
}

// Two settings dialogs at once would each save their own copy of every value, the later OK undoing
// what the earlier saved. The open one holds this mutex and carries this mark on its window.
constexpr wchar_t kOpenSettingsMutex[] = L"Vesiclar.SettingsDialog";
constexpr wchar_t kOpenSettingsMark[] = L"Vesiclar.SettingsDialog";

BOOL CALLBACK findMarkedWindow(HWND window, LPARAM found)
{
    if (!GetPropW(window, kOpenSettingsMark))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// Brings the open settings dialog forward, or the about box in front of it.
void raiseOpenSettings()
{
    // The other process may still be building its window.
    for (int tries = 0; tries < 50; ++tries) {
        HWND open = nullptr;
        EnumWindows(findMarkedWindow, reinterpret_cast<LPARAM>(&open));
        if (open) {
            SetForegroundWindow(GetLastActivePopup(open));
            return;
        }
        Sleep(100);
    }
}

class Win32DialogView : public DialogView {
public:
    Win32DialogView(DialogHandler& handler, bool marked) : handler_(handler), marked_(marked) {}
    ~Win32DialogView() override
    {
        if (scaledPicture_)
            DeleteObject(scaledPicture_);
    }

    DialogHandler& handler() { return handler_; }
    HWND window() const { return window_; }

    void attach(HWND window)
    {
        window_ = window;
        if (marked_)
            SetPropW(window, kOpenSettingsMark, reinterpret_cast<HANDLE>(1));
        // The program's icon for the title bar and the task switcher.
        const HINSTANCE module = win32_detail::moduleInstance();
        for (const auto& [size, metric] : {std::pair{ICON_SMALL, SM_CXSMICON}, std::pair{ICON_BIG, SM_CXICON}}) {
            const int pixels = GetSystemMetrics(metric);
            if (HANDLE icon = LoadImageW(module, MAKEINTRESOURCEW(dialog_id::kProgramIcon), IMAGE_ICON, pixels,
                                         pixels, LR_SHARED))
                SendMessageW(window, WM_SETICON, size, reinterpret_cast<LPARAM>(icon));
        }
    }

    void setCaption(const std::string& text) override { SetWindowTextW(window_, widen(text).c_str()); }

    void setText(int id, const std::string& text) override
    {
        HWND item = control(id);
        if (!item)
            return;
        const std::string shown = takesAccessKey(item, id) ? mnemonics_.mark(id, text, '&') : literal(text);
        SetWindowTextW(item, widen(shown).c_str());
    }

    void setChecked(int id, bool checked) override
    {
        if (control(id))
            CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }

    bool isChecked(int id) const override { return control(id) && IsDlgButtonChecked(window_, id) == BST_CHECKED; }

    void setEnabled(int id, bool enabled) override
    {
        if (HWND item = control(id))
            EnableWindow(item, enabled);
    }

    void comboReset(int id) override { send(id, CB_RESETCONTENT, 0, 0); }

    void comboAdd(int id, const std::string& text) override
    {
        const std::wstring wide = widen(text);
        send(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }

    void comboSelect(int id, int index) override { send(id, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }

    int comboSelection(int id) const override
    {
        const LRESULT selected = send(id, CB_GETCURSEL, 0, 0);
        return selected == CB_ERR ? -1 : static_cast<int>(selected);
    }

    void sliderSetRange(int id, int min, int max) override { send(id, TBM_SETRANGE, TRUE, MAKELPARAM(min, max)); }
    void sliderSetPosition(int id, int position) override { send(id, TBM_SETPOS, TRUE, position); }
    void sliderSetPage(int id, int page) override { send(id, TBM_SETPAGESIZE, 0, page); }
    int sliderPosition(int id) const override { return static_cast<int>(send(id, TBM_GETPOS, 0, 0)); }

    void moveControl(int id, int dx, int dy) override
    {
        HWND item = control(id);
        RECT bounds{};
        if (!item || !GetWindowRect(item, &bounds))
            return;
        MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&bounds), 2);
        SetWindowPos(item, nullptr, bounds.left + scaled(window_, dx), bounds.top + scaled(window_, dy), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void resizeDialog(int dwidth, int dheight) override
    {
        RECT bounds{};
        if (!GetWindowRect(window_, &bounds))
            return;
        SetWindowPos(window_, nullptr, 0, 0, bounds.right - bounds.left + scaled(window_, dwidth),
                     bounds.bottom - bounds.top + scaled(window_, dheight), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void setVisible(bool visible) override { ShowWindow(window_, visible ? SW_SHOW : SW_HIDE); }

    // The template carries bitmap 107 itself, which a static shows pixel for pixel: on a scaled
    // display it would fill a fraction of the grown panel. It grows by the display's scale, as far
    // as the room above the sound controls allows.
    void setPicture(std::span<const uint8_t>) override
    {
        HWND picture = nullptr;
        EnumChildWindows(window_, findPicture, reinterpret_cast<LPARAM>(&picture));
        const auto shown =
            picture ? reinterpret_cast<HBITMAP>(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0)) : nullptr;
        BITMAP size{};
        if (!shown || !GetObjectW(shown, sizeof size, &size) || size.bmWidth <= 0 || size.bmHeight <= 0)
            return;
        int width = scaled(window_, size.bmWidth), height = scaled(window_, size.bmHeight);
        const RECT at = boxOf(picture);
        if (HWND below = control(dialog_id::kSoundsGroup)) {
            // The template leaves the picture 4 pixels above the group at 100 %.
            const RECT group = boxOf(below);
            const int roomHigh = group.top - scaled(window_, 4) - at.top, roomWide = group.right - at.left;
            if (height > roomHigh) {
                width = MulDiv(width, roomHigh, height);
                height = roomHigh;
            }
            if (width > roomWide) {
                height = MulDiv(height, roomWide, width);
                width = roomWide;
            }
        }
        if (width <= size.bmWidth || height <= size.bmHeight)
            return;
        scaledPicture_ = stretched(shown, size.bmWidth, size.bmHeight, width, height);
        if (scaledPicture_)
            SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(scaledPicture_));
    }

    void endDialog(int result) override { EndDialog(window_, result); }

    int runChildDialog(int templateId, DialogHandler& handler) override
    {
        return runDialog(templateId, handler, reinterpret_cast<uintptr_t>(window_));
    }

    void openWebAddress(const std::string& url) override
    {
        // An empty address would open a folder window instead of a browser.
        if (!url.empty())
            ShellExecuteA(window_, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }

    void showError(const std::string& text) override
    {
        wchar_t caption[256] = {};
        GetWindowTextW(window_, caption, 256);
        MessageBoxW(window_, widen(text).c_str(), caption, MB_OK | MB_ICONERROR);
    }

private:
    HWND control(int id) const { return window_ ? GetDlgItem(window_, id) : nullptr; }

    static BOOL CALLBACK findPicture(HWND child, LPARAM found)
    {
        wchar_t kind[16] = {};
        GetClassNameW(child, kind, 16);
        if (lstrcmpiW(kind, L"Static") != 0 || (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP)
            return TRUE;
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }

    // A control's place in the dialog's client area.
    RECT boxOf(HWND item) const
    {
        RECT box{};
        GetWindowRect(item, &box);
        MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&box), 2);
        return box;
    }

    // A copy of `source` at the new size, smoothed rather than with doubled pixels.
    static HBITMAP stretched(HBITMAP source, int width, int height, int newWidth, int newHeight)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = newWidth;
        info.bmiHeader.biHeight = newHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP copy = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        const HDC from = CreateCompatibleDC(nullptr), to = CreateCompatibleDC(nullptr);
        if (copy && from && to) {
            const HGDIOBJ oldFrom = SelectObject(from, source), oldTo = SelectObject(to, copy);
            SetStretchBltMode(to, HALFTONE);
            SetBrushOrgEx(to, 0, 0, nullptr);
            StretchBlt(to, 0, 0, newWidth, newHeight, from, 0, 0, width, height, SRCCOPY);
            SelectObject(from, oldFrom);
            SelectObject(to, oldTo);
        }
        if (from)
            DeleteDC(from);
        if (to)
            DeleteDC(to);
        return copy;
    }

    LRESULT send(int id, UINT message, WPARAM wParam, LPARAM lParam) const
    {
        HWND item = control(id);
        return item ? SendMessageW(item, message, wParam, lParam) : 0;
    }

    // Buttons, checkboxes and radio buttons get a key of their own; OK and Cancel have Enter and
    // Escape, and group boxes and statics would only move the focus.
    static bool takesAccessKey(HWND item, int id)
    {
        if (id == IDOK || id == IDCANCEL)
            return false;
        wchar_t kind[16] = {};
        GetClassNameW(item, kind, 16);
        const LONG_PTR style = GetWindowLongPtrW(item, GWL_STYLE);
        return lstrcmpiW(kind, L"Button") == 0 && (style & BS_TYPEMASK) != BS_GROUPBOX;
    }

    DialogHandler& handler_;
    const bool marked_;
    HWND window_ = nullptr;
    HBITMAP scaledPicture_ = nullptr;
    MnemonicPicker mnemonics_;
};

INT_PTR CALLBACK dialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* view = reinterpret_cast<Win32DialogView*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        view->attach(window);
        return view->handler().onInitDialog(*view) ? TRUE : FALSE;
    }
    auto* view = reinterpret_cast<Win32DialogView*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!view)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        return view->handler().onCommand(*view, LOWORD(wParam)) ? TRUE : FALSE;
    case WM_HSCROLL:
        return view->handler().onSlider(*view, LOWORD(wParam)) ? TRUE : FALSE;
    case WM_DESTROY:
        RemovePropW(window, kOpenSettingsMark);
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

// The dialogs take the icon from the program's own resources.
void setDialogIcon(std::span<const uint8_t>) {}

int runDialog(int templateId, DialogHandler& handler, uintptr_t owner)
{
    // The trackbars are common controls: their window class exists only once this has run.
    static const bool commonControls = [] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
        return InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)commonControls;
    HWND ownerWindow = reinterpret_cast<HWND>(owner);
    // A stale handle on the command line still gets the dialog, just without an owner.
    if (ownerWindow && !IsWindow(ownerWindow))
        ownerWindow = nullptr;
    // Configure clicked again while the dialog is open: that one comes forward, and this start
    // ends as Cancel would.
    HANDLE onlySettings = nullptr;
    if (templateId == kSettingsDialogTemplate) {
        onlySettings = CreateMutexW(nullptr, FALSE, kOpenSettingsMutex);
        if (onlySettings && GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(onlySettings);
            raiseOpenSettings();
            return dialog_id::kCancel;
        }
    }
    Win32DialogView view(handler, templateId == kSettingsDialogTemplate);
    const INT_PTR result = DialogBoxParamW(win32_detail::moduleInstance(), MAKEINTRESOURCEW(templateId), ownerWindow,
                                           dialogProcedure, reinterpret_cast<LPARAM>(&view));
    if (onlySettings)
        CloseHandle(onlySettings);
    return view.window() ? static_cast<int>(result) : -1;
}

}  // namespace platform
