#pragma once

// Windows only, for the platform layer's *_win32.cpp files. The rest of the system speaks UTF-8; Windows
// speaks UTF-16 in its wide calls and the ANSI code page in its narrow ones. A UTF-8 name handed to a
// narrow call is read in the code page, so a folder such as "C:\Users\Jörg" is not found: file names go
// through the wide calls, and the narrow calls that the system keeps (process start, error texts) get
// and give text in the code page, converted here.

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace Ziz::sys::win32
{
inline std::wstring wideFromCodePage (const std::string& text, UINT codePage)
{
    if (text.empty())
        return {};
    const int size = static_cast<int> (text.size());
    const int length = MultiByteToWideChar (codePage, 0, text.data(), size, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring wide (static_cast<std::size_t> (length), L'\0');
    MultiByteToWideChar (codePage, 0, text.data(), size, wide.data(), length);
    return wide;
}

inline std::string codePageFromWide (const std::wstring& wide, UINT codePage)
{
    if (wide.empty())
        return {};
    const int size = static_cast<int> (wide.size());
    const int length = WideCharToMultiByte (codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string text (static_cast<std::size_t> (length), '\0');
    WideCharToMultiByte (codePage, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

inline std::wstring wideFromUtf8 (const std::string& text) { return wideFromCodePage (text, CP_UTF8); }

inline std::string utf8FromWide (const std::wstring& wide) { return codePageFromWide (wide, CP_UTF8); }

// A character the code page lacks becomes its default character: such a name fails as a name, not as
// garbled bytes.
inline std::string ansiFromUtf8 (const std::string& text) { return codePageFromWide (wideFromUtf8 (text), CP_ACP); }

inline std::string utf8FromAnsi (const std::string& text) { return utf8FromWide (wideFromCodePage (text, CP_ACP)); }
} // namespace Ziz::sys::win32
