// The web sources against the loopback fake of Wikipedia, Wikidata, Commons, the picture host
// and SearXNG: what the search hands out, what leaves the machine and how, what is kept.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <regex>

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

}  // namespace
}  // namespace norvo
