#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "ui/mode_list.h"

// The settings dialog's behaviour (template 101): it edits currentSettings in place; only OK saves.
class SettingsDialog : public platform::DialogHandler {
public:
    // `save` writes currentSettings to the store and reports whether it could.
    SettingsDialog(std::function<bool()> save, std::string webAddress, DisplayModeSource modes = {});
    ~SettingsDialog() override;

    bool onInitDialog(platform::DialogView& view) override;
    bool onCommand(platform::DialogView& view, int id) override;
    bool onSlider(platform::DialogView& view, int code) override;

    // The entries currently in the mode list.
    const std::vector<std::string>& modeEntries() const { return modes_; }

private:
    void fillModeList(platform::DialogView& view);
    void selectMode(platform::DialogView& view);
    void showSettings(platform::DialogView& view);
    void showVolume(platform::DialogView& view);
    void showBrightness(platform::DialogView& view);
    void accept(platform::DialogView& view);

    std::function<bool()> save_;
    std::string webAddress_;
    DisplayModeSource source_;
    std::vector<std::string> modes_;
};

// Layout step of the initialisation: the button row moves up over the template's free band.
constexpr int kButtonRowLift = 44;

// The text shown for the about button: the table's text and "...".
std::string aboutButtonText();

// The picture beside the options (bitmap 107); empty when the build carries none.
std::span<const uint8_t> dialogPicture();

// Mode 0: shows the dialog owned by `owner` (0 for none). Returns the dialog's result: 1 after OK,
// 2 after Cancel, -1 when it could not be shown.
int runSettingsDialog(uintptr_t owner, std::function<bool()> save);
