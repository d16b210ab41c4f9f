// Time, folders, dynamic libraries, message boxes and the web: the small kernel and shell services.
#include "platform/platform.h"
#include "platform/platform_common.h"
#include "platform/win32/win32_internal.h"

#include <shellapi.h>

namespace platform {

namespace win32_detail {

std::wstring widen(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    UINT codePage = CP_UTF8;
    DWORD flags = MB_ERR_INVALID_CHARS;
    if (count <= 0) {
        codePage = 1251;
        flags = 0;
        count = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    }
    if (count <= 0)
        return std::wstring(text.size(), L'?');
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), count);
    return wide;
}

std::string narrow(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (count <= 0)
        return {};
    std::string utf8(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), count, nullptr, nullptr);
    return utf8;
}

HINSTANCE moduleInstance() { return GetModuleHandleA(nullptr); }

}  // namespace win32_detail

uint64_t counterTicks()
{
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    return static_cast<uint64_t>(count.QuadPart);
}

uint64_t counterFrequency()
{
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return static_cast<uint64_t>(frequency.QuadPart);
}

LocalTime localTime()
{
    if (LocalTime fixed; fixedLocalTime(fixed))
        return fixed;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wHour, now.wMinute, now.wSecond};
}

// Paths go through the wide functions: the ANSI ones turn a user name outside the code page
// into question marks, a folder that does not exist.
std::string tempDirectory()
{
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, path);
    // Zero is failure; a length past the buffer is the size the path would need.
    if (length == 0 || length > MAX_PATH)
        return {};
    return win32_detail::narrow(std::wstring(path, length));
}

bool setCurrentDirectory(const std::string& path)
{
    return !path.empty() && SetCurrentDirectoryW(win32_detail::widen(path).c_str());
}

void showMessageBox(const std::string& text, const std::string& caption)
{
    MessageBoxW(nullptr, win32_detail::widen(text).c_str(), win32_detail::widen(caption).c_str(), MB_OK);
}

void* loadLibrary(const std::string& path) { return LoadLibraryW(win32_detail::widen(path).c_str()); }

void* librarySymbol(void* library, const char* name)
{
    return library ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name)) : nullptr;
}

void freeLibrary(void* library)
{
    if (library)
        FreeLibrary(static_cast<HMODULE>(library));
}

void openWebAddress(const std::string& url)
{
    ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// Windows has no signals to catch; closing and ending the session reach the run as window messages.
void installStopSignals() {}

bool stopRequested() { return false; }

// Windows hosts start no hosted runs.
bool claimHostedMusic() { return true; }

}  // namespace platform
