// Display order of the folder history in the folder menu. Platform-free.
#pragma once
#include "paths.h"

// A history entry in the ANSI code page, as the settings file has always held it.
typedef char AnsiSlot[kPathSize];

// Compares two bytes of path text: -1, 0 or +1 (+1: a sorts after b). Bytes count as
// signed values; ASCII letters compare without case against each other only.
int CompareChar(char a, char b);

// Fills order[h] with the display position of history slot h for the LogSort value
// `logSort` (0 recording order, 1 reversed, 2 ascending, 3 descending, other values
// as 0). The entry after the last used slot is set to -1 when the history is not
// full; later entries are left alone.
//
// OrderAnsiHistory sorts the entries' ANSI bytes by the byte rule of CompareChar, which
// every history has been shown in until now; it serves whenever every entry has an ANSI
// form, so such histories keep their order exactly. OrderHistory sorts by `compare`, which
// compares what the user reads (the menu passes the platform's case-insensitive
// comparison): for histories with a name the ANSI code page cannot spell.
void OrderAnsiHistory(const AnsiSlot* history, int logSort, int* order);
typedef int (*CompareNamesFn)(const char16_t* a, const char16_t* b);  // <0, 0 or >0
void OrderHistory(const PathSlot* history, int logSort, int* order, CompareNamesFn compare);

// The history slot shown at display position `position`, or -1.
int SlotAtPosition(const int* order, int position);
