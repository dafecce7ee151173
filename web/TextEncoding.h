#pragma once

#include <cstddef>
#include <optional>
#include <string>

// Turning a typed person name into percent-encoded UTF-8 for a search address:
// locale text -> UTF-16 (ConvertToWide) -> UTF-8 (ConvertToUtf8) -> %XX (PercentEncode).
// The conversion results are calloc blocks that the caller releases with free().

namespace norvo {

// Sets the process locale for `category` from the system's language; returns what setlocale
// returns (the new locale's name, or null when the name is unknown). Not thread-safe: call it
// once at start-up, never per conversion.
const char* SelectSystemLocale(int category);

// Locale name for a Windows primary language identifier (low 10 bits of a language id);
// "English" for every identifier without an entry.
const char* LanguageNameForId(unsigned int primaryLanguageId);

// Name of the environment locale's character set as iconv knows it ("UTF-8" for a plain C
// locale); the set in which names arrive from the edit fields and the command line. POSIX only.
const char* LocaleCharset();

// Converts `text` from `charset` (an iconv name such as "CP932"; null means the character
// set of the environment's locale) into a 0-terminated UTF-16 string. Stores twice the byte
// length of `text` into *sizeOut (when sizeOut is not null). Returns null for a null text,
// an unknown character set or a failed allocation. Bytes that are invalid in the character
// set become U+FFFD. Thread-safe.
char16_t* ConvertToWide(const char* text, size_t* sizeOut, const char* charset = nullptr);

// Converts a 0-terminated UTF-16 string into 0-terminated UTF-8 (a 3n+4 byte block) and
// stores the byte count without the terminator into *lengthOut. Null on a null input or a
// failed allocation.
char* ConvertToUtf8(const char16_t* wide, size_t* lengthOut);

// Encodes `count` UTF-16 units into `destination` (room for 3*count+1 bytes), followed by a
// 0 byte; returns the bytes written before it. A surrogate pair becomes one 4-byte sequence,
// a lone surrogate U+FFFD.
size_t EncodeUtf8(char* destination, const char16_t* source, size_t count);

// `text` (0-terminated, in the environment locale's character set) as UTF-8 through
// ConvertToWide and ConvertToUtf8; nullopt when `text` is null or a conversion fails.
std::optional<std::string> LocaleTextToUtf8(const char* text);

// "%XX" (upper-case hex) for every byte of the 0-terminated `text`; "" for null.
std::string PercentEncode(const char* text);

}  // namespace norvo
