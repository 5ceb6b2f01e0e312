// The decisions of a drag out of the folder menu. Platform-free.
#include "dragstate.h"

#include "../core/paths.h"

const char16_t kUpperMenu[] = u"UpperMenu";

static long Distance(long a, long b)
{
    return a > b ? a - b : b - a;
}

int BeyondDragThreshold(DragPoint previous, DragPoint current, int cxDrag, int cyDrag)
{
    return Distance(current.x, previous.x) > cxDrag || Distance(current.y, previous.y) > cyDrag;
}

int HoldsUpperMenuMarker(const char16_t* buffer)
{
    return SamePath(buffer + 1, kUpperMenu + 1);
}

int IsUpperMenuMarker(const char16_t* buffer)
{
    return SamePath(buffer, kUpperMenu);
}

// Bounds included on all four sides.
static int Inside(DragPoint p, const long* rect)
{
    return rect[0] <= p.x && p.x <= rect[2] && rect[1] <= p.y && p.y <= rect[3];
}

static DragStep StepMove(const DragFacts& f)
{
    DragStep step = {f.state, 0};
    // A press on the folder menu itself starts no drag: its marker goes at once.
    if (IsUpperMenuMarker(f.buffer)) {
        step.actions = kDoClearBuffer;
        return step;
    }
    if (f.buffer[0] == '\0')
        return step;
    step.actions = kDoTrack;
    if (f.state != kDragNone) {
        step.actions |= kDoMoveMarker;
        return step;
    }
    // Measured from the press, as the system's own drag detection does: a hand that moves
    // a few pixels between press and release still clicks.
    if (BeyondDragThreshold(f.press, f.cursor, f.cxDrag, f.cyDrag)) {
        step.actions |= kDoStartDrag;
        step.next = kDragging;
    }
    return step;
}

static DragStep StepRelease(const DragFacts& f)
{
    DragStep step = {f.state, 0};
    // The hover click's own button events pass untouched.
    if (f.state >= kDragHoverClick)
        return step;
    if (f.buffer[0] != '\0' && f.state == kDragging)
        step.actions |= kDoTrack | kDoDrop;
    if (f.state != kDragNone)
        step.actions |= kDoEndMarker;
    step.actions |= kDoClearBuffer | kDoEnableTaskbar;
    // After a press on the folder menu itself the menu is still open: its release ends
    // nothing.
    if (!HoldsUpperMenuMarker(f.buffer))
        step.actions |= kDoExitMenuLoop;
    step.next = kDragNone;
    return step;
}

// The hover timer during a drag: the button let go unseen ends it; a rest over the
// task-switch window clicks it; anywhere else the timer looks again a second later, since
// a lost hook posts no more hover messages to set it.
static DragStep StepHoverTimer(const DragFacts& f)
{
    DragStep step = {f.state, 0};
    // Outside a drag the timer does nothing: it may fire after the drag has ended.
    if (f.state != kDragging)
        return step;
    if (f.buttonUp) {
        step.next = kDragNone;
        step.actions = kEndUnseenRelease;
    } else if (f.overTaskbar && Inside(f.cursor, f.taskSwitch)) {
        step.actions = kDoHoverClick;
    } else {
        step.actions = kDoRestartHover;
    }
    return step;
}

DragStep StepDrag(const DragFacts& f)
{
    DragStep step = {f.state, 0};
    // The hover click's own button events pass untouched, also when they reach the hook
    // after the drag has resumed.
    if ((f.event == kDragPress || f.event == kDragRelease) && f.ownClick)
        return step;
    switch (f.event) {
    case kDragPress:
        if (f.state < kDragHoverClick)
            step.actions = kDoRecordItem;
        return step;
    case kDragMove:
        return StepMove(f);
    case kDragRelease:
        return StepRelease(f);
    case kDragHoverPosted:
        // A movement's hover message may arrive after the release that ended its drag.
        if (f.state == kDragging && f.buttonUp) {
            step.next = kDragNone;
            step.actions = kEndUnseenRelease;
        } else if (f.state != kDragNone) {
            step.actions = kDoRestartHover;
        }
        return step;
    case kDragHoverTimer:
        return StepHoverTimer(f);
    case kDragAbandon:
        if (f.state != kDragNone)
            step.actions = kDoEndMarker | kDoEnableTaskbar;
        step.actions |= kDoClearBuffer | kDoUnhook;
        step.next = kDragNone;
        return step;
    }
    return step;
}
