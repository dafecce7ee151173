// SplitString over arbitrary text: first byte picks quote and flag, second the delimiter length.
#include <cstddef>
#include <cstdint>
#include <string>

#include "text/StringList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const bool keepEmpty = data[0] & 1;
    const char quote = (data[0] & 2) ? '\'' : 0;
    const size_t delimLen = 1 + data[1] % 3;
    if (size < 2 + delimLen) {
        return 0;
    }
    const std::string delim(reinterpret_cast<const char*>(data + 2), delimLen);
    const std::string text(reinterpret_cast<const char*>(data + 2 + delimLen), size - 2 - delimLen);
    norvo::StringList list;
    norvo::SplitString(text, list, delim, quote, keepEmpty);
    // Without quotes and with empty pieces kept, the pieces joined by the delimiter give back
    // the text.
    if (!quote && keepEmpty && !text.empty()) {
        std::string joined;
        for (size_t i = 0; i < list.size(); ++i) {
            joined += (i ? delim : "") + list[i];
        }
        if (joined != text) {
            __builtin_trap();
        }
    }
    return 0;
}
