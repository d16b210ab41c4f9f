#include "ui/settings_dialog.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "data/resources.h"
#include "data/settings.h"
#include "data/text_tables.h"
#include "ui/about_box.h"

using namespace dialog_id;
using platform::DialogView;

namespace {

struct Label {
    int id;
    const char* key;
};

// Controls whose text is the table's text for a key, in template order.
constexpr Label kLabels[] = {
    {kOk, "ok"},
    {kCancel, "cancel"},
    {kUseDesktop, "use_desktop_settings"},
    {kVSync, "vsync"},
    {kShowFps, "show_fps"},
    {kMouseExit, "exit_on_mouse_move"},
    {kShowTime, "show_time"},
    {kTime12, "12h_style"},
    {kTime24, "24h_style"},
    {kDefaultGamma, "use_by_default"},
    {kEnableMusic, "enable_music"},
    {kVisit, "visit..."},
    {kRestoreDefaults, "restore_defaults"},
    {kVideoModeGroup, "video_mode_selection"},
    {kSoundsGroup, "sound_control"},
    {kOptionsGroup, "options"},
    {kGammaGroup, "gamma_control"},
    {kBrightnessLabel, "brightness"},
    {kProductsGroup, "products"},
    {kDetailGroup, "graphics_detail"},
    {kDetailLow, "low"},
    {kDetailMedium, "medium"},
    {kDetailHigh, "high"},
};

constexpr int kNeutralGamma = 50;

struct SliderRange {
    int min, max;
};
constexpr SliderRange kVolumeRange{1, 100};
constexpr SliderRange kGammaRange{0, 100};
constexpr SliderRange kDetailRange{0, 2};

int32_t within(int32_t value, SliderRange range) { return std::clamp<int32_t>(value, range.min, range.max); }

std::string figure(const std::string& name, int percent)
{
    char text[256];
    std::snprintf(text, sizeof text, "%s (%d%%)", name.c_str(), percent);
    return text;
}

}  // namespace

std::string aboutButtonText() { return getText("about") + "..."; }

std::span<const uint8_t> dialogPicture()
{
    return findResource("BITMAP", kDialogPictureBitmap);
}

SettingsDialog::SettingsDialog(std::function<bool()> save, std::string webAddress, DisplayModeSource modes)
    : save_(std::move(save)), webAddress_(std::move(webAddress)), source_(std::move(modes))
{
}

SettingsDialog::~SettingsDialog() = default;

bool SettingsDialog::onInitDialog(DialogView& view)
{
    view.setCaption(getText("screensaver_configuration"));
    for (const Label& label : kLabels)
        view.setText(label.id, getText(label.key));
    view.setText(kAbout, aboutButtonText());

    view.setVisible(false);
    for (int id : {kOk, kCancel, kRestoreDefaults})
        view.moveControl(id, 0, -kButtonRowLift);
    view.resizeDialog(0, -kButtonRowLift);
    view.setVisible(true);
    view.setPicture(dialogPicture());

    showSettings(view);
    return true;
}

void SettingsDialog::fillModeList(DialogView& view)
{
    view.comboReset(kModeList);
    modes_ = listModes(source_);
    for (const std::string& entry : modes_)
        view.comboAdd(kModeList, entry);
}

void SettingsDialog::selectMode(DialogView& view)
{
    const Settings& s = currentSettings;
    int index = -1;
    if (s.UseDesktop) {
        int width = 0, height = 0, bits = 0;
        if (source_.desktop && source_.desktop(width, height, bits))
            index = findEntry(modes_, formatMode(width, height, bits));
    } else {
        index = findEntry(modes_, formatMode(s.Width, s.Height, s.Depth));
    }
    view.comboSelect(kModeList, index);
    // Set both ways: after Restore Defaults the list may have been disabled before.
    view.setEnabled(kModeList, !s.UseDesktop);
}

void SettingsDialog::showVolume(DialogView& view)
{
    view.setText(kVolumeLabel, figure(getText("master_volume:"), currentSettings.Volume));
}

void SettingsDialog::showBrightness(DialogView& view)
{
    view.setText(kBrightnessLabel, figure(getText("brightness"), currentSettings.Gamma + kNeutralGamma));
}

void SettingsDialog::showSettings(DialogView& view)
{
    Settings& s = currentSettings;
    // A stored value beyond its slider (the store edited by hand) becomes the one the slider
    // shows: a detail of 3 under a slider at High would otherwise be saved back and run as medium.
    s.Volume = within(s.Volume, kVolumeRange);
    s.Gamma = within(s.Gamma, kGammaRange);
    s.Detail = within(s.Detail, kDetailRange);
    fillModeList(view);
    selectMode(view);

    view.setChecked(kUseDesktop, s.UseDesktop);
    view.setChecked(kEnableMusic, s.EnableMusic);
    view.setEnabled(kVolume, s.EnableMusic);
    showVolume(view);

    view.setChecked(kDefaultGamma, s.DefGamma);
    view.setEnabled(kGamma, !s.DefGamma);
    view.setEnabled(kBrightnessLabel, !s.DefGamma);
    showBrightness(view);
    view.setEnabled(kVolumeLabel, s.EnableMusic);

    view.setChecked(kShowTime, s.ShowClock);
    view.setChecked(kShowFps, s.ShowFPS);
    view.setChecked(kVSync, s.VSync);
    view.setChecked(kMouseExit, s.MouseExit);
    view.setChecked(kTime12, s.TimeFormat);
    view.setChecked(kTime24, !s.TimeFormat);
    view.setEnabled(kTime12, s.ShowClock);
    view.setEnabled(kTime24, s.ShowClock);

    view.setText(kWebInvitation, getText("visit_our_official_web-site"));

    view.sliderSetRange(kVolume, kVolumeRange.min, kVolumeRange.max);
    view.sliderSetPosition(kVolume, s.Volume);
    view.sliderSetPage(kVolume, 10);
    view.sliderSetRange(kGamma, kGammaRange.min, kGammaRange.max);
    view.sliderSetPosition(kGamma, s.Gamma);
    view.sliderSetPage(kGamma, 10);
    view.sliderSetRange(kDetail, kDetailRange.min, kDetailRange.max);
    view.sliderSetPosition(kDetail, s.Detail);
    view.sliderSetPage(kDetail, 1);
    view.setEnabled(kVolume, s.EnableMusic);
}

void SettingsDialog::accept(DialogView& view)
{
    Settings& s = currentSettings;
    const int selected = view.comboSelection(kModeList);
    if (selected >= 0 && static_cast<size_t>(selected) < modes_.size())
        parseMode(modes_[static_cast<size_t>(selected)], s.Width, s.Height, s.Depth);
    s.TimeFormat = view.isChecked(kTime12);
    s.English = false;
    if (save_ && !save_()) {
        // Closing as if saved would lose the user's edit without a word; let them retry or cancel.
        const std::string where = platform::settingsStoreFile();
        view.showError(where.empty() ? "The settings could not be saved: there is no folder to keep them in."
                                     : "The settings could not be saved to " + where + ".");
        return;
    }
    view.endDialog(kOk);
}

bool SettingsDialog::onCommand(DialogView& view, int id)
{
    Settings& s = currentSettings;
    switch (id) {
    case kOk:
        accept(view);
        return true;
    case kCancel:
        view.endDialog(kCancel);
        return true;
    case kUseDesktop:
        s.UseDesktop = !s.UseDesktop;
        view.setChecked(kUseDesktop, s.UseDesktop);
        if (s.UseDesktop)
            selectMode(view);
        else
            view.setEnabled(kModeList, true);
        return true;
    case kEnableMusic:
        s.EnableMusic = !s.EnableMusic;
        view.setChecked(kEnableMusic, s.EnableMusic);
        view.setEnabled(kVolume, s.EnableMusic);
        view.setEnabled(kVolumeLabel, s.EnableMusic);
        return true;
    case kShowTime:
        s.ShowClock = !s.ShowClock;
        view.setChecked(kShowTime, s.ShowClock);
        view.setEnabled(kTime12, s.ShowClock);
        view.setEnabled(kTime24, s.ShowClock);
        return true;
    case kRestoreDefaults:
        s = defaultSettings;
        showSettings(view);
        return true;
    case kVisit:
        view.openWebAddress(webAddress_);
        return true;
    case kAbout: {
        AboutBox about;
        view.runChildDialog(platform::kAboutBoxTemplate, about);
        return true;
    }
    case kMouseExit:
        s.MouseExit = !s.MouseExit;
        view.setChecked(kMouseExit, s.MouseExit);
        return true;
    case kShowFps:
        s.ShowFPS = !s.ShowFPS;
        view.setChecked(kShowFps, s.ShowFPS);
        return true;
    case kVSync:
        s.VSync = !s.VSync;
        view.setChecked(kVSync, s.VSync);
        return true;
    case kDefaultGamma:
        s.DefGamma = !s.DefGamma;
        view.setChecked(kDefaultGamma, s.DefGamma);
        view.sliderSetPosition(kGamma, kNeutralGamma);
        s.Gamma = kNeutralGamma;
        view.setEnabled(kGamma, !s.DefGamma);
        view.setEnabled(kBrightnessLabel, !s.DefGamma);
        showBrightness(view);
        return true;
    default:
        return false;  // the radio buttons are read on OK
    }
}

bool SettingsDialog::onSlider(DialogView& view, int /*code*/)
{
    // Every move counts, arrow keys included: the saved values must be the ones the sliders show.
    Settings& s = currentSettings;
    s.Volume = view.sliderPosition(kVolume);
    showVolume(view);
    s.Gamma = view.sliderPosition(kGamma);
    showBrightness(view);
    s.Detail = view.sliderPosition(kDetail);
    return true;
}

int runSettingsDialog(uintptr_t owner, std::function<bool()> save)
{
    platform::setDialogIcon(findResource("ICON", kProgramIcon));
    SettingsDialog dialog(std::move(save), getSetting("main_web_site_url"));
    return platform::runDialog(platform::kSettingsDialogTemplate, dialog, owner);
}
