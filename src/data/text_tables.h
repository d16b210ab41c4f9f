#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The two embedded key/value texts: default settings (117) and user-interface strings (116).
// Both are byte text; lines end with CR or CR LF (a bare LF does not end a line).

constexpr int kStringTableResource = 116;
constexpr int kDefaultSettingsResource = 117;
constexpr int kAboutLineCount = 7;

struct SettingPair {
    std::string key;    // normalised: lower case, no blanks
    std::string value;
};

// Parse a default-settings text into the process-wide table (the resource when none is given).
void loadSettingsTable();
void loadSettingsTable(std::span<const uint8_t> text);
const std::vector<SettingPair>& settingsTable();

// The value for key (case-insensitive); a missing key shows its message and yields "".
std::string getSetting(const std::string& key);
// "true" 1, "false" 0, else the leading decimal integer of the value (0 without one).
int getSettingInt(const std::string& key);

// Read a string table into the process-wide table and split the about text.
void loadStringTable();
void loadStringTable(std::span<const uint8_t> text);
const std::vector<std::string>& stringTable();

// The text line after the key line "#key#"; "" when the key is not in the table.
std::string getText(const std::string& key);

// The about text split at '%': always seven entries, the missing ones empty.
const std::vector<std::string>& aboutLines();

// Splits a byte text into lines by the tables' rule.
std::vector<std::string> splitTableLines(std::span<const uint8_t> text);
