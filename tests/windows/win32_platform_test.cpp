// What is new on Windows: the registry store, the module's resources, text for the W functions,
// the log's line ends, display adapters as Wine reports them, temporary files and the messages
// the system sends the run's window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "app/preview.h"
#include "data/log.h"
#include "data/resources.h"
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"
#include "test_support.h"

namespace {

std::string readBinary(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A key of its own under HKEY_CURRENT_USER, removed afterwards.
class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        key = "Software\\Quorvane\\VesiclarTest" + std::to_string(std::random_device{}());
        platform::setSettingsStoreFile(key);
    }
    void TearDown() override
    {
        RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
        platform::setSettingsStoreFile("");
    }
    bool keyExists() const
    {
        HKEY handle = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
            return false;
        RegCloseKey(handle);
        return true;
    }
    void put(const char* name, DWORD type, const void* data, DWORD size)
    {
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(handle);
    }

    std::string key;
};

}  // namespace

TEST_F(RegistryStoreTest, ReadingAMissingKeyNeverCreatesIt)
{
    platform::SettingsStore store;
    EXPECT_TRUE(store.open()) << "a missing key is an empty one";
    uint32_t value = 7;
    EXPECT_FALSE(store.readNumber("Width", value));
    EXPECT_EQ(value, 7u);
    EXPECT_TRUE(store.close());
    EXPECT_FALSE(keyExists()) << "a run must leave the registry as it found it";
}

TEST_F(RegistryStoreTest, WrittenNumbersAreDwordsAndReadBack)
{
    platform::SettingsStore store;
    ASSERT_TRUE(store.open());
    store.writeNumber("Width", 1280);
    store.writeNumber("ShowClock", 0);
    EXPECT_FALSE(keyExists()) << "writes reach the registry at close";
    ASSERT_TRUE(store.close());

    HKEY handle = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle), ERROR_SUCCESS);
    DWORD type = 0, number = 0, size = sizeof number;
    EXPECT_EQ(RegQueryValueExA(handle, "Width", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(number, 1280u);
    RegCloseKey(handle);

    ASSERT_TRUE(store.open());
    uint32_t value = 0;
    EXPECT_TRUE(store.readNumber("ShowClock", value));
    EXPECT_EQ(value, 0u);
    store.close();
}

TEST_F(RegistryStoreTest, ValuesOfTheWrongTypeOrSizeReadAsAbsentAndPathIsText)
{
    const char path[] = "C:\\Program Files\\Vesiclar";
    put("Path", REG_SZ, path, sizeof path);
    put("Width", REG_SZ, "800", 4);
    const uint64_t wide = 640;
    put("Height", REG_QWORD, &wide, sizeof wide);
    const DWORD depth = 16;
    put("Depth", REG_BINARY, &depth, sizeof depth);

    platform::SettingsStore store;
    ASSERT_TRUE(store.open());
    uint32_t value = 0;
    EXPECT_FALSE(store.readNumber("Width", value));
    EXPECT_FALSE(store.readNumber("Height", value));
    EXPECT_FALSE(store.readNumber("Depth", value));
    std::string text;
    EXPECT_TRUE(store.readText("Path", text));
    EXPECT_EQ(text, path);
    EXPECT_FALSE(store.readText("Width2", text));
    store.close();
}

TEST(Win32Resources, TheModuleCarriesTheManifestResources)
{
    const auto archive = findResource(kCustomData, 129);
    ASSERT_GE(archive.size(), 7u);
    EXPECT_EQ(std::memcmp(archive.data(), "Rar!\x1a\x07\x00", 7), 0);
    EXPECT_FALSE(findResource(kCustomData, 116).empty());
    EXPECT_FALSE(findResource(kCustomData, 117).empty());
    for (int id : {119, 120, 121, 122, 125})
        EXPECT_FALSE(findResource(kCustomData, id).empty()) << id;
    EXPECT_TRUE(findResource(kCustomData, 118).empty());

    // Bitmap resources lose their file header; the decoder takes them as they are.
    Picture preview;
    ASSERT_TRUE(decodeBitmap(findResource("BITMAP", 112), preview));
    EXPECT_EQ(preview.width, 155);
    EXPECT_EQ(preview.height, 115);
    Picture dialog;
    ASSERT_TRUE(decodeBitmap(findResource("BITMAP", 107), dialog));
    EXPECT_EQ(dialog.width, 263);
    EXPECT_EQ(dialog.height, 180);
}

TEST(Win32Text, Utf8AndTheCyrillicCodePageBothWidenCorrectly)
{
    using platform::win32_detail::widen;
    EXPECT_EQ(widen("\xc2\xa9 2026 Quorvane"), L"\u00a9 2026 Quorvane");
    EXPECT_EQ(widen("\xd0\x9d\xd0\xb5 \xd0\xbd\xd0\xb0\xd0\xb9\xd0\xb4\xd0\xb5\xd0\xbd"), L"\u041d\u0435 \u043d\u0430\u0439\u0434\u0435\u043d");
    // Not UTF-8: the tables' old code page, 1251.
    EXPECT_EQ(widen("\xcd\xe5"), L"\u041d\u0435");
    EXPECT_EQ(widen(""), L"");
}

TEST(Win32Log, LinesEndInCarriageReturnLineFeed)
{
    ScratchFolder folder;
    ASSERT_TRUE(platform::setCurrentDirectory(folder.path()));
    Log::instance().section("Start screensaver").write("Intialize timer...").done().write("EXIT");
    EXPECT_EQ(readBinary(folder.file("log.txt")),
              "............... Start screensaver ...............\r\nIntialize timer...done\r\nEXIT");
}

TEST(Win32Displays, TheDesktopIsOneAttachedPrimaryAdapter)
{
    platform::AdapterInfo adapter;
    ASSERT_TRUE(platform::displayAdapter(0, adapter));
    EXPECT_TRUE(adapter.attached);
    EXPECT_TRUE(adapter.primary);
    EXPECT_FALSE(adapter.mirroring);
    EXPECT_NE(adapter.monitor, nullptr);
    int width = 0, height = 0, bits = 0;
    ASSERT_TRUE(platform::desktopMode(width, height, bits));
    EXPECT_EQ(adapter.width, width);
    EXPECT_EQ(adapter.height, height);
    EXPECT_GE(bits, 16);
    bool listed = false;
    platform::DisplayMode mode;
    for (int i = 0; platform::displayMode(i, mode); ++i)
        listed = listed || (mode.width == width && mode.height == height);
    EXPECT_TRUE(listed) << "the desktop's own mode is among the modes";
}

TEST(Win32TempFiles, ACopyHasTheBasPrefixAndItsBytesAndIsDeleted)
{
    char path[MAX_PATH] = {};
    const std::string bytes = "MZ library image";
    ASSERT_TRUE(platform::writeTempFile(path, sizeof path, platform::tempDirectory(), "bas", bytesOf(bytes)));
    const std::string name = std::strrchr(path, '\\') + 1;
    EXPECT_EQ(name.substr(0, 3), "bas");
    EXPECT_EQ(readBinary(path), bytes);
    platform::deleteFile(path);
    EXPECT_EQ(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES);
}

namespace {

// Sets a process environment variable for as long as it lives.
class EnvironmentOverride {
public:
    EnvironmentOverride(const wchar_t* name, const std::wstring& value) : name_(name)
    {
        wchar_t old[32768];
        const DWORD length = GetEnvironmentVariableW(name, old, 32768);
        had_ = length > 0 && length < 32768;
        if (had_)
            old_.assign(old, length);
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~EnvironmentOverride() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

private:
    const wchar_t* name_;
    std::wstring old_;
    bool had_ = false;
};

}  // namespace

// A user named outside the system's ANSI code page (a Japanese name on a Western system) has such
// a temporary folder; seen through the ANSI functions it does not exist, so the log was lost and
// the library copy could not be made, which ended every run with music at once.
TEST(Win32TempFiles, AFolderNamedOutsideTheCodePageTakesTheLogAndTheLibraryCopy)
{
    wchar_t base[MAX_PATH + 1] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH + 1, base), 0u);
    const std::wstring folder = std::wstring(base) + L"\u7530\u4e2d \u0141ukasz " + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    wchar_t startDirectory[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, startDirectory);
    {
        EnvironmentOverride tmp(L"TMP", folder), temp(L"TEMP", folder);
        const std::string directory = platform::tempDirectory();
        EXPECT_EQ(platform::win32_detail::widen(directory), folder + L"\\");

        ASSERT_TRUE(platform::setCurrentDirectory(directory));
        wchar_t current[MAX_PATH + 1] = {};
        GetCurrentDirectoryW(MAX_PATH + 1, current);
        EXPECT_EQ(std::wstring(current), folder) << "where the log is opened";

        char path[MAX_PATH] = {};
        ASSERT_TRUE(platform::writeTempFile(path, sizeof path, directory, "bas", findResource("BASS", 128)));
        const std::wstring copy = platform::win32_detail::widen(path);
        EXPECT_EQ(copy.substr(0, folder.size() + 4), folder + L"\\bas");
        void* library = platform::loadLibrary(path);
        EXPECT_NE(platform::librarySymbol(library, "BASS_Init"), nullptr);
        platform::freeLibrary(library);
        EXPECT_TRUE(platform::deleteFile(path));
        EXPECT_EQ(GetFileAttributesW(copy.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    SetCurrentDirectoryW(startDirectory);
    EXPECT_TRUE(RemoveDirectoryW(folder.c_str())) << "nothing left in it";
}

namespace {

void sendInput(std::initializer_list<INPUT> inputs)
{
    for (INPUT input : inputs)
        SendInput(1, &input, sizeof input);
}

INPUT mouseButton(DWORD flags)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    return input;
}

INPUT key(WORD code, DWORD flags)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = code;
    input.ki.dwFlags = flags;
    return input;
}

// Everything queued for the run's windows within a while, as the main loop would take it.
std::vector<platform::EventType> eventsWithin(DWORD milliseconds)
{
    std::vector<platform::EventType> types;
    const DWORD until = GetTickCount() + milliseconds;
    do {
        platform::Event event;
        while (platform::pollEvent(event))
            types.push_back(event.type);
        Sleep(20);
    } while (static_cast<LONG>(until - GetTickCount()) > 0);
    return types;
}

}  // namespace

// What the system sends the run's windows. A click on a second display's black cover does not end
// the run, but must not take the keyboard from the GL window either, or no key would end it. At
// log-off or shutdown the system may end the process as soon as WM_ENDSESSION returns: by then the
// run must be on its way out (the screen is given back in the same step).
TEST(Win32Run, CoverClicksLeaveTheKeysToTheRunAndEndingTheSessionEndsIt)
{
    void* window = platform::createGlWindow(0, 0, 300, 200);
    void* cover = platform::createCoverWindow(400, 0, 300, 200);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(cover, nullptr);
    platform::showWindow(window, SW_SHOWNORMAL);
    platform::focusWindow(window);
    eventsWithin(300);

    SetCursorPos(550, 100);
    sendInput({mouseButton(MOUSEEVENTF_LEFTDOWN), mouseButton(MOUSEEVENTF_LEFTUP)});
    const std::vector<platform::EventType> afterClick = eventsWithin(300);
    EXPECT_EQ(std::count(afterClick.begin(), afterClick.end(), platform::EventType::ButtonDown), 0)
        << "the cover's input never reaches the run";
    sendInput({key(VK_SPACE, 0), key(VK_SPACE, KEYEVENTF_KEYUP)});
    const std::vector<platform::EventType> afterKey = eventsWithin(300);
    EXPECT_EQ(std::count(afterKey.begin(), afterKey.end(), platform::EventType::KeyDown), 1);

    const HWND hwnd = static_cast<HWND>(window);
    EXPECT_NE(SendMessageA(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 0) << "the session may end";
    SendMessageA(hwnd, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    const std::vector<platform::EventType> afterEnd = eventsWithin(0);
    EXPECT_EQ(std::count(afterEnd.begin(), afterEnd.end(), platform::EventType::Close), 1);
    platform::closeWindow(cover);
    platform::closeWindow(window);
}

namespace {

constexpr int kHostWidth = 200, kHostHeight = 150;
bool gPreviewPainted = false;
HWND gPreviewParent = nullptr;

// Runs inside the preview's own message loop: once the picture is on the screen, the host goes.
void CALLBACK checkPreview(HWND, UINT, UINT_PTR timer, DWORD)
{
    static int attempts = 0;
    const Picture* expected = reinterpret_cast<const Picture*>(GetPropA(gPreviewParent, "picture"));
    POINT origin{0, 0};
    ClientToScreen(gPreviewParent, &origin);
    HDC screen = GetDC(nullptr);
    size_t wrong = 0;
    for (int y = 0; y < kHostHeight; y += 7)
        for (int x = 0; x < kHostWidth; x += 5) {
            const COLORREF shown = GetPixel(screen, origin.x + x, origin.y + y);
            const bool inPicture = x < expected->width && y < expected->height;
            const uint32_t rgb = inPicture ? expected->pixels[static_cast<size_t>(y) * expected->width + x] : 0;
            wrong += shown != RGB((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
        }
    ReleaseDC(nullptr, screen);
    gPreviewPainted = wrong == 0;
    if (gPreviewPainted || ++attempts > 40) {
        KillTimer(nullptr, timer);
        DestroyWindow(gPreviewParent);
    }
}

}  // namespace

TEST(Win32Preview, PaintsBitmap112AtItsOwnSizeOnBlackAndEndsWithItsParent)
{
    Picture picture;
    ASSERT_TRUE(decodeBitmap(findResource("BITMAP", 112), picture));
    WNDCLASSA hostClass{};
    hostClass.lpfnWndProc = DefWindowProcA;
    hostClass.hInstance = GetModuleHandleA(nullptr);
    hostClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    hostClass.lpszClassName = "PreviewTestHost";
    RegisterClassA(&hostClass);
    RECT frame{0, 0, kHostWidth, kHostHeight};
    AdjustWindowRect(&frame, WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, FALSE);
    gPreviewParent = CreateWindowExA(WS_EX_TOPMOST, "PreviewTestHost", "", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 40,
                                     40, kHostWidth, kHostHeight, nullptr, nullptr, hostClass.hInstance, nullptr);
    ASSERT_NE(gPreviewParent, nullptr);
    SetPropA(gPreviewParent, "picture", &picture);
    SetTimer(nullptr, 0, 100, checkPreview);

    platform::PreviewImage image{picture.width, picture.height, picture.pixels};
    EXPECT_TRUE(platform::runPreviewWindow(reinterpret_cast<uintptr_t>(gPreviewParent), image, SW_SHOWNORMAL))
        << "returns once the parent has gone";
    EXPECT_TRUE(gPreviewPainted) << "bitmap 112 at the top left, black beside and below it";
    EXPECT_FALSE(IsWindow(gPreviewParent));
}

TEST(Win32Preview, NoParentMeansNoWindow)
{
    platform::PreviewImage image;
    EXPECT_FALSE(platform::runPreviewWindow(0, image, SW_SHOWNORMAL));
}

TEST(Win32Resources, VersionManifestAndDialogTemplatesAreInTheModule)
{
    // The Screen Saver settings list shows the file description.
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    std::string info(GetFileVersionInfoSizeA(path, &ignored), '\0');
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, static_cast<DWORD>(info.size()), info.data()));
    char* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904b0\\FileDescription",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(text, "Vesiclar");
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904b0\\CompanyName",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(text, "Quorvane");

    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC manifest = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(manifest, nullptr);
    const std::string xml(static_cast<const char*>(LockResource(LoadResource(module, manifest))),
                          SizeofResource(module, manifest));
    for (const char* part : {"PerMonitorV2", "Microsoft.Windows.Common-Controls", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                             "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
        EXPECT_NE(xml.find(part), std::string::npos) << part;

    for (int id : {101, 105})
        EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5)), nullptr) << "dialog " << id;
    EXPECT_NE(LoadIconA(module, MAKEINTRESOURCEA(111)), nullptr);
}
