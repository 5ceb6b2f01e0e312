// UTF-8 test texts as the UTF-16 paths the product keeps, and back for messages.
#pragma once
#include <string>

inline std::u16string U(const std::string& utf8)
{
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        char32_t c;
        int n;
        if (b < 0x80) { c = b; n = 1; }
        else if (b < 0xE0) { c = b & 0x1F; n = 2; }
        else if (b < 0xF0) { c = b & 0x0F; n = 3; }
        else { c = b & 0x07; n = 4; }
        for (int k = 1; k < n && i + k < utf8.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += n;
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

inline std::string Utf8(const char16_t* text)
{
    std::string out;
    for (size_t i = 0; text[i] != 0; ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// A UTF-8 test text handed to a function that takes a UTF-16 path; lives until the end of
// the full expression.
struct P {
    std::u16string text;
    P(const char* utf8) : text(U(utf8)) {}
    P(const std::string& utf8) : text(U(utf8)) {}
    operator const char16_t*() const { return text.c_str(); }
};

// The UTF-16LE bytes, with the mark, of a UTF-16 text: a settings file in its Unicode form.
inline std::string Utf16File(const std::u16string& text)
{
    return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

#ifdef _WIN32
#include <windows.h>

// In the Windows tests narrow literals are in the ANSI code page (the build's execution
// character set): these convert between them and UTF-16 paths with the code page.
inline std::string AnsiOf(const char16_t* text)
{
    char out[4096];
    const int n = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(text), -1,
                                      out, sizeof out, nullptr, nullptr);
    return n > 0 ? std::string(out) : std::string("<not convertible>");
}

struct PA {
    std::u16string text;
    PA(const std::string& ansi)
    {
        wchar_t out[4096];
        const int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, out, 4096);
        text.assign(reinterpret_cast<const char16_t*>(out), n > 0 ? n - 1 : 0);
    }
    operator const char16_t*() const { return text.c_str(); }
};
#endif
