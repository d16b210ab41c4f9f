// Embedded resources from the module's own resource section (resources/win32/vesiclar.rc).
#include <cstring>

#include "data/resources.h"
#include "platform/win32/win32_internal.h"

std::span<const uint8_t> findResource(const char* type, int id)
{
    // Bitmaps are the system's own type (stored without the file header); the program's icon is
    // kept as icon pieces that windows take with LoadIcon, never as bytes.
    LPCSTR systemType = type;
    if (std::strcmp(type, "BITMAP") == 0)
        systemType = MAKEINTRESOURCEA(2);  // RT_BITMAP
    else if (std::strcmp(type, "ICON") == 0)
        return {};
    const HMODULE module = platform::win32_detail::moduleInstance();
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), systemType);
    if (!found)
        return {};
    const HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        return {};
    return {static_cast<const uint8_t*>(bytes), SizeofResource(module, found)};
}
