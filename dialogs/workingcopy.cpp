#include "workingcopy.h"

static int IsEntry(const WorkingCopy* copy, int p)
{
    return p >= 0 && p < copy->count;
}

static int WidestEntry(const WorkingCopy* copy, TextWidthFn width, void* context)
{
    int widest = 0;
    for (int i = 0; i < copy->count; ++i) {
        const int w = width(context, copy->slots[i]);
        if (w > widest)
            widest = w;
    }
    return widest;
}

void LoadWorkingCopy(WorkingCopy* copy, const PathSlot* registered, TextWidthFn width,
                     void* context)
{
    copy->count = 0;
    for (int i = 0; i < kRegisteredSlots; ++i)
        copy->slots[i][0] = '\0';
    while (copy->count < kRegisteredSlots && registered[copy->count][0] != '\0') {
        CopyPath(copy->slots[copy->count], registered[copy->count]);
        ++copy->count;
    }
    copy->widest = WidestEntry(copy, width, context);
}

int FindEntry(const WorkingCopy* copy, const char16_t* path)
{
    for (int i = 0; i < copy->count; ++i) {
        if (SamePath(copy->slots[i], path))
            return i;
    }
    return -1;
}

int InsertEntry(WorkingCopy* copy, int p, const char16_t* path)
{
    if (copy->count >= kRegisteredSlots || path[0] == '\0')
        return -1;
    if (p < 0 || p > copy->count)
        p = copy->count;
    for (int i = copy->count; i > p; --i)
        CopyPath(copy->slots[i], copy->slots[i - 1]);
    CopyPath(copy->slots[p], path);
    ++copy->count;
    return p;
}

int RemoveEntry(WorkingCopy* copy, int p)
{
    if (!IsEntry(copy, p))
        return 0;
    for (int i = p; i + 1 < copy->count; ++i)
        CopyPath(copy->slots[i], copy->slots[i + 1]);
    --copy->count;
    copy->slots[copy->count][0] = '\0';
    return 1;
}

int MoveEntry(WorkingCopy* copy, int p, int step)
{
    const int q = p + step;
    if (!IsEntry(copy, p) || !IsEntry(copy, q))
        return -1;
    PathSlot held;
    CopyPath(held, copy->slots[q]);
    CopyPath(copy->slots[q], copy->slots[p]);
    CopyPath(copy->slots[p], held);
    return q;
}

int WidenForEntry(WorkingCopy* copy, const char16_t* added, TextWidthFn width, void* context)
{
    const int w = width(context, added);
    if (w <= copy->widest)
        return 0;
    copy->widest = w;
    return 1;
}

int NarrowAfterRemoval(WorkingCopy* copy, const char16_t* removed, TextWidthFn width,
                       void* context)
{
    if (width(context, removed) < copy->widest)
        return 0;
    copy->widest = WidestEntry(copy, width, context);
    return 1;
}

void CommitWorkingCopy(const WorkingCopy* copy, PathSlot* registered)
{
    for (int i = 0; i < kRegisteredSlots; ++i) {
        if (i < copy->count)
            CopyPath(registered[i], copy->slots[i]);
        else
            registered[i][0] = '\0';
    }
}
