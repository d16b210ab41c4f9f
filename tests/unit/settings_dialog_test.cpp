#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "app/entry.h"
#include "app/settings_store.h"
#include "data/text_tables.h"
#include "fake_dialog_view.h"
#include "test_support.h"
#include "ui/about_box.h"
#include "ui/settings_dialog.h"

using namespace dialog_id;

namespace {

using Modes = std::vector<platform::DisplayMode>;

DisplayModeSource sourceOf(const Modes& modes, platform::DisplayMode desktop = {1024, 768, 32, 60})
{
    DisplayModeSource source;
    source.mode = [modes](int index, platform::DisplayMode& out) {
        if (index < 0 || static_cast<size_t>(index) >= modes.size())
            return false;
        out = modes[static_cast<size_t>(index)];
        return true;
    };
    source.desktop = [desktop](int& w, int& h, int& bits) {
        if (desktop.width == 0)
            return false;
        w = desktop.width;
        h = desktop.height;
        bits = desktop.bitsPerPixel;
        return true;
    };
    return source;
}

// What a typical driver lists: largest first, refresh-rate variants side by side.
const Modes kDriverModes = {
    {1280, 1024, 32, 75}, {1280, 1024, 32, 60}, {1024, 768, 32, 85}, {1024, 768, 32, 60},
    {800, 600, 32, 85},   {800, 600, 32, 75},   {800, 600, 32, 60},  {640, 480, 32, 60},
    {1024, 768, 16, 60},  {800, 600, 16, 60},   {640, 480, 8, 60},   {320, 240, 16, 60},
};

class SettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setSettingsStoreFile(folder.file("vesiclar/settings.ini"));
        loadSettingsTable();
        loadStringTable();
        currentSettings = Settings{};
        defaultSettings = Settings{};
        initFactorySettings();
        rebuildDefaultSettings();
    }
    void TearDown() override { platform::setSettingsStoreFile(""); }

    // A dialog whose OK counts its saves instead of writing.
    SettingsDialog dialog(const Modes& modes = kDriverModes, platform::DisplayMode desktop = {1024, 768, 32, 60})
    {
        return SettingsDialog(
            [this] {
                ++saves;
                return saveResult;
            },
            "https://example.org/vesiclar/", sourceOf(modes, desktop));
    }

    std::string storeText() const
    {
        std::ifstream in(folder.file("vesiclar/settings.ini"), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    ScratchFolder folder;
    FakeDialogView view;
    int saves = 0;
    bool saveResult = true;
};

TEST(ModeList, RefreshVariantsCollapseAndSmallModesAreLeftOut)
{
    const std::vector<std::string> entries = listModes(sourceOf(kDriverModes));
    const std::vector<std::string> expected = {"1280 x 1024 32 bits", "1024 x 768 32 bits", "800 x 600 32 bits",
                                               "640 x 480 32 bits",   "1024 x 768 16 bits", "800 x 600 16 bits"};
    EXPECT_EQ(entries, expected);

    // A filtered mode between two variants does not split them.
    const Modes split = {{800, 600, 32, 60}, {320, 200, 32, 60}, {800, 600, 32, 75}};
    EXPECT_EQ(listModes(sourceOf(split)).size(), 1u);
    const Modes apart = {{800, 600, 32, 60}, {640, 480, 32, 60}, {800, 600, 32, 75}};
    EXPECT_EQ(listModes(sourceOf(apart)).size(), 3u);  // not next to each other: the driver's order stands
    EXPECT_TRUE(listModes(sourceOf({{640, 479, 32, 60}, {639, 480, 32, 60}, {640, 480, 15, 60}})).empty());
    EXPECT_TRUE(listModes(sourceOf({})).empty());
}

TEST(ModeList, SelectStringSearchStartsAfterTheFirstEntryAndWraps)
{
    const std::vector<std::string> entries = {"800 x 600 32 bits", "640 x 480 32 bits", "800 x 600 32 bits"};
    EXPECT_EQ(findEntry(entries, "800 x 600 32 bits"), 2);
    EXPECT_EQ(findEntry(entries, "640 X 480"), 1);  // case does not matter, a prefix is enough
    EXPECT_EQ(findEntry({"800 x 600 32 bits"}, "800 x 600 32 bits"), 0);
    EXPECT_EQ(findEntry(entries, "1024 x 768 32 bits"), -1);
    EXPECT_EQ(findEntry({}, ""), -1);

    int w = 0, h = 0, bits = 0;
    EXPECT_TRUE(parseMode(formatMode(1920, 1080, 24), w, h, bits));
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080);
    EXPECT_EQ(bits, 24);
    EXPECT_FALSE(parseMode("1920 x", w, h, bits));
    EXPECT_EQ(w, 1920);
}

TEST_F(SettingsDialogTest, InitialisationLabelsLayoutAndControls)
{
    SettingsDialog d = dialog();
    const FakeDialogView::Rect products = view.rects[kProductsGroup];
    const FakeDialogView::Rect ok = view.rects[kOk];
    EXPECT_TRUE(d.onInitDialog(view));

    EXPECT_EQ(view.caption, "Vesiclar Configuration");
    EXPECT_EQ(view.texts[kOk], "OK");
    EXPECT_EQ(view.texts[kAbout], "About...");
    EXPECT_EQ(view.texts[kTime12], "12 hrs.");
    EXPECT_EQ(view.texts[kTime24], "24 hrs.");
    EXPECT_EQ(view.texts[kShowFps], "Show FPS");
    EXPECT_EQ(view.texts[kGammaGroup], "Gamma Control:");
    EXPECT_EQ(view.texts[kDetailMedium], "Medium");
    EXPECT_EQ(view.texts[kWebInvitation], "Visit our official web-site for more great 3D screensavers");
    EXPECT_EQ(view.texts[kVolumeLabel], "Volume (75%)");
    EXPECT_EQ(view.texts[kBrightnessLabel], "Gamma (100%)");

    // The button row closes the band under the Products group; nothing else moves.
    EXPECT_EQ(view.rects[kOk].y, ok.y - 44);
    EXPECT_EQ(view.rects[kOk].x, ok.x);
    EXPECT_EQ(view.rects[kOk].height, ok.height);
    EXPECT_EQ(view.rects[kCancel].y, ok.y - 44);
    EXPECT_EQ(view.rects[kRestoreDefaults].y, ok.y - 44);
    EXPECT_EQ(view.rects[kProductsGroup], products);
    EXPECT_EQ(view.dialog, (FakeDialogView::Rect{100, 100, 596, 357 - 44}));
    EXPECT_FALSE(view.resizedWhileVisible);
    EXPECT_TRUE(view.visible);

    // Factory settings: desktop mode, music on, default gamma, clock on in 12-hour form.
    EXPECT_TRUE(view.isChecked(kUseDesktop));
    EXPECT_TRUE(view.isChecked(kEnableMusic));
    EXPECT_TRUE(view.isChecked(kDefaultGamma));
    EXPECT_TRUE(view.isChecked(kShowTime));
    EXPECT_TRUE(view.isChecked(kTime12));
    EXPECT_FALSE(view.isChecked(kTime24));
    EXPECT_FALSE(view.isChecked(kShowFps));
    EXPECT_FALSE(view.isChecked(kVSync));
    EXPECT_FALSE(view.isChecked(kMouseExit));
    EXPECT_TRUE(view.isEnabled(kVolume));
    EXPECT_TRUE(view.isEnabled(kVolumeLabel));
    EXPECT_FALSE(view.isEnabled(kGamma));
    EXPECT_FALSE(view.isEnabled(kBrightnessLabel));
    EXPECT_TRUE(view.isEnabled(kTime12));

    EXPECT_EQ(view.sliders[kVolume].min, 1);
    EXPECT_EQ(view.sliders[kVolume].max, 100);
    EXPECT_EQ(view.sliders[kVolume].position, 75);
    EXPECT_EQ(view.sliders[kVolume].page, 10);
    EXPECT_EQ(view.sliders[kGamma].position, 50);
    EXPECT_EQ(view.sliders[kGamma].page, 10);
    EXPECT_EQ(view.sliders[kDetail].max, 2);
    EXPECT_EQ(view.sliders[kDetail].position, 2);
    EXPECT_EQ(view.sliders[kDetail].page, 1);
}

TEST_F(SettingsDialogTest, DesktopModeDisablesTheListAndShowsTheDesktop)
{
    SettingsDialog d = dialog();
    d.onInitDialog(view);
    EXPECT_FALSE(view.isEnabled(kModeList));
    EXPECT_EQ(view.selectedText(kModeList), "1024 x 768 32 bits");

    // Off: the list opens with the selection it had.
    view.userClicks(d, kUseDesktop);
    EXPECT_FALSE(currentSettings.UseDesktop);
    EXPECT_FALSE(view.isChecked(kUseDesktop));
    EXPECT_TRUE(view.isEnabled(kModeList));
    EXPECT_EQ(view.selectedText(kModeList), "1024 x 768 32 bits");

    // The user picks another mode, then turns the desktop mode back on: the desktop's mode returns.
    view.comboSelect(kModeList, 0);
    view.userClicks(d, kUseDesktop);
    EXPECT_TRUE(currentSettings.UseDesktop);
    EXPECT_FALSE(view.isEnabled(kModeList));
    EXPECT_EQ(view.selectedText(kModeList), "1024 x 768 32 bits");
}

TEST_F(SettingsDialogTest, StoredModeIsSelectedOrNothingIs)
{
    currentSettings.UseDesktop = false;
    currentSettings.Width = 800;
    currentSettings.Height = 600;
    currentSettings.Depth = 16;
    SettingsDialog d = dialog();
    d.onInitDialog(view);
    EXPECT_TRUE(view.isEnabled(kModeList));
    EXPECT_EQ(view.selectedText(kModeList), "800 x 600 16 bits");

    // A mode the driver no longer offers: nothing selected, and OK keeps it.
    currentSettings.Width = 1600;
    currentSettings.Height = 1200;
    currentSettings.Depth = 32;
    FakeDialogView other;
    SettingsDialog d2 = dialog();
    d2.onInitDialog(other);
    EXPECT_EQ(other.comboSelection(kModeList), -1);
    d2.onCommand(other, kOk);
    EXPECT_EQ(currentSettings.Width, 1600);
    EXPECT_EQ(currentSettings.Height, 1200);
    EXPECT_EQ(currentSettings.Depth, 32);

    // With a selection, OK stores the picked mode.
    other.comboSelect(kModeList, 2);
    d2.onCommand(other, kOk);
    EXPECT_EQ(currentSettings.Width, 800);
    EXPECT_EQ(currentSettings.Height, 600);
    EXPECT_EQ(currentSettings.Depth, 32);
}

TEST_F(SettingsDialogTest, NoUsableModeLeavesTheListEmptyAndTheModeAlone)
{
    currentSettings.UseDesktop = false;
    currentSettings.Width = 1280;
    currentSettings.Height = 720;
    SettingsDialog d = dialog({{320, 240, 32, 60}, {640, 480, 8, 60}}, {});
    d.onInitDialog(view);
    EXPECT_TRUE(view.combo[kModeList].empty());
    d.onCommand(view, kOk);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(currentSettings.Width, 1280);
    EXPECT_EQ(currentSettings.Height, 720);

    // No desktop mode to be had: the desktop setting selects nothing rather than a wrong entry.
    currentSettings.UseDesktop = true;
    FakeDialogView other;
    SettingsDialog d2 = dialog(kDriverModes, {});
    d2.onInitDialog(other);
    EXPECT_EQ(other.comboSelection(kModeList), -1);
}

TEST_F(SettingsDialogTest, DefaultGammaTogglesResetBrightnessToNeutral)
{
    currentSettings.DefGamma = false;
    currentSettings.Gamma = 20;
    SettingsDialog d = dialog();
    d.onInitDialog(view);
    EXPECT_EQ(view.sliders[kGamma].position, 20);
    EXPECT_EQ(view.texts[kBrightnessLabel], "Gamma (70%)");
    EXPECT_TRUE(view.isEnabled(kGamma));
    EXPECT_TRUE(view.isEnabled(kBrightnessLabel));

    view.userClicks(d, kDefaultGamma);
    EXPECT_TRUE(currentSettings.DefGamma);
    EXPECT_TRUE(view.isChecked(kDefaultGamma));
    EXPECT_EQ(currentSettings.Gamma, 50);
    EXPECT_EQ(view.sliders[kGamma].position, 50);
    EXPECT_EQ(view.texts[kBrightnessLabel], "Gamma (100%)");
    EXPECT_FALSE(view.isEnabled(kGamma));
    EXPECT_FALSE(view.isEnabled(kBrightnessLabel));

    view.userMovesSlider(d, kGamma, 90, platform::kSliderThumbTrack);  // disabled, but say it moved
    view.userClicks(d, kDefaultGamma);
    EXPECT_FALSE(currentSettings.DefGamma);
    EXPECT_EQ(currentSettings.Gamma, 50);
    EXPECT_EQ(view.sliders[kGamma].position, 50);
    EXPECT_EQ(view.texts[kBrightnessLabel], "Gamma (100%)");
    EXPECT_TRUE(view.isEnabled(kGamma));
    EXPECT_TRUE(view.isEnabled(kBrightnessLabel));
}

TEST_F(SettingsDialogTest, EverySliderMoveReachesTheSettings)
{
    SettingsDialog d = dialog();
    d.onInitDialog(view);
    view.userMovesSlider(d, kVolume, 85, platform::kSliderPageDown);
    EXPECT_EQ(currentSettings.Volume, 85);
    EXPECT_EQ(view.texts[kVolumeLabel], "Volume (85%)");
    view.userMovesSlider(d, kVolume, 40, platform::kSliderThumbTrack);
    EXPECT_EQ(currentSettings.Volume, 40);

    // Arrow keys and Home/End too: what OK saves is what the sliders show.
    view.userMovesSlider(d, kVolume, 41, platform::kSliderLineDown);
    EXPECT_EQ(currentSettings.Volume, 41);
    EXPECT_EQ(view.texts[kVolumeLabel], "Volume (41%)");
    view.userMovesSlider(d, kDetail, 0, platform::kSliderTop);
    EXPECT_EQ(currentSettings.Detail, 0);
    view.userMovesSlider(d, kVolume, 0, platform::kSliderTop);
    EXPECT_EQ(currentSettings.Volume, 1);  // the slider's range ends at 1

    // Whichever slider moved, all three are read.
    view.sliderSetPosition(kGamma, 30);
    view.userMovesSlider(d, kDetail, 1, platform::kSliderPageDown);
    EXPECT_EQ(currentSettings.Detail, 1);
    EXPECT_EQ(currentSettings.Gamma, 30);
    EXPECT_EQ(view.texts[kBrightnessLabel], "Gamma (80%)");
}

TEST_F(SettingsDialogTest, StoredValuesBeyondTheSlidersAreShownAndSavedAsTheSlidersHoldThem)
{
    // A hand-edited store: a detail above high (the run would draw medium under a slider at High),
    // a volume and a brightness the sliders cannot reach.
    currentSettings.Detail = 3;
    currentSettings.Volume = 500;
    currentSettings.DefGamma = false;
    currentSettings.Gamma = -30;
    SettingsDialog d = dialog();
    d.onInitDialog(view);
    EXPECT_EQ(view.sliders[kDetail].position, 2);
    EXPECT_EQ(view.texts[kVolumeLabel], "Volume (100%)");
    EXPECT_EQ(view.texts[kBrightnessLabel], "Gamma (50%)");
    d.onCommand(view, kOk);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(currentSettings.Detail, 2);
    EXPECT_EQ(currentSettings.Volume, 100);
    EXPECT_EQ(currentSettings.Gamma, 0);

    currentSettings.Detail = -1;
    currentSettings.Volume = 0;
    currentSettings.Gamma = 150;
    FakeDialogView other;
    SettingsDialog d2 = dialog();
    d2.onInitDialog(other);
    EXPECT_EQ(other.texts[kVolumeLabel], "Volume (1%)");
    EXPECT_EQ(other.texts[kBrightnessLabel], "Gamma (150%)");
    d2.onCommand(other, kOk);
    EXPECT_EQ(currentSettings.Detail, 0);
    EXPECT_EQ(currentSettings.Volume, 1);
    EXPECT_EQ(currentSettings.Gamma, 100);
}

TEST_F(SettingsDialogTest, CheckboxesFollowTheirSettings)
{
    SettingsDialog d = dialog();
    d.onInitDialog(view);
    const struct {
        int id;
        bool Settings::*field;
    } boxes[] = {{kShowFps, &Settings::ShowFPS}, {kVSync, &Settings::VSync}, {kMouseExit, &Settings::MouseExit},
                 {kShowTime, &Settings::ShowClock}, {kEnableMusic, &Settings::EnableMusic}};
    for (const auto& box : boxes) {
        const bool before = currentSettings.*box.field;
        view.userClicks(d, box.id);
        EXPECT_EQ(currentSettings.*box.field, !before) << box.id;
        EXPECT_EQ(view.isChecked(box.id), !before) << box.id;
    }
    // Clock off: its form cannot be chosen; music off: volume cannot be set.
    EXPECT_FALSE(view.isEnabled(kTime12));
    EXPECT_FALSE(view.isEnabled(kTime24));
    EXPECT_FALSE(view.isEnabled(kVolume));
    EXPECT_FALSE(view.isEnabled(kVolumeLabel));
    view.userClicks(d, kShowTime);
    view.userClicks(d, kEnableMusic);
    EXPECT_TRUE(view.isEnabled(kTime24));
    EXPECT_TRUE(view.isEnabled(kVolume));
    EXPECT_TRUE(view.isEnabled(kVolumeLabel));

    // The radios and the list are left to the view and read on OK.
    EXPECT_FALSE(d.onCommand(view, kTime24));
    EXPECT_FALSE(d.onCommand(view, kModeList));
    EXPECT_FALSE(d.onCommand(view, 4242));
    EXPECT_EQ(saves, 0);
}

TEST_F(SettingsDialogTest, RestoreDefaultsTwiceGivesOneListAndTheFactoryValues)
{
    currentSettings.VSync = true;  // as loaded from the store
    rebuildDefaultSettings();
    currentSettings.UseDesktop = false;
    currentSettings.Volume = 20;
    currentSettings.Detail = 0;
    currentSettings.ShowClock = false;
    currentSettings.TimeFormat = false;
    SettingsDialog d = dialog();
    d.onInitDialog(view);
    EXPECT_TRUE(view.isChecked(kTime24));
    EXPECT_TRUE(view.isEnabled(kModeList));

    d.onCommand(view, kRestoreDefaults);
    d.onCommand(view, kRestoreDefaults);
    EXPECT_EQ(view.combo[kModeList], d.modeEntries());
    EXPECT_EQ(view.combo[kModeList].size(), 6u);
    EXPECT_EQ(currentSettings.Volume, 75);
    EXPECT_EQ(view.sliders[kVolume].position, 75);
    EXPECT_EQ(view.texts[kVolumeLabel], "Volume (75%)");
    EXPECT_EQ(view.sliders[kDetail].position, 2);
    EXPECT_TRUE(view.isChecked(kShowTime));
    EXPECT_TRUE(view.isEnabled(kTime12));
    EXPECT_TRUE(view.isChecked(kTime12));
    EXPECT_FALSE(view.isChecked(kTime24));
    EXPECT_TRUE(view.isChecked(kUseDesktop));
    EXPECT_FALSE(view.isEnabled(kModeList));
    EXPECT_EQ(view.selectedText(kModeList), "1024 x 768 32 bits");
    EXPECT_TRUE(currentSettings.VSync);  // the loaded value is the default for this one
    EXPECT_TRUE(view.isChecked(kVSync));
    EXPECT_EQ(saves, 0);
}

TEST_F(SettingsDialogTest, OkWithTwentyFourHoursStoresIt)
{
    currentSettings.English = true;
    SettingsDialog d(saveSettings, "", sourceOf(kDriverModes));
    d.onInitDialog(view);
    view.userClicks(d, kTime24);
    view.userClicks(d, kShowFps);
    EXPECT_TRUE(currentSettings.TimeFormat);  // radios are read on OK only
    d.onCommand(view, kOk);
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(view.result, kOk);
    EXPECT_FALSE(currentSettings.TimeFormat);
    EXPECT_FALSE(currentSettings.English);

    // What the next run reads.
    currentSettings = defaultSettings;
    loadSettings();
    EXPECT_FALSE(currentSettings.TimeFormat);
    EXPECT_TRUE(currentSettings.ShowFPS);
    EXPECT_EQ(currentSettings.Width, 1024);
    EXPECT_EQ(currentSettings.Height, 768);
}

TEST_F(SettingsDialogTest, CancelWritesNothing)
{
    mkdir(folder.file("vesiclar").c_str(), 0700);
    const std::string stored = "ShowFPS=0\nVolume=30\n";
    std::ofstream(folder.file("vesiclar/settings.ini"), std::ios::binary) << stored;

    SettingsDialog d(saveSettings, "", sourceOf(kDriverModes));
    d.onInitDialog(view);
    view.userClicks(d, kShowFps);
    view.userClicks(d, kMouseExit);
    view.userMovesSlider(d, kVolume, 90, platform::kSliderPageDown);
    EXPECT_TRUE(d.onCommand(view, kCancel));
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(view.result, kCancel);
    EXPECT_EQ(storeText(), stored);
}

TEST_F(SettingsDialogTest, AFailedSaveKeepsTheDialogOpen)
{
    saveResult = false;
    SettingsDialog d = dialog();
    d.onInitDialog(view);
    d.onCommand(view, kOk);
    EXPECT_EQ(saves, 1);
    EXPECT_FALSE(view.ended);
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_NE(view.errors[0].find(folder.file("vesiclar/settings.ini")), std::string::npos);
    d.onCommand(view, kCancel);
    EXPECT_EQ(view.result, kCancel);

    // Nowhere to keep them at all: the message names no empty place.
    platform::setSettingsStoreFile("");
    const WithoutConfigHome nowhere;
    SettingsDialog homeless = dialog();
    homeless.onInitDialog(view);
    homeless.onCommand(view, kOk);
    ASSERT_EQ(view.errors.size(), 2u);
    EXPECT_EQ(view.errors[1], "The settings could not be saved: there is no folder to keep them in.");
}

TEST_F(SettingsDialogTest, VisitAndAboutButtons)
{
    SettingsDialog d = dialog();
    d.onInitDialog(view);
    EXPECT_TRUE(d.onCommand(view, kVisit));
    EXPECT_EQ(view.opened, std::vector<std::string>{"https://example.org/vesiclar/"});
    EXPECT_TRUE(d.onCommand(view, kAbout));
    EXPECT_EQ(view.children, std::vector<int>{platform::kAboutBoxTemplate});
    EXPECT_EQ(view.childCaption, "About");
    EXPECT_FALSE(view.ended);
}

class AboutBoxTest : public ::testing::Test {
protected:
    void TearDown() override { loadStringTable(); }
    FakeDialogView view;
    AboutBox box;
};

TEST_F(AboutBoxTest, ShippedTextFillsSevenLines)
{
    loadStringTable();
    EXPECT_TRUE(box.onInitDialog(view));
    EXPECT_EQ(view.caption, "About");
    for (int k = 0; k < kAboutLineControls; ++k)
        ASSERT_EQ(view.texts.count(kAboutFirstLine + k), 1u) << k;
    EXPECT_NE(view.texts[kAboutFirstLine].find("Vesiclar"), std::string::npos);
    EXPECT_FALSE(view.texts[kAboutFirstLine + 1].empty());
    EXPECT_TRUE(view.texts[kAboutFirstLine + 2].empty());
    for (int k = 3; k < kAboutLineControls; ++k)
        EXPECT_FALSE(view.texts[kAboutFirstLine + k].empty()) << k;
}

TEST_F(AboutBoxTest, ShortTextLeavesTheRestEmptyAndButtonsEndIt)
{
    loadStringTable(bytesOf("#about#\r\nInfo\r\n#about_window_text#\r\nx%y%%z\r\n"));
    box.onInitDialog(view);
    EXPECT_EQ(view.caption, "Info");
    EXPECT_EQ(view.texts[kAboutFirstLine], "x");
    EXPECT_EQ(view.texts[kAboutFirstLine + 1], "y");
    EXPECT_EQ(view.texts[kAboutFirstLine + 2], "");
    EXPECT_EQ(view.texts[kAboutFirstLine + 3], "z");
    for (int k = 4; k < kAboutLineControls; ++k)
        EXPECT_EQ(view.texts[kAboutFirstLine + k], "") << k;

    EXPECT_FALSE(box.onCommand(view, kAbout));
    EXPECT_FALSE(view.ended);
    EXPECT_TRUE(box.onCommand(view, kCancel));
    EXPECT_EQ(view.result, kCancel);
    EXPECT_TRUE(box.onCommand(view, kOk));
    EXPECT_EQ(view.result, kOk);
}

}  // namespace

namespace {

TEST(ConfigureMode, WithoutADisplayItSaysSoAndFails)
{
    // Never a window from a unit test, whatever the environment holds.
    setenv("DISPLAY", "", 1);
    loadSettingsTable();
    loadStringTable();
    ScreensaverApp app;
    app.mode = kModeConfigure;
    AboutBox box;
    EXPECT_EQ(platform::runDialog(platform::kAboutBoxTemplate, box, 0), -1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(dispatchMode(app), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("display"), std::string::npos);
}

}  // namespace
