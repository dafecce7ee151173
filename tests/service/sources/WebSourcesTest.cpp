// The web sources against the loopback fake of Wikipedia, Wikidata, Commons, the picture host
// and SearXNG: what the search hands out, what leaves the machine and how, what is kept.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <regex>
#include <set>

#include <nlohmann/json.hpp>

#include "services/gallery/wire/ServiceText.h"
#include "services/gallery/wire/WebAnswers.h"
#include "tests/fakeweb/FakeWeb.h"
#include "tests/module/HttpcTestSupport.h"
#include "tests/service/RunningGallery.h"
#include "tests/service/TestPictures.h"

namespace norvo {
namespace {

using test::FakeWeb;

std::vector<std::string> Urls(const std::string& json) {
    std::vector<std::string> urls;
    const nlohmann::json j = nlohmann::json::parse(json, nullptr, false);
    if (j.is_discarded())
        return urls;
    for (const auto& r : j["responseData"]["results"]) urls.push_back(r["url"]);
    return urls;
}

class WebSources : public ::testing::Test {
protected:
    std::unique_ptr<test::RunningGallery> Service(const std::string& sources,
                                                  const std::filesystem::path& cache = {}) {
        std::string why;
        auto service = std::make_unique<test::RunningGallery>(GalleryOptions{
            .pictures = test::BundledGallery(),
            .sources = *ParseSourceList(sources, why),
            .cache = cache,
            .fetchGuard = *AddressGuard::FromList(fake.Endpoint()),
            .wikimediaApis = {fake.WikipediaApi(), fake.CommonsApi(), fake.WikidataApi()}});
        EXPECT_EQ(service->Status(), ServerStatus::Ok);
        return service;
    }
    static httplib::Result Get(const test::RunningGallery& service, const std::string& target) {
        httplib::Client client(service.HostPort());
        client.set_read_timeout(60, 0);
        return client.Get(target.c_str());
    }
    static httplib::Result Search(const test::RunningGallery& service, const std::string& name) {
        return Get(service, "/ajax/services/search/images?q=" +
                                ServiceText::EncodePathSegment(name) + "&v=1.0");
    }
    static std::string Found(const test::RunningGallery& service, const std::string& name) {
        auto res = Search(service, name);
        EXPECT_TRUE(res) << name;
        if (!res)
            return {};
        EXPECT_EQ(res->status, 200) << name << ": " << res->body;
        return res->body;
    }
    static nlohmann::json Source(const test::RunningGallery& service, const std::string& url) {
        auto res = Get(service, "/api/source?url=" + ServiceText::EncodePathSegment(url));
        EXPECT_TRUE(res && res->status == 200) << url;
        return res ? nlohmann::json::parse(res->body, nullptr, false) : nlohmann::json();
    }

    test::TempFolder folder;
    FakeWeb fake{test::BundledGallery()};
};

TEST_F(WebSources, AnUnknownNameIsFetchedOnceServedAsOurOwnAndCredited) {
    test::SilentListener elsewhere;
    fake.privateRedirect = elsewhere.Url("/x.jpg");
    fake.delayMs = 40;  // lets overlapping requests show in the log
    const auto service = Service("gallery,wikimedia", folder.Path() / "cache");

    // Lower case: normalised, then redirected by the wiki.
    const std::string json = Found(*service, "ada example");
    const std::vector<std::string> urls = Urls(json);
    ASSERT_EQ(urls.size(), 3u) << json;
    const std::regex own(std::regex_replace(service->Base(), std::regex("[.]"), "\\.") +
                         "/remote/[0-9a-f]{32}\\.(jpg|png)");
    for (const std::string& url : urls) EXPECT_TRUE(std::regex_match(url, own)) << url;

    // What left the machine: four API calls at most, one after another, each with the agent
    // and gzip; at most two picture fetches at once, standard widths only, none for files
    // that are not free or not photographs, none reaching the private redirect.
    const std::vector<FakeWeb::Request> log = fake.Log();
    EXPECT_LE(fake.ApiRequests(), 4);
    EXPECT_LE(fake.PictureRequests(), 8);
    EXPECT_LE(fake.MostPicturesAtOnce(), 2);
    EXPECT_EQ(fake.MostApiAtOnce(), 1);
    for (const FakeWeb::Request& r : log) {
        EXPECT_EQ(r.userAgent.rfind("norvo-gallery/", 0), 0u) << r.userAgent;
        EXPECT_NE(r.userAgent.find("(+"), std::string::npos) << r.userAgent;
        EXPECT_NE(r.acceptEncoding.find("gzip"), std::string::npos);
        EXPECT_EQ(r.path.find("logo"), std::string::npos) << r.path;
        EXPECT_EQ(r.path.find("poster"), std::string::npos) << r.path;
        EXPECT_EQ(r.path.find("scan"), std::string::npos) << r.path;
        if (r.path.find("/thumb/") != std::string::npos) {
            EXPECT_NE(r.path.find("/960px-"), std::string::npos) << r.path;
        }
    }
    EXPECT_FALSE(elsewhere.SawConnection());

    // Served from our own addresses, detected without --allow-remote, credited.
    auto picture = Get(*service, urls[0].substr(service->Base().size()));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->status, 200);
    EXPECT_EQ(picture->get_header_value("Content-Type").rfind("image/", 0), 0u);
    auto faces = Get(*service, "/api/detect?m=1&f=2&url=" + urls[0]);
    ASSERT_TRUE(faces);
    EXPECT_NE(faces->body.find("<bounds x='"), std::string::npos) << faces->body;
    std::map<std::string, nlohmann::json> credits;
    for (const std::string& url : urls) {
        const nlohmann::json c = Source(*service, url);
        credits[c.value("file", "")] = c;
    }
    ASSERT_TRUE(credits.count("Ada Example 2019.jpg"));
    const nlohmann::json& lead = credits["Ada Example 2019.jpg"];
    EXPECT_EQ(lead["provider"], "wikimedia");
    EXPECT_EQ(lead["author"], "Foo & Bar");
    EXPECT_EQ(lead["license"], "CC BY-SA 4.0");
    EXPECT_EQ(lead["attributionRequired"], true);
    EXPECT_NE(lead["page"].get<std::string>().find("/commons/wiki/File:Ada_Example_2019.jpg"),
              std::string::npos);
    ASSERT_TRUE(credits.count("Ada Example portrait.png"));
    EXPECT_EQ(credits["Ada Example portrait.png"]["licenseUrl"], "");
    EXPECT_EQ(credits["Ada Example portrait.png"]["attributionRequired"], false);

    // Addresses never handed out are unknown to every route.
    const std::string stranger = service->Base() + "/remote/" + std::string(32, '0') + ".jpg";
    for (const std::string& target :
         {"/remote/" + std::string(32, '0') + ".jpg",
          urls[0].substr(service->Base().size(), urls[0].size() - service->Base().size() - 3) +
              "gif",
          "/api/detect?m=1&f=2&url=" + stranger,
          "/api/source?url=" + ServiceText::EncodePathSegment(stranger),
          "/api/source?url=" + ServiceText::EncodePathSegment("http://elsewhere.example/a.jpg")}) {
        auto res = Get(*service, target);
        ASSERT_TRUE(res) << target;
        EXPECT_EQ(res->status, 404) << target;
    }

    // Asked again, by this process or the next one: not a single request.
    fake.ClearLog();
    EXPECT_EQ(Urls(Found(*service, "ada example")), urls);
    const auto next = Service("gallery,wikimedia", folder.Path() / "cache");
    std::vector<std::string> again = Urls(Found(*next, "ada example"));
    for (std::string& url : again) url.replace(0, next->Base().size(), service->Base());
    EXPECT_EQ(again, urls);
    EXPECT_TRUE(fake.Log().empty());
}

TEST_F(WebSources, ResolvesJapaneseNamesDisambiguationPagesAndMisses) {
    const auto service = Service("wikimedia");
    // 山田　花子 with a full-width space: asked of the Japanese wiki without the space first.
    EXPECT_EQ(Urls(Found(*service, "\xE5\xB1\xB1\xE7\x94\xB0\xE3\x80\x80\xE8\x8A\xB1\xE5\xAD\x90"))
                  .size(),
              1u);
    const std::vector<FakeWeb::Request> log = fake.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].service, "wikipedia:ja");
    EXPECT_EQ(log[0].params.at("titles"),
              "\xE5\xB1\xB1\xE7\x94\xB0\xE8\x8A\xB1\xE5\xAD\x90|\xE5\xB1\xB1\xE7\x94\xB0 "
              "\xE8\x8A\xB1\xE5\xAD\x90");

    // A disambiguation page: the search's best hit that Wikidata calls a human.
    EXPECT_EQ(Urls(Found(*service, "Mercury")).size(), 1u);
    // A lead image the wiki keeps itself still counts.
    EXPECT_EQ(Urls(Found(*service, "Local Lead")).size(), 1u);
    // Asked without formatversion=2, the wiki answers in its older shape; both read the same.
    httplib::Client wiki(fake.Endpoint());
    auto older = wiki.Get(
        "/en/w/api.php?action=query&format=json&redirects=1&titles=ada%20example&prop=pageprops",
        {{"User-Agent", "norvo-test (+https://test.example)"}});
    ASSERT_TRUE(older);
    const WikiAnswer oldShape = ReadWikipediaAnswer(older->body);
    ASSERT_EQ(oldShape.pages.size(), 1u) << older->body;
    EXPECT_EQ(oldShape.pages[0].wikibaseItem, "Q1001");
    EXPECT_EQ(FinalTitle(oldShape, "ada example"), "Ada Example");
    // Unknown, without any picture, or no title at all: an empty list, no failure.
    fake.ClearLog();
    EXPECT_TRUE(Urls(Found(*service, "a|b")).empty());
    EXPECT_TRUE(fake.Log().empty());
    EXPECT_TRUE(Urls(Found(*service, "Nobody Known")).empty());
    EXPECT_TRUE(Urls(Found(*service, "Plain Page")).empty());
}

TEST_F(WebSources, FailuresEndTheSearchWith502OnlyWhenNothingEarlierAnswered) {
    struct Case {
        const char* rule;
        std::atomic<bool> FakeWeb::*failure;
        const char* reason;
    } cases[] = {
        {"HTML 429 from the edge", &FakeWeb::html429, "429"},
        {"maxlag with Retry-After", &FakeWeb::maxlag, "maxlag"},
        {"an API error with its header", &FakeWeb::apiError, "badvalue"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        fake.*c.failure = true;
        const auto service = Service("gallery,wikimedia");
        // A name of the gallery never reaches the web.
        fake.ClearLog();
        EXPECT_EQ(Urls(Found(*service, "Grace Hopper")).size(), 4u);
        EXPECT_TRUE(fake.Log().empty());
        auto res = Search(*service, "Ada Example");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 502);
        EXPECT_NE(res->body.find(c.reason), std::string::npos) << res->body;
        if (c.failure != &FakeWeb::apiError) {
            // Told to slow down, the source rests: the next search asks nobody.
            fake.ClearLog();
            auto rested = Search(*service, "Ada Example");
            ASSERT_TRUE(rested);
            EXPECT_EQ(rested->status, 502);
            EXPECT_TRUE(fake.Log().empty());
        }
        fake.*c.failure = false;
    }
    // Nobody there at all.
    std::string why;
    test::RunningGallery down(
        GalleryOptions{.pictures = test::BundledGallery(),
                       .sources = *ParseSourceList("wikimedia", why),
                       .fetchGuard = *AddressGuard::FromList("127.0.0.1:9"),
                       .wikimediaApis = {"http://127.0.0.1:9/{lang}/w/api.php",
                                         "http://127.0.0.1:9/c", "http://127.0.0.1:9/d"}});
    auto res = Search(down, "Ada Example");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 502);
    EXPECT_NE(res->body.find("not reached"), std::string::npos) << res->body;
}

TEST_F(WebSources, SearxngPicturesFallBackToThumbnailsAndItsRefusalsAreNamed) {
    const auto service = Service("searxng=" + fake.SearxngBase() + "/");
    const std::vector<std::string> urls = Urls(Found(*service, "Sam Example"));
    ASSERT_EQ(urls.size(), 2u);
    const nlohmann::json credit = Source(*service, urls[0]);
    EXPECT_EQ(credit["provider"], "searxng");
    EXPECT_EQ(credit["page"].get<std::string>().rfind("https://site.example/sam", 0), 0u);
    EXPECT_EQ(credit["license"], "");
    EXPECT_TRUE(Urls(Found(*service, "Nobody Known")).empty());

    fake.searxJson = false;
    auto refused = Search(*service, "Other Name");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 502);
    EXPECT_NE(refused->body.find("enable json"), std::string::npos) << refused->body;
    fake.searxJson = true;
    fake.searxLimit = true;
    auto limited = Search(*service, "Third Name");
    ASSERT_TRUE(limited);
    EXPECT_EQ(limited->status, 502);
    EXPECT_NE(limited->body.find("429"), std::string::npos) << limited->body;
}

TEST_F(WebSources, DetectionOfOtherHostsNeverReachesLocalAddresses) {
    test::SilentListener local;
    const std::string port = std::to_string(local.port());
    test::RunningGallery service(
        GalleryOptions{.pictures = test::BundledGallery(),
                       .allowRemote = true,
                       .fetchGuard = *AddressGuard::FromList(fake.Endpoint())});
    for (const std::string& url : {local.Url("/x.jpg"), "http://localhost:" + port + "/x.jpg",
                                   "http%3A%2F%2F127.0.0.1%3A" + port + "%2Fx.jpg"}) {
        auto res = Get(service, "/api/detect?m=1&f=2&url=" + url);
        ASSERT_TRUE(res) << url;
        EXPECT_EQ(res->status, 403) << url << ": " << res->body;
    }
    EXPECT_FALSE(local.SawConnection());
    // The named endpoint is reached, also when the address comes encoded whole.
    const std::string picture = fake.Base() + "/img/sam.jpg";
    for (const std::string& url : {picture, ServiceText::EncodePathSegment(picture)}) {
        auto res = Get(service, "/api/detect?m=1&f=2&url=" + url);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200) << url << ": " << res->body;
    }
}

// The people a name may stand for, and searches kept to one of them.
class People : public WebSources {
protected:
    static nlohmann::json PeopleOf(const test::RunningGallery& service, const std::string& name) {
        auto res = Get(service, "/api/people?q=" + ServiceText::EncodePathSegment(name));
        EXPECT_TRUE(res && res->status == 200) << name << ": " << (res ? res->body : "");
        return res ? nlohmann::json::parse(res->body, nullptr, false) : nlohmann::json();
    }
    static std::string Pinned(const test::RunningGallery& service, const std::string& name,
                              const std::string& person) {
        auto res =
            Get(service, "/ajax/services/search/images?q=" + ServiceText::EncodePathSegment(name) +
                             "&v=1.0&person=" + ServiceText::EncodePathSegment(person));
        EXPECT_TRUE(res && res->status == 200) << person << ": " << (res ? res->body : "");
        return res ? res->body : std::string();
    }
    bool Fetched(const std::string& part) const {
        for (const FakeWeb::Request& r : fake.Log()) {
            if (r.service == "upload" && r.path.find(part) != std::string::npos)
                return true;
        }
        return false;
    }
};

TEST_F(People, AnAmbiguousNameListsItsHumansWithDescriptionsAndPictures) {
    const auto service = Service("gallery,wikimedia");
    const nlohmann::json people = PeopleOf(*service, "Tim Example")["people"];
    ASSERT_EQ(people.size(), 2u) << people;  // the ship is no human
    const struct {
        const char* id;
        const char* description;
    } expected[] = {{"Q7001", "United States Senator from Example (born 1965)"},
                    {"Q7002", "English footballer (born 1990)"}};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(expected[i].id);
        EXPECT_EQ(people[i]["id"], expected[i].id);
        EXPECT_EQ(people[i]["name"], "Tim Example");
        EXPECT_EQ(people[i]["description"], expected[i].description);
        // A picture of their own, handed out (and credited) by the service.
        const std::string picture = people[i]["picture"];
        ASSERT_EQ(picture.rfind(service->Base() + "/remote/", 0), 0u) << picture;
        EXPECT_EQ(Source(*service, picture)["personId"], expected[i].id);
    }

    const struct {
        const char* rule;
        std::string name;
        std::vector<std::string> ids;
        bool web;  // whether the web was asked
    } cases[] = {
        {"a plain name: the article's person", "ada example", {"Q1001"}, true},
        {"the gallery answers first, never asking the web",
         "grace  HOPPER",
         {"Grace Hopper"},
         false},
        {"nobody known", "Nobody Known", {}, true},
        {"no title can hold the name", "a|b", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        fake.ClearLog();
        const nlohmann::json found = PeopleOf(*service, c.name);
        ASSERT_TRUE(found["people"].is_array()) << found;
        std::vector<std::string> ids;
        for (const auto& person : found["people"]) ids.push_back(person["id"]);
        EXPECT_EQ(ids, c.ids);
        EXPECT_EQ(fake.ApiRequests() > 0, c.web);
    }
    const nlohmann::json gallery = PeopleOf(*service, "Grace Hopper")["people"][0];
    EXPECT_EQ(gallery["description"], "Grace Hopper");
    EXPECT_EQ(gallery["picture"],
              service->Base() + "/pictures/Grace%20Hopper/grace_hopper_small.jpg");
    EXPECT_EQ(PeopleOf(*service, "ada example")["people"][0]["description"],
              "Example mathematician");

    fake.html429 = true;
    auto refused = Get(*service, "/api/people?q=Someone%20Else");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 502);
    fake.html429 = false;
}

TEST_F(People, APinnedSearchKeepsToThatPersonsPictures) {
    const auto service = Service("gallery,wikimedia");
    const struct {
        const char* rule;
        std::string name, person;
        std::size_t pictures;
        std::string personId;  // of every picture
        bool wikipedia;        // whether Wikipedia was asked
    } cases[] = {
        {"a Wikidata item: its own pictures, no article asked for", "Tim Example", "Q7002", 2,
         "Q7002", false},
        {"personality rights alone keep a file; a trademark or a deletion drops it", "Tim Example",
         "Q7001", 1, "Q7001", false},
        {"a gallery folder, matched as names are", "Eileen Collins", "eileen  collins", 4,
         "Eileen Collins", false},
        {"an item nobody knows", "Tim Example", "Q999999", 0, "", false},
        {"neither an item nor a folder", "Tim Example", "Tim Example (ship)", 0, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        fake.ClearLog();
        const std::vector<std::string> urls = Urls(Pinned(*service, c.name, c.person));
        ASSERT_EQ(urls.size(), c.pictures);
        for (const std::string& url : urls)
            EXPECT_EQ(Source(*service, url)["personId"], c.personId);
        for (const FakeWeb::Request& r : fake.Log())
            EXPECT_EQ(r.service.rfind("wikipedia", 0) == 0, c.wikipedia) << r.path;
    }
}

TEST_F(People, RealAnswersKeepTheirGoodPictures) {
    const auto service = Service("wikimedia");
    // Personality rights: taken, and said so in the credit; other restrictions: never fetched.
    const std::vector<std::string> senator = Urls(Pinned(*service, "Tim Example", "Q7001"));
    ASSERT_EQ(senator.size(), 1u);
    const nlohmann::json credit = Source(*service, senator[0]);
    EXPECT_EQ(credit["file"], "Tim Example senator.jpg");
    EXPECT_EQ(credit["restrictions"], "personality");
    EXPECT_EQ(credit["person"], "Tim Example");
    EXPECT_EQ(credit["description"], "United States Senator from Example (born 1965)");
    EXPECT_FALSE(Fetched("rally"));
    EXPECT_FALSE(Fetched("gone"));

    // Titles Commons normalised or redirected: found, and a file named twice fetched once.
    fake.ClearLog();
    std::set<std::string> files;
    for (const std::string& url : Urls(Pinned(*service, "Tim Example", "Q7002")))
        files.insert(Source(*service, url)["file"].get<std::string>());
    EXPECT_EQ(files, (std::set<std::string>{"\xC3\x89"
                                            "douard Tim Example.jpg",
                                            "Tim Example kick.jpg"}));
    int kicks = 0;
    for (const FakeWeb::Request& r : fake.Log())
        kicks += r.service == "upload" && r.path.find("kick") != std::string::npos;
    EXPECT_EQ(kicks, 1);

    // A wiki's own lead thumbnail at 207 px: asked for at a standard width the original has.
    fake.ClearLog();
    const std::vector<std::string> local = Urls(Found(*service, "Local Portrait"));
    ASSERT_EQ(local.size(), 1u);
    EXPECT_TRUE(Fetched("/960px-Local_Portrait.jpg"));
    EXPECT_FALSE(Fetched("/207px-"));
    EXPECT_EQ(Source(*service, local[0])["personId"], "Q5006");

    // The description comes in the language the name's wiki is in.
    const std::vector<std::string> yamada =
        Urls(Found(*service, "\xE5\xB1\xB1\xE7\x94\xB0\xE8\x8A\xB1\xE5\xAD\x90"));
    ASSERT_EQ(yamada.size(), 1u);
    EXPECT_EQ(Source(*service, yamada[0])["description"],
              "\xE6\x97\xA5\xE6\x9C\xAC\xE3\x81\xAE\xE4\xBE\x8B");
}

}  // namespace
}  // namespace norvo
