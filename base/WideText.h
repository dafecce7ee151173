#pragma once

// Conversions between the program's UTF-8, Windows' UTF-16 and a Windows code page, for the
// Windows files that meet the system's wide-character API. Windows only.

#ifdef _WIN32

#include <windows.h>

#include <string>
#include <string_view>

namespace norvo::win {

// `text` in code page `codePage` as UTF-16; invalid bytes become U+FFFD. "" for "".
inline std::wstring ToWide(std::string_view text, UINT codePage = CP_UTF8) {
    if (text.empty()) {
        return {};
    }
    const int n =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) {
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            n);
    }
    return wide;
}

// `wide` in code page `codePage`. With `exact` given, it tells whether every character could be
// written in that code page (no default character, no best-fit look-alike stood in).
inline std::string FromWide(std::wstring_view wide, UINT codePage = CP_UTF8,
                            bool* exact = nullptr) {
    if (exact) {
        *exact = true;
    }
    if (wide.empty()) {
        return {};
    }
    // UTF-8 and UTF-7 take neither the default-character flag nor the best-fit one.
    const bool unicode = codePage == CP_UTF8 || codePage == CP_UTF7;
    const DWORD flags = unicode ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = (exact && !unicode) ? &usedDefault : nullptr;
    const int n = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, usedDefaultOut);
    std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()),
                            text.data(), n, nullptr, usedDefaultOut);
    }
    if (exact) {
        *exact = n > 0 && !usedDefault;
        if (*exact && !unicode) {
            // A character without a best fit may still have been mapped silently: read it back.
            *exact = ToWide(text, codePage) == wide;
        }
    }
    return text;
}

// The folder of the running program, ending with a backslash; empty when unknown.
inline std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            return {};
        }
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);  // cut off: try again with more room
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace norvo::win

#endif  // _WIN32
