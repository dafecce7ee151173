// The name encoding chain over arbitrary bytes: the first byte picks the source character set.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "web/TextEncoding.h"

namespace {

const char* const kCharsets[] = {nullptr, "UTF-8", "CP932", "EUC-JP", "ISO-2022-JP", "UTF-16LE"};

// Checks that `bytes` is well-formed UTF-8 without surrogates or overlong forms.
bool IsWellFormedUtf8(const unsigned char* s, size_t n) {
    for (size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        size_t len = b < 0x80           ? 1
                     : (b >> 5) == 0x6  ? 2
                     : (b >> 4) == 0xE  ? 3
                     : (b >> 3) == 0x1E ? 4
                                        : 0;
        if (len == 0 || i + len > n) {
            return false;
        }
        char32_t c = len == 1 ? b : b & (0x7F >> len);
        for (size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) {
                return false;
            }
            c = (c << 6) | (s[i + k] & 0x3F);
        }
        static const char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const char* charset = kCharsets[data[0] % std::size(kCharsets)];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    size_t wideSize = 0;
    char16_t* wide = norvo::ConvertToWide(text.c_str(), &wideSize, charset);
    if (wide == nullptr || wideSize != 2 * std::strlen(text.c_str())) {
        __builtin_trap();
    }
    size_t length = 0;
    char* utf8 = norvo::ConvertToUtf8(wide, &length);
    std::free(wide);
    if (utf8 == nullptr || length != std::strlen(utf8) ||
        !IsWellFormedUtf8(reinterpret_cast<unsigned char*>(utf8), length)) {
        __builtin_trap();
    }
    if (norvo::PercentEncode(utf8).size() != 3 * length) {
        __builtin_trap();
    }
    std::free(utf8);

    // The raw bytes as UTF-16 units, into a block of exactly the documented size.
    const size_t units = (size - 1) / 2;
    char16_t* source = static_cast<char16_t*>(std::malloc((units + 1) * sizeof(char16_t)));
    std::memcpy(source, data + 1, units * sizeof(char16_t));
    char* out = static_cast<char*>(std::malloc(3 * units + 1));
    const size_t written = norvo::EncodeUtf8(out, source, units);
    if (written > 3 * units || out[written] != 0) {
        __builtin_trap();
    }
    std::free(out);
    std::free(source);
    return 0;
}
