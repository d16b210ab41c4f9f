// The gamma ramp values and how a ramp is fitted to a display.
#include <gtest/gtest.h>

#include <vector>

#include "platform/gamma_ramp.h"

using platform::gammaRamp;
using platform::kGammaEntries;

TEST(GammaRamp, ExponentOneIsLinearAndZeroAlwaysMapsToZero)
{
    const platform::GammaRamp linear = gammaRamp(1, 1, 1);
    for (int k = 0; k < kGammaEntries; ++k) {
        EXPECT_EQ(linear.red()[k], k * 256);
        EXPECT_EQ(linear.green()[k], k * 256);
        EXPECT_EQ(linear.blue()[k], k * 256);
    }
    const platform::GammaRamp bright = gammaRamp(0.5f, 1.5f, 1.0f);
    EXPECT_EQ(bright.red()[0], 0);
    EXPECT_EQ(bright.green()[0], 0);
}

TEST(GammaRamp, BrightnessSettingsGiveTheKnownEntries)
{
    // Gamma 100 gives exponent 0.5: floor(sqrt(k / 256) * 65536).
    const platform::GammaRamp bright = gammaRamp(0.5f, 0.5f, 0.5f);
    EXPECT_EQ(bright.red()[16], 16384);
    EXPECT_EQ(bright.blue()[64], 32768);
    EXPECT_EQ(bright.green()[255], 65407);  // sqrt(255/256) * 65536 = 65407.9
    // Gamma 0 gives exponent 1.5: floor((k / 256)^1.5 * 65536).
    const platform::GammaRamp dark = gammaRamp(1.5f, 1.5f, 1.5f);
    EXPECT_EQ(dark.red()[64], 8192);
    EXPECT_EQ(dark.red()[16], 1024);
    // Channels are independent: red first, then green, then blue.
    const platform::GammaRamp mixed = gammaRamp(0.5f, 1.0f, 1.5f);
    EXPECT_EQ(mixed.entries[64], 32768);
    EXPECT_EQ(mixed.entries[256 + 64], 16384);
    EXPECT_EQ(mixed.entries[512 + 64], 8192);
}

TEST(GammaRamp, ResamplingKeepsTheEndsAndInterpolatesBetween)
{
    const platform::GammaRamp linear = gammaRamp(1, 1, 1);
    std::vector<uint16_t> same(256), big(1024), small(16);
    platform::resampleChannel(linear.red(), same.data(), 256);
    for (int k = 0; k < 256; ++k)
        EXPECT_EQ(same[k], linear.red()[k]);
    platform::resampleChannel(linear.red(), big.data(), 1024);
    EXPECT_EQ(big.front(), 0);
    EXPECT_EQ(big.back(), 65280);
    for (size_t i = 1; i < big.size(); ++i)
        ASSERT_GE(big[i], big[i - 1]);
    EXPECT_NEAR(big[512], 512.0 * 255 / 1023 * 256, 1);
    platform::resampleChannel(linear.red(), small.data(), 16);
    EXPECT_EQ(small[0], 0);
    EXPECT_EQ(small[15], 65280);
    EXPECT_EQ(small[5], 5 * 17 * 256);
}

TEST(GammaRamp, OnlyRisingRampsAreWorthRestoring)
{
    const platform::GammaRamp linear = gammaRamp(1, 1, 1);
    EXPECT_TRUE(platform::usableChannel(linear.red(), 256));
    EXPECT_TRUE(platform::usableChannel(gammaRamp(0.7f, 1, 1).red(), 256));

    std::vector<uint16_t> zero(256, 0);
    EXPECT_FALSE(platform::usableChannel(zero.data(), 256));
    std::vector<uint16_t> flat(256, 30000);
    EXPECT_FALSE(platform::usableChannel(flat.data(), 256));
    std::vector<uint16_t> dip(linear.red(), linear.red() + 256);
    dip[100] = 0;
    EXPECT_FALSE(platform::usableChannel(dip.data(), 256));
    std::vector<uint16_t> falling(dip.rbegin(), dip.rend());
    EXPECT_FALSE(platform::usableChannel(falling.data(), 256));
    EXPECT_FALSE(platform::usableChannel(linear.red(), 1));
}
