// Reads another program's dialog the way a user sees it: for each control its id, kind, text,
// state, and whether its text fits inside it at the size the template gave it.
//
//   dialog_probe.exe CAPTION       one line per control; exit code 1 when no such dialog is open
//
// Lines: "<id> <kind> enabled=<0|1> [checked=<0|1>] [position=<n>] [selected=<entry>] [entries=<n>]
// box=<left>,<top>,<right>,<bottom> fits=<0|1> text=<text>", the box in the dialog's client area, the
// text in UTF-8 with "&" marking the access key as the control has it.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring windowText(HWND window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Room the control leaves its text: a checkbox's box and a button's edges take their share.
bool textFits(HWND control, const std::wstring& kind, LONG style, const std::wstring& text)
{
    if (text.empty())
        return true;
    RECT client{};
    GetClientRect(control, &client);
    // The templates' font, made as the dialog manager makes it: a font handle does not cross
    // from the dialog's process into this one.
    const HDC dc = GetDC(control);
    const HFONT font = CreateFontW(-MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                   FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   DEFAULT_PITCH | FF_DONTCARE, L"Microsoft Sans Serif");
    const HGDIOBJ old = SelectObject(dc, font);
    RECT needed{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(control, dc);
    LONG room = client.right - client.left;
    if (kind == L"Button") {
        const LONG type = style & BS_TYPEMASK;
        if (type == BS_GROUPBOX)
            room -= 2 * GetSystemMetrics(SM_CXEDGE) + 8;
        else if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)
            room -= 2 * GetSystemMetrics(SM_CXEDGE) + 2;
        else
            room -= GetSystemMetrics(SM_CXMENUCHECK) + 3;
    }
    const bool fits = needed.right - needed.left <= room && needed.bottom - needed.top <= client.bottom - client.top;
    if (!fits)
        std::fprintf(stderr, "control %d: text %ldx%ld, room %ldx%ld\n", GetDlgCtrlID(control), needed.right - needed.left,
                     needed.bottom - needed.top, room, client.bottom - client.top);
    return fits;
}

BOOL CALLBACK describe(HWND control, LPARAM)
{
    wchar_t kindBuffer[64] = {};
    GetClassNameW(control, kindBuffer, 64);
    const std::wstring kind = kindBuffer;
    const LONG style = static_cast<LONG>(GetWindowLongPtrW(control, GWL_STYLE));
    const std::wstring text = windowText(control);
    std::string line = std::to_string(GetDlgCtrlID(control)) + " " + utf8(kind) +
                       " enabled=" + (IsWindowEnabled(control) ? "1" : "0");
    if (kind == L"Button" && (style & BS_TYPEMASK) != BS_GROUPBOX && (style & BS_TYPEMASK) > BS_DEFPUSHBUTTON)
        line += std::string(" checked=") + (SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? "1" : "0");
    if (kind == TRACKBAR_CLASSW)
        line += " position=" + std::to_string(SendMessageW(control, TBM_GETPOS, 0, 0));
    if (kind == L"ComboBox") {
        const LRESULT selected = SendMessageW(control, CB_GETCURSEL, 0, 0);
        std::wstring entry;
        if (selected != CB_ERR) {
            entry.resize(static_cast<size_t>(SendMessageW(control, CB_GETLBTEXTLEN, selected, 0)) + 1);
            entry.resize(static_cast<size_t>(
                SendMessageW(control, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(entry.data()))));
        }
        line += " selected=" + (selected == CB_ERR ? std::string("none") : utf8(entry));
        line += " entries=" + std::to_string(SendMessageW(control, CB_GETCOUNT, 0, 0));
    }
    // Where the control lies in the dialog's client area: left, top, right, bottom.
    RECT box{};
    GetWindowRect(control, &box);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&box), 2);
    line += " box=" + std::to_string(box.left) + "," + std::to_string(box.top) + "," + std::to_string(box.right) + "," +
            std::to_string(box.bottom);
    const bool image = kind == L"Static" && (style & SS_TYPEMASK) == SS_BITMAP;
    line += std::string(" fits=") + (image || textFits(control, kind, style, text) ? "1" : "0");
    line += " text=" + (image ? std::string() : utf8(text));
    std::printf("%s\n", line.c_str());
    return TRUE;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialog_probe.exe CAPTION\n");
        return 2;
    }
    const HWND dialog = FindWindowA("#32770", argv[1]);
    if (!dialog)
        return 1;
    RECT bounds{};
    GetWindowRect(dialog, &bounds);
    std::printf("dialog %ld %ld %ld %ld\n", bounds.left, bounds.top, bounds.right - bounds.left,
                bounds.bottom - bounds.top);
    EnumChildWindows(dialog, describe, 0);
    return 0;
}
