// A text in a heap buffer of exactly its size, terminator included: code that reads past
// the terminator is reported by AddressSanitizer.
#pragma once

#include <cstring>
#include <memory>
#include <string>

inline std::unique_ptr<char[]> HeapText(const std::string& text)
{
    std::unique_ptr<char[]> buf(new char[text.size() + 1]);
    std::memcpy(buf.get(), text.c_str(), text.size() + 1);
    return buf;
}

// The same for a UTF-16 text: each byte of an ASCII `text` (NULs inside it too) as one unit.
inline std::unique_ptr<char16_t[]> HeapWideText(const std::string& text)
{
    std::unique_ptr<char16_t[]> buf(new char16_t[text.size() + 1]);
    for (size_t i = 0; i <= text.size(); ++i)
        buf[i] = static_cast<unsigned char>(text.c_str()[i]);
    return buf;
}
