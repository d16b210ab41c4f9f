#pragma once

#include <map>
#include <string>

// Access keys for a dialog whose texts come from a string table that has none: each control gets
// a letter no other control of the dialog uses, kept across later changes of its text.
class MnemonicPicker {
public:
    virtual ~MnemonicPicker() = default;

    // `text` with `marker` before the chosen letter and every marker already in it doubled, so it
    // shows as written; without a marker when no unused letter is left.
    std::string mark(int id, const std::string& text, char marker = '_');

    // Takes a letter for a control up front, e.g. the conventional one of an OK button.
    void reserve(int id, char letter);

private:
    std::map<int, char> chosen_;  // lower-case letter or digit per control id
};
