// The Explorer command line for opening a folder. Platform-free.
#pragma once

enum { kCommandLineSize = 276 };  // the longer prefix and a path of 255 characters

// Writes "explorer %s" (OpenMode 0) or "explorer /n,/e,%s" (OpenMode 1) with the path
// unquoted. Any other OpenMode, which only a hand-edited settings file can hold,
// opens the plain folder window of OpenMode 0.
void FormatExplorerCommand(char16_t* out, int openMode, const char16_t* path);
