#include "pending.h"

void ClearPending(PendingSlot* slot)
{
    slot->window = nullptr;
    slot->path[0] = '\0';
    slot->countdown = 0;
}

int ParkPending(PendingSlot* slots, int* next, void* window, const char16_t* path,
                int countdownMs, unsigned* cancelled)
{
    *cancelled = 0;
    int at = *next;
    if (at < 0 || at >= kPendingSlots)
        at = 0;
    // Backwards from the slot before the next one, ending with the next one itself.
    for (int step = 1; step <= kPendingSlots; ++step) {
        const int i = (at - step + kPendingSlots) % kPendingSlots;
        if (slots[i].window == window) {
            ClearPending(&slots[i]);
            *cancelled |= 1u << i;
        }
    }
    PendingSlot* slot = &slots[at];
    slot->window = window;
    CopyPath(slot->path, path);
    slot->countdown = countdownMs;
    *next = (at + 1) % kPendingSlots;
    return at;
}

int TickPending(PendingSlot* slot, int busy)
{
    if (!busy && slot->countdown > 0)
        slot->countdown -= 200;
    return slot->countdown <= 0;
}
