// Display order of the folder history in the folder menu. Platform-free.
#pragma once
#include "paths.h"

// Compares two bytes of path text: -1, 0 or +1 (+1: a sorts after b). Bytes count as
// signed values; ASCII letters compare without case against each other only.
int CompareChar(char a, char b);

// Fills order[h] with the display position of history slot h for the LogSort value
// `logSort` (0 recording order, 1 reversed, 2 ascending, 3 descending, other values
// as 0). The entry after the last used slot is set to -1 when the history is not
// full; later entries are left alone.
void OrderHistory(const PathSlot* history, int logSort, int* order);

// The history slot shown at display position `position`, or -1.
int SlotAtPosition(const int* order, int position);
