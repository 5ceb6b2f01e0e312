// The up-down step of the settings dialog's number fields.
#include <gtest/gtest.h>

#include <climits>

#include "dialogs/fieldstep.h"

namespace {

enum { kUp = -1, kDown = 1 };  // the deltas of the arrows under the default range

struct Step {
    int value, delta, lowest, highest;
    int expected;
    const char* what;
};

// MaxLogData steps within 1..50; LogDelay and DeletedFolderTime within 0.. without an
// upper bound.
const Step kSteps[] = {
    {20, kUp, 1, 50, 21, "history length up"},
    {20, kDown, 1, 50, 19, "history length down"},
    {49, kUp, 1, 50, 50, "up to the upper bound"},
    {50, kUp, 1, 50, 50, "held at 50"},
    {2, kDown, 1, 50, 1, "down to the lower bound"},
    {1, kDown, 1, 50, 1, "held at 1"},
    {100, kUp, 1, 50, 50, "the bound applies to the result: 100 up gives 50 at once"},
    {500, kUp, 1, 50, 50, "a hand-edited 500 comes into range going up"},
    {500, kDown, 1, 50, 499, "going down from 500 moves one towards the range"},
    {0, kDown, 1, 50, 1, "a hand-edited 0 going down gives 1"},
    {0, kUp, 1, 50, 1, "0 up gives 1"},
    {-5, kDown, 1, 50, 1, "below the range, down comes to the lower bound"},
    {-5, kUp, 1, 50, -4, "below the range, up moves one towards it"},
    {0, kDown, 0, kNoUpperBound, 0, "a delay of 0 stays 0 going down"},
    {0, kUp, 0, kNoUpperBound, 1, "delay up"},
    {99, kUp, 0, kNoUpperBound, 100, "no upper bound: 99, 100"},
    {100, kUp, 0, kNoUpperBound, 101, "no upper bound: 100, 101"},
    {999999999, kUp, 0, kNoUpperBound, 1000000000, "the largest value a file gives"},
    {-3, kDown, 0, kNoUpperBound, 0, "a negative delay going down gives 0"},
    {INT_MAX, kUp, 0, kNoUpperBound, INT_MAX, "held at the end of the integer range"},
    {INT_MIN, kDown, 1, 50, 1, "no wrap below the integer range"},
    {INT_MIN, kDown, INT_MIN, 50, INT_MIN, "held at the start of the integer range"},
    {7, 0, 1, 50, 7, "delta 0 changes nothing"},
    {500, 0, 1, 50, 500, "delta 0 leaves an out-of-range value"},
    {20, -5, 1, 50, 21, "an accelerated step is still one"},
    {20, 20, 1, 50, 19, "an accelerated step down is still one"},
    {20, INT_MIN, 1, 50, 21, "any negative delta is up"},
};

TEST(StepFieldValue, TableOfSteps)
{
    for (const Step& s : kSteps)
        EXPECT_EQ(s.expected, StepFieldValue(s.value, s.delta, s.lowest, s.highest)) << s.what;
}

// Stepping up from any value of the history length ends at 50 and stays there; stepping
// down ends at 1.
TEST(StepFieldValue, RepeatedStepsSettleAtTheBounds)
{
    for (int start : {-60, 0, 1, 25, 50, 120}) {
        int up = start, down = start;
        for (int i = 0; i < 200; ++i) {
            up = StepFieldValue(up, kUp, 1, 50);
            down = StepFieldValue(down, kDown, 1, 50);
        }
        EXPECT_EQ(50, up) << start;
        EXPECT_EQ(1, down) << start;
    }
}

}  // namespace
