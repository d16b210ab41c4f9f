#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/displays.h"

namespace {

std::vector<platform::AdapterInfo> adapters;

bool fakeAdapter(int index, platform::AdapterInfo& out)
{
    if (index < 0 || index >= static_cast<int>(adapters.size())) return false;
    out = adapters[index];
    return true;
}

platform::AdapterInfo attached(const char* name, int x, int width, bool primary)
{
    static int monitor;  // only ever compared with null
    platform::AdapterInfo a;
    a.adapterName = name;
    a.attached = true;
    a.primary = primary;
    a.x = x;
    a.width = width;
    a.height = 768;
    a.monitor = &monitor;
    return a;
}

}  // namespace

// The run's window goes on the first attached entry, in the primary's mode: whatever order the
// system numbers its adapters in, the primary comes first and the others keep their order.
TEST(Displays, ThePrimaryComesFirstWhereverTheSystemListsIt)
{
    platform::AdapterInfo mirror;
    mirror.mirroring = true;
    platform::AdapterInfo idle;
    idle.adapterName = "idle";
    adapters = {attached("panel", -1366, 1366, false), mirror, idle, attached("external", 0, 1920, true),
                attached("third", 1920, 1024, false)};
    ScreensaverApp app;
    enumerateDisplays(app, fakeAdapter);
    ASSERT_EQ(app.displayCount, 4u);
    const std::vector<std::string> order = {app.displays[0].adapterName, app.displays[1].adapterName,
                                            app.displays[2].adapterName, app.displays[3].adapterName};
    EXPECT_EQ(order, (std::vector<std::string>{"external", "panel", "idle", "third"}));
    EXPECT_EQ(app.displays[0].bounds.left, 0);
    EXPECT_EQ(app.displays[0].bounds.right, 1920);
    EXPECT_EQ(app.displays[1].bounds.left, -1366);
    EXPECT_EQ(app.displays[2].monitor, nullptr);

    // Listed first already, or with no primary at all, the order stays.
    adapters = {attached("external", 0, 1920, true), attached("panel", -1366, 1366, false)};
    enumerateDisplays(app, fakeAdapter);
    EXPECT_EQ(std::string(app.displays[0].adapterName), "external");
    adapters[0].primary = false;
    enumerateDisplays(app, fakeAdapter);
    EXPECT_EQ(std::string(app.displays[0].adapterName), "external");
    adapters.clear();
    enumerateDisplays(app, fakeAdapter);
    EXPECT_EQ(app.displayCount, 0u);
}
