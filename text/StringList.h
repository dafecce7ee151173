#pragma once

#include <string>
#include <vector>

namespace norvo {

// Ordered list of byte strings, positions count from 0.
using StringList = std::vector<std::string>;

// True for the first byte of a Shift-JIS double-byte character (0x81-0x9F, 0xE0-0xFC).
inline bool IsLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Appends the pieces of `text` cut at every `delimiter` to `list` (which is not emptied).
// With a non-zero `quote`, a delimiter inside quotes (Shift-JIS aware) does not cut.
// Empty pieces are kept only with `keepEmpty`; an empty text or delimiter appends nothing.
// Linear in the text length.
void SplitString(std::string text, StringList& list, std::string delimiter, char quote,
                 bool keepEmpty);

}  // namespace norvo
