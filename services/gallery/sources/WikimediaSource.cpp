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

// One name's Wikimedia lookup, step by step (the article, the person, the files): its API
// calls, one after another, and the first failure among them.
class Lookup {
public:
    Lookup(WebClient& web, const WikimediaApis& apis, Clock::time_point deadline)
        : m_web(web), m_apis(apis), m_deadline(deadline) {}

    bool Failed() const { return !m_failure.empty(); }
    const std::string& Failure() const { return m_failure; }

    // The article: the name as a title in each wiki in turn, following normalisation and
    // redirects; nullopt when no wiki has it as an article, or a call failed.
    std::optional<WikiPage> ArticleByTitle(const std::vector<std::string>& languages,
                                           const std::vector<std::string>& variants) {
        for (const std::string& language : languages) {
            const WikiAnswer a = Read(Call(WikipediaTitlesQuery(m_apis, language, variants)));
            if (Failed())
                return std::nullopt;
            for (const std::string& variant : variants) {
                const std::string final = FinalTitle(a, variant);
                const auto it = std::find_if(a.pages.begin(), a.pages.end(),
                                             [&](const WikiPage& p) { return p.title == final; });
                if (it != a.pages.end() && IsArticle(*it))
                    return *it;
            }
        }
        return std::nullopt;
    }

    // Articles linked to Wikidata that the first wiki with any finds for the title, best
    // first; empty when none does, or a call failed.
    std::vector<WikiPage> SearchHits(const std::vector<std::string>& languages,
                                     const std::string& title) {
        std::vector<WikiPage> hits;
        for (std::size_t i = 0; hits.empty() && i < languages.size(); ++i) {
            const WikiAnswer a = Read(Call(WikipediaSearchQuery(m_apis, languages[i], title)));
            if (Failed())
                return {};
            for (const WikiPage& p : a.pages) {
                if (IsArticle(p) && !p.wikibaseItem.empty())
                    hits.push_back(p);
            }
        }
        return hits;
    }

    struct Person {
        WikiPage page;
        PersonClaims claims;  // the person's image and category; empty when unknown
    };

    // The person the article is about, with what Wikidata says of them; without an article,
    // the first search hit that Wikidata calls a human (a search finds something for nearly
    // any text). nullopt for nobody, or when asking Wikidata failed.
    std::optional<Person> PersonOf(const std::optional<WikiPage>& article,
                                   const std::vector<WikiPage>& hits) {
        if (article) {
            Person person{*article, {}};
            if (article->wikibaseItem.empty())
                return person;
            if (const auto body = Call(WikidataQuery(m_apis, {article->wikibaseItem})))
                person.claims = ReadWikidataClaims(*body, article->wikibaseItem);
            return person;
        }
        std::vector<std::string> items;
        for (const WikiPage& hit : hits) items.push_back(hit.wikibaseItem);
        const auto body = Call(WikidataQuery(m_apis, items));
        if (!body)
            return std::nullopt;
        for (const WikiPage& hit : hits) {
            const PersonClaims c = ReadWikidataClaims(*body, hit.wikibaseItem);
            if (c.ok && c.human)
                return Person{hit, c};
        }
        return std::nullopt;
    }

    // The person's pictures on Commons, at most `max`: the lead image and Wikidata's images
    // first, then the person's category or the files that depict them.
    std::vector<WebPicture> Files(const Person& person, const std::string& title, std::size_t max) {
        std::vector<std::string> order;
        std::map<std::string, CommonsFile> files;
        auto want = [&](const std::string& file) {
            const std::string key = FileKey(file);
            if (!key.empty() && std::find(order.begin(), order.end(), key) == order.end())
                order.push_back(key);
        };
        const WikiPage& page = person.page;
        const std::string lead = FileKey(page.pageImage);
        want(lead);
        for (const std::string& image : person.claims.images) want(image);
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
        const std::string& category = person.claims.category;
        take(Call(!category.empty() ? CommonsCategoryQuery(m_apis, category)
                                    : CommonsSearchQuery(m_apis, page.wikibaseItem, title)),
             true);
        std::vector<std::string> missing;
        for (std::size_t i = 0; i < named; ++i) {
            if (!files.count(order[i]))
                missing.push_back(order[i]);
        }
        if (!missing.empty())
            take(Call(CommonsFilesQuery(m_apis, missing)), false);

        std::vector<WebPicture> pictures;
        for (const std::string& key : order) {
            if (pictures.size() >= max)
                break;
            const auto it = files.find(key);
            const std::string address = it != files.end() ? PictureAddress(it->second) : "";
            if (!address.empty()) {
                pictures.push_back({address, "", key, CommonsProvenance(it->second)});
            } else if (key == lead && (it == files.end() || it->second.missing) &&
                       !page.thumbnail.empty() && IsStandardThumbnail(page.thumbnail)) {
                // A lead image the wiki keeps itself (not on Commons): its free thumbnail.
                Provenance p;
                p.provider = "wikimedia";
                p.file = key;
                p.page = page.url;
                pictures.push_back({page.thumbnail, "", key, p});
            }
        }
        return pictures;
    }

private:
    std::optional<std::string> Call(const std::string& address) {
        WebClient::Reply reply = m_web.Api("wikimedia", address, m_deadline);
        if (reply.outcome != WebClient::Outcome::Ok) {
            Fail(reply.reason);
            return std::nullopt;
        }
        return std::move(reply.body);
    }
    WikiAnswer Read(const std::optional<std::string>& body) {
        WikiAnswer a = body ? ReadWikipediaAnswer(*body) : WikiAnswer{};
        if (body && (!a.ok || !a.errorCode.empty()))
            Fail("wikimedia: unexpected answer from Wikipedia" +
                 (a.errorCode.empty() ? std::string() : " (" + a.errorCode + ")"));
        return a;
    }
    void Fail(const std::string& reason) {
        if (m_failure.empty())
            m_failure = reason;
    }

    WebClient& m_web;
    const WikimediaApis& m_apis;
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
    Lookup lookup(m_web, m_apis, deadline);
    auto failed = [&] {
        answer.failed = lookup.Failed();
        answer.reason = lookup.Failure();
        return answer;
    };

    const std::vector<std::string> languages = Languages(title, m_localeLanguage);
    const std::optional<WikiPage> article = lookup.ArticleByTitle(languages, TitleVariants(title));
    if (lookup.Failed())
        return failed();
    std::vector<WikiPage> hits;
    if (!article) {
        hits = lookup.SearchHits(languages, title);
        if (lookup.Failed())
            return failed();
        if (hits.empty())
            return answer;
    }
    const std::optional<Lookup::Person> person = lookup.PersonOf(article, hits);
    if (!person)
        return lookup.Failed() ? failed() : answer;

    const std::vector<WebPicture> pictures = lookup.Files(*person, title, kMaxPictures);
    RemotePictures::Report report;
    answer.candidates = m_remote.Collect(Name(), pictures, kMaxPictures, deadline, report);
    if (answer.candidates.empty()) {
        if (lookup.Failed())
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
