#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace norvo {

// The host sends three short arguments (an address and two markers or a file name); a request
// far larger than that is a fault, and refusing it bounds the work done on garbage.
inline constexpr std::size_t kMaxRequestBytes = 64 * 1024;
// No request form of the host carries more than three arguments.
inline constexpr std::size_t kMaxRequestArguments = 3;

// Why a request text was not accepted.
enum class RequestStatus {
    Ok,                 // well formed; the arguments are filled in
    Empty,              // no text at all
    TooLarge,           // more than kMaxRequestBytes
    NotExecute,         // first line is not "EXECUTE SAORI/1.0"
    Unterminated,       // a line without CR LF, or no empty line ending the headers
    BadLine,            // a header line without ": "
    BadArgumentIndex,   // "Argument" followed by something other than a plain decimal index
    TooManyArguments,   // an argument index of kMaxRequestArguments or more
    DuplicateArgument,  // the same ArgumentN twice
    MissingArgument,    // the indices do not run 0, 1, ... without a gap
};

// Short readable text for `status`, fit for a "Reason:" header (no CR, LF or ": ").
std::string_view describe(RequestStatus status);

// The arguments of one request in index order, and its character set; other headers (Sender,
// SecurityLevel, ...) are not kept.
struct ModuleRequest {
    std::vector<std::string> arguments;
    // The value of its "Charset" header ("Shift_JIS", "UTF-8", ...); "" when it has none.
    std::string charset;
};

// Reads a request text; on anything but Ok, `request` holds no arguments.
RequestStatus ParseModuleRequest(std::string_view text, ModuleRequest& request);

}  // namespace norvo
