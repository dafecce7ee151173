#pragma once

#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "text/UserText.h"

namespace norvo {

// The translations compiled into the program, for builds without Qt's translator: the build
// turns each translations/norvo_<language>.ts into a table (cmake/CompileCatalogue.cmake).

// One text as it stands in the program, and its translation.
struct CatalogueEntry {
    std::string_view source;
    std::string_view translation;
};

// One language's texts ("en", "pt_BR": the name of its .ts file).
struct CatalogueLanguage {
    std::string_view language;
    std::span<const CatalogueEntry> entries;
};

// Every language compiled in; defined by the generated table, so only a program or test that
// links the catalogue (norvo_catalogue) may call it.
std::span<const CatalogueLanguage> CompiledLanguages();

// The language named `language` among `languages`, or null.
const CatalogueLanguage* FindLanguage(std::span<const CatalogueLanguage> languages,
                                      std::string_view language);

// A translation read from one language of the table; the table must outlive it.
class CatalogueTranslation : public TextTranslation {
public:
    explicit CatalogueTranslation(std::span<const CatalogueEntry> entries = {});

    std::string Translate(std::string_view text) const override;

private:
    std::unordered_map<std::string_view, std::string_view> m_texts;
};

}  // namespace norvo
