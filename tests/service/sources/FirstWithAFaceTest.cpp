// Which source answers a search, with sources that answer what each case needs.
#include "services/gallery/sources/FirstWithAFace.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace norvo {
namespace {

// A source with a fixed answer that counts how often it was asked.
class FixedSource : public PictureSource {
public:
    FixedSource(bool network, SourceAnswer answer, int& asked, PeopleAnswer people = {})
        : m_network(network),
          m_answer(std::move(answer)),
          m_people(std::move(people)),
          m_asked(asked) {}
    const char* Name() const override { return "fixed"; }
    bool WaitsOnTheNetwork() const override { return m_network; }
    SourceAnswer Find(const std::string&, Clock::time_point) override {
        ++m_asked;
        return m_answer;
    }
    // Knows one person, "p1": their pictures are the fixed answer's.
    SourceAnswer FindPerson(const std::string&, const std::string& id, Clock::time_point) override {
        ++m_asked;
        return id == "p1" ? m_answer : SourceAnswer{};
    }
    PeopleAnswer People(const std::string&, Clock::time_point) override {
        ++m_asked;
        return m_people;
    }

private:
    bool m_network;
    SourceAnswer m_answer;
    PeopleAnswer m_people;
    int& m_asked;
};

Candidate Picture(const std::string& path, long long largestFace) {
    return Candidate{path, 10, 10, path, largestFace};
}

SourceAnswer Pictures(std::vector<Candidate> candidates) {
    return SourceAnswer{std::move(candidates), false, {}};
}

SourceAnswer Failure(const std::string& reason) {
    return SourceAnswer{{}, true, reason};
}

struct Case {
    const char* rule;
    std::vector<SourceAnswer> answers;  // in the order the sources are asked
    std::vector<std::string> paths;     // what the search lists
    std::string failure;
    int asked;  // how many sources were asked
};

TEST(FirstWithAFace, TheFirstSourceWithAFaceAnswersAndTheOthersKeepTheirPlace) {
    const Case cases[] = {
        {"the first with a face answers; later ones are not asked",
         {Pictures({Picture("/a", 5)}), Pictures({Picture("/b", 9)})},
         {"/a"},
         "",
         1},
        {"a picture not looked at yet may show a face",
         {Pictures({Picture("/a", Candidate::kNotLookedAt)}), Pictures({Picture("/b", 9)})},
         {"/a"},
         "",
         1},
        {"pictures without a face wait in reserve for a source with one",
         {Pictures({Picture("/a", 0)}), Pictures({Picture("/b", 9)})},
         {"/b"},
         "",
         2},
        {"without a face anywhere, the first pictures found answer",
         {Pictures({Picture("/a", 0)}), Pictures({Picture("/b", 0)})},
         {"/a"},
         "",
         2},
        {"a failure after pictures were found does not count",
         {Pictures({Picture("/a", 0)}), Failure("web: down")},
         {"/a"},
         "",
         2},
        {"a failure before anything was found is told, the first one only",
         {Pictures({}), Failure("web: down"), Failure("searx: down")},
         {},
         "web: down",
         3},
        {"a failed source is passed over for a later one with a face",
         {Failure("web: down"), Pictures({Picture("/b", 9)})},
         {"/b"},
         "",
         2},
        {"nobody knows the name: an empty answer, no failure",
         {Pictures({}), Pictures({})},
         {},
         "",
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        int asked = 0;
        std::vector<std::unique_ptr<PictureSource>> sources;
        for (const SourceAnswer& answer : c.answers)
            sources.push_back(std::make_unique<FixedSource>(false, answer, asked));
        const FirstWithAFace search(std::move(sources), nullptr, nullptr);
        const FirstWithAFace::Outcome outcome = search.Find("Ada", Clock::now());
        std::vector<std::string> paths;
        for (const Candidate& candidate : outcome.candidates) paths.push_back(candidate.path);
        EXPECT_EQ(paths, c.paths);
        EXPECT_EQ(outcome.failure, c.failure);
        EXPECT_EQ(asked, c.asked);
    }
}

TEST(FirstWithAFace, GetsReadyBeforeEachSourceThatWaitsOnTheNetworkAndLogsReasons) {
    int asked = 0, readied = 0;
    std::vector<std::string> logged;
    std::vector<std::unique_ptr<PictureSource>> sources;
    sources.push_back(std::make_unique<FixedSource>(false, Pictures({}), asked));
    sources.push_back(std::make_unique<FixedSource>(true, Failure("web: slow"), asked));
    sources.push_back(std::make_unique<FixedSource>(true, Pictures({}), asked));
    const FirstWithAFace search(
        std::move(sources), [&] { ++readied; },
        [&](const std::string& line) { logged.push_back(line); });
    search.Find("Ada", Clock::now());
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(readied, 2);
    EXPECT_EQ(logged, std::vector<std::string>{"web: slow"});
}

TEST(FirstWithAFace, PeopleComeFromTheFirstSourceThatKnowsAnybody) {
    auto knows = [](std::size_t n) {
        PeopleAnswer answer;
        for (std::size_t i = 0; i < n; ++i)
            answer.people.push_back({"Q" + std::to_string(i + 1), "A", "", ""});
        return answer;
    };
    const struct {
        const char* rule;
        std::vector<PeopleAnswer> answers;
        std::size_t people;
        std::string failure;
        int asked;
    } cases[] = {
        {"the first that knows anybody answers", {knows(1), knows(2)}, 1, "", 1},
        {"one that knows nobody is passed over", {knows(0), knows(2)}, 2, "", 2},
        {"at most six", {knows(9)}, 6, "", 1},
        {"a failure counts while nobody knew anybody",
         {knows(0), {{}, true, "web: down"}},
         0,
         "web: down",
         2},
        {"a failed source is passed over", {{{}, true, "web: down"}, knows(1)}, 1, "", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        int asked = 0;
        std::vector<std::unique_ptr<PictureSource>> sources;
        for (const PeopleAnswer& answer : c.answers)
            sources.push_back(std::make_unique<FixedSource>(false, Pictures({}), asked, answer));
        const FirstWithAFace search(std::move(sources), nullptr, nullptr);
        const FirstWithAFace::PeopleOutcome outcome = search.People("A", Clock::now());
        EXPECT_EQ(outcome.people.size(), c.people);
        EXPECT_EQ(outcome.failure, c.failure);
        EXPECT_EQ(asked, c.asked);
    }
}

TEST(FirstWithAFace, APinnedSearchAsksEachSourceForThatPersonOnly) {
    int asked = 0;
    std::vector<std::unique_ptr<PictureSource>> sources;
    sources.push_back(std::make_unique<FixedSource>(false, Pictures({Picture("/a", 5)}), asked));
    sources.push_back(std::make_unique<FixedSource>(true, Pictures({Picture("/b", 9)}), asked));
    const FirstWithAFace search(std::move(sources), nullptr, nullptr);
    EXPECT_EQ(search.Find("A", "p1", Clock::now()).candidates.at(0).path, "/a");
    // Nobody knows the id: as a name nobody knows, even though the name has pictures.
    const FirstWithAFace::Outcome unknown = search.Find("A", "p2", Clock::now());
    EXPECT_TRUE(unknown.candidates.empty());
    EXPECT_EQ(unknown.failure, "");
    EXPECT_EQ(asked, 3);
}

}  // namespace
}  // namespace norvo
