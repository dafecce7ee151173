// The web lookups through the real SAORI host and the scriptable test module.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>

#include "FakeServices.h"
#include "RecorderReport.h"
#include "saori/Platform.h"
#include "saori/SaoriHost.h"
#include "saori/WorkFolder.h"
#include "web/FaceDetection.h"
#include "web/ImageDownload.h"
#include "web/ImageSearch.h"
#include "web/PictureSource.h"
#include "web/TextEncoding.h"

namespace norvo {
namespace {

using testing::DetectionXml;
using testing::FakeServices;
using testing::ParseRequest;
using testing::RecorderReport;
using testing::SearchAnswer;
using testing::TestModule;

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    return names;
}

class WebLookupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.IsValid());
        fake.Attach(module);
        ASSERT_EQ(host.LoadSaori(), 0);
    }
    void TearDown() override { host.UnloadSaori(); }

    std::vector<std::string> RequestArg0s() const {
        std::vector<std::string> out;
        for (const auto& r : module.Requests()) {
            out.push_back(ParseRequest(r).arg[0]);
        }
        return out;
    }

    TestModule module;
    FakeServices fake;
    WorkFolder work{std::filesystem::temp_directory_path().string()};
    SaoriHost host{NORVO_TEST_MODULE_PATH, work.Path()};
    RecorderReport report;
    LookupContext ctx{host, report, fake.searchBase, fake.detectBase, work.Path()};
};

// ---- face detection ----

struct DetectionCase {
    const char* rule;
    std::string xml;
    FaceBox box;
    FaceBoxList list;
};

TEST_F(WebLookupTest, LocateFacesListsEveryBoundsAndPicksTheLastPositiveOne) {
    const int kMax = std::numeric_limits<int32_t>::max();
    const DetectionCase cases[] = {
        {"last positive box wins, not the largest",
         DetectionXml({{1, 2, 10, 10}, {5, 5, 20, 20}}),
         {5, 5, 25, 25},
         {{1, 2, 11, 12}, {}, {5, 5, 25, 25}, {}}},
        {"order reversed: the small box is last",
         DetectionXml({{5, 5, 20, 20}, {1, 2, 10, 10}}),
         {1, 2, 11, 12},
         {{5, 5, 25, 25}, {}, {1, 2, 11, 12}, {}}},
        {"missing height is listed but never chosen",
         "<r><bounds x='3' y='4' width='9'/></r>",
         {},
         {{3, 4, 12, 4}, {}}},
        {"negative width and height have a positive product",
         DetectionXml({{50, 60, -10, -20}}),
         {50, 60, 40, 40},
         {{50, 60, 40, 40}, {}}},
        {"names are matched after lower-casing",
         "<R><BOUNDS X='5' Y='6' WIDTH='7' HEIGHT='8'/></R>",
         {5, 6, 12, 14},
         {{5, 6, 12, 14}, {}}},
        {"no bounds at all reads as no face", "<faces></faces>", {}, {}},
        {"double-quoted values read as 0",
         "<r><bounds x=\"5\" y='1' width='2' height='3'/></r>",
         {0, 1, 2, 4},
         {{0, 1, 2, 4}, {}}},
        {"a box whose 32-bit product wraps to 0 is still a face",
         DetectionXml({{0, 0, 65536, 65536}}),
         {0, 0, 65536, 65536},
         {{0, 0, 65536, 65536}, {}}},
        {"a box whose 32-bit product would turn negative is still a face",
         DetectionXml({{0, 0, 50000, 50000}}),
         {0, 0, 50000, 50000},
         {{0, 0, 50000, 50000}, {}}},
        {"out-of-range numbers saturate and right wraps without undefined behaviour",
         "<r><bounds x='99999999999' y='0' width='1' height='1'/></r>",
         {},
         {{kMax, 0, std::numeric_limits<int32_t>::min(), 1}, {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        fake.detections["http://pics/a.jpg"] = c.xml;
        const std::optional<DetectedFaces> faces = LocateFaces(ctx, "http://pics/a.jpg");
        ASSERT_TRUE(faces);
        EXPECT_EQ(faces->box, c.box);
        EXPECT_EQ(faces->list, c.list);
        EXPECT_TRUE(FolderEntries(work.Path()).empty());
    }
    EXPECT_TRUE(report.calls.empty());
}

TEST_F(WebLookupTest, LocateFacesSendsTheAddressUnchangedAndNamesTheAnswerFile) {
    const std::string url = "http://pics/a b.jpg?x=1&y=2";
    fake.detections[url] = DetectionXml({});
    ASSERT_TRUE(LocateFaces(ctx, url));
    ASSERT_EQ(module.Requests().size(), 1u);
    const auto args = ParseRequest(module.Requests()[0]);
    EXPECT_EQ(args.count, 2);
    EXPECT_EQ(args.arg[0], "http://detect.test/api/detect?m=1&f=2&url=" + url);
    EXPECT_EQ(args.arg[1], "tmpfile.xml");
    std::string folderText;  // the work folder as the module is handed it
    ASSERT_TRUE(platform::ModuleDirectoryText(work.Path(), folderText));
    EXPECT_EQ(module.Loads().at(0), folderText);
}

TEST_F(WebLookupTest, LocateFacesFailureDeletesTheAnswerFile) {
    // A failed request is reported and removes even a stale answer file.
    FakeServices::Write(work.Path() + "tmpfile.xml", DetectionXml({{0, 0, 5, 5}}));
    EXPECT_FALSE(LocateFaces(ctx, "http://pics/none.jpg"));
    EXPECT_EQ(report.calls, std::vector<std::string>{"request failed"});
    EXPECT_TRUE(FolderEntries(work.Path()).empty());

    // An answer the reader refuses fails without a report.
    report.calls.clear();
    fake.detections["http://pics/bad.jpg"] = "<faces><bounds x='1'";
    EXPECT_FALSE(LocateFaces(ctx, "http://pics/bad.jpg"));
    EXPECT_TRUE(report.calls.empty());
    EXPECT_TRUE(FolderEntries(work.Path()).empty());
}

TEST(FaceAreaTest, ComputesSignedAreasWithoutOverflow) {
    const int32_t kMin = std::numeric_limits<int32_t>::min();
    const int32_t kMax = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(FaceArea({}), 0);
    EXPECT_EQ(FaceArea({1, 2, 11, 22}), 200);
    EXPECT_EQ(FaceArea({10, 10, 0, 0}), 100);
    EXPECT_EQ(FaceArea({0, 0, -5, 5}), -25);
    EXPECT_EQ(FaceArea({0, 0, 65536, 65536}), int64_t{1} << 32);
    EXPECT_EQ(FaceArea({kMin, 0, kMax, 1}), (int64_t{1} << 32) - 1);
    // The full range squared is beyond 64 bits: it saturates but keeps its sign.
    EXPECT_EQ(FaceArea({kMin, kMin, kMax, kMax}), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(FaceArea({kMin, kMax, kMax, kMin}), -std::numeric_limits<int64_t>::max());
}

// ---- image search ----

constexpr char kAbcQuery[] = "http://search.test/ajax/services/search/images?q=%61%62%63&v=1.0";

TEST_F(WebLookupTest, SearchPictureSendsTheQueryWithMarkers) {
    fake.searches[kAbcQuery] = SearchAnswer({"http://p/1.jpg"});
    fake.detections["http://p/1.jpg"] = DetectionXml({{0, 0, 4, 4}});
    const std::optional<SearchOutcome> found = SearchPicture(ctx, "abc");
    ASSERT_TRUE(found);
    const auto args = ParseRequest(module.Requests().at(0));
    EXPECT_EQ(args.count, 3);
    EXPECT_EQ(args.arg[0], kAbcQuery);
    EXPECT_EQ(args.arg[1], "\"url\":\"");
    EXPECT_EQ(args.arg[2], "\",\"");
    // The three missing candidates are still sent to the detection, as empty addresses.
    EXPECT_EQ(RequestArg0s(), (std::vector<std::string>{
                                  kAbcQuery, fake.detectBase + kDetectQuery + "http://p/1.jpg",
                                  fake.detectBase + kDetectQuery, fake.detectBase + kDetectQuery,
                                  fake.detectBase + kDetectQuery}));
    EXPECT_EQ(found->Chosen().address, "http://p/1.jpg");
}

TEST_F(WebLookupTest, SearchPictureEncodesNamesAsUtf8) {
    const std::string prefix = "http://search.test/ajax/services/search/images?q=";
    const struct {
        const char* name;
        std::string encoded;
    } cases[] = {
        {"", ""},
        {"a-b c", "%61%2D%62%20%63"},
    // Typed names arrive in the system's character set: UTF-8 here, the ANSI code page on
    // Windows (whose own conversions the encoding tests check).
#ifndef _WIN32
        {"\xE3\x81\x82", "%E3%81%82"},
        {"\xF0\xA0\xAE\xB7", "%F0%A0%AE%B7"},
#endif
    };
    for (const auto& c : cases) {
        const std::optional<std::string> address = BuildSearchAddress(fake.searchBase, c.name);
        ASSERT_TRUE(address);
        EXPECT_EQ(*address, prefix + c.encoded + "&v=1.0") << c.name;
    }
}

struct ChoiceCase {
    const char* rule;
    std::vector<std::optional<std::vector<std::vector<int>>>> detections;  // nullopt: fails
    std::string chosen;
    FaceBox box;
    FaceBoxList list;
    std::vector<std::string> withFace;
};

TEST_F(WebLookupTest, SearchPictureKeepsTheLargestFaceWithEarlierCandidatesWinningTies) {
    const std::vector<std::string> urls = {"http://p/r.jpg", "http://p/v0.jpg", "http://p/v1.jpg",
                                           "http://p/v2.jpg"};
    const ChoiceCase cases[] = {
        {"largest area wins",
         {{{{0, 0, 2, 2}}}, {{{0, 0, 5, 5}}}, {{{0, 0, 3, 3}}}, std::nullopt},
         urls[1],
         {0, 0, 5, 5},
         {{0, 0, 5, 5}, {}},
         {urls[0], urls[1], urls[2]}},
        {"equal areas keep the earlier candidate",
         {{{{1, 1, 4, 4}}}, {{{0, 0, 4, 4}, {9, 9, 2, 8}}}, {{{0, 0, 8, 2}}}, {{{0, 0, 4, 4}}}},
         urls[0],
         {1, 1, 5, 5},
         {{1, 1, 5, 5}, {}},
         urls},
        {"a later winner brings its whole list",
         {std::nullopt, {{{0, 0, 1, 1}}}, {{{0, 0, 0, 0}}}, {{{3, 3, 0, 9}, {0, 0, 6, 6}}}},
         urls[3],
         {0, 0, 6, 6},
         {{3, 3, 3, 12}, {}, {0, 0, 6, 6}, {}},
         {urls[1], urls[3]}},
        {"areas beyond 32 bits still compare correctly",
         {{{{0, 0, 40000, 40000}}}, {{{0, 0, 65536, 65536}}}, std::nullopt, std::nullopt},
         urls[1],
         {0, 0, 65536, 65536},
         {{0, 0, 65536, 65536}, {}},
         {urls[0], urls[1]}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        fake.detections.clear();
        fake.searches[kAbcQuery] = SearchAnswer(urls);
        for (size_t i = 0; i < 4; ++i) {
            if (c.detections[i]) {
                fake.detections[urls[i]] = DetectionXml(*c.detections[i]);
            }
        }
        const std::optional<SearchOutcome> found = SearchPicture(ctx, "abc");
        ASSERT_TRUE(found);
        EXPECT_EQ(found->Chosen().address, c.chosen);
        EXPECT_EQ(found->Chosen().box, c.box);
        EXPECT_EQ(found->Chosen().list, c.list);
        // Every candidate with a face is kept for the user to choose from, in answer order.
        std::vector<std::string> kept;
        for (const FoundPicture& picture : found->pictures) {
            kept.push_back(picture.address);
        }
        EXPECT_EQ(kept, c.withFace);
    }
}

TEST_F(WebLookupTest, SearchPictureReportsTheAnswerAndEachCandidateWhateverTheDetectionsGive) {
    fake.searches[kAbcQuery] = SearchAnswer({"http://p/1.jpg", "http://p/2.jpg"});
    fake.detections["http://p/1.jpg"] = DetectionXml({{0, 0, 4, 4}});
    ASSERT_TRUE(SearchPicture(ctx, "abc"));
    // Each failed detection (candidates 1, 2 and 3 have no answer) is reported before its step.
    EXPECT_EQ(report.calls, (std::vector<std::string>{
                                "answered", "candidate 0", "request failed", "candidate 1",
                                "request failed", "candidate 2", "request failed", "candidate 3"}));
    EXPECT_TRUE(FolderEntries(work.Path()).empty());
}

TEST_F(WebLookupTest, SearchPictureFailuresHideAndExplain) {
    const std::string bad = "failed " + SearchMessageText(kRequestAnswerBadText);
    const struct {
        const char* rule;
        std::optional<std::string> searchAnswer;  // nullopt: no answer block at all
        bool detectionsRead;                      // true: answers read, but no face
        std::vector<std::string> calls;
    } cases[] = {
        {"no answer block", std::nullopt, false, {bad}},
        {"status line too short", "SAORI/1.0 200\r\n\r\n", false, {bad}},
        {"status not 200",
         "SAORI/1.0 500 Error\r\n\r\n",
         false,
         {"failed " + SearchMessageText(kRequestNotEndedText)}},
        {"every detection fails",
         SearchAnswer({"http://p/1.jpg"}),
         false,
         {"answered", "request failed", "candidate 0", "request failed", "candidate 1",
          "request failed", "candidate 2", "request failed", "candidate 3",
          "failed " + NoDetectionText("abc")}},
        {"detections read but no face",
         SearchAnswer({"http://p/1.jpg"}),
         true,
         {"answered", "candidate 0", "candidate 1", "candidate 2", "candidate 3",
          "failed " + NoFaceText("abc")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        report.calls.clear();
        fake.detections.clear();
        if (c.detectionsRead) {
            const std::string noFace = DetectionXml({{0, 0, 0, 9}});
            for (const char* u : {"http://p/1.jpg", "", "", ""}) {
                fake.detections[u] = noFace;
            }
        }
        if (c.searchAnswer) {
            fake.searches[kAbcQuery] = *c.searchAnswer;
        } else {
            module.PushNullAnswer();
        }
        EXPECT_FALSE(SearchPicture(ctx, "abc"));
        EXPECT_EQ(report.calls, c.calls);
        EXPECT_TRUE(FolderEntries(work.Path()).empty());
    }
}

TEST(SaoriRequestFailureTextTest, NamesEachResult) {
    EXPECT_STREQ(SaoriRequestFailureText(0), "");
    EXPECT_STREQ(SaoriRequestFailureText(1), kRequestFailedText);
    EXPECT_STREQ(SaoriRequestFailureText(2), kRequestAnswerBadText);
    EXPECT_STREQ(SaoriRequestFailureText(3), kRequestAnswerBadText);
    EXPECT_STREQ(SaoriRequestFailureText(4), kRequestNotEndedText);
    EXPECT_STREQ(SaoriRequestFailureText(5), "");
}

// ---- download ----

TEST(PictureFileNameTest, TakesTheLastNonEmptyPiece) {
    const struct {
        const char* address;
        const char* name;
    } cases[] = {
        {"http://h/a/b/photo.jpg", "photo.jpg"},
        {"http://h/a/b/", "b"},
        {"http://h/img.php?id=3", "img.php?id=3"},
        {"photo.jpg", "photo.jpg"},
        {"", ""},
        {"///", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PictureFileName(c.address), c.name) << c.address;
    }
}

TEST_F(WebLookupTest, DownloadPictureStoresInTheWorkFolder) {
    fake.downloads["http://h/a/b/photo.jpg"] = "picture bytes";
    const std::optional<std::string> path = DownloadPicture(ctx, "http://h/a/b/photo.jpg");
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, work.Path() + "photo.jpg");
    const auto args = ParseRequest(module.Requests().at(0));
    EXPECT_EQ(args.count, 2);
    EXPECT_EQ(args.arg[0], "http://h/a/b/photo.jpg");
    EXPECT_EQ(args.arg[1], "photo.jpg");
    std::ifstream in(*path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "picture bytes");
    EXPECT_TRUE(report.calls.empty());
}

TEST_F(WebLookupTest, DownloadPictureFailureLeavesNoFile) {
    // The failed transfer wrote part of a file; an older file of that name goes too.
    FakeServices::Write(work.Path() + "gone.jpg", "older file");
    EXPECT_FALSE(DownloadPicture(ctx, "http://h/gone.jpg"));
    EXPECT_TRUE(FolderEntries(work.Path()).empty());
    EXPECT_TRUE(report.calls.empty());
}

TEST_F(WebLookupTest, DownloadPictureRefusesAddressesWithoutAUsableName) {
    for (const char* address : {"", "///", "http://h/..", "http://h/a/./"}) {
        EXPECT_FALSE(DownloadPicture(ctx, address)) << address;
    }
    EXPECT_TRUE(module.Requests().empty());
    EXPECT_TRUE(std::filesystem::is_directory(work.Path()));
}

TEST_F(WebLookupTest, DeleteRunFileNeverRemovesFolders) {
    std::filesystem::create_directory(work.Path() + "sub");
    DeleteRunFile(work.Path() + "sub");
    DeleteRunFile(work.Path() + "missing");
    EXPECT_TRUE(std::filesystem::is_directory(work.Path() + "sub"));
}

// ---- credits of the source pictures ----

// The answer read into `credit`; false when it is no credit answer.
bool ParseInto(const std::string& json, PictureCredit& credit) {
    const std::optional<PictureCredit> parsed = ParsePictureCredit(json);
    if (parsed) {
        credit = *parsed;
    }
    return parsed.has_value();
}

TEST(PictureCreditTest, ReadsTheAnswerAndToleratesOddFields) {
    PictureCredit credit;
    ASSERT_TRUE(ParseInto(
        R"({"provider":"wikimedia","file":"A b.jpg","page":"https://p/A","original":"https://o/A",
            "author":"Ann","license":"CC BY-SA 4.0","licenseUrl":"https://l/by-sa",
            "attributionRequired":true,"extra":[1,2]})",
        credit));
    EXPECT_EQ(credit.provider, "wikimedia");
    EXPECT_EQ(credit.file, "A b.jpg");
    EXPECT_EQ(credit.page, "https://p/A");
    EXPECT_EQ(credit.original, "https://o/A");
    EXPECT_EQ(credit.author, "Ann");
    EXPECT_EQ(credit.license, "CC BY-SA 4.0");
    EXPECT_EQ(credit.licenseUrl, "https://l/by-sa");
    EXPECT_TRUE(credit.attributionRequired);

    // Fields of another type read as unknown; an earlier value does not survive.
    ASSERT_TRUE(ParseInto(
        R"({"author":42,"license":null,"file":["x"],"attributionRequired":"yes"})", credit));
    EXPECT_EQ(credit.author, "");
    EXPECT_EQ(credit.license, "");
    EXPECT_EQ(credit.file, "");
    EXPECT_FALSE(credit.attributionRequired);

    // A long text is cut at a character boundary: 3-byte characters, never half of one.
    std::string long_author;
    for (size_t i = 0; i < kMaxCreditFieldBytes; ++i) {
        long_author += "\u3042";
    }
    ASSERT_TRUE(ParseInto(R"({"author":")" + long_author + R"("})", credit));
    EXPECT_LE(credit.author.size(), kMaxCreditFieldBytes);
    EXPECT_EQ(credit.author.size() % 3, 0u);

    for (const char* bad :
         {"", "[]", "\"text\"", "{\"author\":", "<html>404</html>", "{\"author\":\"\xff\"}"}) {
        EXPECT_FALSE(ParseInto(bad, credit)) << bad;
    }
}

TEST_F(WebLookupTest, LookupPictureCreditAsksTheDetectionServiceOrFallsBackToTheFileName) {
    const std::string address = "http://search.test/pictures/Grace%20Hopper/g.jpg?x=1&y=2";
    const std::string question =
        fake.detectBase + "/api/source?url=" + PercentEncode(address.c_str());
    fake.sources[question] =
        R"({"provider":"gallery","file":"Grace Hopper/g.jpg","author":"Navy"})";
    PictureCredit credit = LookupPictureCredit(ctx, address);
    EXPECT_EQ(RequestArg0s(), std::vector<std::string>{question});
    EXPECT_EQ(ParseRequest(module.Requests()[0]).arg[1], kSourceAnswerFile);
    EXPECT_EQ(credit.file, "Grace Hopper/g.jpg");
    EXPECT_EQ(credit.author, "Navy");
    EXPECT_TRUE(FolderEntries(work.Path()).empty());

    // Told nothing useful: the address's own file name, and no file left behind.
    for (const char* answer : {"", "not json", "{\"provider\":\"gallery\"}"}) {
        SCOPED_TRACE(answer);
        fake.sources[question] = answer;
        credit = LookupPictureCredit(ctx, address);
        EXPECT_EQ(credit.file, "g.jpg?x=1&y=2");
        EXPECT_EQ(credit.author, "");
        EXPECT_TRUE(FolderEntries(work.Path()).empty());
    }
    fake.sources[question] = "{\"author\":\"" + std::string(kMaxSourceAnswerBytes, 'a') + "\"}";
    EXPECT_EQ(LookupPictureCredit(ctx, address).author, "") << "an oversized answer is not read";
    fake.sources.clear();
    EXPECT_EQ(LookupPictureCredit(ctx, address).file, "g.jpg?x=1&y=2") << "a service without it";
    EXPECT_TRUE(FolderEntries(work.Path()).empty());
    EXPECT_TRUE(report.calls.empty());
}

}  // namespace
}  // namespace norvo
