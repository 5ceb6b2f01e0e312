#include <windows.h>

#include "maintenance.h"

#include "capture.h"
#include "history.h"
#include "settings.h"
#include "wide.h"
#include "trailkeep.h"

static int FolderExists(const char16_t* path)
{
    // A path that now names a file counts as present: only a failed query purges.
    return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES;
}

void PurgeRegistered(void) { PurgeRegistered(gHistory, gRegistered); }
void PurgeDriveClass(int driveClass) { PurgeDriveClass(gHistory, driveClass, GetDriveClass); }
void PurgeUncPaths(void) { PurgeUncPaths(gHistory); }
void PurgeVanished(void) { PurgeVanished(gHistory, FolderExists, GetDriveClass); }
void CapHistory(void) { CapHistory(gHistory, MaxLogData); }

void RunFilterPurges(void)
{
    if (LogTourokuData == 0)
        PurgeRegistered();
    if (LogRemovable == 0) {
        PurgeDriveClass(kDriveRemovable);
        PurgeDriveClass(kDriveCdrom);
    }
    if (LogNetwork == 0) {
        PurgeDriveClass(kDriveRemote);
        PurgeUncPaths();
    }
}

void RunHistoryMaintenance(void)
{
    EnterCriticalSection(&gHistoryLock);
    RunFilterPurges();
    if (DeletedFolder != 0)
        PurgeVanished();
    CapHistory();
    LeaveCriticalSection(&gHistoryLock);
}
