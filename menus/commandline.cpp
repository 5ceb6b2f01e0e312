#include "commandline.h"

void FormatExplorerCommand(char16_t* out, int openMode, const char16_t* path)
{
    const char* prefix = openMode == 1 ? "explorer /n,/e," : "explorer ";
    int n = 0;
    for (int i = 0; prefix[i] != '\0'; ++i)
        out[n++] = prefix[i];
    for (int i = 0; path[i] != '\0' && n < kCommandLineSize - 1; ++i)
        out[n++] = path[i];
    out[n] = '\0';
}
