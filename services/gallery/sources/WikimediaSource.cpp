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
    p.restrictions = file.restrictions;
    return p;
}

// Commons files by key (FileKey of their titles).
using CommonsFiles = std::map<std::string, CommonsFile>;

// The picture to fetch for the file `key`: the Commons file when it is usable; for the lead
// image of `page` that the wiki keeps itself (not on Commons), the wiki's own thumbnail at a
// width the picture host makes. nullopt when neither is to be used.
std::optional<WebPicture> PictureOf(const CommonsFiles& files, const std::string& key,
                                    const WikiPage* page) {
    if (key.empty())
        return std::nullopt;
    const auto it = files.find(key);
    const std::string address = it != files.end() ? PictureAddress(it->second) : "";
    if (!address.empty())
        return WebPicture{address, "", key, CommonsProvenance(it->second)};
    if (page == nullptr || FileKey(page->pageImage) != key || page->thumbnail.empty() ||
        (it != files.end() && !it->second.missing)) {
        return std::nullopt;
    }
    // Portraits come with their longer side at the size asked for, so the wiki's thumbnail
    // width is seldom a standard step.
    const std::string thumbnail = StandardThumbnail(page->thumbnail, page->originalWidth);
    if (thumbnail.empty())
        return std::nullopt;
    Provenance p;
    p.provider = "wikimedia";
    p.file = key;
    p.page = page->url;
    return WebPicture{thumbnail, "", key, p};
}

// One name's Wikimedia lookup, step by step (the article, the person, the files): its API
// calls, one after another, and the first failure among them.
class Lookup {
public:
    Lookup(WebClient& web, const WikimediaApis& apis, std::string language,
           Clock::time_point deadline)
        : m_web(web), m_apis(apis), m_language(std::move(language)), m_deadline(deadline) {}

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
                if (it != a.pages.end() && IsArticle(*it)) {
                    m_language = language;
                    return *it;
                }
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
            if (!hits.empty())
                m_language = languages[i];
        }
        return hits;
    }

    struct Person {
        WikiPage page;
        PersonClaims claims;  // the person's image, category, name and description

        // The name as Wikidata gives it in the wiki's language, else the article's title.
        const std::string& Name() const { return claims.label.empty() ? page.title : claims.label; }
        void Credit(Provenance& p) const {
            p.person = Name();
            p.personId = page.wikibaseItem;
            p.description = claims.description;
        }
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
            if (const auto body = Call(WikidataQuery(m_apis, {article->wikibaseItem}, m_language)))
                person.claims = ReadWikidataClaims(*body, article->wikibaseItem, m_language);
            return person;
        }
        const std::vector<Person> humans = HumansOf(hits, 1);
        if (humans.empty())
            return std::nullopt;
        return humans.front();
    }

    // The search hits Wikidata calls humans, best first, at most `max`.
    std::vector<Person> HumansOf(const std::vector<WikiPage>& hits, std::size_t max) {
        std::vector<std::string> items;
        for (const WikiPage& hit : hits) items.push_back(hit.wikibaseItem);
        std::vector<Person> humans;
        const auto body =
            items.empty() ? std::nullopt : Call(WikidataQuery(m_apis, items, m_language));
        if (!body)
            return humans;
        for (const WikiPage& hit : hits) {
            const PersonClaims c = ReadWikidataClaims(*body, hit.wikibaseItem, m_language);
            const bool seen = std::any_of(humans.begin(), humans.end(), [&](const Person& p) {
                return p.page.wikibaseItem == hit.wikibaseItem;
            });
            if (c.ok && c.human && !seen && humans.size() < max)
                humans.push_back(Person{hit, c});
        }
        return humans;
    }

    // The Wikidata item `id` as a person, without any article; nullopt when Wikidata does not
    // know it, or asking failed.
    std::optional<Person> ById(const std::string& id) {
        const auto body = Call(WikidataQuery(m_apis, {id}, m_language));
        if (!body)
            return std::nullopt;
        Person person{{}, ReadWikidataClaims(*body, id, m_language)};
        if (!person.claims.ok)
            return std::nullopt;
        person.page.wikibaseItem = id;
        person.page.title = person.claims.label;
        return person;
    }

    // The person's pictures on Commons, at most `max`: the lead image and Wikidata's images
    // first, then the person's category or the files that depict them.
    std::vector<WebPicture> Files(const Person& person, const std::string& title, std::size_t max) {
        std::vector<std::string> order;
        CommonsFiles files;
        auto want = [&](const std::string& file) {
            const std::string key = FileKey(file);
            if (!key.empty() && std::find(order.begin(), order.end(), key) == order.end())
                order.push_back(key);
        };
        const WikiPage& page = person.page;
        want(page.pageImage);
        for (const std::string& image : person.claims.images) want(image);
        const std::size_t named = order.size();
        auto take = [&](const std::optional<std::string>& body, bool append) {
            if (body)
                Take(*body, files, append ? &order : nullptr);
        };
        const std::string& category = person.claims.category;
        take(Call(!category.empty() ? CommonsCategoryQuery(m_apis, category)
                                    : CommonsSearchQuery(m_apis, page.wikibaseItem, title)),
             true);
        std::vector<std::string> missing;
        for (std::size_t i = 0; i < named && i < order.size(); ++i) {
            if (!files.count(order[i]))
                missing.push_back(order[i]);
        }
        if (!missing.empty())
            FilesByName(missing, files, order);

        std::vector<WebPicture> pictures;
        for (const std::string& key : order) {
            if (pictures.size() >= max)
                break;
            if (std::optional<WebPicture> picture = PictureOf(files, key, &page)) {
                person.Credit(picture->provenance);
                pictures.push_back(std::move(*picture));
            }
        }
        return pictures;
    }

    // One picture per person, for a list of people: the lead image, else Wikidata's first
    // image; its title is the person's id.
    std::vector<WebPicture> Portraits(const std::vector<Person>& people) {
        std::vector<std::string> keys;
        for (const Person& person : people) {
            const std::string key = !person.page.pageImage.empty() ? FileKey(person.page.pageImage)
                                    : !person.claims.images.empty()
                                        ? FileKey(person.claims.images.front())
                                        : std::string();
            keys.push_back(key);
        }
        std::vector<std::string> asked;
        for (const std::string& key : keys) {
            if (!key.empty() && std::find(asked.begin(), asked.end(), key) == asked.end())
                asked.push_back(key);
        }
        CommonsFiles files;
        std::vector<std::string> renamed = keys;
        if (!asked.empty())
            FilesByName(asked, files, renamed);
        std::vector<WebPicture> pictures;
        for (std::size_t i = 0; i < people.size(); ++i) {
            const WikiPage* page =
                renamed[i] == FileKey(people[i].page.pageImage) ? &people[i].page : nullptr;
            if (std::optional<WebPicture> picture = PictureOf(files, renamed[i], page)) {
                people[i].Credit(picture->provenance);
                picture->title = people[i].page.wikibaseItem;
                pictures.push_back(std::move(*picture));
            }
        }
        return pictures;
    }

private:
    // Reads a Commons answer into `files`; with `order`, appends the files it lists.
    static void Take(const std::string& body, CommonsFiles& files,
                     std::vector<std::string>* order) {
        for (CommonsFile& f : ReadCommonsAnswer(body).files) {
            const std::string key = FileKey(f.title);
            if (order && !key.empty() &&
                std::find(order->begin(), order->end(), key) == order->end())
                order->push_back(key);
            files.emplace(key, std::move(f));
        }
    }

    // Asks Commons for the files `keys` by name, and writes the names Commons answered under
    // (after its normalisation and redirects) over those in `order`, dropping repeats.
    void FilesByName(const std::vector<std::string>& keys, CommonsFiles& files,
                     std::vector<std::string>& order) {
        const std::optional<std::string> body = Call(CommonsFilesQuery(m_apis, keys));
        if (!body)
            return;
        Take(*body, files, nullptr);
        const CommonsAnswer answer = ReadCommonsAnswer(*body);
        std::vector<std::string> renamed;
        for (const std::string& key : order) {
            std::string final = key;
            if (std::find(keys.begin(), keys.end(), key) != keys.end())
                final = FileKey(FinalTitle(answer.renamed, "File:" + key));
            // The same file named twice is kept once (the place stays, empty).
            const bool repeat = std::find(renamed.begin(), renamed.end(), final) != renamed.end();
            renamed.push_back(repeat ? std::string() : final);
        }
        order = std::move(renamed);
    }

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
    std::string m_language;  // of the wiki that knew the name; descriptions come in it
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
    const std::vector<std::string> languages = Languages(title, m_localeLanguage);
    Lookup lookup(m_web, m_apis, languages.front(), deadline);
    const std::optional<WikiPage> article = lookup.ArticleByTitle(languages, TitleVariants(title));
    if (lookup.Failed())
        return Failed(lookup.Failure());
    std::vector<WikiPage> hits;
    if (!article) {
        hits = lookup.SearchHits(languages, title);
        if (lookup.Failed())
            return Failed(lookup.Failure());
        if (hits.empty())
            return answer;
    }
    const std::optional<Lookup::Person> person = lookup.PersonOf(article, hits);
    if (!person)
        return lookup.Failed() ? Failed(lookup.Failure()) : answer;
    return Collect(lookup.Files(*person, title, kMaxPictures), lookup.Failure(), deadline);
}

SourceAnswer WikimediaSource::FindPerson(const std::string& name, const std::string& id,
                                         Clock::time_point deadline) {
    if (!IsItemId(id))
        return {};  // not an item: nobody Wikidata knows
    Lookup lookup(m_web, m_apis, Languages(TitleOf(name), m_localeLanguage).front(), deadline);
    const std::optional<Lookup::Person> person = lookup.ById(id);
    if (!person)
        return lookup.Failed() ? Failed(lookup.Failure()) : SourceAnswer{};
    const std::string title = !person->claims.label.empty() ? person->claims.label : TitleOf(name);
    return Collect(lookup.Files(*person, title, kMaxPictures), lookup.Failure(), deadline);
}

PeopleAnswer WikimediaSource::People(const std::string& name, Clock::time_point deadline) {
    PeopleAnswer answer;
    const std::string title = TitleOf(name);
    if (title.empty())
        return answer;
    const std::vector<std::string> languages = Languages(title, m_localeLanguage);
    Lookup lookup(m_web, m_apis, languages.front(), deadline);
    auto failed = [&] {
        answer.failed = true;
        answer.reason = lookup.Failure();
        return answer;
    };
    const std::optional<WikiPage> article = lookup.ArticleByTitle(languages, TitleVariants(title));
    if (lookup.Failed())
        return failed();
    std::vector<Lookup::Person> people;
    if (article) {
        // A plain article: the one person it is about.
        if (article->wikibaseItem.empty())
            return answer;
        if (std::optional<Lookup::Person> person = lookup.PersonOf(article, {}))
            people.push_back(std::move(*person));
    } else {
        // A disambiguation page or no article: the humans among the search hits.
        const std::vector<WikiPage> hits = lookup.SearchHits(languages, title);
        if (!hits.empty())
            people = lookup.HumansOf(hits, kMaxPeople);
    }
    if (lookup.Failed() && people.empty())
        return failed();

    const std::vector<WebPicture> portraits = lookup.Portraits(people);
    RemotePictures::Report report;
    const std::vector<Candidate> found =
        m_remote.Collect(Name(), portraits, portraits.size(), deadline, report);
    for (const Lookup::Person& person : people) {
        PersonCandidate entry{
            person.page.wikibaseItem, person.Name(), person.claims.description, {}};
        for (const Candidate& c : found) {
            if (c.title == entry.id)
                entry.picture = c.path;
        }
        answer.people.push_back(std::move(entry));
    }
    answer.reason = lookup.Failure();  // answered with what was at hand
    return answer;
}

SourceAnswer WikimediaSource::Failed(const std::string& reason) {
    SourceAnswer answer;
    answer.failed = true;
    answer.reason = reason;
    return answer;
}

SourceAnswer WikimediaSource::Collect(const std::vector<WebPicture>& pictures,
                                      const std::string& failure, Clock::time_point deadline) {
    SourceAnswer answer;
    RemotePictures::Report report;
    answer.candidates = m_remote.Collect(Name(), pictures, kMaxPictures, deadline, report);
    if (answer.candidates.empty()) {
        if (!failure.empty())
            return Failed(failure);
        if (report.looked == 0 && report.failed > 0)
            return Failed(report.lastFailure);
    } else {
        answer.reason = failure;  // answered with what was at hand
    }
    return answer;
}

}  // namespace norvo
