#include <gtest/gtest.h>

#include <vector>

#include "data/messages.h"
#include "data/text_tables.h"
#include "test_support.h"

namespace {

std::vector<std::pair<std::string, std::string>> gMessages;
void recordMessage(const std::string& text, const std::string& caption) { gMessages.emplace_back(text, caption); }

class TextTables : public ::testing::Test {
protected:
    void SetUp() override
    {
        gMessages.clear();
        setMessageHandler(recordMessage);
    }
    void TearDown() override { setMessageHandler(nullptr); }
};

TEST_F(TextTables, LinesEndAtCrOrCrLfButNotAtBareLf)
{
    const auto lines = splitTableLines(bytesOf("a\r\nb\rc\nd\r\n\r\ne"));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "a");
    EXPECT_EQ(lines[1], "b");
    EXPECT_EQ(lines[2], "c\nd");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "e");
    EXPECT_EQ(splitTableLines(bytesOf("last")).back(), "last");
    EXPECT_TRUE(splitTableLines({}).empty());
}

TEST_F(TextTables, SettingsLinesAreNormalised)
{
    loadSettingsTable(bytesOf("Detail \t\t= 2;\r\nFSAA\t\t= 0; \xcf\xf0\xe8\xec\xe5\xf7\xe0\xed\xe8\xe5\r\n"
                              "   ; just a remark\r\n\r\nWide = 1 0;\r\nShowFPS=false;\r\nMusic=true\r\n"
                              "MW = 800;\r\nSign=-7x;\r\nBig=99999999999;"));
    EXPECT_TRUE(gMessages.empty());
    EXPECT_EQ(getSetting("detail"), "2");
    EXPECT_EQ(getSetting("FSAA"), "0");
    EXPECT_EQ(getSetting("wide"), "10");  // inner blanks go
    EXPECT_EQ(getSetting("SHOWFPS"), "false");
    EXPECT_EQ(getSetting("showfps"), "false");
    EXPECT_EQ(getSettingInt("Music"), 1);
    EXPECT_EQ(getSettingInt("ShowFPS"), 0);
    EXPECT_EQ(getSettingInt("MW"), 800);
    EXPECT_EQ(getSettingInt("sign"), -7);
    EXPECT_EQ(getSettingInt("big"), INT32_MAX);
    EXPECT_EQ(settingsTable().size(), 8u);
    EXPECT_TRUE(gMessages.empty());
}

TEST_F(TextTables, SettingsFailuresShowTheirMessages)
{
    loadSettingsTable(bytesOf("NoEquals;\r\nkey=value"));
    ASSERT_EQ(gMessages.size(), 1u);
    EXPECT_EQ(gMessages[0].first, "def_settings.txt");
    EXPECT_EQ(gMessages[0].second, "");
    EXPECT_EQ(getSetting("noequals"), "noequals");  // stored with the whole line as key and value

    EXPECT_EQ(getSetting("Missing_Key"), "");
    ASSERT_EQ(gMessages.size(), 2u);
    EXPECT_EQ(gMessages[1].first, "Не найден параметр в файле def_settings.txt");
    EXPECT_EQ(gMessages[1].second, "missing_key");
    EXPECT_EQ(getSettingInt("missing"), 0);
}

TEST_F(TextTables, SettingsTableGrowsPastAHundredPairs)
{
    std::string text;
    for (int i = 0; i < 150; ++i)
        text += "k" + std::to_string(i) + "=" + std::to_string(i) + ";\r\n";
    loadSettingsTable(bytesOf(text));
    EXPECT_EQ(getSettingInt("k149"), 149);
}

TEST_F(TextTables, GetTextFindsKeyLines)
{
    loadStringTable(bytesOf("----- header -----\r\n#Show_FPS#\r\nShow FPS\r\n#master_volume:#\r\nVolume\r\n"
                            "#about#\r\nAbout\r\n#about_window_text#\r\nx%y%%z\r\n#ok#\r\n\r\n#last_key#"));
    EXPECT_EQ(getText("Show_FPS"), "Show FPS");
    EXPECT_EQ(getText("show_fps"), "Show FPS");
    EXPECT_EQ(getText("master_volume:"), "Volume");
    EXPECT_EQ(getText("about"), "About");  // not the longer about_window_text line
    EXPECT_EQ(getText("ok"), "");          // the text line may be empty
    EXPECT_EQ(getText("last_key"), "");    // a key line with no line after it never matches
    EXPECT_EQ(getText("absent"), "");
    // The first '#' and the last character are left as they are.
    EXPECT_EQ(stringTable()[1], "#show_fps#");
}

TEST_F(TextTables, KeyLineMustBeLessThanThreeLongerThanTheKey)
{
    loadStringTable(bytesOf("#abc#\r\nfirst\r\n#ab#\r\nsecond\r\n#a:#\r\nthird\r\n"));
    EXPECT_EQ(getText("ab"), "second");  // "#abc#" is three longer than "ab"
    EXPECT_EQ(getText("abc"), "first");
    EXPECT_EQ(getText("a"), "");         // "#a:#" is three longer than "a" as well
    EXPECT_EQ(getText("a:"), "third");
}

TEST_F(TextTables, AboutTextSplitsAtPercent)
{
    loadStringTable(bytesOf("#about_window_text#\r\nx%y%%z\r\n"));
    const auto& lines = aboutLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "x");
    EXPECT_EQ(lines[1], "y");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "z");
    EXPECT_EQ(lines[6], "");
    // More than seven lines are cut, never written past the table.
    loadStringTable(bytesOf("#about_window_text#\r\n1%2%3%4%5%6%7%8%9\r\n"));
    EXPECT_EQ(aboutLines().size(), 7u);
    EXPECT_EQ(aboutLines()[6], "7");
}

TEST_F(TextTables, ShippedResourcesHoldEveryKey)
{
    loadSettingsTable();
    loadStringTable();
    EXPECT_TRUE(gMessages.empty());
    for (const char* key : {"Music", "ShowTime", "ShowFPS", "UseDktpSet", "ExitOnMouseMove", "GammControl",
                            "DigClock_24H", "MusicVolume", "SFX", "MW", "MH", "MBitCount", "FSAA", "ShowFlame",
                            "VSync", "DefGamma", "English", "Detail", "Random", "main_web_site_url"})
        getSetting(key);
    EXPECT_TRUE(gMessages.empty()) << gMessages.front().second;
    EXPECT_EQ(getSettingInt("GammControl"), 100);
    EXPECT_EQ(getText("screensaver_configuration"), "Vesiclar Configuration");
    EXPECT_EQ(getText("master_volume:"), "Volume");
    EXPECT_EQ(getText("show_fps"), "Show FPS");
    EXPECT_EQ(getText("visit_our_official_web-site"), "Visit our official web-site for more great 3D screensavers");
    EXPECT_EQ(aboutLines()[0].rfind("Vesiclar", 0), 0u);
    EXPECT_EQ(aboutLines()[1], "\u00a9 2026 Quorvane");
    EXPECT_EQ(aboutLines()[2], "");
    for (const auto& line : aboutLines())
        EXPECT_LT(line.size(), 80u);
    EXPECT_FALSE(aboutLines()[6].empty());
}

}  // namespace
