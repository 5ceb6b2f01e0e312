// A path from UTF-16 into the ANSI code page, only where the code page holds it exactly.
// Header-only and free of any runtime, so that the hook library (which carries no C
// runtime) and Trailkeep (its settings file, its menu order) convert alike.
#pragma once
#include <windows.h>

// Converts a NUL-terminated UTF-16 path into `path` (`size` bytes). Returns 0, with an
// empty text, when a character has no form in the ANSI code page or the result does not
// fit. Without WC_NO_BEST_FIT_CHARS the conversion would put "?" for such a character,
// or silently a look-alike ("é" as "e"): either names another folder, or none.
inline int WideToAnsiPath(const WCHAR* wide, char* path, int size)
{
    BOOL usedDefault = FALSE;
    // With the UTF-8 code page (a Windows 10 option) every character has its form, and
    // the call refuses both the flag and the used-default argument.
    const UINT codePage = GetACP();
    const int n = codePage == CP_UTF8
                      ? WideCharToMultiByte(CP_UTF8, 0, wide, -1, path, size, nullptr, nullptr)
                      : WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, path, size,
                                            nullptr, &usedDefault);
    if (n <= 0 || usedDefault) {
        path[0] = '\0';
        return 0;
    }
    return 1;
}
