// Display adapters and modes. The multi-monitor functions are looked up in USER32 at run time and
// used only when every one of them is there and the virtual screen covers the primary one;
// otherwise there is no adapter at all.
#include <array>
#include <cstring>

#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

namespace platform {

namespace {

struct MonitorFunctions {
    decltype(&GetSystemMetrics) getSystemMetrics = nullptr;
    decltype(&MonitorFromWindow) monitorFromWindow = nullptr;
    decltype(&MonitorFromRect) monitorFromRect = nullptr;
    decltype(&MonitorFromPoint) monitorFromPoint = nullptr;
    decltype(&EnumDisplayMonitors) enumDisplayMonitors = nullptr;
    decltype(&GetMonitorInfoA) getMonitorInfo = nullptr;
    decltype(&EnumDisplayDevicesA) enumDisplayDevices = nullptr;
    bool usable = false;
};

template <typename F>
void lookUp(HMODULE user32, const char* name, F& slot)
{
    slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

const MonitorFunctions& monitorFunctions()
{
    static const MonitorFunctions functions = [] {
        MonitorFunctions f;
        const HMODULE user32 = GetModuleHandleA("USER32");
        if (!user32)
            return f;
        lookUp(user32, "GetSystemMetrics", f.getSystemMetrics);
        lookUp(user32, "MonitorFromWindow", f.monitorFromWindow);
        lookUp(user32, "MonitorFromRect", f.monitorFromRect);
        lookUp(user32, "MonitorFromPoint", f.monitorFromPoint);
        lookUp(user32, "EnumDisplayMonitors", f.enumDisplayMonitors);
        lookUp(user32, "GetMonitorInfoA", f.getMonitorInfo);
        lookUp(user32, "EnumDisplayDevicesA", f.enumDisplayDevices);
        f.usable = f.getSystemMetrics && f.monitorFromWindow && f.monitorFromRect && f.monitorFromPoint &&
                   f.enumDisplayMonitors && f.getMonitorInfo && f.enumDisplayDevices &&
                   f.getSystemMetrics(SM_CXVIRTUALSCREEN) >= f.getSystemMetrics(SM_CXSCREEN) &&
                   f.getSystemMetrics(SM_CYVIRTUALSCREEN) >= f.getSystemMetrics(SM_CYSCREEN);
        return f;
    }();
    return functions;
}

DEVMODEA emptyMode()
{
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    return mode;
}

// The attached adapters as enumerated: where each lay then, and the device to ask where it lies
// now. Changing the primary's mode makes the system lay the desktop out again.
struct EnumeratedAdapter {
    RECT area{};
    char device[sizeof DISPLAY_DEVICEA::DeviceName] = {};
};
std::array<EnumeratedAdapter, 16> gEnumerated;
size_t gEnumeratedCount = 0;

}  // namespace

bool displayAdapter(int index, AdapterInfo& out)
{
    const MonitorFunctions& f = monitorFunctions();
    if (!f.usable || index < 0)
        return false;
    DISPLAY_DEVICEA adapter{};
    adapter.cb = sizeof adapter;
    if (!f.enumDisplayDevices(nullptr, static_cast<DWORD>(index), &adapter, 0))
        return false;
    if (index == 0)
        gEnumeratedCount = 0;
    DISPLAY_DEVICEA monitor{};
    monitor.cb = sizeof monitor;
    f.enumDisplayDevices(adapter.DeviceName, 0, &monitor, 0);

    out = {};
    out.adapterName = adapter.DeviceString;
    out.monitorName = monitor.DeviceString;
    out.mirroring = (adapter.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER) != 0;
    out.attached = (adapter.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) != 0;
    out.primary = (adapter.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) != 0;
    if (out.attached) {
        DEVMODEA mode = emptyMode();
        EnumDisplaySettingsA(adapter.DeviceName, ENUM_CURRENT_SETTINGS, &mode);
        out.x = mode.dmPosition.x;
        out.y = mode.dmPosition.y;
        out.width = static_cast<int>(mode.dmPelsWidth);
        out.height = static_cast<int>(mode.dmPelsHeight);
        const LONG left = out.primary ? 0 : out.x, top = out.primary ? 0 : out.y;
        const RECT bounds{left, top, left + out.width, top + out.height};
        out.monitor = f.monitorFromRect(&bounds, MONITOR_DEFAULTTONULL);
        if (gEnumeratedCount < gEnumerated.size()) {
            EnumeratedAdapter& known = gEnumerated[gEnumeratedCount++];
            known.area = {out.x, out.y, out.x + out.width, out.y + out.height};
            std::memcpy(known.device, adapter.DeviceName, sizeof known.device);
        }
    }
    return true;
}

namespace win32_detail {

RECT displayAreaNow(const RECT& enumeratedArea)
{
    for (size_t i = 0; i < gEnumeratedCount; ++i) {
        const EnumeratedAdapter& known = gEnumerated[i];
        if (!EqualRect(&known.area, &enumeratedArea))
            continue;
        DEVMODEA mode = emptyMode();
        if (!EnumDisplaySettingsA(known.device, ENUM_CURRENT_SETTINGS, &mode) || mode.dmPelsWidth == 0 ||
            mode.dmPelsHeight == 0)
            break;
        return {mode.dmPosition.x, mode.dmPosition.y, mode.dmPosition.x + static_cast<LONG>(mode.dmPelsWidth),
                mode.dmPosition.y + static_cast<LONG>(mode.dmPelsHeight)};
    }
    return enumeratedArea;
}

}  // namespace win32_detail

bool desktopMode(int& width, int& height, int& bitsPerPixel)
{
    DEVMODEA mode = emptyMode();
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode))
        return false;
    width = static_cast<int>(mode.dmPelsWidth);
    height = static_cast<int>(mode.dmPelsHeight);
    bitsPerPixel = static_cast<int>(mode.dmBitsPerPel);
    return true;
}

bool displayMode(int index, DisplayMode& out)
{
    DEVMODEA mode = emptyMode();
    if (index < 0 || !EnumDisplaySettingsA(nullptr, static_cast<DWORD>(index), &mode))
        return false;
    out.width = static_cast<int>(mode.dmPelsWidth);
    out.height = static_cast<int>(mode.dmPelsHeight);
    out.bitsPerPixel = static_cast<int>(mode.dmBitsPerPel);
    out.refreshRate = static_cast<int>(mode.dmDisplayFrequency);
    return true;
}

}  // namespace platform
