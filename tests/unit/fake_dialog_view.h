#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

// A dialog view that keeps every control's state in memory and behaves like the native controls
// where the behaviour matters: sliders clamp to their range, radios of one group exclude each
// other, a combo box selection is an index into its entries.
class FakeDialogView : public platform::DialogView {
public:
    struct Rect {
        int x = 0, y = 0, width = 0, height = 0;
        bool operator==(const Rect&) const = default;
    };
    struct Slider {
        int min = 0, max = 100, position = 0, page = 0;
    };

    FakeDialogView()
    {
        // The button row and a few neighbours of template 101, in pixels at 1.5 per dialog unit.
        rects[dialog_id::kOk] = {366, 331, 97, 21};
        rects[dialog_id::kCancel] = {478, 331, 97, 21};
        rects[dialog_id::kRestoreDefaults] = {9, 331, 130, 21};
        rects[dialog_id::kProductsGroup] = {9, 244, 577, 37};
        rects[dialog_id::kVisit] = {366, 256, 97, 18};
        dialog = {100, 100, 596, 357};
    }

    void setCaption(const std::string& text) override { caption = text; }
    void setText(int id, const std::string& text) override { texts[id] = text; }
    void setChecked(int id, bool on) override
    {
        checked[id] = on;
        if (on && (id == dialog_id::kTime12 || id == dialog_id::kTime24))
            checked[id == dialog_id::kTime12 ? dialog_id::kTime24 : dialog_id::kTime12] = false;
    }
    bool isChecked(int id) const override
    {
        auto it = checked.find(id);
        return it != checked.end() && it->second;
    }
    void setEnabled(int id, bool on) override { enabled[id] = on; }
    bool isEnabled(int id) const
    {
        auto it = enabled.find(id);
        return it == enabled.end() || it->second;
    }

    void comboReset(int id) override
    {
        combo[id].clear();
        selection[id] = -1;
    }
    void comboAdd(int id, const std::string& text) override { combo[id].push_back(text); }
    void comboSelect(int id, int index) override
    {
        selection[id] = (index >= 0 && index < static_cast<int>(combo[id].size())) ? index : -1;
    }
    int comboSelection(int id) const override
    {
        auto it = selection.find(id);
        return it == selection.end() ? -1 : it->second;
    }
    std::string selectedText(int id) const
    {
        const int index = comboSelection(id);
        return index < 0 ? std::string() : combo.at(id)[static_cast<size_t>(index)];
    }

    void sliderSetRange(int id, int min, int max) override
    {
        Slider& s = sliders[id];
        s.min = min;
        s.max = max;
        s.position = std::clamp(s.position, min, max);
    }
    void sliderSetPosition(int id, int position) override
    {
        Slider& s = sliders[id];
        s.position = std::clamp(position, s.min, s.max);
    }
    void sliderSetPage(int id, int page) override { sliders[id].page = page; }
    int sliderPosition(int id) const override
    {
        auto it = sliders.find(id);
        return it == sliders.end() ? 0 : it->second.position;
    }
    // What the user does: the slider moves, then the dialog hears about it.
    void userMovesSlider(platform::DialogHandler& handler, int id, int position, int code)
    {
        sliderSetPosition(id, position);
        handler.onSlider(*this, code);
    }
    // A click on a checkbox: the box flips itself, then the dialog hears about it.
    void userClicks(platform::DialogHandler& handler, int id)
    {
        if (id == dialog_id::kTime12 || id == dialog_id::kTime24)
            setChecked(id, true);
        else if (checked.count(id))
            checked[id] = !checked[id];
        handler.onCommand(*this, id);
    }

    void moveControl(int id, int dx, int dy) override
    {
        rects[id].x += dx;
        rects[id].y += dy;
    }
    void resizeDialog(int dwidth, int dheight) override
    {
        dialog.width += dwidth;
        dialog.height += dheight;
        resizedWhileVisible = resizedWhileVisible || visible;
    }
    void setVisible(bool on) override { visible = on; }
    void setPicture(std::span<const uint8_t> image) override { pictureBytes = image.size(); }

    void endDialog(int value) override
    {
        ended = true;
        result = value;
    }
    int runChildDialog(int templateId, platform::DialogHandler& handler) override
    {
        children.push_back(templateId);
        FakeDialogView child;
        handler.onInitDialog(child);
        handler.onCommand(child, dialog_id::kOk);
        childTexts = child.texts;
        childCaption = child.caption;
        return child.result;
    }
    void openWebAddress(const std::string& url) override { opened.push_back(url); }
    void showError(const std::string& text) override { errors.push_back(text); }

    std::string caption;
    std::map<int, std::string> texts;
    std::map<int, bool> checked;
    std::map<int, bool> enabled;
    std::map<int, std::vector<std::string>> combo;
    std::map<int, int> selection;
    std::map<int, Slider> sliders;
    std::map<int, Rect> rects;
    Rect dialog;
    bool visible = false;
    bool resizedWhileVisible = false;
    size_t pictureBytes = 0;
    bool ended = false;
    int result = 0;
    std::vector<int> children;
    std::map<int, std::string> childTexts;
    std::string childCaption;
    std::vector<std::string> opened;
    std::vector<std::string> errors;
};
