// Operations on the folder history as data: recording, purges, compaction and
// the cap. Platform-free; the platform queries a purge needs are passed in.
#pragma once
#include "paths.h"

// The marker that purges write over the entries they remove.
#define TK_DELETED_MARKER u"Deleted"

// Drive classes, from the drive type the platform reports for a path's root.
enum {
    kDriveFixed = 0,
    kDriveRam = 1,
    kDriveRemote = 2,
    kDriveRemovable = 3,
    kDriveCdrom = 4,
    kDriveUnknown = 5,
};

// Maps a GetDriveTypeW result to its drive class.
int DriveClassFromType(unsigned driveType);

typedef int (*DriveClassFn)(const char16_t* path);
typedef int (*FolderExistsFn)(const char16_t* path);

// Moves `path` to the front of the history, keeping at most HistoryLimit(maxLogData)
// entries: an equal older entry is removed, and a full history loses its last entry.
// An empty path is not recorded.
void RecordPath(PathSlot* history, int maxLogData, const char16_t* path);

// Removes every entry equal to `text` and closes the gaps, keeping the order of the
// survivors; the slots freed at the end are emptied.
void CompactHistory(PathSlot* history, const char16_t* text);

// Empties every slot from HistoryLimit(maxLogData) on.
void CapHistory(PathSlot* history, int maxLogData);

// The four purges: each marks the entries it selects with the marker, then compacts.
void PurgeRegistered(PathSlot* history, const PathSlot* registered);
void PurgeDriveClass(PathSlot* history, int driveClass, DriveClassFn classOf);
void PurgeUncPaths(PathSlot* history);
void PurgeVanished(PathSlot* history, FolderExistsFn exists, DriveClassFn classOf);

// value * factor, held within the range of a signed 32-bit integer. Delays come
// from a hand-editable file and are scaled to milliseconds.
int ScaleSaturated(int value, int factor);
