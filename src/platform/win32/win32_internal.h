#pragma once

// What the Windows files of the platform tell each other.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace platform::win32_detail {

// Our texts are UTF-8; the string tables may still hold the Cyrillic code page they were first
// written in. Either way the result is what a wide (W) function shows correctly.
std::wstring widen(const std::string& text);
// A wide text as UTF-8: paths from the system keep every character, whatever the ANSI code page.
std::string narrow(const std::wstring& text);

// The executable's own module: its resources and window classes.
HINSTANCE moduleInstance();

// The run's GL window and its device context; null when there is none.
HWND glWindow();
HDC glDeviceContext();

// Where the adapter that lay over `enumeratedArea` when the adapters were listed lies now; the
// area itself when no listed adapter lay there.
RECT displayAreaNow(const RECT& enumeratedArea);

}  // namespace platform::win32_detail
