// POSIX side of the name conversion: the environment's locale stands for the system's
// language, and iconv decodes from its character set without touching the process locale.
#ifndef _WIN32

#include <errno.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <bit>
#include <clocale>
#include <string>

#include "web/TextEncoding.h"
#include "web/TextEncodingPlatform.h"

namespace norvo {

const char* SelectSystemLocale(int category) {
    return std::setlocale(category, "");
}

namespace detail {

namespace {

constexpr const char* kUtf16Native =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// Character set of the environment's locale, read once. A plain "C" locale reports ASCII;
// since ASCII is a subset of UTF-8 and the toolkit hands over UTF-8 there, read it as UTF-8.
const std::string& EnvironmentCharset() {
    static const std::string charset = [] {
        std::string name;
        if (locale_t loc = newlocale(LC_CTYPE_MASK, "", locale_t(0)); loc != locale_t(0)) {
            if (const char* cs = nl_langinfo_l(CODESET, loc); cs != nullptr) {
                name = cs;
            }
            freelocale(loc);
        }
        if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII") {
            name = "UTF-8";
        }
        return name;
    }();
    return charset;
}

}  // namespace

bool DecodeToUtf16(const char* text, size_t length, const char* charset, char16_t* out,
                   size_t capacity) {
    const char* from = charset != nullptr ? charset : EnvironmentCharset().c_str();
    iconv_t cd = iconv_open(kUtf16Native, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    char* in = const_cast<char*>(text);
    size_t inLeft = length;
    char* dst = reinterpret_cast<char*>(out);
    size_t outLeft = capacity * sizeof(char16_t);
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1)) {
            break;
        }
        if (errno != EILSEQ && errno != EINVAL) {
            break;  // E2BIG: the block is full; what fits is kept
        }
        // An invalid or cut-off sequence: mark it and go on with the next byte.
        if (outLeft < sizeof(char16_t)) {
            break;
        }
        const char16_t replacement = 0xFFFD;
        __builtin_memcpy(dst, &replacement, sizeof replacement);
        dst += sizeof replacement;
        outLeft -= sizeof replacement;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv(cd, nullptr, nullptr, &dst, &outLeft);  // flush a stateful encoding's tail
    iconv_close(cd);
    return true;
}

}  // namespace detail

const char* LocaleCharset() {
    return detail::EnvironmentCharset().c_str();
}

}  // namespace norvo

#endif  // !_WIN32
