// Temporary files. Windows keeps a loaded DLL's file open, so the copy is deleted only after
// FreeLibrary; there is no loading from memory. Paths are UTF-8 here and wide for the system.
#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

namespace platform {

using win32_detail::narrow;
using win32_detail::widen;

bool writeTempFile(char* path, size_t capacity, const std::string& directory, const char* prefix,
                   std::span<const uint8_t> bytes)
{
    if (capacity == 0)
        return false;
    path[0] = '\0';
    wchar_t name[MAX_PATH] = {};
    // GetTempFileNameW creates the file, so the unique name is ours from here on.
    if (directory.empty() || GetTempFileNameW(widen(directory).c_str(), widen(prefix).c_str(), 0, name) == 0)
        return false;
    const std::string utf8 = narrow(name);
    if (utf8.empty() || utf8.size() >= capacity) {
        DeleteFileW(name);
        return false;
    }
    std::memcpy(path, utf8.c_str(), utf8.size() + 1);
    const HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = file != INVALID_HANDLE_VALUE;
    size_t written = 0;
    while (ok && written < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - written, 1u << 30));
        DWORD count = 0;
        ok = WriteFile(file, bytes.data() + written, chunk, &count, nullptr) && count > 0;
        written += count;
    }
    if (file != INVALID_HANDLE_VALUE)
        ok = CloseHandle(file) && ok;
    if (!ok) {
        deleteFile(path);
        path[0] = '\0';
    }
    return ok;
}

bool deleteFile(const char* path)
{
    if (!path || path[0] == '\0')
        return true;
    if (DeleteFileW(widen(path).c_str()))
        return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

void* loadLibraryFromMemory(std::span<const uint8_t>, const char*) { return nullptr; }

}  // namespace platform
