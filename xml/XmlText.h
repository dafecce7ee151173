#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Byte-level steps of the XML reader. Shift-JIS aware where a step must not cut a double-byte
// character; everything else is plain bytes. Each step is linear in its input.

namespace norvo::xml {

// Takes the line that starts at `pos` (through its line feed; a line feed right after a lead
// byte does not end it) into `line` and moves `pos` past it; false at the end of `bytes`.
bool ReadLine(std::string_view bytes, size_t& pos, std::string_view& line);

// The document text: every line without its LF, then CR, then blanks (space, tab) at both
// ends, joined with nothing between them.
std::string JoinLines(std::string_view bytes);

// `text` without "<!--" ... "-->" comments (byte-wise search; an unclosed comment drops the
// rest). Gives what removing the comments one by one in place gives, in one pass.
std::string StripComments(std::string_view text);

// Position of the first `delimiter` at or after `start` that does not follow a lead byte;
// npos when there is none.
size_t FindDelimiter(std::string_view text, char delimiter, size_t start);

// Adds 0x20 to every A-Z byte, passing over the byte after each lead byte.
void ToLowerAscii(std::string& text);

// Drops a leading single quote (only from 2 bytes on) and then a trailing one.
void StripSingleQuotes(std::string& text);

}  // namespace norvo::xml
