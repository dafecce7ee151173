#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace norvo {

// Readers for what the web sources answer. They take any bytes: a body that is no JSON, or
// JSON of another shape, reads as "not an answer" (ok == false) or as fewer entries, never as
// an error thrown. Both the formatversion=2 shapes the service asks for and the older
// formatversion=1 shapes are read.

// One page of a Wikipedia answer.
struct WikiPage {
    std::string title;
    std::string url;           // fullurl
    std::string pageImage;     // lead image file name (underscores, no "File:"), "" for none
    std::string thumbnail;     // the lead image's thumbnail address, "" for none
    int originalWidth = 0;     // of the lead image's original, 0 when unknown
    std::string wikibaseItem;  // "Q42", "" when not linked
    int ns = 0;
    int index = 0;  // rank in a search answer, 0 otherwise
    bool missing = false;
    bool invalid = false;
    bool disambiguation = false;
};

struct WikiAnswer {
    bool ok = false;              // an API answer (possibly with no pages)
    std::string errorCode;        // error.code when the API refused the request
    std::vector<WikiPage> pages;  // by search rank when the answer has ranks
    // Title rewrites the wiki made, in order: normalisation, then redirects.
    std::vector<std::pair<std::string, std::string>> renamed;
};

WikiAnswer ReadWikipediaAnswer(std::string_view json);

// The title a page that was asked for as `asked` ended up under, following the answer's
// normalisation and redirects.
std::string FinalTitle(const WikiAnswer& answer, const std::string& asked);
std::string FinalTitle(const std::vector<std::pair<std::string, std::string>>& renamed,
                       const std::string& asked);

// What Wikidata says about one item.
struct PersonClaims {
    bool ok = false;
    std::vector<std::string> images;  // P18 file names (spaces, no "File:"), preferred first
    std::string category;             // P373, "" when none
    bool typed = false;               // the item has an instance-of (P31) statement
    bool human = false;               // ... and one of them is Q5
    std::string label;                // the name in the language asked for, "" when none
    std::string description;          // one line in that language, "" when none
};

// `language` picks the label and description ("" for neither).
PersonClaims ReadWikidataClaims(std::string_view json, const std::string& item,
                                const std::string& language = "");

// One file of a Commons image-info answer.
struct CommonsFile {
    std::string title;  // "File:Jane Example 2019.jpg"
    std::string url;    // the original
    std::string thumbUrl;
    std::string descriptionUrl;
    std::string mime;
    std::uint64_t size = 0;  // bytes of the original
    int width = 0;           // of the original
    int thumbWidth = 0;
    int index = 0;  // rank in a search answer, 0 otherwise
    bool missing = false;
    // Licence data, author with tags stripped and entities decoded.
    std::string license;
    std::string licenseUrl;
    std::string author;
    bool attributionRequired = false;
    // NonFree or DeletionReason present, or Restrictions naming anything but personality
    // rights.
    bool restricted = false;
    // "personality" when Restrictions names personality rights (alone), "" else.
    std::string restrictions;
};

struct CommonsAnswer {
    bool ok = false;
    std::string errorCode;
    std::vector<CommonsFile> files;  // by search rank when the answer has ranks
    // Title rewrites Commons made, in order: normalisation, then redirects.
    std::vector<std::pair<std::string, std::string>> renamed;
};

CommonsAnswer ReadCommonsAnswer(std::string_view json);

// True for the picture types the service takes from Commons.
bool IsWantedCommonsMime(std::string_view mime);

// One image result of a SearXNG instance.
struct SearxResult {
    std::string imgSrc;
    std::string thumbnailSrc;
    std::string pageUrl;
    std::string title;
};

struct SearxAnswer {
    bool ok = false;
    std::vector<SearxResult> results;
};

SearxAnswer ReadSearxngAnswer(std::string_view json);

// Readable text of an HTML fragment (an author or credit field): tags dropped, script and
// style contents dropped, character references decoded, white space collapsed, control bytes
// removed, at most kMaxPlainTextBytes bytes (cut on a character boundary).
inline constexpr std::size_t kMaxPlainTextBytes = 512;
std::string PlainText(std::string_view html);

}  // namespace norvo
