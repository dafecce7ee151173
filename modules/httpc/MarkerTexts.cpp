#include "modules/httpc/MarkerTexts.h"

namespace norvo {

namespace {

bool HostCanCarry(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
           text.find(": ") == std::string_view::npos;
}

}  // namespace

std::vector<std::string> CutMarkerTexts(std::string_view body, std::string_view start,
                                        std::string_view end) {
    std::vector<std::string> texts;
    if (start.empty() || end.empty()) {
        return texts;
    }
    std::size_t pos = 0;
    while (texts.size() < kMaxMarkerTexts) {
        const std::size_t open = body.find(start, pos);
        if (open == std::string_view::npos) {
            break;
        }
        const std::size_t from = open + start.size();
        const std::size_t close = body.find(end, from);
        if (close == std::string_view::npos) {
            break;
        }
        const std::string_view text = body.substr(from, close - from);
        if (HostCanCarry(text)) {
            texts.emplace_back(text);
        }
        pos = close + end.size();
    }
    return texts;
}

}  // namespace norvo
