// The settings dialog and the about box on Windows: the templates 101 and 105 are in the
// resources, but their Win32 view is not built yet, so the dialog says so plainly and reports
// that it could not be shown.
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

namespace platform {

void setDialogIcon(std::span<const uint8_t>) {}

int runDialog(int, DialogHandler&, uintptr_t owner)
{
    MessageBoxW(reinterpret_cast<HWND>(owner),
                L"The settings dialog is not available in this build of Vesiclar.\n"
                L"The screen saver runs with the settings stored in the registry.",
                L"Vesiclar", MB_OK | MB_ICONINFORMATION);
    return -1;
}

}  // namespace platform
