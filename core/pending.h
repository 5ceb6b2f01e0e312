// The pending slots: captured paths waiting for their delay to run out before they
// are recorded. A ring of 20 slots; platform-free (windows are opaque handles).
#pragma once
#include "paths.h"

enum { kPendingSlots = 20 };

struct PendingSlot {
    void* window;   // the window that showed the path; null when the slot is free
    PathSlot path;  // the captured path
    int countdown;  // milliseconds of delay left
};

// Parks a path shown by `window` for `countdownMs`. Every earlier slot of the same
// window is cleared first (its bit is set in *cancelled, so the caller can stop its
// timer); then the slot at *next is taken, whether free or not, and *next advances
// around the ring. Returns the index of the slot taken.
int ParkPending(PendingSlot* slots, int* next, void* window, const char16_t* path,
                int countdownMs, unsigned* cancelled);

// One 200 ms tick of a slot: the countdown stands still while `busy`. Returns 1 when
// the delay has run out.
int TickPending(PendingSlot* slot, int busy);

void ClearPending(PendingSlot* slot);
