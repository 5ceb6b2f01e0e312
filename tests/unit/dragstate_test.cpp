// The drag out of the folder menu: what each event asks for in each drag state.
#include <gtest/gtest.h>

#include <string>

#include "heaptext.h"
#include "menus/dragstate.h"

namespace {

std::string Names(unsigned actions)
{
    static const char* const kNames[] = {"RecordItem", "Track", "StartDrag", "MoveMarker",
                                         "Drop", "EndMarker", "ClearBuffer", "EnableTaskbar",
                                         "ExitMenuLoop", "RestartHover", "HoverClick", "Unhook"};
    std::string names;
    for (unsigned bit = 0; bit < sizeof kNames / sizeof kNames[0]; ++bit) {
        if (actions & (1u << bit))
            names += std::string(names.empty() ? "" : "|") + kNames[bit];
    }
    return names.empty() ? "-" : names;
}

// Buffers as the drag leaves them. Clearing sets only the first byte to 0.
const std::string kPath = "C:\\Users";
const std::string kEmpty("\0:\\Users", 8);         // a path, cleared
const std::string kMarker = "UpperMenu";
const std::string kClearedMarker("\0pperMenu", 9);  // the marker, cleared by a movement

// The task-switch window of the hover rows: left, top, right, bottom.
const long kTaskSwitch[4] = {100, 990, 900, 1023};

struct Row {
    const char* what;
    int state, event;
    std::string buffer;
    DragPoint current, cursor;
    int cxDrag, cyDrag;
    int overTaskbar;
    int next;
    unsigned actions;
    int ownClick = 0;  // the button event carries the hover click's mark
    int buttonUp = 0;  // the system says the button is up
};

const unsigned kReleaseCleanup = kDoClearBuffer | kDoEnableTaskbar;

const Row kRows[] = {
    // Presses record the pressed item, except during the hover click.
    {"press, no drag", kDragNone, kDragPress, kPath, {0, 0}, {5, 5}, 4, 4, 0, kDragNone,
     kDoRecordItem},
    {"press during a drag (the menu has gone)", kDragging, kDragPress, kPath, {0, 0}, {5, 5}, 4, 4,
     0, kDragging, kDoRecordItem},
    {"press of the hover click passes", kDragHoverClick, kDragPress, kPath, {0, 0}, {5, 5}, 4, 4, 0,
     kDragHoverClick, 0},

    // Movement without a dragged text.
    {"move, nothing pressed", kDragNone, kDragMove, kEmpty, {0, 0}, {400, 300}, 4, 4, 0, kDragNone,
     0},
    {"move after a press on the folder menu: marker cleared", kDragNone, kDragMove, kMarker,
     {0, 0}, {400, 300}, 4, 4, 0, kDragNone, kDoClearBuffer},
    {"move after the marker was cleared", kDragNone, kDragMove, kClearedMarker, {0, 0},
     {400, 300}, 4, 4, 0, kDragNone, 0},
    {"a text that only begins like the marker is a text", kDragNone, kDragMove, "UpperMenuX",
     {10, 10}, {11, 11}, 4, 4, 0, kDragNone, kDoTrack},

    // The threshold: strictly more than SM_CXDRAG across or SM_CYDRAG up or down (here the
    // press and the last recorded movement are one point; ThresholdIsMeasuredFromThePress
    // tells them apart).
    {"4 and 4 of 4, 4: no drag", kDragNone, kDragMove, kPath, {100, 100}, {104, 104}, 4, 4, 0,
     kDragNone, kDoTrack},
    {"-4 and -4 of 4, 4: no drag", kDragNone, kDragMove, kPath, {100, 100}, {96, 96}, 4, 4, 0,
     kDragNone, kDoTrack},
    {"5 across: drag", kDragNone, kDragMove, kPath, {100, 100}, {105, 100}, 4, 4, 0, kDragging,
     kDoTrack | kDoStartDrag},
    {"5 up: drag", kDragNone, kDragMove, kPath, {100, 100}, {100, 95}, 4, 4, 0, kDragging,
     kDoTrack | kDoStartDrag},
    {"the axes have their own thresholds: 8 of 10 across, 3 of 2 down", kDragNone, kDragMove,
     kPath, {100, 100}, {108, 103}, 10, 2, 0, kDragging, kDoTrack | kDoStartDrag},
    {"8 of 10 across, 2 of 2 down: no drag", kDragNone, kDragMove, kPath, {100, 100}, {108, 102},
     10, 2, 0, kDragNone, kDoTrack},

    // Movement during a drag moves the marker, also during the hover click.
    {"move during a drag", kDragging, kDragMove, kPath, {100, 100}, {101, 100}, 4, 4, 0, kDragging,
     kDoTrack | kDoMoveMarker},
    {"move during the hover click", kDragHoverClick, kDragMove, kPath, {100, 100}, {300, 100}, 4,
     4, 0, kDragHoverClick, kDoTrack | kDoMoveMarker},
    {"move during a drag whose press hit nothing", kDragging, kDragMove, kEmpty, {100, 100},
     {300, 100}, 4, 4, 0, kDragging, 0},
    {"marker of a press during a drag", kDragging, kDragMove, kMarker, {100, 100}, {300, 100}, 4,
     4, 0, kDragging, kDoClearBuffer},

    // Releases.
    {"plain click on an entry", kDragNone, kDragRelease, kPath, {0, 0}, {5, 5}, 4, 4, 0,
     kDragNone, kReleaseCleanup | kDoExitMenuLoop},
    {"release on the folder menu itself ends nothing", kDragNone, kDragRelease, kMarker, {0, 0},
     {5, 5}, 4, 4, 0, kDragNone, kReleaseCleanup},
    {"release after the marker was cleared by a movement", kDragNone, kDragRelease,
     kClearedMarker, {0, 0}, {5, 5}, 4, 4, 0, kDragNone, kReleaseCleanup},
    {"release after a press outside any menu", kDragNone, kDragRelease, kEmpty, {0, 0}, {5, 5}, 4,
     4, 0, kDragNone, kReleaseCleanup | kDoExitMenuLoop},
    {"drop", kDragging, kDragRelease, kPath, {100, 100}, {100, 100}, 4, 4, 0, kDragNone,
     kDoTrack | kDoDrop | kDoEndMarker | kReleaseCleanup | kDoExitMenuLoop},
    {"release of a drag whose text was cleared: no drop", kDragging, kDragRelease, kEmpty,
     {100, 100}, {100, 100}, 4, 4, 0, kDragNone, kDoEndMarker | kReleaseCleanup | kDoExitMenuLoop},
    {"release of the hover click passes", kDragHoverClick, kDragRelease, kPath, {100, 100},
     {100, 100}, 4, 4, 0, kDragHoverClick, 0},

    // The hover message restarts the timer only while a drag is under way.
    {"hover during a drag", kDragging, kDragHoverPosted, kPath, {0, 0}, {0, 0}, 4, 4, 0, kDragging,
     kDoRestartHover},
    {"hover during the hover click", kDragHoverClick, kDragHoverPosted, kPath, {0, 0}, {0, 0}, 4, 4,
     0, kDragHoverClick, kDoRestartHover},
    {"hover that arrives after the release", kDragNone, kDragHoverPosted, kEmpty, {0, 0}, {0, 0}, 4,
     4, 0, kDragNone, 0},

    // The hover timer clicks the task-switch window under the cursor, bounds included.
    {"rest over the task-switch window", kDragging, kDragHoverTimer, kPath, {0, 0}, {500, 1000}, 4,
     4, 1, kDragging, kDoHoverClick},
    {"rest on its top-left corner", kDragging, kDragHoverTimer, kPath, {0, 0}, {100, 990}, 4, 4, 1,
     kDragging, kDoHoverClick},
    {"rest on its bottom-right corner", kDragging, kDragHoverTimer, kPath, {0, 0}, {900, 1023}, 4,
     4, 1, kDragging, kDoHoverClick},
    {"rest beside it on the taskbar: looks again later", kDragging, kDragHoverTimer, kPath, {0, 0},
     {901, 1000}, 4, 4, 1, kDragging, kDoRestartHover},
    {"rest inside its rectangle over another window: looks again later", kDragging,
     kDragHoverTimer, kPath, {0, 0}, {500, 1000}, 4, 4, 0, kDragging, kDoRestartHover},
    {"timer after the drag ended", kDragNone, kDragHoverTimer, kEmpty, {0, 0}, {500, 1000}, 4, 4, 1,
     kDragNone, 0},
    {"timer during the hover click", kDragHoverClick, kDragHoverTimer, kPath, {0, 0}, {500, 1000},
     4, 4, 1, kDragHoverClick, 0},

    // The hover click's own button events, late: the drag is back in state 1.
    {"late release of the hover click", kDragging, kDragRelease, kPath, {100, 100}, {100, 100}, 4,
     4, 0, kDragging, 0, 1},
    {"late press of the hover click", kDragging, kDragPress, kPath, {100, 100}, {100, 100}, 4, 4,
     0, kDragging, 0, 1},

    // A release the hook never saw: the button is up, the drag ends without a drop.
    {"hover with the button up", kDragging, kDragHoverPosted, kPath, {0, 0}, {0, 0}, 4, 4, 0,
     kDragNone, kEndUnseenRelease, 0, 1},
    {"timer with the button up, over the task-switch window", kDragging, kDragHoverTimer, kPath,
     {0, 0}, {500, 1000}, 4, 4, 1, kDragNone, kEndUnseenRelease, 0, 1},
    {"hover during the hover click, whose release the system reports", kDragHoverClick,
     kDragHoverPosted, kPath, {0, 0}, {0, 0}, 4, 4, 0, kDragHoverClick, kDoRestartHover, 0, 1},
    {"timer with the button up after the drag ended", kDragNone, kDragHoverTimer, kEmpty, {0, 0},
     {500, 1000}, 4, 4, 1, kDragNone, 0, 0, 1},

    // Trailkeep closing ends whatever is under way.
    {"close during a drag", kDragging, kDragAbandon, kPath, {0, 0}, {0, 0}, 4, 4, 0, kDragNone,
     kDoEndMarker | kReleaseCleanup | kDoUnhook},
    {"close with no drag: the taskbar is not touched", kDragNone, kDragAbandon, kPath, {0, 0},
     {0, 0}, 4, 4, 0, kDragNone, kDoClearBuffer | kDoUnhook},
};

TEST(StepDrag, EachEventInEachState)
{
    for (const Row& row : kRows) {
        // The buffer on the heap at its exact size: reading past it is reported.
        const auto buffer = HeapWideText(row.buffer);
        DragFacts facts{};
        facts.state = row.state;
        facts.event = row.event;
        facts.buffer = buffer.get();
        facts.current = row.current;
        facts.press = row.current;
        facts.cursor = row.cursor;
        facts.cxDrag = row.cxDrag;
        facts.cyDrag = row.cyDrag;
        facts.overTaskbar = row.overTaskbar;
        facts.ownClick = row.ownClick;
        facts.buttonUp = row.buttonUp;
        for (int i = 0; i < 4; ++i)
            facts.taskSwitch[i] = kTaskSwitch[i];
        const DragStep step = StepDrag(facts);
        EXPECT_EQ(step.next, row.next) << row.what;
        EXPECT_EQ(Names(step.actions), Names(row.actions)) << row.what;
    }
}

// A click whose hand moved a little between press and release is a click: the distance
// counts from the press, not from where the last movement was recorded (nor from (0, 0)
// before any was).
TEST(StepDrag, ThresholdIsMeasuredFromThePress)
{
    struct Case {
        const char* what;
        DragPoint press, current, cursor;
        int next;
    } const kCases[] = {
        {"first movement of the run, 2 and 1 from the press", {500, 300}, {0, 0}, {502, 301},
         kDragNone},
        {"steps of 3 that stay within 4 of the press", {500, 300}, {503, 300}, {504, 302},
         kDragNone},
        {"steps of 3 that add up to 6 from the press", {500, 300}, {503, 300}, {506, 300},
         kDragging},
        {"back near the press after a step away", {500, 300}, {503, 303}, {501, 299}, kDragNone},
        {"5 up from the press", {500, 300}, {500, 298}, {500, 295}, kDragging},
    };
    for (const Case& c : kCases) {
        const auto buffer = HeapWideText(kPath);
        DragFacts facts{};
        facts.state = kDragNone;
        facts.event = kDragMove;
        facts.buffer = buffer.get();
        facts.press = c.press;
        facts.current = c.current;
        facts.cursor = c.cursor;
        facts.cxDrag = facts.cyDrag = 4;
        const DragStep step = StepDrag(facts);
        EXPECT_EQ(step.next, c.next) << c.what;
        EXPECT_EQ(Names(step.actions),
                  Names(c.next == kDragging ? kDoTrack | kDoStartDrag : kDoTrack))
            << c.what;
    }
}

}  // namespace
