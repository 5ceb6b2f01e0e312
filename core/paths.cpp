#include "paths.h"

void CopyPath(char* dst, const char* src)
{
    int i = 0;
    for (; i < kPathSize - 1 && src[i] != '\0'; ++i)
        dst[i] = src[i];
    dst[i] = '\0';
}

int CopyPathIfFits(char* dst, const char* src)
{
    for (int i = 0; i < kPathSize; ++i) {
        if (src[i] == '\0') {
            CopyPath(dst, src);
            return 1;
        }
    }
    dst[0] = '\0';
    return 0;
}

int SamePath(const char* a, const char* b)
{
    for (int i = 0; i < kPathSize; ++i) {
        if (a[i] != b[i])
            return 0;
        if (a[i] == '\0')
            return 1;
    }
    return 1;
}

int CountEntries(const PathSlot* slots, int count)
{
    int n = 0;
    while (n < count && slots[n][0] != '\0')
        ++n;
    return n;
}

int IsRegisteredIn(const PathSlot* registered, const char* path)
{
    for (int i = 0; i < kRegisteredSlots && registered[i][0] != '\0'; ++i) {
        if (SamePath(registered[i], path))
            return 1;
    }
    return 0;
}

int IsUncPath(const char* path)
{
    return path[0] == '\\' && path[1] == '\\';
}

int HistoryLimit(int maxLogData)
{
    if (maxLogData < 1)
        return 1;
    if (maxLogData > kHistorySlots)
        return kHistorySlots;
    return maxLogData;
}
