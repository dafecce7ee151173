#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "services/gallery/wire/FaceRect.h"

namespace norvo {

// One image search result as the search answer lists it.
struct SearchResult {
    std::string url;  // already percent-encoded, no JSON escapes needed
    int width = 0;
    int height = 0;
    std::string title;
};

// Texts the service reads from request targets and writes into its answers.
class ServiceText {
public:
    // Percent-encodes one path segment: every byte except A-Z a-z 0-9 - . _ ~ becomes %XX.
    static std::string EncodePathSegment(std::string_view segment);
    // Strict %XX decoding; nullopt for a % not followed by two hex digits. With plusIsSpace,
    // '+' becomes a space (query strings).
    static std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace);
    // The raw value of the first query parameter with this name in a request target, up to
    // the next '&'; nullopt when absent.
    static std::optional<std::string> QueryValue(std::string_view target, std::string_view name);
    // Everything after the first "url=" parameter of a request target, verbatim (it may
    // hold '&', '?' and '='); nullopt when absent.
    static std::optional<std::string> TrailingUrl(std::string_view target);
    // The address in a url= value that was percent-encoded whole ("http%3A%2F%2Fhost%2Fa.jpg"),
    // decoded; nullopt for a value in the plain form, which is taken verbatim.
    static std::optional<std::string> DecodedWholeUrl(std::string_view value);

    // JSON string contents with quotes, backslashes and control bytes escaped.
    static std::string JsonEscape(std::string_view text);
    // The search answer; members in the order url, width, height, title so that every
    // address is followed by '","'.
    static std::string SearchJson(const std::vector<SearchResult>& results);
    // The detection answer, one bounds element per face, attributes in single quotes.
    static std::string FacesXml(const std::vector<FaceRect>& faces);
};

}  // namespace norvo
