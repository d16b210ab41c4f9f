#include <gtest/gtest.h>

#include <string>

#include "assets/keyframes.h"
#include "test_support.h"

namespace {

KeyframeTrack parse(const std::string& text)
{
    KeyframeTrack track;
    parseKeyframes(track, bytesOf(text));
    return track;
}

TEST(Keyframes, ReadsTheShippedLayoutWithCrLfAndAFinalEndkeysWithoutLineEnd)
{
    const auto track = parse(
        "\r\nKEYFRAMES\r\n"
        "keyframe\r\n"
        "time 0.000000\r\n"
        "position V(1.000000 -2.500000 3.250000)\r\n"
        "gradient V(4.000000 5.000000 6.000000)\r\n"
        "quaternion Q(0.100000 0.200000 0.300000 0.900000)\r\n"
        "end\r\n"
        "\r\n"
        "keyframe\r\n"
        "time 10.000000\r\n"
        "position V(7.000000 8.000000 9.000000)\r\n"
        "quaternion Q(0.000000 0.000000 0.000000 1.000000)\r\n"
        "freeze\r\n"
        "end\r\n"
        "ENDKEYS");
    ASSERT_EQ(track.size(), 2u);
    const Keyframe& a = *track[0];
    EXPECT_EQ(a.time, 0.0f);
    EXPECT_EQ(a.position, Vector3(1.0f, -2.5f, 3.25f));
    EXPECT_EQ(a.gradient, Vector3(4, 5, 6));
    EXPECT_EQ(a.orientation, Quaternion(0.1f, 0.2f, 0.3f, 0.9f));
    EXPECT_FALSE(a.freeze);
    const Keyframe& b = *track[1];
    EXPECT_EQ(b.time, 10.0f);
    EXPECT_EQ(b.position, Vector3(7, 8, 9));
    EXPECT_EQ(b.gradient, Vector3(0, 0, 0));
    EXPECT_EQ(b.orientation, Quaternion(0, 0, 0, 1));
    EXPECT_TRUE(b.freeze);
}

TEST(Keyframes, LeadingSpacesAreDroppedButATabHidesTheKeyword)
{
    const auto track = parse("keyframe\n   time 4.5\n\tposition V(1 2 3)\nend\n");
    ASSERT_EQ(track.size(), 1u);
    EXPECT_EQ(track[0]->time, 4.5f);
    EXPECT_EQ(track[0]->position, Vector3(0, 0, 0));
}

TEST(Keyframes, TextOutsideBlocksIsIgnoredAndEndkeysStopsTheParse)
{
    const auto track = parse(
        "KEYFRAMES\ntime 99\nposition V(5 5 5)\n\n"
        "keyframe\ntime 1\nend\n\n\n"
        "garbage line\n"
        "keyframe\ntime 2\nend\n"
        "ENDKEYS\n"
        "keyframe\ntime 3\nend\n");
    ASSERT_EQ(track.size(), 2u);
    EXPECT_EQ(track[0]->time, 1.0f);
    EXPECT_EQ(track[0]->position, Vector3(0, 0, 0));
    EXPECT_EQ(track[1]->time, 2.0f);
    EXPECT_TRUE(parse("KEYFRAMES\ntime 1\nENDKEYS").empty());
    EXPECT_TRUE(parse("").empty());
}

TEST(Keyframes, MissingLinesKeepTheConstructorValues)
{
    const auto track = parse("keyframe\nposition V(1 2 3)\nend\n");
    ASSERT_EQ(track.size(), 1u);
    EXPECT_EQ(track[0]->time, 0.0f);
    EXPECT_EQ(track[0]->orientation, Quaternion(0, 0, 0, 0));
    EXPECT_FALSE(track[0]->freeze);
}

TEST(Keyframes, LaterLinesOverrideAndFreezeIsNeverCleared)
{
    const auto track = parse("keyframe\ntime 1\nfreeze\nposition V(1 1 1)\ntime 2\nposition V(3 3 3)\nfreezer\nend\n");
    ASSERT_EQ(track.size(), 1u);
    EXPECT_EQ(track[0]->time, 2.0f);
    EXPECT_EQ(track[0]->position, Vector3(3, 3, 3));
    EXPECT_TRUE(track[0]->freeze);
}

TEST(Keyframes, PartlyScannedLinesKeepTheComponentsThatDidNotScan)
{
    const auto track = parse(
        "keyframe\n"
        "time 5\n"
        "timer\n"
        "position V(5 6 7)\n"
        "position V(1 2 x)\n"
        "quaternion Q(0.5 0.5 0.5 0.5)\n"
        "quaternion Q(1\n"
        "gradient W(9 9 9)\n"
        "end\n");
    ASSERT_EQ(track.size(), 1u);
    EXPECT_EQ(track[0]->time, 5.0f);
    EXPECT_EQ(track[0]->position, Vector3(1, 2, 7));
    EXPECT_EQ(track[0]->orientation, Quaternion(1, 0.5f, 0.5f, 0.5f));
    EXPECT_EQ(track[0]->gradient, Vector3(0, 0, 0));
}

TEST(Keyframes, NumbersScanLikePercentF)
{
    const auto track = parse(
        "keyframe\ntime +2.5\nposition V( -1.5e1   .25 3.)\nend\n"
        "keyframe\ntime 1e99\nposition V(nan 1 inf)\nend\n"
        "keyframe\ntime -\nquaternion Q(+-1 2 3 4)\nend\n");
    ASSERT_EQ(track.size(), 3u);
    EXPECT_EQ(track[0]->time, 2.5f);
    EXPECT_EQ(track[0]->position, Vector3(-15.0f, 0.25f, 3.0f));
    // Values a float cannot hold, and non-finite ones, do not scan.
    EXPECT_EQ(track[1]->time, 0.0f);
    EXPECT_EQ(track[1]->position, Vector3(0, 0, 0));
    EXPECT_EQ(track[2]->time, 0.0f);
    EXPECT_EQ(track[2]->orientation, Quaternion(0, 0, 0, 0));
}

TEST(Keyframes, ABlockLeftOpenAtTheEndOfTheTextIsDropped)
{
    auto track = parse("keyframe\ntime 1\nend\nkeyframe\ntime 2\nposition V(1 2 3)\n");
    ASSERT_EQ(track.size(), 1u);
    EXPECT_EQ(track[0]->time, 1.0f);
    // The closing line still counts without a line end.
    track = parse("keyframe\ntime 1\nend");
    ASSERT_EQ(track.size(), 1u);
}

TEST(Keyframes, LongLinesAreCutWithoutSpillingIntoTheNextLine)
{
    // A tail "end" beyond 127 characters must not become a line of its own and close the block.
    const std::string longLine = std::string(127, 'a') + "end";
    const auto track = parse("keyframe\n" + longLine + "\ntime 3\nend\n" + "keyframe\ntime " + std::string(140, '1') + "\nend\n");
    ASSERT_EQ(track.size(), 2u);
    EXPECT_EQ(track[0]->time, 3.0f);
    EXPECT_EQ(track[1]->time, 0.0f);  // 1e135 does not fit a float even cut to 122 digits
}

TEST(Keyframes, ReturnsWhereTheParseStopped)
{
    KeyframeTrack track;
    const std::string text = "keyframe\nend\nENDKEYS\nrest";
    EXPECT_EQ(parseKeyframes(track, bytesOf(text)), text.find("rest"));
    EXPECT_EQ(parseKeyframes(track, bytesOf("keyframe\nend")), 12u);
    EXPECT_EQ(track.size(), 2u);  // appends to what is there
}

}  // namespace

#include "data/data_file.h"

namespace {

TEST(Keyframes, ParsesAnOpenFileFromItsReadPosition)
{
    std::string text = "keyframe\ntime 9\nend\nkeyframe\ntime 4\nend\nENDKEYS\ntrailer";
    DataFile file;
    file.data = reinterpret_cast<uint8_t*>(text.data());
    file.size = static_cast<uint32_t>(text.size());
    file.owned = false;
    file.position = 20;  // the second block
    KeyframeTrack track;
    parseKeyframes(track, file);
    ASSERT_EQ(track.size(), 1u);
    EXPECT_EQ(track[0]->time, 4.0f);
    EXPECT_EQ(file.position, text.find("trailer"));
    parseKeyframes(track, file);
    EXPECT_EQ(track.size(), 1u);
    file.position = file.size;
    parseKeyframes(track, file);
    EXPECT_EQ(track.size(), 1u);
    file.data = nullptr;
    file.size = 0;
}

}  // namespace
