#pragma once

#include <cstddef>

// The one platform-dependent step of the name conversion, implemented once per platform
// (TextEncodingPosix.cpp, TextEncodingWin.cpp).

namespace norvo::detail {

// Decodes `length` bytes of `text` from `charset` (null: the environment's character set)
// into at most `capacity` UTF-16 units at `out`; invalid bytes become U+FFFD. Returns false
// when the character set is unknown.
bool DecodeToUtf16(const char* text, size_t length, const char* charset, char16_t* out,
                   size_t capacity);

}  // namespace norvo::detail
