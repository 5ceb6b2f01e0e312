// Trailkeep's paths are UTF-16 in char16_t (platform-free code has no wchar_t of 16 bits);
// Windows spells the same units wchar_t. These name the one reinterpretation between them.
#pragma once

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 units");

inline wchar_t* W(char16_t* text)
{
    return reinterpret_cast<wchar_t*>(text);
}

inline const wchar_t* W(const char16_t* text)
{
    return reinterpret_cast<const wchar_t*>(text);
}

inline char16_t* U16(wchar_t* text)
{
    return reinterpret_cast<char16_t*>(text);
}

inline const char16_t* U16(const wchar_t* text)
{
    return reinterpret_cast<const char16_t*>(text);
}
