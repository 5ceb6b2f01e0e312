// Integer text as the settings file and the number fields hold it. Platform-free.
#pragma once

// Signed decimal parse: leading white space, one optional sign, then digits up to the
// first other character. No digits gives 0; values beyond the signed 32-bit range are
// held at its ends.
int ParseInteger(const char* text);
