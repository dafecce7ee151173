#include "services/gallery/wire/WikimediaQueries.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cstdlib>

#include "services/gallery/wire/ServiceText.h"

namespace norvo::wikimedia {

namespace {

constexpr int kStandardWidths[] = {20, 40, 60, 120, 250, 330, 500, 960, 1280, 1920, 3840};

constexpr const char* kPageProps =
    "&prop=info%7Cpageimages%7Cpageprops&inprop=url&piprop=original%7Cthumbnail%7Cname"
    "&pithumbsize=500&pilicense=free&ppprop=disambiguation%7Cwikibase_item";
// The same image-info block for every Commons request.
constexpr const char* kImageInfo =
    "&prop=imageinfo&iiprop=url%7Csize%7Cmime%7Cextmetadata&iiurlwidth=960"
    "&iiextmetadatafilter=LicenseShortName%7CLicense%7CLicenseUrl%7CUsageTerms"
    "%7CAttributionRequired%7CArtist%7CCredit%7CAttribution%7CNonFree%7CRestrictions"
    "%7CDeletionReason";
constexpr const char* kQueryStart = "?action=query&format=json&formatversion=2";

// Query values: every byte but A-Z a-z 0-9 - . _ ~ percent-encoded.
std::string EncodeValue(std::string_view value) {
    return ServiceText::EncodePathSegment(value);
}

// Next code point of UTF-8 text at `i` (advanced past it); U+FFFD for a broken sequence.
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (extra < 0)
        return 0xFFFD;
    char32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
    for (; extra > 0; --extra) {
        if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            return 0xFFFD;
        cp = (cp << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    }
    return cp;
}

bool IsKana(char32_t c) {
    return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x31F0 && c <= 0x31FF) ||
           (c >= 0xFF66 && c <= 0xFF9D);
}
bool IsHangul(char32_t c) {
    return (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0x1100 && c <= 0x11FF) ||
           (c >= 0x3130 && c <= 0x318F);
}
bool IsHan(char32_t c) {
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x3134F);
}
bool IsCjk(char32_t c) {
    return IsKana(c) || IsHangul(c) || IsHan(c) || c == 0x30FC || c == 0x3005;
}

std::string Joined(const std::vector<std::string>& parts, std::string_view prefix) {
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty())
            out += '|';
        out += std::string(prefix) + p;
    }
    return out;
}

}  // namespace

std::string TitleOf(std::string_view name) {
    if (name.size() > kMaxNameBytes)
        return {};
    std::string title;
    bool space = false;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t start = i;
        const char32_t c = NextCodePoint(name, i);
        if (c == U' ' || c == U'\t' || c == 0x3000) {
            space = !title.empty();
            continue;
        }
        if (c < 0x20 || c == 0x7F || c == 0xFFFD || c == U'|' || c == U'#' || c == U'<' ||
            c == U'>' || c == U'[' || c == U']' || c == U'{' || c == U'}') {
            return {};
        }
        if (space)
            title += ' ';
        space = false;
        title.append(name.substr(start, i - start));
    }
    return title;
}

std::vector<std::string> TitleVariants(const std::string& title) {
    std::string compact;
    char32_t before = 0;
    for (std::size_t i = 0; i < title.size();) {
        const std::size_t start = i;
        const char32_t c = NextCodePoint(title, i);
        if (c == U' ' && IsCjk(before) && i < title.size()) {
            std::size_t j = i;
            if (IsCjk(NextCodePoint(title, j)))
                continue;  // a space between two CJK characters
        }
        compact.append(title.substr(start, i - start));
        before = c;
    }
    if (compact == title)
        return {title};
    return {compact, title};
}

std::string LocaleLanguage() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value == nullptr || value[0] == '\0')
            continue;
        std::string language;
        for (const char* p = value; *p >= 'a' && *p <= 'z' && language.size() < 3; ++p)
            language += *p;
        const char end = value[language.size()];
        if (language.size() < 2 || (end != '\0' && end != '_' && end != '.' && end != '@'))
            return "";  // C, POSIX, or nothing a wiki is named after
        return language;
    }
#ifdef _WIN32
    // Windows keeps the user's language in its settings, not in these variables.
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), name,
                         LOCALE_NAME_MAX_LENGTH, 0) > 0) {
        std::string language;
        for (const wchar_t* p = name; *p >= L'a' && *p <= L'z' && language.size() < 3; ++p)
            language += static_cast<char>(*p);
        const wchar_t end = name[language.size()];
        if (language.size() >= 2 && (end == L'\0' || end == L'-'))
            return language;
    }
#endif
    return "";
}

std::vector<std::string> Languages(std::string_view title, const std::string& localeLanguage) {
    bool kana = false, hangul = false, han = false, other = false;
    for (std::size_t i = 0; i < title.size();) {
        const char32_t c = NextCodePoint(title, i);
        if (IsKana(c))
            kana = true;
        else if (IsHangul(c))
            hangul = true;
        else if (IsHan(c))
            han = true;
        else if (c != U' ' && c != 0x30FC && c != 0x3005 && c != U'.' && c != U'-')
            other = true;
    }
    if (kana)
        return {"ja"};
    if (hangul)
        return {"ko"};
    if (han && !other)
        return {localeLanguage == "zh" ? "zh" : "ja"};
    if (localeLanguage.empty() || localeLanguage == "en")
        return {"en"};
    return {localeLanguage, "en"};
}

static std::string WikipediaApi(const WikimediaApis& apis, const std::string& language) {
    std::string base = apis.wikipedia;
    if (const std::size_t at = base.find("{lang}"); at != std::string::npos)
        base.replace(at, 6, language);
    return base;
}

std::string WikipediaTitlesQuery(const WikimediaApis& apis, const std::string& language,
                                 const std::vector<std::string>& titles) {
    return WikipediaApi(apis, language) + kQueryStart +
           "&redirects=1&titles=" + EncodeValue(Joined(titles, "")) + kPageProps;
}

std::string WikipediaSearchQuery(const WikimediaApis& apis, const std::string& language,
                                 const std::string& text) {
    return WikipediaApi(apis, language) + kQueryStart +
           "&generator=search&gsrsearch=" + EncodeValue(text) +
           "&gsrnamespace=0&gsrlimit=" + std::to_string(kSearchPages) + kPageProps;
}

std::string WikidataQuery(const WikimediaApis& apis, const std::vector<std::string>& items,
                          const std::string& language) {
    return apis.wikidata +
           "?action=wbgetentities&format=json&ids=" + EncodeValue(Joined(items, "")) +
           "&props=claims%7Clabels%7Cdescriptions&languages=" + EncodeValue(language);
}

std::string CommonsFilesQuery(const WikimediaApis& apis, const std::vector<std::string>& files) {
    std::vector<std::string> keys;
    for (const std::string& f : files) keys.push_back(FileKey(f));
    return apis.commons + kQueryStart +
           "&redirects=1&titles=" + EncodeValue(Joined(keys, "File:")) + kImageInfo;
}

std::string CommonsCategoryQuery(const WikimediaApis& apis, const std::string& category) {
    return apis.commons + kQueryStart +
           "&generator=categorymembers&gcmtitle=" + EncodeValue("Category:" + category) +
           "&gcmtype=file&gcmlimit=" + std::to_string(kCommonsFiles) + kImageInfo;
}

std::string CommonsSearchQuery(const WikimediaApis& apis, const std::string& item,
                               const std::string& name) {
    const std::string search =
        item.empty() ? "\"" + name + "\" filetype:bitmap" : "haswbstatement:P180=" + item;
    return apis.commons + kQueryStart +
           "&generator=search&gsrnamespace=6&gsrlimit=" + std::to_string(kCommonsFiles) +
           "&gsrsearch=" + EncodeValue(search) + kImageInfo;
}

std::string FileKey(std::string_view file) {
    if (file.substr(0, 5) == "File:")
        file.remove_prefix(5);
    std::string key(file);
    for (char& c : key) {
        if (c == '_')
            c = ' ';
    }
    if (!key.empty() && key[0] >= 'a' && key[0] <= 'z')
        key[0] = static_cast<char>(key[0] - 'a' + 'A');
    return key;
}

namespace {

// The width of a width-named thumbnail address ("/thumb/.../NNNpx-..."), with where its digits
// start and how many there are; width 0 for any other address.
struct ThumbnailWidth {
    int width = 0;
    std::size_t at = 0;
    std::size_t digits = 0;
};

ThumbnailWidth WidthOf(std::string_view address) {
    if (address.find("/thumb/") == std::string_view::npos)
        return {};
    const std::size_t at = address.rfind('/') + 1;
    const std::string_view name = address.substr(at);
    std::size_t digits = 0;
    while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') ++digits;
    if (digits == 0 || digits > 5 || name.substr(digits, 3) != "px-")
        return {};
    return {std::atoi(std::string(name.substr(0, digits)).c_str()), at, digits};
}

bool IsStandardWidth(int width) {
    for (const int standard : kStandardWidths) {
        if (width == standard)
            return true;
    }
    return false;
}

}  // namespace

bool IsStandardThumbnail(std::string_view address) {
    const ThumbnailWidth thumb = WidthOf(address);
    return thumb.digits == 0 || IsStandardWidth(thumb.width);
}

std::string StandardThumbnail(std::string_view address, int originalWidth) {
    const ThumbnailWidth thumb = WidthOf(address);
    if (thumb.digits == 0 || IsStandardWidth(thumb.width))
        return std::string(address);
    // The host scales down only: a step must stay narrower than the original.
    const int limit = std::min(kThumbWidth, originalWidth > 0 ? originalWidth - 1 : thumb.width);
    int step = 0;
    for (const int standard : kStandardWidths) {
        if (standard <= limit)
            step = standard;
    }
    if (step == 0)
        return {};
    std::string out(address);
    out.replace(thumb.at, thumb.digits, std::to_string(step));
    return out;
}

bool IsItemId(std::string_view id) {
    if (id.size() < 2 || id.size() > 13 || id[0] != 'Q' || id[1] == '0')
        return false;
    return std::all_of(id.begin() + 1, id.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace norvo::wikimedia
