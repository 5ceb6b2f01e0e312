// The open-folder list of the folder menu, from the watcher's table and the z-order.
#include "openlist.h"

// The place of an entry's top-level window in the z-order; rootCount when not there.
static int RankOf(const ShellEntry& entry, void* const* roots, int rootCount)
{
    for (int r = 0; r < rootCount; ++r) {
        if (roots[r] == entry.root)
            return r;
    }
    return rootCount;
}

static int IsListed(const ShownFolder* out, int listed, const char16_t* path)
{
    for (int k = 0; k < listed; ++k) {
        if (SamePath(out[k].path, path))
            return 1;
    }
    return 0;
}

int ListOpenFolders(const ShellEntry* entries, int count, void* const* roots, int rootCount,
                    ShownFolder* out, int room)
{
    if (count > kShellEntries)
        count = kShellEntries;
    // The entries with a folder, sorted by z-order rank by insertion (stable: tabs of one
    // window, and windows not in the z-order, keep the table's order).
    int order[kShellEntries];
    int ranks[kShellEntries];
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const ShellEntry& e = entries[i];
        if (e.browser == nullptr || e.path[0] == '\0')
            continue;
        const int rank = RankOf(e, roots, rootCount);
        int at = kept++;
        for (; at > 0 && ranks[at - 1] > rank; --at) {
            order[at] = order[at - 1];
            ranks[at] = ranks[at - 1];
        }
        order[at] = i;
        ranks[at] = rank;
    }
    int listed = 0;
    for (int k = 0; k < kept && listed < room; ++k) {
        const ShellEntry& e = entries[order[k]];
        if (IsListed(out, listed, e.path))
            continue;
        out[listed].window = e.window;
        CopyPath(out[listed].path, e.path);
        ++listed;
    }
    return listed;
}
