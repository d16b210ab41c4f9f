#include <gtest/gtest.h>

#include "scenes/loading_screen.h"

TEST(LoadingScreen, CornerImagesKeepTheirPixelSizeAtAnyResolution)
{
    OverlayRect r = loadingCornerRect(0, 800, 600);  // bottom right
    EXPECT_DOUBLE_EQ(r.x0, 544);
    EXPECT_DOUBLE_EQ(r.x1, 800);
    EXPECT_DOUBLE_EQ(r.y0, 0);
    EXPECT_DOUBLE_EQ(r.y1, 128);

    r = loadingCornerRect(0, 1600, 1200);
    EXPECT_DOUBLE_EQ(r.x0, 672);
    EXPECT_DOUBLE_EQ(r.x1, 800);
    EXPECT_DOUBLE_EQ(r.y1, 64);

    r = loadingCornerRect(1, 1024, 768);  // bottom left
    EXPECT_DOUBLE_EQ(r.x0, 0);
    EXPECT_DOUBLE_EQ(r.y0, 0);
    EXPECT_DOUBLE_EQ(r.x1, 200);
    EXPECT_DOUBLE_EQ(r.y1, 100);

    r = loadingCornerRect(2, 800, 600);  // top left
    EXPECT_DOUBLE_EQ(r.x0, 0);
    EXPECT_DOUBLE_EQ(r.y0, 472);
    EXPECT_DOUBLE_EQ(r.y1, 600);

    r = loadingCornerRect(3, 1280, 1024);  // top right
    EXPECT_DOUBLE_EQ(r.x1, 800);
    EXPECT_DOUBLE_EQ(r.y1, 600);
    EXPECT_DOUBLE_EQ((r.x1 - r.x0) * 1280 / 800, 256);
    EXPECT_DOUBLE_EQ((r.y1 - r.y0) * 1024 / 600, 128);
}
