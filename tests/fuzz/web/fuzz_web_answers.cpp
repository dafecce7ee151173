// What the web sources answer, as a hostile or broken server might send it: the JSON readers
// of Wikipedia, Wikidata, Commons and SearXNG, the author-field text, the source list and
// the gallery's credits file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "lookup/SourceList.h"
#include "services/gallery/wire/Provenance.h"
#include "services/gallery/wire/WebAnswers.h"
#include "services/gallery/wire/WikimediaQueries.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

// Text for the log and the credits: bounded, without control bytes.
void CheckPlain(const std::string& text) {
    Check(text.size() <= norvo::kMaxPlainTextBytes);
    for (const char c : text) Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const norvo::WikiAnswer wiki = norvo::ReadWikipediaAnswer(input);
    for (const norvo::WikiPage& page : wiki.pages) norvo::FinalTitle(wiki, page.title);
    norvo::ReadWikidataClaims(input, "Q1");
    for (const norvo::CommonsFile& file : norvo::ReadCommonsAnswer(input).files) {
        CheckPlain(file.author);
        CheckPlain(file.license);
        norvo::wikimedia::IsStandardThumbnail(file.thumbUrl);
        norvo::ProvenanceJson({.author = file.author, .licenseUrl = file.licenseUrl});
    }
    for (const norvo::SearxResult& result : norvo::ReadSearxngAnswer(input).results)
        CheckPlain(result.title);
    CheckPlain(norvo::PlainText(input));
    const std::string title = norvo::wikimedia::TitleOf(input);
    Check(title.find_first_of("|#<>[]{}") == std::string::npos);
    if (!title.empty()) {
        for (const std::string& variant : norvo::wikimedia::TitleVariants(title))
            norvo::wikimedia::Languages(variant, "ja");
    }
    std::string error;
    if (const auto sources = norvo::ParseSourceList(input, error)) {
        // What was read is written back as a list that reads the same.
        Check(norvo::ParseSourceList(norvo::SourceListText(*sources), error) == sources);
    }
    norvo::GalleryCredits::Parse(input).Of("a/b_small.jpg");
    return 0;
}
