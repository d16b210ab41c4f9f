#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "platform/mnemonics.h"

namespace {

char keyOf(const std::string& marked)
{
    for (size_t i = 0; i + 1 < marked.size(); ++i) {
        if (marked[i] == '_' && marked[i + 1] == '_')
            ++i;
        else if (marked[i] == '_')
            return static_cast<char>(std::tolower(static_cast<unsigned char>(marked[i + 1])));
    }
    return 0;
}

TEST(Mnemonics, EveryControlGetsItsOwnLetterWordStartsFirst)
{
    MnemonicPicker picker;
    picker.reserve(1, 'o');
    EXPECT_EQ(picker.mark(1, "OK"), "_OK");
    EXPECT_EQ(picker.mark(10, "Show FPS"), "_Show FPS");
    EXPECT_EQ(picker.mark(11, "Show Time"), "Show _Time");
    EXPECT_EQ(picker.mark(12, "Stop"), "Sto_p");
    std::set<char> keys;
    const char* texts[] = {"Use Desktop Settings", "VSync", "Exit on Mouse Move", "12 hrs.", "24 hrs.",
                           "Enable Music", "Visit...", "About...", "Restore Defaults"};
    int id = 20;
    for (const char* text : texts) {
        const char key = keyOf(picker.mark(id++, text));
        ASSERT_NE(key, 0) << text;
        EXPECT_TRUE(keys.insert(key).second) << text;
        EXPECT_NE(key, 'o');
        EXPECT_NE(key, 's');
        EXPECT_NE(key, 't');
    }
}

TEST(Mnemonics, KeyStaysWithItsControlAndUnderscoresShowAsWritten)
{
    MnemonicPicker picker;
    EXPECT_EQ(picker.mark(5, "Volume (75%)"), "_Volume (75%)");
    EXPECT_EQ(picker.mark(6, "Video"), "V_ideo");
    EXPECT_EQ(picker.mark(5, "Volume (80%)"), "_Volume (80%)");
    EXPECT_EQ(picker.mark(7, "snake_case"), "_snake__case");
    EXPECT_EQ(picker.mark(8, "___"), "______");  // no letter at all: no key
    // A new text without the old letter picks again, and frees the old one.
    EXPECT_EQ(picker.mark(5, "Lautstärke"), "_Lautstärke");
    EXPECT_EQ(picker.mark(9, "Vivid"), "_Vivid");
}

}  // namespace
