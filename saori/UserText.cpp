#include "saori/UserText.h"

namespace norvo {

std::string ComposeText(std::string_view pattern, std::initializer_list<std::string_view> pieces) {
    std::string text;
    text.reserve(pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
            pattern[i + 1] <= '9') {
            const size_t index = static_cast<size_t>(pattern[i + 1] - '1');
            if (index < pieces.size()) {
                text.append(pieces.begin()[index]);
                ++i;
                continue;
            }
        }
        text.push_back(pattern[i]);
    }
    return text;
}

}  // namespace norvo
