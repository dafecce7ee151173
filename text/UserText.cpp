#include "text/UserText.h"

#include <atomic>

namespace norvo {

namespace {

// Read by the run thread as well; set before it starts, atomic so that a test may switch it.
std::atomic<const TextTranslation*> g_translation{nullptr};

}  // namespace

void UseTranslation(const TextTranslation* translation) {
    g_translation.store(translation);
}

std::string UserText(std::string_view text) {
    if (const TextTranslation* translation = g_translation.load()) {
        std::string translated = translation->Translate(text);
        if (!translated.empty()) {
            return translated;
        }
    }
    return std::string(text);
}

std::string ComposeText(std::string_view source, std::initializer_list<std::string_view> pieces) {
    const std::string pattern = UserText(source);
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
