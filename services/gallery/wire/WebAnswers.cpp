#include "services/gallery/wire/WebAnswers.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

namespace norvo {

namespace {

using Json = nlohmann::json;

Json Parse(std::string_view text) {
    return Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
}

const Json* Member(const Json& object, const char* name) {
    if (!object.is_object())
        return nullptr;
    const auto it = object.find(name);
    return it == object.end() ? nullptr : &*it;
}

// Strings as they are; numbers as written; anything else as "".
std::string Text(const Json* value) {
    if (value == nullptr)
        return {};
    if (value->is_string())
        return value->get<std::string>();
    if (value->is_number_integer() || value->is_number_unsigned())
        return value->dump();
    return {};
}

std::string TextOf(const Json& object, const char* name) {
    return Text(Member(object, name));
}

long long NumberOf(const Json& object, const char* name) {
    const Json* value = Member(object, name);
    if (value == nullptr)
        return 0;
    if (value->is_number_integer())
        return value->get<long long>();
    if (value->is_number_unsigned())
        return static_cast<long long>(
            std::min<std::uint64_t>(value->get<std::uint64_t>(), 1ull << 62));
    if (value->is_number_float())
        return static_cast<long long>(std::clamp(value->get<double>(), -1e18, 1e18));
    return 0;
}

int SmallNumberOf(const Json& object, const char* name) {
    return static_cast<int>(
        std::clamp<long long>(NumberOf(object, name), -1'000'000'000, 1'000'000'000));
}

// formatversion=2 flags are true/false; formatversion=1 flags are "" when set, absent when not.
bool FlagOf(const Json& object, const char* name) {
    const Json* value = Member(object, name);
    if (value == nullptr)
        return false;
    if (value->is_boolean())
        return value->get<bool>();
    return !value->is_null();
}

// `pages` as a list (formatversion=2) or as an object keyed by page id (formatversion=1).
std::vector<const Json*> PagesOf(const Json& query) {
    std::vector<const Json*> pages;
    const Json* list = Member(query, "pages");
    if (list == nullptr)
        return pages;
    if (list->is_array() || list->is_object()) {
        for (const Json& page : *list) {
            if (page.is_object())
                pages.push_back(&page);
        }
    }
    return pages;
}

// Search answers rank pages by "index"; the list itself is in no particular order.
template <typename T>
void SortByIndex(std::vector<T>& entries) {
    std::stable_sort(entries.begin(), entries.end(), [](const T& a, const T& b) {
        const bool ra = a.index > 0, rb = b.index > 0;
        if (ra != rb)
            return ra;
        return a.index < b.index;
    });
}

std::string ErrorCode(const Json& root) {
    const Json* error = Member(root, "error");
    return error ? TextOf(*error, "code") : std::string();
}

// The "query" member of an API answer (null when there is none); `ok` and `errorCode` say
// whether it was an API answer at all and whether the API refused the request.
const Json* QueryOf(const Json& root, bool& ok, std::string& errorCode) {
    ok = root.is_object();
    if (!ok)
        return nullptr;
    errorCode = ErrorCode(root);
    // A search without hits may leave out "query" altogether.
    return Member(root, "query");
}

// The title rewrites of a query: normalisation first, then redirects.
std::vector<std::pair<std::string, std::string>> RenamedOf(const Json& query) {
    std::vector<std::pair<std::string, std::string>> renamed;
    for (const char* list : {"normalized", "redirects"}) {
        const Json* entries = Member(query, list);
        if (entries == nullptr || !entries->is_array())
            continue;
        for (const Json& e : *entries) renamed.emplace_back(TextOf(e, "from"), TextOf(e, "to"));
    }
    return renamed;
}

// The restrictions a file's Restrictions field lists ("personality|trademarked"): "" for
// none, "personality" for personality rights alone, nullopt for anything else.
std::optional<std::string> KnownRestrictions(const std::string& value) {
    bool personality = false;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find_first_of("|,", start);
        if (end == std::string::npos)
            end = value.size();
        std::string token = value.substr(start, end - start);
        while (!token.empty() && token.front() == ' ') token.erase(0, 1);
        while (!token.empty() && token.back() == ' ') token.pop_back();
        if (token == "personality")
            personality = true;
        else if (!token.empty())
            return std::nullopt;
        start = end + 1;
    }
    return personality ? "personality" : "";
}

// The value of an extmetadata field: {"value": ..., "source": ...}.
std::string MetaValue(const Json& meta, const char* name) {
    const Json* field = Member(meta, name);
    return field ? Text(Member(*field, "value")) : std::string();
}

bool HasMeta(const Json& meta, const char* name) {
    return Member(meta, name) != nullptr;
}

void AppendUtf8(std::string& out, unsigned long cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes the character reference starting at text[0] == '&'; returns the bytes consumed,
// or 0 when it is none (the '&' then stands for itself).
std::size_t DecodeReference(std::string_view text, std::string& out) {
    static const struct {
        const char* name;
        const char* text;
    } kNamed[] = {{"amp", "&"},        {"lt", "<"},         {"gt", ">"},
                  {"quot", "\""},      {"apos", "'"},       {"nbsp", " "},
                  {"ndash", "\u2013"}, {"mdash", "\u2014"}, {"copy", "\u00A9"}};
    const std::size_t semicolon = text.find(';');
    if (semicolon == std::string_view::npos || semicolon < 2 || semicolon > 12)
        return 0;
    const std::string_view body = text.substr(1, semicolon - 1);
    if (body[0] == '#') {
        const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
        const std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty())
            return 0;
        unsigned long cp = 0;
        for (const char c : digits) {
            int v = -1;
            if (c >= '0' && c <= '9')
                v = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                v = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                v = c - 'A' + 10;
            if (v < 0)
                return 0;
            cp = std::min<unsigned long>(cp * (hex ? 16 : 10) + v, 0x110000);
        }
        AppendUtf8(out, cp);
        return semicolon + 1;
    }
    for (const auto& named : kNamed) {
        if (body == named.name) {
            out += named.text;
            return semicolon + 1;
        }
    }
    return 0;
}

bool StartsTag(std::string_view text, std::size_t at) {
    if (at + 1 >= text.size())
        return false;
    const char c = text[at + 1];
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '/' || c == '!' || c == '?';
}

// The lower-case tag name of a tag text "<name ...", "</name" (name only, no '/').
std::string TagName(std::string_view tag) {
    std::size_t i = 1;
    if (i < tag.size() && tag[i] == '/')
        ++i;
    std::string name;
    for (; i < tag.size() && std::isalnum(static_cast<unsigned char>(tag[i])); ++i)
        name += static_cast<char>(std::tolower(static_cast<unsigned char>(tag[i])));
    return name;
}

// End of the tag starting at `at` (index past '>'), honouring quoted attribute values;
// text.size() when the tag never ends.
std::size_t TagEnd(std::string_view text, std::size_t at) {
    char quote = 0;
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return text.size();
}

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 sequence.
void CutUtf8(std::string& text, std::size_t limit) {
    if (text.size() <= limit)
        return;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
}

}  // namespace

WikiAnswer ReadWikipediaAnswer(std::string_view json) {
    WikiAnswer answer;
    const Json root = Parse(json);
    const Json* query = QueryOf(root, answer.ok, answer.errorCode);
    if (query == nullptr)
        return answer;
    answer.renamed = RenamedOf(*query);
    for (const Json* page : PagesOf(*query)) {
        WikiPage p;
        p.title = TextOf(*page, "title");
        p.url = TextOf(*page, "fullurl");
        p.pageImage = TextOf(*page, "pageimage");
        if (const Json* thumb = Member(*page, "thumbnail"))
            p.thumbnail = TextOf(*thumb, "source");
        if (const Json* original = Member(*page, "original"))
            p.originalWidth = SmallNumberOf(*original, "width");
        p.ns = SmallNumberOf(*page, "ns");
        p.index = SmallNumberOf(*page, "index");
        p.missing = FlagOf(*page, "missing");
        p.invalid = FlagOf(*page, "invalid");
        if (const Json* props = Member(*page, "pageprops")) {
            p.wikibaseItem = TextOf(*props, "wikibase_item");
            p.disambiguation = Member(*props, "disambiguation") != nullptr;
        }
        answer.pages.push_back(std::move(p));
    }
    SortByIndex(answer.pages);
    return answer;
}

std::string FinalTitle(const WikiAnswer& answer, const std::string& asked) {
    return FinalTitle(answer.renamed, asked);
}

std::string FinalTitle(const std::vector<std::pair<std::string, std::string>>& renamed,
                       const std::string& asked) {
    std::string title = asked;
    for (const auto& [from, to] : renamed) {
        if (from == title)
            title = to;
    }
    return title;
}

PersonClaims ReadWikidataClaims(std::string_view json, const std::string& item,
                                const std::string& language) {
    PersonClaims claims;
    const Json root = Parse(json);
    const Json* entities = Member(root, "entities");
    const Json* entity = entities ? Member(*entities, item.c_str()) : nullptr;
    // An id Wikidata does not know comes back as {"id":"Q7","missing":""}.
    if (entity == nullptr || !entity->is_object() || Member(*entity, "missing") != nullptr)
        return claims;
    claims.ok = true;
    // {"labels":{"en":{"language":"en","value":"Jane Example"}}}, and descriptions alike.
    auto inLanguage = [&](const char* kind) {
        const Json* texts = language.empty() ? nullptr : Member(*entity, kind);
        const Json* text = texts ? Member(*texts, language.c_str()) : nullptr;
        return text ? PlainText(TextOf(*text, "value")) : std::string();
    };
    claims.label = inLanguage("labels");
    claims.description = inLanguage("descriptions");
    const Json* all = Member(*entity, "claims");
    if (all == nullptr)
        return claims;
    // Values of one property, preferred statements first, deprecated ones and those without a
    // value (somevalue / novalue) left out.
    auto values = [&](const char* property) {
        std::vector<const Json*> preferred, normal;
        const Json* statements = Member(*all, property);
        if (statements == nullptr || !statements->is_array())
            return preferred;
        for (const Json& statement : *statements) {
            const std::string rank = TextOf(statement, "rank");
            const Json* snak = Member(statement, "mainsnak");
            const Json* data = snak ? Member(*snak, "datavalue") : nullptr;
            const Json* value = data ? Member(*data, "value") : nullptr;
            if (value == nullptr || rank == "deprecated")
                continue;
            (rank == "preferred" ? preferred : normal).push_back(value);
        }
        preferred.insert(preferred.end(), normal.begin(), normal.end());
        return preferred;
    };
    for (const Json* value : values("P18")) {
        const std::string file = Text(value);
        if (!file.empty())
            claims.images.push_back(file);
    }
    for (const Json* value : values("P373")) {
        claims.category = Text(value);
        if (!claims.category.empty())
            break;
    }
    for (const Json* value : values("P31")) {
        claims.typed = true;
        claims.human = claims.human || TextOf(*value, "id") == "Q5";
    }
    return claims;
}

bool IsWantedCommonsMime(std::string_view mime) {
    return mime == "image/jpeg" || mime == "image/png" || mime == "image/webp";
}

CommonsAnswer ReadCommonsAnswer(std::string_view json) {
    CommonsAnswer answer;
    const Json root = Parse(json);
    const Json* query = QueryOf(root, answer.ok, answer.errorCode);
    if (query == nullptr)
        return answer;
    answer.renamed = RenamedOf(*query);
    for (const Json* page : PagesOf(*query)) {
        CommonsFile f;
        f.title = TextOf(*page, "title");
        f.index = SmallNumberOf(*page, "index");
        f.missing = FlagOf(*page, "missing") || FlagOf(*page, "filemissing");
        const Json* infos = Member(*page, "imageinfo");
        const Json* info = infos && infos->is_array() && !infos->empty() ? &(*infos)[0] : nullptr;
        if (info != nullptr && info->is_object()) {
            f.missing = f.missing || FlagOf(*info, "filemissing");
            f.url = TextOf(*info, "url");
            f.thumbUrl = TextOf(*info, "thumburl");
            f.descriptionUrl = TextOf(*info, "descriptionurl");
            f.mime = TextOf(*info, "mime");
            f.size = static_cast<std::uint64_t>(std::max(0LL, NumberOf(*info, "size")));
            f.width = SmallNumberOf(*info, "width");
            f.thumbWidth = SmallNumberOf(*info, "thumbwidth");
            if (Member(*info, "thumberror") != nullptr)
                f.thumbUrl.clear();
            if (const Json* meta = Member(*info, "extmetadata")) {
                f.license = PlainText(MetaValue(*meta, "LicenseShortName"));
                f.licenseUrl = MetaValue(*meta, "LicenseUrl");
                for (const char* field : {"Artist", "Attribution", "Credit"}) {
                    f.author = PlainText(MetaValue(*meta, field));
                    if (!f.author.empty())
                        break;
                }
                f.attributionRequired = MetaValue(*meta, "AttributionRequired") == "true";
                const std::optional<std::string> restrictions =
                    KnownRestrictions(MetaValue(*meta, "Restrictions"));
                f.restricted =
                    HasMeta(*meta, "NonFree") || HasMeta(*meta, "DeletionReason") || !restrictions;
                f.restrictions = restrictions.value_or("");
            }
        } else {
            f.missing = true;
        }
        answer.files.push_back(std::move(f));
    }
    SortByIndex(answer.files);
    return answer;
}

SearxAnswer ReadSearxngAnswer(std::string_view json) {
    SearxAnswer answer;
    const Json root = Parse(json);
    if (!root.is_object())
        return answer;
    const Json* results = Member(root, "results");
    if (results == nullptr || !results->is_array())
        return answer;
    answer.ok = true;
    for (const Json& r : *results) {
        SearxResult result;
        result.imgSrc = TextOf(r, "img_src");
        result.thumbnailSrc = TextOf(r, "thumbnail_src");
        result.pageUrl = TextOf(r, "url");
        result.title = PlainText(TextOf(r, "title"));
        if (!result.imgSrc.empty() || !result.thumbnailSrc.empty())
            answer.results.push_back(std::move(result));
    }
    return answer;
}

std::string PlainText(std::string_view html) {
    std::string out;
    bool space = false;  // a space is owed before the next visible character
    auto put = [&](std::string_view text) {
        for (const char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
                space = !out.empty();
            } else if (c < 0x20 || c == 0x7F) {
                continue;
            } else {
                if (space)
                    out += ' ';
                space = false;
                out += ch;
            }
        }
    };
    std::string skipUntil;  // the closing tag of a script or style element being skipped
    std::size_t i = 0;
    while (i < html.size() && out.size() <= kMaxPlainTextBytes) {
        const char c = html[i];
        if (c == '<' && StartsTag(html, i)) {
            const std::size_t end = TagEnd(html, i);
            const std::string_view tag = html.substr(i, end - i);
            const std::string name = TagName(tag);
            const bool closing = tag.size() > 1 && tag[1] == '/';
            if (!skipUntil.empty()) {
                if (closing && name == skipUntil)
                    skipUntil.clear();
            } else if (!closing && (name == "script" || name == "style")) {
                skipUntil = name;
            } else if (name == "br" || name == "p" || name == "div" || name == "li" ||
                       name == "td") {
                space = !out.empty();
            }
            i = end;
            continue;
        }
        if (!skipUntil.empty()) {
            ++i;
            continue;
        }
        if (c == '&') {
            std::string decoded;
            if (const std::size_t used = DecodeReference(html.substr(i), decoded)) {
                put(decoded);
                i += used;
                continue;
            }
        }
        put(html.substr(i, 1));
        ++i;
    }
    CutUtf8(out, kMaxPlainTextBytes);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace norvo
