// The open-folder list: the watcher's table in z-order, each folder once.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "menus/openlist.h"

namespace {

// Opaque handles: small numbers stand for windows and browsers.
void* H(int n)
{
    return reinterpret_cast<void*>(static_cast<intptr_t>(n));
}

struct Tab {
    int browser, window, root;  // browser 0: a free entry
    const char* path;           // "" unknown or virtual
};

struct Case {
    const char* what;
    std::vector<Tab> table;
    std::vector<int> zOrder;  // top-level windows, front-most first
    int room;
    std::vector<std::string> expected;  // "window path"
};

std::vector<std::string> ListOf(const Case& c)
{
    ShellEntry entries[kShellEntries] = {};
    int count = 0;
    for (const Tab& t : c.table) {
        ShellEntry& e = entries[count++];
        e.browser = t.browser != 0 ? H(t.browser) : nullptr;
        e.window = H(t.window);
        e.root = H(t.root);
        for (int k = 0; t.path[k] != '\0'; ++k)  // ASCII, unit for unit
            e.path[k] = static_cast<char16_t>(t.path[k]);
    }
    std::vector<void*> roots;
    for (int r : c.zOrder)
        roots.push_back(H(r));
    ShownFolder out[kShellEntries + 1];
    std::memset(out, 0x5A, sizeof out);  // a sentinel past the room must stay untouched
    const int n = ListOpenFolders(entries, count, roots.data(), static_cast<int>(roots.size()),
                                  out, c.room);
    std::vector<std::string> listed;
    for (int k = 0; k < n; ++k)
        listed.push_back(std::to_string(reinterpret_cast<intptr_t>(out[k].window)) + " " +
                         std::string(out[k].path, out[k].path + std::char_traits<char16_t>::length(out[k].path)));
    EXPECT_EQ(static_cast<unsigned>(out[c.room].path[0]), 0x5A5Au) << c.what;
    return listed;
}

TEST(ListOpenFolders, FrontMostFirstEachFolderOnceVirtualLeftOut)
{
    const Case cases[] = {
        {"empty table", {}, {100, 200}, 8, {}},
        {"two windows, one with two tabs, the second in front",
         {{1, 11, 100, "C:\\a"}, {2, 21, 200, "C:\\b"}, {3, 22, 200, "C:\\c"}},
         {7, 200, 9, 100},
         8,
         {"21 C:\\b", "22 C:\\c", "11 C:\\a"}},
        {"a folder in two windows: the front-most one's",
         {{1, 11, 100, "C:\\a"}, {2, 21, 200, "C:\\a"}},
         {200, 100},
         8,
         {"21 C:\\a"}},
        {"free entries and virtual folders left out, a gap in the table",
         {{1, 11, 100, ""}, {0, 12, 100, "C:\\free"}, {3, 13, 100, "\\\\server\\share"}},
         {100},
         8,
         {"13 \\\\server\\share"}},
        {"a window missing from the z-order comes last, in table order",
         {{1, 11, 100, "C:\\gone"}, {2, 21, 200, "C:\\b"}, {3, 31, 300, "C:\\later"}},
         {200},
         8,
         {"21 C:\\b", "11 C:\\gone", "31 C:\\later"}},
        {"no z-order at all: table order", {{1, 11, 100, "C:\\x"}, {2, 21, 200, "C:\\y"}}, {}, 8,
         {"11 C:\\x", "21 C:\\y"}},
        {"the room is full",
         {{1, 11, 100, "C:\\a"}, {2, 21, 200, "C:\\b"}, {3, 31, 300, "C:\\c"}},
         {300, 200, 100},
         2,
         {"31 C:\\c", "21 C:\\b"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, ListOf(c)) << c.what;
}

TEST(ListOpenFolders, AFullTableInReverseZOrder)
{
    Case c{"full", {}, {}, kShellEntries, {}};
    for (int i = 0; i < kShellEntries; ++i) {
        static char paths[kShellEntries][16];
        std::snprintf(paths[i], sizeof paths[i], "C:\\f%02d", i);
        c.table.push_back({i + 1, 1000 + i, 5000 + i, paths[i]});
        c.zOrder.insert(c.zOrder.begin(), 5000 + i);
        c.expected.insert(c.expected.begin(), std::to_string(1000 + i) + " " + paths[i]);
    }
    EXPECT_EQ(c.expected, ListOf(c));
}

}  // namespace
