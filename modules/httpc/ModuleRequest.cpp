#include "modules/httpc/ModuleRequest.h"

#include <array>
#include <optional>

namespace norvo {

namespace {

constexpr std::string_view kExecuteLine = "EXECUTE SAORI/1.0";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kNameEnd = ": ";
constexpr std::string_view kArgumentPrefix = "Argument";
constexpr std::string_view kCharsetName = "Charset";

// Index of an "ArgumentN" name, or nullopt for a malformed index. Leading zeros are refused
// so that "Argument01" cannot stand in for "Argument1".
std::optional<std::size_t> ArgumentIndex(std::string_view digits) {
    if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) {
        return std::nullopt;
    }
    std::size_t index = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        index = index * 10 + static_cast<std::size_t>(c - '0');
    }
    return index;
}

}  // namespace

std::string_view describe(RequestStatus status) {
    switch (status) {
        case RequestStatus::Ok:
            return "request accepted";
        case RequestStatus::Empty:
            return "empty request";
        case RequestStatus::TooLarge:
            return "request too large";
        case RequestStatus::NotExecute:
            return "not an EXECUTE SAORI/1.0 request";
        case RequestStatus::Unterminated:
            return "request lines not ended by CR LF and an empty line";
        case RequestStatus::BadLine:
            return "request line without a header name";
        case RequestStatus::BadArgumentIndex:
            return "malformed argument index";
        case RequestStatus::TooManyArguments:
            return "too many arguments";
        case RequestStatus::DuplicateArgument:
            return "argument given twice";
        case RequestStatus::MissingArgument:
            return "argument indices have a gap";
    }
    return "unknown request status";
}

RequestStatus ParseModuleRequest(std::string_view text, ModuleRequest& request) {
    request.arguments.clear();
    request.charset.clear();
    if (text.empty()) {
        return RequestStatus::Empty;
    }
    if (text.size() > kMaxRequestBytes) {
        return RequestStatus::TooLarge;
    }

    std::array<std::optional<std::string>, kMaxRequestArguments> found;
    std::string_view charset;
    std::size_t pos = 0;
    bool first = true;
    for (;;) {
        const std::size_t end = text.find(kLineEnd, pos);
        if (end == std::string_view::npos) {
            // Also catches a first line that is cut short: the request never started properly.
            return first ? RequestStatus::NotExecute : RequestStatus::Unterminated;
        }
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + kLineEnd.size();
        if (first) {
            if (line != kExecuteLine) {
                return RequestStatus::NotExecute;
            }
            first = false;
            continue;
        }
        if (line.empty()) {
            break;  // end of the headers; whatever follows is not ours to read
        }
        const std::size_t colon = line.find(kNameEnd);
        if (colon == std::string_view::npos) {
            return RequestStatus::BadLine;
        }
        const std::string_view name = line.substr(0, colon);
        if (name == kCharsetName) {
            charset = line.substr(colon + kNameEnd.size());
            continue;
        }
        if (!name.starts_with(kArgumentPrefix)) {
            continue;
        }
        const auto index = ArgumentIndex(name.substr(kArgumentPrefix.size()));
        if (!index) {
            return RequestStatus::BadArgumentIndex;
        }
        if (*index >= kMaxRequestArguments) {
            return RequestStatus::TooManyArguments;
        }
        if (found[*index]) {
            return RequestStatus::DuplicateArgument;
        }
        // The value runs to the end of the line, further ": " included (markers may hold one).
        found[*index] = std::string(line.substr(colon + kNameEnd.size()));
    }

    std::size_t count = 0;
    while (count < found.size() && found[count]) {
        ++count;
    }
    for (std::size_t i = count; i < found.size(); ++i) {
        if (found[i]) {
            return RequestStatus::MissingArgument;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        request.arguments.push_back(std::move(*found[i]));
    }
    request.charset = charset;
    return RequestStatus::Ok;
}

}  // namespace norvo
