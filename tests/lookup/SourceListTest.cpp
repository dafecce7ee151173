// The picture sources' names as the program and the service read them.
#include <gtest/gtest.h>

#include "lookup/SourceList.h"

namespace norvo {
namespace {

TEST(SourceList, ReadsOrderedSourcesAndRefusesWhatItCannotUse) {
    std::string error;
    const auto sources = ParseSourceList(" gallery , wikimedia,searxng=https://s.example//", error);
    ASSERT_TRUE(sources) << error;
    EXPECT_EQ(SourceListText(*sources), "gallery,wikimedia,searxng=https://s.example");
    EXPECT_TRUE(ReachesTheWeb(*sources));
    EXPECT_FALSE(ReachesTheWeb(*ParseSourceList("gallery", error)));
    for (const char* bad : {"", " , ", "gallery,gallery", "flickr", "searxng", "searxng=ftp://x",
                            "searxng=https://", "gallery=x", "wikimedia,searxng=http://a b"}) {
        EXPECT_FALSE(ParseSourceList(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
}  // namespace norvo
