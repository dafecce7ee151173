#include <gtest/gtest.h>

#include "services/gallery/store/DiskCache.h"
#include "services/gallery/store/FaceStore.h"
#include "tests/service/TestFiles.h"

namespace norvo {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Files(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file())
            files.push_back(e.path());
    return files;
}

TEST(DiskCache, KeepsEntriesAcrossInstancesAndDropsWhatIsDamagedInsteadOfServingIt) {
    test::TempFolder root;
    const fs::path dir = root.Path() / "norvo";
    {
        DiskCache cache(dir);
        ASSERT_TRUE(cache.Usable());
        EXPECT_TRUE(cache.Put("api", "https://a.example/?q=1", "first"));
        EXPECT_TRUE(cache.Put("api", "https://a.example/?q=1", "second"));
        EXPECT_TRUE(cache.Put("api", "https://a.example/?q=2", std::string(1000, 'x')));
    }
    DiskCache cache(dir);
    EXPECT_EQ(cache.Get("api", "https://a.example/?q=1"), "second");
    EXPECT_EQ(cache.Get("api", "https://a.example/?q=1", std::chrono::hours(24)), "second");
    EXPECT_EQ(cache.Get("pictures", "https://a.example/?q=1"), std::nullopt);
#ifndef _WIN32
    // Windows has no mode bits: the folder takes the access list of the user's profile.
    EXPECT_EQ((fs::status(dir).permissions() & fs::perms::all), fs::perms::owner_all);
#endif

    ASSERT_EQ(Files(dir).size(), 2u);  // the replaced entry and no temporary file left
    const fs::path entry = dir / "api" / DiskCache::Hash("https://a.example/?q=1");
    const std::string good = test::ReadBytes(entry);
    std::string flipped = good;
    flipped.back() ^= 1;
    const std::string other =
        test::ReadBytes(dir / "api" / DiskCache::Hash("https://a.example/?q=2"));
    // A flipped byte of the value, a cut tail, another key's entry under this name, garbage.
    for (const std::string& damaged :
         {flipped, good.substr(0, good.size() - 1), other, std::string("not a cache entry")}) {
        test::WriteBytes(entry, damaged);
        EXPECT_EQ(cache.Get("api", "https://a.example/?q=1"), std::nullopt);
        EXPECT_FALSE(fs::exists(entry));
        EXPECT_TRUE(cache.Get("api", "https://a.example/?q=2"));
    }
    DiskCache none("");
    EXPECT_FALSE(none.Usable());
    EXPECT_FALSE(none.Put("api", "k", "v"));
    EXPECT_EQ(none.Get("api", "k"), std::nullopt);
}

TEST(DiskCache, EvictsTheLeastRecentlyUsedEntriesPastItsCapAndNothingElse) {
    test::TempFolder dir;
    // A folder the user named may hold anything: it is neither emptied nor made private.
    fs::permissions(dir.Path(),
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    for (const char* other :
         {"notes.txt", "docs/old.txt", "pictures/keep.jpg",
          "pictures/0123456789abcdef0123456789abcdef0123456789abcdef0123456789ABCDEF"})
        test::WriteBytes(dir.Path() / other, std::string(20'000, 'u'));
    DiskCache cache(dir.Path(), 10'000);
    const std::string value(3000, 'v');
    for (const char* key : {"a", "b", "c"}) ASSERT_TRUE(cache.Put("pictures", key, value));
    ASSERT_TRUE(cache.Get("pictures", "a"));  // used: now the most recent
    ASSERT_TRUE(cache.Put("faces1", "d", value));
    EXPECT_TRUE(cache.Get("pictures", "a"));
    EXPECT_FALSE(cache.Get("pictures", "b"));
    EXPECT_FALSE(cache.Get("pictures", "c"));
    EXPECT_TRUE(cache.Get("faces1", "d"));
    EXPECT_LE(cache.StoredBytes(), 10'000u);
    EXPECT_FALSE(cache.Put("pictures", "e", std::string(10'000, 'x')));  // alone over the cap
    EXPECT_EQ(Files(dir.Path()).size(), 6u);  // the four others and the two entries
    EXPECT_TRUE((fs::status(dir.Path()).permissions() & fs::perms::group_read) != fs::perms::none);
}

TEST(FaceStore, FacesAreKeptByContentSoASecondProcessStartsWarm) {
    test::TempFolder dir;
    const std::string hopper =
        test::ReadBytes(test::BundledGallery() / "Grace Hopper" / "grace_hopper.jpg");
    test::WriteBytes(dir.Path() / "a.jpg", hopper);
    PictureFaces first;
    {
        const FaceDetector detector;
        DiskCache cache(dir.Path() / "cache");
        FaceStore store(detector, cache);
        ASSERT_EQ(store.FacesOfFile(dir.Path() / "a.jpg", first), DecodeStatus::Ok);
        ASSERT_EQ(first.faces.size(), 1u);
    }
    // The same bytes under another name, in a store whose memory is empty.
    test::WriteBytes(dir.Path() / "b.jpg", hopper);
    const FaceDetector detector;
    DiskCache cache(dir.Path() / "cache");
    FaceStore store(detector, cache);
    const std::optional<PictureFaces> known = store.KnownFacesOfFile(dir.Path() / "b.jpg");
    ASSERT_TRUE(known);
    EXPECT_EQ(known->faces, first.faces);
    EXPECT_EQ(known->width, 512);
    EXPECT_EQ(detector.PoolSize(), 0u);  // nothing was detected

    for (const char* bad : {"", "512 600", "512 600 1 0 0 600 10", "0 0 0", "512 600 1 1 2 3 4 x",
                            "512 600 2 1 2 3 4"}) {
        EXPECT_EQ(FaceStore::Deserialize(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(FaceStore::Deserialize(FaceStore::Serialize(first))->faces, first.faces);
}

}  // namespace
}  // namespace norvo
