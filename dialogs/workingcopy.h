// The working copy that the registered-folders dialog edits: the registered folders in
// list order, and the width of the list's only column. Platform-free; text widths come
// from a measuring function that the caller passes in.
#pragma once
#include "../core/paths.h"

struct WorkingCopy {
    PathSlot slots[kRegisteredSlots];  // entries in list order; empty from count on
    int count;                         // entries in use, 0 to 30
    int widest;                        // widest entry as last measured: the column width
};

// Width in pixels of a text, as the list would show it.
typedef int (*TextWidthFn)(void* context, const char16_t* text);

// Fills the copy from the registered folders up to their first empty slot and measures
// every entry for the column width.
void LoadWorkingCopy(WorkingCopy* copy, const PathSlot* registered, TextWidthFn width,
                     void* context);

// The position of the entry equal to `path` unit for unit (letter case counts), or -1.
int FindEntry(const WorkingCopy* copy, const char16_t* path);

// Inserts `path` at position p, the later entries moving one down; a position outside
// 0..count appends. Returns the position taken, or -1 when the copy is full or the path
// is empty (nothing changes then).
int InsertEntry(WorkingCopy* copy, int p, const char16_t* path);

// Removes entry p, the later entries moving one up. Returns 0 when p is no entry.
int RemoveEntry(WorkingCopy* copy, int p);

// Exchanges entry p with entry p + step (step -1 moves it up, +1 down). Returns the
// position it moved to, or -1 when either position is no entry (nothing changes then).
int MoveEntry(WorkingCopy* copy, int p, int step);

// After an insertion: when `added` is wider than the column, the column takes its width
// and 1 is returned; otherwise 0.
int WidenForEntry(WorkingCopy* copy, const char16_t* added, TextWidthFn width, void* context);

// After a removal: when `removed` was at least as wide as the column, the column takes the
// width of the widest entry left (0 when none is left) and 1 is returned; otherwise 0.
int NarrowAfterRemoval(WorkingCopy* copy, const char16_t* removed, TextWidthFn width,
                       void* context);

// Replaces the registered folders with the entries of the copy; the slots after them are
// emptied.
void CommitWorkingCopy(const WorkingCopy* copy, PathSlot* registered);
