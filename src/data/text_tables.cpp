#include "data/text_tables.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "data/messages.h"
#include "data/resources.h"

namespace {

std::vector<SettingPair> gSettings;
std::vector<std::string> gStrings;
std::vector<std::string> gAboutLines(kAboutLineCount);

std::string toLower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Drops blanks, control bytes and every byte of 0x80 or above, cuts at ';', folds case.
std::string normaliseSettingLine(const std::string& line)
{
    std::string out;
    for (unsigned char c : line)
        if (c > 0x20 && c < 0x80)
            out += static_cast<char>(c);
    if (const size_t semicolon = out.find(';'); semicolon != std::string::npos)
        out.resize(semicolon);
    return toLower(out);
}

}  // namespace

std::vector<std::string> splitTableLines(std::span<const uint8_t> text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && text[end] != '\r')
            ++end;
        lines.emplace_back(reinterpret_cast<const char*>(text.data()) + pos, end - pos);
        pos = end;
        if (pos < text.size()) {
            ++pos;  // the CR
            if (pos < text.size() && text[pos] == '\n')
                ++pos;
        }
    }
    return lines;
}

void loadSettingsTable() { loadSettingsTable(findResource(kCustomData, kDefaultSettingsResource)); }

void loadSettingsTable(std::span<const uint8_t> text)
{
    gSettings.clear();
    for (const std::string& raw : splitTableLines(text)) {
        const std::string line = normaliseSettingLine(raw);
        if (line.empty())
            continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            showMessage("def_settings.txt", "");
            gSettings.push_back({line, line});
            continue;
        }
        gSettings.push_back({line.substr(0, eq), line.substr(eq + 1)});
    }
}

const std::vector<SettingPair>& settingsTable() { return gSettings; }

std::string getSetting(const std::string& key)
{
    const std::string wanted = toLower(key);
    for (const SettingPair& pair : gSettings)
        if (pair.key == wanted)
            return pair.value;
    showMessage("Не найден параметр в файле def_settings.txt", wanted);
    return {};
}

int getSettingInt(const std::string& key)
{
    const std::string value = getSetting(key);
    if (value == "true")
        return 1;
    if (value == "false")
        return 0;
    // strtol saturates where atoi would overflow; the clamp keeps the result an int.
    const long number = std::strtol(value.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(number, INT32_MIN, INT32_MAX));
}

void loadStringTable() { loadStringTable(findResource(kCustomData, kStringTableResource)); }

void loadStringTable(std::span<const uint8_t> text)
{
    gStrings = splitTableLines(text);
    for (std::string& line : gStrings)
        if (line.size() > 1 && line[0] == '#')
            line = '#' + toLower(line.substr(1, line.size() - 2)) + line.back();

    gAboutLines.assign(kAboutLineCount, std::string());
    size_t current = 0;
    for (char c : getText("about_window_text")) {
        if (c == '%') {
            ++current;
        } else if (current < gAboutLines.size()) {
            gAboutLines[current] += c;
        }
    }
}

const std::vector<std::string>& stringTable() { return gStrings; }

std::string getText(const std::string& key)
{
    const std::string wanted = toLower(key);
    for (size_t i = 0; i + 1 < gStrings.size(); ++i) {
        const std::string& line = gStrings[i];
        if (!line.empty() && line[0] == '#' && line.compare(1, wanted.size(), wanted) == 0 &&
            line.size() < wanted.size() + 3)
            return gStrings[i + 1];
    }
    return {};
}

const std::vector<std::string>& aboutLines() { return gAboutLines; }
