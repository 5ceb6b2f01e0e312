#include "shellnav.h"

static char16_t Lower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// 1 when `text` begins with `prefix` (ASCII, letter case ignored).
static int StartsWith(const char16_t* text, const char* prefix)
{
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (Lower(*text) != static_cast<char16_t>(*prefix))
            return 0;
    }
    return 1;
}

static int HexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    c = Lower(c);
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

// Appends one character; 0 when the path (and its NUL) would not fit.
static int Put(char16_t* path, int* n, char16_t c)
{
    if (*n >= kWidePathSize - 1)
        return 0;
    path[(*n)++] = c;
    return 1;
}

// Decodes the run of %-escapes at *at as UTF-8 into the path. 0 on a malformed escape,
// bytes that are no UTF-8, or a NUL.
static int PutEscapes(const char16_t** at, char16_t* path, int* n)
{
    const char16_t* p = *at;
    unsigned code = 0;
    unsigned least = 0;  // the smallest value the sequence may encode (no overlong forms)
    int pending = 0;     // continuation bytes still expected
    while (*p == u'%') {
        const int hi = HexValue(p[1]);
        const int lo = hi < 0 ? -1 : HexValue(p[2]);
        if (lo < 0)
            return 0;
        const unsigned byte = static_cast<unsigned>(hi * 16 + lo);
        p += 3;
        if (pending == 0) {
            if (byte == 0)
                return 0;
            if (byte < 0x80) {
                if (!Put(path, n, static_cast<char16_t>(byte)))
                    return 0;
                continue;
            }
            // Lead bytes: 2, 3 or 4 bytes; overlong two-byte forms (C0, C1) refused.
            if (byte >= 0xC2 && byte <= 0xDF) {
                code = byte & 0x1F;
                least = 0x80;
                pending = 1;
            } else if (byte >= 0xE0 && byte <= 0xEF) {
                code = byte & 0x0F;
                least = 0x800;
                pending = 2;
            } else if (byte >= 0xF0 && byte <= 0xF4) {
                code = byte & 0x07;
                least = 0x10000;
                pending = 3;
            } else {
                return 0;
            }
            continue;
        }
        if ((byte & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte & 0x3F);
        if (--pending > 0)
            continue;
        // Overlong forms, surrogates and values past U+10FFFF.
        if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return 0;
        if (code >= 0x10000) {
            code -= 0x10000;
            if (!Put(path, n, static_cast<char16_t>(0xD800 + (code >> 10))) ||
                !Put(path, n, static_cast<char16_t>(0xDC00 + (code & 0x3FF))))
                return 0;
        } else if (!Put(path, n, static_cast<char16_t>(code))) {
            return 0;
        }
    }
    *at = p;
    return pending == 0;
}

static int ReadFileUrl(const char16_t* url, char16_t* path)
{
    if (!StartsWith(url, "file:"))
        return 0;
    const char16_t* p = url + 5;
    int n = 0;
    if (p[0] == u'/' && p[1] == u'/') {
        p += 2;
        if (StartsWith(p, "localhost/"))
            p += 9;
        if (*p == u'/') {
            ++p;  // "file:///C:/...": a local drive follows
        } else if (!Put(path, &n, u'\\') || !Put(path, &n, u'\\')) {
            return 0;  // "file://server/share": a UNC path
        }
    }
    const int start = n;
    for (; *p != u'\0'; ) {
        if (*p == u'%') {
            if (!PutEscapes(&p, path, &n))
                return 0;
            continue;
        }
        char16_t c = *p++;
        if (c == u'/')
            c = u'\\';
        else if (c == u'|' && n == start + 1)
            c = u':';  // "C|" is an old spelling of "C:"
        if (!Put(path, &n, c))
            return 0;
    }
    path[n] = u'\0';
    const int driveForm = n >= start + 3 && start == 0 && path[1] == u':' && path[2] == u'\\';
    const int uncForm = start == 2 && n > 2 && path[2] != u'\\';
    return driveForm || uncForm;
}

int FileUrlToPath(const char16_t* url, char16_t* path)
{
    if (ReadFileUrl(url, path))
        return 1;
    path[0] = u'\0';
    return 0;
}

int FileUrlIsLiteral(const char16_t* url)
{
    if (!StartsWith(url, "file:"))
        return 0;
    for (; *url != u'\0'; ++url) {
        if (*url == u'%' || *url == u'#')
            return 0;
    }
    return 1;
}

void ClearShellEntry(ShellEntry* entry)
{
    entry->browser = nullptr;
    entry->window = nullptr;
    entry->root = nullptr;
    entry->path[0] = '\0';
    entry->mark = 0;
}

int FindShellEntry(const ShellTable* table, const void* browser)
{
    if (browser == nullptr)
        return -1;
    for (int i = 0; i < kShellEntries; ++i) {
        if (table->entries[i].browser == browser)
            return i;
    }
    return -1;
}

int AddShellEntry(ShellTable* table, void* browser)
{
    for (int i = 0; i < kShellEntries; ++i) {
        ShellEntry* entry = &table->entries[i];
        if (entry->browser == nullptr) {
            ClearShellEntry(entry);
            entry->browser = browser;
            entry->mark = table->generation;
            return i;
        }
    }
    return -1;
}

void BeginEnumeration(ShellTable* table)
{
    // Zero stays the mark of no enumeration, so a free entry is never taken for seen.
    table->generation = table->generation == 0x7FFFFFFF ? 1 : table->generation + 1;
}

int NextStaleEntry(const ShellTable* table, int from)
{
    for (int i = from < 0 ? 0 : from; i < kShellEntries; ++i) {
        const ShellEntry* entry = &table->entries[i];
        if (entry->browser != nullptr && entry->mark != table->generation)
            return i;
    }
    return -1;
}

int FindEntryShowing(const ShellTable* table, const char16_t* path)
{
    if (path[0] == '\0')
        return -1;
    for (int i = 0; i < kShellEntries; ++i) {
        const ShellEntry* entry = &table->entries[i];
        if (entry->browser != nullptr && SamePath(entry->path, path))
            return i;
    }
    return -1;
}

int FindEntryOfWindow(const ShellTable* table, const void* window)
{
    if (window == nullptr)
        return -1;
    int byRoot = -1;
    for (int i = 0; i < kShellEntries; ++i) {
        const ShellEntry* entry = &table->entries[i];
        if (entry->browser == nullptr)
            continue;
        if (entry->window == window)
            return i;
        if (byRoot < 0 && entry->root == window)
            byRoot = i;
    }
    return byRoot;
}

int WindowShowsPath(const ShellTable* table, const void* window, const char16_t* path)
{
    if (window == nullptr)
        return kUnknownWindow;
    for (int i = 0; i < kShellEntries; ++i) {
        const ShellEntry* entry = &table->entries[i];
        if (entry->browser != nullptr && entry->window == window)
            return SamePath(entry->path, path) ? kShowsPath : kShowsOther;
    }
    return kUnknownWindow;
}

int IsRepeatedReport(ReportLog* log, void* root, const char16_t* path, int source, unsigned now)
{
    for (int i = 0; i < kRecentReports; ++i) {
        RecentReport* seen = &log->reports[i];
        if (seen->root == nullptr || seen->root != root || seen->source == source)
            continue;
        if (now - seen->tick < kSameNavigationMs && SamePath(seen->path, path)) {
            // Answered once: a third report is a navigation of its own.
            seen->root = nullptr;
            return 1;
        }
    }
    int at = log->next;
    if (at < 0 || at >= kRecentReports)
        at = 0;
    RecentReport* slot = &log->reports[at];
    slot->root = root;
    CopyPath(slot->path, path);
    slot->tick = now;
    slot->source = source;
    log->next = (at + 1) % kRecentReports;
    return 0;
}
