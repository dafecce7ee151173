#include "services/gallery/sources/WikimediaSource.h"

#include <algorithm>
#include <map>
#include <optional>

#include "services/gallery/fetch/RemotePictures.h"
#include "services/gallery/fetch/WebClient.h"
#include "services/gallery/wire/WebAnswers.h"

namespace norvo {

namespace {

using namespace wikimedia;

bool IsArticle(const WikiPage& page) {
    return !page.missing && !page.invalid && page.ns == 0 && !page.disambiguation;
}

// The address to fetch for a Commons file, or "" when it is not to be used.
std::string PictureAddress(const CommonsFile& file) {
    if (file.missing || file.restricted || !IsWantedCommonsMime(file.mime))
        return {};
    const std::string address = file.thumbUrl.empty() ? file.url : file.thumbUrl;
    // Asked for a width the original does not reach, the thumbnail address is the original.
    if (address == file.url && file.size > WebClient::kMaxPictureBytes)
        return {};
    return IsStandardThumbnail(address) ? address : std::string();
}

Provenance CommonsProvenance(const CommonsFile& file) {
    Provenance p;
    p.provider = "wikimedia";
    p.file = FileKey(file.title);
    p.page = file.descriptionUrl;
    p.original = file.url;
    p.author = file.author;
    p.license = file.license;
    p.licenseUrl = file.licenseUrl;
    p.attributionRequired = file.attributionRequired;
    return p;
}

// One Wikimedia lookup: its API calls, and the first failure among them.
class Lookup {
public:
    Lookup(WebClient& web, Clock::time_point deadline) : m_web(web), m_deadline(deadline) {}

    std::optional<std::string> Call(const std::string& address) {
        WebClient::Reply reply = m_web.Api("wikimedia", address, m_deadline);
        if (reply.outcome != WebClient::Outcome::Ok) {
            Fail(reply.reason);
            return std::nullopt;
        }
        return std::move(reply.body);
    }
    void Fail(const std::string& reason) {
        if (m_failure.empty())
            m_failure = reason;
    }
    const std::string& Failure() const { return m_failure; }

private:
    WebClient& m_web;
    Clock::time_point m_deadline;
    std::string m_failure;
};

}  // namespace

WikimediaSource::WikimediaSource(WebClient& web, RemotePictures& remote, WikimediaApis apis,
                                 std::string localeLanguage)
    : m_web(web),
      m_remote(remote),
      m_apis(std::move(apis)),
      m_localeLanguage(std::move(localeLanguage)) {}

SourceAnswer WikimediaSource::Find(const std::string& name, Clock::time_point deadline) {
    SourceAnswer answer;
    const std::string title = TitleOf(name);
    if (title.empty())
        return answer;  // no title can hold this name: nobody the wikis know
    const std::vector<std::string> variants = TitleVariants(title);
    const std::vector<std::string> languages = Languages(title, m_localeLanguage);
    Lookup lookup(m_web, deadline);
    auto failed = [&] {
        answer.failed = !lookup.Failure().empty();
        answer.reason = lookup.Failure();
        return answer;
    };
    auto read = [&](const std::optional<std::string>& body) {
        WikiAnswer a = body ? ReadWikipediaAnswer(*body) : WikiAnswer{};
        if (body && (!a.ok || !a.errorCode.empty()))
            lookup.Fail("wikimedia: unexpected answer from Wikipedia" +
                        (a.errorCode.empty() ? std::string() : " (" + a.errorCode + ")"));
        return a;
    };

    // The article: the name as a title in each wiki, then each wiki's search.
    std::optional<WikiPage> page;
    for (const std::string& language : languages) {
        const WikiAnswer a = read(lookup.Call(WikipediaTitlesQuery(m_apis, language, variants)));
        if (!lookup.Failure().empty())
            return failed();
        for (const std::string& variant : variants) {
            const std::string final = FinalTitle(a, variant);
            const auto it = std::find_if(a.pages.begin(), a.pages.end(),
                                         [&](const WikiPage& p) { return p.title == final; });
            if (it != a.pages.end() && IsArticle(*it)) {
                page = *it;
                break;
            }
        }
        if (page)
            break;
    }
    std::vector<WikiPage> hits;  // search hits, best first
    for (std::size_t i = 0; !page && hits.empty() && i < languages.size(); ++i) {
        const WikiAnswer a = read(lookup.Call(WikipediaSearchQuery(m_apis, languages[i], title)));
        if (!lookup.Failure().empty())
            return failed();
        for (const WikiPage& p : a.pages) {
            if (IsArticle(p) && !p.wikibaseItem.empty())
                hits.push_back(p);
        }
    }
    if (!page && hits.empty())
        return answer;

    // Wikidata: the person's image, category, and (for a search hit) whether it is a person
    // at all: a search finds something for nearly any text.
    PersonClaims claims;
    if (page && !page->wikibaseItem.empty()) {
        if (const auto body = lookup.Call(WikidataQuery(m_apis, {page->wikibaseItem})))
            claims = ReadWikidataClaims(*body, page->wikibaseItem);
    } else if (!page) {
        std::vector<std::string> items;
        for (const WikiPage& hit : hits) items.push_back(hit.wikibaseItem);
        const auto body = lookup.Call(WikidataQuery(m_apis, items));
        if (!body)
            return failed();
        for (const WikiPage& hit : hits) {
            const PersonClaims c = ReadWikidataClaims(*body, hit.wikibaseItem);
            if (c.ok && c.human) {
                page = hit;
                claims = c;
                break;
            }
        }
        if (!page)
            return answer;
    }

    // Commons: the lead image and Wikidata's images first, then the person's category or the
    // files that depict them.
    std::vector<std::string> order;
    std::map<std::string, CommonsFile> files;
    auto want = [&](const std::string& file) {
        const std::string key = FileKey(file);
        if (!key.empty() && std::find(order.begin(), order.end(), key) == order.end())
            order.push_back(key);
    };
    const std::string lead = FileKey(page->pageImage);
    want(lead);
    for (const std::string& image : claims.images) want(image);
    const std::size_t named = order.size();
    auto take = [&](const std::optional<std::string>& body, bool append) {
        if (!body)
            return;
        for (CommonsFile& f : ReadCommonsAnswer(*body).files) {
            const std::string key = FileKey(f.title);
            if (append)
                want(key);
            files.emplace(key, std::move(f));
        }
    };
    const std::string& item = page->wikibaseItem;
    take(lookup.Call(!claims.category.empty() ? CommonsCategoryQuery(m_apis, claims.category)
                                              : CommonsSearchQuery(m_apis, item, title)),
         true);
    std::vector<std::string> missing;
    for (std::size_t i = 0; i < named; ++i) {
        if (!files.count(order[i]))
            missing.push_back(order[i]);
    }
    if (!missing.empty())
        take(lookup.Call(CommonsFilesQuery(m_apis, missing)), false);

    std::vector<WebPicture> pictures;
    for (const std::string& key : order) {
        if (pictures.size() >= kMaxPictures)
            break;
        const auto it = files.find(key);
        const std::string address = it != files.end() ? PictureAddress(it->second) : "";
        if (!address.empty()) {
            pictures.push_back({address, "", key, CommonsProvenance(it->second)});
        } else if (key == lead && (it == files.end() || it->second.missing) &&
                   !page->thumbnail.empty() && IsStandardThumbnail(page->thumbnail)) {
            // A lead image the wiki keeps itself (not on Commons): its free thumbnail.
            Provenance p;
            p.provider = "wikimedia";
            p.file = key;
            p.page = page->url;
            pictures.push_back({page->thumbnail, "", key, p});
        }
    }

    RemotePictures::Report report;
    answer.candidates = m_remote.Collect(Name(), pictures, kMaxPictures, deadline, report);
    if (answer.candidates.empty()) {
        if (!lookup.Failure().empty())
            return failed();
        if (report.looked == 0 && report.failed > 0) {
            answer.failed = true;
            answer.reason = report.lastFailure;
        }
    } else {
        answer.reason = lookup.Failure();  // answered with what was at hand
    }
    return answer;
}

}  // namespace norvo
