// The path test of the address-bar hook: does a text have the form of a folder path?
// Header-only and free of any runtime, so that the hook library (which carries no C
// runtime) and Trailkeep's reader of the title handoff apply the same test.
#pragma once

// For ANSI bytes and UTF-16 units alike.
// Drive form: the second character is a colon and the third a backslash (the first
// is not examined). UNC form: the first two characters are backslashes. Only
// characters of the text itself take part, so short texts never pass.
template <typename Ch>
inline int IsPathText(const Ch* text)
{
    if (text[0] == 0)
        return 0;
    if (text[1] == ':' && text[2] == '\\')
        return 1;
    return text[0] == '\\' && text[1] == '\\';
}
