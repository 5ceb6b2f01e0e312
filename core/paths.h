// Path slots and the folder lists built from them. Platform-free.
#pragma once

enum {
    kPathSize = 256,        // one path string: at most 255 characters and its NUL
    kHistorySlots = 50,     // the folder history
    kRegisteredSlots = 30,  // the registered folders
};

typedef char PathSlot[kPathSize];

// Copies src into a path slot, cut to 255 characters. The slot is always terminated.
void CopyPath(char* dst, const char* src);

// Copies src into a path slot when it fits (at most 255 characters) and returns 1;
// otherwise leaves the slot empty and returns 0. For texts from buffers larger than a
// slot, where a cut path would name some other folder.
int CopyPathIfFits(char* dst, const char* src);

// 1 when the two texts (paths, class names, markers) are equal byte for byte. The
// platform's string comparisons are linguistic; these comparisons must be exact.
int SamePath(const char* a, const char* b);

// Number of leading non-empty slots of a list of `count` slots.
int CountEntries(const PathSlot* slots, int count);

// 1 when the path equals one of the registered folders (compared in slot order up
// to the first empty slot).
int IsRegisteredIn(const PathSlot* registered, const char* path);

// 1 when the path has the UNC form: its first two characters are backslashes.
int IsUncPath(const char* path);

// The history length in force for a MaxLogData value. A hand-edited settings file
// can hold any integer; the history always keeps between 1 and 50 entries.
int HistoryLimit(int maxLogData);
