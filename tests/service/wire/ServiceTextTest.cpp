#include "services/gallery/wire/ServiceText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace norvo {
namespace {

// What the program's HTTP module does with the search answer: every text between the start
// marker and the next end marker, in order.
std::vector<std::string> CutBetweenMarkers(const std::string& body) {
    const std::string start = "\"url\":\"";
    const std::string end = "\",\"";
    std::vector<std::string> found;
    std::size_t pos = 0;
    while ((pos = body.find(start, pos)) != std::string::npos) {
        pos += start.size();
        const std::size_t stop = body.find(end, pos);
        if (stop == std::string::npos)
            break;
        found.push_back(body.substr(pos, stop - pos));
        pos = stop + end.size();
    }
    return found;
}

TEST(PathSegmentEncoding, KeepsOnlyUnreservedBytes) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"grace_hopper.jpg", "grace_hopper.jpg"},
        {"Grace Hopper", "Grace%20Hopper"},
        {"a/b?c#d&e=f%g", "a%2Fb%3Fc%23d%26e%3Df%25g"},
        {"\"url\":\"x\",\"", "%22url%22%3A%22x%22%2C%22"},
        {"back\\slash'quote", "back%5Cslash%27quote"},
        {"山田", "%E5%B1%B1%E7%94%B0"},
        {"~-._", "~-._"},
    };
    for (const Case& c : cases) EXPECT_EQ(ServiceText::EncodePathSegment(c.in), c.out) << c.in;
}

TEST(PercentDecoding, DecodesStrictlyAndRefusesBrokenEscapes) {
    EXPECT_EQ(ServiceText::PercentDecode("%61%62%63", true), "abc");
    EXPECT_EQ(ServiceText::PercentDecode("%E5%B1%b1", true), "\xE5\xB1\xB1");
    EXPECT_EQ(ServiceText::PercentDecode("a+b", true), "a b");
    EXPECT_EQ(ServiceText::PercentDecode("a+b", false), "a+b");
    EXPECT_EQ(ServiceText::PercentDecode("", true), "");
    for (const char* bad : {"%", "%4", "a%4", "%zz", "%4g", "%%41", "abc%"}) {
        EXPECT_EQ(ServiceText::PercentDecode(bad, true), std::nullopt) << bad;
    }
}

TEST(QueryParameters, FindWholeParameterNamesOnly) {
    EXPECT_EQ(ServiceText::QueryValue("/s?q=%61&v=1.0", "q"), "%61");
    EXPECT_EQ(ServiceText::QueryValue("/s?v=1.0&q=", "q"), "");
    EXPECT_EQ(ServiceText::QueryValue("/s?qq=1&q=2", "q"), "2");
    EXPECT_EQ(ServiceText::QueryValue("/s?v=1.0", "q"), std::nullopt);
    EXPECT_EQ(ServiceText::QueryValue("/s", "q"), std::nullopt);
    EXPECT_EQ(ServiceText::QueryValue("/q=1", "q"), std::nullopt);
}

TEST(QueryParameters, TrailingUrlKeepsAmpersandsQuestionMarksAndEquals) {
    EXPECT_EQ(ServiceText::TrailingUrl("/api/detect?m=1&f=2&url=http://h/p?a=1&b=2&url=3"),
              "http://h/p?a=1&b=2&url=3");
    EXPECT_EQ(ServiceText::TrailingUrl("/api/detect?url=x y%zz"), "x y%zz");
    EXPECT_EQ(ServiceText::TrailingUrl("/api/detect?m=1&f=2&url="), "");
    EXPECT_EQ(ServiceText::TrailingUrl("/api/detect?m=1&myurl=x"), std::nullopt);
    EXPECT_EQ(ServiceText::TrailingUrl("/api/detect?m=1&f=2"), std::nullopt);
}

TEST(SearchAnswer, MarkerCutGivesEveryAddressByteForByte) {
    const std::vector<SearchResult> results = {
        {"http://127.0.0.1:1/pictures/Grace%20Hopper/a.jpg", 512, 600, "a.jpg"},
        {"http://127.0.0.1:1/pictures/%E5%B1%B1/b.png", 1, 2, "\"url\":\"evil\",\""},
        {"http://127.0.0.1:1/pictures/x/c.png", 3, 4, "tab\tback\\slash\x01"},
    };
    const std::string json = ServiceText::SearchJson(results);
    const std::vector<std::string> cut = CutBetweenMarkers(json);
    ASSERT_EQ(cut.size(), results.size()) << json;
    for (std::size_t i = 0; i < cut.size(); ++i) EXPECT_EQ(cut[i], results[i].url);
    EXPECT_EQ(json.find("\\/"), std::string::npos);
    EXPECT_EQ(json.find('\t'), std::string::npos);
    EXPECT_EQ(json.find('\x01'), std::string::npos);
}

TEST(SearchAnswer, ExactShape) {
    EXPECT_EQ(ServiceText::SearchJson({}),
              R"({"responseData":{"results":[]},"responseDetails":null,"responseStatus":200})");
    EXPECT_EQ(ServiceText::SearchJson({{"http://h:1/pictures/a/b.jpg", 10, 20, "b.jpg"}}),
              R"({"responseData":{"results":[{"url":"http://h:1/pictures/a/b.jpg","width":"10",)"
              R"("height":"20","title":"b.jpg"}]},"responseDetails":null,"responseStatus":200})");
}

TEST(DetectionAnswer, OneBoundsPerFaceInSingleQuotes) {
    EXPECT_EQ(ServiceText::FacesXml({}), "<?xml version='1.0'?><faces></faces>");
    EXPECT_EQ(ServiceText::FacesXml({{179, 83, 88, 88}, {1, 2, 3, 4}}),
              "<?xml version='1.0'?><faces>"
              "<face><bounds x='179' y='83' width='88' height='88'/></face>"
              "<face><bounds x='1' y='2' width='3' height='4'/></face></faces>");
}

}  // namespace
}  // namespace norvo
