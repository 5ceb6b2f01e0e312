#include "paths.h"

static int IsHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

void CopyPath(char16_t* dst, const char16_t* src)
{
    int i = 0;
    for (; i < kPathSize - 1 && src[i] != u'\0'; ++i)
        dst[i] = src[i];
    // A cut that would keep the first half of a pair alone drops the whole character.
    if (i == kPathSize - 1 && src[i] != u'\0' && IsHighSurrogate(dst[i - 1]))
        --i;
    dst[i] = u'\0';
}

int CopyPathIfFits(char16_t* dst, const char16_t* src)
{
    for (int i = 0; i < kPathSize; ++i) {
        if (src[i] == u'\0') {
            CopyPath(dst, src);
            return 1;
        }
    }
    dst[0] = u'\0';
    return 0;
}

template <typename Ch>
static int SameText(const Ch* a, const Ch* b)
{
    for (int i = 0; i < kPathSize; ++i) {
        if (a[i] != b[i])
            return 0;
        if (a[i] == 0)
            return 1;
    }
    return 1;
}

int SamePath(const char16_t* a, const char16_t* b)
{
    return SameText(a, b);
}

int SamePath(const char* a, const char* b)
{
    return SameText(a, b);
}

void CopyAsciiPath(char16_t* dst, const char* src)
{
    int i = 0;
    for (; i < kPathSize - 1 && src[i] != '\0'; ++i)
        dst[i] = static_cast<unsigned char>(src[i]);
    dst[i] = u'\0';
}

int CountEntries(const PathSlot* slots, int count)
{
    int n = 0;
    while (n < count && slots[n][0] != u'\0')
        ++n;
    return n;
}

int IsRegisteredIn(const PathSlot* registered, const char16_t* path)
{
    for (int i = 0; i < kRegisteredSlots && registered[i][0] != u'\0'; ++i) {
        if (SamePath(registered[i], path))
            return 1;
    }
    return 0;
}

int IsUncPath(const char16_t* path)
{
    return path[0] == u'\\' && path[1] == u'\\';
}

int HistoryLimit(int maxLogData)
{
    if (maxLogData < 1)
        return 1;
    if (maxLogData > kHistorySlots)
        return kHistorySlots;
    return maxLogData;
}
