// The input rules of the run's window and the mouse-travel rule, without a windowing system.
#include <gtest/gtest.h>

#include "app/run.h"

namespace {

using platform::Event;
using platform::EventType;

Event motion(int x, int y)
{
    Event e;
    e.type = EventType::Motion;
    e.x = x;
    e.y = y;
    return e;
}

Event button(int which)
{
    Event e;
    e.type = EventType::ButtonDown;
    e.button = which;
    return e;
}

Event ofType(EventType type)
{
    Event e;
    e.type = type;
    return e;
}

// One frame of the loop's mouse handling; true when the run ends in this frame.
bool frame(RunInput& input, bool mouseExit)
{
    takeMouseTravel(input);
    return travelEndsRun(input, mouseExit);
}

}  // namespace

TEST(RunInput, KeysLeftAndRightButtonsAndClosingEndTheRun)
{
    for (const Event& e : {ofType(EventType::KeyDown), ofType(EventType::Close), button(1), button(3)}) {
        RunInput input;
        handleRunEvent(input, e, 400, 300, false);
        EXPECT_TRUE(input.quitPosted) << static_cast<int>(e.type) << " button " << e.button;
    }
}

TEST(RunInput, MiddleAndOtherButtonsSystemKeysAndPaintingDoNot)
{
    for (const Event& e : {button(2), button(4), button(5), ofType(EventType::SystemKey), ofType(EventType::Other)}) {
        RunInput input;
        handleRunEvent(input, e, 400, 300, false);
        EXPECT_FALSE(input.quitPosted) << static_cast<int>(e.type) << " button " << e.button;
    }
}

TEST(RunInput, HostedRunEndsOnlyWhenItsWindowGoes)
{
    for (const Event& e : {ofType(EventType::KeyDown), button(1), button(3), motion(900, 900)}) {
        RunInput input;
        handleRunEvent(input, e, 400, 300, true);
        EXPECT_FALSE(input.quitPosted);
        EXPECT_EQ(input.mouseOffsetX, 0.0f);
        EXPECT_FALSE(frame(input, true));
    }
    RunInput input;
    handleRunEvent(input, ofType(EventType::Close), 400, 300, true);
    EXPECT_TRUE(input.quitPosted);
}

TEST(RunInput, MotionOverwritesTheOffsetInsteadOfAddingUp)
{
    RunInput input;
    handleRunEvent(input, motion(410, 290), 400, 300, false);
    handleRunEvent(input, motion(420, 305), 400, 300, false);
    EXPECT_FLOAT_EQ(input.mouseOffsetX, 20 * 0.3f);
    EXPECT_FLOAT_EQ(input.mouseOffsetY, 5 * 0.3f);
    EXPECT_TRUE(takeMouseTravel(input));
    EXPECT_EQ(input.mouseOffsetX, 0.0f);
    EXPECT_EQ(input.mouseOffsetY, 0.0f);
    EXPECT_FLOAT_EQ(input.mouseTravel, 25 * 0.3f);
    // Nothing pending: no re-centring.
    EXPECT_FALSE(takeMouseTravel(input));
}

TEST(MouseTravel, TwentyFourPixelsRightEndsTheRunTwentyThreeDoNot)
{
    RunInput far;
    handleRunEvent(far, motion(424, 300), 400, 300, false);
    EXPECT_TRUE(frame(far, true));

    RunInput near;
    handleRunEvent(near, motion(423, 300), 400, 300, false);
    EXPECT_FALSE(frame(near, true));
    // The travel is kept: a second small move tips it over.
    handleRunEvent(near, motion(401, 300), 400, 300, false);
    EXPECT_TRUE(frame(near, true));
}

TEST(MouseTravel, LeftOrUpwardMovesMustBeMadeUpFirst)
{
    RunInput input;
    for (int i = 0; i < 5; ++i) {
        handleRunEvent(input, motion(300, 200), 400, 300, false);  // 100 left, 100 up
        EXPECT_FALSE(frame(input, true));
    }
    EXPECT_FLOAT_EQ(input.mouseTravel, -300.0f);
    handleRunEvent(input, motion(1400, 300), 400, 300, false);  // +300: back to zero
    EXPECT_FALSE(frame(input, true));
    handleRunEvent(input, motion(400, 324), 400, 300, false);  // 24 down
    EXPECT_TRUE(frame(input, true));
}

TEST(MouseTravel, WithMouseExitOffMovementNeverEndsTheRunButStillRecentres)
{
    RunInput input;
    for (int i = 0; i < 10; ++i) {
        handleRunEvent(input, motion(800, 600), 400, 300, false);
        EXPECT_TRUE(takeMouseTravel(input));
        EXPECT_FALSE(travelEndsRun(input, false));
    }
    EXPECT_GT(input.mouseTravel, 7.0f);
}

TEST(FrameTimer, MeasuresWithoutRestartingAndRestartsOnRequest)
{
    FrameTimer::initFrequency();
    EXPECT_GT(secondsPerTick, 0.0);
    FrameTimer timer;
    timer.restart();
    const int64_t start = timer.lastCount;
    volatile double sink = 0;
    for (int i = 0; i < 200000; ++i)
        sink = sink + i;
    const double first = timer.elapsed();
    const double second = timer.elapsed();
    EXPECT_GT(first, 0.0);
    EXPECT_GE(second, first);
    EXPECT_EQ(timer.lastCount, start);
    EXPECT_EQ(timer.elapsedSeconds, second);
    timer.restart();
    EXPECT_GT(timer.lastCount, start);
    EXPECT_LT(timer.elapsed(), 1.0);
}
