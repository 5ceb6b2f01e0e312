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
