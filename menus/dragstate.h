// The decisions of a drag out of the folder menu: what a mouse event of the menu mouse
// hook, a hover message or the hover timer asks for in each drag state. Platform-free:
// the Win32 side (menuloop.cpp, drag.cpp) gathers the facts, asks, and carries out the
// actions in the order they are listed here.
#pragma once

// Drag states.
enum {
    kDragNone = 0,        // no drag
    kDragging = 1,        // an entry is dragged: the menu has closed, the marker follows
    kDragHoverClick = 2,  // the hover timer's click on the taskbar is under way
};

// What happened.
enum {
    kDragPress = 0,       // left button pressed (menu mouse hook)
    kDragMove = 1,        // mouse moved (menu mouse hook)
    kDragRelease = 2,     // left button released (menu mouse hook)
    kDragHoverPosted = 3, // WM_TK_DRAGHOVER reached the main window
    kDragHoverTimer = 4,  // TIMER_TASKBAR_HOVER fired
    kDragAbandon = 5,     // Trailkeep closes: whatever is under way ends now
};

// What to do, carried out in this order.
enum {
    kDoRecordItem = 1 << 0,     // press point and previous point := cursor; buffer := the
                                // pressed item's text, "UpperMenu", or empty
    kDoTrack = 1 << 1,          // previous point := current point; current point := cursor
    kDoStartDrag = 1 << 2,      // disable the taskbar; end the menu
    kDoMoveMarker = 1 << 3,     // post WM_TK_DRAGHOVER; draw the marker at the current point
    kDoDrop = 1 << 4,           // hand the dragged text and the current point to the drop
    kDoEndMarker = 1 << 5,      // remove the marker, end the drawing, stop the hover timer
    kDoClearBuffer = 1 << 6,    // the buffer's first byte := 0
    kDoEnableTaskbar = 1 << 7,  // enable the taskbar again
    kDoExitMenuLoop = 1 << 8,   // send WM_EXITMENULOOP to the main window
    kDoRestartHover = 1 << 9,   // (re)start the one-second hover timer
    kDoHoverClick = 1 << 10,    // click the task-switch window under the cursor
    kDoUnhook = 1 << 11,        // remove the menu mouse hook
};

// A drag whose release the hook never saw (Windows removes a low-level hook that does not
// answer in time, without a word) ends as a release over a window that takes no drop.
const unsigned kEndUnseenRelease = kDoEndMarker | kDoClearBuffer | kDoEnableTaskbar |
                                   kDoExitMenuLoop;

struct DragPoint {
    long x, y;
};

// The facts an event is judged on.
struct DragFacts {
    int state;             // kDrag* state before the event
    int event;             // kDrag* event
    const char16_t* buffer;  // the drag buffer before the event (units after an empty first
                             // one still count: they tell a cleared upper-menu marker)
    DragPoint press;       // the cursor position recorded at the last press
    DragPoint current;     // the current point recorded at the last handled movement
    DragPoint cursor;      // the cursor position now
    int cxDrag, cyDrag;    // the system's drag thresholds (SM_CXDRAG, SM_CYDRAG)
    int overTaskbar;       // hover timer: the root window under the cursor is the taskbar
    long taskSwitch[4];    // hover timer: the task-switch window's left, top, right, bottom
    int ownClick;          // press or release: the event carries the hover click's mark
    int buttonUp;          // hover message and timer: the system says the button is up (not
                           // known after a hover click of this drag, whose release it reports)
};

struct DragStep {
    int next;          // the drag state after the event
    unsigned actions;  // kDo* flags
};

// Whether a movement from `previous` to `current` goes beyond the drag thresholds: more
// than cxDrag pixels across, or else more than cyDrag pixels up or down.
int BeyondDragThreshold(DragPoint previous, DragPoint current, int cxDrag, int cyDrag);

// Whether the buffer's bytes from the second on read "pperMenu": the upper-menu marker,
// whole or with its first byte cleared.
int HoldsUpperMenuMarker(const char16_t* buffer);

// The upper-menu marker: the drag buffer's text after a press on an item of the folder
// menu itself (a sub-menu header or the open command).
extern const char16_t kUpperMenu[];

// Whether the buffer holds exactly the upper-menu marker.
int IsUpperMenuMarker(const char16_t* buffer);

// What an event asks for.
DragStep StepDrag(const DragFacts& facts);
