#include "text/TextCatalogue.h"

namespace norvo {

const CatalogueLanguage* FindLanguage(std::span<const CatalogueLanguage> languages,
                                      std::string_view language) {
    for (const CatalogueLanguage& candidate : languages) {
        if (candidate.language == language) {
            return &candidate;
        }
    }
    return nullptr;
}

CatalogueTranslation::CatalogueTranslation(std::span<const CatalogueEntry> entries) {
    m_texts.reserve(entries.size());
    for (const CatalogueEntry& entry : entries) {
        m_texts.emplace(entry.source, entry.translation);
    }
}

std::string CatalogueTranslation::Translate(std::string_view text) const {
    const auto found = m_texts.find(text);
    return found == m_texts.end() ? std::string() : std::string(found->second);
}

}  // namespace norvo
