#include <gtest/gtest.h>

#include <string>

#include "scenes/clock_overlay.h"

namespace {

std::string clockText(int h, int m, int s, bool twelveHour)
{
    ClockOverlay overlay;
    overlay.buildClockText(twelveHour, platform::LocalTime{h, m, s});
    return overlay.text;
}

TEST(ClockText, TwentyFourHourForm)
{
    EXPECT_EQ(clockText(0, 0, 0, false), "00:00:00");
    EXPECT_EQ(clockText(12, 0, 0, false), "12:00:00");
    EXPECT_EQ(clockText(23, 59, 59, false), "23:59:59");
    EXPECT_EQ(clockText(9, 5, 7, false), "09:05:07");
    EXPECT_EQ(clockText(13, 5, 9, false), "13:05:09");
}

TEST(ClockText, TwelveHourFormEndsWithTheAmOrPmGlyph)
{
    EXPECT_EQ(clockText(0, 0, 0, true), "12:00:00;");
    EXPECT_EQ(clockText(12, 0, 0, true), "12:00:00<");
    EXPECT_EQ(clockText(23, 59, 59, true), "11:59:59<");
    EXPECT_EQ(clockText(9, 5, 7, true), "09:05:07;");
    EXPECT_EQ(clockText(13, 5, 9, true), "01:05:09<");
    EXPECT_EQ(clockText(11, 59, 59, true), "11:59:59;");
    EXPECT_EQ(clockText(12, 30, 0, true), "12:30:00<");
}

TEST(ClockText, NumbersAndTheSharedBuffer)
{
    ClockOverlay overlay;
    EXPECT_STREQ(overlay.text, "");
    overlay.setNumber(0);
    EXPECT_STREQ(overlay.text, "0");
    overlay.setNumber(1234);
    EXPECT_STREQ(overlay.text, "1234");
    overlay.setNumber(-2147483647 - 1);
    EXPECT_STREQ(overlay.text, "-2147483648");
    overlay.buildClockText(true, {1, 2, 3});
    EXPECT_STREQ(overlay.text, "01:02:03;");  // the clock replaces the figure
}

TEST(ClockGlyphs, AtlasCellsInReadingOrderFromTheTop)
{
    EXPECT_EQ(ClockOverlay::glyphLeft(0), 0.0f);
    EXPECT_EQ(ClockOverlay::glyphBottom(0), 0.75f);
    EXPECT_EQ(ClockOverlay::glyphLeft(12), 0.0f);
    EXPECT_EQ(ClockOverlay::glyphBottom(12), 0.0f);
    EXPECT_EQ(ClockOverlay::glyphLeft(7), 0.75f);
    EXPECT_EQ(ClockOverlay::glyphBottom(7), 0.5f);
    EXPECT_EQ(ClockOverlay::glyphLeft(10), 0.5f);
    EXPECT_EQ(ClockOverlay::glyphBottom(10), 0.25f);
}

}  // namespace
