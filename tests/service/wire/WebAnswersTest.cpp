// Readers of the web sources' answers, the author-field text and the query rules: no network, no
// Qt.
#include <gtest/gtest.h>

#include "services/gallery/wire/Provenance.h"
#include "services/gallery/wire/WebAnswers.h"
#include "services/gallery/wire/WikimediaQueries.h"

namespace norvo {
namespace {

TEST(PlainText, StripsTagsDecodesReferencesAndStaysBounded) {
    const struct {
        const char* html;
        const char* text;
    } cases[] = {
        {R"(<a href="//commons.wikimedia.org/wiki/User:Foo">Foo &amp; Bar</a>)", "Foo & Bar"},
        {R"(<span title="a>b">Jane</span>  <i>Doe</i>)", "Jane Doe"},
        {"Line<br/>two&nbsp;&nbsp;three", "Line two three"},
        {"&#26481;&#x4EAC; &#0; &#xD800; &#x110000; &unknown; &amp",
         "\xE6\x9D\xB1\xE4\xBA\xAC \xEF\xBF\xBD \xEF\xBF\xBD \xEF\xBF\xBD &unknown; &amp"},
        {"<script>alert(1)</script>Visible<style>p{}</style>", "Visible"},
        {"a < b and 3<4", "a < b and 3<4"},
        {"x<a href='never closed", "x"},
        {"tab\tand\x01"
         "control\x7F",
         "tab andcontrol"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(PlainText(c.html), c.text) << c.html;
    // Cut to the cap on a character boundary (3-byte characters around the cut).
    std::string many;
    for (int i = 0; i < 400; ++i) many += "\xE6\x9D\xB1";
    const std::string cut = PlainText(many);
    EXPECT_LE(cut.size(), kMaxPlainTextBytes);
    EXPECT_EQ(cut.size() % 3, 0u);
}

TEST(WikipediaAnswer, ReadsBothFormatVersionsRanksSearchesAndFlags) {
    const char* v2 = R"({"batchcomplete":true,"query":{
        "normalized":[{"fromencoded":false,"from":"ada example","to":"Ada example"}],
        "redirects":[{"from":"Ada example","to":"Ada Example"}],
        "pages":[{"pageid":3,"ns":0,"title":"Later","index":2},
                 {"ns":0,"title":"Gone","missing":true},
                 {"title":"Bad|","invalidreason":"x","invalid":true},
                 {"pageid":4,"ns":0,"title":"Ada Example","index":1,"fullurl":"https://w/Ada",
                  "thumbnail":{"source":"https://u/500px-A.jpg"},"pageimage":"Ada_2019.jpg",
                  "pageprops":{"wikibase_item":"Q9","disambiguation":""}}]}})";
    const char* v1 = R"({"query":{"pages":{"3":{"pageid":3,"ns":0,"title":"Later","index":2},
        "-1":{"ns":0,"title":"Gone","missing":""},"-2":{"title":"Bad|","invalid":""},
        "4":{"pageid":4,"ns":0,"title":"Ada Example","index":1,"fullurl":"https://w/Ada",
             "thumbnail":{"source":"https://u/500px-A.jpg"},"pageimage":"Ada_2019.jpg",
             "pageprops":{"wikibase_item":"Q9","disambiguation":""}}}}})";
    for (const char* json : {v2, v1}) {
        const WikiAnswer a = ReadWikipediaAnswer(json);
        ASSERT_TRUE(a.ok);
        ASSERT_EQ(a.pages.size(), 4u);
        EXPECT_EQ(a.pages[0].title, "Ada Example");  // index 1 first, unranked pages last
        EXPECT_EQ(a.pages[0].pageImage, "Ada_2019.jpg");
        EXPECT_EQ(a.pages[0].wikibaseItem, "Q9");
        EXPECT_TRUE(a.pages[0].disambiguation);
        EXPECT_EQ(a.pages[1].title, "Later");
        const auto flagged = [&](const char* title, bool WikiPage::*flag) {
            for (const WikiPage& p : a.pages)
                if (p.title == title)
                    return p.*flag;
            return false;
        };
        EXPECT_TRUE(flagged("Gone", &WikiPage::missing));
        EXPECT_TRUE(flagged("Bad|", &WikiPage::invalid));
        EXPECT_FALSE(flagged("Later", &WikiPage::missing));
    }
    EXPECT_EQ(FinalTitle(ReadWikipediaAnswer(v2), "ada example"), "Ada Example");
    EXPECT_EQ(ReadWikipediaAnswer(R"({"batchcomplete":true})").pages.size(), 0u);
    EXPECT_EQ(ReadWikipediaAnswer(R"({"error":{"code":"badvalue"}})").errorCode, "badvalue");
    for (const char* junk : {"", "<html>429</html>", "[1,2]", "{\"query\":{\"pages\":7}}"})
        EXPECT_TRUE(ReadWikipediaAnswer(junk).pages.empty()) << junk;
}

TEST(CommonsAnswer, ReadsLicencesAuthorsAndWhatMakesAFileUnusable) {
    const CommonsAnswer a = ReadCommonsAnswer(R"({"query":{"pages":[
        {"ns":6,"title":"File:A.jpg","imageinfo":[{"size":9,"width":3000,"url":"https://u/A.jpg",
          "thumburl":"https://u/thumb/A.jpg/960px-A.jpg","thumbwidth":960,"mime":"image/jpeg",
          "descriptionurl":"https://c/File:A.jpg","extmetadata":{
            "LicenseShortName":{"value":"CC BY 4.0"},"LicenseUrl":{"value":"https://cc/by"},
            "AttributionRequired":{"value":"true"},"Artist":{"value":""},
            "Attribution":{"value":"<b>Jo</b>"},"Credit":{"value":"Own work"}}}]},
        {"ns":6,"title":"File:B.jpg","imageinfo":[{"mime":"image/jpeg","thumberror":"x",
          "thumburl":"https://u/b","extmetadata":{"NonFree":{"value":"true"}}}]},
        {"ns":6,"title":"File:C.jpg","imageinfo":[{"extmetadata":{"Restrictions":{"value":"trademarked"}}}]},
        {"ns":6,"title":"File:D.jpg","missing":true},
        {"ns":6,"title":"File:E.jpg","imageinfo":[{"extmetadata":{"Restrictions":{"value":""},
          "Credit":{"value":42}}}]}]}})");
    ASSERT_TRUE(a.ok);
    ASSERT_EQ(a.files.size(), 5u);
    const CommonsFile& f = a.files[0];
    EXPECT_EQ(f.thumbUrl, "https://u/thumb/A.jpg/960px-A.jpg");
    EXPECT_EQ(f.license, "CC BY 4.0");
    EXPECT_EQ(f.author, "Jo");  // Artist empty: Attribution before Credit
    EXPECT_TRUE(f.attributionRequired);
    EXPECT_FALSE(f.restricted);
    EXPECT_TRUE(a.files[1].restricted);
    EXPECT_TRUE(a.files[1].thumbUrl.empty());
    EXPECT_TRUE(a.files[2].restricted);
    EXPECT_TRUE(a.files[3].missing);
    EXPECT_FALSE(a.files[4].restricted);
    EXPECT_EQ(a.files[4].author, "42");
    EXPECT_TRUE(IsWantedCommonsMime("image/webp"));
    EXPECT_FALSE(IsWantedCommonsMime("image/svg+xml"));
    EXPECT_FALSE(IsWantedCommonsMime("image/tiff"));
}

TEST(WikidataClaims, PreferredImagesFirstAndNoDeprecatedOrValuelessOnes) {
    const char* json = R"({"entities":{"Q9":{"claims":{
        "P31":[{"mainsnak":{"datavalue":{"value":{"id":"Q5"}}},"rank":"normal"}],
        "P18":[{"mainsnak":{"datavalue":{"value":"Old.jpg"}},"rank":"deprecated"},
               {"mainsnak":{"datavalue":{"value":"Normal.jpg"}},"rank":"normal"},
               {"mainsnak":{"snaktype":"somevalue"},"rank":"preferred"},
               {"mainsnak":{"datavalue":{"value":"Best.jpg"}},"rank":"preferred"}],
        "P373":[{"mainsnak":{"datavalue":{"value":"Jane"}},"rank":"normal"}]}},
        "Q8":{"claims":{"P31":[{"mainsnak":{"datavalue":{"value":{"id":"Q634"}}}}]}}}})";
    const PersonClaims person = ReadWikidataClaims(json, "Q9");
    ASSERT_TRUE(person.ok);
    EXPECT_EQ(person.images, (std::vector<std::string>{"Best.jpg", "Normal.jpg"}));
    EXPECT_EQ(person.category, "Jane");
    EXPECT_TRUE(person.human);
    const PersonClaims planet = ReadWikidataClaims(json, "Q8");
    EXPECT_TRUE(planet.typed);
    EXPECT_FALSE(planet.human);
    EXPECT_FALSE(ReadWikidataClaims(json, "Q7").ok);
}

TEST(SearxngAnswer, TakesImagesWithAnyAddressAndNothingElse) {
    const SearxAnswer a = ReadSearxngAnswer(R"({"query":"x","results":[
        {"url":"https://p/1","title":"<b>One</b>","img_src":"https://i/1.jpg","img_format":null},
        {"url":"https://p/2","title":"Two","thumbnail_src":"https://t/2.jpg"},
        {"url":"https://p/3","title":"Three"}, 5],"unresponsive_engines":[["g","timeout"]]})");
    ASSERT_TRUE(a.ok);
    ASSERT_EQ(a.results.size(), 2u);
    EXPECT_EQ(a.results[0].title, "One");
    EXPECT_EQ(a.results[1].thumbnailSrc, "https://t/2.jpg");
    EXPECT_FALSE(ReadSearxngAnswer(R"({"error":"No query"})").ok);
    EXPECT_FALSE(ReadSearxngAnswer("Too Many Requests").ok);
}

TEST(WikimediaQueries, TitlesLanguagesAndThumbnailWidths) {
    using namespace wikimedia;
    EXPECT_EQ(TitleOf("  Ada \xE3\x80\x80 Example "), "Ada Example");
    for (const char* bad : {"a|b", "a#b", "a<b", "a[b", "a{b", "a\nb", "\xFF"})
        EXPECT_EQ(TitleOf(bad), "") << bad;
    EXPECT_EQ(TitleVariants("\xE5\xB1\xB1\xE7\x94\xB0 \xE8\x8A\xB1\xE5\xAD\x90"),
              (std::vector<std::string>{"\xE5\xB1\xB1\xE7\x94\xB0\xE8\x8A\xB1\xE5\xAD\x90",
                                        "\xE5\xB1\xB1\xE7\x94\xB0 \xE8\x8A\xB1\xE5\xAD\x90"}));
    EXPECT_EQ(TitleVariants("Ada Example"), std::vector<std::string>{"Ada Example"});

    const struct {
        const char* name;
        const char* locale;
        std::vector<std::string> wikis;
    } cases[] = {
        {"\xE3\x82\xA2\xE3\x83\x80", "en", {"ja"}},  // katakana
        {"\xEA\xB9\x80", "ja", {"ko"}},              // hangul
        {"\xE5\xB1\xB1\xE7\x94\xB0", "zh", {"zh"}},  // Han only
        {"\xE5\xB1\xB1\xE7\x94\xB0", "de", {"ja"}},
        {"Ada Example", "de", {"de", "en"}},
        {"Ada Example", "", {"en"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Languages(c.name, c.locale), c.wikis) << c.name;

    EXPECT_TRUE(IsStandardThumbnail("https://u/thumb/a/ab/A.jpg/960px-A.jpg"));
    EXPECT_TRUE(IsStandardThumbnail("https://u/a/ab/A.jpg"));
    EXPECT_FALSE(IsStandardThumbnail("https://u/thumb/a/ab/A.jpg/961px-A.jpg"));
    EXPECT_FALSE(IsStandardThumbnail("https://u/thumb/a/ab/A.jpg/800px-A.jpg"));
    EXPECT_EQ(FileKey("File:ada_example_2019.jpg"), "Ada example 2019.jpg");
    // The titles travel as one value: '|' separates them, everything else is encoded.
    const std::string q = WikipediaTitlesQuery({}, "ja", {"A B", "C&D"});
    EXPECT_EQ(q.rfind("https://ja.wikipedia.org/w/api.php?", 0), 0u);
    EXPECT_NE(q.find("&titles=A%20B%7CC%26D&"), std::string::npos) << q;
    EXPECT_NE(q.find("&formatversion=2"), std::string::npos);
    EXPECT_NE(q.find("&pilicense=free"), std::string::npos);
}

TEST(GalleryCredits, NamesPicturesAndTheirVariantsFromTheirTables) {
    const GalleryCredits credits = GalleryCredits::Parse(
        "# Pictures\n\n| picture | person | source package | path in the package | licence |\n"
        "|---|---|---|---|---|\n"
        "| `Grace Hopper/grace_hopper.jpg` | Grace Hopper | `pkg-data` 3.6 | `/usr/share/g.jpg` "
        "| public domain |\n\nText.\n\n| file | made with |\n|---|---|\n"
        "| `<name>_small.jpg` | `convert` |\n| other | table |\n");
    const Provenance original = credits.Of("Grace Hopper/grace_hopper.jpg");
    EXPECT_EQ(original.provider, "gallery");
    EXPECT_EQ(original.license, "public domain");
    EXPECT_EQ(original.original, "/usr/share/g.jpg (pkg-data 3.6)");
    const Provenance variant = credits.Of("Grace Hopper/grace_hopper_small.jpg");
    EXPECT_EQ(variant.file, "Grace Hopper/grace_hopper_small.jpg");
    EXPECT_EQ(variant.license, "public domain");
    const Provenance unknown = credits.Of("Someone/else.jpg");
    EXPECT_EQ(unknown.file, "Someone/else.jpg");
    EXPECT_EQ(unknown.license, "");
    EXPECT_EQ(ProvenanceJson(variant).rfind(R"({"provider":"gallery","file":"Grace Hopper/)", 0),
              0u);
    // Broken UTF-8 from the web is replaced, never a reason to fail.
    EXPECT_NE(ProvenanceJson({.author = "\xFF"}).find(R"("author":")"), std::string::npos);
}

TEST(CommonsAnswer, PersonalityRightsAloneLeaveAFileUsable) {
    const struct {
        const char* extmetadata;
        bool restricted;
        const char* restrictions;
    } cases[] = {
        {R"({"Restrictions":{"value":"personality"}})", false, "personality"},
        {R"({"Restrictions":{"value":" personality "}})", false, "personality"},
        {R"({"Restrictions":{"value":"personality|trademarked"}})", true, ""},
        {R"({"Restrictions":{"value":"insignia"}})", true, ""},
        {R"({"Restrictions":{"value":"personality"},"NonFree":{"value":"true"}})", true,
         "personality"},
        {R"({"Restrictions":{"value":"personality"},"DeletionReason":{"value":"copyvio"}})", true,
         "personality"},
        {R"({})", false, ""},
    };
    for (const auto& c : cases) {
        const CommonsAnswer a = ReadCommonsAnswer(
            std::string(R"({"query":{"pages":[{"title":"File:A.jpg",)") +
            R"("imageinfo":[{"mime":"image/jpeg","extmetadata":)" + c.extmetadata + "}]}]}}");
        ASSERT_EQ(a.files.size(), 1u) << c.extmetadata;
        EXPECT_EQ(a.files[0].restricted, c.restricted) << c.extmetadata;
        EXPECT_EQ(a.files[0].restrictions, c.restrictions) << c.extmetadata;
    }
}

TEST(CommonsAnswer, ReadsTheTitlesCommonsRenamed) {
    const CommonsAnswer a = ReadCommonsAnswer(R"({"query":{
        "normalized":[{"fromencoded":false,"from":"File:\u00e9lan.jpg","to":"File:\u00c9lan.jpg"}],
        "redirects":[{"from":"File:\u00c9lan.jpg","to":"File:Elan 2020.jpg"}],
        "pages":[{"ns":6,"title":"File:Elan 2020.jpg","imageinfo":[{"mime":"image/jpeg"}]}]}})");
    EXPECT_EQ(FinalTitle(a.renamed, "File:\xC3\xA9lan.jpg"), "File:Elan 2020.jpg");
    EXPECT_EQ(FinalTitle(a.renamed, "File:Other.jpg"), "File:Other.jpg");
}

TEST(WikidataClaims, NameAndDescriptionInTheLanguageAskedFor) {
    const char* json = R"({"entities":{"Q9":{"claims":{},
        "labels":{"en":{"language":"en","value":"Tim Example"},"ja":{"value":"\u30c6\u30a3\u30e0"}},
        "descriptions":{"en":{"value":"senator &amp; <i>author</i>"}}},
        "Q7":{"id":"Q7","missing":""}}})";
    const PersonClaims en = ReadWikidataClaims(json, "Q9", "en");
    EXPECT_EQ(en.label, "Tim Example");
    EXPECT_EQ(en.description, "senator & author");
    const PersonClaims ja = ReadWikidataClaims(json, "Q9", "ja");
    EXPECT_EQ(ja.label, "\xE3\x83\x86\xE3\x82\xA3\xE3\x83\xA0");
    EXPECT_EQ(ja.description, "");  // no other language stands in
    EXPECT_EQ(ReadWikidataClaims(json, "Q9").label, "");
    EXPECT_FALSE(ReadWikidataClaims(json, "Q7", "en").ok);  // an id Wikidata does not know
}

TEST(WikimediaQueries, NonStandardThumbnailsAreAskedForAtAStepTheOriginalHas) {
    using namespace wikimedia;
    const std::string base = "https://u/thumb/a/ab/P.jpg/";
    const struct {
        const char* rule;
        std::string address;
        int originalWidth;
        std::string expected;
    } cases[] = {
        {"a standard width stays", base + "500px-P.jpg", 3000, base + "500px-P.jpg"},
        {"an original stays", "https://u/a/ab/P.jpg", 0, "https://u/a/ab/P.jpg"},
        {"a portrait's width: the face width", base + "207px-P.jpg", 1035, base + "960px-P.jpg"},
        {"never as wide as the original", base + "207px-P.jpg", 960, base + "500px-P.jpg"},
        {"a small original", base + "207px-P.jpg", 300, base + "250px-P.jpg"},
        {"original unknown: no wider than the thumbnail", base + "207px-P.jpg", 0,
         base + "120px-P.jpg"},
        {"no step fits", base + "15px-P.jpg", 18, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StandardThumbnail(c.address, c.originalWidth), c.expected) << c.rule;
        if (!c.expected.empty())
            EXPECT_TRUE(IsStandardThumbnail(c.expected)) << c.rule;
    }
    for (const char* id : {"Q1", "Q42", "Q123456789012"}) EXPECT_TRUE(IsItemId(id)) << id;
    for (const char* id : {"", "Q", "Q0", "Q01", "q42", "P18", "Q4 2", "Q1234567890123", "Grace"})
        EXPECT_FALSE(IsItemId(id)) << id;
    // Labels and descriptions come in the one language asked for; files follow redirects.
    const std::string wikidata = WikidataQuery({}, {"Q1", "Q2"}, "ja");
    EXPECT_NE(wikidata.find("&ids=Q1%7CQ2&props=claims%7Clabels%7Cdescriptions&languages=ja"),
              std::string::npos)
        << wikidata;
    EXPECT_NE(CommonsFilesQuery({}, {"a.jpg"}).find("&redirects=1&titles=File%3AA.jpg"),
              std::string::npos);
}

TEST(Provenance, NewFieldsFollowTheOldOnesWhichStayAsTheyWere) {
    Provenance p{.provider = "wikimedia",
                 .file = "A.jpg",
                 .author = "Jo",
                 .license = "CC BY 4.0",
                 .attributionRequired = true,
                 .person = "Tim Example",
                 .personId = "Q7001",
                 .description = "senator",
                 .restrictions = "personality"};
    EXPECT_EQ(ProvenanceJson(p),
              R"({"provider":"wikimedia","file":"A.jpg","page":"","original":"","author":"Jo",)"
              R"("license":"CC BY 4.0","licenseUrl":"","attributionRequired":true,)"
              R"("person":"Tim Example","personId":"Q7001","description":"senator",)"
              R"("restrictions":"personality"})");
    // In the gallery the folder is the person, whether the credits name the picture or not.
    const GalleryCredits credits = GalleryCredits::Parse(
        "| picture | licence |\n|---|---|\n| `Grace Hopper/g.jpg` | public domain |\n");
    for (const char* file : {"Grace Hopper/g.jpg", "Grace Hopper/other.jpg"}) {
        const Provenance g = credits.Of(file);
        EXPECT_EQ(g.person, "Grace Hopper") << file;
        EXPECT_EQ(g.personId, "Grace Hopper") << file;
        EXPECT_EQ(g.description, "Grace Hopper") << file;
        EXPECT_EQ(g.restrictions, "") << file;
    }
    EXPECT_EQ(
        PeopleJson({{"Q1", "A \"B\"", "x", "/remote/1.jpg"}, {"Q2", "C", "", ""}}, "http://h:1"),
        R"({"people":[{"id":"Q1","name":"A \"B\"","description":"x",)"
        R"("picture":"http://h:1/remote/1.jpg"},)"
        R"({"id":"Q2","name":"C","description":"","picture":""}]})");
}

}  // namespace
}  // namespace norvo
