#pragma once

#include <cstddef>
#include <string_view>

namespace norvo {

// Longer names are not needed for the names the host derives from addresses, and staying
// well below NAME_MAX (255) leaves room for the temporary name used while storing.
inline constexpr std::size_t kMaxFileNameBytes = 200;

// Verdict on a file name the host asks the module to store under.
enum class FileNameStatus {
    Ok,            // a plain name inside the work folder
    Empty,         // no name at all
    DotName,       // "." or "..", which name folders
    TooLong,       // more than kMaxFileNameBytes
    Separator,     // holds '/' or '\', so it would reach outside the work folder
    ControlByte,   // holds NUL or another control byte
    NotOnWindows,  // a device name, a character Windows refuses, or a trailing dot or space
};

// Short readable text for `status`, fit for a "Reason:" header.
std::string_view describe(FileNameStatus status);

// Whether `name` may be created in the work folder as it stands.
FileNameStatus CheckFileName(std::string_view name);

// Windows' own rules for a name (UTF-8) that CheckFileName accepted: no device name such as
// CON or LPT1 (with or without an extension), none of < > : " | ? * (':' would also open an
// alternate data stream), no trailing dot or space (Windows drops them, so another name would
// be written).
FileNameStatus CheckWindowsFileName(std::string_view name);

}  // namespace norvo
