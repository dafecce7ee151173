#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "base/Utf8Path.h"
#include "services/gallery/wire/ServiceText.h"
#include "tests/service/RunningGallery.h"
#include "tests/service/TestPictures.h"
#ifdef NORVO_HAVE_XML
#include "xml/XmlDocument.h"
#endif

namespace norvo {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Urls(const std::string& json) {
    std::vector<std::string> found;
    const std::string start = "\"url\":\"", end = "\",\"";
    for (std::size_t pos = 0; (pos = json.find(start, pos)) != std::string::npos;) {
        pos += start.size();
        const std::size_t stop = json.find(end, pos);
        if (stop == std::string::npos)
            break;
        found.push_back(json.substr(pos, stop - pos));
        pos = stop;
    }
    return found;
}

// A gallery made for the tests: ranking, names, broken and oversized pictures.
class GalleryService : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempFolder;
        const fs::path root = s_dir->Path();
        const test::TestImage hopper = test::BundledHopper();
        test::SavePicture(hopper, root / "Grace Hopper" / "b_large.jpg");
        test::SavePicture(test::SmoothlyScaled(hopper, 256, 300),
                          root / "Grace Hopper" / "a_small.png");
        const test::TestImage blank = test::Plain(200, 200, 0xA0A0A4);  // Qt's gray
        test::SavePicture(blank, root / "Grace Hopper" / "0_no face.png");
        test::SavePicture(test::BundledAstronaut(), root / "Eileen Collins" / "astronaut.png");
        // 山田 太郎
        test::SavePicture(hopper,
                          root / PathFromUtf8("\xE5\xB1\xB1\xE7\x94\xB0 \xE5\xA4\xAA\xE9\x83\x8E") /
                              PathFromUtf8("\xE5\xB1\xB1.jpg"));
        for (int i = 0; i < 10; ++i)
            test::SavePicture(blank, root / "Many" / ("p" + std::to_string(i) + ".png"));
        test::WriteBytes(root / "Broken" / "text.jpg", "no picture here");
        test::WriteBytes(root / "Broken" / "huge.png", test::PngDeclaring(20000, 20000));
        s_service = new test::RunningGallery({.pictures = root});
    }
    static void TearDownTestSuite() {
        delete s_service;
        delete s_dir;
    }
    void SetUp() override { ASSERT_EQ(s_service->Status(), ServerStatus::Ok); }

    static httplib::Result Get(const std::string& target) {
        return test::PatientClient(s_service->HostPort()).Get(target.c_str());
    }
    static std::string Search(const std::string& name) {
        auto res = Get("/ajax/services/search/images?q=" + ServiceText::EncodePathSegment(name) +
                       "&v=1.0");
        EXPECT_TRUE(res);
        if (!res)
            return {};
        EXPECT_EQ(res->status, 200) << name;
        return res->body;
    }
    static std::string Detect(const std::string& url, int expectedStatus = 200) {
        auto res = Get("/api/detect?m=1&f=2&url=" + url);
        EXPECT_TRUE(res);
        if (!res)
            return {};
        EXPECT_EQ(res->status, expectedStatus) << url << " " << res->body;
        return res->body;
    }
    static std::string Base() { return s_service->Base(); }

    static inline test::TempFolder* s_dir = nullptr;
    static inline test::RunningGallery* s_service = nullptr;
};

TEST_F(GalleryService, SearchListsPicturesWithTheLargestFaceFirst) {
    const std::string json = Search("Grace Hopper");
    EXPECT_EQ(Urls(json),
              (std::vector<std::string>{Base() + "/pictures/Grace%20Hopper/b_large.jpg",
                                        Base() + "/pictures/Grace%20Hopper/a_small.png",
                                        Base() + "/pictures/Grace%20Hopper/0_no%20face.png"}));
    EXPECT_NE(json.find(R"("width":"512","height":"600","title":"b_large.jpg")"), std::string::npos)
        << json;
}

TEST_F(GalleryService, SearchMatchesOtherSpellingsAndJapaneseNames) {
    const std::string hopper = Search("Grace Hopper");
    EXPECT_EQ(Search("grace  HOPPER "), hopper);
    EXPECT_EQ(Search("\xEF\xBC\xA7\xEF\xBD\x92\xEF\xBD\x81\xEF\xBD\x83\xEF\xBD\x85 hopper"),
              hopper);
    const std::string yamada =
        Search("\xE5\xB1\xB1\xE7\x94\xB0\xE3\x80\x80\xE5\xA4\xAA\xE9\x83\x8E");
    EXPECT_EQ(Urls(yamada),
              std::vector<std::string>{Base() + "/pictures/%E5%B1%B1%E7%94%B0%20%E5%A4%AA%E9%83%8E/"
                                                "%E5%B1%B1.jpg"});
    // The percent-encoded address serves the picture.
    auto res = Get(Urls(yamada).at(0).substr(Base().size()));
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "image/jpeg");
}

TEST_F(GalleryService, SearchAnswersEmptyListsForUnknownNamesAndUnreadablePictures) {
    const std::string empty = ServiceText::SearchJson({});
    EXPECT_EQ(Search("Nobody Known"), empty);
    EXPECT_EQ(Search(""), empty);
    EXPECT_EQ(Search("Broken"), empty);
    EXPECT_EQ(Urls(Search("Many")).size(), 8u);
}

TEST_F(GalleryService, SearchRefusesMalformedQueries) {
    struct Case {
        std::string target;
        int status;
    } cases[] = {
        {"/ajax/services/search/images?q=" + std::string(256, 'a') + "&v=1.0", 200},
        {"/ajax/services/search/images?q=" + std::string(257, 'a') + "&v=1.0", 400},
        {"/ajax/services/search/images?q=%zz&v=1.0", 400},
        {"/ajax/services/search/images?q=%E5%B1&v=1.0", 200},  // broken UTF-8 finds nobody
        {"/ajax/services/search/images?v=1.0", 400},
        {"/ajax/services/search/images?q=" + std::string(20000, 'a'), 414},
    };
    for (const Case& c : cases) {
        auto res = Get(c.target);
        ASSERT_TRUE(res) << c.target.substr(0, 80);
        EXPECT_EQ(res->status, c.status) << c.target.substr(0, 80);
    }
}

TEST_F(GalleryService, DetectionAnswersTheFacesOfGalleryPictures) {
    const std::string xml = Detect(Base() + "/pictures/Grace%20Hopper/b_large.jpg");
    EXPECT_EQ(xml.rfind("<?xml version='1.0'?><faces><face><bounds x='", 0), 0u) << xml;
    // The same address percent-encoded whole reads the same, not as another host's.
    EXPECT_EQ(
        Detect(ServiceText::EncodePathSegment(Base() + "/pictures/Grace%20Hopper/b_large.jpg")),
        xml);
    EXPECT_EQ(Detect(Base() + "/pictures/Grace%20Hopper/0_no%20face.png"),
              "<?xml version='1.0'?><faces></faces>");
#ifdef NORVO_HAVE_XML
    // Read back the way the program reads the answer file.
    test::TempFolder dir;
    test::WriteBytes(dir.Path() / "tmpfile.xml", xml);
    CXmlDocument doc;
    ASSERT_EQ(doc.Load(Utf8Of(dir.Path() / "tmpfile.xml").c_str()), XML_OK);
    std::vector<std::array<int, 4>> boxes;
    doc.Rewind();
    while (doc.Next()) {
        if (doc.GetName() == "bounds" && !doc.GetAttribute("x").empty()) {
            boxes.push_back({std::atoi(doc.GetAttribute("x").c_str()),
                             std::atoi(doc.GetAttribute("y").c_str()),
                             std::atoi(doc.GetAttribute("width").c_str()),
                             std::atoi(doc.GetAttribute("height").c_str())});
        }
    }
    ASSERT_EQ(boxes.size(), 1u);
    // Around the face checked by eye at (175, 140) with a side of 190.
    EXPECT_NEAR(boxes[0][0], 175, 25);
    EXPECT_NEAR(boxes[0][1], 140, 25);
    EXPECT_NEAR(boxes[0][2], 190, 30);
    EXPECT_NEAR(boxes[0][3], 190, 30);
#endif
}

TEST_F(GalleryService, DetectionRefusesWhatItMustNotRead) {
    Detect("http://example.invalid/a.jpg", 403);
    Detect("file:///etc/passwd", 403);
    Detect(Base() + "/pictures/%2e%2e/%2e%2e/etc/passwd", 403);
    Detect(Base() + "/pictures/Broken/text.jpg", 422);
    Detect(Base() + "/pictures/Broken/huge.png", 422);
    Detect(Base() + "/pictures/Broken/missing.png", 404);
    Detect(Base() + "/pictures/Grace%zz/b_large.jpg", 400);
    auto res = Get("/api/detect?m=1&f=2");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400);
}

TEST_F(GalleryService, PicturesAreServedFromInsideTheGalleryOnly) {
    auto ok = Get("/pictures/Eileen%20Collins/astronaut.png");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, 200);
    EXPECT_EQ(ok->get_header_value("Content-Type"), "image/png");
    EXPECT_EQ(ok->body, test::ReadBytes(s_dir->Path() / "Eileen Collins" / "astronaut.png"));
    for (const char* target :
         {"/pictures/../../../etc/passwd", "/pictures/%2e%2e/%2e%2e/etc/passwd",
          "/pictures/%2F%2Fetc%2Fpasswd", "/pictures/Grace%20Hopper/%2e%2e/%2e%2e/x.png"}) {
        auto res = Get(target);
        ASSERT_TRUE(res) << target;
        EXPECT_EQ(res->status, 403) << target;
    }
    auto health = Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    auto unknown = Get("/nothing");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 404);
}

// A stand-in for another web host: serves a picture and a few bad answers, and records the
// request targets it saw.
class OtherHost {
public:
    OtherHost() {
        m_server.Get("/img.jpg.*", [this](const httplib::Request& req, httplib::Response& res) {
            Record(req.target);
            res.set_content(
                test::ReadBytes(test::BundledGallery() / "Grace Hopper" / "grace_hopper.jpg"),
                "image/jpeg");
        });
        m_server.Get("/text", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("hi", "text/plain");
        });
        m_server.Get("/exact", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(16 * 1024 * 1024, 'x'), "application/octet-stream");
        });
        m_server.Get("/over", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(16 * 1024 * 1024 + 1, 'x'), "application/octet-stream");
        });
        m_server.Get("/to-file", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("file:///etc/passwd");
        });
        m_server.Get("/missing",
                     [](const httplib::Request&, httplib::Response& res) { res.status = 404; });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        test::WaitUntil([this] { return m_server.is_running(); });
    }
    ~OtherHost() {
        m_server.stop();
        m_thread.join();
    }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    // Lets the service's fetches reach this loopback host.
    AddressGuard Guard() const { return *AddressGuard::FromList(Base().substr(7)); }
    std::vector<std::string> Targets() {
        std::lock_guard lock(m_mutex);
        return m_targets;
    }

private:
    void Record(const std::string& target) {
        std::lock_guard lock(m_mutex);
        m_targets.push_back(target);
    }
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_targets;
};

TEST(GalleryServiceRemote, FetchesOtherHostsOnlyWhenAllowedAndPassesTheAddressVerbatim) {
    test::TempFolder dir;
    std::filesystem::create_directories(dir.Path() / "x");
    OtherHost other;
    test::RunningGallery service(
        {.pictures = dir.Path(), .allowRemote = true, .fetchGuard = other.Guard()});
    ASSERT_EQ(service.Status(), ServerStatus::Ok);
    httplib::Client client = test::PatientClient(service.HostPort());
    auto detect = [&](const std::string& url) {
        return client.Get(("/api/detect?m=1&f=2&url=" + url).c_str());
    };

    // '&', '=' and a second "url=" belong to the picture's address and reach the other host.
    auto res = detect(other.Base() + "/img.jpg&a=1&b=2=3&url=c");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("<bounds x='"), std::string::npos) << res->body;
    EXPECT_EQ(other.Targets(), std::vector<std::string>{"/img.jpg&a=1&b=2=3&url=c"});
    // The HTTP server library refuses a second '?' in a request target before the service
    // sees it: such addresses get a clear 400, not a fetch of a cut address.
    auto question = detect(other.Base() + "/img.jpg?a=1");
    ASSERT_TRUE(question);
    EXPECT_EQ(question->status, 400);
    EXPECT_EQ(other.Targets().size(), 1u);

    struct Case {
        std::string path;
        int status;
        std::string why;
    } cases[] = {
        {"/text", 422, "not a picture"},
        {"/exact", 422, "not a picture"},  // at the size limit: fetched, then refused as no picture
        {"/over", 422, "16 MiB"},
        {"/to-file", 400, "http and https"},
        {"/missing", 502, "answered with an error"},
    };
    for (const Case& c : cases) {
        auto r = detect(other.Base() + c.path);
        ASSERT_TRUE(r) << c.path;
        EXPECT_EQ(r->status, c.status) << c.path;
        EXPECT_NE(r->body.find(c.why), std::string::npos) << c.path << ": " << r->body;
    }
    auto ftp = detect("ftp://127.0.0.1/x.jpg");
    ASSERT_TRUE(ftp);
    EXPECT_EQ(ftp->status, 400);
}

TEST(GallerySearchBudget, WhatIsNotDetectedInTimeIsListedAfterTheRankedPictures) {
    test::TempFolder dir;
    const test::TestImage hopper = test::BundledHopper();
    test::SavePicture(hopper.scaled(256, 300), dir.Path() / "Grace Hopper" / "a_small.png");
    test::SavePicture(hopper, dir.Path() / "Grace Hopper" / "b_large.jpg");
    // No time at all for detection: the answer comes at once, in folder order.
    test::RunningGallery service(
        {.pictures = dir.Path(), .detectBudget = std::chrono::milliseconds(0)});
    httplib::Client client(service.HostPort());
    client.set_read_timeout(60, 0);
    const std::string search = "/ajax/services/search/images?q=Grace%20Hopper&v=1.0";
    auto first = client.Get(search.c_str());
    ASSERT_TRUE(first);
    const std::string small = service.Base() + "/pictures/Grace%20Hopper/a_small.png";
    const std::string large = service.Base() + "/pictures/Grace%20Hopper/b_large.jpg";
    EXPECT_EQ(Urls(first->body), (std::vector<std::string>{small, large}));
    // Detected when the program asks, the large picture ranks first from then on.
    auto detect = client.Get(("/api/detect?m=1&f=2&url=" + large).c_str());
    ASSERT_TRUE(detect);
    EXPECT_EQ(detect->status, 200);
    auto second = client.Get(search.c_str());
    ASSERT_TRUE(second);
    EXPECT_EQ(Urls(second->body), (std::vector<std::string>{large, small}));
}

TEST(GalleryServiceStart, RefusesAMissingFolderAndABusyPort) {
    GalleryServer missing({.pictures = "/nonexistent/gallery"});
    EXPECT_EQ(missing.Start(), ServerStatus::NoPictureFolder);
    EXPECT_EQ(missing.Run(), ServerStatus::NotStarted);

    test::TempFolder dir;
    test::RunningGallery first({.pictures = dir.Path()});
    ASSERT_EQ(first.Status(), ServerStatus::Ok);
    const int port = std::stoi(first.HostPort().substr(first.HostPort().rfind(':') + 1));
    GalleryServer second({.pictures = dir.Path(), .port = port, .log = false});
    EXPECT_EQ(second.Start(), ServerStatus::BindFailed);
}

TEST(GalleryServiceStart, StopBeforeRunReturnsAtOnce) {
    test::TempFolder dir;
    GalleryServer server({.pictures = dir.Path(), .log = false});
    ASSERT_EQ(server.Start(), ServerStatus::Ok);
    server.Stop();
    EXPECT_EQ(server.Run(), ServerStatus::Ok);
}

// A stop may come at any moment around Run's start (the watcher thread of the service's main
// stops it on a signal); whenever it comes, Run returns.
TEST(GalleryServiceStart, AStopWhileRunStartsEndsIt) {
    test::TempFolder dir;
    for (int i = 0; i < 50; ++i) {
        GalleryServer server({.pictures = dir.Path(), .log = false});
        ASSERT_EQ(server.Start(), ServerStatus::Ok);
        std::thread run([&] { EXPECT_EQ(server.Run(), ServerStatus::Ok); });
        if (i % 2 == 1)
            std::this_thread::yield();
        server.Stop();
        run.join();
    }
}

}  // namespace
}  // namespace norvo
