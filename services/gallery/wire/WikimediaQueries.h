#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace norvo {

// Where the Wikimedia APIs are. Tests point them at a loopback fake.
struct WikimediaApis {
    // "{lang}" stands for the wiki's language code.
    std::string wikipedia = "https://{lang}.wikipedia.org/w/api.php";
    std::string commons = "https://commons.wikimedia.org/w/api.php";
    std::string wikidata = "https://www.wikidata.org/w/api.php";
};

// The requests the wikimedia source makes and the rules it follows to make them.
namespace wikimedia {

// Thumbnail width asked for: a standard step of the picture host, and large enough that the
// detector's 80-pixel window fits faces down to a tenth of the picture.
inline constexpr int kThumbWidth = 960;
// Pages the search fallback asks for, and Commons files per category or search.
inline constexpr int kSearchPages = 5;
inline constexpr int kCommonsFiles = 20;
// A name longer than this is no person's name.
inline constexpr std::size_t kMaxNameBytes = 256;

// The name as a title: white space (U+3000 included) collapsed to single spaces and trimmed;
// "" when the name holds a character titles cannot hold (| # < > [ ] { } or a control byte).
std::string TitleOf(std::string_view name);
// Titles to ask for, best first: for a name written in CJK characters with spaces between
// them, the name without those spaces comes first (wikis title such names without them).
std::vector<std::string> TitleVariants(const std::string& title);

// The language of the process's locale (LC_ALL, LC_MESSAGES, LANG): "ja" for "ja_JP.UTF-8";
// "" for C, POSIX or nothing set. Windows, when none is set: the user's UI language.
std::string LocaleLanguage();
// Wikis to ask, in order, by the name's script: any kana: ja; hangul: ko; Han only: the
// locale's language when it is ja or zh, else ja; anything else: the locale's language, then
// en.
std::vector<std::string> Languages(std::string_view title, const std::string& localeLanguage);

std::string WikipediaTitlesQuery(const WikimediaApis& apis, const std::string& language,
                                 const std::vector<std::string>& titles);
std::string WikipediaSearchQuery(const WikimediaApis& apis, const std::string& language,
                                 const std::string& text);
// The items' statements, with their labels and descriptions in `language`.
std::string WikidataQuery(const WikimediaApis& apis, const std::vector<std::string>& items,
                          const std::string& language);
// Files by name (spaces or underscores, no "File:"), at most 50, following file redirects.
std::string CommonsFilesQuery(const WikimediaApis& apis, const std::vector<std::string>& files);
std::string CommonsCategoryQuery(const WikimediaApis& apis, const std::string& category);
// Files that depict the item, or (for "" as item) files whose text names the person.
std::string CommonsSearchQuery(const WikimediaApis& apis, const std::string& item,
                               const std::string& name);

// A file name as Commons titles it: underscores to spaces, no "File:" prefix, first letter
// upper-case (ASCII).
std::string FileKey(std::string_view file);

// False for an upload address whose thumbnail width ("/thumb/.../NNNpx-...") is not one of
// the picture host's standard steps: such a request is refused with 429 and must not be made.
bool IsStandardThumbnail(std::string_view address);
// The same thumbnail at a standard width: `address` itself when it is one; else its width
// replaced by the largest standard step up to kThumbWidth that is narrower than the original
// (`originalWidth`, 0 when unknown: then no wider than the thumbnail itself), which the picture
// host makes for any file; "" when no step fits.
std::string StandardThumbnail(std::string_view address, int originalWidth);

// True for a Wikidata item id: "Q" and 1 to 12 digits.
bool IsItemId(std::string_view id);

}  // namespace wikimedia
}  // namespace norvo
