#include "web/TextEncoding.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "web/TextEncodingPlatform.h"

namespace norvo {

namespace {

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

size_t WideLength(const char16_t* wide) {
    size_t n = 0;
    while (wide[n] != 0) {
        ++n;
    }
    return n;
}

}  // namespace

char16_t* ConvertToWide(const char* text, size_t* sizeOut, const char* charset) {
    if (text == nullptr) {
        return nullptr;
    }
    const size_t n = std::strlen(text);
    if (sizeOut != nullptr) {
        *sizeOut = 2 * n;
    }
    // n bytes never give more than n units in the sets a name is typed in; the decoder stops
    // at n units anyway, so the terminator always survives.
    auto* wide = static_cast<char16_t*>(std::calloc(n + 1, sizeof(char16_t)));
    if (wide == nullptr) {
        return nullptr;
    }
    if (n > 0 && !detail::DecodeToUtf16(text, n, charset, wide, n)) {
        std::free(wide);
        return nullptr;
    }
    return wide;
}

char* ConvertToUtf8(const char16_t* wide, size_t* lengthOut) {
    if (wide == nullptr) {
        return nullptr;
    }
    const size_t n = WideLength(wide);
    auto* utf8 = static_cast<char*>(std::calloc(3 * n + 4, 1));
    if (utf8 == nullptr) {
        return nullptr;
    }
    const size_t written = EncodeUtf8(utf8, wide, n);
    if (lengthOut != nullptr) {
        *lengthOut = written;
    }
    return utf8;
}

size_t EncodeUtf8(char* destination, const char16_t* source, size_t count) {
    auto* out = reinterpret_cast<unsigned char*>(destination);
    size_t w = 0;
    for (size_t i = 0; i < count; ++i) {
        char32_t c = source[i];
        if (IsHighSurrogate(source[i]) && i + 1 < count && IsLowSurrogate(source[i + 1])) {
            c = 0x10000 + ((char32_t(source[i]) - 0xD800) << 10) + (source[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(source[i]) || IsLowSurrogate(source[i])) {
            c = 0xFFFD;  // a lone half of a pair is no character
        }
        if (c < 0x80) {
            out[w++] = static_cast<unsigned char>(c);
        } else if (c < 0x800) {
            out[w++] = static_cast<unsigned char>(0xC0 | (c >> 6));
            out[w++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out[w++] = static_cast<unsigned char>(0xE0 | (c >> 12));
            out[w++] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            out[w++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else {
            // Four bytes for two units: never more than the 3 bytes per unit the caller sized.
            out[w++] = static_cast<unsigned char>(0xF0 | (c >> 18));
            out[w++] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
            out[w++] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            out[w++] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        }
    }
    out[w] = 0;
    return w;
}

std::optional<std::string> LocaleTextToUtf8(const char* text) {
    char16_t* wide = ConvertToWide(text, nullptr);
    if (wide == nullptr) {
        return std::nullopt;
    }
    size_t length = 0;
    char* converted = ConvertToUtf8(wide, &length);
    std::free(wide);
    if (converted == nullptr) {
        return std::nullopt;
    }
    std::string utf8(converted, length);
    std::free(converted);
    return utf8;
}

std::string PercentEncode(const char* text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    if (text == nullptr) {
        return encoded;
    }
    const size_t n = std::strlen(text);
    encoded.reserve(3 * n);
    for (size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        encoded += '%';
        encoded += kHex[b >> 4];
        encoded += kHex[b & 0x0F];
    }
    return encoded;
}

}  // namespace norvo
