// Path slots and the folder lists built from them. Platform-free: paths are UTF-16, as
// Windows and Explorer hold them, in char16_t.
#pragma once

enum {
    kPathSize = 256,        // one path: at most 255 UTF-16 units and its NUL
    kHistorySlots = 50,     // the folder history
    kRegisteredSlots = 30,  // the registered folders
};

typedef char16_t PathSlot[kPathSize];

// Copies src into a path slot, cut to 255 units, and never between the two halves of a
// character outside the BMP. The slot is always terminated.
void CopyPath(char16_t* dst, const char16_t* src);

// Copies src into a path slot when it fits (at most 255 units) and returns 1; otherwise
// leaves the slot empty and returns 0. For texts from buffers larger than a slot, where a
// cut path would name some other folder.
int CopyPathIfFits(char16_t* dst, const char16_t* src);

// 1 when the two texts (paths, class names, markers) are equal unit for unit. The
// platform's string comparisons are linguistic; these comparisons must be exact.
int SamePath(const char16_t* a, const char16_t* b);
int SamePath(const char* a, const char* b);

// Copies an ASCII text (a marker, a class name) into a path slot.
void CopyAsciiPath(char16_t* dst, const char* src);

// Number of leading non-empty slots of a list of `count` slots.
int CountEntries(const PathSlot* slots, int count);

// 1 when the path equals one of the registered folders (compared in slot order up
// to the first empty slot).
int IsRegisteredIn(const PathSlot* registered, const char16_t* path);

// 1 when the path has the UNC form: its first two characters are backslashes.
int IsUncPath(const char16_t* path);

// The history length in force for a MaxLogData value. A hand-edited settings file
// can hold any integer; the history always keeps between 1 and 50 entries.
int HistoryLimit(int maxLogData);
