#include "history.h"

int DriveClassFromType(unsigned driveType)
{
    switch (driveType) {
    case 3: return kDriveFixed;      // DRIVE_FIXED
    case 6: return kDriveRam;        // DRIVE_RAMDISK
    case 4: return kDriveRemote;     // DRIVE_REMOTE
    case 2: return kDriveRemovable;  // DRIVE_REMOVABLE
    case 5: return kDriveCdrom;      // DRIVE_CDROM
    default: return kDriveUnknown;   // DRIVE_UNKNOWN, DRIVE_NO_ROOT_DIR, anything else
    }
}

void RecordPath(PathSlot* history, int maxLogData, const char16_t* text)
{
    // The entry as it will be stored: compared in this form, so that a text longer than
    // a slot cannot slip past its own earlier entry.
    PathSlot path;
    CopyPath(path, text);
    if (path[0] == '\0')
        return;
    if (history[0][0] == '\0') {
        CopyPath(history[0], path);
        history[1][0] = '\0';
        return;
    }
    const int limit = HistoryLimit(maxLogData);
    int k = 0;
    for (int n = 0;; ++n) {
        if (n >= limit) {           // full: the last entry falls off
            k = n - 1;
            break;
        }
        if (history[n][0] == '\0') {  // the list grows by one
            k = n;
            if (n + 1 < kHistorySlots)
                history[n + 1][0] = '\0';
            break;
        }
        if (SamePath(history[n], path)) {  // already present: move to front
            k = n;
            break;
        }
    }
    for (int i = k; i > 0; --i)
        CopyPath(history[i], history[i - 1]);
    CopyPath(history[0], path);
}

void CompactHistory(PathSlot* history, const char16_t* text)
{
    int w = 0;
    for (int r = 0; r < kHistorySlots && history[r][0] != '\0'; ++r) {
        if (SamePath(history[r], text))
            continue;
        if (w != r)
            CopyPath(history[w], history[r]);
        ++w;
    }
    for (; w < kHistorySlots; ++w)
        history[w][0] = '\0';
}

void CapHistory(PathSlot* history, int maxLogData)
{
    for (int i = HistoryLimit(maxLogData); i < kHistorySlots; ++i)
        history[i][0] = '\0';
}

// What one purge selects, and what its test needs.
struct PurgeTest {
    int kind;
    const PathSlot* registered;
    int driveClass;
    DriveClassFn classOf;
    FolderExistsFn exists;
};

enum { kPurgeRegistered, kPurgeDriveClass, kPurgeUnc, kPurgeVanished };

static int PurgeSelects(const PurgeTest& test, const char16_t* path)
{
    switch (test.kind) {
    case kPurgeRegistered:
        return IsRegisteredIn(test.registered, path);
    case kPurgeDriveClass:
        return test.classOf(path) == test.driveClass;
    case kPurgeUnc:
        return IsUncPath(path);
    case kPurgeVanished: {
        // Only folders on local disks count as vanished, so that an unreachable server
        // or an ejected medium never costs the user an entry. Those tests come before the
        // existence query: asking after a folder on an unreachable server would hold the
        // main thread, and the history lock, for the whole network time-out.
        if (path[0] == u'\\')
            return 0;
        const int cls = test.classOf(path);
        if (cls != kDriveFixed && cls != kDriveRam)
            return 0;
        return !test.exists(path);
    }
    }
    return 0;
}

static void MarkAndCompact(PathSlot* history, const PurgeTest& test)
{
    for (int i = 0; i < kHistorySlots && history[i][0] != '\0'; ++i) {
        if (PurgeSelects(test, history[i]))
            CopyPath(history[i], TK_DELETED_MARKER);
    }
    CompactHistory(history, TK_DELETED_MARKER);
}

void PurgeRegistered(PathSlot* history, const PathSlot* registered)
{
    PurgeTest test = {kPurgeRegistered, registered, 0, nullptr, nullptr};
    MarkAndCompact(history, test);
}

void PurgeDriveClass(PathSlot* history, int driveClass, DriveClassFn classOf)
{
    PurgeTest test = {kPurgeDriveClass, nullptr, driveClass, classOf, nullptr};
    MarkAndCompact(history, test);
}

void PurgeUncPaths(PathSlot* history)
{
    PurgeTest test = {kPurgeUnc, nullptr, 0, nullptr, nullptr};
    MarkAndCompact(history, test);
}

void PurgeVanished(PathSlot* history, FolderExistsFn exists, DriveClassFn classOf)
{
    PurgeTest test = {kPurgeVanished, nullptr, 0, classOf, exists};
    MarkAndCompact(history, test);
}

int ScaleSaturated(int value, int factor)
{
    const long long scaled = static_cast<long long>(value) * factor;
    if (scaled > 2147483647LL)
        return 2147483647;
    if (scaled < -2147483647LL - 1)
        return -2147483647 - 1;
    return static_cast<int>(scaled);
}
