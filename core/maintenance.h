// Upkeep of the folder history on the process-wide lists: the purges and the cap.
// Each runs on the main thread with the history lock held by the caller.
#pragma once

void PurgeRegistered(void);
void PurgeDriveClass(int driveClass);
void PurgeUncPaths(void);
void PurgeVanished(void);
void CapHistory(void);

// The purges that the current capture filters call for.
void RunFilterPurges(void);
// Start-up and confirmation maintenance: filter purges, the vanished-folder purge when
// DeletedFolder is set, the cap. Takes the history lock.
void RunHistoryMaintenance(void);
